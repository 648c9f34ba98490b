// What the caller sees of a file on a lane while the walk waits for it. A lane records
// its file's steps to be written when the file's turn comes; a large file would then show
// nothing for as long as it travels. So the lane also keeps the file's name, phase and
// block count here as they change, and the walk, while it waits for that file's turn,
// shows them (LaneLiveShow): the file begins on the caller's side when it is seen to be
// under way, its blocks count up, and when its recording is written its start is not
// counted again. Small files end before the walk looks and are shown as before, from
// their recording alone.
#ifndef NVX_ENGINES_LANE_LIVE_FILE_H_
#define NVX_ENGINES_LANE_LIVE_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/mutex.h"
#include "platform/thread_annotations.h"
#include "protocol/progress_sink.h"

namespace nvx {

// A lane's file as it stands.
struct LiveFileView {
  bool started = false;  // the file has begun on the lane
  std::string name;
  int32_t phase = 0;
  int32_t block = 0;
  int32_t total_blocks = 0;
};

// Written by the lane's progress, read by the walk. Thread-safe.
class LaneLiveFile {
 public:
  void Clear() EXCLUDES(mutex_);
  void Start(std::string_view name, int32_t phase) EXCLUDES(mutex_);
  void SetPhase(int32_t phase) EXCLUDES(mutex_);
  void SetBlocks(int32_t block, int32_t total_blocks) EXCLUDES(mutex_);
  void SetBlock(int32_t block) EXCLUDES(mutex_);
  void AdvanceBlock() EXCLUDES(mutex_);
  [[nodiscard]] LiveFileView Look() EXCLUDES(mutex_);

 private:
  platform::Mutex mutex_;
  LiveFileView view_ GUARDED_BY(mutex_);
};

// The walk's side for one file: shows each look at the lane's file through the walk's
// progress, and then the file's recorded steps through Sink(), which passes everything on
// but a start already shown. Walk thread only.
class LaneLiveShow {
 public:
  explicit LaneLiveShow(ProgressSink& walk) : walk_(walk), sink_(walk, shown_) {}
  void Show(const LiveFileView& live);
  // Where the file's recording writes its progress.
  ProgressSink& Sink() { return sink_; }

 private:
  class ShownFileSink final : public ProgressSink {
   public:
    ShownFileSink(ProgressSink& walk, bool& shown) : walk_(walk), shown_(shown) {}
    void ResetRecord() override { walk_.ResetRecord(); }
    void RestartSequence() override { walk_.RestartSequence(); }
    // The start shown while the file travelled is the file's own: its name and phase
    // are written again, its number stays.
    void StartFile(std::string_view path, int32_t phase) override;
    void SetFileName(std::string_view path) override { walk_.SetFileName(path); }
    void SetPhase(int32_t phase) override { walk_.SetPhase(phase); }
    void Count(FileCount count, int32_t change) override { walk_.Count(count, change); }
    void BeginFile(int64_t local_size, int32_t total_blocks) override {
      walk_.BeginFile(local_size, total_blocks);
    }
    void ClearBlocks() override { walk_.ClearBlocks(); }
    void SetBlock(int32_t block) override { walk_.SetBlock(block); }
    void AdvanceBlock() override { walk_.AdvanceBlock(); }
    void ShowBlocks(int32_t block, int32_t total_blocks) override {
      walk_.ShowBlocks(block, total_blocks);
    }
    void SetReplacementCount(int32_t count) override { walk_.SetReplacementCount(count); }

   private:
    ProgressSink& walk_;
    bool& shown_;
  };

  ProgressSink& walk_;
  bool shown_ = false;
  ShownFileSink sink_;
};

}  // namespace nvx

#endif  // NVX_ENGINES_LANE_LIVE_FILE_H_

// Files of one folder on several connections at once (SetTransfers above 1), for the
// engines that walk folders. EngineLanes owns N lanes, each a thread with an engine
// context of its own: its own link to the service, transfer buffer and account figures,
// and a report that records what its file says instead of writing it. The walk (the
// worker thread) hands files over with Hand and takes them back in walk order with
// Finish, which writes each file's recorded lines, notes and counts through the walk's
// own context and then runs the engine's finishing step there: the results report and
// the counts do not depend on the number of lanes. What lanes share (the job settings,
// the stop flag) is read only; Hand, Finish and Drain are for the walk thread only.
#ifndef NVX_ENGINES_ENGINE_LANES_H_
#define NVX_ENGINES_ENGINE_LANES_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "engines/engine_context.h"
#include "platform/mutex.h"

namespace nvx {

// What a lane's work said, in the order it said it (status texts, log lines, results
// notes, progress steps), to be written through the walk's context when its turn comes.
using LaneRecording = std::vector<std::function<void(Reporter&, ProgressSink&)>>;

// What an engine keeps on a lane from file to file (its per-file state and buffers).
struct LaneState {
  virtual ~LaneState() = default;
};

// One lane as a file's work sees it.
class LaneView {
 public:
  virtual ~LaneView() = default;
  virtual EngineContext& context() = 0;
  // The engine's own state on this lane; null until the engine sets one.
  virtual std::unique_ptr<LaneState>& state() = 0;
  // What the work recorded so far, taken out of its task's recording: the walk writes it
  // at a point of its own with EngineLanes::Replay.
  virtual LaneRecording TakeRecording() = 0;
};

// The walk's step after a file's recording is written: false ends the handing over.
using LaneFinish = std::function<bool()>;
// A file's work on a lane; gives back the walk's step.
using LaneWork = std::function<LaneFinish(LaneView&)>;

// How a task's outcome comes back to the walk.
enum class LaneTaskKind {
  // A file's work: the account figures its answers leave are taken over, and when the
  // service refused the lane's connection ("503") the walk does the work again itself.
  kFile,
  // Work run well ahead of its turn, whose answers the walk asks again itself when they
  // are missing: its account figures (older than the walk's by then) stay on the lane,
  // and what a refused lane did not get is not asked for again here.
  kAhead,
};

class LaneSet;

class EngineLanes {
 public:
  // Opens `count` lanes over `context` and checks the login on each new connection. Null
  // when they cannot all be had (a connection refused, for example with "503", or no
  // thread to run on): the engine then goes on with the worker's one connection, after a
  // line in the activity log. A lane whose connection the service refuses later (a "503"
  // answer ends its task) turns the lanes off the same way: the walk does that file again
  // on its own connection, and every file not yet begun on a lane after it.
  [[nodiscard]] static std::unique_ptr<EngineLanes> Open(EngineContext& context, int count);
  ~EngineLanes();
  EngineLanes(const EngineLanes&) = delete;
  EngineLanes& operator=(const EngineLanes&) = delete;

  // Numbers for `count` tasks, unique for the lanes' life: the first of them.
  [[nodiscard]] size_t ReserveIndices(size_t count);
  // Hands the task numbered `index` (see ReserveIndices) over to the next free lane.
  void Hand(size_t index, LaneWork work, LaneTaskKind kind = LaneTaskKind::kFile);
  // Waits for the task `index`, writes what it recorded through the walk's context,
  // takes over its account figures and runs its finishing step. A file task that a
  // refused lane could not do (or that no lane took before the lanes were turned off) is
  // done here, on the walk's own connection.
  [[nodiscard]] bool Finish(size_t index);
  // True once a lane was refused: no further tasks go to the lanes.
  [[nodiscard]] bool turned_off() const;
  // Writes a recording a task took out of its own (LaneView::TakeRecording).
  void Replay(LaneRecording& recording);
  // Drops the tasks numbered `first` to `first + count - 1` not yet begun and waits until
  // none of them runs; what they did is not written.
  void Drain(size_t first, size_t count);
  // Held by a lane while it works with fixed work file names that other files share.
  platform::Mutex& shared_names_lock();

 private:
  EngineLanes(EngineContext& walk, std::unique_ptr<LaneSet> set, int count);
  EngineContext& walk_;
  std::unique_ptr<LaneSet> set_;
  int count_;
  // The engine's state for the work the walk does itself (see LaneView::state).
  std::unique_ptr<LaneState> walk_state_;
};

// Opens the lanes of a command the first time they are asked for, and keeps them (or
// that they could not be had) for the rest of the command.
class LaneOpener {
 public:
  LaneOpener(EngineContext& context, int count) : context_(context), count_(count) {}
  // The lanes, or null when they cannot be had or were turned off.
  EngineLanes* Get();

 private:
  EngineContext& context_;
  int count_;
  bool tried_ = false;
  std::unique_ptr<EngineLanes> lanes_;
};

// Files handed over ahead of the one whose turn it is: enough to keep every lane busy
// while the walk waits at its pause after a file (a caller that shows every file lets it
// go when it has looked, which on a busy machine can take milliseconds, the time of a few
// hundred small files on four lanes), few enough that recorded outcomes stay small.
inline constexpr size_t kLaneFilesAhead = 256;
// How often the walk, waiting for a file's turn, shows how that file goes on its lane.
inline constexpr int kLiveLookMillis = 20;

}  // namespace nvx

#endif  // NVX_ENGINES_ENGINE_LANES_H_

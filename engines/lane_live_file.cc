#include "engines/lane_live_file.h"

namespace nvx {

void LaneLiveFile::Clear() {
  platform::MutexLock lock(mutex_);
  view_ = LiveFileView{};
}

void LaneLiveFile::Start(std::string_view name, int32_t phase) {
  platform::MutexLock lock(mutex_);
  view_ = LiveFileView{true, std::string(name), phase, 0, 0};
}

void LaneLiveFile::SetPhase(int32_t phase) {
  platform::MutexLock lock(mutex_);
  view_.phase = phase;
}

void LaneLiveFile::SetBlocks(int32_t block, int32_t total_blocks) {
  platform::MutexLock lock(mutex_);
  view_.block = block;
  view_.total_blocks = total_blocks;
}

void LaneLiveFile::SetBlock(int32_t block) {
  platform::MutexLock lock(mutex_);
  view_.block = block;
}

void LaneLiveFile::AdvanceBlock() {
  platform::MutexLock lock(mutex_);
  ++view_.block;
}

LiveFileView LaneLiveFile::Look() {
  platform::MutexLock lock(mutex_);
  return view_;
}

void LaneLiveShow::Show(const LiveFileView& live) {
  if (!live.started) return;
  if (!shown_) {
    walk_.StartFile(live.name, live.phase);
    shown_ = true;
  } else {
    walk_.SetPhase(live.phase);
  }
  walk_.ShowBlocks(live.block, live.total_blocks);
}

void LaneLiveShow::ShownFileSink::StartFile(std::string_view path, int32_t phase) {
  if (!shown_) {
    walk_.StartFile(path, phase);
    return;
  }
  shown_ = false;  // a later start (a second try) counts as the N = 1 walk counts it
  walk_.SetFileName(path);
  walk_.SetPhase(phase);
  walk_.ClearBlocks();
}

}  // namespace nvx

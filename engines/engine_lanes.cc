#include "engines/engine_lanes.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "engines/lane_live_file.h"
#include "platform/text_format.h"
#include "platform/thread_annotations.h"
#include "protocol/library_limits.h"
#include "protocol/response_headers.h"
#include "protocol/service_commands.h"
#include "protocol/service_link.h"
#include "protocol/transfer_answers.h"

namespace nvx {
namespace {

using Recording = LaneRecording;

// The lane's reporting interface: records instead of writing. Whether a log level is on
// is asked of the walk's reporter (an atomic read there).
class RecordingReporter final : public Reporter {
 public:
  RecordingReporter(const Reporter& walk, Recording& recording)
      : walk_(walk), recording_(recording) {}

  void SetStatusMessage(std::string text) override {
    Add([text = std::move(text)](Reporter& r, ProgressSink&) { r.SetStatusMessage(text); });
  }
  void SetConclusion(std::string text) override {
    last_conclusion = text;
    Add([text = std::move(text)](Reporter& r, ProgressSink&) { r.SetConclusion(text); });
  }
  void SetLastHttpResponse(std::string text) override {
    last_http_response = text;
    Add([text = std::move(text)](Reporter& r, ProgressSink&) { r.SetLastHttpResponse(text); });
  }
  void SetErrorCode(int32_t code) override {
    Add([code](Reporter& r, ProgressSink&) { r.SetErrorCode(code); });
  }
  void LogText(int32_t bits, std::string_view text) override {
    Add([bits, text = std::string(text)](Reporter& r, ProgressSink&) { r.LogText(bits, text); });
  }
  [[nodiscard]] bool Logs(int32_t bits) const override { return walk_.Logs(bits); }
  void WriteResultText(std::string_view text) override {
    Add([text = std::string(text)](Reporter& r, ProgressSink&) { r.WriteResultText(text); });
  }
  void AddFileNote(std::string_view path, int kind, bool report_missing,
                   int system_error) override {
    Add([path = std::string(path), kind, report_missing, system_error](Reporter& r, ProgressSink&) {
      r.AddFileNote(path, kind, report_missing, system_error);
    });
  }
  void AddFileErrorNote(std::string_view path, int error_code) override {
    Add([path = std::string(path), error_code](Reporter& r, ProgressSink&) {
      r.AddFileErrorNote(path, error_code);
    });
  }

  std::string last_conclusion;
  std::string last_http_response;

 private:
  void Add(std::function<void(Reporter&, ProgressSink&)> step) {
    recording_.push_back(std::move(step));
  }
  const Reporter& walk_;
  Recording& recording_;
};

// The lane's progress: the steps the walk's progress shows per file (the file begun, its
// phase, its counts, the size its notes name) are recorded and shown when the file's turn
// comes, so the caller sees files one after the other in walk order, each with its name.
// Block counts are not recorded: the lane's live file shows them while the walk waits.
class RecordingProgress final : public ProgressSink {
 public:
  RecordingProgress(Recording& recording, LaneLiveFile& live)
      : recording_(recording), live_(live) {}

  void ResetRecord() override {}
  void RestartSequence() override {}
  void StartFile(std::string_view path, int32_t phase) override {
    live_.Start(path, phase);
    Add([path = std::string(path), phase](Reporter&, ProgressSink& p) {
      p.StartFile(path, phase);
    });
  }
  // Between files the walk leaves the name of the file last done: the caller that looks
  // at the pause after it sees which file it was.
  void SetFileName(std::string_view) override {}
  void SetPhase(int32_t phase) override {
    live_.SetPhase(phase);
    Add([phase](Reporter&, ProgressSink& p) { p.SetPhase(phase); });
  }
  void Count(FileCount count, int32_t change) override {
    Add([count, change](Reporter&, ProgressSink& p) { p.Count(count, change); });
  }
  void BeginFile(int64_t local_size, int32_t total_blocks) override {
    live_.SetBlocks(0, total_blocks);
    Add([local_size, total_blocks](Reporter&, ProgressSink& p) {
      p.BeginFile(local_size, total_blocks);
    });
  }
  // Block counts are shown live only (LaneLiveShow), not written with the file's steps.
  void ClearBlocks() override { live_.SetBlocks(0, 0); }
  void SetBlock(int32_t block) override { live_.SetBlock(block); }
  void AdvanceBlock() override { live_.AdvanceBlock(); }
  void SetReplacementCount(int32_t count) override {
    Add([count](Reporter&, ProgressSink& p) { p.SetReplacementCount(count); });
  }

 private:
  void Add(std::function<void(Reporter&, ProgressSink&)> step) {
    recording_.push_back(std::move(step));
  }
  Recording& recording_;
  LaneLiveFile& live_;
};

// A file handed to a lane, with the account figures the walk knew at that moment.
struct LaneTask {
  size_t index = 0;
  LaneWork work;
  AccountFigures account;
  LaneTaskKind kind = LaneTaskKind::kFile;
};

// What a lane gives back for a file.
struct LaneOutcome {
  Recording recording;
  LaneTaskKind kind = LaneTaskKind::kFile;
  AccountFigures account;  // the figures after the file's answers
  int64_t estimate_change = 0;
  LaneFinish finish;
  // The service refused the lane's connection: the answer that ended the task, and the
  // file's work for the walk to do again (kFile tasks; also those no lane began).
  std::string refusal;
  LaneWork redo;
};

// Whether an answer's status line says the service takes no (further) connection.
bool IsBusyAnswer(std::string_view status_line) {
  return StatusIs(status_line, "HTTP/1.1 503") || StatusIs(status_line, "HTTP/1.0 503");
}

// One lane: a context of its own over the walk's job settings and stop flag.
class Lane final : public LaneView {
 public:
  explicit Lane(EngineContext& walk)
      : reporter_(walk.report(), recording_),
        progress_(recording_, live_),
        buffer_(kTransferBufferSize),
        link_(walk.job().link, reporter_, walk.stop_flag()),
        context_(walk.job(), account_, reporter_, progress_, link_, walk.stop_flag(), buffer_,
                 [] { return true; }) {
    link_.BuildServerList();
    if (!walk.job().link.server_host.empty()) {
      link_.ReplaceServerList(walk.job().link.server_host);
    }
  }
  ~Lane() override {
    state_.reset();
    link_.CloseConnection();
  }

  EngineContext& context() override { return context_; }
  std::unique_ptr<LaneState>& state() override { return state_; }
  Recording TakeRecording() override {
    Recording taken = std::move(recording_);
    recording_.clear();
    return taken;
  }

  // The login check on the lane's own connection: false with the reason when the service
  // did not take it.
  [[nodiscard]] bool CheckLogin(std::string* reason) {
    const ExchangeOutcome outcome = TestId(context_);
    const bool taken = outcome == ExchangeOutcome::kOk && reporter_.last_conclusion == "Successful";
    if (!taken) {
      *reason = !reporter_.last_http_response.empty() ? reporter_.last_http_response
                                                      : reporter_.last_conclusion;
      if (reason->empty()) reason->assign("no answer");
    }
    recording_.clear();
    return taken;
  }

  LaneLiveFile& live() { return live_; }

  LaneOutcome Run(LaneTask& task) {
    live_.Clear();
    recording_.clear();
    reporter_.last_http_response.clear();
    account_ = task.account;
    LaneOutcome outcome;
    outcome.finish = task.work(*this);
    outcome.kind = task.kind;
    if (IsBusyAnswer(reporter_.last_http_response)) {
      outcome.refusal = reporter_.last_http_response;
      if (task.kind == LaneTaskKind::kFile) outcome.redo = std::move(task.work);
      // The connection is no use any more; the lane takes no further task.
      link_.CloseConnection();
    }
    outcome.account = account_;
    outcome.estimate_change = account_.space_used_estimate - task.account.space_used_estimate;
    outcome.recording = std::move(recording_);
    recording_.clear();
    return outcome;
  }

 private:
  Recording recording_;
  LaneLiveFile live_;
  RecordingReporter reporter_;
  RecordingProgress progress_;
  AccountFigures account_;
  std::vector<uint8_t> buffer_;
  ServiceLink link_;
  EngineContext context_;
  std::unique_ptr<LaneState> state_;
};

// The walk doing a file's work itself: its own context, writing straight through.
class WalkView final : public LaneView {
 public:
  WalkView(EngineContext& walk, std::unique_ptr<LaneState>& state) : walk_(walk), state_(state) {}
  EngineContext& context() override { return walk_; }
  std::unique_ptr<LaneState>& state() override { return state_; }
  Recording TakeRecording() override { return {}; }

 private:
  EngineContext& walk_;
  std::unique_ptr<LaneState>& state_;
};

}  // namespace

// The lanes, their threads and the hand-over between the walk and them.
class LaneSet {
 public:
  ~LaneSet() {
    {
      platform::MutexLock lock(mutex_);
      closing_ = true;
    }
    work_cv_.NotifyAll();
    for (std::thread& thread : threads_) thread.join();
  }

  [[nodiscard]] bool Open(EngineContext& walk, int count) {
    for (int i = 0; i < count; ++i) lanes_.push_back(std::make_unique<Lane>(walk));
    for (size_t i = 0; i < lanes_.size(); ++i) {
      std::string reason;
      if (!lanes_[i]->CheckLogin(&reason)) {
        walk.report().LogLine(kLineError,
                              " Transfers %d: connection %zu refused (%s); one connection "
                              "goes on\n",
                              count, i + 1, TextForLog(reason).c_str());
        return false;
      }
    }
    try {
      for (auto& lane : lanes_) threads_.emplace_back([this, &lane] { RunLane(*lane); });
    } catch (const std::system_error&) {
      walk.report().LogLine(kLineError,
                            " Transfers %d: no thread for a lane; one connection "
                            "goes on\n",
                            count);
      return false;
    }
    return true;
  }

  void Hand(LaneTask task) {
    {
      platform::MutexLock lock(mutex_);
      queue_.push_back(std::move(task));
    }
    work_cv_.NotifyOne();
  }

  // The outcome of task `index` once it is there (true), or after `millis` without it
  // (false) with what the lane running it shows in `live` (nothing when none runs it).
  bool TakeWithin(size_t index, int millis, LaneOutcome* taken, LiveFileView* live) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(millis);
    platform::MutexLock lock(mutex_);
    awaited_ = index;
    do {
      if (TakeLocked(index, taken)) {
        awaited_.reset();
        return true;
      }
    } while (done_cv_.WaitUntil(mutex_, deadline));
    awaited_.reset();
    *live = LiveFileView{};
    for (const auto& [running_index, lane] : running_) {
      if (running_index == index) *live = lane->live().Look();
    }
    return false;
  }

  // The refusal that turned the lanes off, once: empty when they are on, or it was
  // already told.
  std::string TakeRefusal() {
    platform::MutexLock lock(mutex_);
    return std::exchange(refusal_, std::string());
  }

  bool turned_off() {
    platform::MutexLock lock(mutex_);
    return turned_off_;
  }

  void Drain(size_t first, size_t count) {
    const auto in_range = [first, count](size_t index) { return index - first < count; };
    platform::MutexLock lock(mutex_);
    std::erase_if(queue_, [&](const LaneTask& task) { return in_range(task.index); });
    const auto running_in_range = [&](const auto& running) { return in_range(running.first); };
    draining_ = true;
    while (std::any_of(running_.begin(), running_.end(), running_in_range)) {
      done_cv_.Wait(mutex_);
    }
    draining_ = false;
    std::erase_if(done_, [&](const auto& done) { return in_range(done.first); });
  }

  size_t ReserveIndices(size_t count) {
    const size_t first = next_index_;
    next_index_ += count;
    return first;
  }

  platform::Mutex& shared_names_lock() { return shared_names_lock_; }

 private:
  // Takes the outcome of task `index` when it is there, or the task itself back when the
  // lanes were turned off before one began it.
  bool TakeLocked(size_t index, LaneOutcome* taken) REQUIRES(mutex_) {
    for (auto it = done_.begin(); it != done_.end(); ++it) {
      if (it->first == index) {
        *taken = std::move(it->second);
        done_.erase(it);
        return true;
      }
    }
    // Turned off, the lanes take no task from the queue: the walk takes it back.
    if (turned_off_) {
      for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        if (it->index != index) continue;
        *taken = LaneOutcome{};
        taken->kind = it->kind;
        if (it->kind == LaneTaskKind::kFile) taken->redo = std::move(it->work);
        queue_.erase(it);
        return true;
      }
    }
    return false;
  }

  void RunLane(Lane& lane) {
    for (;;) {
      LaneTask task;
      {
        platform::MutexLock lock(mutex_);
        while (!closing_ && (queue_.empty() || turned_off_)) work_cv_.Wait(mutex_);
        if (closing_) return;
        task = std::move(queue_.front());
        queue_.pop_front();
        running_.emplace_back(task.index, &lane);
      }
      LaneOutcome outcome = lane.Run(task);
      bool wake = false;
      {
        platform::MutexLock lock(mutex_);
        if (!outcome.refusal.empty() && !turned_off_) {
          turned_off_ = true;
          refusal_ = outcome.refusal;
        }
        // The walk is woken for the task it waits for (or a turning off, which may hand
        // it back its task), not for each of the others that end before it.
        wake = draining_ || awaited_ == task.index || turned_off_;
        done_.emplace_back(task.index, std::move(outcome));
        std::erase_if(running_, [&](const auto& running) { return running.first == task.index; });
      }
      if (wake) done_cv_.NotifyAll();
    }
  }

  std::vector<std::unique_ptr<Lane>> lanes_;
  std::vector<std::thread> threads_;
  platform::Mutex shared_names_lock_;
  platform::Mutex mutex_;
  platform::CondVar work_cv_;
  platform::CondVar done_cv_;
  std::deque<LaneTask> queue_ GUARDED_BY(mutex_);
  std::vector<std::pair<size_t, LaneOutcome>> done_ GUARDED_BY(mutex_);
  std::vector<std::pair<size_t, Lane*>> running_ GUARDED_BY(mutex_);
  std::optional<size_t> awaited_ GUARDED_BY(mutex_);  // the task the walk waits for
  bool draining_ GUARDED_BY(mutex_) = false;          // the walk waits in Drain
  bool closing_ GUARDED_BY(mutex_) = false;
  bool turned_off_ GUARDED_BY(mutex_) = false;
  std::string refusal_ GUARDED_BY(mutex_);
  size_t next_index_ = 0;  // the walk's alone
};

std::unique_ptr<EngineLanes> EngineLanes::Open(EngineContext& context, int count) {
  auto set = std::make_unique<LaneSet>();
  if (!set->Open(context, count)) return nullptr;
  return std::unique_ptr<EngineLanes>(new EngineLanes(context, std::move(set), count));
}

EngineLanes::EngineLanes(EngineContext& walk, std::unique_ptr<LaneSet> set, int count)
    : walk_(walk), set_(std::move(set)), count_(count) {}
EngineLanes::~EngineLanes() = default;

EngineLanes* LaneOpener::Get() {
  if (!tried_) {
    tried_ = true;
    // The walk's own connection comes first: a service that takes one connection per
    // client then refuses the lanes, never the walk. Not reaching it opens none.
    if (context_.link().PrepareExchange()) lanes_ = EngineLanes::Open(context_, count_);
  }
  // Lanes turned off stay (walks still hold them) but take nothing new.
  if (lanes_ != nullptr && lanes_->turned_off()) return nullptr;
  return lanes_.get();
}

size_t EngineLanes::ReserveIndices(size_t count) {
  return set_->ReserveIndices(count);
}

void EngineLanes::Hand(size_t index, LaneWork work, LaneTaskKind kind) {
  set_->Hand(LaneTask{index, std::move(work), walk_.account(), kind});
}

bool EngineLanes::Finish(size_t index) {
  // While the file travels on its lane, the caller sees it go (see lane_live_file.h).
  LaneLiveShow live_show(walk_.progress());
  LaneOutcome outcome;
  for (LiveFileView live; !set_->TakeWithin(index, kLiveLookMillis, &outcome, &live);) {
    live_show.Show(live);
  }
  if (std::string refusal = set_->TakeRefusal(); !refusal.empty()) {
    walk_.report().LogLine(kLineError,
                           " Transfers %d: a connection was refused (%s); one connection "
                           "goes on\n",
                           count_, TextForLog(refusal).c_str());
  }
  if (outcome.redo) {
    // What the refused lane recorded is dropped: the walk's own try says it all.
    WalkView view(walk_, walk_state_);
    LaneFinish finish = outcome.redo(view);
    return finish ? finish() : true;
  }
  for (auto& recorded : outcome.recording) recorded(walk_.report(), live_show.Sink());
  if (outcome.kind == LaneTaskKind::kFile) {
    AccountFigures& account = walk_.account();
    account.space_limit = outcome.account.space_limit;
    account.space_used = outcome.account.space_used;
    account.service_options = outcome.account.service_options;
    account.space_used_estimate += outcome.estimate_change;
  }
  return outcome.finish ? outcome.finish() : true;
}

void EngineLanes::Replay(LaneRecording& recording) {
  for (auto& recorded : recording) recorded(walk_.report(), walk_.progress());
  recording.clear();
}

void EngineLanes::Drain(size_t first, size_t count) {
  set_->Drain(first, count);
}

bool EngineLanes::turned_off() const {
  return set_->turned_off();
}

platform::Mutex& EngineLanes::shared_names_lock() {
  return set_->shared_names_lock();
}

}  // namespace nvx

// The shared block: everything that a CNvxapi (the caller's thread) and its worker thread
// share, in records split by owner and thread:
//   - job:      the job settings; the caller writes them while no command is busy, the
//               worker reads them while one runs (protocol/job_settings.h);
//   - protocol: the protocol's record, written by the worker while a command runs and
//               read by the caller while none is busy (protocol/protocol_state.h);
//   - reported: what the caller reads at any time (status texts, progress), under the
//               state lock;
//   - logs:     the activity log and the pending results file, under the trace lock;
//   - transfer_size: the size of the transfer in hand for results notes (worker thread);
//   - returned: the caller's copies of texts (caller's thread);
//   - control:  the worker's command mailbox, events and lifetime.
// Status, error code, command and log level are atomics, so either thread may read them
// at any time.
//
// A block has one owner reference for all the CNvxapi copies that share it and one for
// its worker while the worker runs; whoever lets go last frees it (worker.cc).
#ifndef NVX_API_SHARED_BLOCK_H_
#define NVX_API_SHARED_BLOCK_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "api/command_table.h"
#include "api/nvxapi.h"
#include "platform/adaptive_spin.h"
#include "platform/auto_reset_event.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/mutex.h"
#include "platform/thread_annotations.h"
#include "protocol/caller_codes.h"
#include "protocol/job_settings.h"
#include "protocol/library_limits.h"
#include "protocol/protocol_state.h"

namespace nvx {

// The live progress of the transfer in hand, as the progress sink writes it; the facade
// copies it into the exported TransferProgress (with the file name beside it).
struct ProgressRecord {
  int32_t sequence = 0;
  int32_t total_blocks = 0;
  int32_t block = 0;
  int32_t waiting = 0;
  int32_t phase = 0;
  int32_t files_uploaded = 0;
  int32_t files_upload_updated = 0;
  int32_t files_upload_matched = 0;
  int32_t files_upload_error = 0;
  int32_t files_upload_zero_length = 0;
  int32_t files_uploaded_uncompressed = 0;
  int32_t files_downloaded = 0;
  int32_t files_download_updated = 0;
  int32_t files_download_matched = 0;
  int32_t files_download_error = 0;
  int32_t replacement_count = 0;
  int32_t files_not_found = 0;
};

// The exported form of `record`, naming `file_name` as the file in hand.
[[nodiscard]] TransferProgress ExportedProgress(const ProgressRecord& record,
                                                const char* file_name);

// What the caller reads while a command runs: the three texts and the live progress.
struct ReportedState {
  std::string status_message;
  std::string conclusion;
  std::string last_http_response;
  ProgressRecord live_progress;
  std::string live_file_name;
  // Counts what a waiting caller wants to see at once: a file begins, the worker pauses
  // after a file, a command ends. Each change is announced on the block's progress_cv.
  uint64_t changes = 0;
};

// The files both threads write.
struct LogFiles {
  platform::File activity_log;
  platform::File results_file;
  // The communication-failure head line is written once per results report.
  bool communication_failure_reported = false;
};

// Copies handed to the caller: fixed buffers, so that a returned pointer stays valid.
// Caller's thread only.
struct ReturnedTexts {
  char status_message[kStatusMessageWidth] = {};
  char conclusion[kConclusionWidth] = {};
  char http_response[kHttpResponseWidth] = {};
  char log_file_name[kLogFileNameWidth] = {};
  char folder_name[kListEntryWidth] = {};
  TransferProgress snapshot{};
  char snapshot_file_name[kSnapshotFileNameWidth] = {};
  // The count of changes the caller's last wait saw (ReportedState::changes).
  uint64_t changes_seen = 0;
  // Whether the caller's next wait for a change looks for it before it sleeps.
  platform::AdaptiveSpin change_wait_spin;
};

// The worker's mailbox and lifetime.
struct WorkerControl {
  CommandTable commands;  // set before the worker starts; tests hand in their own
  platform::AutoResetEvent command_event;
  platform::AutoResetEvent sync_event;
  platform::AutoResetEvent pause_after_file_event;
  // Whether the worker's next pause after a file looks for its release before it sleeps;
  // the worker's alone.
  platform::AdaptiveSpin pause_spin;
  std::atomic<int32_t> command{kCmdNone};
  std::atomic<int32_t> status{nvx::status::kIdle};
  std::atomic<int32_t> error_code{nvx::error::kNone};
  int32_t transfer_kind = 0;  // the last transfer command posted
  std::atomic<bool> stop_requested{false};

  // The CNvxapi copies that share the block; the last one to go stops the worker.
  std::atomic<int> callers{1};
  // Owner references: one for all callers, one for the worker while it runs.
  std::atomic<int> owners{1};
  std::thread worker;
  bool worker_started = false;  // written before the first command is posted
  platform::Mutex lifetime_mutex;
  platform::CondVar worker_ended_cv;
  bool worker_running GUARDED_BY(lifetime_mutex) = false;
};

struct SharedBlock {
  SharedBlock();
  ~SharedBlock();
  SharedBlock(const SharedBlock&) = delete;
  SharedBlock& operator=(const SharedBlock&) = delete;

  JobSettings job;
  ProtocolState protocol;
  // The size of the transfer in hand, as results notes show it (the progress sink
  // writes it when a transfer begins; worker thread). Reset clears it.
  int64_t transfer_size = 0;
  WorkerControl control;

  platform::Mutex state_lock;
  ReportedState reported GUARDED_BY(state_lock);
  // Announces a new count of reported.changes to a caller in WaitTransferChange.
  platform::CondVar progress_cv;
  // Follows reported.changes, so that a caller spinning for the next change can look
  // without the lock.
  std::atomic<uint64_t> changes_hint{0};

  platform::Mutex trace_lock;
  LogFiles logs GUARDED_BY(trace_lock);

  // The activity log's place, name and level (the caller sets them between commands).
  std::string log_directory;
  std::string log_file_name;  // kLogFileNameWidth
  std::atomic<int32_t> log_level{0};

  // Run-wide texts and times kept across Reset.
  platform::LocalTime start_time;
  platform::LocalTime stop_time;
  std::string statistics_text;

  ReturnedTexts returned;
};

// Status message, conclusion and last HTTP response are written under the state lock.
void SetStatusMessage(SharedBlock& block, std::string text) EXCLUDES(block.state_lock);
void SetConclusion(SharedBlock& block, std::string text) EXCLUDES(block.state_lock);
void SetLastHttpResponse(SharedBlock& block, std::string text) EXCLUDES(block.state_lock);

// Counts one change of the reported progress and wakes a caller waiting for one.
void AnnounceChange(SharedBlock& block) REQUIRES(block.state_lock);

// Copies of the texts, taken under the state lock.
[[nodiscard]] std::string StatusMessageOf(SharedBlock& block) EXCLUDES(block.state_lock);
[[nodiscard]] std::string ConclusionOf(SharedBlock& block) EXCLUDES(block.state_lock);

}  // namespace nvx

#endif  // NVX_API_SHARED_BLOCK_H_

// The shared block: everything that a CNvxapi (the caller's thread) and its worker thread
// share. The caller writes settings only while no command is busy; the worker writes
// status, error code, texts, space figures and progress. The state lock guards the status
// message, the conclusion, the last HTTP response and the progress record; the trace lock
// guards the activity log and the pending results file. Status, error code, command and
// log level are atomics, so either thread may read them at any time.
//
// A block is owned by every CNvxapi that shares it (copies share one block) and, while it
// runs, by its worker; it is freed when the last owner lets go (facade_lifecycle.cc).
#ifndef NVX_API_SHARED_BLOCK_H_
#define NVX_API_SHARED_BLOCK_H_

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <forward_list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "api/limits.h"
#include "api/nvxapi.h"
#include "platform/auto_reset_event.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace nvx {

class TransferSession;
struct FolderTree;
struct FolderRecord;
struct ServerFileEntry;

// The command codes that the facade posts to the worker.
enum CommandCode : int32_t {
  kCmdNone = 0,
  kCmdFolderList = 1,
  kCmdUpload = 2,
  kCmdVerifyId = 3,
  kCmdHelpFile = 4,
  kCmdVersionFile = 5,
  kCmdFolderFileList = 6,
  kCmdFileInfo = 7,
  kCmdDownload = 8,
  kCmdExit = 9,
  kCmdResetSpace = 10,
  kCmdReset = 11,
  kCmdEmailStats = 12,
  kCmdDeleteEmptyFolders = 13,
  kCmdEmailSend = 14,
  kCmdVerifyPath = 15,
  kCmdGetStats = 16,
  kCmdEmailSendJustText = 17,
  kCmdClean = 18,
  kCmdSetServer = 19,
};
inline constexpr int32_t kFirstCommandCode = 1;
inline constexpr int32_t kLastCommandCode = 19;

// A worker routine: runs one command on the worker's session; false means it gave up.
using Routine = bool (*)(TransferSession& session);

// Per-file working state of the transfer engines; Reset clears it whole.
struct EngineState {
  int64_t local_size = 0;
  int64_t size_before_compression = 0;
  int64_t server_size = 0;
  int32_t blocks_total = 0;
  int32_t blocks_done = 0;
};

struct SharedBlock {
  SharedBlock();
  ~SharedBlock();
  SharedBlock(const SharedBlock&) = delete;
  SharedBlock& operator=(const SharedBlock&) = delete;

  // Threads, events and files.
  std::thread worker;
  std::string log_directory;
  platform::AutoResetEvent command_event;
  platform::AutoResetEvent sync_event;
  platform::AutoResetEvent next_event;
  platform::File activity_log;  // trace lock
  platform::File results_file;  // trace lock
  std::atomic<int32_t> log_level{0};
  std::atomic<int32_t> command{kCmdNone};
  int32_t transfer_kind = 0;
  std::atomic<int32_t> status{kStatusIdle};
  std::atomic<int32_t> error_code{kErrorNone};

  // Job flags.
  bool server_unreachable_at_start = false;
  bool engine_working_flag = false;
  bool verification = false;
  bool subfolders = false;
  bool duplicate_files = false;
  bool use_server_date = false;
  bool proxy_in_use = false;
  bool proxy_authentication = false;
  bool proxy_password_scrambled = false;
  bool engine_second_flag = false;
  bool differential_allowed = false;
  bool move = false;
  bool compress = false;
  bool transfer_compress = false;
  bool compressed_work_file_in_use = false;
  bool delta_upload = false;
  bool server_copy_incomplete = false;
  bool email_to_user = false;
  bool email_to_administrator = false;
  bool pause_after_each_file = false;
  bool communication_failure_reported = false;
  bool sending_log = false;

  // Credentials and proxy.
  std::string server_host;         // kServerHostWidth
  std::string user;                // kUserWidth
  std::string password;            // kPasswordWidth
  std::string scrambled_password;  // takes the place of the password when not empty
  std::string proxy_host;          // kProxyHostWidth
  std::string proxy_port;          // kProxyPortWidth
  std::string proxy_id;            // kProxyIdWidth
  std::string proxy_password;      // plain or scrambled (proxy_password_scrambled)

  // Texts of the last exchange.
  std::array<uint8_t, 16> local_digest{};
  std::array<uint8_t, 16> server_digest{};
  std::string server_version_id;
  std::string status_message;      // state lock
  std::string conclusion;          // state lock
  std::string last_http_response;  // state lock
  int32_t file_compare = 0;
  EngineState engine;
  int32_t log_count = 0;

  // Job texts.
  std::string local_directory;
  std::string local_file;
  std::string work_directory;
  std::string server_folder;
  std::string server_file;
  std::string email_body;
  std::string email_subject;
  std::string statistics_text;
  std::string path_to_verify;
  // The name of the file the engines have in hand, as status messages show it.
  std::string current_file;

  // Locks.
  std::mutex state_lock;
  std::mutex trace_lock;

  // Account, lists and progress.
  int64_t space_limit = 0;
  int64_t space_used = 0;
  int64_t space_used_estimate = 0;
  std::forward_list<std::string> skip_folders;         // newest first
  std::forward_list<std::string> excluded_extensions;  // newest first
  platform::LocalTime start_time;
  platform::LocalTime stop_time;
  std::unique_ptr<FolderTree> folder_list;
  // Trees replaced by a later folder list while a folder of theirs was mapped; kept so
  // that the mapped folder stays valid until Reset.
  std::forward_list<std::unique_ptr<FolderTree>> retired_folder_lists;
  const FolderRecord* mapped_folder = nullptr;
  TransferProgress live_progress{};  // state lock; its file_name is unused
  std::string live_file_name;        // state lock
  TransferProgress snapshot{};
  char snapshot_file_name[kSnapshotFileNameWidth] = {};
  std::string log_file_name;  // kLogFileNameWidth
  std::string results_type;   // kResultsTypeWidth

  // Protocol state (worker thread): what the service's answers said, and the server
  // folder and file that requests name.
  int32_t service_options = 0;                    // option bits of X-NVX-CRUNCHYFROG
  std::string current_server_folder_id;           // sent as "NO" when empty
  std::string current_server_folder_name;         // X-NVX-BIGGLES of commands
  std::string server_file_date;                   // date stamp of the file information query
  std::string new_folder_id;                      // the answer to FolderCreate
  int64_t folder_file_count = 0;                  // the answer to FolderFileCount
  std::vector<ServerFileEntry> server_file_list;  // reply order; Reset empties it
  // The version file's figures and note, and where the help file goes.
  int32_t version_major = 0;
  int32_t version_minor = 0;
  int32_t version_build = 0;
  std::string version_note;
  std::string help_file_name;

  // Copies handed to the caller: fixed buffers, so that a returned pointer stays valid.
  char returned_status_message[kStatusMessageWidth] = {};
  char returned_conclusion[kConclusionWidth] = {};
  char returned_http_response[kHttpResponseWidth] = {};
  char returned_log_file_name[kLogFileNameWidth] = {};
  char returned_folder_name[kListEntryWidth] = {};

  // Worker control.
  std::array<Routine, kLastCommandCode + 1> routines{};
  std::atomic<int> owners{1};
  std::atomic<bool> stop_requested{false};
  bool worker_started = false;
  std::mutex lifetime_mutex;
  std::condition_variable worker_ended_cv;
  bool worker_running = false;  // lifetime_mutex
  bool orphaned = false;        // lifetime_mutex: the worker frees the block when it ends
};

// Status message, conclusion and last HTTP response are written under the state lock.
void SetStatusMessage(SharedBlock& block, std::string text);
void SetConclusion(SharedBlock& block, std::string text);
void SetLastHttpResponse(SharedBlock& block, std::string text);

// Copies of the three texts, taken under the state lock.
std::string StatusMessageOf(SharedBlock& block);
std::string ConclusionOf(SharedBlock& block);

}  // namespace nvx

#endif  // NVX_API_SHARED_BLOCK_H_

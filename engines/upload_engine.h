// The upload engine (command 2): sends one local file, or every file of a local folder
// tree, into the current server folder. Per file it decides from the server file list's
// date and from the is-it-there test whether the file must travel, sends it with one PUT
// (resuming a partial server copy, replacing a changed one, compressed when the job asks),
// keeps the account's quota in view and deletes moved files once the service holds them.
// Everything runs on the worker thread through the engine context; an UploadJob holds
// what one command knows between its steps.
#ifndef NVX_ENGINES_UPLOAD_ENGINE_H_
#define NVX_ENGINES_UPLOAD_ENGINE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine_context.h"
#include "engines/upload_file_state.h"
#include "platform/directory_search.h"
#include "protocol/folder_tree.h"

namespace nvx {

// The job's run state: set to running at the start of every file, to failed when an
// upload failed for good; a failed run stops the folder scan.
inline constexpr int32_t kRunStateRunning = 1;
inline constexpr int32_t kRunStateFailed = 3;

// The codes of "was not transferred. Error Code = n" in the results report.
enum UploadErrorNote : int {
  kNoteConnectBeforeTest = 12,
  kNoteTestFailedTwice = 13,
  kNoteTestRefused = 14,
  kNoteConnectBeforePut = 17,
  kNotePutFailedTwice = 18,
  kNotePutRefused = 19,
};

// What one upload command carries from step to step.
struct UploadJob {
  explicit UploadJob(EngineContext& engine_context);

  EngineContext& context;
  UploadFileState file;
  // The server folder node whose children MatchServerFolder searches; null below a
  // folder the engine created (the service then finds or creates by name).
  const FolderRecord* server_node = nullptr;
  // The server file list's entry named like the file UploadFile is about to send (any
  // date), found by the folder scan; null when there is none.
  const ServerFileEntry* list_entry = nullptr;
  int32_t run_state = 0;
  bool quota_note_written = false;
  // Sending moves the file through this buffer: a fixed size, whatever the file's.
  std::vector<uint8_t> piece;
  // The conclusion of the last refused upload, as it may be shown.
  std::string put_conclusion;
};

// The worker's handler for command 2; true on success.
bool RunUpload(EngineContext& context);

// Makes the current server folder the one named like the local folder's last
// component: the current one when its name matches, else a child of that name, else a
// new folder. False when the folder cannot be created.
bool MatchServerFolder(UploadJob& job);
// Creates (or reuses) the server subfolder `name` below the current server folder and
// scans the local subfolder of that name; with an empty name scans the current folder.
// The folder state is restored afterwards.
bool UploadSubfolder(UploadJob& job, std::string_view name, bool top);
// Scans the current local folder for `pattern`: subfolders first, then the files.
bool UploadFolder(UploadJob& job, std::string_view pattern, bool top);
// Sends the file `name` of the current local folder. False only when the job must stop.
bool UploadFile(UploadJob& job, std::string_view name, bool report_missing);
// The pause after each file; false when the engine is to stop.
bool WaitForFileAccess(UploadJob& job);

}  // namespace nvx

#endif  // NVX_ENGINES_UPLOAD_ENGINE_H_

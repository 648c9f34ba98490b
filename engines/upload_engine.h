// The upload engine (command 2): sends one local file, or every file of a local folder
// tree, into the mapped server folder. Per file it decides from the server file list's
// date and from the is-it-there test whether the file must travel, sends it with one PUT
// (resuming a partial server copy, replacing a changed one, compressed when the job asks),
// keeps the account's quota in view and deletes moved files once the service holds them.
// Everything runs on the worker thread through the engine context; an UploadJob holds
// what one command knows between its steps, a FileInFlight what it knows of one file.
#ifndef NVX_ENGINES_UPLOAD_ENGINE_H_
#define NVX_ENGINES_UPLOAD_ENGINE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engines/engine_context.h"
#include "engines/server_folder.h"
#include "engines/upload_file_state.h"
#include "platform/directory_search.h"
#include "platform/mutex.h"
#include "protocol/folder_tree.h"

namespace nvx {

// The codes of "was not transferred. Error Code = n" in the results report.
enum UploadErrorNote : int {
  kNoteConnectBeforeTest = 12,
  kNoteTestFailedTwice = 13,
  kNoteTestRefused = 14,
  kNoteConnectBeforePut = 17,
  kNotePutFailedTwice = 18,
  kNotePutRefused = 19,
};

// How the file in flight stands: running from its start; failed once its upload failed
// for good, which stops the folder walk.
enum class RunState { kIdle, kRunning, kFailed };

// One file in flight: the context its exchanges run on (link, buffer, reports), the
// server folder its requests name, and everything known of it. The upload owns one per
// file in flight; nothing in it is shared with another file, so a second file can run
// on a context with a link of its own.
struct FileInFlight {
  explicit FileInFlight(EngineContext& engine_context);

  EngineContext& context;
  // The server folder its requests name; "" for none ("NO").
  std::string folder_id;
  std::string folder_name;
  UploadFileState file;  // cleared at the start of every file
  RunState run_state = RunState::kIdle;
  // Sending moves the file through this buffer: a fixed size, whatever the file's.
  std::vector<uint8_t> piece;
  // The conclusion of the last refused upload, as it may be shown.
  std::string put_conclusion;
  // Held while the delta path works with its fixed file names, when other files are in
  // flight at the same time (null when none can be).
  platform::Mutex* delta_names_lock = nullptr;
};

class FolderAhead;
class LaneOpener;

// What one upload command carries from step to step: the walk's position and what the
// job counts across files.
struct UploadJob {
  explicit UploadJob(EngineContext& engine_context)
      : context(engine_context), in_flight(engine_context) {}

  EngineContext& context;
  // The server folder the walk is in; its node is null below a folder the engine created
  // (the service then finds or creates by name).
  ServerFolder folder;
  // The local folder being walked.
  std::string local_folder;
  // The server file list's entry named like the file UploadFile is about to send (any
  // date), found by the folder walk; null when there is none.
  const ServerFileEntry* list_entry = nullptr;
  // The file UploadFile is about to send is known to be missing from the server folder
  // (FileStep::not_on_server): with several files in flight it goes without the
  // is-it-there test, whose answer could only be "NotHere".
  bool not_on_server = false;
  bool quota_note_written = false;
  FileInFlight in_flight;
  // The lanes the walk's files are sent on when the job keeps several in flight, opened
  // when a folder first has a file to send; null: one after the other on the context's
  // own connection.
  LaneOpener* lanes = nullptr;
  // What a lane fetched ahead for the folder UploadFolder is about to scan (its creation
  // check and file list); null: the walk asks itself.
  FolderAhead* ahead = nullptr;
};

// The worker's handler for command 2, sending into the server folder `mapped` (none:
// the requests name no folder); true on success.
[[nodiscard]] bool RunUpload(EngineContext& context, const FolderRecord* mapped);

// Makes the walk's server folder the one named like the local folder's last component:
// the walk's own when its name matches, else a child of that name, else a new folder.
// False when the folder cannot be created.
[[nodiscard]] bool MatchServerFolder(UploadJob& job);
// Creates (or reuses) the server subfolder `name` below the walk's server folder and
// scans the local subfolder of that name; with an empty name scans the walk's folder.
// The walk's position is the same afterwards. With `ahead`, the creation check and the
// file list come from what a lane asked ahead.
[[nodiscard]] bool UploadSubfolder(UploadJob& job, std::string_view name, bool top,
                                   FolderAhead* ahead = nullptr);
// Scans the walk's local folder for `pattern`: subfolders first, then the files.
[[nodiscard]] bool UploadFolder(UploadJob& job, std::string_view pattern, bool top);
// Sends the file `name` of the walk's local folder. False only when the job must stop.
[[nodiscard]] bool UploadFile(UploadJob& job, std::string_view name, bool report_missing);

}  // namespace nvx

#endif  // NVX_ENGINES_UPLOAD_ENGINE_H_

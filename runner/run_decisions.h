// The job driver's decisions, as pure functions of what the library reported: the login
// outcome, the check of a job's server folder, the branch taken after a transfer, and the
// run flags that the transfer counters raise. The driver only sequences library calls
// around them.
#ifndef NVX_RUNNER_RUN_DECISIONS_H_
#define NVX_RUNNER_RUN_DECISIONS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "api/nvxapi.h"
#include "runner/job_config.h"

namespace nvx {

struct LoginOutcome {
  bool go_on = false;
  int exit_code = 0;
  // With debug: this line, then the status message, error code and HTTP response lines.
  std::string debug_line;
  // Written to the results and closed at once when not empty.
  std::string results_text;
};

// The outcome of the login check from its final status, error code, the service's
// conclusion and the last HTTP response line. Only the conclusion "Successful" without an
// error code lets the run go on. Any other conclusion, a check that failed without an
// error code (the library gave up before the service could answer), or one that ended
// without any conclusion (the exchange broke, or the answer held none), is a system
// error, not a quiet success; without a conclusion its results text says what happened,
// and why the connection failed when the status message tells (a refused certificate).
LoginOutcome DecideLoginOutcome(int32_t status, int32_t error_code, std::string_view conclusion,
                                std::string_view http_response,
                                std::string_view status_message = {});

enum class FolderVerdict {
  kGoOn,
  kNotFound,      // not mapped, or hidden: exit code 5
  kAccessDenied,  // exit code 6
};

// Upload and clean jobs need write access; every job needs access.
FolderVerdict CheckJobFolder(JobKind kind, bool mapped, bool no_show, bool no_access,
                             bool write_access);

struct ServerPathParts {
  std::string folder;
  std::string name;
};

// Splits a server path at its last "\". Without one the folder is the root "\"; a name
// directly under the root also shows its folder as "\".
ServerPathParts SplitServerPath(std::string_view path);

std::string FolderNotFoundText(const ServerPathParts& parts);
std::string AccessDeniedText(const ServerPathParts& parts);

enum class TransferVerdict {
  kNextJob,
  kLocalFileNotFound,  // exit code 7 when still 0; the run goes on
  kQuotaExceeded,      // the run ends with 8
  kSystemError,        // the run ends with 10
};

TransferVerdict DecideAfterTransfer(int32_t error_code);

struct RunFlags {
  bool errors_seen = false;       // some file failed
  bool zero_length_seen = false;  // zero-length files were ignored
  bool notes_seen = false;        // something was not transferred, for a reason reported
  bool command_failed = false;    // a job's command ended failed (status 3)
};

// Raises the flags that a finished transfer's counters call for.
void NoteTransferCounters(const TransferProgress& counters, RunFlags& flags);

// The verb that names a job in its configuration: "SendToNVX", "MoveToNVX",
// "CopyFromNVX", "MoveFromNVX", "VerifyNVXFolders", "CleanNVX", "DeleteEmptyNVXFolders",
// "SendLog".
const char* JobKeyword(const JobEntry& job);

// The results text for a job whose command ended failed: the job's verb, the server folder
// it worked on and why it failed (the status message, else the conclusion). The reason
// comes from the library and the service: control characters become blanks and it is
// cut at kMaxFailureReasonBytes.
inline constexpr size_t kMaxFailureReasonBytes = 512;
std::string FailedCommandText(std::string_view keyword, std::string_view server_folder,
                              std::string_view status_message, std::string_view conclusion);

// The results text for a run that ends because the folder list could not be read before
// the job `keyword` (on `server_folder`, when it has one): the reason as in
// FailedCommandText.
std::string FolderListFailedText(std::string_view keyword, std::string_view server_folder,
                                 std::string_view status_message, std::string_view conclusion);

// Whether a delete of empty folders failed: the command failed, or the service answered
// other than "Successful" (letter case ignored), which the library passes on unjudged.
bool DeleteEmptyFailed(int32_t status, std::string_view conclusion);

// Keeps the first problem's exit code: 5, 6 and 7 are set only while the code is 0.
inline void KeepFirstExitCode(int& exit_code, int code) {
  if (exit_code == 0) exit_code = code;
}

}  // namespace nvx

#endif  // NVX_RUNNER_RUN_DECISIONS_H_

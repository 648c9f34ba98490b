// The run status file: what NVXbackup is doing, written in the log folder while it runs
// and once more when it ends, so that the wizard (and the desktop notifier) can show a
// run's progress and its outcome without a terminal window. One file per results type:
// "Backup.status", "Restore.status", ... NVXbackup replaces it whole (a new file and a
// rename), about once a second and at the end, so a reader never sees half a file.
//
// The text is plain, one "key=value" per line, LF line ends; lines starting with "#" are
// comments; unknown keys are ignored so that older readers take newer files. Values are
// one line: a backslash, CR and LF inside a value are written "\\", "\r" and "\n".
//
//   state=running | finished
//   pid=          the NVXbackup process that writes the file
//   results_type= the run's results type ("Backup", "Restore", ...)
//   started=      when the run began, seconds since 1970 UTC
//   updated=      when this file was written, seconds since 1970 UTC
//   job=, jobs=   the job in hand (from 1; 0 before the first) and the number of jobs
//   phase=        what the run does: login, upload, download, verify, clean, send log,
//                 restore test, end
//   files_done=, files_total=  files of the job looked at so far, and in all (-1: unknown)
//   bytes_done=, bytes_total=  bytes that travelled so far, and that will travel in all
//                 (files found already on the service do not count; -1: unknown)
//   rate=         bytes per second over the last seconds (-1: unknown)
//   seconds_left= the estimate of the time left (-1: unknown)
//   current_file= the file in hand
//   notify=       the desktop notification wanted: failures, always or never
//   last_success= when the last run of this results type that ended with exit code 0
//                 began (0: none known); carried over from run to run
//   exit_code=    finished only: the run's exit code
//   report=       finished only: yes when the run wrote its results report, else no
//   errors=       finished only: yes when the report tells of errors (files that failed,
//                 folders not found, commands that failed)
//   subject=      finished only: the results subject, or why there is no report
//   email=        finished only: the service's answer when the results e-mail failed
//   ended=        finished only: when the run ended
//
// A file that says running while its process is gone belongs to a run that did not
// finish (killed, crashed, machine stopped). Plain functions; any thread.
#ifndef NVX_JOBFILES_RUN_STATUS_FILE_H_
#define NVX_JOBFILES_RUN_STATUS_FILE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nvx::jobfiles {

// The file is small: a larger one is refused, never read in part.
inline constexpr size_t kMaxRunStatusFileBytes = 64 * 1024;
// A value longer than this is cut when written (a file name beyond any real path).
inline constexpr size_t kMaxRunStatusValueBytes = 8 * 1024;

inline constexpr std::string_view kNotifyFailures = "failures";
inline constexpr std::string_view kNotifyAlways = "always";
inline constexpr std::string_view kNotifyNever = "never";

enum class RunState { kRunning, kFinished };

struct RunStatus {
  RunState state = RunState::kRunning;
  int64_t pid = 0;
  std::string results_type;
  int64_t started = 0;
  int64_t updated = 0;
  int job = 0;
  int jobs = 0;
  std::string phase;
  int64_t files_done = 0;
  int64_t files_total = -1;
  int64_t bytes_done = 0;
  int64_t bytes_total = -1;
  int64_t rate = -1;
  int64_t seconds_left = -1;
  std::string current_file;
  std::string notify{kNotifyFailures};
  int64_t last_success = 0;
  int exit_code = 0;
  bool report = false;
  bool errors = false;
  std::string subject;
  std::string email;
  int64_t ended = 0;
};

// "<results type>.status" in the log folder.
std::string RunStatusFileName(std::string_view results_type);

std::string FormatRunStatus(const RunStatus& status);
// None when the text is not a status file (no state line, or too large).
[[nodiscard]] std::optional<RunStatus> ParseRunStatus(std::string_view text);

// Writes the file whole under `path` + ".tmp" and renames it over `path`. False when a
// step failed; `path` then still holds the previous status.
[[nodiscard]] bool WriteRunStatusFile(const std::string& path, const RunStatus& status);
// None when the file is missing, unreadable or no status file.
std::optional<RunStatus> ReadRunStatusFile(const std::string& path);

// How the console line and the wizard show the status's numbers: "512 bytes", "1.5 MB",
// "2.0 GB"; "12 s", "3 min 20 s", "2 h 5 min".
std::string ByteSizeText(int64_t bytes);
std::string DurationText(int64_t seconds);

// A run counts as succeeded when it ended with exit code 0.
inline bool Succeeded(const RunStatus& status) {
  return status.state == RunState::kFinished && status.exit_code == 0;
}
// A finished run that failed, ended without its report, or reports errors.
inline bool EndedBadly(const RunStatus& status) {
  return status.state == RunState::kFinished &&
         (status.exit_code != 0 || !status.report || status.errors);
}

}  // namespace nvx::jobfiles

#endif  // NVX_JOBFILES_RUN_STATUS_FILE_H_

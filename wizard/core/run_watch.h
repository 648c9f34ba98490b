// What the wizard shows of a job runner run: read from the run status file that NVXbackup
// keeps in the logs folder ("Backup.status", "Restore.status", ...), whether the run was
// started by this wizard, by another one or by the schedule. A run the wizard has just
// started shows as waiting until its status file is newer than the start; a status that
// says running while its process is gone belongs to a run that did not finish. Plain
// functions; GUI thread (they read small files).
#ifndef NVX_WIZARD_CORE_RUN_WATCH_H_
#define NVX_WIZARD_CORE_RUN_WATCH_H_

#include <QString>
#include <functional>
#include <optional>

#include "jobfiles/run_status_file.h"

namespace nvx::wizard {

inline constexpr char kBackupResultsType[] = "Backup";
inline constexpr char kRestoreResultsType[] = "Restore";

// Whether a process still runs; the platform's answer unless a test gives another.
using ProcessCheck = std::function<bool(int64_t pid)>;
bool ProcessRuns(int64_t pid);

struct RunView {
  enum class State {
    kNone,     // no run of this type is known
    kWaiting,  // started here, its status file not written yet
    kQueued,   // started here, waiting for another run in progress
    kRunning,
    kFinished,      // ended with its report and without errors
    kFailed,        // ended with errors, an exit code other than 0 or without its report
    kDidNotFinish,  // its process is gone but the status never said it ended
  };
  State state = State::kNone;
  std::optional<jobfiles::RunStatus> status;
  // The share done, 0 ... 1, or -1 when unknown (the bar then shows activity only).
  double fraction = -1;
  QString state_text;  // "Running: job 2 of 7", "Finished: No Errors", ...
  QString files_text;  // "Files: 12 of 120"
  QString bytes_text;  // "Sent: 35.2 MB of 410.0 MB"
  QString rate_text;   // "Speed: 2.4 MB/s"
  QString time_left_text;
  QString current_file;
  bool ended() const {
    return state == State::kFinished || state == State::kFailed || state == State::kDidNotFinish;
  }
};

// The status file of `results_type` in the logs folder of `app_folder`.
QString RunStatusPath(const QString& app_folder, const QString& results_type);

// The view of the last run of `results_type`. `launched_at` (seconds since 1970, 0 for
// none) is when this wizard started a run that is to be shown: an older status belongs
// to an earlier run.
RunView ReadRunView(const QString& app_folder, const QString& results_type, int64_t launched_at,
                    const ProcessCheck& runs = ProcessRuns);

// The view of a status as it stands (no file read).
RunView ViewOfStatus(const jobfiles::RunStatus& status, const ProcessCheck& runs);

// "Failed (exit code 4): User Password Invalid", "No Errors", "Did not finish", ...: the
// outcome of an ended run in one line.
QString OutcomeText(const RunView& view);

// The menu's line about the last backup and its warning when backups are overdue: no run
// succeeded for longer than the schedule's period plus a day (7 days plus a day without a
// schedule). `period_days` is 1 for a daily schedule, 7 for a weekly one or none;
// `configured_at` (seconds since 1970) is when config.txt was written, the reference
// while no backup has ever succeeded.
struct LastBackupLine {
  QString text;     // "Last backup: <date>, <outcome>", or "Last backup: none yet"
  QString warning;  // empty when backups are not overdue
};
LastBackupLine LastBackupText(const RunView& view, int period_days, int64_t configured_at,
                              int64_t now);

// The notice after a job was started: "The Norrvault " + job + " has been started in a
// separate window, ..." when it runs in a terminal window (closing that window stops
// `stopped`), else that it runs in the background with its progress on the page.
QString JobStartedText(const QString& job, const QString& stopped, bool in_window);

// Why the results e-mail box is left unticked: the last backup's e-mail was refused
// because the account has no address.
inline constexpr char kNoEmailAddressNote[] =
    "Your Norrvault account has no e-mail address, so results e-mails cannot be sent. Add an "
    "address to your account to receive them.";
// True when the last backup's results e-mail was refused for want of an address.
bool AccountHasNoEmailAddress(const QString& app_folder);

// A local date and time as the wizard shows them.
QString MomentText(int64_t seconds_since_epoch);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_RUN_WATCH_H_

// The restore test: restoretest-config.txt is config.txt turned from sending its folders
// into testing their restore ("VerifyRestore N"), with its results under their own type,
// whose run status file records when the last test ran and how it ended. GUI thread.
#ifndef NVX_WIZARD_CORE_RESTORE_TEST_JOB_H_
#define NVX_WIZARD_CORE_RESTORE_TEST_JOB_H_

#include <QString>
#include <QStringList>

#include "jobfiles/backup_schedule_file.h"
#include "wizard/core/run_watch.h"

namespace nvx::wizard {

// The name NVXscheduledBackup's weekly line runs NVXbackup with as well.
inline constexpr const char* kRestoreTestConfigName = jobfiles::kRestoreTestConfigName.data();
inline constexpr char kRestoreTestResultsType[] = "RestoreTest";
// How many files a restore test started from the menu restores.
inline constexpr int kRestoreTestFiles = 5;

// The transform, line by line: the copy ends at the configuration-and-logs block; the
// sections of single files (Outlook files, individual files) and the folder checks are
// left out; "SendToNVX" becomes "VerifyRestore " + `files`; the results type becomes
// "RestoreTest"; other lines are copied.
QStringList RestoreTestLines(const QStringList& config_lines, int files);

// Writes AppFolder/restoretest-config.txt (0600) from AppFolder/config.txt. False with
// *error when config.txt cannot be read or the job file cannot be written.
[[nodiscard]] bool PrepareRestoreTest(const QString& app_folder, QString* error);

// The menu's line about the last restore test: "Last restore test: none yet", or
// "Last restore test: <date>, passed" / ", failed: <why>" / ", did not finish" / ", running".
QString LastRestoreTestText(const RunView& view);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_RESTORE_TEST_JOB_H_

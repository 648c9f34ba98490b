// The cleanup job: cleanup-config.txt is config.txt turned from sending into cleaning the
// server copies. The activity logs of the logs folder are deleted first. GUI thread.
#ifndef NVX_WIZARD_CORE_CLEANUP_JOB_H_
#define NVX_WIZARD_CORE_CLEANUP_JOB_H_

#include <QString>
#include <QStringList>

namespace nvx::wizard {

inline constexpr char kCleanupConfigName[] = "cleanup-config.txt";
// The question asked before a cleanup (OK/Cancel).
QString CleanupQuestion();

// Texts of RunningRestore for the cleanup.
inline constexpr char kCleanupHeading[] = "Norrvault Backup Cleanup running";
inline constexpr char kCleanupCaption[] = "Norrvault Cleanup Job Started";
QString CleanupRunningText(bool in_window = true);
// The results type of cleanup-config.txt, whose run status the notice shows.
inline constexpr char kCleanupResultsType[] = "Cleanup";

// The transform, line by line (prefix tests on the upper-cased line):
// "#CONFIGURATION AND ASSOCIATED" ends the copy with "#END Cleanup-configuration";
// "#INDIVID" and "#OUTLOOK" mark a file section; a LocalPath line becomes "LocalFile " +
// its value in a file section or when it ends with ".rpt" or "*.txt"; "SENDTONVX" becomes
// "CleanNVX"; "RESULTSTYPE" becomes "ResultsType Cleanup"; other lines are copied.
QStringList CleanupLines(const QStringList& config_lines);

// Deletes the "*.log" files of the logs folder of `app_folder` (none is fine). Returns the
// number deleted.
int DeleteActivityLogs(const QString& app_folder);

// Deletes the activity logs and writes AppFolder/cleanup-config.txt (0600) from
// AppFolder/config.txt. False with *error when config.txt cannot be read or the job file
// cannot be written; nothing is started then.
[[nodiscard]] bool PrepareCleanup(const QString& app_folder, QString* error);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_CLEANUP_JOB_H_

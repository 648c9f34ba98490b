#include "wizard/core/cleanup_job.h"

#include <QDir>
#include <QFile>

#include "wizard/core/config_line.h"
#include "wizard/core/config_rewrites.h"
#include "wizard/core/job_file.h"
#include "wizard/core/run_watch.h"
#include "wizard/core/wizard_environment.h"

namespace nvx::wizard {

QString CleanupQuestion() {
  return QString("Cleanup removes files and folders from your ") + "Norrvault Backup Account " +
         "\r\n" + "if those files or folders no longer " + "exist on your PC." + "\r\n\r\n" +
         "Continue with Cleanup?";
}

QString CleanupRunningText(bool in_window) {
  return JobStartedText("Cleanup Job", "the Cleanup Job", in_window);
}

QStringList CleanupLines(const QStringList& config_lines) {
  QStringList lines;
  bool file_section = false;
  for (const QString& line : config_lines) {
    const QString upper = line.toUpper();
    if (upper.startsWith("#CONFIGURATION AND ASSOCIATED")) {
      lines << "#END Cleanup-configuration";
      break;
    }
    if (upper.startsWith("#INDIVID") || upper.startsWith("#OUTLOOK")) {
      file_section = true;
      lines << line;
    } else if (BeginsWith(line, ConfigKeyword::kLocalPath, Qt::CaseInsensitive)) {
      // Files and the file patterns of a section are cleaned as files, not as folders.
      if (file_section || line.endsWith(".rpt") || line.endsWith("*.txt")) {
        lines << ConfigLine(ConfigKeyword::kLocalFile,
                            line.mid(Keyword(ConfigKeyword::kLocalPath).size() + 1));
      } else {
        lines << line;
      }
      file_section = false;
    } else if (BeginsWith(line, ConfigKeyword::kSendToNVX, Qt::CaseInsensitive)) {
      lines << VerbLine(ConfigKeyword::kCleanNVX);
    } else if (BeginsWith(line, ConfigKeyword::kResultsType, Qt::CaseInsensitive)) {
      lines << ConfigLine(ConfigKeyword::kResultsType, "Cleanup");
    } else {
      lines << line;
    }
  }
  return lines;
}

int DeleteActivityLogs(const QString& app_folder) {
  const QString logs = LogsFolder(app_folder);
  int deleted = 0;
  for (const QString& name : QDir(logs).entryList({"*.log"}, QDir::Files | QDir::Hidden)) {
    if (QFile::remove(logs + "/" + name)) ++deleted;
  }
  return deleted;
}

bool PrepareCleanup(const QString& app_folder, QString* error) {
  bool found = false;
  const QStringList config = ReadLines(AppFile(app_folder, kConfigName), &found);
  if (!found) {
    if (error) *error = AppFile(app_folder, kConfigName) + ": cannot be read";
    return false;
  }
  DeleteActivityLogs(app_folder);
  return WriteJobFile(AppFile(app_folder, kCleanupConfigName), CleanupLines(config), error);
}

}  // namespace nvx::wizard

#include "wizard/core/download_job.h"

#include <QFile>
#include <cstdio>

#include "wizard/core/config_line.h"
#include "wizard/core/config_rewrites.h"
#include "wizard/core/config_sections.h"
#include "wizard/core/job_file.h"
#include "wizard/core/run_watch.h"

namespace nvx::wizard {

namespace {

using enum jobfiles::ConfigKeyword;

QStringList DownloadTail(const QString& app_folder) {
  return {" ",
          YesNoLine(kProgress, true),
          ConfigLine(kLogDirectory, LogsFolderPath(app_folder)),
          " ",
          ConfigLine(kLocalPath, app_folder),
          ConfigLine(kServerPath, "\\Backup\\Configuration and Logs"),
          ConfigLine(kServerFile, kConfigName),
          YesNoLine(kTransferCompress, false),
          YesNoLine(kNotifyUser, false),
          VerbLine(kCopyFromNVX),
          " ",
          "END download-config.txt"};
}

// config.txt becomes config.old, replacing an older one in the same step.
bool MoveConfigToOld(const QString& app_folder, QString* error) {
  const QString config = AppFile(app_folder, kConfigName);
  if (!QFile::exists(config)) return true;
  if (std::rename(QFile::encodeName(config).constData(),
                  QFile::encodeName(AppFile(app_folder, kConfigOldName)).constData()) != 0) {
    if (error) *error = "Cannot rename " + config + " to " + kConfigOldName;
    return false;
  }
  return true;
}

}  // namespace

QString DownloadQuestion() {
  return QString("Backup/Restore Configuration from your ") +
         "Norrvault Backup Account will be downloaded if available." + "\r\n\r\n" +
         "Continue with Download?";
}

QString DownloadRunningText(bool in_window) {
  return JobStartedText("Configuration Download", "the Download", in_window);
}

QString DownloadRunningTextWithRelaunch(bool in_window) {
  return DownloadRunningText(in_window) + "\r\n\r\n" +
         "Close this window and relaunch Norrvault Backup after Configuration Download is "
         "complete.";
}

QStringList MenuDownloadLines(const QString& app_folder, const QStringList& config_lines) {
  QStringList lines{"#Download Configuration from Norrvault", " "};
  for (const QString& line : config_lines) {
    if (BeginsWith(line, kUser, Qt::CaseInsensitive)) lines << line;
    // Separate tests: a NVXPwEncrypt line passes both and is written twice, which the job
    // runner reads as the same password given twice.
    if (BeginsWith(line, kPasswordEncrypt, Qt::CaseInsensitive)) lines << line;
    if (BeginsWith(line, kPassword, Qt::CaseInsensitive)) lines << line;
  }
  // The download reaches the servers the backups reach, the same way.
  lines << ServerLines(ServerChoiceFromLines(config_lines));
  return lines << DownloadTail(app_folder);
}

QStringList ChooseTypeDownloadLines(const QString& app_folder, const QString& login_id,
                                    const QString& password, const ServerChoice& server) {
  QStringList lines{"#Download Configuration from Norrvault", " ", ConfigLine(kUser, login_id),
                    ConfigLine(kPasswordEncrypt, password)};
  return lines << ServerLines(server) << DownloadTail(app_folder);
}

bool PrepareMenuDownload(const QString& app_folder, QString* error) {
  const QStringList config = ReadLines(AppFile(app_folder, kConfigName));
  return WriteJobFile(AppFile(app_folder, kDownloadConfigName),
                      MenuDownloadLines(app_folder, config), error) &&
         MoveConfigToOld(app_folder, error);
}

bool PrepareChooseTypeDownload(const QString& app_folder, const QString& login_id,
                               const QString& password, const ServerChoice& server,
                               QString* error) {
  return WriteJobFile(AppFile(app_folder, kDownloadConfigName),
                      ChooseTypeDownloadLines(app_folder, login_id, password, server), error) &&
         MoveConfigToOld(app_folder, error);
}

}  // namespace nvx::wizard

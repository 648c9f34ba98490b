#include "wizard/core/restore_job.h"

#include <QFileInfo>

#include "wizard/core/config_line.h"
#include "wizard/core/config_rewrites.h"
#include "wizard/core/config_sections.h"
#include "wizard/core/job_file.h"
#include "wizard/core/server_address.h"

namespace nvx::wizard {

QString KeepLocationQuestion(const QString& location) {
  return "Do you want to restore the item to " + location + "  ?";
}

bool RestoreLocationExists(const RestoreItem& item) {
  return !item.local_path.isEmpty() && QFileInfo(item.local_path).isDir();
}

bool ChooseRestoreDestination(RestoreItem& item, const RestoreDestinationPrompts& prompts) {
  if (item.entry.startsWith("FOLDER")) prompts.inform(kRestoreFolderNotice);
  if (RestoreLocationExists(item) &&
      prompts.ask_yes_no(kKeepLocationTitle, KeepLocationQuestion(item.local_path))) {
    return true;
  }
  const QString folder = prompts.browse_folder(kRestoreBrowseTitle);
  if (folder.isEmpty()) {
    prompts.inform(kNoDestinationMessage);
    return false;
  }
  prompts.inform("Restore destination: " + folder);
  item.local_path = folder;
  return true;
}

QStringList RestoreConfigLines(const QString& app_folder, const QString& login_id,
                               const QString& password, const ServerChoice& server,
                               const QVector<RestoreItem>& selected) {
  QStringList lines{"#config file for restore",
                    " ",
                    "#Specify the Login ID",
                    ConfigLine(ConfigKeyword::kUser, login_id),
                    " ",
                    "#Specify the password",
                    ConfigLine(ConfigKeyword::kPasswordEncrypt, password)};
  lines << ServerLines(server);
  lines << " "
        << "#Turn on Progress, logging, set ResultsType "
        << YesNoLine(ConfigKeyword::kProgress, true)
        << ConfigLine(ConfigKeyword::kTransfers, QString::number(kNewConfigTransfers))
        << ConfigLine(ConfigKeyword::kLogDirectory, LogsFolderPath(app_folder))
        << ConfigLine(ConfigKeyword::kResultsType, "Restore") << " ";
  for (const RestoreItem& item : selected) {
    lines << ConfigLine(ConfigKeyword::kLocalPath, item.local_path);
    // The stored block ends with CR LF; splitting leaves an empty last piece that stands
    // for the line end written after the block, so each item ends with two empty lines.
    lines << item.stored_block.split("\r\n");
  }
  if (!selected.isEmpty()) lines << "#END config file for restore";
  return lines;
}

bool WriteRestoreConfig(const QString& app_folder, const QString& login_id, const QString& password,
                        const ServerChoice& server, const QVector<RestoreItem>& selected,
                        QString* error) {
  return WriteJobFile(AppFile(app_folder, kRestoreConfigName),
                      RestoreConfigLines(app_folder, login_id, password, server, selected), error);
}

}  // namespace nvx::wizard

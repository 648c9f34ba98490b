#include "wizard/core/config_sections.h"

#include "wizard/core/config_line.h"
#include "wizard/core/server_address.h"
#include "wizard/core/wizard_environment.h"

namespace nvx::wizard {

namespace {

using enum jobfiles::ConfigKeyword;

constexpr char kConfigurationAndLogs[] = "\\Backup\\Configuration and Logs";

QString Join(const QString& folder, const QString& name) {
  return folder.endsWith('/') ? folder + name : folder + "/" + name;
}

QStringList VerifyBlock(const QString& server_folder) {
  return {ConfigLine(kVerifyPath, server_folder), VerbLine(kVerifyNVXFolders), " "};
}

// The verify block of a server folder shared by several sections, once per file.
QStringList VerifyBlockOnce(bool& written, const QString& server_folder) {
  if (written) return {};
  written = true;
  return VerifyBlock(server_folder);
}

// The end of a section: the notify line when notify user is set, the send verb, a blank.
void AddSendLines(QStringList& lines, const WizardState& state) {
  if (state.notify_user) lines << YesNoLine(kNotifyUser, true);
  lines << VerbLine(kSendToNVX) << " ";
}

QStringList ConfigurationFilesSection(const QString& local_path) {
  return {ConfigLine(kLocalPath, local_path),
          ConfigLine(kServerPath, kConfigurationAndLogs),
          YesNoLine(kTransferCompress, false),
          YesNoLine(kNotifyUser, true),
          VerbLine(kSendToNVX),
          " "};
}

}  // namespace

QString LogsFolderPath(const QString& app_folder) {
  return LogsFolder(app_folder);
}

QStringList HeaderLines(const WizardState& state) {
  QStringList lines{"#config file for backup",
                    "#Operating System found to be " + state.os_name,
                    "#Logged in user found to be " + state.user_name,
                    " ",
                    "#Specify the Login ID",
                    ConfigLine(kUser, state.login_id),
                    " ",
                    "#Specify the password",
                    ConfigLine(kPasswordEncrypt, state.password)};
  lines << ServerLines(state.server);
  lines << " "
        << "#Turn on Progress, logging, set ResultsType " << YesNoLine(kProgress, true)
        << ConfigLine(kTransfers, QString::number(kNewConfigTransfers))
        << ConfigLine(kLogDirectory, LogsFolderPath(state.app_folder))
        << ConfigLine(kResultsType, "Backup") << " ";
  return lines;
}

QStringList MyDocumentsLines(WizardState& state, bool included,
                             const QStringList& unchecked_subfolders) {
  if (!included) return {"#My Documents not included in backup", " "};
  state.something_selected = true;
  QStringList lines{"#My Documents included in backup"};
  lines << VerifyBlock("\\Backup\\My Documents");
  lines << ConfigLine(kLocalPath, state.my_documents_folder)
        << ConfigLine(kServerPath, "\\backup\\My Documents");
  for (const QString& name : unchecked_subfolders) lines << ConfigLine(kSkipFolder, name);
  lines << YesNoLine(kTransferCompress, true) << YesNoLine(kIncludeSubFolders, true);
  AddSendLines(lines, state);
  return lines;
}

QStringList FavoritesLines(WizardState& state, bool included) {
  if (!included) return {"#Favorites not included in backup", " "};
  state.something_selected = true;
  QStringList lines{"#Favorites included in backup"};
  lines << VerifyBlock("\\Backup\\Favorites");
  lines << ConfigLine(kLocalPath, state.favorites_folder)
        << ConfigLine(kServerPath, "\\Backup\\Favorites") << YesNoLine(kTransferCompress, false)
        << YesNoLine(kIncludeSubFolders, true);
  AddSendLines(lines, state);
  return lines;
}

QStringList DesktopLines(WizardState& state, bool files_included,
                         const QStringList& checked_folders) {
  QStringList lines;
  if (files_included) {
    state.something_selected = true;
    lines << "#Desktop FILES included in backup";
    lines << VerifyBlockOnce(state.desktop_verify_written, "\\Backup\\Desktop");
    lines << ConfigLine(kLocalPath, state.desktop_folder)
          << ConfigLine(kServerPath, "\\backup\\Desktop") << ConfigLine(kExcludeExtension, ".exe")
          << ConfigLine(kExcludeExtension, ".lnk") << YesNoLine(kTransferCompress, true)
          << YesNoLine(kIncludeSubFolders, false);
    AddSendLines(lines, state);
  } else {
    lines << "#Desktop FILES NOT included in backup"
          << " ";
  }
  for (const QString& name : checked_folders) {
    state.something_selected = true;
    lines << "#Desktop folder " + name;
    lines << VerifyBlockOnce(state.desktop_verify_written, "\\Backup\\Desktop");
    lines << ConfigLine(kLocalPath, Join(state.desktop_folder, name))
          << ConfigLine(kServerPath, "\\backup\\Desktop") << YesNoLine(kTransferCompress, true)
          << YesNoLine(kIncludeSubFolders, true);
    AddSendLines(lines, state);
  }
  return lines;
}

QStringList OutlookFileLines(WizardState& state, const QString& listed_name,
                             const QString& name_on_disk) {
  state.something_selected = true;
  QStringList lines{"#Outlook file: " + listed_name};
  lines << VerifyBlockOnce(state.outlook_verify_written, "\\Backup\\Outlook");
  lines << ConfigLine(kLocalPath, Join(state.outlook_folder, name_on_disk))
        << ConfigLine(kServerPath, "\\backup\\Outlook") << YesNoLine(kTransferCompress, true)
        << YesNoLine(kIncludeSubFolders, false);
  AddSendLines(lines, state);
  return lines;
}

QStringList OtherFolderLines(WizardState& state, const QString& folder, bool include_subfolders) {
  state.something_selected = true;
  QStringList lines{"#Other folder: " + folder};
  lines << VerifyBlockOnce(state.other_folders_verify_written, "\\Backup\\Other Folders");
  lines << ConfigLine(kLocalPath, folder) << ConfigLine(kServerPath, "\\backup\\Other Folders")
        << YesNoLine(kTransferCompress, true) << YesNoLine(kIncludeSubFolders, include_subfolders);
  AddSendLines(lines, state);
  return lines;
}

QStringList IndividualFileLines(WizardState& state, const QString& path) {
  state.something_selected = true;
  QStringList lines{"#Individual File: " + path};
  lines << VerifyBlockOnce(state.other_folders_verify_written, "\\Backup\\Other Folders");
  lines << ConfigLine(kLocalPath, path) << ConfigLine(kServerPath, "\\backup\\Other Folders")
        << YesNoLine(kTransferCompress, true);
  AddSendLines(lines, state);
  return lines;
}

QStringList ConfigurationAndLogsLines(const QString& app_folder) {
  QStringList lines{"#Configuration and associated files included in backup"};
  lines << VerifyBlock(kConfigurationAndLogs);
  lines << ConfigurationFilesSection(Join(app_folder, "*.txt"));
  lines << ConfigurationFilesSection(Join(LogsFolderPath(app_folder), "*.txt"));
  lines << ConfigurationFilesSection(Join(app_folder, "*.rpt"));
  lines << "#Upload This log, keep 2 total" << ConfigLine(kServerPath, kConfigurationAndLogs)
        << ConfigLine(kLogCount, "2") << VerbLine(kSendLog) << " ";
  return lines;
}

QStringList TailLines(const WizardState& state) {
  if (!state.something_selected) return {" ", "#Nothing selected for backup"};
  return ConfigurationAndLogsLines(state.app_folder) << "#END config file for backup";
}

QStringList JoinSelectedFiles(const QString& folder, const QStringList& names) {
  QStringList paths;
  for (const QString& name : names) paths << Join(folder, name);
  return paths;
}

}  // namespace nvx::wizard

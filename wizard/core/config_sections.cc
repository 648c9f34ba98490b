#include "wizard/core/config_sections.h"

#include "wizard/core/wizard_environment.h"

namespace nvx::wizard {

namespace {

constexpr char kConfigurationAndLogs[] = "\\Backup\\Configuration and Logs";

QString Join(const QString& folder, const QString& name) {
  return folder.endsWith('/') ? folder + name : folder + "/" + name;
}

QStringList VerifyBlock(const QString& server_folder) {
  return {"VerifyPath " + server_folder, "VerifyNVXFolders", " "};
}

// The verify block of a server folder shared by several sections, once per file.
QStringList VerifyBlockOnce(bool& written, const QString& server_folder) {
  if (written) return {};
  written = true;
  return VerifyBlock(server_folder);
}

void AddNotify(QStringList& lines, const WizardState& state) {
  if (state.notify_user) lines << "NotifyUser Y";
}

QStringList ConfigurationFilesSection(const QString& local_path) {
  return {"LocalPath " + local_path,
          "NVXpath \\Backup\\Configuration and Logs",
          "TransferCompress N",
          "NotifyUser Y",
          "SendToNVX",
          " "};
}

}  // namespace

QString LogsFolderPath(const QString& app_folder) {
  return LogsFolder(app_folder);
}

QStringList HeaderLines(const WizardState& state) {
  return {"#config file for backup",
          "#Operating System found to be " + state.os_name,
          "#Logged in user found to be " + state.user_name,
          " ",
          "#Specify the Login ID",
          "NVXuser " + state.login_id,
          " ",
          "#Specify the password",
          "NVXPwEncrypt " + state.password,
          " ",
          "#Turn on Progress, logging, set ResultsType ",
          "Progress Y",
          "LogDirectory " + LogsFolderPath(state.app_folder),
          "ResultsType Backup",
          " "};
}

QStringList MyDocumentsLines(WizardState& state, bool included,
                             const QStringList& unchecked_subfolders) {
  if (!included) return {"#My Documents not included in backup", " "};
  state.something_selected = true;
  QStringList lines{"#My Documents included in backup"};
  lines << VerifyBlock("\\Backup\\My Documents");
  lines << "LocalPath " + state.my_documents_folder << "NVXpath \\backup\\My Documents";
  for (const QString& name : unchecked_subfolders) lines << "SkipFolder " + name;
  lines << "TransferCompress Y"
        << "IncludeSubfolders Y";
  AddNotify(lines, state);
  lines << "SendToNVX"
        << " ";
  return lines;
}

QStringList FavoritesLines(WizardState& state, bool included) {
  if (!included) return {"#Favorites not included in backup", " "};
  state.something_selected = true;
  QStringList lines{"#Favorites included in backup"};
  lines << VerifyBlock("\\Backup\\Favorites");
  lines << "LocalPath " + state.favorites_folder << "NVXpath \\Backup\\Favorites"
        << "TransferCompress N"
        << "IncludeSubfolders Y";
  AddNotify(lines, state);
  lines << "SendToNVX"
        << " ";
  return lines;
}

QStringList DesktopLines(WizardState& state, bool files_included,
                         const QStringList& checked_folders) {
  QStringList lines;
  if (files_included) {
    state.something_selected = true;
    lines << "#Desktop FILES included in backup";
    lines << VerifyBlockOnce(state.desktop_verify_written, "\\Backup\\Desktop");
    lines << "LocalPath " + state.desktop_folder << "NVXpath \\backup\\Desktop"
          << "ExcludeExtension .exe"
          << "ExcludeExtension .lnk"
          << "TransferCompress Y"
          << "IncludeSubfolders N";
    AddNotify(lines, state);
    lines << "SendToNVX"
          << " ";
  } else {
    lines << "#Desktop FILES NOT included in backup"
          << " ";
  }
  for (const QString& name : checked_folders) {
    state.something_selected = true;
    lines << "#Desktop folder " + name;
    lines << VerifyBlockOnce(state.desktop_verify_written, "\\Backup\\Desktop");
    lines << "LocalPath " + Join(state.desktop_folder, name) << "NVXpath \\backup\\Desktop"
          << "TransferCompress Y"
          << "IncludeSubfolders Y";
    AddNotify(lines, state);
    lines << "SendToNVX"
          << " ";
  }
  return lines;
}

QStringList OutlookFileLines(WizardState& state, const QString& listed_name,
                             const QString& name_on_disk) {
  state.something_selected = true;
  QStringList lines{"#Outlook file: " + listed_name};
  lines << VerifyBlockOnce(state.outlook_verify_written, "\\Backup\\Outlook");
  lines << "LocalPath " + Join(state.outlook_folder, name_on_disk) << "NVXpath \\backup\\Outlook"
        << "TransferCompress Y"
        << "IncludeSubfolders N";
  AddNotify(lines, state);
  lines << "SendToNVX"
        << " ";
  return lines;
}

QStringList OtherFolderLines(WizardState& state, const QString& folder, bool include_subfolders) {
  state.something_selected = true;
  QStringList lines{"#Other folder: " + folder};
  lines << VerifyBlockOnce(state.other_folders_verify_written, "\\Backup\\Other Folders");
  lines << "LocalPath " + folder << "NVXpath \\backup\\Other Folders"
        << "TransferCompress Y"
        << (include_subfolders ? "IncludeSubfolders Y" : "IncludeSubfolders N");
  AddNotify(lines, state);
  lines << "SendToNVX"
        << " ";
  return lines;
}

QStringList IndividualFileLines(WizardState& state, const QString& path) {
  state.something_selected = true;
  QStringList lines{"#Individual File: " + path};
  lines << VerifyBlockOnce(state.other_folders_verify_written, "\\Backup\\Other Folders");
  lines << "LocalPath " + path << "NVXpath \\backup\\Other Folders"
        << "TransferCompress Y";
  AddNotify(lines, state);
  lines << "SendToNVX"
        << " ";
  return lines;
}

QStringList ConfigurationAndLogsLines(const QString& app_folder) {
  QStringList lines{"#Configuration and associated files included in backup"};
  lines << VerifyBlock(kConfigurationAndLogs);
  lines << ConfigurationFilesSection(Join(app_folder, "*.txt"));
  lines << ConfigurationFilesSection(Join(LogsFolderPath(app_folder), "*.txt"));
  lines << ConfigurationFilesSection(Join(app_folder, "*.rpt"));
  lines << "#Upload This log, keep 2 total"
        << "NVXpath \\Backup\\Configuration and Logs"
        << "LogCount 2"
        << "SendLog"
        << " ";
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

#include "wizard/core/wizard_environment.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/system_identity.h"
#include "wizard/core/web_host.h"

namespace nvx::wizard {

namespace {

QString WithSlash(const QString& folder) {
  return folder.endsWith('/') ? folder : folder + "/";
}

QString Join(const QString& folder, const QString& name) {
  return WithSlash(folder) + name;
}

}  // namespace

QString CurrentAppFolder() {
  return QDir::currentPath();
}

QString FindNameIgnoringCase(const QString& folder, const QString& name) {
  if (name.isEmpty()) return {};
  if (QFileInfo::exists(Join(folder, name))) return Join(folder, name);
  const QStringList entries =
      QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  for (const QString& entry : entries) {
    if (entry.compare(name, Qt::CaseInsensitive) == 0) return Join(folder, entry);
  }
  return {};
}

bool InstallationComplete(const QString& app_folder) {
  return !FindNameIgnoringCase(app_folder, kRunnerProgramName).isEmpty() &&
         !FindNameIgnoringCase(app_folder, kApiLibraryName).isEmpty();
}

QString MyDocumentsFolder() {
  return WithSlash(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

QString DesktopFolder() {
  return WithSlash(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
}

QString FavoritesFolder() {
  return WithSlash(QDir::homePath()) + "Favorites/";
}

QString CurrentUserName() {
  return QString::fromStdString(platform::EffectiveUserName());
}

QString OperatingSystemName() {
  const std::optional<std::string> name = platform::SystemNameAndRelease();
  if (!name) return "Failed";
  return QString::fromStdString(*name);
}

void GatherEnvironment(WizardState& state) {
  state.app_folder = CurrentAppFolder();
  state.os_name = OperatingSystemName();
  state.user_name = CurrentUserName();
  state.my_documents_folder = MyDocumentsFolder();
  state.desktop_folder = DesktopFolder();
  state.favorites_folder = FavoritesFolder();
  state.web_host = WebHostFromEnvironment();
}

QString LogsFolder(const QString& app_folder) {
  const QString found = FindNameIgnoringCase(app_folder, kLogsFolderName);
  if (!found.isEmpty() && QFileInfo(found).isDir()) return found;
  return Join(app_folder, kLogsFolderName);
}

bool EnsureLogsFolder(const QString& app_folder) {
  const QString logs = LogsFolder(app_folder);
  return QFileInfo(logs).isDir() || QDir().mkpath(logs);
}

QString FindInLogs(const QString& app_folder, const QString& name) {
  const QString path = FindNameIgnoringCase(LogsFolder(app_folder), name);
  return QFileInfo(path).isFile() ? path : QString();
}

}  // namespace nvx::wizard

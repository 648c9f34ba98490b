#include "wizard/core/outlook_discovery.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QtGlobal>

#include "wizard/core/size_text.h"
#include "wizard/core/wizard_environment.h"

namespace nvx::wizard {

namespace {

constexpr const char* kListedNames[kOutlookFileCount] = {
    "outlook.pst", "archive.pst", "outlook backup.pst", "archive backup.pst"};

// Follows `relative` ("a/b/c/") from `base`, matching each component without regard to
// letter case; the empty text when some component is missing.
QString ResolveIgnoringCase(const QString& base, const QString& relative) {
  QString folder = base;
  for (const QString& component : relative.split('/', Qt::SkipEmptyParts)) {
    folder = FindNameIgnoringCase(folder, component);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) return {};
  }
  return folder;
}

// The regular file `name` in `folder` (any letter case), or an invalid info.
QFileInfo FindFile(const QString& folder, const QString& name) {
  const QString path = FindNameIgnoringCase(folder, name);
  if (path.isEmpty()) return {};
  QFileInfo info(path);
  return info.isFile() ? info : QFileInfo();
}

QString Explanation(int index) {
  switch (index) {
    case kOutlookPst:
      return QString("'Outlook.pst' is the data file containing your ") +
             "Outlook Personal Folders, Inbox, Calendar, and Contacts. " +
             "Outlook must be closed while it is backed up.";
    case kArchivePst:
      return QString("'Archive.pst' is the file created and updated") +
             "by  Microsoft Outlook when you archive Personal Folders. " +
             "If your archive holds important information, include it in the backup " +
             "in addition to backing up either 'Outlook.pst' or " +
             "'Outlook Backup.pst' (if present). ";
    default: {
      const bool outlook = index == kOutlookBackupPst;
      return QString(outlook ? "'Outlook Backup.pst' is the file created "
                             : "'Archive Backup.pst' is the file created ") +
             "by the Microsoft Personal Folders Backup Add-in. If you run the " +
             "add-in often to make a local backup file, include that file in the " +
             "Norrvault Backup instead of the regular " +
             (outlook ? "'Outlook.pst'" : "'archive.pst'") + ", since then " +
             "Outlook does not have to be closed before you run Norrvault Backup. " +
             "Do not, however, backup both files, as they are typically the same. ";
    }
  }
}

}  // namespace

QString WineDriveC() {
  const QString prefix = qEnvironmentVariable("WINEPREFIX");
  if (!prefix.isEmpty()) return QDir::cleanPath(prefix) + "/drive_c";
  return QDir::homePath() + "/.wine/drive_c";
}

QStringList OutlookCandidateFolders(const QString& drive_c, const QString& user) {
  const QString root = drive_c.endsWith('/') ? drive_c : drive_c + "/";
  return {root + "Documents and Settings/" + user +
              "/Local Settings/Application Data/Microsoft/Outlook/",
          root + "Documents and Settings/Local Settings/Application Data/Microsoft/Outlook/",
          root + "Windows/Application Data/Microsoft/Outlook/",
          root + "Windows/Local Settings/Application Data/Microsoft/Outlook/",
          root + "Documents and Settings/" + user + "/Application Data/Microsoft/Outlook/"};
}

OutlookDiscovery DiscoverOutlookFiles(const QString& drive_c, const QString& user) {
  OutlookDiscovery discovery;
  for (int i = 0; i < kOutlookFileCount; ++i) discovery.files[i].listed_name = kListedNames[i];

  QDateTime newest;
  const QString root = drive_c.endsWith('/') ? drive_c : drive_c + "/";
  for (const QString& candidate : OutlookCandidateFolders(drive_c, user)) {
    const QString folder = ResolveIgnoringCase(drive_c, candidate.mid(root.size()));
    if (folder.isEmpty()) continue;
    const QFileInfo outlook = FindFile(folder, kListedNames[kOutlookPst]);
    if (!outlook.exists()) continue;
    // A later candidate wins a tie: the newest file, and of equals the last one found.
    if (!discovery.found || outlook.lastModified() >= newest) {
      discovery.found = true;
      discovery.folder = folder + "/";
      newest = outlook.lastModified();
    }
  }
  if (!discovery.found) return discovery;

  for (OutlookFile& file : discovery.files) {
    const QFileInfo info = FindFile(discovery.folder, file.listed_name);
    if (!info.exists()) continue;
    file.present = true;
    file.name_on_disk = info.fileName();
    file.bytes = static_cast<double>(info.size());
    file.size_text = MegabytesText(file.bytes) + " Megabytes)";
    file.modified = info.lastModified();
  }
  return discovery;
}

QString OutlookMoreInfoText(const OutlookDiscovery& discovery, int index) {
  if (index < 0 || index >= kOutlookFileCount) return {};
  const OutlookFile& file = discovery.files[index];
  return Explanation(index) + "\r\n" + "Found in " + discovery.folder + "\r\n" +
         "(Size: " + file.size_text + "\r\n" +
         "Last Modified: " + QLocale::system().toString(file.modified, QLocale::ShortFormat);
}

QString CloseOutlookText() {
  return QString("REMEMBER: Outlook must be CLOSED before ") + "Norrvault Backup is run!";
}

}  // namespace nvx::wizard

// Finding the user's Outlook data files. They exist on this system only under Wine: the
// five candidate folders are searched under the Wine drive C ($WINEPREFIX/drive_c, else
// ~/.wine/drive_c). The most recently modified "outlook.pst" wins; a later candidate wins
// a tie. Folder and file names are found without regard to letter case, as the Windows
// programs that made them expect. Reads the file system only; any thread.
#ifndef NVX_WIZARD_CORE_OUTLOOK_DISCOVERY_H_
#define NVX_WIZARD_CORE_OUTLOOK_DISCOVERY_H_

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>

namespace nvx::wizard {

// The four files in the order the page lists and writes them.
enum OutlookFileIndex : int {
  kOutlookPst = 0,
  kArchivePst = 1,
  kOutlookBackupPst = 2,
  kArchiveBackupPst = 3,
};
inline constexpr int kOutlookFileCount = 4;

struct OutlookFile {
  QString listed_name;   // "outlook.pst", "archive.pst", "outlook backup.pst", ...
  QString name_on_disk;  // the name found in the folder; empty when absent
  bool present = false;
  double bytes = 0;
  QString size_text;  // MegabytesText of bytes + " Megabytes)"
  QDateTime modified;
};

struct OutlookDiscovery {
  bool found = false;  // some candidate holds outlook.pst; else the page is skipped
  QString folder;      // the chosen folder, ending with "/"
  std::array<OutlookFile, kOutlookFileCount> files;
};

// The Wine drive C: $WINEPREFIX/drive_c when WINEPREFIX is set, else $HOME/.wine/drive_c.
QString WineDriveC();

// The five candidate folders under `drive_c` for `user`, in search order, each ending with
// "/" and written as the Windows folders are named.
QStringList OutlookCandidateFolders(const QString& drive_c, const QString& user);

OutlookDiscovery DiscoverOutlookFiles(const QString& drive_c, const QString& user);

// The "More Info" message of a file: its explanation, "Found in " + folder,
// "(Size: " + size text and "Last Modified: " + date, separated by CR LF.
QString OutlookMoreInfoText(const OutlookDiscovery& discovery, int index);

// "REMEMBER: Outlook must be CLOSED before Norrvault Backup is run!"
QString CloseOutlookText();

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_OUTLOOK_DISCOVERY_H_

// DirectorySize and the folder listings the pages show with their sizes. Patterns follow
// the wildcard rules of the job files: "*" and "*.*" match every name, "?" one character,
// letter case counts. Symbolic links to folders are never followed. Reads the file
// system only; any thread.
#ifndef NVX_WIZARD_CORE_DIRECTORY_SIZE_H_
#define NVX_WIZARD_CORE_DIRECTORY_SIZE_H_

#include <QString>
#include <QStringList>
#include <QVector>

namespace nvx::wizard {

struct DirectorySizeResult {
  double bytes = 0;  // sum of the sizes of the matching files
  int files = 0;     // matching files counted
  int folders = 0;   // subfolders counted (only when recursing)
};

// Sums the sizes of the files matching `pattern` directly in `folder` (hidden files
// included) and, when `include_subfolders`, of those in every subfolder, recursively. A
// folder that cannot be read counts as empty.
DirectorySizeResult DirectorySize(const QString& folder, const QString& pattern,
                                  bool include_subfolders);

// True when `name` matches the wildcard `pattern`.
bool WildcardMatch(const QString& pattern, const QString& name);

// A subfolder as a page lists it, with its recursive size.
struct SubfolderEntry {
  QString name;
  double bytes = 0;
};

// The subfolders of `folder` (hidden ones included, links to folders left out), sorted by
// name, each with its recursive size.
QVector<SubfolderEntry> ListSubfolders(const QString& folder);

// What the My Documents page shows: the files directly in the folder plus the subfolders.
struct MyDocumentsScan {
  double direct_bytes = 0;  // files directly in the folder
  QVector<SubfolderEntry> subfolders;
};
MyDocumentsScan ScanMyDocuments(const QString& folder);

// What the desktop page shows: the files directly on the desktop except "*.exe" and
// "*.lnk" ones, and the folders.
struct DesktopScan {
  double file_bytes = 0;  // all files minus the programs and shortcuts
  int file_count = 0;     // every file directly on the desktop
  QVector<SubfolderEntry> folders;
  bool Empty() const { return file_count == 0 && folders.isEmpty(); }
};
DesktopScan ScanDesktop(const QString& folder);

// The Favorites page is skipped when no file lies directly in the folder (hidden files
// count, subfolders do not).
bool HasFilesDirectly(const QString& folder);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_DIRECTORY_SIZE_H_

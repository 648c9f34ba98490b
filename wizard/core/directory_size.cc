#include "wizard/core/directory_size.h"

#include <QDir>
#include <QFileInfo>

namespace nvx::wizard {

namespace {

QDir::Filters FileFilter() {
  return QDir::Files | QDir::Hidden;
}
QDir::Filters FolderFilter() {
  return QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks;
}
QDir::SortFlags NameOrder() {
  return QDir::Name | QDir::IgnoreCase;
}

bool MatchFrom(const QString& pattern, qsizetype p, const QString& name, qsizetype n) {
  while (p < pattern.size()) {
    const QChar c = pattern[p];
    if (c == '*') {
      // Try every length for the star, shortest first.
      for (qsizetype rest = n; rest <= name.size(); ++rest) {
        if (MatchFrom(pattern, p + 1, name, rest)) return true;
      }
      return false;
    }
    if (n >= name.size()) return false;
    if (c != '?' && c != name[n]) return false;
    ++p;
    ++n;
  }
  return n == name.size();
}

void AddFolder(const QString& folder, const QString& pattern, bool include_subfolders,
               DirectorySizeResult& result) {
  const QDir dir(folder);
  if (include_subfolders) {
    for (const QFileInfo& sub : dir.entryInfoList(FolderFilter(), NameOrder())) {
      ++result.folders;
      AddFolder(sub.filePath(), pattern, true, result);
    }
  }
  for (const QFileInfo& file : dir.entryInfoList(FileFilter(), NameOrder())) {
    if (!WildcardMatch(pattern, file.fileName())) continue;
    result.bytes += static_cast<double>(file.size());
    ++result.files;
  }
}

}  // namespace

bool WildcardMatch(const QString& pattern, const QString& name) {
  if (pattern == "*" || pattern == "*.*") return true;
  return MatchFrom(pattern, 0, name, 0);
}

DirectorySizeResult DirectorySize(const QString& folder, const QString& pattern,
                                  bool include_subfolders) {
  DirectorySizeResult result;
  AddFolder(folder, pattern, include_subfolders, result);
  return result;
}

QVector<SubfolderEntry> ListSubfolders(const QString& folder) {
  QVector<SubfolderEntry> entries;
  for (const QFileInfo& sub : QDir(folder).entryInfoList(FolderFilter(), NameOrder())) {
    entries.push_back({sub.fileName(), DirectorySize(sub.filePath(), "*.*", true).bytes});
  }
  return entries;
}

MyDocumentsScan ScanMyDocuments(const QString& folder) {
  MyDocumentsScan scan;
  scan.direct_bytes = DirectorySize(folder, "*.*", false).bytes;
  scan.subfolders = ListSubfolders(folder);
  return scan;
}

DesktopScan ScanDesktop(const QString& folder) {
  DesktopScan scan;
  const DirectorySizeResult all = DirectorySize(folder, "*.*", false);
  scan.file_count = all.files;
  scan.file_bytes = all.bytes - DirectorySize(folder, "*.exe", false).bytes -
                    DirectorySize(folder, "*.lnk", false).bytes;
  scan.folders = ListSubfolders(folder);
  return scan;
}

bool HasFilesDirectly(const QString& folder) {
  return !QDir(folder).entryList(FileFilter()).isEmpty();
}

}  // namespace nvx::wizard

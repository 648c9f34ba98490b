#include "tests/wizard/core/core_test_helpers.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <stdexcept>

namespace nvx::test {

std::vector<std::string> Std(const QStringList& lines) {
  std::vector<std::string> result;
  for (const QString& line : lines) result.push_back(line.toStdString());
  return result;
}

std::string CrLfText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

void MakeFileOfSize(const std::string& path, qint64 size, const QDateTime& modified) {
  const QString name = QString::fromStdString(path);
  QDir().mkpath(QFileInfo(name).path());
  QFile file(name);
  if (!file.open(QIODevice::WriteOnly) || !file.resize(size)) {
    throw std::runtime_error("cannot make " + path);
  }
  if (modified.isValid()) file.setFileTime(modified, QFileDevice::FileModificationTime);
}

int FileMode(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return -1;
  return static_cast<int>(info.st_mode & 07777);
}

}  // namespace nvx::test

#include "wizard/core/job_file.h"

#include <QByteArray>
#include <cstdio>

#include "platform/directory_sync.h"

namespace nvx::wizard {

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

}  // namespace

bool JobFileWriter::Open(const QString& path, QString* error) {
  if (file_.isOpen()) file_.close();
  file_.setFileName(path);
  // The permissions argument applies when the file is created; an existing file that is
  // truncated gets them set explicitly, so an older job file readable by others is mended.
  if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate, kOwnerOnly) ||
      !file_.setPermissions(kOwnerOnly)) {
    if (error) *error = path + ": " + file_.errorString();
    file_.close();
    return false;
  }
  return true;
}

bool JobFileWriter::Write(const QStringList& lines) {
  if (!file_.isOpen()) return false;
  QByteArray bytes;
  for (const QString& line : lines) {
    bytes += line.toUtf8();
    bytes += "\r\n";
  }
  return file_.write(bytes) == bytes.size() && file_.flush();
}

bool JobFileWriter::SyncToDisk() {
  return file_.isOpen() && file_.flush() && platform::SyncOpenFile(file_.handle());
}

bool JobFileWriter::Close() {
  if (!file_.isOpen()) return true;
  const bool flushed = file_.flush();
  file_.close();
  return flushed && file_.error() == QFileDevice::NoError;
}

QStringList ReadLines(const QString& path, bool* found) {
  QFile file(path);
  const bool opened = file.open(QIODevice::ReadOnly);
  if (found) *found = opened;
  if (!opened) return {};
  const QString text = QString::fromUtf8(file.readAll());
  QStringList lines = text.split('\n');
  // A final line end leaves one empty piece after it, which is no line of the file.
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  for (QString& line : lines) {
    if (line.endsWith('\r')) line.chop(1);
  }
  return lines;
}

bool ReplaceFile(const QString& path, const QString& scratch_path, const QStringList& lines,
                 QString* error) {
  JobFileWriter scratch;
  if (!scratch.Open(scratch_path, error)) return false;
  if (!scratch.Write(lines) || !scratch.Close()) {
    if (error) *error = scratch_path + ": " + scratch.LastError();
    QFile::remove(scratch_path);
    return false;
  }
  // rename replaces the old file in one step; QFile::rename refuses an existing target.
  if (std::rename(QFile::encodeName(scratch_path).constData(),
                  QFile::encodeName(path).constData()) != 0) {
    if (error) *error = "Cannot replace " + path + " with " + scratch_path;
    QFile::remove(scratch_path);
    return false;
  }
  return true;
}

bool WriteJobFile(const QString& path, const QStringList& lines, QString* error) {
  return ReplaceFile(path, path + ".new", lines, error);
}

}  // namespace nvx::wizard

#include "wizard/core/config_writer.h"

#include <cstdio>

#include "platform/directory_sync.h"
#include "wizard/core/config_rewrites.h"
#include "wizard/core/config_sections.h"

namespace nvx::wizard {

BackupConfigWriter::~BackupConfigWriter() {
  Abandon();
}

QString BackupConfigWriter::NewConfigPath() const {
  return AppFile(state_.app_folder, kNewConfigName);
}

bool BackupConfigWriter::OpenAndWriteHeader(QString* error) {
  finished_ = false;
  state_.something_selected = false;
  state_.desktop_verify_written = false;
  state_.outlook_verify_written = false;
  state_.other_folders_verify_written = false;
  if (!file_.Open(NewConfigPath(), error)) return false;
  if (!Append(HeaderLines(state_))) {
    if (error) *error = LastError();
    return false;
  }
  return true;
}

bool BackupConfigWriter::Append(const QStringList& lines) {
  return file_.Write(lines);
}

bool BackupConfigWriter::WriteMyDocuments(bool included, const QStringList& unchecked_subfolders) {
  return Append(MyDocumentsLines(state_, included, unchecked_subfolders));
}

bool BackupConfigWriter::WriteFavorites(bool included) {
  return Append(FavoritesLines(state_, included));
}

bool BackupConfigWriter::WriteDesktop(bool files_included, const QStringList& checked_folders) {
  return Append(DesktopLines(state_, files_included, checked_folders));
}

bool BackupConfigWriter::WriteOutlookFile(const QString& listed_name, const QString& name_on_disk) {
  return Append(OutlookFileLines(state_, listed_name, name_on_disk));
}

bool BackupConfigWriter::WriteOtherFolder(const QString& folder, bool include_subfolders) {
  return Append(OtherFolderLines(state_, folder, include_subfolders));
}

bool BackupConfigWriter::WriteIndividualFile(const QString& path) {
  return Append(IndividualFileLines(state_, path));
}

bool BackupConfigWriter::WriteTailAndClose() {
  if (!file_.IsOpen()) return false;
  const bool written = Append(TailLines(state_)) && file_.SyncToDisk();
  finished_ = file_.Close() && written;
  return finished_;
}

bool BackupConfigWriter::Commit(QString* error) {
  const QString config = AppFile(state_.app_folder, kConfigName);
  if (!finished_) {
    if (error) *error = "the new configuration is not complete";
    return false;
  }
  // rename replaces the old file in one step: a reader sees the old or the new one.
  if (std::rename(QFile::encodeName(NewConfigPath()).constData(),
                  QFile::encodeName(config).constData()) != 0) {
    if (error) *error = "Cannot replace " + config + " with " + kNewConfigName;
    return false;
  }
  finished_ = false;
  // The new name survives a crash of the machine; a failure here leaves the rename done.
  platform::SyncDirectory(QFile::encodeName(state_.app_folder).toStdString());
  return true;
}

void BackupConfigWriter::Abandon() {
  const bool unfinished = file_.IsOpen() || finished_;
  static_cast<void>(file_.Close());  // the file is removed: what it held does not matter
  finished_ = false;
  if (unfinished) QFile::remove(NewConfigPath());
}

}  // namespace nvx::wizard

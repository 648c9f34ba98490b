#include "wizard/core/config_writer.h"

#include "wizard/core/config_rewrites.h"
#include "wizard/core/config_sections.h"

namespace nvx::wizard {

bool BackupConfigWriter::OpenAndWriteHeader(QString* error) {
  state_.something_selected = false;
  state_.desktop_verify_written = false;
  state_.outlook_verify_written = false;
  state_.other_folders_verify_written = false;
  if (!file_.Open(AppFile(state_.app_folder, kConfigName), error)) return false;
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
  const bool written = Append(TailLines(state_));
  return Close() && written;
}

bool BackupConfigWriter::Close() {
  return file_.Close();
}

}  // namespace nvx::wizard

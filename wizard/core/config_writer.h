// BackupConfigWriter: the one open config.txt of a new configuration. The Login page opens
// it (creating or truncating it, mode 0600) and writes the header; each page appends its
// sections as the user moves on; the start-up procedure writes the tail and closes it, or
// the configuration download closes it. Every section is flushed at once, so a program
// end between pages leaves the header and the finished sections, without "#END".
//
// The writer refers to the wizard's one WizardState, which must outlive it. GUI thread
// only.
#ifndef NVX_WIZARD_CORE_CONFIG_WRITER_H_
#define NVX_WIZARD_CORE_CONFIG_WRITER_H_

#include <QString>
#include <QStringList>

#include "wizard/core/job_file.h"
#include "wizard/core/wizard_state.h"

namespace nvx::wizard {

class BackupConfigWriter {
 public:
  explicit BackupConfigWriter(WizardState& state) : state_(state) {}
  BackupConfigWriter(const BackupConfigWriter&) = delete;
  BackupConfigWriter& operator=(const BackupConfigWriter&) = delete;

  // Opens AppFolder/config.txt (created or truncated, 0600) and writes the header. Resets
  // the verify-block flags and something selected of the state, since a new file starts.
  // False with the reason in *error when the file cannot be written.
  bool OpenAndWriteHeader(QString* error);

  // The page sections; see config_sections.h. Each returns false when the write failed
  // (or the file is not open).
  bool WriteMyDocuments(bool included, const QStringList& unchecked_subfolders);
  bool WriteFavorites(bool included);
  bool WriteDesktop(bool files_included, const QStringList& checked_folders);
  bool WriteOutlookFile(const QString& listed_name, const QString& name_on_disk);
  bool WriteOtherFolder(const QString& folder, bool include_subfolders);
  bool WriteIndividualFile(const QString& path);

  // Writes the tail (or the nothing-selected lines) and closes the file.
  bool WriteTailAndClose();
  // Closes without a tail (the configuration download from ChooseType).
  bool Close();

  QString LastError() const { return file_.LastError(); }

 private:
  bool Append(const QStringList& lines);

  WizardState& state_;
  JobFileWriter file_;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_CONFIG_WRITER_H_

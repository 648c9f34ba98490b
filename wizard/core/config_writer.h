// BackupConfigWriter: the one open file of a new configuration. The Login page opens it
// (config.new beside config.txt, created or truncated, mode 0600) and writes the header;
// each page appends its sections as the user moves on; the start-up procedure writes the
// tail and closes it, and only then does Commit put it in place of config.txt in one
// rename. Until then config.txt, which the scheduled backups read, stays as it was: a
// Cancel, a closed window or a program end between pages leaves it byte for byte, and
// Abandon (or the writer's end) removes the unfinished file.
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

// The new configuration while the wizard's pages write it.
inline constexpr char kNewConfigName[] = "config.new";

class BackupConfigWriter {
 public:
  explicit BackupConfigWriter(WizardState& state) : state_(state) {}
  ~BackupConfigWriter();
  BackupConfigWriter(const BackupConfigWriter&) = delete;
  BackupConfigWriter& operator=(const BackupConfigWriter&) = delete;

  // Opens AppFolder/config.new (created or truncated, 0600) and writes the header. Resets
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

  // Writes the tail (or the nothing-selected lines), brings the file to the disk and
  // closes it. config.txt is still untouched.
  bool WriteTailAndClose();
  // Renames the finished file over config.txt. False with the reason in *error when there
  // is no finished file or the rename failed; config.txt is then unchanged.
  [[nodiscard]] bool Commit(QString* error);
  // Closes and removes a new configuration that was not committed; nothing when there is
  // none. config.txt is left as it is.
  void Abandon();

  QString LastError() const { return file_.LastError(); }

 private:
  bool Append(const QStringList& lines);
  QString NewConfigPath() const;

  WizardState& state_;
  JobFileWriter file_;
  // A closed, complete new configuration waits for Commit.
  bool finished_ = false;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_CONFIG_WRITER_H_

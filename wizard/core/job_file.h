// Job files on disk: config.txt and the other job files the wizard writes hold the login
// ID and password, so they are created readable and writable by their owner only (0600)
// and every rewrite keeps that. Lines end with CR LF. A rewrite writes the whole new file
// under a scratch name and renames it over the old one, so that a crash leaves either the
// old or the new file, never neither.
//
// Plain functions and one writer class; single-threaded use.
#ifndef NVX_WIZARD_CORE_JOB_FILE_H_
#define NVX_WIZARD_CORE_JOB_FILE_H_

#include <QFile>
#include <QString>
#include <QStringList>

namespace nvx::wizard {

// Appends lines to a job file. Open creates the file (0600) or truncates it and sets
// 0600 on it. Every Write flushes, so that what a page wrote survives a program end.
class JobFileWriter {
 public:
  JobFileWriter() = default;
  JobFileWriter(const JobFileWriter&) = delete;
  JobFileWriter& operator=(const JobFileWriter&) = delete;

  // False, with the reason in *error (when given), when the file cannot be created.
  [[nodiscard]] bool Open(const QString& path, QString* error);
  // Writes each line followed by CR LF. False when the write failed or the file is not
  // open; the reason is kept for LastError.
  [[nodiscard]] bool Write(const QStringList& lines);
  [[nodiscard]] bool Write(const QString& line) { return Write(QStringList{line}); }
  // Brings what was written to the disk (fsync), before the file is renamed into place.
  [[nodiscard]] bool SyncToDisk();
  bool IsOpen() const { return file_.isOpen(); }
  // Closes the file; false when the last data could not be written.
  [[nodiscard]] bool Close();
  QString LastError() const { return file_.errorString(); }
  QString FileName() const { return file_.fileName(); }

 private:
  QFile file_;
};

// The lines of a text file without their line ends (CR LF or LF). An empty list when the
// file cannot be read; *found (when given) tells the two cases apart.
QStringList ReadLines(const QString& path, bool* found = nullptr);

// Writes `lines` (each + CR LF) to `scratch_path` with mode 0600, then renames it over
// `path`. False with the reason in *error when any step failed; `path` is then unchanged
// and the scratch file removed.
[[nodiscard]] bool ReplaceFile(const QString& path, const QString& scratch_path,
                               const QStringList& lines, QString* error);

// Writes a whole new job file (0600) at `path` by way of `path` + ".new" and a rename.
[[nodiscard]] bool WriteJobFile(const QString& path, const QStringList& lines, QString* error);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_JOB_FILE_H_

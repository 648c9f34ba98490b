#include "wizard/core/restore_test_job.h"

#include "wizard/core/config_line.h"
#include "wizard/core/config_rewrites.h"
#include "wizard/core/job_file.h"

namespace nvx::wizard {

QStringList RestoreTestLines(const QStringList& config_lines, int files) {
  QStringList lines;
  bool file_section = false;
  for (const QString& line : config_lines) {
    const QString upper = line.toUpper();
    if (upper.startsWith("#CONFIGURATION AND ASSOCIATED")) {
      lines << "#END Restore test configuration";
      break;
    }
    if (upper.startsWith("#INDIVID") || upper.startsWith("#OUTLOOK")) {
      file_section = true;
    } else if (upper.startsWith("#")) {
      file_section = false;
    }
    const bool send = BeginsWith(line, ConfigKeyword::kSendToNVX, Qt::CaseInsensitive);
    if (file_section) {
      // A file section ends with its verb; the lines after it belong to the next one.
      if (send) file_section = false;
      continue;
    }
    if (BeginsWith(line, ConfigKeyword::kVerifyPath, Qt::CaseInsensitive) ||
        BeginsWith(line, ConfigKeyword::kVerifyNVXFolders, Qt::CaseInsensitive)) {
      continue;
    }
    if (send) {
      lines << VerbLine(ConfigKeyword::kVerifyRestore) + " " + QString::number(files);
    } else if (BeginsWith(line, ConfigKeyword::kResultsType, Qt::CaseInsensitive)) {
      lines << ConfigLine(ConfigKeyword::kResultsType, kRestoreTestResultsType);
    } else {
      lines << line;
    }
  }
  return lines;
}

bool PrepareRestoreTest(const QString& app_folder, QString* error) {
  bool found = false;
  const QStringList config = ReadLines(AppFile(app_folder, kConfigName), &found);
  if (!found) {
    if (error) *error = AppFile(app_folder, kConfigName) + ": cannot be read";
    return false;
  }
  return WriteJobFile(AppFile(app_folder, kRestoreTestConfigName),
                      RestoreTestLines(config, kRestoreTestFiles), error);
}

QString LastRestoreTestText(const RunView& view) {
  const QString head = "Last restore test: ";
  if (!view.status) return head + "none yet";
  const jobfiles::RunStatus& status = *view.status;
  switch (view.state) {
    case RunView::State::kRunning:
    case RunView::State::kWaiting:
    case RunView::State::kQueued:
      return head + "running now, started " + MomentText(status.started);
    case RunView::State::kDidNotFinish:
      return head + MomentText(status.started) + ", did not finish";
    case RunView::State::kFinished:
      return head + MomentText(status.ended) + ", passed";
    default:
      return head + MomentText(status.ended) + ", failed: " + OutcomeText(view);
  }
}

}  // namespace nvx::wizard

#include "wizard/core/run_watch.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>

#include "platform/process_start.h"
#include "wizard/core/wizard_environment.h"

namespace nvx::wizard {
namespace {

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

QString Size(int64_t bytes) {
  return Text(jobfiles::ByteSizeText(bytes));
}

// The part of a results subject after its last ": ", which says how the run went.
QString SubjectOutcome(const std::string& subject) {
  const QString text = Text(subject);
  const qsizetype colon = text.lastIndexOf(": ");
  return (colon < 0 ? text : text.mid(colon + 2)).trimmed();
}

void FillProgress(const jobfiles::RunStatus& status, RunView& view) {
  const bool downloading = status.phase == "download" || status.phase == "restore test";
  if (status.files_total >= 0) {
    view.files_text = QString("Files: %1 of %2").arg(status.files_done).arg(status.files_total);
  } else if (status.files_done > 0) {
    view.files_text = QString("Files: %1").arg(status.files_done);
  }
  const QString moved = downloading ? "Received: " : "Sent: ";
  if (status.bytes_total >= 0) {
    view.bytes_text = moved + Size(status.bytes_done) + " of " + Size(status.bytes_total);
  } else if (status.bytes_done > 0) {
    view.bytes_text = moved + Size(status.bytes_done);
  }
  if (status.rate >= 0) view.rate_text = "Speed: " + Size(status.rate) + "/s";
  if (status.seconds_left >= 0) {
    view.time_left_text = "Time left: about " + Text(jobfiles::DurationText(status.seconds_left));
  }
  view.current_file = Text(status.current_file);
  if (status.bytes_total > 0) {
    view.fraction = std::min(
        1.0, static_cast<double>(status.bytes_done) / static_cast<double>(status.bytes_total));
  } else if (status.files_total > 0) {
    view.fraction = std::min(
        1.0, static_cast<double>(status.files_done) / static_cast<double>(status.files_total));
  }
}

}  // namespace

bool ProcessRuns(int64_t pid) {
  return platform::ProcessIsRunning(pid);
}

bool AccountHasNoEmailAddress(const QString& app_folder) {
  const std::optional<jobfiles::RunStatus> status = jobfiles::ReadRunStatusFile(
      QFile::encodeName(RunStatusPath(app_folder, kBackupResultsType)).toStdString());
  return status && status->email.find("No E-mail Address") != std::string::npos;
}

QString RunStatusPath(const QString& app_folder, const QString& results_type) {
  return QDir(LogsFolder(app_folder))
      .filePath(Text(jobfiles::RunStatusFileName(results_type.toStdString())));
}

QString MomentText(int64_t seconds_since_epoch) {
  return QLocale().toString(QDateTime::fromSecsSinceEpoch(seconds_since_epoch),
                            QLocale::ShortFormat);
}

RunView ViewOfStatus(const jobfiles::RunStatus& status, const ProcessCheck& runs) {
  RunView view;
  view.status = status;
  if (status.state == jobfiles::RunState::kRunning) {
    if (!runs(status.pid)) {
      view.state = RunView::State::kDidNotFinish;
      view.state_text = "Did not finish: the job stopped before it ended (started " +
                        MomentText(status.started) + ")";
      return view;
    }
    view.state = RunView::State::kRunning;
    view.state_text = status.job > 0
                          ? QString("Running: job %1 of %2").arg(status.job).arg(status.jobs)
                          : QString("Running: checking the login");
    FillProgress(status, view);
    return view;
  }
  view.state = jobfiles::EndedBadly(status) ? RunView::State::kFailed : RunView::State::kFinished;
  view.fraction = view.state == RunView::State::kFinished ? 1.0 : -1;
  view.state_text = "Ended " + MomentText(status.ended) + ": " + OutcomeText(view);
  return view;
}

RunView ReadRunView(const QString& app_folder, const QString& results_type, int64_t launched_at,
                    const ProcessCheck& runs) {
  const std::optional<jobfiles::RunStatus> status = jobfiles::ReadRunStatusFile(
      QFile::encodeName(RunStatusPath(app_folder, results_type)).toStdString());
  if (launched_at > 0 && (!status || status->started < launched_at)) {
    RunView view;
    view.status = status;
    // An older run still in progress holds the run mutex: the new one waits for it.
    if (status && status->state == jobfiles::RunState::kRunning && runs(status->pid)) {
      view.state = RunView::State::kQueued;
      view.state_text = "Waiting for the run in progress to end";
    } else {
      view.state = RunView::State::kWaiting;
      view.state_text = "Starting...";
    }
    return view;
  }
  if (!status) return {};
  return ViewOfStatus(*status, runs);
}

LastBackupLine LastBackupText(const RunView& view, int period_days, int64_t configured_at,
                              int64_t now) {
  LastBackupLine line;
  if (!view.status) {
    line.text = "Last backup: none yet";
  } else if (view.state == RunView::State::kRunning) {
    line.text = "Last backup: running now, started " + MomentText(view.status->started);
  } else {
    const int64_t when =
        view.state == RunView::State::kDidNotFinish ? view.status->started : view.status->ended;
    line.text = "Last backup: " + MomentText(when) + ", " + OutcomeText(view);
  }
  const int64_t last_success = view.status ? view.status->last_success : 0;
  const int64_t since = last_success > 0 ? last_success : configured_at;
  constexpr int64_t kDay = 24 * 60 * 60;
  if (since > 0 && now - since > (static_cast<int64_t>(period_days) + 1) * kDay) {
    line.warning = last_success > 0
                       ? "Warning: no backup has succeeded since " + MomentText(last_success)
                       : QString("Warning: no backup has succeeded yet");
  }
  return line;
}

QString JobStartedText(const QString& job, const QString& stopped, bool in_window) {
  if (in_window) {
    return "The Norrvault " + job + " has been started " +
           "in a separate window, which will remain open until " + "the " + job +
           " completes. Closing the separate window will " + "stop " + stopped + ".";
  }
  return "The Norrvault " + job + " has been started. " +
         "It runs in the background; its progress is shown below.";
}

QString OutcomeText(const RunView& view) {
  if (!view.status) return "No run known";
  const jobfiles::RunStatus& status = *view.status;
  switch (view.state) {
    case RunView::State::kDidNotFinish:
      return "Did not finish";
    case RunView::State::kFinished:
    case RunView::State::kFailed: {
      QString outcome = SubjectOutcome(status.subject);
      if (status.exit_code == 0 && status.report) return outcome;
      if (!status.report) outcome = "no results report" + (outcome.isEmpty() ? "" : ", " + outcome);
      return QString("Failed (exit code %1): ").arg(status.exit_code) + outcome;
    }
    default:
      return "Running";
  }
}

}  // namespace nvx::wizard

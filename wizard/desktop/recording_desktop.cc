#include "wizard/desktop/recording_desktop.h"

namespace nvx::wizard {

Answer RecordingDesktop::Ask(const QString& title, const QString& text, Buttons buttons) {
  Answer answer;
  if (buttons == Buttons::kOk) {
    answer = Answer::kOk;
  } else if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  } else {
    answer = buttons == Buttons::kYesNo ? Answer::kNo : Answer::kCancel;
  }
  questions_.push_back({title, text, buttons, answer});
  return answer;
}

QString RecordingDesktop::BrowseFolder(const QString& title) {
  dialog_titles_.push_back(title);
  if (folders_.empty()) return {};
  QString folder = folders_.front();
  folders_.pop_front();
  return folder;
}

QStringList RecordingDesktop::OpenFiles(const QString& title, const QString&) {
  dialog_titles_.push_back(title);
  if (files_.empty()) return {};
  QStringList files = files_.front();
  files_.pop_front();
  return files;
}

StartedProgram RecordingDesktop::StartProgram(const ProgramStart& start) {
  started_.push_back(start);
  if (starts_fail_) return {};
  return {true, terminal_ && start.in_terminal};
}

QStringList RecordingDesktop::messages() const {
  QStringList texts;
  for (const AskedQuestion& question : questions_) texts.push_back(question.text);
  return texts;
}

void RecordingDesktop::ClearRecord() {
  questions_.clear();
  dialog_titles_.clear();
  started_.clear();
  urls_.clear();
}

}  // namespace nvx::wizard

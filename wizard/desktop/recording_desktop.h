// A desktop that answers from a script and records what it was asked: the wizard's tests
// and the screenshot renderer use it instead of real dialogs. A message box with only
// OK is answered OK; questions, folder browsers and file dialogs take the next queued
// answer, and without one a question is answered Cancel or No and a browser or file
// dialog is cancelled. Programs are recorded, not started.
#ifndef NVX_WIZARD_DESKTOP_RECORDING_DESKTOP_H_
#define NVX_WIZARD_DESKTOP_RECORDING_DESKTOP_H_

#include <deque>
#include <vector>

#include "wizard/desktop/desktop.h"

namespace nvx::wizard {

struct AskedQuestion {
  QString title;
  QString text;
  Buttons buttons;
  Answer answer;
};

class RecordingDesktop : public Desktop {
 public:
  void QueueAnswer(Answer answer) { answers_.push_back(answer); }
  void QueueFolder(const QString& folder) { folders_.push_back(folder); }
  void QueueFiles(const QStringList& files) { files_.push_back(files); }
  // Program starts fail from now on (they are still recorded).
  void FailProgramStarts() { starts_fail_ = true; }
  // Programs that ask for a terminal get a window of their own from now on.
  void ProvideTerminal() { terminal_ = true; }

  Answer Ask(const QString& title, const QString& text, Buttons buttons) override;
  QString BrowseFolder(const QString& title) override;
  QStringList OpenFiles(const QString& title, const QString& initial_folder) override;
  StartedProgram StartProgram(const ProgramStart& start) override;
  void OpenUrl(const QString& url) override { urls_.push_back(url); }

  const std::vector<AskedQuestion>& questions() const { return questions_; }
  // The texts of every message box so far, in order.
  QStringList messages() const;
  // Titles of the folder browsers and file dialogs shown so far.
  const QStringList& dialog_titles() const { return dialog_titles_; }
  const std::vector<ProgramStart>& started() const { return started_; }
  const QStringList& urls() const { return urls_; }
  bool busy_shown() const { return busy_shown_; }
  // Forgets what was asked and started (the queued answers stay).
  void ClearRecord();

 protected:
  void ShowBusy(bool busy) override { busy_shown_ = busy; }

 private:
  std::deque<Answer> answers_;
  std::deque<QString> folders_;
  std::deque<QStringList> files_;
  std::vector<AskedQuestion> questions_;
  QStringList dialog_titles_;
  std::vector<ProgramStart> started_;
  QStringList urls_;
  bool busy_shown_ = false;
  bool starts_fail_ = false;
  bool terminal_ = false;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_DESKTOP_RECORDING_DESKTOP_H_

// Everything the wizard asks of the desktop: message boxes and questions, the folder
// browser, the file dialog, starting a program, opening a web address and the busy
// pointer. Forms never call QMessageBox, QFileDialog or QProcess themselves; they ask a
// Desktop, so that tests can answer for the user and see what was asked. QtDesktop is
// the real one; RecordingDesktop answers from a script and records every request.
// All calls come from the GUI thread.
#ifndef NVX_WIZARD_DESKTOP_DESKTOP_H_
#define NVX_WIZARD_DESKTOP_DESKTOP_H_

#include <QString>
#include <QStringList>

namespace nvx::wizard {

// The buttons of a question box, and the button the user pressed.
enum class Buttons { kOk, kYesNo, kOkCancel };
enum class Answer { kOk, kCancel, kYes, kNo };

// The title of message boxes that have none of their own.
inline const char kMessageTitle[] = "Norrvault Backup";

// A program to start and forget.
struct ProgramStart {
  QString program;  // full path
  QStringList arguments;
  QString working_folder;   // the program starts there
  QString output_file;      // where its output is appended when it has no terminal
  bool in_terminal = true;  // shown in a terminal window when the desktop has one
};

// How a program was started.
struct StartedProgram {
  bool started = false;
  bool in_window = false;  // it runs in a terminal window of its own
};

class Desktop {
 public:
  virtual ~Desktop() = default;

  // A message box with an OK button.
  void Tell(const QString& text) { Ask(kMessageTitle, text, Buttons::kOk); }
  // A message box; returns the button pressed (closing the box counts as Cancel or No).
  virtual Answer Ask(const QString& title, const QString& text, Buttons buttons) = 0;
  // A folder browser; the chosen folder, or "" when none was chosen.
  virtual QString BrowseFolder(const QString& title) = 0;
  // An open-file dialog allowing several files; the chosen files, none when cancelled.
  virtual QStringList OpenFiles(const QString& title, const QString& initial_folder) = 0;
  // Starts a program without waiting for it; `started` is false when it could not be.
  virtual StartedProgram StartProgram(const ProgramStart& start) = 0;
  // Opens a web address in the user's browser.
  virtual void OpenUrl(const QString& url) = 0;

  // The busy pointer: each `up` adds one to the count, each down takes one away; the
  // pointer is busy while the count is 1 or more.
  void BusyPointer(bool up);
  int busy_count() const { return busy_count_; }

 protected:
  virtual void ShowBusy(bool busy) = 0;

 private:
  int busy_count_ = 0;
  bool busy_shown_ = false;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_DESKTOP_DESKTOP_H_

#include "wizard/desktop/qt_desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace nvx::wizard {

Answer QtDesktop::Ask(const QString& title, const QString& text, Buttons buttons) {
  QString display = text;
  display.replace("\r\n", "\n");
  display.replace('\r', '\n');
  QMessageBox box(QMessageBox::Information, title, display);
  switch (buttons) {
    case Buttons::kOk:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case Buttons::kYesNo:
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case Buttons::kOkCancel:
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
  }
  // A message box must show the normal pointer even while the wizard is busy.
  bool busy = QApplication::overrideCursor() != nullptr;
  if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  int pressed = box.exec();
  if (busy) QApplication::restoreOverrideCursor();
  switch (pressed) {
    case QMessageBox::Ok:
      return Answer::kOk;
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    default:
      return buttons == Buttons::kYesNo ? Answer::kNo : Answer::kCancel;
  }
}

QString QtDesktop::BrowseFolder(const QString& title) {
  return QFileDialog::getExistingDirectory(QApplication::activeWindow(), title, QDir::homePath());
}

QStringList QtDesktop::OpenFiles(const QString& title, const QString& initial_folder) {
  return QFileDialog::getOpenFileNames(QApplication::activeWindow(), title, initial_folder);
}

StartedProgram QtDesktop::StartProgram(const ProgramStart& start) {
  QString terminal =
      start.in_terminal ? QStandardPaths::findExecutable("x-terminal-emulator") : QString();
  if (!terminal.isEmpty()) {
    QStringList arguments{"-e", start.program};
    arguments += start.arguments;
    const bool started = QProcess::startDetached(terminal, arguments, start.working_folder);
    return {started, started};
  }
  QProcess process;
  process.setProgram(start.program);
  process.setArguments(start.arguments);
  process.setWorkingDirectory(start.working_folder);
  if (!start.output_file.isEmpty()) {
    QDir().mkpath(QFileInfo(start.output_file).absolutePath());
    process.setStandardOutputFile(start.output_file, QIODevice::Append);
    process.setStandardErrorFile(start.output_file, QIODevice::Append);
  }
  process.setStandardInputFile(QProcess::nullDevice());
  return {process.startDetached(), false};
}

void QtDesktop::OpenUrl(const QString& url) {
  QDesktopServices::openUrl(QUrl(url));
}

void QtDesktop::ShowBusy(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

}  // namespace nvx::wizard

// The real desktop where it can run here: a program started without a terminal emulator
// runs detached with its output appended to the given file, and the busy pointer is an
// override cursor that follows the busy count.
#include <chrono>
#include <thread>

#include <QApplication>
#include <QCursor>

#include <gtest/gtest.h>

#include "tests/support/os_helpers.h"
#include "tests/support/temp_dir.h"
#include "wizard/desktop/qt_desktop.h"

namespace nvx::test {
namespace {

QApplication& Application() {
  static int argc = 1;
  static char name[] = "qt_desktop_test";
  static char* argv[] = {name, nullptr};
  static QApplication application(argc, argv);
  return application;
}

// Waits up to twenty seconds for `path` to hold `text`.
bool WaitForText(const std::string& path, const std::string& text) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    try {
      if (ReadFileText(path) == text) return true;
    } catch (...) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST(QtDesktopTest, ProgramWithoutTerminalAppendsItsOutputAndIsNotWaitedFor) {
  Application();
  TempDir folder;
  // No terminal emulator on this PATH: the program runs detached.
  QByteArray path = qgetenv("PATH");
  qputenv("PATH", QByteArray::fromStdString(folder.path()));
  MakeFolder(folder.File("Logs"));
  WriteFileText(folder.File("Logs/NVXbackup.out"), "earlier run\n");
  wizard::QtDesktop desktop;
  wizard::ProgramStart start;
  start.program = "/bin/sh";
  // Shell builtins only: the PATH is empty of programs.
  start.arguments = {"-c", "i=0; while [ $i -lt 1000000 ]; do i=$((i+1)); done; pwd; echo e >&2"};
  start.working_folder = QString::fromStdString(folder.path());
  start.output_file = QString::fromStdString(folder.File("Logs/NVXbackup.out"));
  auto before = std::chrono::steady_clock::now();
  EXPECT_TRUE(desktop.StartProgram(start).started);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1500));
  EXPECT_TRUE(
      WaitForText(folder.File("Logs/NVXbackup.out"), "earlier run\n" + folder.path() + "\ne\n"));
  // Appending: a second run adds to the first one's output.
  start.arguments = {"-c", "echo second"};
  EXPECT_TRUE(desktop.StartProgram(start).started);
  EXPECT_TRUE(WaitForText(folder.File("Logs/NVXbackup.out"),
                          "earlier run\n" + folder.path() + "\ne\nsecond\n"));
  qputenv("PATH", path);
}

// With a terminal emulator on the PATH, the job runner opens in it; a program started
// without a terminal (NVXscheduledBackup) never does and appends its output instead.
TEST(QtDesktopTest, TerminalOnlyForProgramsThatAskForOne) {
  Application();
  const struct {
    bool in_terminal;
    std::string terminal_record;  // what the stand-in terminal was asked to run
    std::string output;           // the program's appended output
  } cases[] = {
      {true, "-e /bin/sh -c echo ran\n", ""},
      {false, "", "ran\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in_terminal);
    TempDir folder;
    WriteFileText(folder.File("x-terminal-emulator"),
                  "#!/bin/sh\necho \"$*\" >" + folder.File("terminal.txt") + "\n");
    SetPermissions(folder.File("x-terminal-emulator"), 0755);
    QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(folder.path()));
    wizard::QtDesktop desktop;
    wizard::ProgramStart start;
    start.program = "/bin/sh";
    start.arguments = {"-c", "echo ran"};
    start.working_folder = QString::fromStdString(folder.path());
    start.output_file = QString::fromStdString(folder.File("Logs/out.txt"));
    start.in_terminal = c.in_terminal;
    EXPECT_TRUE(desktop.StartProgram(start).started);
    qputenv("PATH", path);
    if (c.in_terminal) {
      EXPECT_TRUE(WaitForText(folder.File("terminal.txt"), c.terminal_record));
      EXPECT_FALSE(PathExists(folder.File("Logs/out.txt")));
    } else {
      EXPECT_TRUE(WaitForText(folder.File("Logs/out.txt"), c.output));
      EXPECT_FALSE(PathExists(folder.File("terminal.txt")));
    }
  }
}

TEST(QtDesktopTest, BusyPointerIsAnOverrideCursorWhileTheCountIsPositive) {
  Application();
  wizard::QtDesktop desktop;
  ASSERT_EQ(QApplication::overrideCursor(), nullptr);
  desktop.BusyPointer(true);
  desktop.BusyPointer(true);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  desktop.BusyPointer(false);
  EXPECT_NE(QApplication::overrideCursor(), nullptr);
  desktop.BusyPointer(false);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  // An extra down does not take away a cursor someone else set.
  QApplication::setOverrideCursor(Qt::IBeamCursor);
  desktop.BusyPointer(false);
  EXPECT_NE(QApplication::overrideCursor(), nullptr);
  desktop.BusyPointer(true);  // back to 0: still not busy
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::IBeamCursor);
  QApplication::restoreOverrideCursor();
}

}  // namespace
}  // namespace nvx::test

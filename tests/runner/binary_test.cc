// The NVXbackup program itself: command line, exit codes and console texts, the install
// folder that works wherever it is copied, and the run mutex between two runs.
//
// Runs that reach the login check use a server that does not answer (NVX_SERVER points at
// a closed loopback port), so they end with the system error of a failed login check;
// NVX_CONNECT_PAUSE_MS=0 spares them the pauses between connection attempts.
#include <csignal>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/run_mutex.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/os_helpers.h"
#include "tests/support/process_signal.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

using std::chrono::seconds;
using test::ChildProcess;

constexpr char kUsage[] = " usage: testapi -f CONFIGURATIONFILE\n";
// Generous: a library that connects makes its connection attempts before it gives up.
constexpr seconds kRunBound{120};

std::string BuildFolder() {
  std::optional<std::string> folder = platform::EnvironmentValue("NVX_BUILD_DIR");
  return folder ? *folder : std::string(".");
}

class NvxBackup : public ::testing::Test {
 protected:
  void SetUp() override {
    test::MakeFolder(logs_);
    test::MakeFolder(runtime_);
  }

  ChildProcess::Options Options(std::vector<std::string> args) const {
    ChildProcess::Options options;
    options.args = std::move(args);
    // The run mutex lives in the test's own folder; no real service is reached.
    options.env = {"XDG_RUNTIME_DIR=" + runtime_, "NVX_SERVER=127.0.0.1:1",
                   "NVX_CONNECT_PAUSE_MS=0"};
    options.working_directory = temp_.path();
    return options;
  }

  test::RunResult Run(std::vector<std::string> args) {
    return test::RunProgram(program_, Options(std::move(args)), kRunBound);
  }

  std::string WriteConfig(const std::string& body) {
    std::string path = temp_.File("job.txt");
    test::WriteFileText(path, body);
    return path;
  }

  // A valid configuration with one upload job, whose results go to logs_.
  std::string OneJob() const {
    return "NVXUser bob\r\nNVXPw secret\r\nResultsType Backup\r\nLogDirectory " + logs_ +
           "\r\nLocalPath /\r\nNVXPath \\Backup\r\nSendToNVX\r\n";
  }

  test::TempDir temp_;
  std::string logs_ = temp_.File("logs");
  std::string runtime_ = temp_.File("runtime");
  std::string program_ = BuildFolder() + "/bin/NVXbackup";
};

TEST_F(NvxBackup, CommandLinesAndTheirExitCodes) {
  std::string valid_without_jobs = WriteConfig("NVXUser bob\nNVXPw secret\n");
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    std::string err;
  };
  const Case cases[] = {
      {{"-x"}, 20, kUsage},
      {{"-f", temp_.File("missing.txt")}, 20, ""},
      {{"-f"}, 20, kUsage},
      {{"-i", "5"}, 5, std::string("Invalid Configuration File\n") + kUsage},
      {{"-f", valid_without_jobs}, 0, std::string("Invalid Configuration File\n") + kUsage},
      {{"-f", valid_without_jobs, "-i", "0"},
       0,
       std::string("Invalid Configuration File\n") + kUsage},
      {{"-f", valid_without_jobs, "-i"}, 20, kUsage},
      {{"-f", valid_without_jobs, "extra"}, 20, kUsage},
  };
  for (const Case& c : cases) {
    test::RunResult result = Run(c.args);
    std::string label = c.args.empty() ? "" : c.args[0];
    EXPECT_EQ(result.exit_code, c.exit_code) << label << " " << result.err;
    EXPECT_EQ(result.err, c.err) << label;
    EXPECT_EQ(result.out, "") << label;
  }
}

TEST_F(NvxBackup, AnInvalidFileEndsWith21AndItsMessages) {
  std::string path = WriteConfig("#nothing here\r\nProxy host\r\nNVXFile [x\r\n");
  test::RunResult result = Run({"-f", path});
  EXPECT_EQ(result.exit_code, 21);
  EXPECT_EQ(result.err,
            "Invalid NVXFile name parm\nInvalid NVX user or password\n"
            "Invalid proxy server or port\n");
  EXPECT_EQ(result.out, "");
}

TEST_F(NvxBackup, ALoginCheckWithoutServiceEndsWith10AndASystemErrorReport) {
  test::RunResult result = Run({"-f", WriteConfig(OneJob())});
  EXPECT_EQ(result.exit_code, 10) << result.out << result.err;
  std::string results = test::ReadFileText(logs_ + "/Backup Results.txt");
  // The login check's communication-failure note comes first, then the runner's line.
  EXPECT_NE(results.find("Comm Request/File TestId\r\nSystem Error "), std::string::npos)
      << results;
  EXPECT_EQ(results.substr(results.size() - 2), "\r\n");
  EXPECT_FALSE(test::PathExists(logs_ + "/Backup Results.tmp"));
}

TEST_F(NvxBackup, APlainPasswordIsScrambledInTheFileAtTheFirstRun) {
  std::string path = WriteConfig(
      "NVXUser bob\r\nNVXPwEncrypt secret\r\nLocalPath /\r\nNVXPath \\B\r\nSendToNVX\r\n");
  test::RunResult result = Run({"-f", path});
  EXPECT_EQ(result.exit_code, 10);
  std::string text = test::ReadFileText(path);
  EXPECT_EQ(text.find("secret"), std::string::npos) << text;
  EXPECT_EQ(text.find("\r"), std::string::npos);
  EXPECT_NE(text.find("\nNVXPwEncrypt ["), std::string::npos);
}

// Copies the program and its library to a fresh install folder and runs that copy.
std::string CopyInstallFolder(const std::string& install) {
  test::MakeFolder(install);
  for (const char* file : {"NVXbackup", "libnvxapi.so"}) {
    std::filesystem::copy_file(BuildFolder() + "/bin/" + file, install + "/" + file);
  }
  return install + "/NVXbackup";
}

// The program and its library are copied to a fresh folder with a "config.txt": the
// program finds both its library and its configuration beside itself.
TEST_F(NvxBackup, TheInstallFolderWorksWhereverItIsCopied) {
  std::string install = temp_.File("install");
  program_ = CopyInstallFolder(install);
  test::RunResult missing = Run({});
  EXPECT_EQ(missing.exit_code, 20);
  EXPECT_EQ(missing.err, std::string("No Configuration File Found\n") + kUsage);

  test::WriteFileText(install + "/config.txt", "NVXUser bob\nNVXPw secret\n");
  test::RunResult found = Run({});
  EXPECT_EQ(found.exit_code, 0);
  EXPECT_EQ(found.err, std::string("Invalid Configuration File\n") + kUsage);
}

TEST_F(NvxBackup, ARunWaitsWhileAnotherHoldsTheRunMutexThenRuns) {
  platform::RunMutex other = platform::RunMutex::Open("NVX-SDK Sync", runtime_);
  ASSERT_TRUE(other.TryAcquire());
  ChildProcess run(program_, Options({"-f", WriteConfig(OneJob())}));
  ASSERT_TRUE(run.WaitForOutput("Waiting for the run in progress to end\n", kRunBound))
      << run.out() << run.err();
  EXPECT_TRUE(run.Running());
  EXPECT_FALSE(test::PathExists(logs_ + "/Backup Results.tmp")) << "it opened its files early";
  other.Release();
  EXPECT_EQ(run.Wait(kRunBound), 10);
  EXPECT_TRUE(test::PathExists(logs_ + "/Backup Results.txt"));
}

// Each run's results report is a named pipe, so a run holds the run mutex for as long as
// the test does not read its report. Two runs started together must then go one after
// the other: while the first waits for its reader, the second waits at the mutex.
TEST_F(NvxBackup, TwoRunsStartedTogetherProceedOneAfterTheOther) {
  std::string report = logs_ + "/Backup Results.txt";
  test::MakeFifo(report);
  std::string config = WriteConfig(OneJob());
  ChildProcess first(program_, Options({"-f", config}));
  ChildProcess second(program_, Options({"-f", config}));

  // One of them finds the mutex taken.
  const std::string waiting = "Waiting for the run in progress to end\n";
  ChildProcess* waiter = nullptr;
  for (int round = 0; round < 150 && waiter == nullptr; ++round) {
    if (first.WaitForOutput(waiting, std::chrono::milliseconds(100))) waiter = &first;
    if (second.WaitForOutput(waiting, std::chrono::milliseconds(100))) waiter = &second;
  }
  ASSERT_NE(waiter, nullptr) << first.out() << second.out();
  ChildProcess* holder = waiter == &first ? &second : &first;

  // The holder cannot finish before its report is read; the waiter stays at the mutex.
  EXPECT_TRUE(holder->Running());
  std::optional<std::string> first_report = test::ReadFifo(report, kRunBound);
  ASSERT_TRUE(first_report);
  size_t system_error = first_report->find("System Error ");
  EXPECT_NE(system_error, std::string::npos) << *first_report;
  EXPECT_EQ(first_report->find("System Error ", system_error + 1), std::string::npos)
      << "two runs wrote one report at once";
  EXPECT_EQ(holder->Wait(kRunBound), 10);

  // Only now does the second run take the mutex and reach its own report.
  EXPECT_TRUE(waiter->Running());
  std::optional<std::string> second_report = test::ReadFifo(report, kRunBound);
  ASSERT_TRUE(second_report);
  EXPECT_NE(second_report->find("System Error "), std::string::npos);
  EXPECT_EQ(waiter->Wait(kRunBound), 10);
}

// A run that hangs on a server which takes the request and never answers: a fault then
// (here a SIGSEGV sent from outside) leaves a crash report beside the program and ends
// the run with 255, instead of a process that hangs for minutes.
TEST_F(NvxBackup, ARunWaitingOnASilentServerLeavesACrashReportWhenItFaults) {
  test::LoopbackPeer silent;
  test::PeerReply nothing;
  nothing.stay_silent = true;
  silent.AddConnection({nothing});
  std::string install = temp_.File("install");
  program_ = CopyInstallFolder(install);
  ChildProcess::Options options = Options({"-f", WriteConfig(OneJob())});
  options.env.push_back("NVX_SERVER=" + silent.address());
  ChildProcess run(program_, options);
  auto deadline = std::chrono::steady_clock::now() + kRunBound;
  while (silent.Requests().empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(silent.Requests().size(), 1u) << run.out() << run.err();
  EXPECT_NE(silent.Requests()[0].find("GET /scripts/rizezi7.dll?TestId HTTP/1.1\r\n"),
            std::string::npos);
  EXPECT_TRUE(run.Running());
  ASSERT_TRUE(test::SendSignal(run.pid(), SIGSEGV));
  EXPECT_EQ(run.Wait(kRunBound), 255);
  std::string report = test::ReadFileText(install + "/NVXbackup.rpt");
  size_t second_line = report.find("\r\n") + 2;
  EXPECT_EQ(report.substr(second_line, 41), "Exception code: C0000005 ACCESS_VIOLATION") << report;
  EXPECT_NE(run.err().find("An unhandled exception has occurred."), std::string::npos);
}

}  // namespace
}  // namespace nvx

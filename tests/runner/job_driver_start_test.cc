// The start of a run against a scripted service: the run mutex, credentials, the login
// outcome, and the banners.
#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/process_start.h"
#include "platform/run_mutex.h"
#include "runner/password_scrambling.h"
#include "tests/runner/driver_fixture.h"

namespace nvx {
namespace {

using test::DriverTest;

constexpr char kOneJob[] = "LocalPath /\nNVXPath \\Backup\nSendToNVX\n";

TEST_F(DriverTest, AnExpiredPasswordIsReportedAndEndsTheRunWith4) {
  script_.verify_error_code = 15;
  script_.verify_conclusion = "Password Expired";
  EXPECT_EQ(Run(Head() + kOneJob), 4);
  EXPECT_EQ(Results(), "User Password Expired\r\n");
  EXPECT_FALSE(PendingResultsLeft());
  EXPECT_EQ(script_.commands, std::vector<std::string>{"VerifyId"});
}

TEST_F(DriverTest, LoginOutcomesEndTheRunAsTheTableSays) {
  struct Case {
    bool succeeds;
    int32_t error_code;
    const char* conclusion;
    int exit_code;
    const char* results;
  };
  const Case cases[] = {
      {false, 9, "", 2, ""},
      {true, 10, "ID Invalid", 3, "User Id Invalid\r\n"},
      {true, 11, "Password Invalid", 4, "User Password Invalid\r\n"},
      {true, 14, "Account Disabled", 4, "User Account Disabled\r\n"},
      {false, 2, "", 10, "System Error - no answer from the service\r\n"},
      // The library gave up without an error code: not a success.
      {false, 0, "", 10, "System Error - no answer from the service\r\n"},
      // The service answered something else: the login did not succeed.
      {true, 0, "Successfulness", 10, "System Error Successfulness\r\n"},
  };
  for (const Case& c : cases) {
    script_ = test::ServiceScript();
    script_.verify_succeeds = c.succeeds;
    script_.verify_error_code = c.error_code;
    script_.verify_conclusion = c.conclusion;
    std::filesystem::remove(logs_ + "/Backup Results.txt");
    EXPECT_EQ(Run(Head() + kOneJob), c.exit_code) << c.error_code;
    EXPECT_EQ(Results(), c.results) << c.error_code;
    EXPECT_EQ(Count("FolderList"), 0u) << c.error_code;
    // The status file has the outcome: finished, the exit code, the report or its lack.
    const jobfiles::RunStatus status = Status();
    EXPECT_EQ(status.state, jobfiles::RunState::kFinished) << c.error_code;
    EXPECT_EQ(status.exit_code, c.exit_code) << c.error_code;
    EXPECT_EQ(status.report, *c.results != '\0') << c.error_code;
    EXPECT_EQ(status.last_success, 0) << c.error_code;
  }
}

TEST_F(DriverTest, DebugShowsTheLoginOutcomeWithTheStatusLines) {
  script_.verify_error_code = 10;
  script_.verify_conclusion = "ID Invalid";
  EXPECT_EQ(Run(Head() + "Debug Y\n" + kOneJob), 3);
  EXPECT_EQ(out_,
            "\n\nNorrvault, Inc.\n\nVerify user bob\n\n"
            "Verify Id Complete ID Invalid Result = ID Invalid\n"
            "  Status message \n  Error Code     10\n  Last HTTP Response \n");
}

TEST_F(DriverTest, ProgressShowsTheBannersAndTheEndOfTheRun) {
  script_.folders = {{"\\Backup"}};
  EXPECT_EQ(Run(Head() + "Progress Y\n" + kOneJob), 0);
  // A run that ended with 0 is the last success; the next run that fails keeps it.
  const jobfiles::RunStatus status = Status();
  EXPECT_EQ(status.subject, "Online Backup Results for bob: No Errors");
  EXPECT_TRUE(status.report);
  EXPECT_EQ(status.last_success, status.started);
  EXPECT_EQ(status.pid, platform::CurrentProcessId());
  EXPECT_EQ(out_.rfind("\n\nNorrvault, Inc. Backup Started\n\n"
                       "IMPORTANT! Closing this window will STOP the Backup!\n\n"
                       "This window will close when the Backup program ends.\n\n",
                       0),
            0u)
      << out_;
  EXPECT_NE(out_.find("\n\nNorrvault, Inc. Backup Processing Complete\n\n"), std::string::npos);
  EXPECT_NE(out_.find("\n\nNorrvault, Inc. Backup Finished\n\n"), std::string::npos);
  script_.verify_error_code = 11;
  clock_.AdvanceMillis(60000);
  EXPECT_EQ(Run(Head() + "Progress Y\n" + kOneJob), 4);
  EXPECT_EQ(Status().last_success, status.started);
  EXPECT_GT(Status().started, status.started);
}

TEST_F(DriverTest, TheClosingPauseHappensOnlyForAReadableWindow) {
  script_.folders = {{"\\Backup"}};
  for (bool terminal : {false, true}) {
    test::FakeClock clock;
    platform::ScopedClockOverride use_clock(&clock);
    options_.pause_at_end = terminal;
    EXPECT_EQ(Run(Head() + "Progress Y\n" + kOneJob), 0);
    std::vector<int64_t> sleeps = clock.Sleeps();
    // Waits for service commands wake at each command's end, never after a poll interval.
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), kPollSliceMillis), 0);
    if (terminal) {
      ASSERT_FALSE(sleeps.empty());
      EXPECT_EQ(sleeps.back(), kClosingPauseMillis);
    } else {
      EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), kClosingPauseMillis), 0);
    }
  }
}

TEST_F(DriverTest, AConfigurationWithoutJobsEndsWithItsPendingCode) {
  EXPECT_EQ(Run(Head(), 0), 0);
  EXPECT_EQ(err_, "Invalid Configuration File\n usage: testapi -f CONFIGURATIONFILE\n");
  EXPECT_TRUE(script_.commands.empty());
  EXPECT_EQ(Run(Head(), 5), 5);
}

TEST_F(DriverTest, AScrambledPasswordOfAnotherUserEndsTheRunWith3) {
  std::string token = ScrambleLoginPassword("alice", "secret");
  std::string config = "NVXUser bob\nNVXPwEncrypt [" + token + "]\nResultsType Backup\n" +
                       "LogDirectory " + logs_ + "\n" + kOneJob;
  EXPECT_EQ(Run(config), 3);
  EXPECT_EQ(Results(), "ID and/or encrypted password invalid\r\n");
  EXPECT_TRUE(script_.commands.empty());
}

TEST_F(DriverTest, AScrambledPasswordOfTheUserReachesTheLibrary) {
  std::string token = ScrambleLoginPassword("Bob", "secret");
  script_.verify_conclusion = "Done";
  std::string config = "NVXUser bob\nNVXPwEncrypt [" + token + "]\nResultsType Backup\n" +
                       "LogDirectory " + logs_ + "\n" + kOneJob;
  EXPECT_EQ(Run(config), 10);
  EXPECT_EQ(script_.scrambled_password, token);
}

TEST_F(DriverTest, AScrambledProxyPasswordMustBeWellFormed) {
  std::string proxy = "Proxy proxy.local\nProxyPort 3128\nProxyId pid\n";
  script_.verify_conclusion = "Done";
  EXPECT_EQ(Run(Head() + proxy + "ProxyPasswordEncrypt [not scrambled]\n" + kOneJob), 3);
  EXPECT_EQ(Results(), "Invalid Encrypted Proxy Password Info\r\n");
  EXPECT_TRUE(script_.commands.empty());

  std::string scrambled = ScrambleProxyPassword("proxy-secret");
  EXPECT_EQ(Run(Head() + proxy + "ProxyPasswordEncrypt [" + scrambled + "]\n" + kOneJob), 10);
  EXPECT_TRUE(script_.proxy_password_scrambled);
  EXPECT_EQ(script_.proxy_password, scrambled);
}

TEST_F(DriverTest, APlainProxyPasswordIsHandedOverAsItStands) {
  script_.verify_conclusion = "Done";
  EXPECT_EQ(Run(Head() + "Proxy p\nProxyPort 1\nProxyId pid\nProxyPassword plain\n" + kOneJob), 10);
  EXPECT_FALSE(script_.proxy_password_scrambled);
  EXPECT_EQ(script_.proxy_password, "plain");
}

TEST_F(DriverTest, AServerLineReplacesTheServerBeforeTheLoginCheck) {
  script_.verify_conclusion = "Done";
  EXPECT_EQ(Run(Head() + "NVXServer 127.0.0.1:8080\n" + kOneJob), 10);
  EXPECT_EQ(script_.commands, (std::vector<std::string>{"SetServer", "VerifyId"}));
}

TEST_F(DriverTest, ARunWaitsForTheRunInProgressAndGivesUpAfterItsBound) {
  platform::RunMutex other = platform::RunMutex::Open(kRunMutexName, temp_.path());
  ASSERT_TRUE(other.TryAcquire());
  EXPECT_EQ(Run(Head() + kOneJob), 10);
  EXPECT_EQ(out_,
            "Waiting for the run in progress to end\n"
            "The run in progress did not end within 24 hours: this run gives up\n");
  EXPECT_TRUE(script_.commands.empty());
  // Nothing of the run in progress was touched: no log and no results were opened.
  EXPECT_TRUE(test::ListFolder(logs_).empty());
}

TEST_F(DriverTest, ARunMutexThatCannotBeOpenedEndsTheRunWith10) {
  options_.mutex_folder = temp_.File("missing");
  EXPECT_EQ(Run(Head() + kOneJob), 10);
  EXPECT_NE(out_.find("Run mutex NVX-SDK Sync unavailable"), std::string::npos) << out_;
  EXPECT_TRUE(script_.commands.empty());
}

TEST_F(DriverTest, TheRunMutexIsReleasedAtTheEnd) {
  script_.verify_error_code = 11;
  EXPECT_EQ(Run(Head() + kOneJob), 4);
  platform::RunMutex after = platform::RunMutex::Open(kRunMutexName, temp_.path());
  EXPECT_TRUE(after.TryAcquire());
}

}  // namespace
}  // namespace nvx

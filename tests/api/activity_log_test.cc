// The activity log as a reader of the file sees it: its name, its open and close lines,
// which lines each level lets through, and reopening.
#include <thread>

#include <gtest/gtest.h>

#include "api/activity_log.h"
#include "api/facade_access.h"
#include "api/nvxapi.h"
#include "api/transfer_session.h"
#include "platform/clock.h"
#include "tests/support/fake_clock.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

using test::FakeClock;
using test::ReadFileText;
using test::TempDir;

class ActivityLogTest : public ::testing::Test {
 protected:
  FakeClock clock_;
  platform::ScopedClockOverride clock_override_{&clock_};
  TempDir dir_;
};

TEST_F(ActivityLogTest, NamedByTheTimeOfOpeningWithOpenAndCloseLines) {
  std::string name;
  {
    CNvxapi api;
    api.SetLogDirectory(dir_.path().c_str());
    api.SetLogLevel(1);
    name = api.GetLogFileName();
    EXPECT_EQ(name, dir_.File("20040305140709.log"));
    EXPECT_EQ(ReadFileText(name), "Log File Open 3/5/2004 14:7:9\n");
    platform::LocalTime later = clock_.LocalNow();
    later.hour = 9;
    later.minute = 30;
    later.second = 0;
    clock_.SetLocalTime(later);
  }
  EXPECT_EQ(ReadFileText(name), "Log File Open 3/5/2004 14:7:9\nLog File Close 3/5/2004 9:30:0\n");
}

TEST_F(ActivityLogTest, DirectoryWithTrailingSlashGetsNoSecondOne) {
  CNvxapi api;
  api.SetLogDirectory((dir_.path() + "/").c_str());
  api.SetLogLevel(1);
  EXPECT_EQ(std::string(api.GetLogFileName()), dir_.File("20040305140709.log"));
}

TEST_F(ActivityLogTest, WithoutADirectoryThereIsNoLogAndNoResults) {
  CNvxapi api;
  api.SetLogLevel(15);
  EXPECT_STREQ(api.GetLogFileName(), "");
  api.WriteResult("lost\r\n");
  api.PendAndCloseResult("head", nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_TRUE(test::ListFolder(dir_.path()).empty());
}

TEST_F(ActivityLogTest, MissingDirectoryKeepsTheAttemptedNameAndDropsLines) {
  CNvxapi api;
  std::string missing = dir_.File("no/such/folder");
  api.SetLogDirectory(missing.c_str());
  api.SetLogLevel(15);
  EXPECT_EQ(std::string(api.GetLogFileName()), missing + "/20040305140709.log");
  api.SetLocalDirectory("/anywhere");  // a traced call with nowhere to go
  api.Reset();
  EXPECT_EQ(api.GetStatus(), 2);
}

TEST_F(ActivityLogTest, SecondOpenInTheSameSecondEmptiesTheSameFile) {
  CNvxapi api;
  api.SetLogDirectory(dir_.path().c_str());
  api.SetLogLevel(4);
  api.SetLocalDirectory("/data");
  api.SetLogLevel(4);
  EXPECT_EQ(ReadFileText(api.GetLogFileName()), "Log File Open 3/5/2004 14:7:9\n");
}

TEST_F(ActivityLogTest, DebugLevelTurnsOnEveryBit) {
  CNvxapi api;
  api.SetLogDirectory(dir_.path().c_str());
  api.SetLogLevel(8);
  EXPECT_EQ(FacadeAccess::Block(api)->log_level.load(), 15);
}

// Which kinds of line each level lets through.
TEST_F(ActivityLogTest, LevelGatesEachKindOfLine) {
  struct Case {
    int32_t level;
    bool activity, error, trace, debug;
  };
  const Case cases[] = {
      {1, true, true, false, false},   {2, false, true, false, false},
      {4, false, false, true, false},  {8, true, true, true, true},
      {0, false, false, false, false},
  };
  for (const Case& c : cases) {
    CNvxapi api;
    SharedBlock& block = *FacadeAccess::Block(api);
    block.log_directory = dir_.path();
    ReopenActivityLog(block, c.level);
    LogLine(block, kLineActivity, " UploadFile Processing file %s\n", "a.txt");
    LogLine(block, kLineError, " Err - TestId - %s\n", "boom");
    api.SetVerification(true);
    LogLine(block, kLineDebug, "  Upload Process Local Folder %s\n", "/d");
    std::string text = ReadFileText(api.GetLogFileName());
    SCOPED_TRACE("level " + std::to_string(c.level));
    EXPECT_EQ(text.find(" UploadFile Processing file a.txt\n") != std::string::npos, c.activity);
    EXPECT_EQ(text.find(" Err - TestId - boom\n") != std::string::npos, c.error);
    EXPECT_EQ(text.find("CALLMEMBER SetVerification 1\n") != std::string::npos, c.trace);
    EXPECT_EQ(text.find("  Upload Process Local Folder /d\n") != std::string::npos, c.debug);
  }
}

TEST_F(ActivityLogTest, TraceLinesOfTheFacade) {
  CNvxapi api;
  api.SetLogDirectory(dir_.path().c_str());
  api.SetLogLevel(4);
  api.SetResultsType("Backup");
  api.SetLocalDirectory("/home/u/docs");
  api.SetLocalFile("report.doc");
  api.SetDoSubFolder(true);
  api.SetFileCompare(1);
  api.SetSyncFileAccess(false);
  FacadeAccess::Block(api)->control.commands.rows[kCmdEmailStats].routine = [](TransferSession&) {
    return true;
  };
  api.EmailStats(true, false);
  while (api.GetStatus() == kStatusBusy) std::this_thread::yield();
  api.Reset();
  api.TestOverQuota();
  std::string text = ReadFileText(api.GetLogFileName());
  EXPECT_EQ(text,
            "Log File Open 3/5/2004 14:7:9\n"
            "CALLMEMBER SetResultsType Backup\n"
            "CALLMEMBER SetLocalDirectory /home/u/docs\n"
            "CALLMEMBER SetLocalFile report.doc\n"
            "CALLMEMBER SetDoSubFolder 1\n"
            " SetDoSubFolder Forced off due to file specified\n"
            "CALLMEMBER SetFileCompare 1\n"
            "CALLMEMBER SyncFileAccess 0\n"
            "CALLMEMBER EmailStats 1 0\n"
            "CALLMEMBER SetStopTime \n"
            "CALLMEMBER Reset\n"
            "CALLMEMBER SetStartTime \n"
            "CALLMEMBER TestOverQuota\n"
            " No Available space in account\n");
}

TEST_F(ActivityLogTest, DumpStatsWritesTheCountersWithTheScriptBit) {
  CNvxapi api;
  SharedBlock& block = *FacadeAccess::Block(api);
  api.SetLogDirectory(dir_.path().c_str());
  api.SetLogLevel(4);
  block.reported.live_progress.files_uploaded = 3;
  block.reported.live_progress.files_upload_updated = 1;
  block.reported.live_progress.files_upload_matched = 7;
  block.reported.live_progress.files_upload_zero_length = 2;
  block.reported.live_progress.files_upload_error = 1;
  block.reported.live_progress.files_downloaded = 4;
  block.reported.live_progress.files_download_error = 5;
  api.DumpStats();
  EXPECT_EQ(ReadFileText(api.GetLogFileName()),
            "Log File Open 3/5/2004 14:7:9\n"
            "Transfer Stats:\n"
            "  Upload: Upload 3 Update 1 Match 7 Zero Length 2 Error 1\n"
            "  Download: Download 4 Update 0 Match 0 Error 5\n");
  api.SetLogLevel(1);
  api.DumpStats();
  EXPECT_EQ(ReadFileText(api.GetLogFileName()), "Log File Open 3/5/2004 14:7:9\n");
}

}  // namespace
}  // namespace nvx

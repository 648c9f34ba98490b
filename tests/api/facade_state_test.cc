// What the facade's setters store, what Reset clears and keeps, and the operations that
// answer on the caller's thread (MapNVXPath, TestOverQuota, SendLog).
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "api/facade_access.h"
#include "api/nvxapi.h"
#include "api/transfer_session.h"
#include "platform/file_system.h"
#include "protocol/folder_tree.h"
#include "tests/support/fake_clock.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

void WaitIdle(CNvxapi& api) {
  while (api.GetStatus() == kStatusBusy) std::this_thread::yield();
}

TEST(FacadeSettings, SubfolderFlagIsForcedOffForASingleFile) {
  CNvxapi api;
  SharedBlock& block = *FacadeAccess::Block(api);
  api.SetLocalFile("*.*");
  api.SetDoSubFolder(true);
  EXPECT_TRUE(block.job.flags.subfolders);
  api.SetLocalFile("report.doc");
  api.SetDoSubFolder(true);
  EXPECT_FALSE(block.job.flags.subfolders);
  api.SetLocalFile("*.DOC");  // only exactly "*.*" keeps the flag
  api.SetDoSubFolder(true);
  EXPECT_FALSE(block.job.flags.subfolders);
  api.Reset();  // the local file is gone
  api.SetDoSubFolder(true);
  EXPECT_TRUE(block.job.flags.subfolders);
}

TEST(FacadeSettings, FixedWidthFieldsAreCut) {
  CNvxapi api;
  SharedBlock& block = *FacadeAccess::Block(api);
  api.SetResultsType("0123456789012345678901234567890123456789");
  EXPECT_EQ(block.job.results_type, "0123456789012345678901234567890");
  api.SetUserAuth(std::string(60, 'u').c_str(), std::string(40, 'p').c_str());
  EXPECT_EQ(block.job.link.user.size(), 47u);
  EXPECT_EQ(block.job.link.password.size(), 32u);
  api.SetSkipFolder(std::string(700, 's').c_str());
  EXPECT_EQ(block.job.texts.skip_folders.front().size(), 579u);
}

TEST(FacadeSettings, NullTextsReadAsEmpty) {
  CNvxapi api;
  api.SetUserAuth(nullptr, nullptr);
  api.SetLocalDirectory(nullptr);
  api.SetResultsType(nullptr);
  api.WriteResult(nullptr);
  api.VerifyNVXPath(nullptr);
  WaitIdle(api);
  EXPECT_EQ(FacadeAccess::Block(api)->job.link.user, "");
}

TEST(FacadeSettings, ListsTakeNewEntriesInFront) {
  CNvxapi api;
  SharedBlock& block = *FacadeAccess::Block(api);
  api.SetSkipFolder("first");
  api.SetSkipFolder("second");
  api.SetExcludeExtension(".tmp");
  api.SetExcludeExtension(".bak");
  EXPECT_EQ(block.job.texts.skip_folders.front(), "second");
  EXPECT_EQ(block.job.texts.excluded_extensions.front(), ".bak");
}

TEST(FacadeReset, ClearsTheJobAndKeepsTheRun) {
  test::TempDir dir;
  test::FakeClock clock;
  platform::ScopedClockOverride clock_override(&clock);
  CNvxapi api;
  SharedBlock& block = *FacadeAccess::Block(api);
  api.SetUserAuth("alice", "secret");
  api.SetProxyServer("proxy", "3128");
  api.SetProxyAuth("pid", "ppw");
  api.SetResultsType("Backup");
  api.SetLogDirectory(dir.path().c_str());
  api.SetLogLevel(1);
  api.SetWorkDirectory("/work");
  api.SetSyncFileAccess(true);
  api.VerifyNVXPath("\\Keep");
  WaitIdle(api);
  api.SetLocalDirectory("/data");
  api.SetLocalFile("a.txt");
  api.SetNVXFolder("\\Backup");
  api.SetNVXFile("b.txt");
  api.SetVerification(true);
  api.DuplicateFiles(true);
  api.UseNvxDate(true);
  api.SetMoveFile(true);
  api.SetCompress(true);
  api.SetTransferCompress(true);
  api.SetFileCompare(1);
  api.SetSkipFolder("skip");
  api.SetExcludeExtension(".tmp");
  block.protocol.account.space_limit = 1000;
  block.protocol.account.space_used = 10;
  block.reported.live_progress.files_uploaded = 9;
  block.reported.live_file_name = "x";
  block.protocol.lists.folder_list = std::make_unique<FolderTree>();
  block.protocol.lists.mapped_folder = block.protocol.lists.folder_list->root();
  block.reported.status_message = "old";
  block.reported.conclusion = "old";
  std::string work_files[] = {"diff.crc", "temp.crc", "temp.crc~"};
  for (const std::string& name : work_files) test::WriteFileText(name, "w");

  api.Reset();

  EXPECT_EQ(block.job.texts.local_directory, "");
  EXPECT_EQ(block.job.texts.local_file, "");
  EXPECT_EQ(block.job.texts.server_folder, "");
  EXPECT_EQ(block.job.texts.server_file, "");
  EXPECT_FALSE(block.job.flags.verification || block.job.flags.duplicate_files ||
               block.job.flags.use_server_date || block.job.flags.move ||
               block.job.flags.compress || block.job.flags.transfer_compress);
  EXPECT_EQ(block.job.flags.file_compare, 0);
  EXPECT_TRUE(block.job.texts.skip_folders.empty());
  EXPECT_TRUE(block.job.texts.excluded_extensions.empty());
  EXPECT_EQ(block.protocol.lists.folder_list, nullptr);
  EXPECT_EQ(api.FolderName(), nullptr);
  EXPECT_FALSE(api.FolderWriteAccess());
  EXPECT_STREQ(api.GetStatusMsg(), "");
  EXPECT_STREQ(api.GetConclusion(), "");
  TransferProgress* progress = api.GetTransferProgress();
  EXPECT_EQ(progress->files_uploaded, 0);
  EXPECT_STREQ(progress->file_name, "");
  for (const std::string& name : work_files) EXPECT_FALSE(platform::PathExists(name)) << name;
  // Only our own files go: a link planted at one of those names stays; a killed run's goes.
  std::filesystem::create_symlink(dir.File("secret"), "temp.crc");
  test::WriteFileText(".diff.crc.abcdefghij.nvxzip", "killed");
  api.Reset();
  EXPECT_TRUE(std::filesystem::is_symlink("temp.crc"));
  EXPECT_FALSE(platform::PathExists(".diff.crc.abcdefghij.nvxzip"));
  platform::RemoveFile("temp.crc");

  EXPECT_EQ(block.job.link.user, "alice");
  EXPECT_EQ(block.job.link.password, "secret");
  EXPECT_TRUE(block.job.link.proxy_authentication);
  EXPECT_EQ(block.job.link.proxy_host, "proxy");
  EXPECT_EQ(block.job.results_type, "Backup");
  EXPECT_EQ(block.job.work_directory, "/work");
  EXPECT_EQ(block.job.path_to_verify, "\\Keep");
  EXPECT_TRUE(block.job.pause_after_file);
  EXPECT_EQ(block.protocol.account.space_limit, 1000);
  EXPECT_EQ(block.protocol.account.space_used, 10);
  EXPECT_NE(std::string(api.GetLogFileName()), "");
  api.WriteResult("still open");
  EXPECT_EQ(test::ReadFileText(dir.File("Backup Results.tmp")), "still open");
}

TEST(FacadeMapping, WithoutAFolderListNothingMaps) {
  CNvxapi api;
  EXPECT_FALSE(api.MapNVXPath("\\Backup"));
  EXPECT_EQ(api.GetErrorCode(), kErrorNoFolderList);
  EXPECT_STREQ(api.GetStatusMsg(), "No Folder List");
  EXPECT_FALSE(api.FolderNoShow());
  EXPECT_FALSE(api.FolderNoAccess());
  EXPECT_FALSE(api.FolderWriteAccess());
  EXPECT_EQ(api.FolderName(), nullptr);
}

TEST(FacadeMapping, MapsFoldersOfTheListAndKeepsTheOldMappingWhenNotFound) {
  CNvxapi api;
  SharedBlock& block = *FacadeAccess::Block(api);
  block.protocol.lists.folder_list = std::make_unique<FolderTree>();
  FolderRecord* my_files = block.protocol.lists.folder_list->NewRecord();
  my_files->name = "MyFiles";
  my_files->level = 0;
  my_files->write_access = true;
  my_files->parent = block.protocol.lists.folder_list->root();
  block.protocol.lists.folder_list->root()->first_child = my_files;
  FolderRecord* docs = block.protocol.lists.folder_list->NewRecord();
  docs->name = "Docs";
  docs->level = 1;
  docs->no_access = docs->no_show = true;
  docs->parent = my_files;
  my_files->first_child = docs;

  ASSERT_TRUE(api.MapNVXPath("\\Docs"));
  EXPECT_STREQ(api.FolderName(), "Docs");
  EXPECT_TRUE(api.FolderNoShow());
  EXPECT_TRUE(api.FolderNoAccess());
  EXPECT_FALSE(api.FolderWriteAccess());
  EXPECT_FALSE(api.MapNVXPath("\\Docs\\Missing"));
  EXPECT_EQ(api.GetErrorCode(), kErrorFolderNotFound);
  EXPECT_STREQ(api.GetStatusMsg(), "Folder Not Found");
  EXPECT_STREQ(api.FolderName(), "Docs");
  ASSERT_TRUE(api.MapNVXPath(""));
  EXPECT_STREQ(api.FolderName(), "MyFiles");
  EXPECT_TRUE(api.FolderWriteAccess());
}

TEST(FacadeQuota, FullWhenUseOrEstimateReachesTheLimit) {
  struct Case {
    int64_t limit, used, estimate;
    bool over;
  };
  const Case cases[] = {
      {1000, 1000, 0, true},
      {1000, 999, 999, false},
      {1000, 999, 1000, true},
      {0, 0, 0, true},
      {5368709120, 1073741824, 1073741824, false},
      {5368709120, 0, 5368709120, true},
  };
  CNvxapi api;
  SharedBlock& block = *FacadeAccess::Block(api);
  for (const Case& c : cases) {
    block.protocol.account.space_limit = c.limit;
    block.protocol.account.space_used = c.used;
    block.protocol.account.space_used_estimate = c.estimate;
    EXPECT_EQ(api.TestOverQuota(), c.over) << c.limit << " " << c.used << " " << c.estimate;
  }
}

TEST(FacadeSendLog, WithoutALogNothingIsPosted) {
  CNvxapi api;
  EXPECT_FALSE(api.SendLog(3));
  EXPECT_EQ(api.GetStatus(), kStatusIdle);
}

TEST(FacadeSendLog, SendsTheClosedLogAndStartsAFreshOne) {
  test::TempDir dir;
  test::FakeClock clock;
  platform::ScopedClockOverride clock_override(&clock);
  CNvxapi api;
  SharedBlock& block = *FacadeAccess::Block(api);
  block.control.commands.rows[kCmdUpload].routine = [](TransferSession&) { return true; };
  api.SetLogDirectory(dir.path().c_str());
  api.SetLogLevel(15);
  std::string first_log = api.GetLogFileName();
  platform::LocalTime later = clock.LocalNow();
  later.second = 30;
  clock.SetLocalTime(later);
  ASSERT_TRUE(api.SendLog(4));
  WaitIdle(api);
  EXPECT_EQ(api.GetStatus(), kStatusSucceeded);
  EXPECT_EQ(block.job.texts.local_directory, dir.path());
  EXPECT_EQ(block.job.texts.local_file, "20040305140709.log");
  EXPECT_TRUE(block.job.sending_log);
  EXPECT_EQ(block.job.log_count, 4);
  EXPECT_EQ(block.control.transfer_kind, kCmdUpload);
  EXPECT_EQ(block.log_level.load(), 1);
  EXPECT_NE(std::string(api.GetLogFileName()), first_log);
  std::string sent = test::ReadFileText(first_log);
  EXPECT_NE(sent.find("CALLMEMBER SendLog\n"), std::string::npos);
  EXPECT_EQ(sent.substr(sent.size() - 32), "Log File Close 3/5/2004 14:7:30\n");
}

}  // namespace
}  // namespace nvx

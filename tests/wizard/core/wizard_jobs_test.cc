// The cleanup, restore test and configuration download jobs derived from config.txt: the
// cleanup and restore test transforms with file patterns and file sections, with and without the
// configuration block; both downloads with what they do to config.txt and config.old.
#include <QFile>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tests/wizard/core/core_test_helpers.h"
#include "wizard/core/cleanup_job.h"
#include "wizard/core/download_job.h"
#include "wizard/core/restore_test_job.h"

namespace nvx::test {
namespace {

TEST(CleanupJobTest, Transform) {
  const QStringList with_block{
      "#config file for backup", "ResultsType Backup", "#Other folder: /srv/photos",
      "VerifyPath \\backup\\Other Folders", "VerifyNVXFolders", "LocalPath /srv/photos",
      "NVXpath \\backup\\Other Folders", "SendToNVX", "#Individual File: /srv/a.doc",
      "LocalPath /srv/a.doc", "sendtonvx", "#Outlook file: outlook.pst",
      "LocalPath /wine/Outlook.pst", "SendToNVX",
      // The file mark ends with the section's LocalPath line.
      "#Desktop folder Projects", "LocalPath /home/kim/Desktop/Projects", "SendToNVX",
      "LocalPath /app/Logs/*.txt", "LocalPath /app/report.rpt", "LocalPath /app/*.TXT",
      "#Configuration and associated files included in backup", "LocalPath /app/*.txt",
      "#END config file for backup"};
  const std::vector<std::string> transformed{"#config file for backup",
                                             "ResultsType Cleanup",
                                             "#Other folder: /srv/photos",
                                             "VerifyPath \\backup\\Other Folders",
                                             "VerifyNVXFolders",
                                             "LocalPath /srv/photos",
                                             "NVXpath \\backup\\Other Folders",
                                             "CleanNVX",
                                             "#Individual File: /srv/a.doc",
                                             "LocalFile /srv/a.doc",
                                             "CleanNVX",
                                             "#Outlook file: outlook.pst",
                                             "LocalFile /wine/Outlook.pst",
                                             "CleanNVX",
                                             "#Desktop folder Projects",
                                             "LocalPath /home/kim/Desktop/Projects",
                                             "CleanNVX",
                                             "LocalFile /app/Logs/*.txt",
                                             "LocalFile /app/report.rpt",
                                             "LocalPath /app/*.TXT"};
  std::vector<std::string> expected = transformed;
  expected.push_back("#END Cleanup-configuration");
  EXPECT_EQ(Std(wizard::CleanupLines(with_block)), expected);

  // Without the configuration comment the whole file is transformed, with no end line.
  QStringList without_block = with_block;
  without_block.removeAt(
      with_block.indexOf("#Configuration and associated files included in backup"));
  expected = transformed;
  expected.insert(expected.end(), {"LocalFile /app/*.txt", "#END config file for backup"});
  EXPECT_EQ(Std(wizard::CleanupLines(without_block)), expected);

  // The restore test keeps the folder sections only, each ending with its test.
  EXPECT_EQ(Std(wizard::RestoreTestLines(with_block, 7)),
            std::vector<std::string>(
                {"#config file for backup", "ResultsType RestoreTest", "#Other folder: /srv/photos",
                 "LocalPath /srv/photos", "NVXpath \\backup\\Other Folders", "VerifyRestore 7",
                 "#Desktop folder Projects", "LocalPath /home/kim/Desktop/Projects",
                 "VerifyRestore 7", "LocalPath /app/Logs/*.txt", "LocalPath /app/report.rpt",
                 "LocalPath /app/*.TXT", "#END Restore test configuration"}));
}

TEST(CleanupJobTest, PrepareDeletesActivityLogsAndWritesPrivateFile) {
  TempDir temp;
  const QString app = Q(temp.path());
  QString error;
  EXPECT_FALSE(wizard::PrepareCleanup(app, &error));  // no config.txt: nothing written
  EXPECT_FALSE(QFile::exists(Q(temp.File("cleanup-config.txt"))));

  MakeFileOfSize(temp.File("logs/20261207101500.log"), 10);
  MakeFileOfSize(temp.File("logs/Backup Results.txt"), 10);
  WriteFileText(temp.File("config.txt"), "NVXuser kim\r\nSendToNVX\r\n");
  ASSERT_TRUE(wizard::PrepareCleanup(app, &error)) << Std(error);
  EXPECT_EQ(ListFolder(temp.File("logs")), std::vector<std::string>{"Backup Results.txt"});
  EXPECT_EQ(ReadFileText(temp.File("cleanup-config.txt")), "NVXuser kim\r\nCleanNVX\r\n");
  EXPECT_EQ(FileMode(temp.File("cleanup-config.txt")), 0600);
}

std::vector<std::string> DownloadTail(const std::string& app) {
  return {" ",
          "Progress Y",
          "LogDirectory " + app + "/Logs",
          " ",
          "LocalPath " + app,
          "NVXpath \\Backup\\Configuration and Logs",
          "NVXfile config.txt",
          "TransferCompress N",
          "NotifyUser N",
          "CopyFromNVX",
          " ",
          "END download-config.txt"};
}

TEST(DownloadJobTest, FromTheMenu) {
  TempDir temp;
  const QString app = Q(temp.path());
  const std::string config =
      "#config file for backup\r\nNVXuser kim\r\nnvxpw plain\r\nNVXPwEncrypt [x]\r\n"
      "nvxserver https://nas.example\r\nNVXServerCA /ca.pem\r\n#END config file for backup\r\n";
  WriteFileText(temp.File("config.txt"), config);
  WriteFileText(temp.File("config.old"), "older\r\n");
  QString error;
  ASSERT_TRUE(wizard::PrepareMenuDownload(app, &error)) << Std(error);

  std::vector<std::string> expected{"#Download Configuration from Norrvault",
                                    " ",
                                    "NVXuser kim",
                                    "nvxpw plain",
                                    "NVXPwEncrypt [x]",
                                    "NVXPwEncrypt [x]",
                                    "NVXServer https://nas.example",
                                    "NVXServerCA /ca.pem"};
  const std::vector<std::string> tail = DownloadTail(temp.path());
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(ReadFileText(temp.File("download-config.txt")), CrLfText(expected));
  EXPECT_EQ(FileMode(temp.File("download-config.txt")), 0600);
  // The current configuration replaces the older config.old; config.txt is gone until the
  // download brings it back.
  EXPECT_EQ(ReadFileText(temp.File("config.old")), config);
  EXPECT_FALSE(QFile::exists(Q(temp.File("config.txt"))));
}

TEST(DownloadJobTest, FromChooseType) {
  TempDir temp;
  const QString app = Q(temp.path());
  WriteFileText(temp.File("config.txt"), "#config file for backup\r\n");
  QString error;
  ASSERT_TRUE(
      wizard::PrepareChooseTypeDownload(app, "kim", "typed pw", {"nas.example", false, ""}, &error))
      << Std(error);
  std::vector<std::string> expected{"#Download Configuration from Norrvault", " ", "NVXuser kim",
                                    "NVXPwEncrypt typed pw", "NVXServer http://nas.example"};
  const std::vector<std::string> tail = DownloadTail(temp.path());
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(ReadFileText(temp.File("download-config.txt")), CrLfText(expected));
  EXPECT_EQ(ReadFileText(temp.File("config.old")), "#config file for backup\r\n");
  EXPECT_TRUE(wizard::DownloadRunningTextWithRelaunch().endsWith(
      "\r\n\r\nClose this window and relaunch Norrvault Backup after Configuration Download "
      "is complete."));
}

}  // namespace
}  // namespace nvx::test

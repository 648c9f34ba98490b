// The backup configuration as the pages write it: a whole config.txt with every kind of
// section checked line by line, the notify choice, nothing selected, the file's mode, and
// that config.txt stays as it was until a finished configuration replaces it. The expected lines
// spell every keyword out on purpose, apart from the shared table (jobfiles/config_keywords.h):
// they are the oracle of what the file holds.
#include <QFile>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tests/wizard/core/core_test_helpers.h"
#include "wizard/core/config_sections.h"
#include "wizard/core/config_writer.h"
#include "wizard/core/job_file.h"

namespace nvx::test {
namespace {

using wizard::BackupConfigWriter;
using wizard::WizardState;

class ConfigWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state_.app_folder = Q(app_);
    state_.os_name = "Linux 6.1.0";
    state_.user_name = "kim";
    state_.login_id = "kim@example.test";
    state_.password = "open sesame";
    state_.server = {"nas.example:8443", true, "/etc/nvx/ca.pem"};
    state_.notify_user = true;
    state_.my_documents_folder = "/home/kim/Documents/";
    state_.favorites_folder = "/home/kim/Favorites/";
    state_.desktop_folder = "/home/kim/Desktop/";
    state_.outlook_folder = "/wine/Outlook/";
  }

  std::vector<std::string> Header() const {
    return {"#config file for backup",
            "#Operating System found to be Linux 6.1.0",
            "#Logged in user found to be kim",
            " ",
            "#Specify the Login ID",
            "NVXuser kim@example.test",
            " ",
            "#Specify the password",
            "NVXPwEncrypt open sesame",
            "NVXServer https://nas.example:8443",
            "NVXServerCA /etc/nvx/ca.pem",
            " ",
            "#Turn on Progress, logging, set ResultsType ",
            "Progress Y",
            "Transfers 4",
            "LogDirectory " + app_ + "/Logs",
            "ResultsType Backup",
            " "};
  }

  std::vector<std::string> ConfigurationAndLogs() const {
    std::vector<std::string> lines{"#Configuration and associated files included in backup",
                                   "VerifyPath \\Backup\\Configuration and Logs",
                                   "VerifyNVXFolders", " "};
    for (const std::string& pattern : {app_ + "/*.txt", app_ + "/Logs/*.txt", app_ + "/*.rpt"}) {
      lines.insert(lines.end(), {"LocalPath " + pattern, "NVXpath \\Backup\\Configuration and Logs",
                                 "TransferCompress N", "NotifyUser Y", "SendToNVX", " "});
    }
    lines.insert(lines.end(),
                 {"#Upload This log, keep 2 total", "NVXpath \\Backup\\Configuration and Logs",
                  "LogCount 2", "SendLog", " "});
    return lines;
  }

  std::string ConfigText() const { return ReadFileText(app_ + "/config.txt"); }

  TempDir temp_;
  std::string app_ = temp_.path();
  WizardState state_;
};

TEST_F(ConfigWriterTest, EveryPageInOrder) {
  BackupConfigWriter writer(state_);
  QString error;
  ASSERT_TRUE(writer.OpenAndWriteHeader(&error)) << Std(error);
  EXPECT_TRUE(writer.WriteMyDocuments(true, {"My Music", "My Pictures"}));
  EXPECT_TRUE(writer.WriteFavorites(false));
  EXPECT_TRUE(writer.WriteDesktop(true, {"Projects", "Taxes"}));
  EXPECT_TRUE(writer.WriteOutlookFile("outlook.pst", "Outlook.pst"));
  EXPECT_TRUE(writer.WriteOutlookFile("archive.pst", "archive.pst"));
  EXPECT_TRUE(writer.WriteOtherFolder("/srv/photos", false));
  for (const QString& path : wizard::JoinSelectedFiles("/", {"a.txt", "b c.txt"})) {
    EXPECT_TRUE(writer.WriteIndividualFile(path));
  }
  EXPECT_TRUE(writer.WriteTailAndClose());
  ASSERT_TRUE(writer.Commit(&error)) << Std(error);

  std::vector<std::string> expected = Header();
  const std::vector<std::string> sections{
      // My Documents with two unchecked subfolders.
      "#My Documents included in backup", "VerifyPath \\Backup\\My Documents", "VerifyNVXFolders",
      " ", "LocalPath /home/kim/Documents/", "NVXpath \\backup\\My Documents",
      "SkipFolder My Music", "SkipFolder My Pictures", "TransferCompress Y", "IncludeSubfolders Y",
      "NotifyUser Y", "SendToNVX", " ",
      // Favorites unchecked.
      "#Favorites not included in backup", " ",
      // Desktop files and two folders: one verify block, before the first.
      "#Desktop FILES included in backup", "VerifyPath \\Backup\\Desktop", "VerifyNVXFolders", " ",
      "LocalPath /home/kim/Desktop/", "NVXpath \\backup\\Desktop", "ExcludeExtension .exe",
      "ExcludeExtension .lnk", "TransferCompress Y", "IncludeSubfolders N", "NotifyUser Y",
      "SendToNVX", " ", "#Desktop folder Projects", "LocalPath /home/kim/Desktop/Projects",
      "NVXpath \\backup\\Desktop", "TransferCompress Y", "IncludeSubfolders Y", "NotifyUser Y",
      "SendToNVX", " ", "#Desktop folder Taxes", "LocalPath /home/kim/Desktop/Taxes",
      "NVXpath \\backup\\Desktop", "TransferCompress Y", "IncludeSubfolders Y", "NotifyUser Y",
      "SendToNVX", " ",
      // Two Outlook files: one verify block; the LocalPath has the name found on disk.
      "#Outlook file: outlook.pst", "VerifyPath \\Backup\\Outlook", "VerifyNVXFolders", " ",
      "LocalPath /wine/Outlook/Outlook.pst", "NVXpath \\backup\\Outlook", "TransferCompress Y",
      "IncludeSubfolders N", "NotifyUser Y", "SendToNVX", " ", "#Outlook file: archive.pst",
      "LocalPath /wine/Outlook/archive.pst", "NVXpath \\backup\\Outlook", "TransferCompress Y",
      "IncludeSubfolders N", "NotifyUser Y", "SendToNVX", " ",
      // An other folder without subfolders, then two files picked in the root: one verify
      // block for the Other Folders server folder, single "/" after the root.
      "#Other folder: /srv/photos", "VerifyPath \\Backup\\Other Folders", "VerifyNVXFolders", " ",
      "LocalPath /srv/photos", "NVXpath \\backup\\Other Folders", "TransferCompress Y",
      "IncludeSubfolders N", "NotifyUser Y", "SendToNVX", " ", "#Individual File: /a.txt",
      "LocalPath /a.txt", "NVXpath \\backup\\Other Folders", "TransferCompress Y", "NotifyUser Y",
      "SendToNVX", " ", "#Individual File: /b c.txt", "LocalPath /b c.txt",
      "NVXpath \\backup\\Other Folders", "TransferCompress Y", "NotifyUser Y", "SendToNVX", " "};
  expected.insert(expected.end(), sections.begin(), sections.end());
  const std::vector<std::string> tail = ConfigurationAndLogs();
  expected.insert(expected.end(), tail.begin(), tail.end());
  expected.push_back("#END config file for backup");
  EXPECT_EQ(ConfigText(), CrLfText(expected));
  EXPECT_EQ(FileMode(app_ + "/config.txt"), 0600);
}

TEST_F(ConfigWriterTest, NotifyClearedLeavesItOnlyInTheConfigurationBlock) {
  state_.notify_user = false;
  BackupConfigWriter writer(state_);
  ASSERT_TRUE(writer.OpenAndWriteHeader(nullptr));
  writer.WriteMyDocuments(true, {});
  writer.WriteFavorites(true);
  writer.WriteDesktop(true, {"Projects"});
  writer.WriteOutlookFile("outlook.pst", "outlook.pst");
  writer.WriteOtherFolder("/srv", true);
  writer.WriteIndividualFile("/srv/x");
  ASSERT_TRUE(writer.WriteTailAndClose());
  ASSERT_TRUE(writer.Commit(nullptr));
  const QStringList lines = wizard::ReadLines(Q(app_ + "/config.txt"));
  EXPECT_EQ(lines.count("NotifyUser Y"), 3);  // the three sections of the configuration block
  EXPECT_EQ(lines.count("NotifyUser N"), 0);
  EXPECT_EQ(lines.last().toStdString(), "#END config file for backup");
}

TEST_F(ConfigWriterTest, NothingSelectedHasNoEndLine) {
  BackupConfigWriter writer(state_);
  ASSERT_TRUE(writer.OpenAndWriteHeader(nullptr));
  writer.WriteMyDocuments(false, {"ignored"});
  writer.WriteFavorites(false);
  writer.WriteDesktop(false, {});
  ASSERT_TRUE(writer.WriteTailAndClose());
  ASSERT_TRUE(writer.Commit(nullptr));
  EXPECT_FALSE(state_.something_selected);
  std::vector<std::string> expected = Header();
  expected.insert(
      expected.end(),
      {"#My Documents not included in backup", " ", "#Favorites not included in backup", " ",
       "#Desktop FILES NOT included in backup", " ", " ", "#Nothing selected for backup"});
  EXPECT_EQ(ConfigText(), CrLfText(expected));
}

TEST_F(ConfigWriterTest, ProgramEndBetweenPagesLeavesConfigAsItWas) {
  const std::string old_config = "old content\r\n#END config file for backup\r\n";
  WriteFileText(app_ + "/config.txt", old_config);
  {
    BackupConfigWriter writer(state_);
    ASSERT_TRUE(writer.OpenAndWriteHeader(nullptr));
    writer.WriteMyDocuments(false, {});
    // What was written is on disk before any close, beside config.txt, and private.
    std::vector<std::string> expected = Header();
    expected.insert(expected.end(), {"#My Documents not included in backup", " "});
    EXPECT_EQ(ReadFileText(app_ + "/config.new"), CrLfText(expected));
    EXPECT_EQ(FileMode(app_ + "/config.new"), 0600);
    QString error;
    EXPECT_FALSE(writer.Commit(&error));  // not finished
    EXPECT_EQ(ConfigText(), old_config);
  }
  EXPECT_EQ(ConfigText(), old_config);
  EXPECT_FALSE(QFile::exists(Q(app_ + "/config.new")));
}

}  // namespace
}  // namespace nvx::test

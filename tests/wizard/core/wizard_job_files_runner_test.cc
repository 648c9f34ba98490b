// The job files the wizard writes, read by the job runner's own configuration reader:
// every file is valid, and each job means what the wizard intended (send, copy back,
// clean, test a restore, fetch config.txt) at the paths the wizard named.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runner/config_reader.h"
#include "tests/support/temp_dir.h"
#include "tests/wizard/core/core_test_helpers.h"
#include "wizard/core/cleanup_job.h"
#include "wizard/core/config_writer.h"
#include "wizard/core/download_job.h"
#include "wizard/core/menu_config.h"
#include "wizard/core/restore_job.h"
#include "wizard/core/restore_test_job.h"

namespace nvx::test {
namespace {

class JobFilesRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeFileOfSize(temp_.File("home/Documents/a.doc"), 10);
    MakeFileOfSize(temp_.File("home/Desktop/Projects/p.txt"), 10);
    MakeFileOfSize(temp_.File("wine/Outlook.pst"), 10);
    MakeFileOfSize(temp_.File("single/todo.txt"), 10);
    state_.app_folder = Q(temp_.path());
    state_.login_id = "kim";
    state_.password = "open sesame";
    state_.notify_user = true;
    state_.my_documents_folder = Q(temp_.File("home/Documents/"));
    state_.desktop_folder = Q(temp_.File("home/Desktop/"));
    state_.outlook_folder = Q(temp_.File("wine/"));
    wizard::BackupConfigWriter writer(state_);
    ASSERT_TRUE(writer.OpenAndWriteHeader(nullptr));
    writer.WriteMyDocuments(true, {"My Music"});
    writer.WriteFavorites(false);
    writer.WriteDesktop(true, {"Projects"});
    writer.WriteOutlookFile("outlook.pst", "Outlook.pst");
    writer.WriteOtherFolder(Q(temp_.File("home")), false);
    writer.WriteIndividualFile(Q(temp_.File("single/todo.txt")));
    ASSERT_TRUE(writer.WriteTailAndClose());
    ASSERT_TRUE(writer.Commit(nullptr));
  }

  JobConfig Read(const std::string& name) {
    JobConfig config;
    std::ostringstream errors;
    EXPECT_EQ(ParseJobConfiguration(ReadFileText(temp_.File(name)), config, errors), kConfigValid)
        << name << ": " << errors.str();
    return config;
  }

  TempDir temp_;
  wizard::WizardState state_;
};

TEST_F(JobFilesRunnerTest, BackupRestoreCleanupAndDownload) {
  const JobConfig backup = Read("config.txt");
  EXPECT_EQ(backup.user, "kim");
  EXPECT_EQ(backup.results_type, "Backup");
  EXPECT_EQ(backup.log_directory, temp_.File("Logs/"));
  int sends = 0;
  for (const JobEntry& job : backup.jobs) sends += job.upload ? 1 : 0;
  EXPECT_EQ(sends, 9);  // six page sections and three configuration-and-logs sections

  const wizard::MenuConfig menu = wizard::ReadMenuConfig(Q(temp_.File("config.txt")));
  ASSERT_EQ(menu.restore_items.size(), 6);
  QString error;
  ASSERT_TRUE(wizard::WriteRestoreConfig(state_.app_folder, menu.login_id, menu.password,
                                         menu.server, menu.restore_items, &error));
  const JobConfig restore = Read("restore-config.txt");
  // A new configuration reaches the default servers over TLS, and so does its restore.
  EXPECT_TRUE(backup.server_host.starts_with("https://")) << backup.server_host;
  EXPECT_EQ(restore.server_host, backup.server_host);
  EXPECT_EQ(restore.results_type, "Restore");
  ASSERT_EQ(restore.jobs.size(), 6u);
  for (const JobEntry& job : restore.jobs) {
    EXPECT_TRUE(job.download && !job.upload && job.use_server_date) << job.local_path;
  }
  EXPECT_EQ(restore.jobs[2].server_path, "\\backup\\Desktop\\Projects");
  EXPECT_EQ(restore.jobs[3].server_file, "Outlook.pst");
  EXPECT_EQ(restore.jobs[3].server_path, "\\backup\\Outlook");

  ASSERT_TRUE(wizard::PrepareCleanup(state_.app_folder, &error));
  const JobConfig cleanup = Read("cleanup-config.txt");
  EXPECT_EQ(cleanup.results_type, "Cleanup");
  int cleans = 0;
  for (const JobEntry& job : cleanup.jobs) {
    EXPECT_FALSE(job.upload);
    cleans += job.clean ? 1 : 0;
  }
  EXPECT_EQ(cleans, 6);  // the page sections; the verify blocks stay

  ASSERT_TRUE(wizard::PrepareRestoreTest(state_.app_folder, &error));
  const JobConfig restore_test = Read("restoretest-config.txt");
  EXPECT_EQ(restore_test.results_type, "RestoreTest");
  std::vector<std::string> tested;
  for (const JobEntry& job : restore_test.jobs) {
    EXPECT_FALSE(job.upload);
    if (!job.verify_restore) continue;
    tested.push_back(job.local_path);
    EXPECT_EQ(job.restore_test_files, 5);
  }
  // The folder sections: My Documents, the desktop's files and folder, the other folder.
  EXPECT_EQ(tested,
            std::vector<std::string>({temp_.File("home/Documents"), temp_.File("home/Desktop"),
                                      temp_.File("home/Desktop/Projects"), temp_.File("home")}));

  ASSERT_TRUE(wizard::PrepareMenuDownload(state_.app_folder, &error));
  const JobConfig download = Read("download-config.txt");
  EXPECT_EQ(download.user, "kim");
  ASSERT_EQ(download.jobs.size(), 1u);
  EXPECT_TRUE(download.jobs[0].download);
  EXPECT_EQ(download.jobs[0].server_file, "config.txt");
  EXPECT_EQ(download.jobs[0].local_path, temp_.path());
}

}  // namespace
}  // namespace nvx::test

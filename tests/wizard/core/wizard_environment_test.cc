// The facts the wizard gathers at start: the installation check and the logs folder with
// names in any letter case, and the computer's user, system and special folders.
#include <QDir>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tests/wizard/core/core_test_helpers.h"
#include "wizard/core/wizard_environment.h"

namespace nvx::test {
namespace {

TEST(WizardEnvironmentTest, InstallationCheck) {
  struct Case {
    std::vector<std::string> files;
    bool complete;
  } cases[] = {
      {{"NVXbackup", "libnvxapi.so"}, true},
      {{"nvxbackup", "LIBNVXAPI.SO", "libnvxapib.so"}, true},
      {{"NVXbackup"}, false},
      {{"libnvxapi.so", "NVXbackup.old"}, false},
      {{}, false},
  };
  for (const Case& c : cases) {
    TempDir app;
    for (const std::string& name : c.files) MakeFileOfSize(app.File(name), 1);
    EXPECT_EQ(wizard::InstallationComplete(Q(app.path())), c.complete)
        << testing::PrintToString(c.files);
  }
}

TEST(WizardEnvironmentTest, LogsFolderInAnyLetterCase) {
  TempDir app;
  const QString folder = Q(app.path());
  EXPECT_EQ(Std(wizard::LogsFolder(folder)), app.File("Logs"));
  EXPECT_TRUE(wizard::FindInLogs(folder, "backup results.txt").isEmpty());
  ASSERT_TRUE(wizard::EnsureLogsFolder(folder));
  EXPECT_EQ(ListFolder(app.path()), std::vector<std::string>{"Logs"});

  // An existing "logs" folder is the logs folder; no second one is made.
  TempDir older;
  MakeFileOfSize(older.File("logs/Backup Results.txt"), 5);
  ASSERT_TRUE(wizard::EnsureLogsFolder(Q(older.path())));
  EXPECT_EQ(ListFolder(older.path()), std::vector<std::string>{"logs"});
  EXPECT_EQ(Std(wizard::FindInLogs(Q(older.path()), "backup results.txt")),
            older.File("logs/Backup Results.txt"));
  EXPECT_TRUE(wizard::FindInLogs(Q(older.path()), "Restore Results.txt").isEmpty());
}

TEST(WizardEnvironmentTest, FactsOfThisComputer) {
  wizard::WizardState state;
  wizard::GatherEnvironment(state);
  EXPECT_EQ(state.app_folder, QDir::currentPath());
  EXPECT_FALSE(state.user_name.isEmpty());
  EXPECT_NE(Std(state.os_name), "Failed");
  EXPECT_TRUE(state.os_name.startsWith("Linux ")) << Std(state.os_name);
  EXPECT_EQ(state.favorites_folder, QDir::homePath() + "/Favorites/");
  for (const QString& folder : {state.my_documents_folder, state.desktop_folder}) {
    EXPECT_TRUE(folder.endsWith('/') && folder.size() > 1) << Std(folder);
  }
}

}  // namespace
}  // namespace nvx::test

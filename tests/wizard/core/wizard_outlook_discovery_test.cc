// Outlook data files under a Wine drive C made by the test: which candidate folder wins,
// which files are offered with their sizes, names in any letter case, and the page
// skipped when no outlook.pst exists.
#include <QDateTime>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tests/wizard/core/core_test_helpers.h"
#include "wizard/core/outlook_discovery.h"

namespace nvx::test {
namespace {

using wizard::OutlookDiscovery;

class OutlookDiscoveryTest : public ::testing::Test {
 protected:
  // Candidate folders 1 to 5 for user "kim", as this test lays them out on disk; some in
  // the letter case Wine itself uses.
  std::string Candidate(int number) const {
    static const char* const kFolders[] = {
        "Documents and Settings/kim/Local Settings/Application Data/Microsoft/Outlook",
        "Documents and Settings/Local Settings/Application Data/Microsoft/Outlook",
        "windows/Application Data/Microsoft/Outlook",
        "windows/local settings/application data/microsoft/outlook",
        "Documents and Settings/kim/Application Data/Microsoft/Outlook"};
    return drive_c_ + "/" + kFolders[number - 1];
  }

  OutlookDiscovery Discover() const { return wizard::DiscoverOutlookFiles(Q(drive_c_), "kim"); }

  TempDir temp_;
  std::string drive_c_ = temp_.File("drive_c");
  QDateTime noon_ = QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
};

TEST_F(OutlookDiscoveryTest, NewestWinsAndALaterCandidateWinsATie) {
  MakeFileOfSize(Candidate(1) + "/outlook.pst", 100, noon_);
  MakeFileOfSize(Candidate(5) + "/outlook.pst", 200, noon_);
  MakeFileOfSize(Candidate(5) + "/Archive.PST", 3 * 1048576 / 2, noon_);
  OutlookDiscovery found = Discover();
  ASSERT_TRUE(found.found);
  EXPECT_EQ(Std(found.folder), Candidate(5) + "/");
  EXPECT_EQ(found.files[wizard::kOutlookPst].bytes, 200);
  EXPECT_TRUE(found.files[wizard::kArchivePst].present);
  EXPECT_EQ(Std(found.files[wizard::kArchivePst].name_on_disk), "Archive.PST");
  EXPECT_EQ(Std(found.files[wizard::kArchivePst].size_text), "1.5 Megabytes)");
  EXPECT_FALSE(found.files[wizard::kOutlookBackupPst].present);
  EXPECT_FALSE(found.files[wizard::kArchiveBackupPst].present);

  // A newer file in an earlier candidate (in Wine's lower-case folders) wins.
  MakeFileOfSize(Candidate(4) + "/Outlook.pst", 300, noon_.addSecs(60));
  found = Discover();
  EXPECT_EQ(Std(found.folder), Candidate(4) + "/");
  EXPECT_EQ(Std(found.files[wizard::kOutlookPst].name_on_disk), "Outlook.pst");
  EXPECT_EQ(Std(found.files[wizard::kOutlookPst].listed_name), "outlook.pst");
  EXPECT_FALSE(found.files[wizard::kArchivePst].present);

  const QString info = wizard::OutlookMoreInfoText(found, wizard::kOutlookPst);
  EXPECT_TRUE(info.startsWith("'Outlook.pst' is the data file containing your ")) << Std(info);
  EXPECT_TRUE(info.contains("\r\nFound in " + Q(Candidate(4)) +
                            "/\r\n(Size: 0. Megabytes)\r\n"
                            "Last Modified: "))
      << Std(info);
}

TEST_F(OutlookDiscoveryTest, NoOutlookFileSkipsThePage) {
  MakeFileOfSize(Candidate(2) + "/archive.pst", 100);
  MakeFileOfSize(Candidate(3) + "/outlook.pst/inside", 1);  // a folder of that name
  const OutlookDiscovery found = Discover();
  EXPECT_FALSE(found.found);
  for (const wizard::OutlookFile& file : found.files) EXPECT_FALSE(file.present);
  EXPECT_FALSE(wizard::DiscoverOutlookFiles(Q(temp_.File("no drive")), "kim").found);
}

TEST_F(OutlookDiscoveryTest, AllFourFilesAndTheWineDrive) {
  for (const char* name :
       {"outlook.pst", "archive.pst", "Outlook Backup.pst", "archive backup.pst"}) {
    MakeFileOfSize(Candidate(3) + "/" + name, 10);
  }
  const OutlookDiscovery found = Discover();
  for (const wizard::OutlookFile& file : found.files) {
    EXPECT_TRUE(file.present) << Std(file.listed_name);
  }
  EXPECT_TRUE(wizard::OutlookMoreInfoText(found, wizard::kOutlookBackupPst)
                  .startsWith("'Outlook Backup.pst' is the file created by the Microsoft"));

  setenv("WINEPREFIX", "/opt/prefix/", 1);
  EXPECT_EQ(Std(wizard::WineDriveC()), "/opt/prefix/drive_c");
  unsetenv("WINEPREFIX");
  EXPECT_TRUE(wizard::WineDriveC().endsWith("/.wine/drive_c"));
}

}  // namespace
}  // namespace nvx::test

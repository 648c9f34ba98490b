// The backup pages' own behaviour: the sizes they show, the Outlook check boxes that
// exclude their partners, and FileDialog's refusals and cancellations.
#include <QLabel>
#include <QListWidget>

#include "tests/wizard/forms/wizard_fixture.h"

namespace nvx::test {
namespace {

class BackupPagesTest : public WizardTest {
 protected:
  void ToMyDocuments() {
    StartWizard();
    PassSplashAndLogin();
    Click("Continue");  // ChooseType
    ExpectPage("mydocuments");
  }
  QString LabelText(const QString& name) {
    return start_up_->current_page()->findChild<QLabel*>(name)->text();
  }
};

TEST_F(BackupPagesTest, MyDocumentsShowsSizesAndFollowsItsCheckMarks) {
  MakeFile(home_.File("Documents/a.bin"), 1048576);            // 1 MB directly
  MakeFile(home_.File("Documents/Work/b.bin"), 2 * 1048576);   // 2 MB, checked
  MakeFile(home_.File("Documents/My Videos/c.bin"), 1048576);  // unchecked
  ToMyDocuments();
  EXPECT_EQ(LabelText("SizeCount"), "3.0 Megabytes");
  EXPECT_EQ(LabelText("RunningTotalSpace"), "Total space required for backup: 3.0 Megabytes");
  auto* list = start_up_->current_page()->findChild<QListWidget*>("List2");
  EXPECT_EQ(list->item(1)->text(), "Work      (2. Megabytes)");
  list->item(0)->setCheckState(Qt::Checked);
  EXPECT_EQ(LabelText("SizeCount"), "4.0 Megabytes");
  SetChecked("Check1", false);
  EXPECT_EQ(LabelText("SizeCount"), "0 Megabytes");
}

TEST_F(BackupPagesTest, OutlookFilesExcludeTheirBackupCopies) {
  std::string folder = home_.File(
      "drive_c/Documents and Settings/alice/Local Settings/Application Data/Microsoft/Outlook/");
  for (const char* name :
       {"outlook.pst", "archive.pst", "outlook backup.pst", "archive backup.pst"}) {
    MakeFile(folder + name, 100);
  }
  ToMyDocuments();
  SetChecked("Check1", false);
  Click("Continue");
  wizard::Page* page = ExpectPage("Outlook");
  auto checked = [page](const char* name) {
    return page->findChild<QCheckBox*>(name)->isChecked();
  };
  SetChecked("OutlookCheck", true);
  SetChecked("BackupAddinCheck", true);
  EXPECT_FALSE(checked("OutlookCheck"));
  SetChecked("ArchiveCheck", true);
  SetChecked("BackupArchiveCheck", true);
  SetChecked("ArchiveCheck", true);
  EXPECT_FALSE(checked("BackupArchiveCheck"));
  EXPECT_TRUE(LabelText("CloseOutlookLabel").startsWith("REMEMBER: Outlook must be CLOSED"));
  Click("BackupMoreInfo");
  EXPECT_TRUE(desktop_.messages().back().startsWith("'Outlook Backup.pst' is the file created "));
  Click("Continue");
  ExpectPage("FileDialog");
  Click("BackupLater");
  std::string config = ReadApp("config.txt");
  EXPECT_NE(config.find("#Outlook file: outlook backup.pst"), std::string::npos);
  EXPECT_NE(config.find("#Outlook file: archive.pst"), std::string::npos);
  EXPECT_EQ(config.find("#Outlook file: outlook.pst"), std::string::npos);
  EXPECT_EQ(config.find("#Outlook file: archive backup.pst"), std::string::npos);
}

TEST_F(BackupPagesTest, FileDialogRefusesTheRootAndAddsNothingWhenCancelled) {
  MakeFile(home_.File("other/x.dat"), 10);
  ToMyDocuments();
  SetChecked("Check1", false);
  Click("Continue");
  ExpectPage("FileDialog");
  desktop_.QueueFolder("/");
  Click("Command1");
  EXPECT_EQ(desktop_.messages().back(), "Can't add / to backup");
  Click("Command1");  // the browser is cancelled
  desktop_.QueueFolder(QString::fromStdString(home_.File("other")));
  QString sizes;
  WhenDialogShows("AddFolderConfirm", [&sizes](QDialog* dialog) {
    sizes = dialog->findChild<QLabel*>("PathSizeLabel")->text();
    dialog->findChild<QPushButton*>("CancelButton")->click();
  });
  Click("Command1");
  EXPECT_TRUE(
      sizes.startsWith("Space required to backup " + QString::fromStdString(home_.File("other"))));
  Click("Select");  // the file dialog is cancelled
  EXPECT_EQ(desktop_.dialog_titles(),
            QStringList({"Select Folder To Backup", "Select Folder To Backup",
                         "Select Folder To Backup", "Select File(s) for Backup"}));
  Click("continue");
  EXPECT_EQ(desktop_.messages().back(),
            "No files or folders were selected for Backup. Backup will not be run");
  EXPECT_EQ(ReadApp("config.txt").find("#Other folder"), std::string::npos);
}

}  // namespace
}  // namespace nvx::test

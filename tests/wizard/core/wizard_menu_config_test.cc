// The menu's reading of config.txt: credentials, notify and log level, the summary and
// the restore list of a configuration with every kind of section, the start-up scan, and
// the restore job built from the list with its destination choice.
#include <QDir>
#include <QRegularExpression>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tests/wizard/core/core_test_helpers.h"
#include "wizard/core/config_sections.h"
#include "wizard/core/menu_config.h"
#include "wizard/core/restore_job.h"

namespace nvx::test {
namespace {

using wizard::MenuConfig;
using wizard::RestoreItem;

// A configuration as the wizard writes it, with every kind of section.
QStringList EverySectionKind(const QString& app_folder, bool notify) {
  wizard::WizardState state;
  state.app_folder = app_folder;
  state.login_id = "kim";
  state.password = "[scrambled]";
  state.notify_user = notify;
  state.my_documents_folder = "/home/kim/Documents/";
  state.favorites_folder = "/home/kim/Favorites/";
  state.desktop_folder = "/home/kim/Desktop/";
  state.outlook_folder = "/wine/Outlook/";
  QStringList lines = wizard::HeaderLines(state);
  lines << wizard::MyDocumentsLines(state, true, {"My Music", "My Videos"});
  lines << wizard::FavoritesLines(state, true);
  lines << wizard::DesktopLines(state, true, {"Projects"});
  lines << wizard::OutlookFileLines(state, "outlook.pst", "Outlook.pst");
  lines << wizard::OtherFolderLines(state, "/srv/photos", true);
  lines << wizard::IndividualFileLines(state, "/srv/notes/todo.txt");
  lines << wizard::TailLines(state);
  return lines;
}

TEST(MenuConfigTest, SummaryOfEverySectionKind) {
  const MenuConfig config = wizard::ParseMenuConfig(EverySectionKind("/app", true));
  EXPECT_EQ(Std(config.login_id), "kim");
  EXPECT_EQ(Std(config.password), "[scrambled]");
  EXPECT_TRUE(config.notify_user);
  EXPECT_EQ(Std(config.summary),
            "Backup Configuration for user kim\r\n"
            "The My Documents folder is included in the backup,\r\n"
            "but not including the following subfolders:\r\n"
            "\tMy Music\r\n"
            "\tMy Videos\r\n"
            "The Favorites folder is included in the backup,\r\n"
            "Desktop FILES are included in the backup (excluding programs and shortcuts)\r\n"
            "These Desktop FOLDERS are included in the backup:\r\n"
            "\tProjects\r\n"
            "These Outlook files are included in the backup:\r\n"
            "\toutlook.pst\r\n"
            "These other folders are included in the backup:\r\n"
            "\t/srv/photos\r\n"
            "These individual files are included in the backup:\r\n"
            "\t/srv/notes/todo.txt");
  const MenuConfig nothing = wizard::ParseMenuConfig(
      {"NVXuser x", "#My Documents not included in backup", "#Favorites not included in backup",
       "#Desktop FILES NOT included in backup"});
  EXPECT_EQ(Std(nothing.summary),
            "Backup Configuration for user x\r\n"
            "The My Documents folder is NOT included in the backup,\r\n"
            "The Favorites folder is NOT included in the backup,\r\n"
            "Desktop FILES are NOT included in the backup ");
  EXPECT_TRUE(nothing.restore_items.isEmpty());
}

TEST(MenuConfigTest, RestoreListOfEverySectionKind) {
  const std::string tail = "UseNVXdate Y\r\nNotifyUser N\r\nCopyFromNVX\r\n\r\n";
  const std::string folder_tail = "TransferCompress Y\r\nIncludeSubfolders Y\r\n" + tail;
  struct Expected {
    std::string entry, local_path, kind, block;
  } expected[] = {
      // The backup put the files of Documents in a server folder of that name.
      {"FOLDER: My Documents", "/home/kim/Documents/", "",
       "NVXpath \\backup\\My Documents\\Documents\r\n" + folder_tail},
      {"FOLDER: Favorites", "/home/kim/Favorites/", "",
       "NVXpath \\Backup\\Favorites\r\nTransferCompress N\r\nIncludeSubfolders Y\r\n" + tail},
      {"FOLDER: Desktop", "/home/kim/Desktop/", "", "NVXpath \\backup\\Desktop\r\n" + folder_tail},
      {"FOLDER: Projects (Location: Desktop)", "/home/kim/Desktop/Projects", "",
       "NVXpath \\backup\\Desktop\\Projects\r\n" + folder_tail},
      {"FILE: outlook.pst", "/wine/Outlook/", "Outlook.pst",
       "NVXpath \\backup\\Outlook\\\r\nNVXfile Outlook.pst\r\nTransferCompress Y\r\n" + tail},
      {"FOLDER: /srv/photos", "/srv/photos", "",
       "NVXpath \\backup\\Other Folders\\photos\r\n" + folder_tail},
      {"FILE: todo.txt (Location: /srv/notes/)", "/srv/notes/", "todo.txt",
       "NVXpath \\backup\\Other Folders\\\r\nNVXfile todo.txt\r\nTransferCompress Y\r\n" + tail},
  };
  // Notify cleared on every page: only the configuration block says "NotifyUser Y", which
  // the menu reads as notify set; the restore blocks follow what was read.
  ASSERT_TRUE(wizard::ParseMenuConfig(EverySectionKind("/app", false)).notify_user);
  const MenuConfig without_notify = wizard::ParseMenuConfig(
      EverySectionKind("/app", false).filter(QRegularExpression("^(?!NotifyUser)")));
  ASSERT_FALSE(without_notify.notify_user);
  ASSERT_EQ(without_notify.restore_items.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const RestoreItem& item = without_notify.restore_items[static_cast<qsizetype>(i)];
    EXPECT_EQ(Std(item.entry), expected[i].entry);
    EXPECT_EQ(Std(item.local_path), expected[i].local_path) << expected[i].entry;
    EXPECT_EQ(Std(item.kind), expected[i].kind) << expected[i].entry;
    EXPECT_EQ(Std(item.stored_block), expected[i].block) << expected[i].entry;
  }
}

TEST(MenuConfigTest, DamagedFilesGiveWhatTheyHold) {
  // Cut at every line of a complete file: the reading never fails, and a section cut
  // before its LocalPath line still gives its entry, with no location to keep.
  const QStringList whole = EverySectionKind("/app", true);
  for (qsizetype cut = 0; cut <= whole.size(); ++cut) {
    const MenuConfig config = wizard::ParseMenuConfig(whole.mid(0, cut));
    EXPECT_LE(config.restore_items.size(), 7) << cut;
    for (const RestoreItem& item : config.restore_items) {
      EXPECT_TRUE(item.stored_block.endsWith("CopyFromNVX\r\n\r\n")) << cut;
    }
  }
  const MenuConfig odd = wizard::ParseMenuConfig(
      {"NVXuser", "#Individual File:", "LocalPath", "#Other folder:", "#Desktop folder",
       QString(100000, 'x'), "#Outlook file: a.pst", "LocalPath no-slash.pst", "SendToNVX"});
  EXPECT_EQ(Std(odd.login_id), "");
  ASSERT_EQ(odd.restore_items.size(), 4);
  // A section without its own SendToNVX line reads on into the next one.
  EXPECT_EQ(Std(odd.restore_items[0].entry), "FILE: no-slash.pst (Location: )");
  EXPECT_EQ(Std(odd.restore_items[3].kind), "no-slash.pst");
  EXPECT_EQ(Std(odd.restore_items[3].local_path), "");
}

TEST(MenuConfigTest, LogLevelAndCaseSensitivePrefixes) {
  struct Case {
    QStringList lines;
    wizard::LogLevelChoice level;
    bool present;
  } cases[] = {
      {{"LogDirectory /x"}, wizard::LogLevelChoice::kActivity, false},
      {{"LogLevel Debug2"}, wizard::LogLevelChoice::kDebug2, true},
      {{"loglevel errorOnly"}, wizard::LogLevelChoice::kErrorOnly, true},
      {{"LogLevel Debug3 Activity"}, wizard::LogLevelChoice::kDebug3, true},  // later tests win
      {{"LogLevel Debug1", "LOGLEVEL unknown"}, wizard::LogLevelChoice::kActivity, true},
  };
  for (const Case& c : cases) {
    const MenuConfig config = wizard::ParseMenuConfig(c.lines);
    EXPECT_EQ(config.log_level, c.level) << Std(c.lines.join('|'));
    EXPECT_EQ(config.log_level_present, c.present) << Std(c.lines.join('|'));
  }
  const MenuConfig config =
      wizard::ParseMenuConfig({"nvxuser lower", "NVXuser kim", "nvxpwencrypt no", "NotifyUser y"});
  EXPECT_EQ(Std(config.login_id), "kim");
  EXPECT_EQ(Std(config.password), "");
  EXPECT_FALSE(config.notify_user);
  EXPECT_EQ(Std(wizard::CurrentLogLevelText(wizard::LogLevelChoice::kErrorOnly)),
            "Current level is: Errors Only");
}

TEST(MenuConfigTest, StartupScan) {
  TempDir temp;
  const QString path = Q(temp.File("config.txt"));
  EXPECT_FALSE(wizard::ScanConfigForStartup(path).exists);
  struct Case {
    std::string text;
    bool send_log, complete;
  } cases[] = {
      {"#config file for backup\r\n#END config file for backup\r\n", false, true},
      {"sendlog\nNVXuser x\n", true, false},
      {"SendLogs\r\n #END\r\n", true, false},
      {"", false, false},
  };
  for (const Case& c : cases) {
    WriteFileText(temp.File("config.txt"), c.text);
    const wizard::StartupScan scan = wizard::ScanConfigForStartup(path);
    EXPECT_TRUE(scan.exists);
    EXPECT_EQ(scan.send_log_present, c.send_log) << c.text;
    EXPECT_EQ(scan.complete, c.complete) << c.text;
  }
}

// The destination choice answered by a script; records what was shown.
struct ScriptedPrompts {
  bool keep = true;
  QString browsed;
  std::vector<std::string> shown;

  wizard::RestoreDestinationPrompts Prompts() {
    return {[this](const QString& message) { shown.push_back(Std(message)); },
            [this](const QString& title, const QString& question) {
              shown.push_back(Std(title + " | " + question));
              return keep;
            },
            [this](const QString& title) {
              shown.push_back(Std(title));
              return browsed;
            }};
  }
};

TEST(RestoreJobTest, DestinationChoice) {
  TempDir temp;
  const QString existing = Q(temp.path());
  struct Case {
    const char* name;
    QString entry, local_path;
    bool keep;
    QString browsed;
    bool chosen;
    QString final_path;
    std::vector<std::string> shown;
  } cases[] = {
      {"folder kept",
       "FOLDER: Favorites",
       existing,
       true,
       "",
       true,
       existing,
       {wizard::kRestoreFolderNotice, std::string(wizard::kKeepLocationTitle) +
                                          " | Do you want to restore the item to " + Std(existing) +
                                          "  ?"}},
      {"file moved elsewhere",
       "FILE: a.txt (Location: x)",
       existing,
       false,
       "/tmp/dest",
       true,
       "/tmp/dest",
       {std::string(wizard::kKeepLocationTitle) + " | Do you want to restore the item to " +
            Std(existing) + "  ?",
        wizard::kRestoreBrowseTitle, "Restore destination: /tmp/dest"}},
      {"gone, browsed",
       "FILE: a.txt (Location: x)",
       existing + "/gone",
       true,
       "/tmp/d",
       true,
       "/tmp/d",
       {wizard::kRestoreBrowseTitle, "Restore destination: /tmp/d"}},
      {"gone, none chosen",
       "FOLDER: /srv",
       existing + "/gone",
       true,
       "",
       false,
       existing + "/gone",
       {wizard::kRestoreFolderNotice, wizard::kRestoreBrowseTitle,
        "Original location not found & no folder selected; item will not be restored. "}},
  };
  for (const Case& c : cases) {
    RestoreItem item{c.entry, "block\r\n", c.local_path, ""};
    ScriptedPrompts script{c.keep, c.browsed, {}};
    EXPECT_EQ(wizard::ChooseRestoreDestination(item, script.Prompts()), c.chosen) << c.name;
    EXPECT_EQ(Std(item.local_path), Std(c.final_path)) << c.name;
    EXPECT_EQ(script.shown, c.shown) << c.name;
  }
}

TEST(RestoreJobTest, RestoreConfigWithOneItemAndWithNone) {
  TempDir temp;
  const QString app = Q(temp.path());
  const MenuConfig config = wizard::ParseMenuConfig(EverySectionKind(app, true));
  QVector<RestoreItem> selected{config.restore_items[3]};  // the desktop folder
  QString error;
  const wizard::ServerChoice server{"nas.example", false, "/ca.pem"};
  ASSERT_TRUE(
      wizard::WriteRestoreConfig(app, config.login_id, config.password, server, selected, &error))
      << Std(error);
  const std::vector<std::string> head{"#config file for restore",
                                      " ",
                                      "#Specify the Login ID",
                                      "NVXuser kim",
                                      " ",
                                      "#Specify the password",
                                      "NVXPwEncrypt [scrambled]",
                                      "NVXServer http://nas.example",
                                      "NVXServerCA /ca.pem",
                                      " ",
                                      "#Turn on Progress, logging, set ResultsType ",
                                      "Progress Y",
                                      "Transfers 4",
                                      "LogDirectory " + temp.path() + "/Logs",
                                      "ResultsType Restore",
                                      " "};
  std::vector<std::string> expected = head;
  expected.insert(expected.end(),
                  {"LocalPath /home/kim/Desktop/Projects", "NVXpath \\backup\\Desktop\\Projects",
                   "TransferCompress Y", "IncludeSubfolders Y", "UseNVXdate Y", "NotifyUser Y",
                   "CopyFromNVX", "", "", "#END config file for restore"});
  EXPECT_EQ(ReadFileText(temp.File("restore-config.txt")), CrLfText(expected));
  EXPECT_EQ(FileMode(temp.File("restore-config.txt")), 0600);

  ASSERT_TRUE(wizard::WriteRestoreConfig(app, "kim", "[scrambled]", server, {}, &error));
  EXPECT_EQ(ReadFileText(temp.File("restore-config.txt")), CrLfText(head));
}

}  // namespace
}  // namespace nvx::test

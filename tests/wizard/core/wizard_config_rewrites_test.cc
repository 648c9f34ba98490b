// Rewrites of config.txt: the upgrade of an older file, the log level, the ID and
// password and the servers; each keeps the file private and replaces it in one step, so that a
// failed rewrite leaves the old file whole. And the start-up fallback to config.old.
#include <QDir>
#include <QFile>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/server_list.h"
#include "tests/support/temp_dir.h"
#include "tests/wizard/core/core_test_helpers.h"
#include "wizard/core/config_rewrites.h"
#include "wizard/core/config_sections.h"
#include "wizard/core/server_address.h"

namespace nvx::test {
namespace {

TEST(ConfigRewritesTest, UpgradeOfAnOlderFile) {
  TempDir temp;
  const QString app = Q(temp.path());
  // Written by an older wizard with LF line ends, world-readable.
  WriteFileText(temp.File("config.txt"),
                "#config file for backup\nNVXuser kim\n#My Documents not included in backup\n"
                " \n#END config file for backup\n");
  QFile::setPermissions(Q(temp.File("config.txt")),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
  QString error;
  ASSERT_TRUE(wizard::UpgradeConfig(app, &error)) << Std(error);

  std::vector<std::string> expected{"#config file for backup", "NVXuser kim",
                                    "#My Documents not included in backup", " "};
  const std::vector<std::string> block = Std(wizard::ConfigurationAndLogsLines(app));
  expected.insert(expected.end(), block.begin(), block.end());
  expected.push_back("#END Configuration File for Backup");
  EXPECT_EQ(ReadFileText(temp.File("config.txt")), CrLfText(expected));
  EXPECT_EQ(FileMode(temp.File("config.txt")), 0600);
  EXPECT_EQ(block.front(), "#Configuration and associated files included in backup");
  EXPECT_EQ(block[block.size() - 2], "SendLog");
  EXPECT_FALSE(QFile::exists(Q(temp.File("config.tmp"))));
}

TEST(ConfigRewritesTest, LogLevel) {
  const QStringList with_level{"LogDirectory /app/Logs", "loglevel debug3", "ResultsType Backup"};
  const QStringList without_level{"LogDirectory /a", "ResultsType Backup", "LOGDIRECTORY /b"};
  struct Case {
    QStringList lines;
    wizard::LogLevelChoice level;
    bool present;
    std::vector<std::string> expected;
  } cases[] = {
      {with_level,
       wizard::LogLevelChoice::kErrorOnly,
       true,
       {"LogDirectory /app/Logs", "LogLevel ErrorOnly", "ResultsType Backup"}},
      {with_level,
       wizard::LogLevelChoice::kActivity,
       true,
       {"LogDirectory /app/Logs", "LogLevel Activity", "ResultsType Backup"}},
      // Only the first LogDirectory line gets a LogLevel line after it.
      {without_level,
       wizard::LogLevelChoice::kDebug1,
       false,
       {"LogDirectory /a", "LogLevel Debug1", "ResultsType Backup", "LOGDIRECTORY /b"}},
      // Believed present but absent: nothing is added.
      {without_level,
       wizard::LogLevelChoice::kDebug2,
       true,
       {"LogDirectory /a", "ResultsType Backup", "LOGDIRECTORY /b"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Std(wizard::LogLevelLines(c.lines, c.level, c.present)), c.expected)
        << Std(c.lines.join('|')) << " level " << static_cast<int>(c.level);
  }
}

TEST(ConfigRewritesTest, IdPasswordAndNotify) {
  TempDir temp;
  const QString app = Q(temp.path());
  WriteFileText(temp.File("config.txt"),
                "NVXuser old\r\nNVXPwEncrypt [old]\r\nnvxuser keep\r\nNotifyUser Y\r\n"
                "SendToNVX\r\nNotifyUser N\r\n");
  QString error;
  ASSERT_TRUE(wizard::RewriteIdPassword(app, "new", "new pw", false, std::nullopt, &error))
      << Std(error);
  EXPECT_EQ(ReadFileText(temp.File("config.txt")),
            "NVXuser new\r\nNVXPwEncrypt new pw\r\nnvxuser keep\r\nNotifyUser N\r\n"
            "SendToNVX\r\nNotifyUser N\r\n");
  EXPECT_EQ(FileMode(temp.File("config.txt")), 0600);
  ASSERT_TRUE(wizard::RewriteLogLevel(app, wizard::LogLevelChoice::kDebug3, false, &error));
  EXPECT_EQ(FileMode(temp.File("config.txt")), 0600);
}

// Each server choice as its lines, and as the menu reads those lines back. The default
// servers are the library's; without NVXServer the default servers are reached plain.
TEST(ConfigRewritesTest, ServerChoicesWrittenAndReadBack) {
  const QByteArray saved = qgetenv(kServerListVariable);
  qunsetenv(kServerListVariable);
  std::string library_servers;
  for (const std::string& host : DefaultServerSettings()) {
    library_servers += (library_servers.empty() ? "https://" : ",https://") + host;
  }
  using wizard::ServerChoice;
  const struct Case {
    ServerChoice choice;
    std::vector<std::string> lines;
    ServerChoice read_back;
  } cases[] = {
      {{"", true, ""}, {"NVXServer " + library_servers}, {"", true, ""}},
      {{"", false, ""}, {}, wizard::kPlainDefaultServers},
      {{"nas.example:8443", true, "/etc/ca.pem"},
       {"NVXServer https://nas.example:8443", "NVXServerCA /etc/ca.pem"},
       {"nas.example:8443", true, "/etc/ca.pem"}},
      // A scheme the user typed: "https://" holds even without the box, "http://" yields to it.
      {{"http://a.example, HTTPS://b.example:444", false, ""},
       {"NVXServer http://a.example,https://b.example:444"},
       {"a.example,b.example:444", false, ""}},
      {{"http://a.example", true, ""}, {"NVXServer https://a.example"}, {"a.example", true, ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Std(c.choice.address));
    const QStringList lines = wizard::ServerLines(c.choice);
    EXPECT_EQ(Std(lines), c.lines);
    EXPECT_EQ(wizard::ServerChoiceFromLines(QStringList{"NVXuser kim"} << lines), c.read_back);
  }
  // Read as the job runner reads: any letter case, the last line wins.
  EXPECT_EQ(wizard::ServerChoiceFromLines({"nvxserver x", "NVXSERVER HTTPS://y.example "}),
            (ServerChoice{"y.example", true, ""}));
  // An older file gets the lines after its password; earlier server lines go.
  TempDir temp;
  WriteFileText(temp.File("config.txt"),
                "NVXuser old\r\nnvxserver old.example\r\nNVXPwEncrypt [old]\r\n"
                "NVXSERVERCA /old.pem\r\nSendToNVX\r\n");
  QString error;
  ASSERT_TRUE(wizard::RewriteIdPassword(Q(temp.path()), "new", "pw", true,
                                        ServerChoice{"nas.example", true, "/ca.pem"}, &error));
  EXPECT_EQ(ReadFileText(temp.File("config.txt")),
            "NVXuser new\r\nNVXPwEncrypt pw\r\nNVXServer https://nas.example\r\n"
            "NVXServerCA /ca.pem\r\nSendToNVX\r\n");
  EXPECT_TRUE(wizard::ServerAddressValid(" https://10.0.0.1:65535, b"));
  for (const char* invalid : {"h:0", "h:65536", "h x", ":80", "h:", "h/p", "https://"}) {
    EXPECT_FALSE(wizard::ServerAddressValid(invalid)) << invalid;
  }
  if (!saved.isNull()) qputenv(kServerListVariable, saved);
}

TEST(ConfigRewritesTest, FailedRewriteLeavesTheOldFileWhole) {
  TempDir temp;
  const QString app = Q(temp.path());
  const std::string original = "NVXuser kim\r\nLogDirectory /x\r\n";
  WriteFileText(temp.File("config.txt"), original);
  // The scratch name is taken by a folder: the new file cannot be written.
  QDir().mkpath(Q(temp.File("config.tmp")));
  QString error;
  EXPECT_FALSE(wizard::RewriteIdPassword(app, "new", "pw", true, std::nullopt, &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(wizard::RewriteLogLevel(app, wizard::LogLevelChoice::kDebug1, false, &error));
  EXPECT_FALSE(wizard::UpgradeConfig(app, &error));
  EXPECT_EQ(ReadFileText(temp.File("config.txt")), original);

  // No config.txt at all: a clear failure, and nothing is created.
  TempDir empty;
  EXPECT_FALSE(wizard::RewriteIdPassword(Q(empty.path()), "a", "b", true, std::nullopt, &error));
  EXPECT_TRUE(ListFolder(empty.path()).empty());
}

TEST(ConfigRewritesTest, FallBackToConfigOld) {
  TempDir temp;
  const QString app = Q(temp.path());
  EXPECT_FALSE(wizard::FallBackToConfigOld(app));
  WriteFileText(temp.File("config.old"), "old\r\n");
  WriteFileText(temp.File("config.txt"), "current\r\n");
  EXPECT_FALSE(wizard::FallBackToConfigOld(app));  // config.txt is there: left alone
  EXPECT_EQ(ReadFileText(temp.File("config.txt")), "current\r\n");
  QFile::remove(Q(temp.File("config.txt")));
  EXPECT_TRUE(wizard::FallBackToConfigOld(app));
  EXPECT_EQ(ListFolder(temp.path()), std::vector<std::string>{"config.txt"});
  EXPECT_EQ(ReadFileText(temp.File("config.txt")), "old\r\n");
}

}  // namespace
}  // namespace nvx::test

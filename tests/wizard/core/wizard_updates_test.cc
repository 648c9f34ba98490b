// The update check and the component replacement against a real nvxserver serving its
// web folder, and against a scripted peer for answers a server would not send (a cut
// transfer, silence). What is checked is what a user would find: which components are in
// AppFolder afterwards, with which bytes and modes, their ".old" copies, and the message.
#include <filesystem>
#include <memory>

#include <QCoreApplication>

#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/os_helpers.h"
#include "tests/support/server_process.h"
#include "tests/support/temp_dir.h"
#include "tests/wizard/core/core_test_helpers.h"
#include "wizard/core/component_update.h"
#include "wizard/core/executable_format.h"
#include "wizard/core/open_url.h"
#include "wizard/core/server_address.h"
#include "wizard/core/update_check.h"
#include "wizard/core/web_host.h"

namespace nvx::test {
namespace {

using wizard::ComponentSet;
using wizard::ComponentUpdateResult;
using Failure = wizard::ComponentUpdateResult::Failure;

void EnsureCoreApplication() {
  static int argc = 1;
  static char name[] = "wizard_updates_test";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  WriteFileText(path, bytes);
}

// A small file that passes for a program or library of this machine: the running
// program's own header, then a text that tells the versions apart.
std::string Executable(const std::string& marker) {
  return wizard::OwnExecutableHeader().toStdString() + std::string(44, '\0') + marker;
}

TEST(VersionNoticeTest, OnlyANumberAboveTwoAfterThePrefixOffersTheSetup) {
  struct Case {
    const char* notice;
    int version;
  };
  const Case cases[] = {
      {"versionavailable=3", 3},
      {"versionavailable=2", 2},
      {"versionavailable=abc", 0},
      {"versionavailable=10\r\n", 10},
      {"versionavailable= 3\r\n", 3},
      {"versionavailable=3000", 300},
      {"Versionavailable=3", 0},
      {"versionavailable=", 0},
      {"", 0},
      {"<html>versionavailable=3</html>", 0},
      {"versionavailable=-5", -5},
      {"versionavailable=2.9", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wizard::AvailableVersion(c.notice), c.version) << c.notice;
    EXPECT_EQ(wizard::NewerVersionOffered(c.notice), c.version > 2) << c.notice;
  }
}

// The web host, and the default servers the wizard writes out, from the environment.
TEST(WebHostTest, TheWebHostVariableComesFirstThenTheFirstServer) {
  struct Case {
    const char* web_host;  // nullptr: unset
    const char* servers;
    const char* expected;
    const char* default_servers;
  };
  const Case cases[] = {
      {"web.example:8080", "a:1,b:2", "web.example:8080", "a:1,b:2"},
      {nullptr, " a.example:81 , b:2", "a.example:81", "a.example:81,b:2"},
      {"", "a", "a", "a"},
      {nullptr, "HTTPS://s.example:8443,http://p.example", "s.example:8443",
       "s.example:8443,p.example"},
      {nullptr, nullptr, "www.norrvault.com", "b2.norrvault.com,b1.norrvault.com"},
  };
  QByteArray saved_web = qgetenv(wizard::kWebHostVariable);
  QByteArray saved_servers = qgetenv(wizard::kServerListVariable);
  for (const Case& c : cases) {
    c.web_host ? qputenv(wizard::kWebHostVariable, c.web_host)
               : qunsetenv(wizard::kWebHostVariable);
    c.servers ? qputenv(wizard::kServerListVariable, c.servers)
              : qunsetenv(wizard::kServerListVariable);
    EXPECT_EQ(Std(wizard::WebHostFromEnvironment()), c.expected);
    EXPECT_EQ(Std(wizard::DefaultServerHosts().join(',')), c.default_servers);
  }
  qputenv(wizard::kWebHostVariable, saved_web);
  if (saved_web.isNull()) qunsetenv(wizard::kWebHostVariable);
  qputenv(wizard::kServerListVariable, saved_servers);
}

class UpdatesTest : public ::testing::Test {
 protected:
  UpdatesTest() {
    EnsureCoreApplication();
    server_ = std::make_unique<ServerProcess>(data_.path(), data_.File("server.log"));
    web_host_ = QString("127.0.0.1:%1").arg(server_->port());
  }

  void Publish(const std::string& path, const std::string& bytes) {
    WriteFile(data_.File("web" + path), bytes);
  }

  // AppFolder with the installed components: programs 0755, libraries 0644 but
  // libnvxapi.so 0755, each with its own bytes.
  void InstallOldComponents() {
    for (const wizard::Component& component : wizard::kComponents) {
      std::string path = app_.File(component.file_name);
      WriteFile(path, Executable(std::string("old ") + component.file_name));
      SetPermissions(path, component.program ? 0755 : 0644);
    }
    SetPermissions(app_.File("libnvxapi.so"), 0755);
  }

  ComponentUpdateResult Update(ComponentSet set, const QString& web_host = {}, int timeout = 0) {
    wizard::ComponentSource source{web_host.isEmpty() ? web_host_ : web_host, "alice"};
    if (timeout > 0) source.timeout_ms = timeout;
    statuses_.clear();
    return wizard::UpdateComponents(Q(app_.path()), set, source,
                                    [this](const QString& text) { statuses_ << text; });
  }

  // Every entry of AppFolder with its bytes and mode.
  std::map<std::string, std::pair<std::string, int>> AppFiles() {
    std::map<std::string, std::pair<std::string, int>> files;
    for (const std::string& name : ListFolder(app_.path())) {
      std::string path = app_.File(name);
      bool is_file = std::filesystem::is_regular_file(path);
      files[name] = {is_file ? ReadFileText(path) : "(folder)", FileMode(path)};
    }
    return files;
  }

  TempDir data_;
  TempDir app_;
  std::unique_ptr<ServerProcess> server_;
  QString web_host_;
  QStringList statuses_;
};

TEST_F(UpdatesTest, TheNoticeOnTheWebHostDecidesTheOffer) {
  struct Case {
    const char* notice;  // nullptr: no notice file (404)
    bool offered;
  };
  const Case cases[] = {
      {"versionavailable=3\r\n", true},
      {"versionavailable=2\r\n", false},
      {"versionavailable=x\r\n", false},
      {nullptr, false},
  };
  ASSERT_GT(server_->port(), 0);
  for (const Case& c : cases) {
    std::filesystem::remove(data_.File("web/uploadmanager/backupversion.txt"));
    if (c.notice) Publish("/uploadmanager/backupversion.txt", c.notice);
    EXPECT_EQ(wizard::CheckForNewerVersion(web_host_), c.offered) << (c.notice ? c.notice : "-");
  }
  EXPECT_FALSE(wizard::CheckForNewerVersion(QString("127.0.0.1:%1").arg(RefusingPort())));
}

TEST_F(UpdatesTest, TheRequestAsksForAFreshCopyAndACutNoticeOffersNothing) {
  LoopbackPeer peer;
  peer.AddReply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nversionavailable=3");
  EXPECT_FALSE(wizard::CheckForNewerVersion(Q(peer.address())));
  std::vector<std::string> requests = peer.Requests();
  ASSERT_EQ(requests.size(), 1u);
  for (const char* line :
       {"GET /uploadmanager/backupversion.txt HTTP/1.1\r\n", "User-Agent: VB OpenUrl\r\n",
        "Cache-Control: no-cache\r\n", "Pragma: no-cache\r\n"}) {
    EXPECT_NE(requests[0].find(line), std::string::npos) << line << " in " << requests[0];
  }
}

TEST_F(UpdatesTest, CurrentComponentsAreReplacedAndTheInstalledOnesKeptAsOldCopies) {
  InstallOldComponents();
  WriteFile(app_.File("NVXbackup.old"), "an older backup copy");
  for (const wizard::Component& component : wizard::kComponents) {
    Publish(std::string("/install/") + component.file_name,
            Executable(std::string("new ") + component.file_name));
  }

  ComponentUpdateResult result = Update(ComponentSet::kCurrent);

  EXPECT_EQ(result.failure, Failure::kNone) << Std(result.detail);
  EXPECT_EQ(Std(result.replaced),
            (std::vector<std::string>{"NVXbackup", "libnvxapi.so", "libnvxapib.so",
                                      "NVXscheduledBackup"}));
  EXPECT_EQ(Std(result.Message(ComponentSet::kCurrent)), "Program Components Updated");
  EXPECT_EQ(Std(statuses_), (std::vector<std::string>{
                                "Downloading NVXbackup", "Downloading libnvxapi.so",
                                "Downloading libnvxapib.so", "Downloading NVXscheduledBackup"}));
  std::map<std::string, std::pair<std::string, int>> expected = {
      {"NVXbackup", {Executable("new NVXbackup"), 0755}},
      {"NVXbackup.old", {Executable("old NVXbackup"), 0755}},
      {"libnvxapi.so", {Executable("new libnvxapi.so"), 0755}},
      {"libnvxapi.old", {Executable("old libnvxapi.so"), 0755}},
      {"libnvxapib.so", {Executable("new libnvxapib.so"), 0644}},
      {"libnvxapib.old", {Executable("old libnvxapib.so"), 0644}},
      {"NVXscheduledBackup", {Executable("new NVXscheduledBackup"), 0755}},
      {"NVXscheduledBackup.old", {Executable("old NVXscheduledBackup"), 0755}},
  };
  EXPECT_EQ(AppFiles(), expected);
}

TEST_F(UpdatesTest, ADebugFolderWithSomeComponentsReplacesAndListsOnlyThose) {
  InstallOldComponents();
  auto before = AppFiles();
  // Nothing placed for this user yet.
  ComponentUpdateResult none = Update(ComponentSet::kDebug);
  EXPECT_EQ(Std(none.Message(ComponentSet::kDebug)), "No Debug Components Available");
  EXPECT_EQ(AppFiles(), before);

  Publish("/pub/alice/NVXbackup", Executable("debug NVXbackup"));
  Publish("/pub/alice/libnvxapi.so", "<html><body>No debug build</body></html>");
  Publish("/pub/alice/libnvxapib.so", Executable("debug libnvxapib.so"));
  ComponentUpdateResult result = Update(ComponentSet::kDebug);

  EXPECT_EQ(result.failure, Failure::kNone) << Std(result.detail);
  EXPECT_EQ(Std(result.Message(ComponentSet::kDebug)),
            "Debug Versions of Program Components Downloaded:\r\n"
            "   NVXbackup\r\n   libnvxapib.so\r\n\r\n"
            "To revert to Stardard Components Click 'Update NVX Components'");
  EXPECT_EQ(Std(statuses_[3]), "Downloading Debug Version of NVXscheduledBackup");
  auto expected = before;
  expected["NVXbackup"].first = Executable("debug NVXbackup");
  expected["NVXbackup.old"] = before["NVXbackup"];
  expected["libnvxapib.so"].first = Executable("debug libnvxapib.so");
  expected["libnvxapib.old"] = before["libnvxapib.so"];
  EXPECT_EQ(AppFiles(), expected);
}

// Answers that must never take a component's place. The bad answer is given for one
// component; the ones before it are replaced and stay so, nothing after it is touched.
TEST_F(UpdatesTest, UnusableAnswersReplaceNothing) {
  enum class Bad { kServed, kMissing, kCut, kSilent };
  struct Case {
    const char* name;
    const char* component;
    Bad bad;
    std::string bytes;
    std::vector<std::string> replaced_before;
  };
  std::string other_machine = Executable("new NVXbackup");
  other_machine[4] = other_machine[4] == 2 ? 1 : 2;
  std::string core_dump = Executable("new NVXbackup");
  core_dump[16] = 4;
  core_dump[17] = 0;
  const Case cases[] = {
      {"web page", "NVXbackup", Bad::kServed, "<HTML><body>Not here</body></HTML>", {}},
      {"web page after blanks", "NVXbackup", Bad::kServed, "\r\n <!DOCTYPE html><p>", {}},
      {"empty body", "NVXbackup", Bad::kServed, "", {}},
      {"plain text", "NVXbackup", Bad::kServed, "#!/bin/sh\necho hello\n", {}},
      {"another machine's program", "NVXbackup", Bad::kServed, other_machine, {}},
      {"a core file", "NVXbackup", Bad::kServed, core_dump, {}},
      {"404", "NVXbackup", Bad::kMissing, "", {}},
      {"404 of the third", "libnvxapib.so", Bad::kMissing, "", {"NVXbackup", "libnvxapi.so"}},
      {"cut transfer", "NVXbackup", Bad::kCut, "", {}},
      {"silent web host", "NVXbackup", Bad::kSilent, "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(data_.File("web"));
    std::filesystem::remove_all(app_.path());
    MakeFolder(app_.path());
    InstallOldComponents();
    for (const wizard::Component& component : wizard::kComponents) {
      if (c.component == std::string(component.file_name) && c.bad == Bad::kMissing) continue;
      Publish(std::string("/install/") + component.file_name,
              c.component == std::string(component.file_name)
                  ? c.bytes
                  : Executable(std::string("new ") + component.file_name));
    }
    auto before = AppFiles();

    LoopbackPeer peer;
    ComponentUpdateResult result;
    if (c.bad == Bad::kCut) {
      peer.AddReply("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" +
                    Executable("new NVXbackup"));
      result = Update(ComponentSet::kCurrent, Q(peer.address()));
    } else if (c.bad == Bad::kSilent) {
      peer.AddConnection({PeerReply{"", true, true, true}});
      result = Update(ComponentSet::kCurrent, Q(peer.address()), 300);
    } else {
      result = Update(ComponentSet::kCurrent);
    }

    EXPECT_EQ(result.failure, Failure::kDownload);
    EXPECT_EQ(Std(result.replaced), c.replaced_before);
    QString message = result.Message(ComponentSet::kCurrent);
    EXPECT_TRUE(message.startsWith(QString("Could not update components: ") + c.component))
        << Std(message);
    auto expected = before;
    for (const std::string& name : c.replaced_before) {
      expected[name].first = Executable("new " + name);
      expected[name.substr(0, name.find(".so")) + ".old"] = before[name];
    }
    EXPECT_EQ(AppFiles(), expected);
  }
}

// A component that cannot be written ends in the "open files" message; the installed
// file is still there whole. Without write permission on AppFolder (not for root, who
// writes anyway), and with a component name taken by a folder or a backup copy that
// cannot be removed (a folder with content), which stop root too.
TEST_F(UpdatesTest, AReplacementThatCannotBeWrittenLosesNothing) {
  enum class Block { kReadOnlyFolder, kComponentIsAFolder, kOldCopyIsAFolder };
  for (Block block :
       {Block::kReadOnlyFolder, Block::kComponentIsAFolder, Block::kOldCopyIsAFolder}) {
    if (block == Block::kReadOnlyFolder && IsSuperuser()) continue;
    SCOPED_TRACE(static_cast<int>(block));
    SetPermissions(app_.path(), 0755);
    std::filesystem::remove_all(app_.path());
    MakeFolder(app_.path());
    InstallOldComponents();
    for (const wizard::Component& component : wizard::kComponents) {
      Publish(std::string("/install/") + component.file_name,
              Executable(std::string("new ") + component.file_name));
    }
    if (block == Block::kComponentIsAFolder) {
      std::filesystem::remove(app_.File("NVXbackup"));
      WriteFile(app_.File("NVXbackup/keep"), "kept");
    }
    if (block == Block::kOldCopyIsAFolder) WriteFile(app_.File("NVXbackup.old/keep"), "kept");
    auto before = AppFiles();
    if (block == Block::kReadOnlyFolder) SetPermissions(app_.path(), 0555);

    ComponentUpdateResult result = Update(ComponentSet::kCurrent);
    SetPermissions(app_.path(), 0755);

    EXPECT_EQ(result.failure, Failure::kReplace);
    EXPECT_TRUE(result.replaced.isEmpty());
    EXPECT_EQ(Std(result.Message(ComponentSet::kCurrent)),
              "Could not update components due to open files.\r\n"
              "Please close this program and restart to try again.");
    EXPECT_EQ(AppFiles(), before);
    for (const char* kept : {"NVXbackup/keep", "NVXbackup.old/keep"}) {
      if (PathExists(app_.File(kept))) {
        EXPECT_EQ(ReadFileText(app_.File(kept)), "kept");
      }
    }
  }
}

// The main job's web folder, made by its script from this build's install folder: no
// newer version is offered, and "Update NVX components" installs the very programs and
// libraries of the build, which pass as files of this machine.
TEST_F(UpdatesTest, TheMainJobsWebFolderServesThisBuildsComponents) {
  const std::string bin = std::string(NVX_INSTALL_FOLDER);
  ChildProcess::Options options;
  options.args = {NVX_SOURCE_FOLDER "/scripts/prepare-web-folder.sh", data_.path(), bin};
  RunResult prepared = RunProgram("/bin/bash", options);
  ASSERT_EQ(prepared.exit_code, 0) << prepared.err;
  EXPECT_EQ(ReadFileText(data_.File("web/uploadmanager/backupversion.txt")),
            "versionavailable=2\r\n");
  EXPECT_FALSE(wizard::CheckForNewerVersion(web_host_));
  QByteArray page;
  wizard::UrlAnswer answer =
      wizard::FetchUrl(wizard::WebUrl(web_host_, wizard::kUpdatePagePath), &page);
  EXPECT_TRUE(answer.Succeeded()) << Std(answer.error);
  EXPECT_TRUE(page.contains("Norrvault Backup")) << page.toStdString();

  ComponentUpdateResult result = Update(ComponentSet::kCurrent);

  EXPECT_EQ(result.failure, Failure::kNone) << Std(result.detail);
  EXPECT_EQ(result.replaced.size(), 4);
  for (const wizard::Component& component : wizard::kComponents) {
    EXPECT_EQ(ReadFileText(app_.File(component.file_name)),
              ReadFileText(bin + "/" + component.file_name))
        << component.file_name;
    EXPECT_EQ(FileMode(app_.File(component.file_name)), component.program ? 0755 : 0644);
  }
}

}  // namespace
}  // namespace nvx::test

// NVXbackup against a real nvxserver: the login outcomes with their exit codes and
// results texts, TLS services refused before any request with the reason in the results,
// server folders made and pruned, the summary e-mail, failover from a refusing first
// server to the second.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/e2e_fixture.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/temp_dir.h"

namespace nvx::test {
namespace {

const char kVerifyFolders[] =
    "VerifyPath \\Backup\\Docs\r\nVerifyPath \\Backup\\Pics\r\nVerifyNVXFolders\r\n";

bool HasFolder(const std::vector<std::string>& folders, const std::string& level_and_name) {
  for (const std::string& line : folders) {
    if (line.rfind(level_and_name + "\t", 0) == 0) return true;
  }
  return false;
}

class LoginTest : public EndToEndTest {};

TEST_F(LoginTest, OutcomesExitCodesAndResultsTexts) {
  Administer({"account", "add", "dora", "disabled-pw"});
  Administer({"account", "set", "dora", "--state", "disabled"});
  Administer({"account", "add", "eve", "expired-pw"});
  Administer({"account", "set", "eve", "--state", "expired"});
  struct Case {
    std::string user, password;
    int exit_code;
    std::string report;  // exact, for the refused logins
  } cases[] = {
      {"nobody", "x", 3, "User Id Invalid\r\n"},
      {"alice", "wrong", 4, "User Password Invalid\r\n"},
      {"dora", "disabled-pw", 4, "User Account Disabled\r\n"},
      {"eve", "expired-pw", 4, "User Password Expired\r\n"},
      {"ALICE", "wonderland", 0, ""},  // ids ignore letter case; the run goes on
  };
  for (const Case& c : cases) {
    RunResult result = RunJob(JobFile(c.user, c.password, kVerifyFolders));
    EXPECT_EQ(result.exit_code, c.exit_code) << c.user << "\n" << result.out << result.err;
    if (c.exit_code != 0) {
      EXPECT_EQ(Report(), c.report) << c.user;
    } else {
      EXPECT_EQ(Report().rfind("Online Backup Results for ALICE: No Errors", 0), 0u) << Report();
    }
  }
}

class FolderJobsTest : public EndToEndTest {};

TEST_F(FolderJobsTest, VerifyFoldersMakesThemAndDeleteEmptyFoldersPrunesThem) {
  RunResult made = RunJob(JobFile("alice", "wonderland", kVerifyFolders));
  ASSERT_EQ(made.exit_code, 0) << made.out << made.err;
  std::vector<std::string> folders = Folders("alice");
  EXPECT_TRUE(HasFolder(folders, "1\tBackup")) << ::testing::PrintToString(folders);
  EXPECT_TRUE(HasFolder(folders, "2\tDocs"));
  EXPECT_TRUE(HasFolder(folders, "2\tPics"));
  // A second run finds them and makes nothing new.
  ASSERT_EQ(RunJob(JobFile("alice", "wonderland", kVerifyFolders)).exit_code, 0);
  EXPECT_EQ(Folders("alice").size(), folders.size());

  RunResult pruned = RunJob(JobFile(
      "alice", "wonderland", "NVXPath \\Backup\r\nLocalPath /tmp\r\nDeleteEmptyNVXFolders\r\n"));
  EXPECT_EQ(pruned.exit_code, 0) << pruned.out << pruned.err;
  EXPECT_NE(pruned.out.find("Delete Empty NVX Folders Successful"), std::string::npos)
      << pruned.out;
  folders = Folders("alice");
  // The folder named stays; the empty folders below it go.
  EXPECT_TRUE(HasFolder(folders, "1\tBackup")) << ::testing::PrintToString(folders);
  EXPECT_FALSE(HasFolder(folders, "2\tDocs"));
  EXPECT_FALSE(HasFolder(folders, "2\tPics"));
}

TEST_F(FolderJobsTest, NotifyUserLeavesTheReportInTheOutbox) {
  RunResult result =
      RunJob(JobFile("alice", "wonderland", std::string("NotifyUser Y\r\n") + kVerifyFolders));
  ASSERT_EQ(result.exit_code, 0) << result.out << result.err;
  std::vector<std::string> messages = Outbox();
  ASSERT_EQ(messages.size(), 1u);
  const std::string& message = messages[0];
  EXPECT_EQ(message.rfind("To: alice@example.test\r\n", 0), 0u) << message;
  EXPECT_NE(message.find("X-NVX-Results-Type: Backup\r\n"), std::string::npos) << message;
  std::string report = Report();
  ASSERT_FALSE(report.empty());
  // The text is the subject line, then the whole report.
  std::string text = message.substr(message.find("\r\n\r\n") + 4);
  EXPECT_EQ(text.substr(text.find("\r\n") + 2), report);
}

// A TLS service whose certificate the job cannot trust, or that does not speak TLS, hears
// not a byte of a request: the run ends like a failed connection, saying why.
TEST_F(LoginTest, RefusedTlsServicesHearNoRequestAndTheResultsSayWhy) {
  TestCertificates& certificates = Certificates();
  const std::string untrusted = "the service's certificate is not trusted";
  struct Case {
    std::string name;
    const CertificateFiles* served;  // null: the plain service behind "https://"
    bool name_authority;             // NVXServerCA names the test authority
    std::string reason;
  } cases[] = {
      {"another authority", &certificates.other_authority(), true, untrusted},
      {"system store only", &certificates.server(), false, untrusted},
      {"self-signed", &certificates.self_signed(), true, untrusted},
      {"another name", &certificates.other_name(), true,
       "the service's certificate was issued for another name"},
      {"expired", &certificates.expired(), true, "the service's certificate has expired"},
      {"plain HTTP", nullptr, true, "the service does not speak TLS"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string log = temp_.File("tls-server-" + std::to_string(&c - cases) + ".log");
    std::unique_ptr<ServerProcess> tls_server;
    const size_t plain_mark = ReadFileText(server_log_).size();
    int port = server_->port();
    if (c.served != nullptr) {
      tls_server = StartTlsServer(*c.served, log);
      port = tls_server->port();
      ASSERT_NE(port, 0) << ReadFileText(log);
    }
    const std::string authority =
        c.name_authority ? "NVXServerCA " + certificates.authority() + "\r\n" : "";
    RunResult run = RunJob(JobFile("alice", "wonderland", authority + kVerifyFolders),
                           "https://127.0.0.1:" + std::to_string(port));
    const std::string requests =
        c.served != nullptr ? ReadFileText(log) : ReadFileText(server_log_).substr(plain_mark);
    EXPECT_EQ(run.exit_code, 10) << run.out << run.err;
    EXPECT_NE(run.out.find("Status message Connect to Norrvault failed: " + c.reason),
              std::string::npos)
        << run.out;
    EXPECT_NE(Report().find("The connection to Norrvault was refused: " + c.reason + ".\r\n"),
              std::string::npos)
        << Report();
    EXPECT_NE(Report().find("System Error - " + c.reason + "\r\n"), std::string::npos) << Report();
    EXPECT_EQ(requests.find("rizezi7.dll"), std::string::npos) << requests;
  }
}

TEST_F(FolderJobsTest, FailsOverFromARefusingServerToTheNext) {
  std::string dead = "127.0.0.1:" + std::to_string(RefusingPort());
  std::string live = "127.0.0.1:" + std::to_string(server_->port());
  RunResult result = RunJob(JobFile("alice", "wonderland", kVerifyFolders), dead + "," + live);
  EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
  EXPECT_TRUE(HasFolder(Folders("alice"), "2\tDocs"));
  const std::string log = ActivityLog();
  EXPECT_NE(log.find(" Err Communications connect to Norrvault failed 3 connect failed 0 "),
            std::string::npos)
      << log;
}

}  // namespace
}  // namespace nvx::test

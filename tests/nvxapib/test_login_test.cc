// TestLogin, loaded from the install folder by the wizard's loader, against a real
// nvxserver: each account state gives its result, and a service that cannot be reached
// says so (-2) instead of letting an unchecked login through. TestLoginAt asks the servers
// and the authority it is given and tells each refused TLS service apart.
#include <cstdlib>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/shared_library.h"
#include "tests/support/server_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"
#include "wizard/core/login_library.h"

namespace nvx::test {
namespace {

class TestLoginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Administer({"account", "add", "alice", "wonderland"});
    Administer({"account", "add", "dora", "disabled-pw"});
    Administer({"account", "set", "dora", "--state", "disabled"});
    Administer({"account", "add", "eve", "expired-pw"});
    Administer({"account", "set", "eve", "--state", "expired"});
    server_ = std::make_unique<ServerProcess>(data_, temp_.File("server.log"));
    ASSERT_NE(server_->port(), 0) << ReadFileText(temp_.File("server.log"));
    QString reason;
    ASSERT_TRUE(library_.Load(NVX_INSTALL_FOLDER_PATH, &reason)) << reason.toStdString();
  }

  void Administer(const std::vector<std::string>& arguments) {
    RunResult result = RunNvxServer(data_, arguments);
    ASSERT_EQ(result.exit_code, 0) << result.err;
  }

  // The library reads its server list from NVX_SERVER when a CNvxapi is made, which
  // TestLogin does on every call.
  int TestLoginAt(const std::string& server, const char* id, const char* password) {
    setenv("NVX_SERVER", server.c_str(), 1);
    return library_.TestLogin(id, password);
  }

  TempDir temp_;
  std::string data_ = temp_.File("data");
  std::unique_ptr<ServerProcess> server_;
  wizard::LoginLibrary library_;
};

TEST_F(TestLoginTest, AccountStatesGiveTheirResults) {
  const std::string server = "127.0.0.1:" + std::to_string(server_->port());
  struct Case {
    const char* id;
    const char* password;
    int result;
  } cases[] = {
      {"alice", "wonderland", 1}, {"nobody", "x", 2},       {"alice", "wrong", 3},
      {"dora", "disabled-pw", 4}, {"eve", "expired-pw", 5},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TestLoginAt(server, c.id, c.password), c.result) << c.id << " / " << c.password;
  }
  // Results other than 2 to 5 are accepted logins; refusals have their message.
  EXPECT_TRUE(wizard::LoginRefusalMessage(1).isEmpty());
  EXPECT_EQ(wizard::LoginRefusalMessage(3).toStdString(), "Password invalid, please try again");
}

TEST_F(TestLoginTest, AnUnreachableServiceIsNoAcceptedLogin) {
  const int port = server_->port();
  server_->Stop();
  const int result = TestLoginAt("127.0.0.1:" + std::to_string(port), "alice", "wonderland");
  EXPECT_EQ(result, wizard::kLoginServiceNotReached);
  EXPECT_TRUE(wizard::LoginNotCheckedReason(result)->contains("could not be reached"));
}

TEST_F(TestLoginTest, TestLoginAtTellsRefusedTlsServicesApart) {
  platform::SharedLibrary library;
  std::string reason;
  ASSERT_TRUE(library.Open(std::string(NVX_INSTALL_FOLDER_PATH) + "/libnvxapib.so", &reason))
      << reason;
  using TestLoginAtFunction = int (*)(const char*, const char*, const char*, const char*);
  auto test_login_at =
      reinterpret_cast<TestLoginAtFunction>(library.Symbol("TestLoginAt", &reason));
  ASSERT_NE(test_login_at, nullptr) << reason;
  TestCertificates certificates(temp_.File("certs"));
  struct Case {
    const CertificateFiles* served;  // null: the plain service behind "https://"
    bool name_authority;
    int result;
  } cases[] = {
      {&certificates.server(), true, 3},
      {&certificates.server(), false, -4},
      {&certificates.other_name(), true, -5},
      {&certificates.expired(), true, -6},
      {nullptr, true, -7},
  };
  for (const Case& c : cases) {
    std::unique_ptr<ServerProcess> tls_server;
    int port = server_->port();
    if (c.served != nullptr) {
      tls_server = std::make_unique<ServerProcess>(
          data_, temp_.File("tls-server.log"),
          std::vector<std::string>{"--tls-cert", c.served->cert, "--tls-key", c.served->key});
      port = tls_server->port();
      ASSERT_NE(port, 0);
    }
    const std::string servers = "https://127.0.0.1:" + std::to_string(port);
    const char* authority = c.name_authority ? certificates.authority().c_str() : "";
    EXPECT_EQ(test_login_at(servers.c_str(), authority, "alice", "wrong"), c.result)
        << (c.served != nullptr ? c.served->cert : "plain") << " / " << c.name_authority;
  }
}

TEST(LoginLibraryTest, MissingLibraryGivesTheLoadersReason) {
  TempDir empty;
  wizard::LoginLibrary library;
  QString reason;
  EXPECT_FALSE(library.Load(QString::fromStdString(empty.path()), &reason));
  EXPECT_TRUE(reason.contains("libnvxapib.so")) << reason.toStdString();
  EXPECT_EQ(library.TestLogin("alice", "wonderland"), -1);
}

}  // namespace
}  // namespace nvx::test

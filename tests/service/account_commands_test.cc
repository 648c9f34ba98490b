// The login check of every request, the account commands TestId and ResetSpace, and the
// headers that every reply to the service's script carries.
#include <gtest/gtest.h>

#include <string>

#include "service/store/sqlite_db.h"
#include "tests/service/service_fixture.h"
#include "tests/support/login_token.h"

namespace nvx::test {
namespace {

class AccountCommandsTest : public ServiceFixture {};

TEST_F(AccountCommandsTest, LoginConclusions) {
  Admin({"account", "add", "carol", "pw"});
  Admin({"account", "set", "carol", "--state", "disabled"});
  Admin({"account", "add", "dave", "pw"});
  Admin({"account", "set", "dave", "--state", "expired"});
  StartServer();
  struct Case {
    std::optional<std::string> token;
    const char* conclusion;
  };
  const Case cases[] = {
      {MakeLoginToken("alice", "secret"), "Successful"},
      {MakeLoginToken("ALICE", "secret", 1078495630), "Successful"},
      {MakeLoginToken("alice", "secret", 1078495629 + 495), "Successful"},
      {MakeLoginToken("bob", "secret"), "ID Invalid"},
      {MakeLoginToken("alice", "Secret"), "Password Invalid"},
      {MakeLoginToken("", "secret"), "ID Invalid"},
      {MakeLoginToken("carol", "pw"), "Account Disabled"},
      {MakeLoginToken("carol", "wrong"), "Password Invalid"},
      {MakeLoginToken("dave", "pw"), "Password Expired"},
      {std::string(), "ID Invalid"},
      {std::string("!!!!"), "ID Invalid"},
      {std::string("AAAA"), "ID Invalid"},
      {std::string(300, 'A'), "ID Invalid"},
      {std::nullopt, "ID Invalid"},
  };
  for (const Case& c : cases) {
    std::string request = "GET /scripts/rizezi7.dll?TestId HTTP/1.1\r\nHost: x\r\n";
    if (c.token) request += "X-NVX-RATTART: " + *c.token + "\r\n";
    RawHttpReply reply = Exchange(request + "\r\n");
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), c.conclusion) << c.token.value_or("(none)");
    bool good = std::string(c.conclusion) == "Successful";
    EXPECT_EQ(reply.Header("X-NVX-LARCH"), good ? "1000000,0" : "0,0");
    EXPECT_EQ(reply.Header("X-NVX-CRUNCHYFROG"), "0,0,0");
  }
}

TEST_F(AccountCommandsTest, AFailedLoginDoesNothingElse) {
  StartServer();
  std::string request = ScriptRequest("GET", "FolderCreate", {{"X-NVX-BIGGLES", "New"}},
                                      MakeLoginToken("alice", "wrong"));
  EXPECT_EQ(Exchange(request).Header("X-NVX-CONCLUSION"), "Password Invalid");
  StopServer();
  EXPECT_EQ(Admin({"folder", "list", "alice"}).find("New"), std::string::npos);
}

TEST_F(AccountCommandsTest, EncryptionFlagAndSpaceFigures) {
  AddDocument("alice", "\\MyFiles\\a.txt", std::string(1234, 'x'));
  Admin({"account", "set", "alice", "--encrypt", "on", "--quota", "5368709120"});
  StartServer();
  RawHttpReply reply = Command("TestId");
  EXPECT_EQ(reply.Header("X-NVX-CRUNCHYFROG"), "1,0,0");
  EXPECT_EQ(reply.Header("X-NVX-LARCH"), "5368709120,1234");
}

TEST_F(AccountCommandsTest, ResetSpaceRecomputesTheSpaceUsed) {
  AddDocument("alice", "\\MyFiles\\a.txt", std::string(100, 'x'));
  {
    service::Database db;
    ASSERT_TRUE(db.Open(data() + "/nvx.db", 1000));
    ASSERT_TRUE(db.Execute("UPDATE accounts SET used = 777"));
  }
  StartServer();
  EXPECT_EQ(Command("TestId").Header("X-NVX-LARCH"), "1000000,777");
  RawHttpReply reply = Command("ResetSpace");
  EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_EQ(reply.Header("X-NVX-LARCH"), "1000000,100");
}

TEST_F(AccountCommandsTest, TargetsAndUnknownCommands) {
  StartServer();
  std::string token = MakeLoginToken("alice", "secret");
  // Through a proxy the target arrives in absolute form.
  RawHttpReply proxied = Exchange(
      "GET http://b2.example.com/scripts/rizezi7.dll?TestId "
      "HTTP/1.1\r\nHost: b2.example.com\r\nX-NVX-RATTART: " +
      token + "\r\n\r\n");
  EXPECT_EQ(proxied.Header("X-NVX-CONCLUSION"), "Successful");
  for (const char* query : {"testid", "NoSuchCommand", "", "TestId&x=1"}) {
    RawHttpReply reply = Command(query);
    EXPECT_EQ(reply.status, 200) << query;
    EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), "Error - Unknown Command") << query;
    EXPECT_EQ(reply.Header("X-NVX-LARCH"), "1000000,0") << query;
  }
  RawHttpReply other =
      Exchange(ScriptRequest("GET", "TestId", {}, token)
                   .replace(4, std::string("/scripts/rizezi7.dll").size(), "/scripts/other.dll"));
  EXPECT_EQ(other.status, 404);
  EXPECT_EQ(other.status_line, "HTTP/1.1 404 Not Found");
  RawHttpReply posted = Exchange(
      "POST /scripts/rizezi7.dll?TestId HTTP/1.1\r\nHost: x\r\n"
      "X-NVX-RATTART: " +
      token + "\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(posted.status, 405);
}

}  // namespace
}  // namespace nvx::test

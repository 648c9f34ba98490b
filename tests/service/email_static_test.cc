// The e-mail PUT (plain and enciphered) and the static files of the web folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "codec/transfer_cipher.h"
#include "tests/service/service_fixture.h"
#include "tests/support/login_token.h"
#include "tests/support/smtp_relay_process.h"

namespace nvx::test {
namespace {

constexpr const char* kText = "NVX Backup Results\r\nUploaded 3 Files \r\nErrors 0  \r\n";

class EmailTest : public ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    Admin({"account", "set", "alice", "--email", "alice@example.org", "--admin-email",
           "admin@example.org"});
  }

  RawHttpReply SendEmail(const std::string& routing, const std::string& body,
                         const std::string& fang) {
    std::string request = ScriptRequest("PUT", "email.txt",
                                        {{"Content-Length", std::to_string(body.size())},
                                         {"X-NVX-FANG", fang},
                                         {"X-NVX-BEAVERCHEESE", routing}},
                                        MakeLoginToken("alice", "secret"));
    return Exchange(request + body);
  }

  std::vector<std::string> Outbox() {
    std::vector<std::string> messages;
    for (const std::string& name : ListFolder(data() + "/outbox")) {
      messages.push_back(ReadFileText(data() + "/outbox/" + name));
    }
    return messages;
  }
};

TEST_F(EmailTest, TextGoesToTheOutboxAddressedAsAsked) {
  StartServer();
  std::string text = kText;
  std::string fang = "1,2,0,0," + std::to_string(text.size());
  EXPECT_EQ(SendEmail("1,0,Backup;", text, fang).Header("X-NVX-CONCLUSION"), "Successful");
  std::vector<std::string> messages = Outbox();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0],
            "To: alice@example.org\r\nSubject: NVX Backup Results\r\nX-NVX-Account: alice\r\n"
            "X-NVX-Results-Type: Backup\r\n\r\n" +
                text);
  EXPECT_EQ(SendEmail("1,1,Restore;", text, fang).Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_EQ(SendEmail("0,1,Restore;", text, fang).Header("X-NVX-CONCLUSION"), "Successful");
  messages = Outbox();
  ASSERT_EQ(messages.size(), 3u);
  int both = 0;
  int admin_only = 0;
  for (const std::string& message : messages) {
    both += message.rfind("To: alice@example.org, admin@example.org\r\n", 0) == 0;
    admin_only += message.rfind("To: admin@example.org\r\n", 0) == 0;
  }
  EXPECT_EQ(both, 1);
  EXPECT_EQ(admin_only, 1);
}

TEST_F(EmailTest, WithSmtpTheRelayGetsTheTextAndTheOutboxEmpties) {
  SmtpRelayProcess relay(temp_.File("relay"));
  ASSERT_TRUE(relay.Start());
  StartServer({"--smtp", relay.address(), "--smtp-from", "backup@example.org"});
  std::string text = kText;
  std::string fang = "1,2,0,0," + std::to_string(text.size());
  EXPECT_EQ(SendEmail("1,1,Backup;", text, fang).Header("X-NVX-CONCLUSION"), "Successful");
  std::vector<std::string> received = relay.WaitForMessages(1);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].substr(0, received[0].find("\n\n")),
            "MAIL FROM backup@example.org\nRCPT TO alice@example.org\nRCPT TO admin@example.org");
  EXPECT_NE(received[0].find("\r\nSubject: NVX Backup Results\r\n"), std::string::npos);
  EXPECT_NE(received[0].find("\r\n\r\n" + text), std::string::npos);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!Outbox().empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(Outbox().empty());
}

TEST_F(EmailTest, EncipheredText) {
  Admin({"account", "set", "alice", "--encrypt", "on"});
  StartServer();
  std::string text = kText;
  size_t key_index = 300;
  TransferCipher cipher(key_index);
  std::string body(RoundUpToBlock(text.size()), '\0');
  cipher.Encipher(text.data(), text.size(), body.data());
  std::string fang = std::to_string(text.size()) + "," + std::to_string(cipher.key_code()) +
                     ",0,0," + std::to_string(text.size());
  EXPECT_EQ(SendEmail("1,0,Backup;", body, fang).Header("X-NVX-CONCLUSION"), "Successful");
  std::vector<std::string> messages = Outbox();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].substr(messages[0].find("\r\n\r\n") + 4), text);
  // A key code that names no key of the table, or a length beyond the body, is refused.
  EXPECT_EQ(SendEmail("1,0,Backup;", body, "10,65535,0,0,10").Header("X-NVX-CONCLUSION"),
            "Error - Bad Request");
  EXPECT_EQ(SendEmail("1,0,Backup;", body, "999,11265,0,0,10").Header("X-NVX-CONCLUSION"),
            "Error - Bad Request");
  EXPECT_EQ(Outbox().size(), 1u);
}

TEST_F(EmailTest, Refusals) {
  Admin({"account", "set", "alice", "--email", "", "--admin-email", ""});
  StartServer();
  EXPECT_EQ(SendEmail("1,1,Backup;", kText, "0,0,0,0,0").Header("X-NVX-CONCLUSION"),
            "Error - No E-mail Address");
  EXPECT_EQ(SendEmail("yes", kText, "0,0,0,0,0").Header("X-NVX-CONCLUSION"), "Error - Bad Request");
  std::string huge(70000, 'x');
  EXPECT_EQ(SendEmail("1,1,Backup;", huge, "0,0,0,0,0").Header("X-NVX-CONCLUSION"),
            "Error - Request Too Large");
  EXPECT_TRUE(Outbox().empty());
  // Without its routing header the PUT is an upload of a file that happens to be named
  // "email.txt", not an e-mail.
  RawHttpReply upload = Exchange(ScriptRequest("PUT", "email.txt", {{"Content-Length", "3"}},
                                               MakeLoginToken("alice", "secret")) +
                                 "abc");
  EXPECT_EQ(upload.Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_NE(Admin({"doc", "list", "alice", "\\MyFiles"}).find("email.txt\t3\t"), std::string::npos);
  EXPECT_TRUE(Outbox().empty());
}

TEST_F(EmailTest, TheOutboxIsBoundedPerAccount) {
  Admin({"account", "add", "bob", "pw", "--quota", "50"});
  Admin({"account", "set", "bob", "--email", "bob@example.org"});
  StartServer();
  auto send = [&](const std::string& account, const std::string& password,
                  const std::string& text) {
    std::string request = ScriptRequest("PUT", "email.txt",
                                        {{"Content-Length", std::to_string(text.size())},
                                         {"X-NVX-FANG", "0,0,0,0,0"},
                                         {"X-NVX-BEAVERCHEESE", "1,0,Backup;"}},
                                        MakeLoginToken(account, password));
    return Exchange(request + text).Header("X-NVX-CONCLUSION").value_or("");
  };
  // Count: small texts until the outbox refuses them.
  int accepted = 0;
  std::string conclusion;
  while ((conclusion = send("alice", "secret", kText)) == "Successful" && accepted < 1000) {
    ++accepted;
  }
  EXPECT_EQ(accepted, 100);
  EXPECT_EQ(conclusion, "Error - Outbox Full");
  // Bytes: large texts of another account (whose small quota plays no part) until
  // refused; what waits stays within 4 MiB, and the first account's refusal is its own.
  std::string large(65536, 'b');
  accepted = 0;
  while ((conclusion = send("bob", "pw", large)) == "Successful" && accepted < 1000) ++accepted;
  EXPECT_EQ(conclusion, "Error - Outbox Full");
  EXPECT_GT(accepted, 50);
  EXPECT_LT(accepted, 64);
  uint64_t bob_bytes = 0;
  size_t messages = 0;
  for (const std::string& message : Outbox()) {
    ++messages;
    if (message.find("X-NVX-Account: bob\r\n") != std::string::npos) bob_bytes += message.size();
  }
  EXPECT_EQ(messages, 100u + static_cast<size_t>(accepted));
  EXPECT_LE(bob_bytes, 4u << 20);
  // Once the outbox is emptied (the mail program took the messages), texts go again.
  for (const std::string& name : ListFolder(data() + "/outbox")) {
    std::filesystem::remove(data() + "/outbox/" + name);
  }
  EXPECT_EQ(send("alice", "secret", kText), "Successful");
}

class StaticFilesTest : public ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    std::string web = data() + "/web";
    std::filesystem::create_directories(web + "/uploadmanager");
    std::filesystem::create_directories(web + "/pub/alice");
    std::filesystem::create_directories(web + "/other");
    WriteFileText(web + "/uploadmanager/version.txt", "1.0.9\r\n");
    WriteFileText(web + "/pub/alice/My File.txt", "mine");
    WriteFileText(web + "/Norrvault_Backup_Update1.html", "<html>update</html>");
    WriteFileText(web + "/other/secret.txt", "secret");
    WriteFileText(temp_.File("outside.txt"), "outside");
    std::filesystem::create_symlink(temp_.File("outside.txt"), web + "/uploadmanager/link.txt");
    std::filesystem::create_directories(web + "/install");
  }

  RawHttpReply Get(const std::string& path) {
    return Exchange("GET " + path + " HTTP/1.1\r\nHost: x\r\nUser-Agent: VB OpenUrl\r\n\r\n");
  }
};

TEST_F(StaticFilesTest, ServedFromTheWebFolder) {
  StartServer();
  struct Case {
    const char* path;
    const char* body;  // null: not found
  };
  const Case cases[] = {
      {"/uploadmanager/version.txt", "1.0.9\r\n"},
      {"/pub/alice/My%20File.txt", "mine"},
      {"/Norrvault_Backup_Update1.html", "<html>update</html>"},
      {"/uploadmanager/missing.txt", nullptr},
      {"/uploadmanager/", nullptr},
      {"/install", nullptr},
      {"/other/secret.txt", nullptr},
      {"/uploadmanager/../other/secret.txt", nullptr},
      {"/uploadmanager/%2e%2e/other/secret.txt", nullptr},
      {"/uploadmanager/..%2fother%2fsecret.txt", nullptr},
      {"/uploadmanager/link.txt", nullptr},
      {"/uploadmanager/version.txt%00", nullptr},
      {"/uploadmanager/%zz", nullptr},
      {"/nvx.db", nullptr},
  };
  for (const Case& c : cases) {
    RawHttpReply reply = Get(c.path);
    if (c.body != nullptr) {
      EXPECT_EQ(reply.status_line, "HTTP/1.1 200 OK") << c.path;
      EXPECT_EQ(reply.body, c.body) << c.path;
      EXPECT_EQ(reply.Header("Content-Length"), std::to_string(reply.body.size()));
    } else {
      EXPECT_EQ(reply.status_line, "HTTP/1.1 404 Not Found") << c.path;
    }
  }
}

}  // namespace
}  // namespace nvx::test

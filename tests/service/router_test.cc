// The router driven without sockets: the same requests the front end hands it.
#include "service/commands/service_router.h"

#include <gtest/gtest.h>

#include <string>

#include "codec/md5.h"
#include "service/store/blob_store.h"
#include "service/store/sqlite_store.h"
#include "tests/support/login_token.h"
#include "tests/support/temp_dir.h"

namespace nvx::service {
namespace {

class RouterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(store_.Open(temp_.File("nvx.db"), temp_.File("outbox"), &error)) << error;
    Account account;
    account.id = "alice";
    account.quota = 100;
    Md5Digest digest = Md5Of("secret");
    std::copy(digest.begin(), digest.end(), account.password_digest.begin());
    ASSERT_EQ(store_.AddAccount(account), StoreStatus::kOk);
  }

  Reply Handle(const std::string& method, const std::string& target, const std::string& headers) {
    block_ = method + " " + target +
             " HTTP/1.1\r\nX-NVX-RATTART: " + test::MakeLoginToken("alice", "secret") + "\r\n" +
             headers + "\r\n";
    IncomingRequest request;
    request.method = method;
    request.target = target;
    request.headers = RawHeaders(block_);
    return router_.Handle(request);
  }

  test::TempDir temp_;
  SqliteStore store_;
  BlobStore blobs_{temp_.path()};
  ServiceEnvironment environment_{store_, blobs_, temp_.File("web")};
  ServiceRouter router_{environment_};
  std::string block_;
};

TEST_F(RouterTest, CommandsWithoutSockets) {
  Reply created = Handle("GET", "/scripts/rizezi7.dll?FolderCreate",
                         "X-NVX-BLACMANGE: NO,2\r\nX-NVX-BIGGLES: Docs\r\n");
  EXPECT_EQ(created.conclusion(), "Successful");
  EXPECT_EQ(created.Header("X-NVX-LARCH"), "100,0");
  EXPECT_EQ(created.Header("X-NVX-CRUNCHYFROG"), "0,0,0");
  std::string id = created.body.substr(0, created.body.size() - 2);
  ASSERT_TRUE(store_.FindFolder(store_.FindAccount("alice")->key, std::stoll(id)));
}

TEST_F(RouterTest, OversizedHeaderBlocksAreRefusedHereToo) {
  Reply reply =
      Handle("GET", "/scripts/rizezi7.dll?TestId", "X-Pad: " + std::string(17000, 'p') + "\r\n");
  EXPECT_EQ(reply.status, 400);
  EXPECT_EQ(reply.conclusion(), "Error - Request Header Too Large");
  EXPECT_TRUE(reply.close_connection);
}

TEST_F(RouterTest, UploadsFailingTheLoginLeaveTheirBodyUnread) {
  block_ = "PUT /scripts/rizezi7.dll?a.txt HTTP/1.1\r\nContent-Length: 3\r\n\r\n";
  IncomingRequest request;
  request.method = "PUT";
  request.target = "/scripts/rizezi7.dll?a.txt";
  request.headers = RawHeaders(block_);
  bool read = false;
  request.read_body = [&read](const BodyPieceSink&) { return read = true; };
  Reply reply = router_.Handle(request);
  EXPECT_EQ(reply.conclusion(), "ID Invalid");
  EXPECT_FALSE(read);
  EXPECT_TRUE(reply.Header("X-NVX-CRUNCHYFROG").empty());
}

}  // namespace
}  // namespace nvx::service

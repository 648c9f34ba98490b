// Several clients at once: a slow client holds nobody up, and concurrent changes of the
// same account's tree stay consistent.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/service/service_fixture.h"
#include "tests/support/login_token.h"

namespace nvx::test {
namespace {

class ConcurrencyTest : public ServiceFixture {};

TEST_F(ConcurrencyTest, ASlowClientHoldsNobodyUp) {
  StartServer();
  std::string request = ScriptRequest("GET", "TestId", {}, MakeLoginToken("alice", "secret"));
  RawHttpConnection slow(port());
  ASSERT_TRUE(slow.Send(request.substr(0, 30)));
  // The slow client's request is half sent; others are served meanwhile.
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Exchange(request).Header("X-NVX-CONCLUSION"), "Successful");
  }
  ASSERT_TRUE(slow.Send(request.substr(30)));
  std::optional<RawHttpReply> reply = slow.ReadReply();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Header("X-NVX-CONCLUSION"), "Successful");
}

TEST_F(ConcurrencyTest, ConcurrentFolderCreation) {
  StartServer();
  constexpr int kClients = 6;
  constexpr int kFoldersEach = 8;
  std::vector<std::thread> clients;
  std::vector<std::vector<std::string>> ids(kClients);
  std::atomic<int> failures{0};
  for (int client = 0; client < kClients; ++client) {
    clients.emplace_back([&, client] {
      RawHttpConnection connection(port());
      for (int i = 0; i < kFoldersEach; ++i) {
        // Every client also creates the one shared folder: all must get the same id.
        for (const std::string& name :
             {"C" + std::to_string(client) + "-" + std::to_string(i), std::string("Shared")}) {
          std::string request = ScriptRequest(
              "GET", "FolderCreate", {{"X-NVX-BLACMANGE", "NO,2"}, {"X-NVX-BIGGLES", name}},
              MakeLoginToken("alice", "secret"));
          std::optional<RawHttpReply> reply;
          if (connection.Send(request)) reply = connection.ReadReply();
          if (!reply || reply->Header("X-NVX-CONCLUSION") != "Successful") {
            ++failures;
            continue;
          }
          ids[client].push_back(name + "=" + reply->body);
        }
      }
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(failures.load(), 0);
  std::set<std::string> distinct;
  std::set<std::string> shared_ids;
  for (const auto& list : ids) {
    for (const std::string& entry : list) {
      if (entry.rfind("Shared=", 0) == 0) {
        shared_ids.insert(entry);
      } else {
        distinct.insert(entry.substr(entry.find('=')));
      }
    }
  }
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kClients * kFoldersEach));
  EXPECT_EQ(shared_ids.size(), 1u);
  std::string tree = Command("FolderList").body;
  EXPECT_EQ(std::count(tree.begin(), tree.end(), '\n'), 1 + kClients * kFoldersEach + 1);
}

TEST_F(ConcurrencyTest, UploadsAtOnceEachStoreTheirOwnBytes) {
  StartServer();
  constexpr int kClients = 4;
  constexpr int kRounds = 3;
  std::vector<std::thread> clients;
  std::atomic<int> failures{0};
  auto content = [](int client, int round) {
    return std::string(20000 + client * 1000 + round, static_cast<char>('a' + client));
  };
  for (int client = 0; client < kClients; ++client) {
    clients.emplace_back([&, client] {
      std::string token = MakeLoginToken("alice", "secret");
      for (int round = 0; round < kRounds; ++round) {
        // Every client replaces one shared name too: one document per name at the end.
        for (const std::string& name : {"own" + std::to_string(client), std::string("shared")}) {
          std::string body = content(client, round);
          std::string request = ScriptRequest("PUT", name,
                                              {{"Content-Length", std::to_string(body.size())},
                                               {"X-NVX-BLACMANGE", "NO"}},
                                              token) +
                                body;
          std::optional<RawHttpReply> reply = RawHttpExchange(port(), request);
          if (!reply || reply->Header("X-NVX-CONCLUSION") != "Successful") ++failures;
        }
      }
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(failures.load(), 0);
  std::string listing = Admin({"doc", "list", "alice", "\\MyFiles"});
  for (int client = 0; client < kClients; ++client) {
    EXPECT_NE(listing.find("own" + std::to_string(client) + "\t" +
                           std::to_string(content(client, kRounds - 1).size()) + "\t"),
              std::string::npos)
        << listing;
  }
  EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), kClients + 1) << listing;
  // Every blob is named by one document; the replaced ones went.
  EXPECT_EQ(StoredBlobCount(data()), static_cast<size_t>(kClients + 1));
}

}  // namespace
}  // namespace nvx::test

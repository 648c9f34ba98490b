// Clients that hold connections without finishing requests: many idle ones, one that
// drips its header a byte at a time, more connections than the server takes. None of
// them may keep another client's login check waiting, and each is ended in bounded time:
// when all places are taken, the connection idle longest makes room for a newcomer.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/service/service_fixture.h"
#include "tests/support/login_token.h"

namespace nvx::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Raises the soft limit on open files of this process to `wanted`, within the hard limit.
bool RaiseOpenFileLimit(rlim_t wanted) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  if (limit.rlim_cur >= wanted) return true;
  if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < wanted) return false;
  limit.rlim_cur = wanted;
  return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

class ConnectionLimitsTest : public ServiceFixture {
 protected:
  static std::string TestIdRequest() {
    return ScriptRequest("GET", "TestId", {}, MakeLoginToken("alice", "secret"));
  }

  // A login check on `connection`; its conclusion, or what went wrong.
  std::string LoginCheck(RawHttpConnection& connection) {
    if (!connection.Send(TestIdRequest())) return "not sent";
    std::optional<RawHttpReply> reply = connection.ReadReply(false, 10000);
    return reply ? reply->Header("X-NVX-CONCLUSION").value_or("none") : "no reply";
  }

  // True when the connection was refused with "503" the moment it was accepted, without
  // sending anything.
  static bool RefusedAsBusy(RawHttpConnection& connection) {
    std::optional<RawHttpReply> reply = connection.ReadReply(false, 5000);
    return reply && reply->status == 503 &&
           reply->Header("X-NVX-CONCLUSION") == "Error - Service Busy" &&
           connection.WaitForClose(5000);
  }
};

TEST_F(ConnectionLimitsTest, ThousandIdleConnectionsAndASlowDripHoldNobodyUp) {
  ASSERT_TRUE(RaiseOpenFileLimit(4096));
  StartServer();
  std::vector<std::unique_ptr<RawHttpConnection>> idle;
  for (int i = 0; i < 1000; ++i) {
    idle.push_back(std::make_unique<RawHttpConnection>(port()));
    ASSERT_TRUE(idle.back()->connected()) << i;
  }
  RawHttpConnection drip(port(), "127.0.0.3");
  std::atomic<bool> stop{false};
  std::thread dripper([&] {
    std::string request = TestIdRequest();
    for (size_t i = 0; i + 1 < request.size() && !stop.load(); ++i) {
      drip.Send(request.substr(i, 1));
      std::this_thread::sleep_for(milliseconds(20));
    }
  });
  std::this_thread::sleep_for(milliseconds(100));
  // Another client's login check is answered while they hold on. The bound is generous
  // for a loaded machine; bench/ measures the real figure.
  Clock::time_point start = Clock::now();
  RawHttpConnection client(port(), "127.0.0.2");
  std::string conclusion = LoginCheck(client);
  auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
  stop = true;
  dripper.join();
  EXPECT_EQ(conclusion, "Successful");
  EXPECT_LT(took.count(), 5000);
  // The idle connections beyond one address's share were refused, not queued.
  EXPECT_TRUE(RefusedAsBusy(*idle.back()));
}

TEST_F(ConnectionLimitsTest, IdleConnectionsFromManyAddressesMakeRoomForANewcomer) {
  ASSERT_TRUE(RaiseOpenFileLimit(4096));
  StartServer();
  // 300 connections from 16 addresses: the first 256 take every place, 16 per address.
  std::vector<std::unique_ptr<RawHttpConnection>> idle;
  const std::string request = TestIdRequest();
  for (int i = 0; i < 300; ++i) {
    std::string source = "127.0.0." + std::to_string(2 + i % 16);
    idle.push_back(std::make_unique<RawHttpConnection>(port(), source.c_str()));
    ASSERT_TRUE(idle.back()->connected()) << i;
    // The oldest is in the middle of a request: never ended for room.
    if (i == 0) {
      ASSERT_TRUE(idle[0]->Send(request.substr(0, 30)));
    }
  }
  // Addresses that hold as many as the others take no place from them.
  EXPECT_TRUE(RefusedAsBusy(*idle.back()));
  // Generous for a loaded machine; the newcomer is admitted at once.
  Clock::time_point start = Clock::now();
  RawHttpConnection client(port());
  EXPECT_EQ(LoginCheck(client), "Successful");
  EXPECT_LT(std::chrono::duration_cast<milliseconds>(Clock::now() - start).count(), 2000);
  EXPECT_TRUE(idle[1]->WaitForClose(5000));
  ASSERT_TRUE(idle[0]->Send(request.substr(30)));
  std::optional<RawHttpReply> reply = idle[0]->ReadReply();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Header("X-NVX-CONCLUSION"), "Successful");
}

TEST_F(ConnectionLimitsTest, HeaderBlocksAndIdleConnectionsHaveTimeLimits) {
  StartServer({"--header-timeout", "600", "--idle-timeout", "400"});
  // A client that keeps sending, a byte every 30 ms, but never finishes its header.
  RawHttpConnection drip(port());
  std::string request = TestIdRequest();
  Clock::time_point start = Clock::now();
  bool closed = false;
  for (size_t i = 0; i < request.size() && !closed; ++i) {
    drip.Send(request.substr(i, 1));
    closed = drip.WaitForClose(30);
  }
  auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
  EXPECT_TRUE(closed);
  EXPECT_GE(took.count(), 500);
  EXPECT_LT(took.count(), 3000);  // the whole request would take over 4 s
  // A connection that never sends, and one kept alive after its reply, are closed too.
  RawHttpConnection silent(port());
  EXPECT_TRUE(silent.WaitForClose(5000));
  RawHttpConnection kept(port());
  EXPECT_EQ(LoginCheck(kept), "Successful");
  EXPECT_TRUE(kept.WaitForClose(5000));
  // A request whose pieces come in time is served.
  RawHttpConnection prompt(port());
  prompt.Send(request.substr(0, 20));
  std::this_thread::sleep_for(milliseconds(200));
  prompt.Send(request.substr(20));
  std::optional<RawHttpReply> reply = prompt.ReadReply();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->Header("X-NVX-CONCLUSION"), "Successful");
}

TEST_F(ConnectionLimitsTest, ConnectionsBeyondTheLimitsAreRefusedAtOnce) {
  StartServer({"--connections", "6", "--connections-per-address", "3"});
  std::vector<std::unique_ptr<RawHttpConnection>> first;
  for (int i = 0; i < 3; ++i) {
    first.push_back(std::make_unique<RawHttpConnection>(port()));
    EXPECT_EQ(LoginCheck(*first.back()), "Successful") << i;
    // A connection is idle from just after its reply: the order must not hang on when a
    // thread of a loaded machine gets there.
    std::this_thread::sleep_for(milliseconds(100));
  }
  // One address's share is used up; another address still gets in.
  RawHttpConnection fourth(port());
  EXPECT_TRUE(RefusedAsBusy(fourth));
  std::vector<std::unique_ptr<RawHttpConnection>> second;
  for (int i = 0; i < 3; ++i) {
    second.push_back(std::make_unique<RawHttpConnection>(port(), "127.0.0.2"));
    EXPECT_EQ(LoginCheck(*second.back()), "Successful") << i;
  }
  // All connections are taken: a third address gets in, and the connection idle longest
  // makes room.
  RawHttpConnection third_address(port(), "127.0.0.3");
  EXPECT_EQ(LoginCheck(third_address), "Successful");
  EXPECT_TRUE(first.front()->WaitForClose(5000));
  // A connection its client closed makes room at once, also before the server's thread
  // has read the close or finished with the request it answered: a client that closes one
  // on its reply and opens the next is not refused, at its address's share or with every
  // place taken.
  for (int round = 0; round < 30; ++round) {
    first[1]->Close();
    first[1] = std::make_unique<RawHttpConnection>(port());
    ASSERT_EQ(LoginCheck(*first[1]), "Successful") << round;
  }
  StopServer();
  EXPECT_NE(ReadFileText(log_file()).find(" 503 \"Error - Service Busy\""), std::string::npos);
}

}  // namespace
}  // namespace nvx::test

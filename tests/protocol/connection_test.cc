// Connecting, failing over, sending and receiving against real loopback sockets, with
// the clock faked: refused connections, failover between two servers, a silent server's
// time-out (also in a TLS handshake), a stop request during a wait, a full socket.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "platform/socket.h"
#include "protocol/connection.h"
#include "protocol/service_command.h"
#include "protocol/service_link.h"
#include "tests/protocol/session_fixture.h"

namespace nvx {
namespace {

using test::LoopbackPeer;
using test::PeerReply;
using test::ServiceAnswer;

class ConnectTest : public test::SessionTest {};

TEST_F(ConnectTest, FourRefusedConnectionsThenFailure) {
  std::string refusing = "127.0.0.1:" + std::to_string(test::RefusingPort());
  link().ReplaceServerList(refusing);
  EXPECT_FALSE(link().Connect());
  EXPECT_EQ(block_.control.error_code.load(), kErrorConnect);
  EXPECT_EQ(Status(), "Connect to Norrvault failed.");
  EXPECT_TRUE(link().communication_failure());
  EXPECT_FALSE(link().connected());
  EXPECT_EQ(clock_.Sleeps(), (std::vector<int64_t>{5000, 5000, 5000}));
  std::string log = Log();
  size_t at = 0;
  for (int remaining : {3, 2, 1, 0}) {
    std::string line = " Err Communications connect to Norrvault failed " +
                       std::to_string(remaining) + " connect failed 0 ";
    at = log.find(line, at);
    ASSERT_NE(at, std::string::npos) << line << "\n" << log;
  }
  EXPECT_TRUE(link().current_server()->failed);
}

TEST_F(ConnectTest, FailsOverToTheSecondServer) {
  LoopbackPeer live;
  live.AddReply(ServiceAnswer("X-NVX-CONCLUSION: Successful\r\n"));
  std::string dead = "127.0.0.1:" + std::to_string(test::RefusingPort());
  {
    test::ScopedEnvironment servers("NVX_SERVER", (dead + "," + live.address()).c_str());
    link().BuildServerList();
  }
  EXPECT_TRUE(ServiceCommand(session(), "TestId", {}));
  EXPECT_EQ(Conclusion(), "Successful");
  EXPECT_EQ(block_.control.error_code.load(), kErrorNone);
  EXPECT_EQ(clock_.Sleeps(), std::vector<int64_t>{5000});
  EXPECT_EQ(link().current_server()->request_host, live.address());
  EXPECT_TRUE(link().servers().entries()[0].failed);
  EXPECT_TRUE(LogHas(" Err Communications connect to Norrvault failed 3 connect failed 0 "));
  ASSERT_EQ(live.Requests().size(), 1u);
  EXPECT_EQ(test::RequestHeader(live.Requests()[0], "Host: "), live.address());
}

TEST_F(ConnectTest, NoServerMeansNoSocket) {
  link().BuildServerList();
  link().servers().Assign({});
  EXPECT_FALSE(link().Connect());
  EXPECT_EQ(block_.control.error_code.load(), kErrorSocketCreate);
  EXPECT_EQ(Status(), "Create communications socket failed");
  EXPECT_TRUE(LogHas(" Err Communications init failed\n"));
}

TEST_F(ConnectTest, HostNamesResolveToTheirFirstIPv4Address) {
  LoopbackPeer peer;
  peer.AddReply(ServiceAnswer("X-NVX-CONCLUSION: Successful\r\n"));
  link().ReplaceServerList("localhost:" + std::to_string(peer.port()));
  EXPECT_TRUE(ServiceCommand(session(), "TestId", {}));
  ASSERT_EQ(peer.Requests().size(), 1u);
  EXPECT_EQ(test::RequestHeader(peer.Requests()[0], "Host: "),
            "localhost:" + std::to_string(peer.port()));
}

TEST_F(ConnectTest, SendsEveryByteInPieces) {
  LoopbackPeer peer;
  peer.AddReply(ServiceAnswer("X-NVX-CONCLUSION: Successful\r\n"));
  UseServer(peer);
  ASSERT_TRUE(link().Connect());
  std::string body(10000, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 26);
  std::string request = "PUT /x HTTP/1.1\r\nContent-Length: 10000\r\n\r\n" + body;
  ASSERT_TRUE(link().SendAll(request));
  EXPECT_TRUE(link().ReadResponseHeader().complete);
  ASSERT_EQ(peer.Requests().size(), 1u);
  EXPECT_EQ(peer.Requests()[0], request);
}

TEST_F(ConnectTest, ASilentServerTimesOutOnTheInjectedClock) {
  LoopbackPeer peer;
  PeerReply silent;
  silent.stay_silent = true;
  peer.AddConnection({silent});
  UseServer(peer);
  clock_.SetAdvancePerRead(30000);  // 180 s pass within a few reads
  EXPECT_FALSE(ServiceCommand(session(), "TestId", {}));
  EXPECT_TRUE(link().communication_failure());
  EXPECT_TRUE(LogHas(" Err - TestId - Connection Closed Incomplete HTTP response header 0\n"));
  EXPECT_TRUE(LogHas("Err - TestId - Connection Closed Incomplete response header\n"));
  EXPECT_FALSE(link().connected());
}

// The receive time-out bounds a whole answer header: every byte arrives long before
// the time-out, yet their sum does not. Each receive reads the clock at least once, so
// 2 s pass per byte on the injected clock, and the 180 s run out within 90 bytes.
TEST_F(ConnectTest, AServerDrippingItsAnswerHeaderTimesOutOnTheWholeHeader) {
  LoopbackPeer peer;
  PeerReply drip;
  drip.bytes =
      ServiceAnswer("X-NVX-CONCLUSION: Successful\r\nX-Padding: " + std::string(200, 'p') + "\r\n");
  drip.drip_millis = 1;
  peer.AddConnection({drip});
  UseServer(peer);
  ASSERT_TRUE(link().Connect());
  ASSERT_TRUE(link().SendAll("GET / HTTP/1.1\r\n\r\n"));
  clock_.SetAdvancePerRead(2000);
  ResponseHeader header = link().ReadResponseHeader();
  EXPECT_FALSE(header.complete);
  EXPECT_EQ(header.last_receive, -1);
  EXPECT_LT(header.text.size(), 91u);
  EXPECT_EQ(link().active_connection()->last_error(), platform::kErrorTimedOut);
}

// Answers that never end are transport failures: a body dripped far below the rate
// floor (500 ms pass per clock read, about 1 s per byte), interim answers without end.
TEST_F(ConnectTest, EndlessAnswersAreBrokenOff) {
  LoopbackPeer peer;
  PeerReply drip;
  drip.bytes = ServiceAnswer("", std::string(400, 'd'));
  drip.drip_millis = 1;
  peer.AddConnection({drip});
  std::string interims;
  for (int i = 0; i < 100; ++i) interims += "HTTP/1.1 100 Continue\r\n\r\n";
  peer.AddReply(interims + ServiceAnswer(""));
  UseServer(peer);
  clock_.SetAdvancePerRead(500);
  EXPECT_FALSE(ServiceCommand(session(), "FolderList", {}));
  ASSERT_TRUE(link().PrepareExchange() && link().SendAll("PUT / HTTP/1.1\r\n\r\n"));
  EXPECT_FALSE(link().ReadResponseHeaderSkippingInterim().complete);
}

// A copy from a file into a socket tells a full socket from a file that has no more bytes:
// a copy that waits for room is never failed as a file that ended.
TEST_F(ConnectTest, ACopyFromAFileTellsAFullSocketFromTheFilesEnd) {
  LoopbackPeer peer;
  PeerReply silent;
  silent.read_request = false;
  silent.stay_silent = true;  // takes nothing: the socket fills
  peer.AddConnection({silent});
  test::TempDir folder;
  constexpr int64_t kSize = int64_t{64} << 20;  // more than the socket's buffers hold
  {
    platform::File out =
        platform::File::Open(folder.File("data.bin"), platform::File::Access::kCreateTruncate);
    ASSERT_TRUE(out.Truncate(kSize));
  }
  platform::File file =
      platform::File::Open(folder.File("data.bin"), platform::File::Access::kRead);
  platform::Socket socket;
  ASSERT_TRUE(socket.Create());
  ASSERT_TRUE(socket.Connect(htonl(INADDR_LOOPBACK), peer.port(), [] { return false; }));
  int64_t offset = 0;
  int64_t sent = 0;
  while ((sent = socket.SendFromFile(file, &offset, static_cast<size_t>(kSize - offset))) > 0) {
  }
  EXPECT_EQ(sent, 0);
  EXPECT_EQ(socket.error(), platform::kErrorWouldBlock);
  EXPECT_LT(offset, kSize);
  offset = kSize;
  EXPECT_EQ(socket.SendFromFile(file, &offset, 1), 0);
  EXPECT_EQ(socket.error(), 0);
}

TEST_F(ConnectTest, AStopRequestEndsAWaitOnASilentServer) {
  LoopbackPeer peer;
  PeerReply silent;
  silent.stay_silent = true;
  peer.AddConnection({silent});
  UseServer(peer);
  std::thread stopper([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    block_.control.stop_requested.store(true);
  });
  EXPECT_FALSE(
      ServiceCommand(session(), "TestId", {}));  // the clock never moves: only the stop ends it
  stopper.join();
  EXPECT_TRUE(link().communication_failure());
}

// A TLS handshake waits like any receive: a server that never answers it fails the
// connection when the receive time-out runs out on the injected clock.
TEST_F(ConnectTest, ASilentServerTimesOutItsTlsHandshake) {
  PeerReply silent;
  silent.stay_silent = true;
  LoopbackPeer peer;
  for (int attempt = 0; attempt < 4; ++attempt) peer.AddConnection({silent});
  link().ReplaceServerList("https://" + peer.address());
  clock_.SetAdvancePerRead(30000);
  EXPECT_FALSE(link().Connect());
  EXPECT_EQ(block_.control.error_code.load(), kErrorConnect);
  EXPECT_TRUE(LogHas(" Err Communications connect to Norrvault failed 0 TLS handshake failed 0 " +
                     std::to_string(platform::kErrorTimedOut)))
      << Log();
}

TEST(ConnectPause, FiveSecondsUnlessTheEnvironmentSaysOtherwise) {
  const std::pair<const char*, int64_t> cases[] = {
      {nullptr, 5000}, {"0", 0},     {"250", 250},  {"60000", 60000},
      {"60001", 5000}, {"-1", 5000}, {"12x", 5000}, {"", 5000},
  };
  for (const auto& [value, expected] : cases) {
    test::ScopedEnvironment pause(kConnectPauseVariable, value);
    EXPECT_EQ(ConnectPauseMillis(), expected) << (value != nullptr ? value : "(unset)");
  }
}

TEST(PortFromText, AllDigitsFrom1To65535OrNoPortAtAll) {
  const std::pair<const char*, uint16_t> cases[] = {
      {"80", 80}, {"1", 1},   {"65535", 65535}, {"080", 80},  {"80abc", 0}, {"8080x", 0},
      {"x80", 0}, {"", 0},    {"0", 0},         {"65536", 0}, {"70000", 0}, {"99999999999", 0},
      {" 80", 0}, {"80 ", 0}, {"-80", 0},       {"+80", 0},
  };
  for (const auto& [text, port] : cases) EXPECT_EQ(PortFromText(text), port) << text;
}

}  // namespace
}  // namespace nvx

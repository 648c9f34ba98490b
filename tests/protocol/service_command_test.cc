// The generic command exchange byte by byte, and its answer handling against scripted
// faults: proxies that refuse, headers and bodies cut short, oversized headers and
// lengths, interim answers, "Connection: close", a connection ended while idle.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "api/nvxapi.h"
#include "codec/base64.h"
#include "codec/scrambled_text.h"
#include "protocol/service_command.h"
#include "protocol/service_commands.h"
#include "tests/protocol/session_fixture.h"
#include "wire/login_token.h"

namespace nvx {
namespace {

using test::LoopbackPeer;
using test::PeerReply;
using test::ServiceAnswer;

class ServiceCommandTest : public test::SessionTest {
 protected:
  void UseProxy(const LoopbackPeer& proxy) {
    block_.job.link.proxy_host = "127.0.0.1";
    block_.job.link.proxy_port = std::to_string(proxy.port());
  }
};

TEST_F(ServiceCommandTest, RequestBytes) {
  LoopbackPeer peer;
  peer.AddReply(ServiceAnswer("X-NVX-CONCLUSION: Successful\r\n"));
  UseServer(peer);
  block_.job.flags.subfolders = true;
  EXPECT_TRUE(ServiceCommand(session(), "FolderList", {}));
  ASSERT_EQ(peer.Requests().size(), 1u);
  const std::string request = peer.Requests()[0];
  EXPECT_EQ(test::WithoutToken(request),
            "GET /scripts/rizezi7.dll?FolderList HTTP/1.1\r\n"
            "Host: " +
                peer.address() +
                "\r\n"
                "User-Agent: NVX Upload Manager(1.0.8)\r\n"
                "X-NVX-BLACMANGE: NO,2\r\n"
                "X-NVX-LUPIN: 0,;\r\n"
                "\r\n");
  std::string token = test::RequestHeader(request, "X-NVX-RATTART: ");
  EXPECT_EQ(UserIdOfLoginToken(token), std::optional<std::string>("alice"));
  EXPECT_EQ(token, LoginTokenFor("alice", "wonderland"));  // the clock stands still
  EXPECT_EQ(ConclusionOf(block_), "Successful");
  EXPECT_EQ(block_.reported.last_http_response, "HTTP/1.1 200 OK");
  EXPECT_TRUE(LogHas(">> GET /scripts/rizezi7.dll?FolderList HTTP/1.1\n"));
  EXPECT_FALSE(LogHas(token));  // credentials never reach the log
}

TEST_F(ServiceCommandTest, FolderNameAndPatternAndScrambledPassword) {
  LoopbackPeer peer;
  test::AddKeepAliveConnection(peer, {ServiceAnswer("X-NVX-CONCLUSION: Successful\r\n"),
                                      ServiceAnswer("X-NVX-CONCLUSION: Successful\r\n")});
  UseServer(peer);
  block_.job.link.scrambled_password = "U2NyYW1ibGVkVGV4dA==";
  block_.job.flags.duplicate_files = true;
  EXPECT_TRUE(ServiceCommand(session(), "FolderCreate", {{"101", "New"}, "A17"}));
  block_.job.texts.server_file = "*.doc";
  EXPECT_TRUE(ServiceCommand(session(), "FolderFileList", {{"101", ""}, "A17"}));
  ASSERT_EQ(peer.Requests().size(), 2u);
  EXPECT_EQ(test::RequestHeader(peer.Requests()[0], "X-NVX-RATTART: "), "U2NyYW1ibGVkVGV4dA==");
  EXPECT_EQ(test::RequestHeader(peer.Requests()[0], "X-NVX-BLACMANGE: "), "101,1");
  EXPECT_EQ(test::RequestHeader(peer.Requests()[0], "X-NVX-BIGGLES: "), "New");
  EXPECT_EQ(test::RequestHeader(peer.Requests()[0], "X-NVX-LUPIN: "), "0,A17;");
  EXPECT_EQ(test::RequestHeader(peer.Requests()[1], "X-NVX-BIGGLES: "), "*.doc");
}

TEST_F(ServiceCommandTest, AnswerHeadersFillTheSharedBlock) {
  LoopbackPeer peer;
  peer.AddReply(
      ServiceAnswer("X-NVX-CONCLUSION: Successful\r\nX-NVX-LARCH: 5368709120,1073741824\r\n"
                    "X-NVX-CRUNCHYFROG: 1,0,1\r\n"));
  UseServer(peer);
  ServiceReply reply = ServiceCommand(session(), "ResetSpace", {});
  EXPECT_TRUE(reply);
  EXPECT_EQ(reply.conclusion, "Successful");
  ASSERT_TRUE(reply.space.has_value());
  EXPECT_EQ(reply.space->quota, 5368709120);
  EXPECT_EQ(reply.options, 5);
  EXPECT_EQ(Conclusion(), "Successful");
  EXPECT_EQ(block_.protocol.account.space_limit, 5368709120);
  EXPECT_EQ(block_.protocol.account.space_used, 1073741824);
  EXPECT_EQ(block_.protocol.account.space_used_estimate, 1073741824);
  EXPECT_EQ(block_.protocol.account.service_options, 5);
  EXPECT_FALSE(reply.body.has_value());
}

TEST_F(ServiceCommandTest, ProxyFormWithBasicAuthorization) {
  LoopbackPeer proxy;
  proxy.AddReply(ServiceAnswer("X-NVX-CONCLUSION: Successful\r\n"));
  UseProxy(proxy);
  block_.job.link.proxy_authentication = true;
  block_.job.link.proxy_id = "pid";
  block_.job.link.proxy_password = "ppw";
  link().ReplaceServerList("127.0.0.1:9");  // the proxy reaches it, not the library
  EXPECT_TRUE(ServiceCommand(session(), "TestId", {}));
  ASSERT_EQ(proxy.Requests().size(), 1u);
  const std::string request = proxy.Requests()[0];
  EXPECT_EQ(request.substr(0, request.find("X-NVX-RATTART")),
            "GET http://127.0.0.1:9/scripts/rizezi7.dll?TestId HTTP/1.1\r\n"
            "Host: 127.0.0.1:9\r\n"
            "Proxy-Authorization: Basic " +
                Base64Encode("pid:ppw") + "\r\n");
}

TEST_F(ServiceCommandTest, ProxyPasswordsScrambledEmptyOrTooLong) {
  struct Case {
    std::string id, password;
    bool scrambled;
    std::string expected_line;
  };
  char scrambled[kScrambledTextCapacity];
  CNvxauth().GenerateEncryptData("s3cret", scrambled);
  std::vector<Case> cases = {
      {"pid", scrambled, true, "Proxy-Authorization: Basic " + Base64Encode("pid:s3cret")},
      {"pid", "", false, "Proxy-Authorization: Basic " + Base64Encode("pid:")},
      {"pid", std::string(200, 'p'), false, ""},  // longer than the proxy takes: no line
      {"pid", "not scrambled!", true, ""},
  };
  for (const Case& c : cases) {
    LoopbackPeer proxy;
    proxy.AddReply(ServiceAnswer("X-NVX-CONCLUSION: Successful\r\n"));
    UseProxy(proxy);
    block_.job.link.proxy_authentication = true;
    block_.job.link.proxy_id = c.id;
    block_.job.link.proxy_password = c.password;
    block_.job.link.proxy_password_scrambled = c.scrambled;
    link().ReplaceServerList("127.0.0.1:9");
    EXPECT_TRUE(ServiceCommand(session(), "TestId", {}));
    ASSERT_EQ(proxy.Requests().size(), 1u);
    EXPECT_EQ(test::RequestHeader(proxy.Requests()[0], "Proxy-Authorization: ").empty(),
              c.expected_line.empty());
    if (!c.expected_line.empty()) {
      EXPECT_NE(proxy.Requests()[0].find(c.expected_line + "\r\n"), std::string::npos);
    }
  }
  EXPECT_TRUE(LogHas(" Err - Proxy id and password longer than 128 characters\n"));
  EXPECT_TRUE(LogHas(" Err - Proxy password could not be descrambled\n"));
}

TEST_F(ServiceCommandTest, ProxyRefusalsGiveErrorCode9) {
  for (const char* refusal :
       {"HTTP/1.0 407 Proxy Authentication Required", "HTTP/1.1 407 Proxy Authentication Required",
        "HTTP/1.0 401 Unauthorized"}) {
    LoopbackPeer proxy;
    proxy.AddReply(ServiceAnswer("", "", false, refusal));
    UseProxy(proxy);
    link().ReplaceServerList("127.0.0.1:9");
    block_.control.error_code.store(kErrorNone);
    EXPECT_FALSE(ServiceCommand(session(), "TestId", {})) << refusal;
    EXPECT_EQ(block_.control.error_code.load(), kErrorProxyAuth) << refusal;
    EXPECT_EQ(Status(), "Proxy Auth Failed");
    EXPECT_FALSE(link().communication_failure());
    EXPECT_FALSE(link().current_server()->failed);
    EXPECT_FALSE(link().connected());
    EXPECT_EQ(block_.reported.last_http_response, refusal);
  }
  EXPECT_TRUE(LogHas(" Err - TestId - Proxy Authentication Failed\n"));
  // Straight from a server, 401 is just an answer.
  LoopbackPeer server;
  server.AddReply(ServiceAnswer("", "", false, "HTTP/1.1 401 Unauthorized"));
  block_.job.link.proxy_host.clear();
  UseServer(server);
  block_.control.error_code.store(kErrorNone);
  EXPECT_TRUE(ServiceCommand(session(), "TestId", {}));
  EXPECT_EQ(block_.control.error_code.load(), kErrorNone);
}

TEST_F(ServiceCommandTest, HeaderCutShort) {
  LoopbackPeer peer;
  peer.AddReply("HTTP/1.1 200 OK\r\nX-NVX-CONC");
  UseServer(peer);
  EXPECT_FALSE(ServiceCommand(session(), "TestId", {}));
  EXPECT_TRUE(link().communication_failure());
  EXPECT_FALSE(link().connected());
  EXPECT_TRUE(LogHas(" Err - TestId - Connection Closed Incomplete HTTP response header 27\n"));
  EXPECT_TRUE(LogHas("Err - TestId - Connection Closed r=0 Incomplete response header \n"));
}

TEST_F(ServiceCommandTest, BodyCutShortOrAnnouncedTooLarge) {
  LoopbackPeer peer;
  peer.AddReply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789");
  peer.AddReply("HTTP/1.1 200 OK\r\nContent-Length: 100000000000\r\n\r\n0123456789");
  peer.AddReply("HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n");
  UseServer(peer);
  ServiceReply cut = ServiceCommand(session(), "FolderList", {});
  EXPECT_FALSE(cut);
  EXPECT_FALSE(link().communication_failure());  // an orderly close, not a receive error
  EXPECT_FALSE(link().current_server()->failed);
  EXPECT_TRUE(LogHas(" Err - FolderList - Connection Closed Incomplete HTTP response data\n"));
  EXPECT_FALSE(cut.body.has_value());
  link().CloseConnection();
  EXPECT_FALSE(ServiceCommand(session(), "FolderList", {}));
  EXPECT_TRUE(LogHas(" Err - FolderList - Invalid HTTP response data length\n"));
  link().CloseConnection();
  EXPECT_FALSE(ServiceCommand(session(), "FolderList", {}));
}

TEST_F(ServiceCommandTest, BodyCutByASilentServerMarksItFailed) {
  LoopbackPeer peer;
  PeerReply part;
  part.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123";
  part.close_after = false;
  PeerReply silent;
  silent.read_request = false;
  silent.stay_silent = true;
  peer.AddConnection({part, silent});
  UseServer(peer);
  // The header's 41 bytes take about as many reads and stay within the 180 s that bound
  // the whole header; the silent body then runs out its own time-out.
  clock_.SetAdvancePerRead(3000);
  EXPECT_FALSE(ServiceCommand(session(), "FolderList", {}));
  EXPECT_TRUE(LogHas(" Err - FolderList - Connection Closed Incomplete HTTP response data\n"));
  EXPECT_TRUE(link().communication_failure());
  EXPECT_TRUE(link().current_server()->failed);
}

TEST_F(ServiceCommandTest, BodiesOfEveryLength) {
  LoopbackPeer peer;
  std::string big(300000, 'b');
  test::AddKeepAliveConnection(
      peer, {ServiceAnswer("", "", /*with_length=*/true), ServiceAnswer("", big)});
  UseServer(peer);
  ServiceReply empty = ServiceCommand(session(), "FolderList", {});
  EXPECT_TRUE(empty);
  ASSERT_TRUE(empty.body.has_value());
  EXPECT_EQ(*empty.body, "");
  ServiceReply large = ServiceCommand(session(), "FolderList", {});
  EXPECT_TRUE(large);
  ASSERT_TRUE(large.body.has_value());
  EXPECT_TRUE(*large.body == big);
}

TEST_F(ServiceCommandTest, OversizedHeaderIsUsedAsItStands) {
  LoopbackPeer peer;
  PeerReply reply;
  reply.bytes =
      "HTTP/1.1 200 OK\r\nX-NVX-CONCLUSION: Successful\r\nX-Filler: " + std::string(6000, 'f') +
      "\r\n\r\n";
  reply.close_after = false;
  peer.AddConnection({reply});
  peer.AddReply(ServiceAnswer("X-NVX-CONCLUSION: Second\r\n"));
  UseServer(peer);
  EXPECT_TRUE(ServiceCommand(session(), "TestId", {}));
  EXPECT_EQ(Conclusion(), "Successful");
  // The rest of the long header is never taken for the next answer.
  EXPECT_TRUE(ServiceCommand(session(), "TestId", {}));
  EXPECT_EQ(Conclusion(), "Second");
  EXPECT_EQ(peer.connections(), 2);
}

TEST_F(ServiceCommandTest, ConnectionCloseOpensANewConnection) {
  LoopbackPeer peer;
  PeerReply keep;
  keep.bytes = ServiceAnswer("X-NVX-CONCLUSION: One\r\n");
  keep.close_after = false;
  PeerReply closing = keep;
  closing.bytes = ServiceAnswer("X-NVX-CONCLUSION: Two\r\nConnection: close\r\n");
  peer.AddConnection({keep, closing, keep});  // the third answer is never asked for
  peer.AddReply(ServiceAnswer("X-NVX-CONCLUSION: Three\r\n"));
  UseServer(peer);
  EXPECT_TRUE(ServiceCommand(session(), "TestId", {}));
  EXPECT_TRUE(link().connected());
  EXPECT_TRUE(ServiceCommand(session(), "TestId", {}));
  EXPECT_FALSE(link().connected());
  EXPECT_TRUE(ServiceCommand(session(), "TestId", {}));
  EXPECT_EQ(Conclusion(), "Three");
  EXPECT_EQ(peer.connections(), 2);
}

// A kept connection that the service ended while it idled is opened anew before the next
// request, once its last look is old enough to be looked at again.
TEST_F(ServiceCommandTest, AConnectionEndedWhileIdleIsOpenedAnew) {
  LoopbackPeer peer;
  // A whole answer, then a close it does not announce.
  peer.AddReply(ServiceAnswer("X-NVX-CONCLUSION: One\r\n", "", /*with_length=*/true));
  peer.AddReply(ServiceAnswer("X-NVX-CONCLUSION: Two\r\n", "", /*with_length=*/true));
  UseServer(peer);
  ASSERT_TRUE(link().PrepareExchange() && link().SendAll("GET / HTTP/1.1\r\n\r\n"));
  ASSERT_TRUE(link().ReadResponseHeader().complete);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the close arrives
  clock_.SleepMillis(ServiceLink::kLookAgainMillis);
  EXPECT_TRUE(ServiceCommand(session(), "TestId", {}));
  EXPECT_EQ(Conclusion(), "Two");
  EXPECT_TRUE(LogHas(" Connection ended by Norrvault while idle, connecting again\n"));
  EXPECT_EQ(peer.connections(), 2);
}

TEST_F(ServiceCommandTest, InterimAnswersAreNotSkippedByCommands) {
  LoopbackPeer peer;
  peer.AddReply("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nX-NVX-CONCLUSION: Late\r\n\r\n");
  UseServer(peer);
  EXPECT_TRUE(ServiceCommand(session(), "TestId", {}));
  EXPECT_EQ(block_.reported.last_http_response, "HTTP/1.1 100 Continue");
  EXPECT_EQ(Conclusion(), "");
  EXPECT_FALSE(link().connected());  // the unread answer is never taken for the next one
}

TEST_F(ServiceCommandTest, ConnectFailureIsReported) {
  link().ReplaceServerList("127.0.0.1:" + std::to_string(test::RefusingPort()));
  EXPECT_FALSE(ServiceCommand(session(), "TestId", {}));
  EXPECT_TRUE(LogHas("Err - Connect to server failed\n"));
  EXPECT_EQ(block_.control.error_code.load(), kErrorConnect);
}

}  // namespace
}  // namespace nvx

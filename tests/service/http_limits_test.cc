// What the service does with requests outside the rules: oversized and malformed header
// blocks, bodies where none belong, requests split anywhere, connections that break off.
// None of them may stop it from serving the next request; on the TLS port, clients that
// say nothing or speak plain HTTP are let go. Also: the store survives a restart of the
// server, and SIGHUP serves a renewed certificate.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "tests/service/service_fixture.h"
#include "tests/support/login_token.h"
#include "tests/support/test_certificates.h"

namespace nvx::test {
namespace {

class HttpLimitsTest : public ServiceFixture {
 protected:
  std::string TestIdRequest(const std::string& extra_headers = "") {
    return "GET /scripts/rizezi7.dll?TestId HTTP/1.1\r\nHost: x\r\nX-NVX-RATTART: " +
           MakeLoginToken("alice", "secret") + "\r\n" + extra_headers + "\r\n";
  }

  void ExpectStillServing() {
    EXPECT_EQ(Exchange(TestIdRequest()).Header("X-NVX-CONCLUSION"), "Successful");
  }

  // True once the server's log holds `text` `count` times, waiting at most a few seconds.
  bool WaitForLog(const std::string& text, size_t count = 1) {
    for (int i = 0; i < 500; ++i) {
      std::string log = ReadFileText(log_file());
      size_t found = 0;
      for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
        ++found;
      }
      if (found >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  // The serial of the certificate a new TLS connection is shown.
  std::string ServedSerial() {
    RawHttpConnection connection(port());
    return connection.StartTls(tls_ca()) ? connection.PeerSerial() : "no handshake";
  }

  static std::string Filler(size_t lines, size_t width) {
    std::string headers;
    for (size_t i = 0; i < lines; ++i) {
      headers += "X-Filler-" + std::to_string(i) + ": " + std::string(width, 'f') + "\r\n";
    }
    return headers;
  }
};

TEST_F(HttpLimitsTest, HeaderBlocksOverSixteenKibibytesAreRefused) {
  StartServer();
  std::string request = TestIdRequest(Filler(20, 1000));
  ASSERT_GT(request.size(), 16384u);
  RawHttpReply reply = Exchange(request);
  EXPECT_EQ(reply.status, 400);
  EXPECT_EQ(reply.Header("X-NVX-CONCLUSION"), "Error - Request Header Too Large");
  EXPECT_EQ(reply.Header("Connection"), "close");
  // A request line alone beyond the bound.
  RawHttpReply long_line =
      Exchange("GET /scripts/rizezi7.dll?" + std::string(20000, 'q') + " HTTP/1.1\r\n\r\n");
  EXPECT_EQ(long_line.status, 400);
  EXPECT_EQ(long_line.Header("X-NVX-CONCLUSION"), "Error - Request Header Too Large");
  // A megabyte of headers: refused after the first 16 KiB, never held whole.
  RawHttpConnection flood(port());
  flood.Send(TestIdRequest(Filler(1000, 1000)));
  std::optional<RawHttpReply> flooded = flood.ReadReply();
  ASSERT_TRUE(flooded);
  EXPECT_EQ(flooded->status, 400);
  ExpectStillServing();
}

TEST_F(HttpLimitsTest, HeaderBlocksUpToTheBoundAreServed) {
  StartServer();
  // Three padding lines fill the block up to exactly 16384 bytes.
  size_t room = 16384 - TestIdRequest().size() - 3 * std::string("X-Pad0: \r\n").size();
  std::string padding;
  for (int i = 0; i < 3; ++i) {
    size_t width = i < 2 ? room / 3 : room - 2 * (room / 3);
    padding += "X-Pad" + std::to_string(i) + ": " + std::string(width, 'p') + "\r\n";
  }
  std::string request = TestIdRequest(padding);
  ASSERT_EQ(request.size(), 16384u);
  EXPECT_EQ(Exchange(request).Header("X-NVX-CONCLUSION"), "Successful");
}

TEST_F(HttpLimitsTest, MalformedRequestsAreAnsweredWithErrors) {
  StartServer();
  const std::string cases[] = {
      TestIdRequest("NoColonHere\r\n"),
      TestIdRequest("Bad Name: x\r\n"),
      TestIdRequest("X-Long: " + std::string(9000, 'l') + "\r\n"),
      "GARBAGE\r\n\r\n",
      "GET /scripts/rizezi7.dll?TestId HTTP/9.9\r\n\r\n",
      "FETCH /scripts/rizezi7.dll?TestId HTTP/1.1\r\n\r\n",
      "\r\n",
      "GET scripts HTTP/1.1\r\nHost: x\r\n\r\n",
  };
  for (const std::string& request : cases) {
    RawHttpReply reply = Exchange(request);
    EXPECT_EQ(reply.status, 400) << request.substr(0, 60);
    EXPECT_TRUE(reply.Header("X-NVX-CONCLUSION").value_or("").rfind("Error - ", 0) == 0)
        << request.substr(0, 60);
  }
  ExpectStillServing();
}

TEST_F(HttpLimitsTest, BodiesWhereNoneBelongEndTheConnection) {
  StartServer();
  // The command is answered; its body is never read (nor taken for a next request), so
  // the connection ends after the reply.
  for (const std::string& body : {std::string("hello"), std::string(200000, 'b')}) {
    RawHttpConnection connection(port());
    connection.Send(TestIdRequest("Content-Length: " + std::to_string(body.size()) + "\r\n") +
                    body);
    std::optional<RawHttpReply> reply = connection.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Header("X-NVX-CONCLUSION"), "Successful");
    EXPECT_EQ(reply->Header("Connection"), "close");
    EXPECT_TRUE(connection.WaitForClose());
  }
  ExpectStillServing();
}

TEST_F(HttpLimitsTest, ContentLengthIsDigitsOnlyAndAppearsOnce) {
  StartServer();
  // The "body" of each request is a whole request of its own; it must never run.
  std::string smuggled = ScriptRequest("GET", "FolderCreate",
                                       {{"X-NVX-BLACMANGE", "NO"}, {"X-NVX-BIGGLES", "Smuggled"}},
                                       MakeLoginToken("alice", "secret"));
  std::string size = std::to_string(smuggled.size());
  const std::vector<std::vector<std::string>> bad_lengths = {
      {"abc"},
      {"0x10"},
      {"1e3"},
      {"-5"},
      {"+5"},
      {"5 5"},
      {""},
      {size, "0"},
      {"0", size},
      {size, size},
      {"99999999999999999999999"},
  };
  for (const std::string& method : {std::string("PUT"), std::string("GET")}) {
    for (const std::vector<std::string>& lengths : bad_lengths) {
      HeaderList headers;
      for (const std::string& length : lengths) headers.push_back({"Content-Length", length});
      headers.push_back({"X-NVX-BEAVERCHEESE", "1,1,Backup;"});
      std::string query = method == "PUT" ? "email.txt" : "TestId";
      RawHttpConnection connection(port());
      connection.Send(ScriptRequest(method, query, headers, MakeLoginToken("alice", "secret")) +
                      smuggled);
      std::optional<RawHttpReply> reply = connection.ReadReply();
      ASSERT_TRUE(reply) << method << " " << lengths[0];
      EXPECT_EQ(reply->status, 400) << method << " " << lengths[0];
      EXPECT_EQ(reply->Header("X-NVX-CONCLUSION"), "Error - Bad Request") << lengths[0];
      EXPECT_EQ(reply->Header("Connection"), "close") << method << " " << lengths[0];
      EXPECT_FALSE(connection.ReadReply(false, 300)) << method << " " << lengths[0];
    }
  }
  EXPECT_EQ(Command("FolderList").body.find("Smuggled"), std::string::npos);
  // Blanks around the digits are allowed.
  RawHttpConnection padded(port());
  padded.Send(TestIdRequest("Content-Length:  0 \r\n") + TestIdRequest());
  EXPECT_EQ(padded.ReadReply()->Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_EQ(padded.ReadReply()->Header("X-NVX-CONCLUSION"), "Successful");
}

TEST_F(HttpLimitsTest, RequestsSplitAnywhereAreServed) {
  StartServer();
  std::string request = TestIdRequest();
  for (size_t split = 1; split < request.size(); split += 3) {
    RawHttpConnection connection(port());
    ASSERT_TRUE(connection.Send(request.substr(0, split)));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(connection.Send(request.substr(split)));
    std::optional<RawHttpReply> reply = connection.ReadReply();
    ASSERT_TRUE(reply) << split;
    EXPECT_EQ(reply->Header("X-NVX-CONCLUSION"), "Successful") << split;
  }
}

TEST_F(HttpLimitsTest, OneConnectionCarriesManyRequests) {
  StartServer();
  RawHttpConnection connection(port());
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(connection.Send(TestIdRequest()));
    std::optional<RawHttpReply> reply = connection.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Header("X-NVX-CONCLUSION"), "Successful");
    EXPECT_FALSE(reply->Header("Connection"));
  }
  // Two requests in one piece are answered in order.
  ASSERT_TRUE(connection.Send(TestIdRequest() + ScriptRequest("GET", "FolderFileCount", {},
                                                              MakeLoginToken("alice", "secret"))));
  EXPECT_EQ(connection.ReadReply()->Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_EQ(connection.ReadReply()->Header("X-NVX-CONCLUSION"), "OK,0");
  // HTTP/1.0 without keep-alive ends the connection after the reply.
  RawHttpConnection old(port());
  old.Send("GET /scripts/rizezi7.dll?TestId HTTP/1.0\r\nX-NVX-RATTART: " +
           MakeLoginToken("alice", "secret") + "\r\n\r\n");
  EXPECT_EQ(old.ReadReply()->Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_TRUE(old.WaitForClose());
}

TEST_F(HttpLimitsTest, ConnectionsThatBreakOffDoNoHarm) {
  StartServer();
  for (size_t cut : {size_t{5}, size_t{40}, size_t{120}}) {
    RawHttpConnection connection(port());
    connection.Send(TestIdRequest().substr(0, cut));
    connection.Close();
  }
  {
    // An e-mail whose body never comes whole.
    RawHttpConnection connection(port());
    connection.Send(ScriptRequest("PUT", "email.txt",
                                  {{"Content-Length", "100"},
                                   {"X-NVX-FANG", "0,0,0,0,100"},
                                   {"X-NVX-BEAVERCHEESE", "1,1,Backup;"}},
                                  MakeLoginToken("alice", "secret")) +
                    "only part");
    connection.Close();
  }
  ExpectStillServing();
  EXPECT_TRUE(ListFolder(data() + "/outbox").empty());
}

TEST_F(HttpLimitsTest, ClientsThatSpeakNoTlsAreLetGoFromTheTlsPort) {
  StartTlsServer({"--idle-timeout", "300"});
  RawHttpConnection silent(port());
  RawHttpConnection plain(port());
  ASSERT_TRUE(plain.Send(TestIdRequest()));
  // Others are served meanwhile, over TLS and on the plain listener beside it.
  RawHttpConnection secure(port());
  ASSERT_TRUE(secure.StartTls(tls_ca()));
  // A TLS connection that was served keeps its place past the handshake's bound, as long as
  // it is not idle for the idle time itself: it asks again while the silent one waits.
  const auto served = [this, &secure] {
    if (!secure.Send(TestIdRequest())) return false;
    std::optional<RawHttpReply> reply = secure.ReadReply();
    return reply && reply->Header("X-NVX-CONCLUSION") == "Successful";
  };
  ASSERT_TRUE(served());
  std::optional<RawHttpReply> beside = RawHttpExchange(plain_port(), TestIdRequest());
  ASSERT_TRUE(beside.has_value());
  EXPECT_EQ(beside->Header("X-NVX-CONCLUSION"), "Successful");
  bool closed = false;
  for (int slice = 0; slice < 50 && !closed; ++slice) {
    closed = silent.WaitForClose(100);
    ASSERT_TRUE(served()) << "slice " << slice;
  }
  EXPECT_TRUE(closed);
  EXPECT_FALSE(plain.ReadReply(false, 5000));
  EXPECT_TRUE(WaitForLog("failed: no handshake within the idle time"));
  EXPECT_TRUE(WaitForLog("failed: handshake failed: http request"));
}

TEST_F(HttpLimitsTest, HangupServesARenewedCertificateAndKeepsItOverABadPair) {
  const TestCertificates& made = certificates();
  RunResult unreadable =
      RunNvxServer(data(), {"--listen", "127.0.0.1:0", "--tls-cert", temp_.File("none.pem"),
                            "--tls-key", made.server().key});
  EXPECT_EQ(unreadable.exit_code, 1);
  EXPECT_NE(unreadable.err.find("cannot read the certificate"), std::string::npos);

  StartTlsServer();
  EXPECT_EQ(ServedSerial(), CertificateSerial(made.server().cert));
  RawHttpConnection before(port());
  ASSERT_TRUE(before.StartTls(tls_ca()));
  CertificateFiles renewed = made.Renewed("renewed", 1500);
  WriteFileText(tls_cert(), ReadFileText(renewed.cert));
  WriteFileText(tls_key(), ReadFileText(renewed.key));
  server_->Signal(SIGHUP);
  ASSERT_TRUE(WaitForLog("nvxserver read the TLS certificate and key again"));
  EXPECT_EQ(ServedSerial(), CertificateSerial(renewed.cert));
  // A connection of the old certificate is still served.
  ASSERT_TRUE(before.Send(TestIdRequest()));
  EXPECT_EQ(before.ReadReply()->Header("X-NVX-CONCLUSION"), "Successful");

  // A certificate whose key is not the one beside it, then a certificate file cut short.
  const std::vector<std::string> bad_certificates = {ReadFileText(made.other_name().cert),
                                                     ReadFileText(renewed.cert).substr(0, 200)};
  for (size_t i = 0; i < bad_certificates.size(); ++i) {
    WriteFileText(tls_cert(), bad_certificates[i]);
    server_->Signal(SIGHUP);
    ASSERT_TRUE(WaitForLog("nvxserver keeps the TLS certificate it had", i + 1)) << i;
    EXPECT_EQ(ServedSerial(), CertificateSerial(renewed.cert)) << i;
  }
}

TEST_F(HttpLimitsTest, InterruptStopsTheServerCleanly) {
  StartServer();
  // An idle keep-alive connection does not hold the stop up.
  RawHttpConnection idle(port());
  ASSERT_TRUE(idle.Send(TestIdRequest()));
  ASSERT_TRUE(idle.ReadReply());
  EXPECT_EQ(server_->Stop(SIGINT), 0);
  server_.reset();
  std::string log = ReadFileText(log_file());
  EXPECT_NE(log.find("GET /scripts/rizezi7.dll?TestId 200 \"Successful\""), std::string::npos);
  EXPECT_NE(log.find("nvxserver stopped"), std::string::npos);
}

TEST_F(HttpLimitsTest, TheStoreSurvivesARestart) {
  StartServer();
  RawHttpReply created =
      Command("FolderCreate", {{"X-NVX-BLACMANGE", "NO,2"}, {"X-NVX-BIGGLES", "Kept"}});
  ASSERT_EQ(created.Header("X-NVX-CONCLUSION"), "Successful");
  StopServer();
  StartServer();
  std::string tree = Command("FolderList").body;
  std::string id = created.body.substr(0, created.body.size() - 2);
  EXPECT_NE(tree.find("1\tKept\tW\t" + id + "\n"), std::string::npos);
}

}  // namespace
}  // namespace nvx::test

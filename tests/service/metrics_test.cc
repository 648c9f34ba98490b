// The metrics page of nvxserver --metrics, scraped with curl and checked with promtool:
// the figures move with the requests served, and the page is not on the users' listener.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/service/service_fixture.h"
#include "tests/support/login_token.h"

namespace nvx::test {
namespace {

class MetricsTest : public ServiceFixture {
 protected:
  // The page as curl gets it; promtool must find it well formed.
  std::string Scrape() {
    ChildProcess::Options curl;
    curl.args = {"-s", "-f",
                 "http://127.0.0.1:" + std::to_string(server_->metrics_port()) + "/metrics"};
    RunResult page = RunProgram("/usr/bin/curl", curl);
    EXPECT_EQ(page.exit_code, 0) << page.err;
    WriteFileText(temp_.File("page.txt"), page.out);
    ChildProcess::Options check;
    check.args = {"-c", "promtool check metrics <'" + temp_.File("page.txt") + "'"};
    RunResult checked = RunProgram("/bin/sh", check);
    EXPECT_EQ(checked.exit_code, 0) << checked.out << checked.err;
    return page.out;
  }

  // The value of the sample `series` (name and labels as the page writes them).
  static int64_t Figure(const std::string& page, const std::string& series) {
    size_t at = page.find("\n" + series + " ");
    if (at == std::string::npos) return -1;
    return std::stoll(page.substr(at + series.size() + 2));
  }
};

TEST_F(MetricsTest, FiguresMoveWithTheRequestsServed) {
  Admin({"account", "set", "alice", "--email", "alice@example.org"});
  StartServer({"--metrics", "127.0.0.1:0"});
  ASSERT_NE(server_->metrics_port(), 0);
  std::string before = Scrape();

  std::string body(1000, 'b');
  std::string token = MakeLoginToken("alice", "secret");
  EXPECT_EQ(Command("TestId").Header("X-NVX-CONCLUSION"), "Successful");
  EXPECT_EQ(Exchange(ScriptRequest("GET", "TestId", {}, MakeLoginToken("alice", "wrong")))
                .Header("X-NVX-CONCLUSION"),
            "Password Invalid");
  EXPECT_EQ(Exchange(ScriptRequest("PUT", "doc.bin",
                                   {{"Content-Length", "1000"}, {"X-NVX-BLACMANGE", "NO"}}, token) +
                     body)
                .Header("X-NVX-CONCLUSION"),
            "Successful");
  EXPECT_EQ(Exchange(ScriptRequest("PUT", "email.txt",
                                   {{"Content-Length", "5"},
                                    {"X-NVX-FANG", "0,0,0,0,0"},
                                    {"X-NVX-BEAVERCHEESE", "1,0,Backup;"}},
                                   token) +
                     "Hello")
                .Header("X-NVX-CONCLUSION"),
            "Successful");
  // The users' listener does not serve the page.
  EXPECT_EQ(Exchange("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n").status, 404);
  RawHttpConnection held(port());
  ASSERT_TRUE(held.Send("GET /scripts/rizezi7.dll?TestId HTTP/1.1\r\nHost: x\r\n\r\n"));
  ASSERT_TRUE(held.ReadReply());
  std::string after = Scrape();

  struct Moved {
    std::string series;
    int64_t by;
  };
  const Moved moved[] = {
      {R"(nvx_requests_total{command="TestId",answer="successful"})", 1},
      {R"(nvx_requests_total{command="TestId",answer="login_refused"})", 2},
      {R"(nvx_requests_total{command="Upload",answer="successful"})", 1},
      {R"(nvx_requests_total{command="Email",answer="successful"})", 1},
      {R"(nvx_requests_total{command="StaticFile",answer="error"})", 1},
      {R"(nvx_requests_total{command="Upload",answer="error"})", 0},
      {"nvx_outbox_messages", 1},
      // The small document's commit, durable by a sync of the store's log.
      {"nvx_store_shared_sync_commits_total", 1},
      {"nvx_store_shared_syncs_total", 1},
  };
  for (const Moved& m : moved) {
    EXPECT_EQ(Figure(after, m.series) - Figure(before, m.series), m.by) << m.series;
  }
  EXPECT_GT(Figure(after, "nvx_received_bytes_total") - Figure(before, "nvx_received_bytes_total"),
            1000);
  EXPECT_GT(Figure(after, "nvx_sent_bytes_total"), Figure(before, "nvx_sent_bytes_total"));
  // The held connection at least; others may not have seen their client's close yet.
  EXPECT_GE(Figure(after, "nvx_open_connections"), 1);
  EXPECT_GE(Figure(after, "nvx_store_latency_seconds_count") -
                Figure(before, "nvx_store_latency_seconds_count"),
            5);
  EXPECT_EQ(Figure(after, R"(nvx_store_latency_seconds_bucket{le="+Inf"})"),
            Figure(after, "nvx_store_latency_seconds_count"));
}

}  // namespace
}  // namespace nvx::test

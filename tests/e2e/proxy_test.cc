// NVXbackup through a real tinyproxy that asks for Basic authorization: plain and
// scrambled proxy passwords get through; missing credentials (407) and refused ones
// (401) end the run with exit code 2 after error code 9. A TLS service is reached through
// a CONNECT tunnel, which the proxy grants only with the credentials, and an open proxy
// to a job that names none.
#include <string>

#include <gtest/gtest.h>

#include "tests/e2e/e2e_fixture.h"

namespace nvx::test {
namespace {

class ProxyTest : public EndToEndTest {
 protected:
  void SetUp() override {
    EndToEndTest::SetUp();
    proxy_ = std::make_unique<ProxyProcess>(temp_, "pid", "proxy-pw");
    if (!proxy_->running()) GTEST_SKIP() << "tinyproxy is not available";
  }

  std::string ProxyLines(const std::string& credentials, const ProxyProcess* proxy = nullptr) {
    if (proxy == nullptr) proxy = proxy_.get();
    return "Proxy 127.0.0.1\r\nProxyPort " + std::to_string(proxy->port()) + "\r\n" + credentials +
           "VerifyPath \\Backup\\Docs\r\nVerifyNVXFolders\r\n";
  }

  std::unique_ptr<ProxyProcess> proxy_;
};

TEST_F(ProxyTest, PlainAndScrambledCredentialsGetThrough) {
  struct Case {
    std::string password_line;
    std::string kept_in_file;  // how the job file reads after the run
  } cases[] = {
      {"ProxyPassword proxy-pw\r\n", "ProxyPassword proxy-pw\r\n"},
      {"ProxyPasswordEncrypt proxy-pw\r\n", "ProxyPasswordEncrypt ["},  // scrambled by the run
  };
  for (const Case& c : cases) {
    std::string job =
        JobFile("alice", "wonderland", ProxyLines("ProxyId pid\r\n" + c.password_line));
    RunResult result = RunJob(job);
    EXPECT_EQ(result.exit_code, 0) << c.password_line << result.out << result.err << proxy_->log();
    EXPECT_NE(ReadFileText(job).find(c.kept_in_file), std::string::npos) << ReadFileText(job);
  }
  EXPECT_NE(proxy_->log().find("GET http://127.0.0.1:" + std::to_string(server_->port()) +
                               "/scripts/rizezi7.dll?TestId"),
            std::string::npos)
      << proxy_->log();
  EXPECT_NE(Folders("alice").size(), 1u);
}

TEST_F(ProxyTest, MissingOrRefusedCredentialsEndWithExitCode2) {
  for (const std::string& credentials :
       {std::string(), std::string("ProxyId pid\r\nProxyPassword wrong\r\n")}) {
    RunResult result = RunJob(JobFile("alice", "wonderland", ProxyLines(credentials)));
    EXPECT_EQ(result.exit_code, 2) << credentials << result.out << result.err;
    EXPECT_NE(result.out.find("Returning Proxy Authentication Failed"), std::string::npos)
        << result.out;
  }
  EXPECT_EQ(Folders("alice").size(), 1u);  // nothing was made
}

TEST_F(ProxyTest, TlsTravelsThroughATunnelGrantedOnlyWithCredentials) {
  ServeTls();
  const std::string target = "127.0.0.1:" + std::to_string(server_->port());
  RunResult tunnelled = RunJob(
      JobFile("alice", "wonderland", ProxyLines("ProxyId pid\r\nProxyPassword proxy-pw\r\n")));
  EXPECT_EQ(tunnelled.exit_code, 0) << tunnelled.out << tunnelled.err << proxy_->log();
  EXPECT_NE(proxy_->log().find("CONNECT " + target), std::string::npos) << proxy_->log();
  // Inside the tunnel the requests are the service's own: the proxy reads none of them.
  EXPECT_EQ(proxy_->log().find("rizezi7.dll"), std::string::npos) << proxy_->log();
  EXPECT_NE(ReadFileText(server_log_).find("?TestId"), std::string::npos);

  // A tunnel refused for want of credentials ends the run as a refused plain request does.
  RunResult refused = RunJob(JobFile("alice", "wonderland", ProxyLines("")));
  EXPECT_EQ(refused.exit_code, 2) << refused.out << refused.err;
  EXPECT_NE(refused.out.find("Returning Proxy Authentication Failed"), std::string::npos)
      << refused.out;

  // A proxy that asks for no credentials opens the tunnel to a job that names none.
  ProxyProcess open_proxy(temp_, "", "");
  ASSERT_TRUE(open_proxy.running());
  RunResult open = RunJob(JobFile("alice", "wonderland", ProxyLines("", &open_proxy)));
  EXPECT_EQ(open.exit_code, 0) << open.out << open.err << open_proxy.log();
  EXPECT_NE(open_proxy.log().find("CONNECT " + target), std::string::npos) << open_proxy.log();
}

}  // namespace
}  // namespace nvx::test

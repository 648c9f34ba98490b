// The protocol through CNvxapi, as the job runner drives it: the worker builds its
// server list on its first command, SetServer replaces it, commands end with the status
// and error code a caller polls; destroying a CNvxapi whose worker waits on a silent
// server ends promptly.
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "api/facade_access.h"
#include "api/nvxapi.h"
#include "tests/protocol/session_fixture.h"

namespace nvx {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;
using test::LoopbackPeer;
using test::PeerReply;
using test::ServiceAnswer;

int32_t WaitUntilNotBusy(CNvxapi& api) {
  auto deadline = steady_clock::now() + std::chrono::seconds(20);
  while (api.GetStatus() == kStatusBusy && steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(2));
  }
  return api.GetStatus();
}

TEST(FacadeProtocol, LoginThroughTheWorker) {
  LoopbackPeer peer;
  peer.AddReply(ServiceAnswer("X-NVX-CONCLUSION: Password Invalid\r\nX-NVX-LARCH: 1000,10\r\n"));
  CNvxapi api;
  api.SetServer(peer.address().c_str());
  EXPECT_EQ(api.GetStatus(), kStatusSucceeded);
  api.SetUserAuth("alice", "wrong");
  api.VerifyId();
  EXPECT_EQ(WaitUntilNotBusy(api), kStatusSucceeded);
  EXPECT_EQ(api.GetErrorCode(), kErrorPasswordInvalid);
  EXPECT_STREQ(api.GetConclusion(), "Password Invalid");
  EXPECT_STREQ(api.GetHttpResponse(), "HTTP/1.1 200 OK");
  EXPECT_STREQ(api.GetStatusMsg(), "Login Verification Complete");
  EXPECT_FALSE(api.TestOverQuota());
}

TEST(FacadeProtocol, TheDefaultListComesFromTheEnvironment) {
  LoopbackPeer peer;
  peer.AddReply(ServiceAnswer("X-NVX-CONCLUSION: Successful\r\n"));
  test::ScopedEnvironment servers("NVX_SERVER", peer.address().c_str());
  CNvxapi api;
  api.VerifyId();
  EXPECT_EQ(WaitUntilNotBusy(api), kStatusSucceeded);
  EXPECT_EQ(api.GetErrorCode(), kErrorNone);
  EXPECT_STREQ(api.GetConclusion(), "Successful");
}

TEST(FacadeProtocol, VersionFileThroughTheWorker) {
  LoopbackPeer peer;
  peer.AddReply(ServiceAnswer("", "1.0.9 Fixes proxy login"));
  CNvxapi api;
  api.SetServer(peer.address().c_str());
  api.FetchVersionFile();
  EXPECT_EQ(WaitUntilNotBusy(api), kStatusSucceeded);
  int32_t major = -1, minor = -1, build = -1;
  api.GetVersion(&major, &minor, &build);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 0);
  EXPECT_EQ(build, 9);
  EXPECT_STREQ(api.GetVersionNote(), "Fixes proxy login");
}

TEST(FacadeProtocol, RefusedConnectionsFailTheCommandWithoutRealPauses) {
  test::FakeClock clock;
  platform::ScopedClockOverride clock_override(&clock);
  CNvxapi api;
  api.SetServer(("127.0.0.1:" + std::to_string(test::RefusingPort())).c_str());
  api.GetNVXFolderList();
  EXPECT_EQ(WaitUntilNotBusy(api), kStatusFailed);
  EXPECT_EQ(api.GetErrorCode(), kErrorConnect);
  EXPECT_STREQ(api.GetStatusMsg(), "Connect to Norrvault failed.");
  // Two exchanges, each with four attempts and three pauses.
  EXPECT_EQ(clock.Sleeps().size(), 6u);
}

TEST(FacadeProtocol, DestroyingDuringASilentWaitEndsPromptly) {
  LoopbackPeer peer;
  PeerReply silent;
  silent.stay_silent = true;
  peer.AddConnection({silent});
  test::TempDir logs;
  std::string log_name;
  {
    CNvxapi api;
    api.SetLogDirectory(logs.path().c_str());
    api.SetLogLevel(1);
    log_name = api.GetLogFileName();
    api.SetServer(peer.address().c_str());
    api.VerifyId();
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(api.GetStatus(), kStatusBusy);
  }
  // The worker noticed the stop request within the destructor's wait: the destructor
  // joined it and freed the block, which closed the log. A worker still waiting on the
  // server would hold the block, and the log would still be open.
  EXPECT_NE(test::ReadFileText(log_name).find("Log File Close"), std::string::npos);
}

}  // namespace
}  // namespace nvx

// The protocol on its own: service commands run on a ServiceSession whose reporting
// interface and progress sink are the test's, with no shared block and no worker. What
// a command reports, and in which order, is what the layer above shows the caller.
#include <atomic>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/progress_sink.h"
#include "protocol/reporter.h"
#include "protocol/service_commands.h"
#include "protocol/service_link.h"
#include "protocol/service_session.h"
#include "tests/support/fake_clock.h"
#include "tests/support/loopback_peer.h"

namespace nvx {
namespace {

using test::LoopbackPeer;
using test::ServiceAnswer;

// Records every report as one line: "status: ...", "error: 11", "log: ...", ...
class RecordingReporter : public Reporter {
 public:
  void SetStatusMessage(std::string text) override { lines.push_back("status: " + text); }
  void SetConclusion(std::string text) override { lines.push_back("conclusion: " + text); }
  void SetLastHttpResponse(std::string text) override { lines.push_back("http: " + text); }
  void SetErrorCode(int32_t code) override { lines.push_back("error: " + std::to_string(code)); }
  void LogText(int32_t bits, std::string_view text) override {
    if ((bits & kLogErrorOnly) != 0) lines.push_back("log: " + std::string(text));
  }
  void WriteResultText(std::string_view text) override {
    lines.push_back("result: " + std::string(text));
  }
  void AddFileNote(std::string_view path, int kind, bool, int) override {
    lines.push_back("note: " + std::string(path) + " " + std::to_string(kind));
  }
  void AddFileErrorNote(std::string_view path, int code) override {
    lines.push_back("error note: " + std::string(path) + " " + std::to_string(code));
  }

  std::vector<std::string> lines;
};

class NoProgress : public ProgressSink {
 public:
  void ResetRecord() override {}
  void RestartSequence() override {}
  void StartFile(std::string_view, int32_t) override {}
  void SetFileName(std::string_view) override {}
  void SetPhase(int32_t) override {}
  void Count(FileCount, int32_t) override {}
  void BeginFile(int64_t, int32_t) override {}
  void SetBlock(int32_t) override {}
  void ClearBlocks() override {}
  void AdvanceBlock() override {}
  void SetReplacementCount(int32_t) override {}
};

class ServiceSessionTest : public ::testing::Test {
 protected:
  ServiceSessionTest()
      : clock_override_(&clock_),
        link_(job_.link, report_, stop_),
        session_(job_, account_, report_, progress_, link_, stop_) {
    job_.link.user = "alice";
    job_.link.password = "wonderland";
  }

  test::FakeClock clock_;
  platform::ScopedClockOverride clock_override_;
  JobSettings job_;
  AccountFigures account_;
  RecordingReporter report_;
  NoProgress progress_;
  std::atomic<bool> stop_{false};
  ServiceLink link_;
  ServiceSession session_;
};

TEST_F(ServiceSessionTest, ALoginCheckReportsInOrderAndLeavesTheRecordToTheProtocol) {
  LoopbackPeer peer;
  peer.AddReply(ServiceAnswer(
      "X-NVX-CONCLUSION: Password Invalid\r\nX-NVX-LARCH: 5000,1000\r\nX-NVX-CRUNCHYFROG: 1\r\n"));
  link_.ReplaceServerList(peer.address());
  EXPECT_EQ(TestId(session_), ExchangeOutcome::kOk);
  EXPECT_EQ(report_.lines, (std::vector<std::string>{
                               "status: Verifying Login Id",
                               "conclusion: ",
                               "status: Connecting to Norrvault",
                               "error: 0",
                               "status: Connected to Norrvault",
                               "http: HTTP/1.1 200 OK",
                               "conclusion: Password Invalid",
                               "error: 11",
                               "log:  Err - TestId - Password Invalid\n",
                               "status: Login Verification Complete",
                           }));
  EXPECT_EQ(account_.space_limit, 5000);
  EXPECT_EQ(account_.space_used, 1000);
  EXPECT_EQ(account_.service_options, 1);
}

TEST_F(ServiceSessionTest, AServerThatIsNeverThereEndsInACommunicationFailureNote) {
  link_.ReplaceServerList("127.0.0.1:9");
  EXPECT_EQ(FolderFileCount(session_, {}).outcome, ExchangeOutcome::kTransportFailure);
  EXPECT_TRUE(link_.communication_failure());
  // Two exchanges, each with four connection attempts; the note names the command once.
  int notes = 0;
  int connect_errors = 0;
  for (const std::string& line : report_.lines) {
    if (line == "note: FolderFileCount 4") ++notes;
    if (line == "error: " + std::to_string(error::kConnect)) ++connect_errors;
  }
  EXPECT_EQ(notes, 1);
  EXPECT_EQ(connect_errors, 8);
  EXPECT_EQ(report_.lines.back(), "status: Folder file count retrieve failed ");
}

}  // namespace
}  // namespace nvx

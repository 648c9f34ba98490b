// The login check against a server whose answer breaks, from the configuration to the
// exit code: the job driver and the library's own worker talk to a scripted loopback
// peer. However the exchange breaks, the run ends with the system error's exit code and
// the results say what happened; no job runs and nothing passes as a quiet success.
#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "tests/runner/driver_fixture.h"
#include "tests/support/loopback_peer.h"

namespace nvx {
namespace {

using test::PeerReply;

// Real time, running a hundred times faster: the library's 180-second receive time-out
// passes in under two real seconds, and the driver's polling sleeps stay real sleeps.
// Calendar time is the fixture's fake clock.
class HurriedClock final : public platform::Clock {
 public:
  explicit HurriedClock(platform::Clock& calendar) : calendar_(calendar) {}
  int64_t NowSeconds() override { return calendar_.NowSeconds(); }
  int64_t MonotonicMillis() override {
    auto since_start = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(since_start).count() * kSpeed;
  }
  void SleepMillis(int64_t milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(1 + milliseconds / kSpeed));
  }
  platform::LocalTime LocalNow() override { return calendar_.LocalNow(); }

 private:
  static constexpr int64_t kSpeed = 100;
  platform::Clock& calendar_;
};

class LoginExchange : public test::DriverTest {
 protected:
  LoginExchange() { play_script_ = false; }
};

PeerReply Answer(std::string bytes) {
  PeerReply reply;
  reply.bytes = std::move(bytes);
  return reply;
}

TEST_F(LoginExchange, EveryBrokenAnswerEndsTheRunWith10AndSaysWhatHappened) {
  PeerReply silent;
  silent.stay_silent = true;
  const std::string no_answer = "System Error - no answer from the service\r\n";
  const std::string no_conclusion =
      "System Error - no conclusion in the answer \"HTTP/1.1 200 OK\"\r\n";
  struct Case {
    const char* label;
    PeerReply reply;
    std::string results_end;
    bool communication_note;  // the library notes the broken exchange itself
  };
  const Case cases[] = {
      {"closes the connection", Answer(""), no_answer, true},
      {"stays silent", silent, no_answer, true},
      {"answers garbage", Answer(std::string("\x16\x03\x01 garbage\0\xff", 13)), no_answer, true},
      {"answers 100 only", Answer("HTTP/1.1 100 Continue\r\n\r\n"),
       "System Error - no conclusion in the answer \"HTTP/1.1 100 Continue\"\r\n", false},
      {"sends a header over 4 KiB",
       Answer(test::ServiceAnswer("X-Padding: " + std::string(5000, 'p') +
                                  "\r\nX-NVX-CONCLUSION: Successful\r\n")),
       no_conclusion, false},
      {"gives no conclusion", Answer(test::ServiceAnswer("X-NVX-LARCH: 1000,10\r\n")),
       no_conclusion, false},
  };
  HurriedClock clock(clock_);
  platform::ScopedClockOverride use_clock(&clock);
  for (const Case& c : cases) {
    test::LoopbackPeer peer;
    // The login check tries twice.
    peer.AddConnection({c.reply});
    peer.AddConnection({c.reply});
    std::filesystem::remove(logs_ + "/Backup Results.txt");
    int exit_code = Run(Head() + "NVXServer " + peer.address() +
                        "\nLocalPath /\nNVXPath \\Backup\nSendToNVX\n");
    EXPECT_EQ(exit_code, 10) << c.label;
    std::string results = Results();
    ASSERT_GE(results.size(), c.results_end.size()) << c.label;
    EXPECT_EQ(results.substr(results.size() - c.results_end.size()), c.results_end)
        << c.label << ": " << results;
    EXPECT_EQ(results.find("Comm Request/File TestId") != std::string::npos, c.communication_note)
        << c.label << ": " << results;
    EXPECT_FALSE(PendingResultsLeft()) << c.label;
    for (const std::string& request : peer.Requests()) {
      EXPECT_EQ(request.rfind("GET /scripts/rizezi7.dll?TestId HTTP/1.1\r\n", 0), 0u)
          << c.label << ": a job ran after the login check";
    }
  }
}

// So does a folder list that breaks after a good login: the finished report says why.
TEST_F(LoginExchange, AFolderListThatCannotBeReadEndsTheRunWith10AndSaysWhy) {
  const std::string ok = "HTTP/1.1 200 OK\r\nX-NVX-CONCLUSION: Successful\r\n";
  const std::string lost = "Folder list not received from Norrvault: the answer";
  const std::string unusable = lost + "'s length was unusable or its body broke off";
  const std::pair<std::string, std::string> cases[] = {
      {"HTTP/1.1 200 OK\r\nX-NVX-CONC", lost + " broke off"},
      {ok + "Content-Length: 99999999999\r\n\r\n", unusable},
      {ok + "Content-Length: -5\r\n\r\n", unusable},
      {ok + "Content-Length: 100\r\n\r\n0\tMyFiles\n", unusable},
      {test::ServiceAnswer("", "0\tMyFiles\tW\t1\n1\tCut"),
       "System Error - Invalid data from server"},
  };
  HurriedClock clock(clock_);
  platform::ScopedClockOverride use_clock(&clock);
  for (const auto& [reply, reason] : cases) {
    test::LoopbackPeer peer;
    peer.AddConnection({Answer(ok + "Connection: close\r\n\r\n")});
    peer.AddConnection({Answer(reply)});
    peer.AddConnection({Answer(reply)});  // the retry after no answer
    std::filesystem::remove(logs_ + "/Backup Results.txt");
    EXPECT_EQ(Run(Head() + "NVXServer " + peer.address() + "\nNVXPath \\B\nCopyFromNVX\n"), 10);
    EXPECT_NE(
        Results().find("The run ended before the CopyFromNVX job for Norrvault folder \\B:\r\n"
                       "  the folder list could not be read: " +
                       reason + "\r\n"),
        std::string::npos)
        << Results();
  }
}

}  // namespace
}  // namespace nvx

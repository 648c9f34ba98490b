// The login check and the folder list against a server whose answer breaks, from the
// configuration to the exit code: the job driver and the library's own worker talk to a
// scripted loopback peer. However the exchange breaks, the run ends with the system
// error's exit code and the results say what happened; no job runs and nothing passes as
// a quiet success.
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

// After a good login the folder list breaks: the run ends with 10 before any job, and
// the finished report says why instead of passing the skipped jobs over in silence.
TEST_F(LoginExchange, AFolderListThatCannotBeReadEndsTheRunWith10AndSaysWhy) {
  const std::string header = "HTTP/1.1 200 OK\r\nX-NVX-CONCLUSION: Successful\r\n";
  const std::string broke = "Folder list not received from Norrvault: the answer broke off";
  const std::string unusable =
      "Folder list not received from Norrvault: the answer's length was unusable or its body "
      "broke off";
  struct Case {
    const char* label;
    std::string reply;
    bool retried;  // the library asks twice when no answer came
    std::string reason;
  };
  const Case cases[] = {
      {"cuts its header", "HTTP/1.1 200 OK\r\nX-NVX-CONC", true, broke},
      {"announces too much", header + "Content-Length: 99999999999\r\n\r\n", true, unusable},
      {"announces a negative length", header + "Content-Length: -5\r\n\r\n", true, unusable},
      {"sends less than announced", header + "Content-Length: 100\r\n\r\n0\tMyFiles\n", true,
       unusable},
      {"sends no list", test::ServiceAnswer("X-NVX-CONCLUSION: Error - Busy\r\n"), false,
       "Invalid Folder List - Error - Busy"},
      {"sends a list cut in its last line", test::ServiceAnswer("", "0\tMyFiles\tW\t1\n1\tCut"),
       false, "System Error - Invalid data from server"},
  };
  HurriedClock clock(clock_);
  platform::ScopedClockOverride use_clock(&clock);
  for (const Case& c : cases) {
    test::LoopbackPeer peer;
    peer.AddConnection(
        {Answer(test::ServiceAnswer("X-NVX-CONCLUSION: Successful\r\n"
                                    "Connection: close\r\n"))});
    peer.AddConnection({Answer(c.reply)});
    if (c.retried) peer.AddConnection({Answer(c.reply)});
    std::filesystem::remove(logs_ + "/Backup Results.txt");
    int exit_code = Run(Head() + "NVXServer " + peer.address() +
                        "\nLocalPath /\nNVXPath \\Backup\nSendToNVX\n");
    EXPECT_EQ(exit_code, 10) << c.label;
    const std::string results = Results();
    EXPECT_EQ(results.rfind("Online Backup Results for bob: Errors Detected\r\n", 0), 0u)
        << c.label << ": " << results;
    EXPECT_NE(results.find("\r\n\r\nThe run ended before the SendToNVX job for Norrvault folder "
                           "\\Backup:\r\n  the folder list could not be read: " +
                           c.reason + "\r\n"),
              std::string::npos)
        << c.label << ": " << results;
    EXPECT_EQ(peer.Requests().size(), c.retried ? 3u : 2u) << c.label;
  }
}

}  // namespace
}  // namespace nvx

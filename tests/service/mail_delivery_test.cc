// Mail delivery from the embedded store's outbox to a real SMTP relay (aiosmtpd): what
// the relay receives, what stays in the outbox, and the pauses after failures, measured
// with the fake clock while the relay refuses, is gone, or dies in the middle of a message.
#include "service/mail_delivery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "service/store/sqlite_store.h"
#include "tests/support/fake_clock.h"
#include "tests/support/smtp_relay_process.h"
#include "tests/support/temp_dir.h"

namespace nvx::service {
namespace {

class MailDeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(outbox());
    std::string error;
    ASSERT_TRUE(store_.Open(temp_.File("nvx.db"), outbox(), &error)) << error;
    ASSERT_TRUE(relay_.Start());
    settings_.relay_host = "127.0.0.1";
    settings_.relay_port = relay_.port();
    settings_.sender = "backup@example.org";
    settings_.retry_first_millis = 1000;
    settings_.retry_max_millis = 3000;
    settings_.reply_timeout_millis = 10000;
    delivery_ = std::make_unique<MailDelivery>(store_, settings_, stopping_);
  }

  std::string outbox() const { return temp_.File("outbox"); }

  void Post(const std::vector<std::string>& recipients, const std::string& text) {
    OutboxMessage message{recipients, SubjectOf(text), "alice", "Backup", text};
    std::string name;
    ASSERT_EQ(store_.PostMessage(message, &name), OutboxResult::kWritten);
    // Messages go oldest first; file times must tell them apart.
    std::filesystem::last_write_time(
        outbox() + "/" + name,
        std::filesystem::file_time_type::clock::now() + std::chrono::seconds(++posted_));
  }

  int64_t Pending() { return store_.CountPendingMessages().value_or(-1); }
  int64_t Now() { return clock_.MonotonicMillis(); }

  test::TempDir temp_;
  test::FakeClock clock_;
  platform::ScopedClockOverride clock_override_{&clock_};
  test::SmtpRelayProcess relay_{temp_.File("relay")};
  SqliteStore store_;
  MailSettings settings_;
  std::atomic<bool> stopping_{false};
  std::unique_ptr<MailDelivery> delivery_;
  int posted_ = 0;
};

TEST_F(MailDeliveryTest, TheRelayGetsEachMessageAndTheOutboxEmpties) {
  std::string long_line(1500, 'x');
  Post({"alice@example.org", "admin@example.org"}, "Results\r\n.hidden\r\n..two\nbare LF\r" +
                                                       long_line +
                                                       "\r\nGr\xC3\xB6\xC3\x9F"
                                                       "e");
  Post({"bob@example.org"}, "Second\r\n.\r\n");
  delivery_->DeliverDue();
  std::vector<std::string> received = relay_.Messages();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].substr(0, received[0].find("\n\n")),
            "MAIL FROM backup@example.org\nRCPT TO alice@example.org\nRCPT TO admin@example.org");
  std::string message = received[0].substr(received[0].find("\n\n") + 2);
  EXPECT_EQ(message.rfind("From: backup@example.org\r\nDate: ", 0), 0u) << message;
  EXPECT_NE(message.find("\r\nTo: alice@example.org, admin@example.org\r\nSubject: Results\r\n"),
            std::string::npos);
  // Line ends become CR LF, leading dots arrive as sent, a line beyond 998 bytes is broken.
  EXPECT_NE(message.find("\r\n\r\nResults\r\n.hidden\r\n..two\r\nbare LF\r\n" +
                         long_line.substr(0, 998) + "\r\n" + long_line.substr(998) +
                         "\r\nGr\xC3\xB6\xC3\x9F"
                         "e\r\n"),
            std::string::npos);
  EXPECT_NE(received[1].find("\r\n\r\nSecond\r\n.\r\n"), std::string::npos);
  EXPECT_EQ(Pending(), 0);
  EXPECT_TRUE(test::ListFolder(outbox()).empty());
  EXPECT_EQ(delivery_->counts().delivered.load(), 2u);
}

TEST_F(MailDeliveryTest, RefusedMessagesAreKeptForTheOperatorWithTheAnswer) {
  Post({"refuse@example.org"}, "Nobody\r\n");
  Post({"carol@example.org", "refuse-too@example.org"}, "Somebody\r\n");
  delivery_->DeliverDue();
  std::vector<std::string> received = relay_.Messages();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].substr(0, received[0].find("\n\n")),
            "MAIL FROM backup@example.org\nRCPT TO carol@example.org");
  EXPECT_EQ(Pending(), 0);
  std::vector<std::string> kept = test::ListFolder(outbox() + "/refused");
  ASSERT_EQ(kept.size(), 4u);
  std::string answers;
  for (const std::string& name : kept) {
    std::string text = test::ReadFileText(outbox() + "/refused/" + name);
    if (name.size() > 7 && name.substr(name.size() - 7) == ".answer") answers += text;
  }
  EXPECT_NE(answers.find("refuse@example.org: 550 5.1.1"), std::string::npos) << answers;
  EXPECT_NE(answers.find("delivered to the other recipients; refused: refuse-too@example.org: 550"),
            std::string::npos)
      << answers;
  EXPECT_EQ(delivery_->counts().refused.load(), 2u);
}

TEST_F(MailDeliveryTest, TemporaryRefusalsWaitDoublingPauses) {
  Post({"later@example.org", "dave@example.org"}, "Busy\r\n");
  EXPECT_EQ(delivery_->DeliverDue(), Now() + 1000);
  // Each attempt after the pause that is due: 1, 2, then 3 s (the longest pause).
  const int64_t pauses[] = {1000, 2000, 3000};
  uint64_t attempts = 1;
  for (int64_t pause : pauses) {
    EXPECT_EQ(delivery_->counts().deferred.load(), attempts);
    clock_.AdvanceMillis(pause - 1);
    delivery_->DeliverDue();
    EXPECT_EQ(delivery_->counts().deferred.load(), attempts) << "tried before its time";
    clock_.AdvanceMillis(1);
    delivery_->DeliverDue();
    EXPECT_EQ(delivery_->counts().deferred.load(), ++attempts);
  }
  // Nobody got it: the recipient that would take it waits with the busy one.
  EXPECT_TRUE(relay_.Messages().empty());
  EXPECT_EQ(Pending(), 1);
}

TEST_F(MailDeliveryTest, AVanishingRelayLosesNothing) {
  Post({"erin@example.org"}, "First\r\n");
  delivery_->DeliverDue();
  ASSERT_EQ(relay_.Messages().size(), 1u);
  // Gone between two rounds: the delivery pauses, the message waits.
  relay_.Kill();
  Post({"frank@example.org"}, "Second\r\n");
  EXPECT_EQ(delivery_->DeliverDue(), Now() + 1000);
  EXPECT_EQ(Pending(), 1);
  ASSERT_TRUE(relay_.Start());
  delivery_->DeliverDue();  // still pausing
  EXPECT_EQ(relay_.Messages().size(), 1u);
  clock_.AdvanceMillis(1000);
  delivery_->DeliverDue();
  ASSERT_EQ(relay_.Messages().size(), 2u);
  // Dies in the middle of a message: that one and the next wait for the relay's return.
  Post({"vanish@example.org"}, "Third\r\n");
  Post({"grace@example.org"}, "Fourth\r\n");
  EXPECT_EQ(delivery_->DeliverDue(), Now() + 1000);
  EXPECT_TRUE(relay_.WaitForEnd());
  EXPECT_EQ(Pending(), 2);
  ASSERT_TRUE(relay_.Start());
  clock_.AdvanceMillis(1000);
  delivery_->DeliverDue();
  std::vector<std::string> received = relay_.Messages();
  ASSERT_EQ(received.size(), 4u);
  EXPECT_NE(received[2].find("\r\n\r\nThird\r\n"), std::string::npos);
  EXPECT_NE(received[3].find("\r\n\r\nFourth\r\n"), std::string::npos);
  EXPECT_EQ(Pending(), 0);
}

}  // namespace
}  // namespace nvx::service

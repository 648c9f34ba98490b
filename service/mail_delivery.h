// The service's mail delivery: hands the outbox's messages to an SMTP relay, through the
// store's outbox calls only (Store::ListPendingMessages, MarkMessageDelivered,
// MarkMessageRefused), so that any store fills it. A message leaves the outbox only once
// the relay accepted it (250 after its text). A message refused for good (every
// recipient, the sender or the text: a 5xx answer) is kept by the store for the operator
// with the relay's answer; one refused for some recipients goes to the others and is
// kept so as well. A temporary failure (a 4xx answer, a cut connection, a relay that is
// gone) leaves the message waiting: it is tried again after a pause that doubles with
// each further failure (kServiceMailRetryFirstMillis up to kServiceMailRetryMaxMillis);
// a relay that cannot be reached pauses the whole delivery the same way. Every step is
// logged. A crash between the relay's acceptance and the store's mark sends the message
// again: a message may arrive twice, never not at all.
//
// Time comes from platform::GetClock(), so tests move it instead of waiting. DeliverDue
// and Run belong to one thread; Wake may be called from any thread.
#ifndef NVX_SERVICE_MAIL_DELIVERY_H_
#define NVX_SERVICE_MAIL_DELIVERY_H_

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

#include "service/smtp_client.h"
#include "service/store/store.h"

namespace nvx::service {

// How the service delivers mail; the command line's --smtp options fill it.
struct MailSettings {
  std::string relay_host;
  int relay_port = 25;
  std::string sender = "nvxserver@localhost";  // MAIL FROM, and From: when a text has none
  int64_t retry_first_millis = kServiceMailRetryFirstMillis;
  int64_t retry_max_millis = kServiceMailRetryMaxMillis;
  int reply_timeout_millis = kServiceSmtpReplyTimeoutMillis;
};

// The counts a delivery keeps, for the metrics page.
struct MailCounts {
  std::atomic<uint64_t> delivered{0};
  std::atomic<uint64_t> refused{0};
  std::atomic<uint64_t> deferred{0};  // temporary failures, each attempt counted
};

class MailDelivery {
 public:
  // `store` and `stopping` must outlive the delivery; `stopping` ends a round or the run
  // soon after it is set.
  MailDelivery(Store& store, const MailSettings& settings, const std::atomic<bool>& stopping);
  MailDelivery(const MailDelivery&) = delete;
  MailDelivery& operator=(const MailDelivery&) = delete;

  // One round: every waiting message that is due goes to the relay over one connection.
  // Returns when the next round is due (GetClock().MonotonicMillis()).
  int64_t DeliverDue();
  // Runs rounds until `stopping`, looking into the outbox at least every
  // kServiceMailPollMillis and at once after Wake.
  void Run();
  // A message was posted: the next round begins now.
  void Wake() { woken_.store(true); }

  const MailCounts& counts() const { return counts_; }

 private:
  // When something failed for now: the next attempt and the pause that led to it.
  struct Retry {
    int64_t due = 0;
    int64_t pause = 0;
  };
  // Sets `retry` for the next attempt after one more temporary failure at `now`.
  void Postpone(Retry* retry, int64_t now) const;
  // The message as the relay gets it: "From:" and "Date:" lines before the file's own
  // header lines when it has none.
  std::string Composed(const std::string& content) const;
  // Applies the relay's verdict on one message to the store and the log.
  void Settle(const PendingMessage& message, const SmtpOutcome& outcome, int64_t now);

  Store& store_;
  const MailSettings settings_;
  const SmtpSettings smtp_;
  const std::atomic<bool>& stopping_;
  std::atomic<bool> woken_{false};
  MailCounts counts_;
  Retry relay_retry_;
  // The messages that failed for now, by id; those no longer waiting are dropped each
  // round, so it holds at most kServiceMailBatchMax entries.
  std::map<std::string, Retry> message_retries_;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_MAIL_DELIVERY_H_

#include "service/mail_delivery.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

#include "platform/clock.h"
#include "platform/text_format.h"
#include "service/http/request_log.h"

namespace nvx::service {
namespace {

// The run sleeps in slices of this length, so that a stop or a wake is seen soon.
constexpr int64_t kRunSliceMillis = 50;

// The name a relay is greeted with: the domain of the sender's address.
std::string HeloNameOf(const std::string& sender) {
  size_t at = sender.rfind('@');
  return at == std::string::npos || at + 1 == sender.size() ? "localhost" : sender.substr(at + 1);
}

SmtpSettings SmtpSettingsOf(const MailSettings& settings) {
  SmtpSettings smtp;
  smtp.host = settings.relay_host;
  smtp.port = settings.relay_port;
  smtp.sender = settings.sender;
  smtp.helo_name = HeloNameOf(settings.sender);
  smtp.reply_timeout_millis = settings.reply_timeout_millis;
  return smtp;
}

// True when the header block of `content` (up to its empty line) has a line `name`.
bool HasHeader(std::string_view content, std::string_view name) {
  while (!content.empty()) {
    size_t end = content.find('\n');
    std::string_view line = content.substr(0, end);
    if (line.empty() || line == "\r") return false;
    if (StartsWithIgnoreCase(line, name) && line.size() > name.size() && line[name.size()] == ':') {
      return true;
    }
    if (end == std::string_view::npos) return false;
    content.remove_prefix(end + 1);
  }
  return false;
}

// "Mon, 08 Dec 2025 00:35:00 +0000": the moment in the form of a mail's Date line.
std::string MailDate(int64_t epoch_seconds) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  using namespace std::chrono;
  sys_seconds moment{std::chrono::seconds{epoch_seconds}};
  sys_days day = floor<days>(moment);
  year_month_day date{day};
  hh_mm_ss<std::chrono::seconds> time{moment - day};
  return StrFormat("%s, %02u %s %d %02d:%02d:%02d +0000", kDays[weekday{day}.c_encoding()],
                   static_cast<unsigned>(date.day()),
                   kMonths[static_cast<unsigned>(date.month()) - 1], static_cast<int>(date.year()),
                   static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                   static_cast<int>(time.seconds().count()));
}

}  // namespace

MailDelivery::MailDelivery(Store& store, const MailSettings& settings,
                           const std::atomic<bool>& stopping)
    : store_(store), settings_(settings), smtp_(SmtpSettingsOf(settings)), stopping_(stopping) {}

void MailDelivery::Postpone(Retry* retry, int64_t now) const {
  retry->pause = retry->pause == 0 ? settings_.retry_first_millis
                                   : std::min(retry->pause * 2, settings_.retry_max_millis);
  retry->due = now + retry->pause;
}

std::string MailDelivery::Composed(const std::string& content) const {
  std::string head;
  if (!HasHeader(content, "From")) head += "From: " + settings_.sender + "\r\n";
  if (!HasHeader(content, "Date")) {
    head += "Date: " + MailDate(platform::GetClock().NowSeconds()) + "\r\n";
  }
  return head + content;
}

void MailDelivery::Settle(const PendingMessage& message, const SmtpOutcome& outcome, int64_t now) {
  const char* id = message.id.c_str();
  switch (outcome.kind) {
    case SmtpOutcome::Kind::kAccepted:
      message_retries_.erase(message.id);
      ++counts_.delivered;
      if (!store_.MarkMessageDelivered(message.id)) {
        LogLine(
            StrFormat("mail %s: delivered, but the outbox could not drop it: it may go twice", id));
        return;
      }
      LogLine(StrFormat("mail %s: delivered: %s", id, outcome.answer.c_str()));
      return;
    case SmtpOutcome::Kind::kPartlyRefused:
    case SmtpOutcome::Kind::kRefused: {
      message_retries_.erase(message.id);
      bool partly = outcome.kind == SmtpOutcome::Kind::kPartlyRefused;
      ++counts_.refused;
      if (partly) ++counts_.delivered;
      std::string answer =
          partly ? "delivered to the other recipients; refused: " + outcome.answer : outcome.answer;
      bool kept = store_.MarkMessageRefused(message.id, answer);
      LogLine(StrFormat("mail %s: refused%s: %s", id,
                        kept ? ", kept for the operator" : " (the outbox could not set it aside)",
                        answer.c_str()));
      return;
    }
    case SmtpOutcome::Kind::kTemporary:
    case SmtpOutcome::Kind::kLost: {
      ++counts_.deferred;
      Retry& retry = message_retries_[message.id];
      Postpone(&retry, now);
      LogLine(StrFormat("mail %s: not delivered, next attempt in %lld ms: %s", id,
                        static_cast<long long>(retry.pause), outcome.answer.c_str()));
      return;
    }
  }
}

int64_t MailDelivery::DeliverDue() {
  int64_t now = platform::GetClock().MonotonicMillis();
  int64_t next = now + kServiceMailPollMillis;
  if (now < relay_retry_.due) return relay_retry_.due;
  std::vector<PendingMessage> messages;
  if (!store_.ListPendingMessages(kServiceMailBatchMax, &messages)) {
    LogLine("mail: the outbox cannot be read: " + store_.error_text());
    return next;
  }
  std::map<std::string, Retry> still_waiting;
  for (const PendingMessage& message : messages) {
    auto found = message_retries_.find(message.id);
    if (found != message_retries_.end()) still_waiting.insert(*found);
  }
  message_retries_ = std::move(still_waiting);

  std::optional<SmtpSession> session;
  for (const PendingMessage& message : messages) {
    if (stopping_.load()) break;
    if (message.recipients.empty()) {
      SmtpOutcome unreadable{SmtpOutcome::Kind::kRefused,
                             "not delivered: the message cannot be read or names no recipient"};
      Settle(message, unreadable, now);
      continue;
    }
    auto retry = message_retries_.find(message.id);
    if (retry != message_retries_.end() && retry->second.due > now) {
      next = std::min(next, retry->second.due);
      continue;
    }
    if (!session) {
      session.emplace(smtp_, stopping_);
      std::string answer;
      if (!session->Open(&answer)) {
        Postpone(&relay_retry_, now);
        ++counts_.deferred;
        LogLine(StrFormat("mail: the relay cannot take mail, next attempt in %lld ms: %s",
                          static_cast<long long>(relay_retry_.pause), answer.c_str()));
        return relay_retry_.due;
      }
      relay_retry_ = Retry();
    }
    SmtpOutcome outcome = session->Send(message.recipients, Composed(message.content));
    Settle(message, outcome, now);
    if (!session->usable()) {
      // The connection broke: the relay may be gone, so the whole delivery pauses.
      Postpone(&relay_retry_, now);
      return relay_retry_.due;
    }
    if (outcome.kind == SmtpOutcome::Kind::kTemporary) {
      next = std::min(next, message_retries_[message.id].due);
    }
  }
  if (session) session->Quit();
  return next;
}

void MailDelivery::Run() {
  while (!stopping_.load()) {
    // A wake during the round (a message posted after the listing) ends the pause below.
    woken_.store(false);
    int64_t due = DeliverDue();
    while (!stopping_.load() && !woken_.load()) {
      int64_t left = due - platform::GetClock().MonotonicMillis();
      if (left <= 0) break;
      platform::GetClock().SleepMillis(std::min(left, kRunSliceMillis));
    }
  }
}

}  // namespace nvx::service

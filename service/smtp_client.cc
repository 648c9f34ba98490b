#include "service/smtp_client.h"

#include <utility>

#include "platform/error_text.h"
#include "platform/text_format.h"

namespace nvx::service {
namespace {

// Waits on the relay's socket are cut into slices of this length so that a stop request
// ends them soon.
constexpr int kWaitSliceMillis = 100;
// The longest line of a message's text, its line end aside, the stuffed dot included.
constexpr size_t kDataLineMax = 998;
// The relay's bytes are received in pieces of this size.
constexpr size_t kReceivePiece = 4096;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// An address that can stand between "<" and ">" in a command line: printable, no blank,
// no angle bracket. Anything else could smuggle a command to the relay.
bool IsCommandSafeAddress(std::string_view address) {
  if (address.empty() || address.size() > 254) return false;
  for (char c : address) {
    auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F || c == '<' || c == '>') return false;
  }
  return true;
}

bool HasEightBitBytes(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) {
    if (!text.empty()) text += "; ";
    text += part;
  }
  return text;
}

// The outcome a refusing reply stands for: 5xx for good, anything else for now.
SmtpOutcome RefusalOf(const SmtpReply& reply) {
  SmtpOutcome outcome;
  outcome.kind = reply.code >= 500 ? SmtpOutcome::Kind::kRefused : SmtpOutcome::Kind::kTemporary;
  outcome.answer = reply.Describe();
  return outcome;
}

}  // namespace

std::string SmtpReply::Describe() const {
  std::string text = std::to_string(code);
  for (size_t i = 0; i < lines.size(); ++i) {
    text += i == 0 ? " " : " / ";
    for (char c : lines[i]) {
      auto u = static_cast<unsigned char>(c);
      text.push_back(u < 0x20 || u == 0x7F ? '?' : c);
    }
  }
  return text;
}

SmtpReplyReader::Result SmtpReplyReader::Feed(std::string_view* input) {
  if (broken_) return Result::kBroken;
  if (reply_done_) {
    reply_ = SmtpReply();
    reply_done_ = false;
  }
  while (!input->empty()) {
    size_t end = input->find('\n');
    size_t take = end == std::string_view::npos ? input->size() : end + 1;
    if (line_.size() + take > kServiceSmtpReplyLineMax) {
      broken_ = true;
      return Result::kBroken;
    }
    line_.append(input->data(), take);
    input->remove_prefix(take);
    if (end == std::string_view::npos) return Result::kNeedMore;
    std::string_view line(line_);
    line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    Result result = TakeLine(line);
    line_.clear();
    if (result != Result::kNeedMore) return result;
  }
  return Result::kNeedMore;
}

SmtpReplyReader::Result SmtpReplyReader::TakeLine(std::string_view line) {
  bool coded = line.size() >= 3 && line[0] >= '2' && line[0] <= '5' && IsDigit(line[1]) &&
               IsDigit(line[2]) && (line.size() == 3 || line[3] == '-' || line[3] == ' ');
  int code = coded ? (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0') : 0;
  if (!coded || (!reply_.lines.empty() && code != reply_.code) ||
      reply_.lines.size() >= kServiceSmtpReplyLinesMax) {
    broken_ = true;
    return Result::kBroken;
  }
  reply_.code = code;
  reply_.lines.emplace_back(line.size() > 4 ? line.substr(4) : std::string_view());
  if (line.size() > 3 && line[3] == '-') return Result::kNeedMore;
  reply_done_ = true;
  return Result::kReply;
}

std::string SmtpDataText(std::string_view message) {
  std::string text;
  text.reserve(message.size() + message.size() / 64 + 8);
  size_t line_length = 0;
  for (size_t i = 0; i < message.size(); ++i) {
    char c = message[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') ++i;
      text += "\r\n";
      line_length = 0;
      continue;
    }
    if (c == '\0') continue;
    if (line_length >= kDataLineMax) {
      text += "\r\n";
      line_length = 0;
    }
    if (line_length == 0 && c == '.') {
      text.push_back('.');
      ++line_length;
    }
    text.push_back(c);
    ++line_length;
  }
  if (line_length > 0) text += "\r\n";
  text += ".\r\n";
  return text;
}

SmtpSession::SmtpSession(const SmtpSettings& settings, const std::atomic<bool>& stopping)
    : settings_(settings), stopping_(stopping) {}

bool SmtpSession::Open(std::string* answer) {
  std::string relay = StrFormat("%s:%d", settings_.host.c_str(), settings_.port);
  uint32_t address = 0;
  if (int error = platform::ResolveIPv4(settings_.host, &address); error != 0) {
    *answer = "cannot find the relay " + relay + ": " + platform::ErrorText(error);
    return false;
  }
  if (!socket_.Create() || !socket_.Connect(address, static_cast<uint16_t>(settings_.port),
                                            [this] { return stopping_.load(); })) {
    *answer = "cannot connect to the relay " + relay + ": " + platform::ErrorText(socket_.error());
    socket_.Close();
    return false;
  }
  usable_ = true;
  std::optional<SmtpReply> greeting = ReadReply();
  if (!greeting || greeting->code != 220) {
    *answer = greeting ? "the relay does not serve: " + greeting->Describe() : failure_;
    Quit();
    return false;
  }
  std::optional<SmtpReply> hello = Command("EHLO " + settings_.helo_name);
  if (hello && hello->code >= 500) hello = Command("HELO " + settings_.helo_name);
  if (!hello || hello->code != 250) {
    *answer = hello ? "the relay refuses the greeting: " + hello->Describe() : failure_;
    Quit();
    return false;
  }
  for (size_t i = 1; i < hello->lines.size(); ++i) {
    std::string_view keyword = hello->lines[i];
    keyword = keyword.substr(0, keyword.find(' '));
    if (EqualsIgnoreCase(keyword, "8BITMIME")) eight_bit_mime_ = true;
  }
  return true;
}

SmtpOutcome SmtpSession::Send(const std::vector<std::string>& recipients,
                              std::string_view message) {
  if (!usable_) return Lost();
  std::string mail_from = "MAIL FROM:<" + settings_.sender + ">";
  if (eight_bit_mime_ && HasEightBitBytes(message)) mail_from += " BODY=8BITMIME";
  std::optional<SmtpReply> reply = Command(mail_from);
  if (!reply) return Lost();
  if (reply->code != 250) {
    Reset();
    return RefusalOf(*reply);
  }
  size_t accepted = 0;
  std::vector<std::string> refused;
  std::vector<std::string> deferred;
  for (const std::string& recipient : recipients) {
    if (!IsCommandSafeAddress(recipient)) {
      // Appended piece by piece: g++ 12 at -O3 warns wrongly about "<" + a temporary.
      std::string why(1, '<');
      why += Describe(recipient);
      why += ">: not an address";
      refused.push_back(std::move(why));
      continue;
    }
    reply = Command("RCPT TO:<" + recipient + ">");
    if (!reply) return Lost();
    if (reply->code == 250 || reply->code == 251) {
      ++accepted;
    } else {
      (reply->code >= 500 ? refused : deferred).push_back(recipient + ": " + reply->Describe());
    }
  }
  // A recipient refused for now is tried again with the others, so that nobody gets the
  // message twice.
  if (!deferred.empty() || accepted == 0) {
    Reset();
    SmtpOutcome outcome;
    outcome.kind = deferred.empty() ? SmtpOutcome::Kind::kRefused : SmtpOutcome::Kind::kTemporary;
    outcome.answer = Joined(deferred.empty() ? refused : deferred);
    return outcome;
  }
  reply = Command("DATA");
  if (!reply) return Lost();
  if (reply->code != 354) {
    Reset();
    return RefusalOf(*reply);
  }
  if (!SendAll(SmtpDataText(message))) return Lost();
  reply = ReadReply();
  if (!reply) return Lost();
  if (reply->code != 250) return RefusalOf(*reply);
  SmtpOutcome outcome;
  outcome.kind = refused.empty() ? SmtpOutcome::Kind::kAccepted : SmtpOutcome::Kind::kPartlyRefused;
  outcome.answer = refused.empty() ? reply->Describe() : Joined(refused);
  return outcome;
}

void SmtpSession::Quit() {
  // The relay's answer to QUIT changes nothing.
  if (usable_) (void)Command("QUIT");
  socket_.Close();
  usable_ = false;
}

std::string SmtpSession::Describe(std::string_view text) {
  std::string shown;
  for (char c : text.substr(0, 254)) {
    auto u = static_cast<unsigned char>(c);
    shown.push_back(u < 0x20 || u == 0x7F ? '?' : c);
  }
  return shown;
}

bool SmtpSession::WaitReady(bool for_write) {
  for (int waited = 0; waited < settings_.reply_timeout_millis; waited += kWaitSliceMillis) {
    if (stopping_.load()) {
      failure_ = "the service stops";
      usable_ = false;
      return false;
    }
    platform::Socket::WaitResult ready =
        for_write ? socket_.WaitWritable(kWaitSliceMillis) : socket_.WaitReadable(kWaitSliceMillis);
    if (ready == platform::Socket::WaitResult::kReady) return true;
    if (ready == platform::Socket::WaitResult::kError) {
      failure_ = "the connection to the relay failed: " + platform::ErrorText(socket_.error());
      usable_ = false;
      return false;
    }
  }
  failure_ = StrFormat("the relay did not answer within %d ms", settings_.reply_timeout_millis);
  usable_ = false;
  return false;
}

bool SmtpSession::SendAll(std::string_view text) {
  while (!text.empty()) {
    if (!usable_) return false;
    int64_t sent = socket_.SendSome(text.data(), text.size());
    if (sent < 0) {
      failure_ = "the connection to the relay failed: " + platform::ErrorText(socket_.error());
      usable_ = false;
      return false;
    }
    text.remove_prefix(static_cast<size_t>(sent));
    if (sent == 0 && !WaitReady(true)) return false;
  }
  return true;
}

std::optional<SmtpReply> SmtpSession::ReadReply() {
  for (;;) {
    if (!usable_) return std::nullopt;
    std::string_view input(received_);
    SmtpReplyReader::Result result = reader_.Feed(&input);
    received_.erase(0, received_.size() - input.size());
    if (result == SmtpReplyReader::Result::kReply) return reader_.reply();
    if (result == SmtpReplyReader::Result::kBroken) {
      failure_ = "the relay's answer is no SMTP reply";
      usable_ = false;
      return std::nullopt;
    }
    if (!WaitReady(false)) return std::nullopt;
    char piece[kReceivePiece];
    int64_t got = socket_.ReceiveSome(piece, sizeof piece);
    if (got > 0) {
      received_.append(piece, static_cast<size_t>(got));
    } else if (got == 0 || socket_.error() != platform::kErrorWouldBlock) {
      failure_ =
          got == 0 ? "the relay closed the connection"
                   : "the connection to the relay failed: " + platform::ErrorText(socket_.error());
      usable_ = false;
      return std::nullopt;
    }
  }
}

std::optional<SmtpReply> SmtpSession::Command(const std::string& line) {
  if (!SendAll(line + "\r\n")) return std::nullopt;
  return ReadReply();
}

void SmtpSession::Reset() {
  std::optional<SmtpReply> reply = Command("RSET");
  if (!reply || reply->code != 250) {
    failure_ = "the relay did not end the transaction";
    usable_ = false;
  }
}

SmtpOutcome SmtpSession::Lost() {
  SmtpOutcome outcome;
  outcome.kind = SmtpOutcome::Kind::kLost;
  outcome.answer = failure_.empty() ? "the connection to the relay is closed" : failure_;
  usable_ = false;
  return outcome;
}

}  // namespace nvx::service

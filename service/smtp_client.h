// The service's client of the mail transfer protocol (SMTP), which hands the outbox's
// messages to a relay. One session is one connection: the relay's greeting (220), EHLO
// (HELO when the relay does not know EHLO), then per message MAIL FROM, RCPT TO for each
// recipient, DATA and the text, and QUIT at the end. The only extension used is
// 8BITMIME, announced for a text with bytes above 127 when the relay offers it. Every
// reply is awaited at most the reply time-out, every wait ends soon after a stop request,
// and every reply is bounded (kServiceSmtpReplyLineMax, kServiceSmtpReplyLinesMax).
// A session belongs to one thread (the mail delivery's).
#ifndef NVX_SERVICE_SMTP_CLIENT_H_
#define NVX_SERVICE_SMTP_CLIENT_H_

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/socket.h"
#include "service/store/service_limits.h"

namespace nvx::service {

// One reply of the relay: its three-digit code and the texts of its lines.
struct SmtpReply {
  int code = 0;
  std::vector<std::string> lines;

  // "code text" on one line, the lines joined by " / ", as logs and the operator read it.
  std::string Describe() const;
};

// Reads the relay's replies from its bytes as they arrive, in pieces of any size. A line
// is three digits, then "-" (more lines follow), a blank or nothing (the last line), then
// the text up to CR LF (a bare LF is taken too). Pure code; one reader per connection.
class SmtpReplyReader {
 public:
  enum class Result {
    kNeedMore,  // the bytes ran out before the reply was whole
    kReply,     // a whole reply: reply() holds it
    kBroken,    // not a reply: a line without its code, codes that differ within a
                // reply, or a line or reply beyond the bounds
  };
  // Takes bytes from the front of `input` (advancing it) up to the end of one reply.
  // After kReply the next call begins the next reply; after kBroken the reader stays
  // broken.
  Result Feed(std::string_view* input);
  const SmtpReply& reply() const { return reply_; }

 private:
  // Takes one whole line (its line end cut off).
  Result TakeLine(std::string_view line);

  std::string line_;
  SmtpReply reply_;
  bool reply_done_ = false;
  bool broken_ = false;
};

// The text that follows DATA: every line end CR LF (a bare CR or LF becomes one), a line
// longer than the protocol allows broken after 998 bytes, NUL bytes left out, a line that
// begins with "." given a second one, and the closing line ".".
std::string SmtpDataText(std::string_view message);

// Where and as whom the service sends mail.
struct SmtpSettings {
  std::string host;
  int port = 25;
  std::string sender;     // the reverse path of MAIL FROM
  std::string helo_name;  // the name in EHLO or HELO
  int reply_timeout_millis = kServiceSmtpReplyTimeoutMillis;
};

// What became of one message.
struct SmtpOutcome {
  enum class Kind {
    kAccepted,       // the relay took it for every recipient
    kPartlyRefused,  // took it for some recipients and refused the others for good
    kRefused,        // refused for good (every recipient, the sender or the text)
    kTemporary,      // a temporary refusal (4xx): try again later
    kLost,           // the connection failed or timed out, or the relay's bytes are no
                     // reply: the session is over
  };
  Kind kind = Kind::kLost;
  // The relay's answers that decided it (for a refused recipient with its address), or
  // what failed.
  std::string answer;
};

class SmtpSession {
 public:
  // `stopping` ends every wait soon after it is set; it must outlive the session.
  SmtpSession(const SmtpSettings& settings, const std::atomic<bool>& stopping);
  SmtpSession(const SmtpSession&) = delete;
  SmtpSession& operator=(const SmtpSession&) = delete;

  // Connects, reads the greeting and introduces itself. False, with the relay's answer
  // or what failed in `answer`, when the relay cannot take mail now.
  [[nodiscard]] bool Open(std::string* answer);
  // Sends one message (its header lines, an empty line and its text) to `recipients`.
  // After kLost, or when usable() is false, the session takes no further message.
  [[nodiscard]] SmtpOutcome Send(const std::vector<std::string>& recipients,
                                 std::string_view message);
  bool usable() const { return usable_; }
  // Says goodbye (QUIT) and closes the connection; what the relay answers no longer
  // matters.
  void Quit();

 private:
  // A text of the peer's or of the store's as a log line may show it.
  static std::string Describe(std::string_view text);
  // Waits until the relay's socket is readable or writable, at most the reply time-out;
  // false (and the session unusable) on failure, time-out or stop.
  bool WaitReady(bool for_write);
  // Sends all of `text`; false (and the session unusable) on failure or time-out.
  bool SendAll(std::string_view text);
  // The next reply; nothing (and the session unusable) when none came whole.
  std::optional<SmtpReply> ReadReply();
  // Sends a command line (CR LF added) and reads its reply.
  std::optional<SmtpReply> Command(const std::string& line);
  // Ends a transaction that will not be completed (RSET). A relay that does not answer
  // makes the session unusable.
  void Reset();
  SmtpOutcome Lost();

  const SmtpSettings settings_;
  const std::atomic<bool>& stopping_;
  platform::Socket socket_;
  SmtpReplyReader reader_;
  std::string received_;  // bytes received and not yet read as a reply
  bool usable_ = false;
  bool eight_bit_mime_ = false;  // the relay announced 8BITMIME
  std::string failure_;          // why the session became unusable
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_SMTP_CLIENT_H_

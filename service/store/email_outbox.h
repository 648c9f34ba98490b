// The service's outbox: e-mail texts that clients send (the results of a backup run) are
// written as message files into a folder (DIR/outbox of the embedded store), where a mail
// transfer program or a person can pick them up, or the service's own mail delivery
// hands them to an SMTP relay (ListPending, MarkDelivered, MarkRefused). A message file
// appears whole or not at all (written to a temporary file, flushed, renamed). Lines end
// with CR LF. A message the relay refused moves to the folder's "refused" folder, beside
// a file NAME.answer with the relay's answer, for the operator (moving it back into the
// outbox sends it again). Each account may have only so many messages and bytes waiting
// or refused (kServiceOutboxMessagesMax, kServiceOutboxBytesMax); its files are found by
// name, which begins with the account id in hexadecimal. The bound is kept by a lock of
// this process: the folder has one serving process. Any thread.
#ifndef NVX_SERVICE_STORE_EMAIL_OUTBOX_H_
#define NVX_SERVICE_STORE_EMAIL_OUTBOX_H_

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mutex.h"

namespace nvx::service {

struct OutboxMessage {
  std::vector<std::string> recipients;
  std::string subject;
  std::string account;
  std::string results_type;
  std::string text;
};

// The subject a text gets: its first line, control characters left out, at most 200
// characters.
std::string SubjectOf(std::string_view text);

// The whole message file: "To", "Subject" and the service's own header lines, an empty
// line, then the text.
std::string FormatOutboxMessage(const OutboxMessage& message);

enum class OutboxResult { kWritten, kFull, kFailed };

// A message waiting for delivery, as the mail delivery sees it.
struct PendingMessage {
  std::string id;  // the store's name of the message (the folder outbox: its file name)
  // Empty when the message cannot be read as one (a file too large or without "To:"):
  // it cannot be delivered then.
  std::vector<std::string> recipients;
  std::string content;  // the whole message: header lines, empty line, text
};

// The folder below the outbox that keeps the messages the relay refused.
inline constexpr std::string_view kOutboxRefusedFolder = "refused";

// True for the name of a message file: "....eml", not hidden, no folder.
bool IsMessageFileName(std::string_view name);

// The recipients of a message file's "To:" line (its first line), as FormatOutboxMessage
// writes it; empty when it has none.
std::vector<std::string> RecipientsOf(std::string_view message);

class FolderOutbox {
 public:
  explicit FolderOutbox(std::string folder) : folder_(std::move(folder)) {}
  FolderOutbox(const FolderOutbox&) = delete;
  FolderOutbox& operator=(const FolderOutbox&) = delete;

  // Writes the message into the folder unless the account's waiting messages would then
  // pass a bound (kFull); its file name goes to `file_name`. kFailed when the file could
  // not be written (nothing is left behind then).
  OutboxResult Write(const OutboxMessage& message, std::string* file_name);

  // Delivery (email_outbox_delivery.cc). The waiting messages, oldest first, at most
  // `max`, passing over those named in `skip` (when given). False when the folder cannot
  // be read.
  bool ListPending(size_t max, std::vector<PendingMessage>* messages,
                   const std::set<std::string>* skip = nullptr);
  // Removes a waiting message: the relay accepted it. False when it is not there.
  bool MarkDelivered(std::string_view id);
  // Moves a waiting message into the refused folder with `answer` beside it. False when
  // it is not there or could not be moved (it stays waiting then).
  bool MarkRefused(std::string_view id, std::string_view answer);
  // The number of waiting messages; nothing when the folder cannot be read.
  std::optional<int64_t> CountPending();

 private:
  const std::string folder_;
  // Counting an account's messages and adding one is a single step for all threads: the
  // folder's message files are what this lock guards.
  platform::Mutex mutex_;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_EMAIL_OUTBOX_H_

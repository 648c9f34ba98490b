// The service's outbox: e-mail texts that clients send (the results of a backup run) are
// written as message files into a folder (DIR/outbox of the embedded store), where a mail
// transfer program or a person can pick them up. A message file appears whole or not at
// all (written to a temporary file, flushed, renamed). Lines end with CR LF. Each account
// may have only so many messages and bytes waiting (kServiceOutboxMessagesMax,
// kServiceOutboxBytesMax); its files are found by name, which begins with the account id
// in hexadecimal. The bound is kept by a lock of this process: the folder has one serving
// process. Any thread.
#ifndef NVX_SERVICE_STORE_EMAIL_OUTBOX_H_
#define NVX_SERVICE_STORE_EMAIL_OUTBOX_H_

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

class FolderOutbox {
 public:
  explicit FolderOutbox(std::string folder) : folder_(std::move(folder)) {}
  FolderOutbox(const FolderOutbox&) = delete;
  FolderOutbox& operator=(const FolderOutbox&) = delete;

  // Writes the message into the folder unless the account's waiting messages would then
  // pass a bound (kFull); its file name goes to `file_name`. kFailed when the file could
  // not be written (nothing is left behind then).
  OutboxResult Write(const OutboxMessage& message, std::string* file_name);

 private:
  const std::string folder_;
  // Counting an account's messages and adding one is a single step for all threads: the
  // folder's message files are what this lock guards.
  platform::Mutex mutex_;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_EMAIL_OUTBOX_H_

#include "service/store/email_outbox.h"

#include <filesystem>

#include "platform/clock.h"
#include "platform/directory_sync.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/text_format.h"
#include "service/store/blob_store.h"
#include "service/store/service_limits.h"
#include "wire/header_names.h"

namespace nvx::service {
namespace {

constexpr size_t kSubjectMax = 200;

// Header values never carry a line break, whatever the account or client put in them.
std::string HeaderValue(std::string_view text) {
  std::string out;
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7F) out.push_back(c);
  }
  return out;
}

// The start of every message file name of an account: its id (which the store compares
// without letter case) in lower-case hexadecimal, so that any id makes a valid name.
std::string AccountPrefix(std::string_view account) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string prefix;
  for (char c : account) {
    auto u = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    prefix.push_back(kDigits[u >> 4]);
    prefix.push_back(kDigits[u & 15]);
  }
  return prefix + "-";
}

struct OutboxUse {
  size_t messages = 0;
  uint64_t bytes = 0;
};

// Adds the account's message files in `folder` to `use` (temporary files begin with ".",
// the relay's answers beside refused messages end in ".answer").
void AddUse(const std::string& folder, const std::string& prefix, OutboxUse* use) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) != 0 || !IsMessageFileName(name)) continue;
    std::error_code size_error;
    uintmax_t size = entry.file_size(size_error);
    ++use->messages;
    if (!size_error) use->bytes += size;
  }
}

// What the account has waiting, and refused messages that the operator has not cleared.
OutboxUse UseOf(const std::string& outbox_folder, const std::string& prefix) {
  OutboxUse use;
  AddUse(outbox_folder, prefix, &use);
  AddUse(outbox_folder + "/" + std::string(kOutboxRefusedFolder), prefix, &use);
  return use;
}

}  // namespace

bool IsMessageFileName(std::string_view name) {
  constexpr std::string_view kEnding = ".eml";
  return !name.empty() && name[0] != '.' && name.size() > kEnding.size() &&
         name.substr(name.size() - kEnding.size()) == kEnding &&
         name.find('/') == std::string_view::npos;
}

std::vector<std::string> RecipientsOf(std::string_view message) {
  constexpr std::string_view kTo = "To: ";
  std::vector<std::string> recipients;
  if (message.substr(0, kTo.size()) != kTo) return recipients;
  std::string_view line = message.substr(kTo.size());
  line = line.substr(0, line.find_first_of("\r\n"));
  while (!line.empty()) {
    size_t comma = line.find(',');
    std::string_view address = line.substr(0, comma);
    while (!address.empty() && address.front() == ' ') address.remove_prefix(1);
    while (!address.empty() && address.back() == ' ') address.remove_suffix(1);
    if (!address.empty()) recipients.emplace_back(address);
    if (comma == std::string_view::npos) break;
    line.remove_prefix(comma + 1);
  }
  return recipients;
}

std::string SubjectOf(std::string_view text) {
  std::string_view line = text.substr(0, text.find_first_of("\r\n"));
  std::string subject = HeaderValue(line);
  if (subject.size() > kSubjectMax) subject.resize(kSubjectMax);
  return subject;
}

std::string FormatOutboxMessage(const OutboxMessage& message) {
  std::string to;
  for (const std::string& recipient : message.recipients) {
    if (!to.empty()) to += ", ";
    to += HeaderValue(recipient);
  }
  std::string file = "To: " + to + "\r\n";
  file += "Subject: " + HeaderValue(message.subject) + "\r\n";
  file += std::string(kOutboxAccountHeader) + ": " + HeaderValue(message.account) + "\r\n";
  file += std::string(kOutboxResultsTypeHeader) + ": " + HeaderValue(message.results_type) + "\r\n";
  file += "\r\n";
  file += message.text;
  return file;
}

OutboxResult FolderOutbox::Write(const OutboxMessage& message, std::string* file_name) {
  if (folder_.empty()) return OutboxResult::kFailed;
  const std::string& outbox_folder = folder_;
  std::string prefix = AccountPrefix(message.account);
  std::string content = FormatOutboxMessage(message);
  platform::MutexLock lock(mutex_);
  OutboxUse use = UseOf(outbox_folder, prefix);
  if (use.messages + 1 > kServiceOutboxMessagesMax ||
      use.bytes + content.size() > static_cast<uint64_t>(kServiceOutboxBytesMax)) {
    return OutboxResult::kFull;
  }
  std::string name =
      prefix + StrFormat("%lld-%s", static_cast<long long>(platform::GetClock().NowSeconds()),
                         RandomFileName(".eml").c_str());
  std::string temporary = outbox_folder + "/." + name + ".tmp";
  platform::File file = platform::File::Open(temporary, platform::File::Access::kCreateTruncate);
  bool written = file.is_open() && file.Write(content) && file.Sync();
  file.Close();
  if (!written || !platform::RenameFile(temporary, outbox_folder + "/" + name)) {
    platform::RemoveFile(temporary);
    return OutboxResult::kFailed;
  }
  platform::SyncDirectory(outbox_folder);
  *file_name = name;
  return OutboxResult::kWritten;
}

}  // namespace nvx::service

#include "service/email_outbox.h"

#include "platform/clock.h"
#include "platform/directory_sync.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/text_format.h"
#include "service/blob_store.h"

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

}  // namespace

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
  file += "X-NVX-Account: " + HeaderValue(message.account) + "\r\n";
  file += "X-NVX-Results-Type: " + HeaderValue(message.results_type) + "\r\n";
  file += "\r\n";
  file += message.text;
  return file;
}

bool WriteOutboxMessage(const std::string& outbox_folder, const OutboxMessage& message,
                        std::string* file_name) {
  std::string name = StrFormat("%lld-%s", static_cast<long long>(platform::GetClock().NowSeconds()),
                               RandomFileName(".eml").c_str());
  std::string temporary = outbox_folder + "/." + name + ".tmp";
  std::string content = FormatOutboxMessage(message);
  platform::File file = platform::File::Open(temporary, platform::File::Access::kCreateTruncate);
  bool written = file.is_open() && file.Write(content) && file.Sync();
  file.Close();
  if (!written || !platform::RenameFile(temporary, outbox_folder + "/" + name)) {
    platform::RemoveFile(temporary);
    return false;
  }
  platform::SyncDirectory(outbox_folder);
  *file_name = name;
  return true;
}

}  // namespace nvx::service

// The folder outbox as the mail delivery sees it: waiting message files oldest first,
// removed once delivered, moved into the refused folder with the relay's answer.
#include <algorithm>
#include <filesystem>
#include <utility>

#include "platform/directory_sync.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "service/store/email_outbox.h"
#include "service/store/service_limits.h"

namespace nvx::service {
namespace {

// The waiting message files with their modification times; nothing when the folder
// cannot be read.
std::optional<std::vector<std::pair<std::filesystem::file_time_type, std::string>>> WaitingFiles(
    const std::string& folder) {
  std::vector<std::pair<std::filesystem::file_time_type, std::string>> files;
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error) return std::nullopt;
  for (const auto& entry : entries) {
    std::string name = entry.path().filename().string();
    std::error_code entry_error;
    if (!IsMessageFileName(name) || !entry.is_regular_file(entry_error)) continue;
    auto written = entry.last_write_time(entry_error);
    if (entry_error) continue;  // gone meanwhile
    files.emplace_back(written, std::move(name));
  }
  return files;
}

// Reads a message file whole, at most kServiceOutboxMessageFileMax bytes; false when it
// is larger or cannot be read.
bool ReadMessageFile(const std::string& path, std::string* content) {
  platform::File file = platform::File::OpenRegular(path, platform::File::Access::kRead);
  if (!file.is_open()) return false;
  int64_t size = file.Size();
  if (size < 0 || static_cast<uint64_t>(size) > kServiceOutboxMessageFileMax) return false;
  content->resize(static_cast<size_t>(size));
  return file.ReadFully(content->data(), content->size()) == size;
}

}  // namespace

bool FolderOutbox::ListPending(size_t max, std::vector<PendingMessage>* messages,
                               const std::set<std::string>* skip) {
  messages->clear();
  auto files = WaitingFiles(folder_);
  if (!files) return false;
  if (skip != nullptr) {
    std::erase_if(*files, [skip](const auto& file) { return skip->count(file.second) > 0; });
  }
  std::sort(files->begin(), files->end());
  if (files->size() > max) files->resize(max);
  for (auto& [written, name] : *files) {
    PendingMessage message;
    message.id = std::move(name);
    // An unreadable file is listed without recipients, so that the delivery moves it
    // aside instead of meeting it in every round; one that went meanwhile is left out.
    if (ReadMessageFile(folder_ + "/" + message.id, &message.content)) {
      message.recipients = RecipientsOf(message.content);
    } else if (!platform::PathExists(folder_ + "/" + message.id)) {
      continue;
    } else {
      message.content.clear();
    }
    messages->push_back(std::move(message));
  }
  return true;
}

bool FolderOutbox::MarkDelivered(std::string_view id) {
  if (!IsMessageFileName(id)) return false;
  platform::MutexLock lock(mutex_);
  std::string path = folder_ + "/" + std::string(id);
  if (!platform::IsRegularFile(path) || !platform::RemoveFile(path)) return false;
  platform::SyncDirectory(folder_);
  return true;
}

bool FolderOutbox::MarkRefused(std::string_view id, std::string_view answer) {
  if (!IsMessageFileName(id)) return false;
  platform::MutexLock lock(mutex_);
  std::string name(id);
  std::string refused = folder_ + "/" + std::string(kOutboxRefusedFolder);
  if (!platform::IsRegularFile(folder_ + "/" + name)) return false;
  if (!platform::IsDirectory(refused) && !platform::MakeDirectory(refused)) return false;
  // The answer first, so that a refused message never stands there without its reason.
  std::string temporary = refused + "/." + name + ".answer.tmp";
  platform::File file = platform::File::Open(temporary, platform::File::Access::kCreateTruncate);
  bool written = file.is_open() && file.Write(answer) && file.Write("\r\n") && file.Sync();
  file.Close();
  if (!written || !platform::RenameFile(temporary, refused + "/" + name + ".answer") ||
      !platform::RenameFile(folder_ + "/" + name, refused + "/" + name)) {
    platform::RemoveFile(temporary);
    return false;
  }
  platform::SyncDirectory(refused);
  platform::SyncDirectory(folder_);
  return true;
}

std::optional<int64_t> FolderOutbox::CountPending() {
  auto files = WaitingFiles(folder_);
  if (!files) return std::nullopt;
  return static_cast<int64_t>(files->size());
}

}  // namespace nvx::service

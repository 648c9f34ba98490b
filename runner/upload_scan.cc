#include "runner/upload_scan.h"

#include <string>
#include <vector>

#include "platform/directory_search.h"
#include "platform/file_system.h"
#include "platform/text_format.h"
#include "runner/runner_limits.h"

namespace nvx {
namespace {

bool IsExcluded(const JobEntry& job, std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  for (const std::string& extension : job.excluded_extensions) {
    if (EqualsIgnoreCase(name.substr(dot), extension)) return true;
  }
  return false;
}

bool IsSkipFolder(const JobEntry& job, std::string_view name) {
  for (const std::string& folder : job.folder_list) {
    if (EqualsIgnoreCase(folder, name)) return true;
  }
  return false;
}

class Scan {
 public:
  explicit Scan(const JobEntry& job) : job_(job) {}

  // False when the walk had to give up.
  bool Folder(const std::string& folder, std::string_view pattern, bool top) {
    std::vector<platform::DirectoryEntry> entries;
    if (platform::SearchDirectory(folder.empty() ? "/" : folder, pattern, &entries) != 0) {
      return !top;
    }
    entries_ += static_cast<int64_t>(entries.size());
    if (entries_ > kUploadScanMaxEntries) return false;
    for (const platform::DirectoryEntry& entry : entries) {
      if (entry.kind == platform::DirectoryEntry::Kind::kDirectory) {
        if (!job_.include_subfolders || entry.name.starts_with('.') ||
            (top && IsSkipFolder(job_, entry.name))) {
          continue;
        }
        if (!Folder(folder + "/" + entry.name, "*", false)) return false;
      } else if (entry.kind == platform::DirectoryEntry::Kind::kFile &&
                 !IsExcluded(job_, entry.name)) {
        ++count_.files;
        count_.bytes += entry.size;
      }
    }
    return true;
  }

  WorkCount count() const { return count_; }

 private:
  const JobEntry& job_;
  WorkCount count_;
  int64_t entries_ = 0;
};

}  // namespace

std::optional<WorkCount> CountUploadWork(const JobEntry& job) {
  const std::string& file = job.local_file;
  if (!file.empty() && file.find('*') == std::string::npos) {
    std::optional<int64_t> size = platform::FileSizeOf(
        platform::JoinDirectory(job.local_path.empty() ? "/" : job.local_path, file));
    if (!size) return std::nullopt;
    return WorkCount{1, *size};
  }
  Scan scan(job);
  if (!scan.Folder(job.local_path, file.empty() ? std::string_view("*") : file, true)) {
    return std::nullopt;
  }
  return scan.count();
}

}  // namespace nvx

#include "runner/upload_scan.h"

#include <functional>
#include <random>
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
  // Each file found is handed to `sink` with its folder relative to the top.
  using Sink = std::function<void(const std::string& relative, const platform::DirectoryEntry&)>;
  explicit Scan(const JobEntry& job, Sink sink = {}) : job_(job), sink_(std::move(sink)) {}

  // False when the walk had to give up.
  bool Folder(const std::string& folder, std::string_view pattern, bool top,
              const std::string& relative = {}) {
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
        if (!Folder(folder + "/" + entry.name, "*", false,
                    relative.empty() ? entry.name : relative + "/" + entry.name)) {
          return false;
        }
      } else if (entry.kind == platform::DirectoryEntry::Kind::kFile &&
                 !IsExcluded(job_, entry.name)) {
        ++count_.files;
        count_.bytes += entry.size;
        if (sink_) sink_(relative, entry);
      }
    }
    return true;
  }

  WorkCount count() const { return count_; }

 private:
  const JobEntry& job_;
  Sink sink_;
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

std::optional<std::vector<SampledFile>> SampleJobFiles(const JobEntry& job, int count,
                                                       uint32_t seed, int64_t written_before) {
  std::vector<SampledFile> chosen;
  if (count <= 0) return chosen;
  // Reservoir sampling: the k-th file seen takes a place with probability count / k.
  std::mt19937 random(seed);
  int64_t seen = 0;
  Scan scan(job, [&](const std::string& relative, const platform::DirectoryEntry& entry) {
    if (entry.size <= 0 || entry.name.find_first_of("*?") != std::string::npos) return;
    if (written_before > 0 && entry.last_write_time.value_or(0) >= written_before) return;
    ++seen;
    SampledFile file{relative, entry.name, entry.size, entry.last_write_time.value_or(0)};
    if (static_cast<int64_t>(chosen.size()) < count) {
      chosen.push_back(std::move(file));
      return;
    }
    const int64_t place = std::uniform_int_distribution<int64_t>(0, seen - 1)(random);
    if (place < count) chosen[static_cast<size_t>(place)] = std::move(file);
  });
  const std::string& pattern = job.local_file;
  if (!scan.Folder(job.local_path, pattern.empty() ? std::string_view("*") : pattern, true)) {
    return std::nullopt;
  }
  return chosen;
}

}  // namespace nvx

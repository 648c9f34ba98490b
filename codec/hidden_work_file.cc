#include "codec/hidden_work_file.h"

#include <random>

#include "platform/error_text.h"
#include "platform/file_system.h"

namespace nvx {
namespace {

// Room for the dot, the random part and the suffix within a 255-byte name.
constexpr size_t kMaxKeptNameBytes = 200;
constexpr size_t kRandomLetters = 10;
constexpr int kMaxAttempts = 32;
constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
// Lists a folder for work file names only; the names are checked exactly afterwards.
constexpr std::string_view kWorkFilePattern = ".*.nvx*";

std::string RandomLetters() {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, kLetters.size() - 1);
  std::string letters(kRandomLetters, ' ');
  for (char& letter : letters) letter = kLetters[pick(generator)];
  return letters;
}

std::string_view LastComponent(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool IsAnyHiddenWorkFileName(std::string_view name) {
  return IsHiddenWorkFileName(name, kZipWorkSuffix) ||
         IsHiddenWorkFileName(name, kUnpackWorkSuffix);
}

// Removes the work file `path` when its lock is free. The lock is held until the name
// is gone, so that no other run can take the file up in between.
bool RemoveWhenStale(const std::string& path) {
  platform::File file = platform::File::OpenRegular(path, platform::File::Access::kRead);
  return file.is_open() && file.TryLockExclusive() && platform::RemoveFile(path);
}

}  // namespace

std::vector<std::string> RemoveStaleWorkFiles(
    std::string_view folder, const std::vector<platform::DirectoryEntry>& entries) {
  std::vector<std::string> removed;
  for (const platform::DirectoryEntry& entry : entries) {
    // A link to a file is listed as a file; the open below refuses it.
    if (entry.kind != platform::DirectoryEntry::Kind::kFile ||
        !IsAnyHiddenWorkFileName(entry.name)) {
      continue;
    }
    std::string path = platform::JoinDirectory(folder, entry.name);
    if (RemoveWhenStale(path)) removed.push_back(std::move(path));
  }
  return removed;
}

std::vector<std::string> RemoveStaleWorkFilesIn(const std::string& folder) {
  std::vector<platform::DirectoryEntry> entries;
  if (platform::SearchDirectory(folder, kWorkFilePattern, &entries) != 0) return {};
  return RemoveStaleWorkFiles(folder, entries);
}

std::string_view FolderOfPath(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1);
}

platform::File CreateHiddenWorkFile(std::string_view directory, std::string_view name,
                                    std::string_view suffix, std::string* path, int* error) {
  std::string prefix(directory);
  if (!prefix.empty() && prefix.back() != '/') prefix += '/';
  prefix += '.';
  prefix += LastComponent(name).substr(0, kMaxKeptNameBytes);
  prefix += '.';
  int last_error = 0;
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    std::string candidate = prefix + RandomLetters();
    candidate += suffix;
    platform::File file = platform::File::Open(candidate, platform::File::Access::kCreateNew);
    if (file.is_open()) {
      // Another run's sweep may take a file this new for a stale one before its lock is
      // on: then the name is gone, or going, and another is tried. A file system without
      // locks keeps the file unlocked, and no sweep there can take it either.
      const bool locked = file.TryLockExclusive();
      if ((!locked && file.error() == platform::kErrorSharingViolation) ||
          (locked && !file.IsNamed(candidate))) {
        last_error = platform::kErrorSharingViolation;
        continue;
      }
      *path = std::move(candidate);
      *error = 0;
      return file;
    }
    last_error = file.error();
    if (last_error != platform::kErrorFileExists) break;
  }
  *error = last_error;
  path->clear();
  return {};
}

bool IsHiddenWorkFileName(std::string_view file_name, std::string_view suffix) {
  if (file_name.size() < 2 + kRandomLetters + suffix.size() || file_name.front() != '.' ||
      !file_name.ends_with(suffix)) {
    return false;
  }
  const std::string_view rest = file_name.substr(0, file_name.size() - suffix.size());
  const std::string_view letters = rest.substr(rest.size() - kRandomLetters);
  return rest[rest.size() - kRandomLetters - 1] == '.' &&
         letters.find_first_not_of(kLetters) == std::string_view::npos;
}

}  // namespace nvx

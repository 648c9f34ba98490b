#include "service/store/blob_store.h"

#include <chrono>
#include <filesystem>
#include <random>
#include <unordered_set>

#include "codec/hidden_work_file.h"
#include "platform/directory_sync.h"
#include "platform/file_system.h"
#include "platform/mutex.h"
#include "platform/text_format.h"

namespace nvx::service {
namespace {

// The process's source of random names, drawn from by all connection threads. Seeded
// with the whole width of its state's worth of the system's randomness: processes seeded
// alike would make the same names.
struct NameSource {
  NameSource() {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(),
                       device(), device(), device(), device()};
    platform::MutexLock lock(mutex);
    generator.seed(seed);
  }
  platform::Mutex mutex;
  std::mt19937_64 generator GUARDED_BY(mutex);
};

// Whether a name of the blob folder is a temporary file or an unfinished unpacked entry.
bool IsTemporaryName(const std::filesystem::path& path) {
  return path.extension() == ".tmp" ||
         IsHiddenWorkFileName(path.filename().string(), kUnpackWorkSuffix);
}

}  // namespace

std::string RandomFileName(std::string_view ending) {
  static NameSource source;
  platform::MutexLock lock(source.mutex);
  uint64_t high = source.generator();
  uint64_t low = source.generator();
  return StrFormat("%016llx%016llx%.*s", static_cast<unsigned long long>(high),
                   static_cast<unsigned long long>(low), static_cast<int>(ending.size()),
                   ending.data());
}

bool IsInlineBlobName(std::string_view blob) {
  return blob.ends_with(kInlineBlobEnding);
}

std::string BlobStore::NewName(std::string_view ending) const {
  return name_prefix_ + RandomFileName(ending);
}

std::string BlobStore::PathOf(std::string_view blob) const {
  return folder_ + "/" + std::string(blob);
}

std::string BlobStore::SignaturePathOf(std::string_view blob) const {
  return PathOf(blob) + std::string(kSignatureEnding);
}

void BlobStore::Remove(std::string_view blob) const {
  if (blob.empty()) return;
  // The signature first: a crash in between leaves an unreferenced blob, which the next
  // start removes, never a signature without its blob.
  platform::RemoveFile(SignaturePathOf(blob));
  if (!IsInlineBlobName(blob)) platform::RemoveFile(PathOf(blob));
}

int BlobStore::RemoveStaleTemporaryFiles() const {
  std::error_code error;
  int removed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder_, error)) {
    const std::filesystem::path& path = entry.path();
    if (!entry.is_regular_file(error)) continue;
    // Archive entries being unpacked are written under work names of their own; with one
    // serving process nobody unpacks into this folder while the server starts.
    if (IsHiddenWorkFileName(path.filename().string(), kUnpackWorkSuffix)) {
      if (platform::RemoveFile(path.string())) ++removed;
      continue;
    }
    if (path.extension() != ".tmp") continue;
    // The lock is taken on a file of its own; a writer at work keeps it and its file.
    platform::File file = platform::File::Open(path.string(), platform::File::Access::kRead);
    if (!file.is_open() || !file.TryLockExclusive()) continue;
    if (platform::RemoveFile(path.string())) ++removed;
  }
  return removed;
}

int BlobStore::RemoveExpiredTemporaryFiles(int64_t age_seconds) const {
  std::error_code error;
  auto now = std::filesystem::file_time_type::clock::now();
  int removed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder_, error)) {
    if (!IsTemporaryName(entry.path()) || !entry.is_regular_file(error)) continue;
    auto written = entry.last_write_time(error);
    if (error || now - written < std::chrono::seconds(age_seconds)) continue;
    if (platform::RemoveFile(entry.path().string())) ++removed;
  }
  return removed;
}

int BlobStore::RemoveUnreferencedBlobs(const std::vector<std::string>& referenced,
                                       int64_t age_seconds) const {
  std::unordered_set<std::string> named(referenced.begin(), referenced.end());
  std::error_code error;
  auto now = std::filesystem::file_time_type::clock::now();
  int removed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder_, error)) {
    const std::filesystem::path& path = entry.path();
    // A signature belongs to the blob whose name it extends.
    std::string blob = path.filename().string();
    if (path.extension() == kSignatureEnding) blob = path.stem().string();
    // A file of an inline name is a signature, or its bytes copied from a store that kept
    // them itself.
    const std::filesystem::path ending = std::filesystem::path(blob).extension();
    if ((ending != ".blob" && ending != kInlineBlobEnding) || !entry.is_regular_file(error)) {
      continue;
    }
    if (named.count(blob) != 0) continue;
    auto written = entry.last_write_time(error);
    if (error || now - written < std::chrono::seconds(age_seconds)) continue;
    if (platform::RemoveFile(path.string())) ++removed;
  }
  return removed;
}

bool BlobStore::Adopt(const std::string& temporary_path, std::string* blob) const {
  std::string name = NewName(".blob");
  if (!Publish(temporary_path, name, nullptr)) return false;
  *blob = name;
  return true;
}

bool BlobStore::Publish(const std::string& temporary_path, const std::string& blob,
                        int* error) const {
  if (!platform::RenameNoReplace(temporary_path, PathOf(blob), error)) return false;
  platform::SyncDirectory(folder_);
  return true;
}

BlobWriter::BlobWriter(const BlobStore& store)
    : store_(store), temporary_path_(store.TemporaryPath()) {
  file_ = platform::File::Open(temporary_path_, platform::File::Access::kCreateNew);
  if (!file_.is_open() || !file_.TryLockExclusive()) error_ = file_.error();
}

BlobWriter::~BlobWriter() {
  if (!finished_) {
    file_.Close();
    platform::RemoveFile(temporary_path_);
  }
}

bool BlobWriter::Write(const void* data, size_t size) {
  if (!ok()) return false;
  if (!file_.WriteAll(data, size)) {
    error_ = file_.error();
    return false;
  }
  size_ += static_cast<int64_t>(size);
  return true;
}

bool BlobWriter::Flush() {
  if (!ok()) return false;
  if (!file_.Sync()) {
    error_ = file_.error();
    return false;
  }
  return true;
}

bool BlobWriter::Promote(std::string* blob) {
  if (!Flush()) return false;
  if (blob_.empty()) {
    std::string name = store_.NewName(".blob");
    if (!store_.Publish(temporary_path_, name, &error_)) return false;
    finished_ = true;
    blob_ = name;
  }
  *blob = blob_;
  return true;
}

bool BlobWriter::Finish(std::string* blob) {
  if (!ok()) return false;
  if (!file_.Sync()) {
    error_ = file_.error();
    return false;
  }
  file_.Close();
  if (!blob_.empty()) {
    *blob = blob_;
    return true;
  }
  std::string name = store_.NewName(".blob");
  if (!store_.Publish(temporary_path_, name, &error_)) return false;
  finished_ = true;
  *blob = name;
  return true;
}

}  // namespace nvx::service

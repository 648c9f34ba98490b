#include "service/commands/delta_upload.h"

#include <string>
#include <vector>

#include "codec/delta/block_signature.h"
#include "codec/delta/delta_apply.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "service/commands/upload_archive.h"
#include "service/commands/upload_body.h"
#include "service/store/blob_bytes.h"
#include "service/store/blob_store.h"

namespace nvx::service {
namespace {

// The longest delta header: five 19-digit numbers, their commas and the digest.
constexpr size_t kDeltaHeaderMax = 5 * 20 + kSignatureDigestLength;
// What one record adds to its block's bytes at most: ",", up to 19 digits, ",".
constexpr int64_t kRecordOverheadMax = 21;

// A temporary file of the blob folder that goes when the object does. The name ends in
// ".tmp", so a crash leaves nothing that the next start does not remove.
class TemporaryFile {
 public:
  explicit TemporaryFile(const BlobStore& blobs) : path_(blobs.TemporaryPath()) {}
  ~TemporaryFile() { platform::RemoveFile(path_); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The most a delta body may hold for a new version that fits the quota: the whole new
// content in records of the smallest block, and its header.
int64_t DeltaBodyMax(int64_t base_size, int64_t free_space) {
  int64_t content = base_size + std::max<int64_t>(free_space, 0);
  int64_t blocks = content / kServiceSignatureBlockSize + 1;
  return content + blocks * kRecordOverheadMax + static_cast<int64_t>(kDeltaHeaderMax) + 1;
}

// The header at the start of the delta file at `path`.
bool ReadHeaderOf(const std::string& path, DeltaHeader* header) {
  platform::File file = platform::File::Open(path, platform::File::Access::kRead);
  std::string text(kDeltaHeaderMax + 1, '\0');
  int64_t got = file.is_open() ? file.ReadFully(text.data(), text.size()) : -1;
  if (got <= 0) return false;
  text.resize(static_cast<size_t>(got));
  size_t length = 0;
  return ReadDeltaHeader(text, header, &length).empty();
}

bool DigestOfHex(std::string_view hex, Digest* digest) {
  if (hex.size() != digest->size() * 2) return false;
  auto value = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (size_t i = 0; i < digest->size(); ++i) {
    int high = value(hex[2 * i]);
    int low = value(hex[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    (*digest)[i] = static_cast<uint8_t>(high * 16 + low);
  }
  return true;
}

// Receives the body into `writer`: true when it came whole.
bool ReceiveBody(CommandContext& context, const DeltaBody& body, BlobWriter& writer) {
  if (!context.request.read_body || !writer.ok()) return false;
  std::optional<TransferCipher> cipher;
  if (body.key_index) cipher.emplace(*body.key_index);
  UploadBody plain([&writer](const char* data, size_t size) { return writer.Write(data, size); },
                   body.plain_length, cipher ? &*cipher : nullptr);
  bool whole = context.request.read_body(
      [&plain](const char* data, size_t size) { return plain.Take(data, size); });
  return whole && plain.plain_written() == body.plain_length && writer.Flush();
}

// Unpacks the archived delta at `zip_path` into `target`; an entry larger than `most` is
// refused before a byte of it is unpacked.
UnpackResult UnpackDelta(const std::string& zip_path, const TemporaryFile& target, int64_t most) {
  platform::File file =
      platform::File::Open(target.path(), platform::File::Access::kCreateTruncate);
  if (!file.is_open()) return UnpackResult::kInvalid;
  return UnpackFirstEntry(zip_path, file, [most](int64_t size) { return size <= most; });
}

}  // namespace

void ApplyDeltaUpload(CommandContext& context, const Document& base, const DeltaBody& body,
                      std::string_view date_stamp) {
  ServiceEnvironment& service = context.service;
  std::optional<int64_t> room = service.store.UploadRoom(context.account);
  if (!room) {
    context.reply.SetConclusion(kServiceFailure);
    return;
  }
  // A body no new version within the quota could need is not taken in at all, and an
  // archived one does not unpack to more.
  const int64_t body_max = DeltaBodyMax(base.size, *room);
  if (body.plain_length > body_max) {
    context.reply.SetConclusion(kQuotaExceeded);
    return;
  }
  BlobWriter received(service.blobs);
  if (!ReceiveBody(context, body, received)) {
    context.reply.SetConclusion(kDeltaFailed);
    return;
  }
  std::string delta_path = received.temporary_path();
  TemporaryFile unpacked(service.blobs);
  if (body.archive) {
    UnpackResult result = UnpackDelta(delta_path, unpacked, body_max);
    if (result != UnpackResult::kUnpacked) {
      context.reply.SetConclusion(result == UnpackResult::kTooLarge ? kQuotaExceeded
                                                                    : kDeltaFailed);
      return;
    }
    delta_path = unpacked.path();
  }
  DeltaHeader header;
  Document document;
  if (!ReadHeaderOf(delta_path, &header) || !DigestOfHex(header.digest, &document.digest)) {
    context.reply.SetConclusion(kDeltaFailed);
    return;
  }
  // The new version's space is claimed before it is rebuilt, which never writes more than
  // its announced size.
  std::unique_ptr<UploadClaim> reservation =
      service.store.ReserveUpload(context.account, header.new_size - base.size);
  if (!reservation) {
    context.reply.SetConclusion(kQuotaExceeded);
    return;
  }
  TemporaryFile rebuilt(service.blobs);
  BlobBytes base_bytes(service.store, service.blobs, base.blob);
  if (!base_bytes.is_open() || !ApplyDelta(base_bytes.path(), delta_path, rebuilt.path()).empty()) {
    context.reply.SetConclusion(kDeltaFailed);
    return;
  }
  {
    // Forced to the disk before any document names it.
    platform::File file = platform::File::Open(rebuilt.path(), platform::File::Access::kReadWrite);
    if (!file.is_open() || file.Size() != header.new_size || !file.Sync()) {
      context.reply.SetConclusion(kDeltaFailed);
      return;
    }
  }
  if (!service.blobs.Adopt(rebuilt.path(), &document.blob)) {
    context.reply.SetConclusion(kServiceFailure);
    return;
  }
  document.folder = base.folder;
  document.name = base.name;
  document.size = header.new_size;
  document.full_size = header.new_size;
  document.date_stamp = std::string(date_stamp);
  document.complete = true;
  Store::UploadCommit commit;
  commit.document = document;
  commit.replaces_vid = base.vid;
  commit.replaces_blob = base.blob;
  Document stored;
  std::vector<std::string> removed;
  StoreStatus status = service.store.CommitUpload(context.account.key, commit, &stored, &removed);
  if (status != StoreStatus::kOk) {
    service.blobs.Remove(document.blob);
    // A document that changed meanwhile is no base for this delta; the whole file is.
    context.reply.SetConclusion(status == StoreStatus::kChanged ? kDeltaFailed
                                                                : ConclusionOf(status));
    return;
  }
  for (const std::string& blob : removed) service.blobs.Remove(blob);
  context.reply.SetConclusion(kSuccessful);
}

}  // namespace nvx::service

#include "service/commands/document_writer.h"

#include <algorithm>
#include <vector>

#include "service/commands/upload_archive.h"
#include "service/store/blob_bytes.h"
#include "service/store/service_limits.h"

namespace nvx::service {
namespace {

constexpr std::string_view kUploadIncomplete = "Error - Upload Incomplete";
constexpr size_t kCopyPieceSize = 65536;

// Reads the first `count` bytes of `source` from its start into the digest, and into
// `writer` when one is given.
bool ReadPrefix(platform::File& source, int64_t count, Md5Context& md5, BlobWriter* writer) {
  if (!source.Seek(0)) return false;
  std::vector<char> piece(kCopyPieceSize);
  for (int64_t left = count; left > 0;) {
    size_t size = static_cast<size_t>(std::min<int64_t>(left, kCopyPieceSize));
    if (source.ReadFully(piece.data(), size) != static_cast<int64_t>(size)) return false;
    Md5Update(md5, piece.data(), size);
    if (writer != nullptr && !writer->Write(piece.data(), size)) return false;
    left -= static_cast<int64_t>(size);
  }
  return true;
}

}  // namespace

DocumentWriter::DocumentWriter(ServiceEnvironment& service, const Account& account,
                               UploadTarget target, UploadClaim& reservation)
    : service_(service), account_(account), target_(std::move(target)), reservation_(reservation) {
  Md5Init(md5_);
}

DocumentWriter::~DocumentWriter() {
  // A new blob that no document came to name goes again.
  if (blob_owned_) {
    writer_.reset();
    service_.blobs.Remove(blob_);
  }
}

bool DocumentWriter::Fail(std::string_view conclusion) {
  conclusion_ = conclusion;
  return false;
}

bool DocumentWriter::Begin() {
  const std::optional<Document>& previous = target_.previous;
  // Continuing at the end of the stored bytes appends to them where they are; anything
  // else starts a new blob, so the previous document stays whole until the new one is
  // recorded.
  if (target_.continuation && target_.offset > 0 && target_.offset == previous->size) {
    return BeginInPlace();
  }
  if (KeepsInline()) {
    in_memory_ = true;
    memory_.reserve(static_cast<size_t>(target_.full_size));
    return true;
  }
  return BeginTemporary();
}

bool DocumentWriter::KeepsInline() const {
  return !target_.archive && target_.offset == 0 && target_.full_size <= service_.inline_blob_max &&
         service_.store.KeepsInlineBlobs();
}

bool DocumentWriter::Spill() {
  in_memory_ = false;
  writer_ = std::make_unique<BlobWriter>(service_.blobs);
  if (!writer_->ok() || !writer_->Write(memory_.data(), memory_.size())) {
    return Fail(kServiceFailure);
  }
  std::string().swap(memory_);
  return true;
}

bool DocumentWriter::BeginInPlace() {
  const Document& previous = *target_.previous;
  if (StoreStatus claimed = service_.store.ClaimWriter(previous.vid, &writer_claim_);
      claimed != StoreStatus::kOk) {
    return Fail(ConclusionOf(claimed));
  }
  in_place_ = platform::File::Open(service_.blobs.PathOf(previous.blob),
                                   platform::File::Access::kReadWrite);
  if (!in_place_.is_open()) return Fail(kServiceFailure);
  if (!in_place_.TryLockExclusive()) return Fail(kDocumentBusy);
  // Another upload may have moved the document on before this one got the lock.
  std::optional<Document> current = service_.store.FindDocument(account_.key, previous.vid);
  if (!current || current->blob != previous.blob || current->size != previous.size ||
      current->complete) {
    return Fail(kDocumentChanged);
  }
  if (!ResumeDigest(*current) && !ReadPrefix(in_place_, target_.offset, md5_, nullptr)) {
    return Fail(kServiceFailure);
  }
  // Bytes past the document's size were written after its last checkpoint by an upload
  // that did not end; they are no part of it.
  if (!in_place_.Truncate(target_.offset) || !in_place_.SeekToEnd()) {
    return Fail(kServiceFailure);
  }
  blob_ = previous.blob;
  recorded_ = current;
  return true;
}

bool DocumentWriter::ResumeDigest(const Document& document) {
  Md5Context saved;
  if (!Md5LoadState(document.digest_state, &saved) ||
      Md5ByteCount(saved) != static_cast<uint64_t>(document.size)) {
    return false;
  }
  Md5Context check = saved;
  Digest digest{};
  Md5Final(check, digest.data());
  if (digest != document.digest) return false;
  md5_ = saved;
  return true;
}

bool DocumentWriter::BeginTemporary() {
  writer_ = std::make_unique<BlobWriter>(service_.blobs);
  if (!writer_->ok()) return Fail(kServiceFailure);
  if (target_.offset > 0) {
    BlobBytes source(service_.store, service_.blobs, target_.previous->blob);
    if (!source.is_open() || !ReadPrefix(source.file(), target_.offset, md5_, writer_.get())) {
      return Fail(kServiceFailure);
    }
  }
  return true;
}

bool DocumentWriter::Write(const char* data, size_t size) {
  if (in_memory_) {
    // More than announced: no longer small.
    if (static_cast<int64_t>(memory_.size() + size) > service_.inline_blob_max) {
      if (!Spill()) return false;
    } else {
      memory_.append(data, size);
      Md5Update(md5_, data, size);
      written_ += static_cast<int64_t>(size);
      return true;
    }
  }
  while (size > 0) {
    // Pieces end at the checkpoints, so each records a whole number of stretches.
    size_t count = size;
    if (target_.resumable) {
      int64_t to_checkpoint = kServiceUploadCheckpointBytes - (written_ - checkpointed_);
      count = static_cast<size_t>(std::min<int64_t>(to_checkpoint, size));
    }
    bool written = writer_ ? writer_->Write(data, count) : in_place_.WriteAll(data, count);
    if (!written) return Fail(kServiceFailure);
    Md5Update(md5_, data, count);
    written_ += static_cast<int64_t>(count);
    data += count;
    size -= count;
    if (target_.resumable && written_ - checkpointed_ == kServiceUploadCheckpointBytes &&
        !Checkpoint(false)) {
      return false;
    }
  }
  return true;
}

bool DocumentWriter::Checkpoint(bool complete) {
  // Only a whole document is kept in the store; what broke off goes to a file to be
  // continued there.
  if (in_memory_ && !complete && !Spill()) return false;
  std::optional<std::string> inline_bytes;
  if (in_memory_) {
    blob_ = service_.blobs.NewName(kInlineBlobEnding);
    inline_bytes = std::move(memory_);
  } else if (writer_) {
    bool first = blob_.empty();
    if (!writer_->Promote(&blob_)) return Fail(kServiceFailure);
    if (first) blob_owned_ = true;
  } else if (!in_place_.Sync()) {
    return Fail(kServiceFailure);
  }
  Store::UploadCommit commit;
  Document& document = commit.document;
  document.folder = target_.folder;
  document.name = target_.name;
  document.date_stamp = target_.date_stamp;
  document.size = target_.offset + written_;
  document.full_size = complete ? document.size : target_.full_size;
  document.complete = complete;
  document.blob = blob_;
  // The digest of exactly the bytes recorded; the running one goes on, and its state is
  // kept for whoever continues an incomplete document.
  Md5Context copy = md5_;
  Md5Final(copy, document.digest.data());
  if (!complete) document.digest_state = Md5SaveState(md5_);
  // The document this upload recorded last, or else the one it continues or replaces.
  const std::optional<Document>& replaced = recorded_ ? recorded_ : target_.previous;
  if (replaced) {
    commit.replaces_vid = replaced->vid;
    commit.replaces_blob = replaced->blob;
    commit.keep_vid = recorded_.has_value() || target_.continuation;
  }
  // What broke off is smaller than what the quota was checked for.
  commit.check_quota = complete;
  commit.may_defer_durability = complete && next_request_waiting_ != nullptr;
  commit.inline_bytes = std::move(inline_bytes);
  Document stored;
  std::vector<std::string> removed;
  Store::UploadCommitted committed;
  StoreStatus status =
      service_.store.CommitUpload(account_.key, commit, &stored, &removed, &committed);
  if (status != StoreStatus::kOk) return Fail(ConclusionOf(status));
  // Looked at after the commit, when the next request had the longest time to arrive.
  if (committed.durable && !(*next_request_waiting_)()) {
    if (!committed.durable()) return Fail(ConclusionOf(StoreStatus::kFailed));
    committed.durable = nullptr;
  }
  reservation_.Settle(committed.used_change);
  used_after_ = committed.used_after;
  blob_owned_ = false;
  recorded_ = stored;
  checkpointed_ = written_;
  if (committed.durable) {
    // What the new document replaced stays on the disk until the new one is.
    durable_ = [durable = std::move(committed.durable), &blobs = service_.blobs,
                removed = std::move(removed)] {
      if (!durable()) return false;
      for (const std::string& blob : removed) blobs.Remove(blob);
      return true;
    };
    return true;
  }
  for (const std::string& blob : removed) service_.blobs.Remove(blob);
  return true;
}

std::string_view DocumentWriter::Finish(bool whole) {
  if (!conclusion_.empty()) return conclusion_;
  if (whole && target_.archive) return FinishArchive();
  if (whole) return Checkpoint(true) ? kSuccessful : conclusion_;
  // Only what can be resumed is kept: the bytes of a new document or a continuation.
  if (target_.resumable && written_ > checkpointed_) Checkpoint(false);
  return conclusion_.empty() ? kUploadIncomplete : conclusion_;
}

std::string_view DocumentWriter::FinishArchive() {
  Document document;
  // The claim made from what the client announced becomes the entry's own size; an entry
  // that does not fit is refused before a byte of it is unpacked.
  UnpackResult unpacked = UnpackArchive(
      service_.blobs, *writer_,
      [this](int64_t size) { return reservation_.Resize(size - target_.replaced_size); },
      &document);
  if (unpacked == UnpackResult::kTooLarge) return kQuotaExceeded;
  if (unpacked != UnpackResult::kUnpacked) return kInvalidArchive;
  Store::UploadCommit commit;
  document.folder = target_.folder;
  document.name = target_.name;
  document.date_stamp = target_.date_stamp;
  document.complete = true;
  commit.document = document;
  if (target_.previous) {
    commit.replaces_vid = target_.previous->vid;
    commit.replaces_blob = target_.previous->blob;
  }
  Document stored;
  std::vector<std::string> removed;
  StoreStatus status = service_.store.CommitUpload(account_.key, commit, &stored, &removed);
  if (status != StoreStatus::kOk) {
    service_.blobs.Remove(document.blob);
    return ConclusionOf(status);
  }
  for (const std::string& blob : removed) service_.blobs.Remove(blob);
  return kSuccessful;
}

}  // namespace nvx::service

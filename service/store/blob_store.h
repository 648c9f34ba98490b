// The bytes of the documents, one file per document in the blob folder (DIR/blobs, or a
// folder that several service processes share, for example a network mount). A new blob
// is written to a temporary file in the same folder, flushed to the disk and only then
// renamed to its final name, so a blob name in the store never refers to a half-written
// file. The store's transaction that names a new blob runs after the rename; a crash in
// between leaves an unreferenced file, never a reference to a missing one.
//
// Names never collide between processes: every name this process makes begins with the
// prefix its store gave it (Store::BlobNamePrefix, unique among the processes that share
// the store), then 128 random bits; files are created only where no file is (O_EXCL) and
// renamed only onto a free name. Blob names are never reused.
//
// A writer holds an exclusive lock on its temporary file for as long as it lives. With
// one serving process (the embedded store) a temporary file whose lock can be taken was
// left by a writer that a crash stopped; with several, possibly on other machines, only
// age tells (RemoveExpiredTemporaryFiles). Safe for concurrent use by several threads
// and processes.
#ifndef NVX_SERVICE_STORE_BLOB_STORE_H_
#define NVX_SERVICE_STORE_BLOB_STORE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace nvx::service {

inline constexpr std::string_view kSignatureEnding = ".sig";
// The ending of the names of blobs whose bytes the store keeps itself
// (Store::KeepsInlineBlobs): no file in the folder holds them, apart from a signature.
inline constexpr std::string_view kInlineBlobEnding = ".inline";

bool IsInlineBlobName(std::string_view blob);

class BlobStore {
 public:
  explicit BlobStore(std::string folder, std::string name_prefix = {})
      : folder_(std::move(folder)), name_prefix_(std::move(name_prefix)) {}

  const std::string& folder() const { return folder_; }
  // A fresh name for a new blob (ending ".blob" or kInlineBlobEnding) or temporary file
  // (ending ".tmp").
  std::string NewName(std::string_view ending) const;
  // A fresh path for a temporary file in the folder.
  std::string TemporaryPath() const { return PathOf(NewName(".tmp")); }
  std::string PathOf(std::string_view blob) const;
  // The block signature kept beside a blob (made when it is first asked for): the blob's
  // name with kSignatureEnding. It goes with its blob.
  std::string SignaturePathOf(std::string_view blob) const;
  // Removes a blob that no document names any more, with its signature; a missing file is
  // no failure. Of an inline blob only the signature is here.
  void Remove(std::string_view blob) const;
  // Removes the temporary files that no writer holds any more (left by writers that a
  // crash stopped) and unfinished unpacked archive entries. Only for a folder that one
  // serving process uses, when it starts. Returns how many went.
  int RemoveStaleTemporaryFiles() const;
  // Removes the temporary files and unfinished unpacked entries that were last written at
  // least `age_seconds` ago, whoever left them: with several serving processes no lock
  // tells whether a writer on another machine still works on one, but a writer at work
  // writes its file far more often than that. Returns how many went.
  int RemoveExpiredTemporaryFiles(int64_t age_seconds) const;
  // Removes the blobs (and signatures) that are not in `referenced` and were last written at least
  // `age_seconds` ago: a crash between a blob's rename and the store's transaction that
  // names it leaves one. Younger ones may be a writer's in another process that is about
  // to name it. Returns how many went.
  int RemoveUnreferencedBlobs(const std::vector<std::string>& referenced,
                              int64_t age_seconds) const;
  // Renames a finished temporary file of this folder (written by other means than a
  // BlobWriter, for example an unpacked archive entry) to a fresh blob name, written to
  // `blob`. False when the rename failed; the file is then left where it was.
  bool Adopt(const std::string& temporary_path, std::string* blob) const;
  // Gives a finished temporary file the fresh blob name `blob` (see NewName); false, and
  // the error number in `error`, when it cannot.
  bool Publish(const std::string& temporary_path, const std::string& blob, int* error) const;

 private:
  std::string folder_;
  std::string name_prefix_;
};

// Writes one new blob. Abandoned (destroyed without Finish) it removes its temporary file.
class BlobWriter {
 public:
  explicit BlobWriter(const BlobStore& store);
  ~BlobWriter();
  BlobWriter(const BlobWriter&) = delete;
  BlobWriter& operator=(const BlobWriter&) = delete;

  // False when the temporary file could not be created or written; error() tells why.
  bool ok() const { return file_.is_open() && error_ == 0; }
  int error() const { return error_; }
  bool Write(const void* data, size_t size);
  int64_t size() const { return size_; }
  // The temporary file, which stays until Finish or the writer's end.
  const std::string& temporary_path() const { return temporary_path_; }
  // Forces what was written to the disk, so that others may read the temporary file.
  bool Flush();
  // Flushes and renames the file to a fresh blob name, written to `blob`, and keeps it
  // open and locked: further writes grow the blob in place, and the caller owns the blob
  // (the writer's end no longer removes it).
  bool Promote(std::string* blob);
  // Flushes, closes and renames the file to a fresh blob name (the promoted name, when it
  // was promoted), written to `blob`.
  bool Finish(std::string* blob);

 private:
  const BlobStore& store_;
  std::string temporary_path_;
  platform::File file_;
  int64_t size_ = 0;
  int error_ = 0;
  bool finished_ = false;
  std::string blob_;  // once promoted
};

// A fresh random name (128 random bits) with the given ending.
std::string RandomFileName(std::string_view ending);

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_BLOB_STORE_H_

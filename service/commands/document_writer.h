// Where the bytes of one upload go and how they become a document. A new document, a
// replacement and a restart from the beginning write a temporary blob file; continuing an
// incomplete document at its end appends to its blob in place. A small one of these
// (ServiceEnvironment::inline_blob_max, not an archive) is gathered in memory instead and
// its bytes go into the store in the transaction that records it, when the store keeps
// inline blobs; a body that breaks off is written to a blob file then, as any other. While the body
// arrives, a resumable upload is made durable every kServiceUploadCheckpointBytes: the file is
// flushed and the store records the bytes so far as an incomplete document (size and the
// digest of exactly those bytes), so a crash of the server loses at most the bytes since
// the last checkpoint. A blob may therefore hold more bytes than its document's size
// after a crash; only the first `size` bytes belong to the document, and the next
// continuation cuts the rest off.
//
// Continuing in place claims the document's writer through the store (Store::ClaimWriter,
// kept for every process that shares the store) and takes an exclusive lock on the blob
// file, so two uploads never write one blob at once ("Error - Document Busy"). Each
// checkpoint also records the state of the running digest, so the upload that continues
// the document next (in this process or another) goes on from it without reading the
// stored bytes again. One writer per request, on its thread.
#ifndef NVX_SERVICE_COMMANDS_DOCUMENT_WRITER_H_
#define NVX_SERVICE_COMMANDS_DOCUMENT_WRITER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "codec/md5.h"
#include "platform/file.h"
#include "service/commands/command_context.h"
#include "service/store/blob_store.h"
#include "service/store/store.h"

namespace nvx::service {

// What the upload makes.
struct UploadTarget {
  int64_t folder = 0;
  std::string name;
  std::string date_stamp;
  std::optional<Document> previous;  // the document continued or replaced
  int64_t offset = 0;                // bytes of `previous` that the document keeps
  bool continuation = false;         // `previous` is an incomplete document continued
  int64_t full_size = 0;             // the document's size once whole (archives: unknown)
  bool resumable = false;            // what arrived is kept when the body breaks off
  bool archive = false;              // the bytes are a one-entry ZIP archive
  int64_t replaced_size = 0;         // bytes of the documents the new one takes the place of
};

class DocumentWriter {
 public:
  // `reservation` claims the space the upload takes; the writer settles what each
  // checkpoint records and, for an archive, sets the claim to the entry's size. It must
  // outlive the writer.
  DocumentWriter(ServiceEnvironment& service, const Account& account, UploadTarget target,
                 UploadClaim& reservation);
  ~DocumentWriter();
  DocumentWriter(const DocumentWriter&) = delete;
  DocumentWriter& operator=(const DocumentWriter&) = delete;

  // Prepares the file and writes the bytes kept of the previous document. False with the
  // conclusion (conclusion()) when the upload cannot go ahead.
  bool Begin();
  // Adds plain bytes of the document. False when they could not be written or recorded.
  bool Write(const char* data, size_t size);
  // Ends the upload: a whole body becomes the complete document; a broken one is kept as
  // an incomplete document when resumable. Returns the conclusion.
  std::string_view Finish(bool whole);

  std::string_view conclusion() const { return conclusion_; }
  // The account's space used right after the last record this upload made, where the
  // store told it.
  std::optional<int64_t> used_after() const { return used_after_; }

  // Lets the commit of a whole document kept in the store leave the wait for its sync to
  // the reply when `next_request_waiting` says the client's next request has arrived (see
  // Reply::durable). It must outlive the writer.
  void AllowDeferredDurability(const std::function<bool()>* next_request_waiting) {
    next_request_waiting_ = next_request_waiting;
  }
  // The wait the reply must make before it goes out; null when the document was durable
  // before Finish returned. Documents it replaced lose their blob files once it returned
  // true.
  std::function<bool()> TakeDurableWait() { return std::move(durable_); }

 private:
  bool BeginInPlace();
  bool BeginTemporary();
  // Whether the document is gathered in memory and kept in the store (see above).
  bool KeepsInline() const;
  // Moves what was gathered in memory to a temporary blob file.
  bool Spill();
  // Takes up the digest where the document's last checkpoint left it. False when the
  // store keeps no state that fits exactly its bytes and digest.
  bool ResumeDigest(const Document& document);
  // Flushes and records the bytes so far; `complete` when they are the whole document.
  bool Checkpoint(bool complete);
  bool Fail(std::string_view conclusion);
  // Unpacks a whole archive and records its entry as the document. Returns the conclusion.
  std::string_view FinishArchive();

  ServiceEnvironment& service_;
  const Account& account_;
  const UploadTarget target_;
  UploadClaim& reservation_;
  // Held while the previous document's blob is written in place; given up after the file.
  std::unique_ptr<WriterClaim> writer_claim_;
  // Exactly one of the three is in use: the bytes in memory, a new blob, or the previous
  // document's blob.
  bool in_memory_ = false;
  std::string memory_;
  std::unique_ptr<BlobWriter> writer_;
  platform::File in_place_;
  std::string blob_;         // the blob's name once it is one
  bool blob_owned_ = false;  // a new blob that no document names yet
  Md5Context md5_{};
  int64_t written_ = 0;               // bytes after the offset
  int64_t checkpointed_ = 0;          // of them, recorded in the store
  std::optional<Document> recorded_;  // the document as last recorded by this upload
  std::optional<int64_t> used_after_;
  std::string_view conclusion_;
  const std::function<bool()>* next_request_waiting_ = nullptr;
  std::function<bool()> durable_;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_DOCUMENT_WRITER_H_

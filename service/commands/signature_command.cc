// DownLoadX: the block signature of a stored document (block size 2048), sent like a
// document. A document's bytes never change once it is complete (a replacement or a
// patch makes a new version with a new blob), so the signature is made once per version,
// on the first request, and kept beside the blob; it goes with the blob.
#include <string>
#include <utility>

#include "codec/delta/block_signature.h"
#include "platform/error_text.h"
#include "platform/file_system.h"
#include "service/commands/service_commands.h"
#include "service/store/blob_bytes.h"

namespace nvx::service {
namespace {

constexpr std::string_view kNoSignature = "Error - No Signature";

// Makes the signature of `document` and keeps it at `path`: written to a temporary file
// first and given its name only where none is, so that a signature file is always whole
// and never replaced. Of several requests (of any process sharing the blob folder) that
// make it at once, the first to finish publishes it and the others keep to that one: a
// file another process reads is never swapped under it, which a network file system
// would answer with a stale handle. False when the document cannot be signed.
bool KeepSignature(Store& store, const BlobStore& blobs, const Document& document,
                   const std::string& path) {
  BlobBytes blob(store, blobs, document.blob);
  // The bytes of a complete document are exactly its blob.
  if (!blob.is_open() || blob.file().Size() != document.size) return false;
  std::string text;
  std::string error;
  if (!MakeSignature(blob.path(), kServiceSignatureBlockSize, &text, &error)) return false;
  std::string temporary = blobs.TemporaryPath();
  platform::File file = platform::File::Open(temporary, platform::File::Access::kCreateNew);
  bool written = file.is_open() && file.TryLockExclusive() && file.Write(text) && file.Sync();
  int code = 0;
  bool kept = written && (platform::RenameNoReplace(temporary, path, &code) ||
                          code == platform::kErrorFileExists);
  if (!kept || code == platform::kErrorFileExists) platform::RemoveFile(temporary);
  return kept;
}

}  // namespace

void SignatureDownloadCommand(CommandContext& context) {
  std::optional<Document> document = DownloadableDocument(context);
  if (!document) return;
  const BlobStore& blobs = context.service.blobs;
  std::string path = blobs.SignaturePathOf(document->blob);
  auto file =
      std::make_shared<platform::File>(platform::File::Open(path, platform::File::Access::kRead));
  if (!file->is_open()) {
    // An empty document has no blocks to sign.
    if (document->size == 0 || !KeepSignature(context.service.store, blobs, *document, path)) {
      context.reply.SetConclusion(kNoSignature);
      return;
    }
    *file = platform::File::Open(path, platform::File::Access::kRead);
    // The document went while it was signed: its signature goes too.
    if (!context.service.store.FindDocument(context.account.key, document->vid)) {
      platform::RemoveFile(path);
    }
  }
  int64_t size = file->is_open() ? file->Size() : -1;
  if (size <= 0) {
    context.reply.SetConclusion(kServiceFailure);
    return;
  }
  SendFileBody(context, std::move(file), 0, size, false, false);
}

}  // namespace nvx::service

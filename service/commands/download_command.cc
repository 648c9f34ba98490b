// Downloads: GET DownLoad sends the stored document that X-NVX-LUPIN names. What travels
// is decided from the request's headers before a byte is sent:
//  - X-NVX-RESTART2 names the copy the client holds already. When it is the whole
//    document the answer is "UGOTIT" and no body; when it is a true beginning of it only
//    the rest travels (X-NVX-RESTART: 1). An enciphered rest must start on a 2048-byte
//    block, because the client deciphers its work file block by block; otherwise, and
//    for a copy that differs, the whole document travels.
//  - A client that asks for transfer compression (X-NVX-FANG field 4) gets a one-entry
//    ZIP archive of a whole document that is not of a compressed type already.
//  - With transfer encryption on, the body is enciphered in 8-byte blocks, zero-padded.
// X-NVX-Fang tells the client the length of the file it ends up with (its copy plus the
// rest on a restart, the archive when zipped), the key index and whether it is an
// archive. The bytes stream from the blob (see FileBody); memory does not grow with the
// document's size.
#include <utility>
#include <vector>

#include "codec/md5.h"
#include "codec/zip_archive.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/text_format.h"
#include "service/commands/compressed_types.h"
#include "service/commands/reply_cipher.h"
#include "service/commands/service_commands.h"
#include "service/store/blob_bytes.h"
#include "wire/reply_fields.h"
#include "wire/request_fields.h"

namespace nvx::service {
namespace {

// An enciphered body continues a client's copy only at a multiple of this.
constexpr int64_t kRestartBlockSize = 2048;
constexpr size_t kDigestPieceSize = 256 * 1024;
constexpr std::string_view kCopyCurrent = "UGOTIT";

// The body of a download: from which byte of the document, and whether as an archive.
struct DownloadPlan {
  int64_t offset = 0;
  bool restart = false;
  bool zipped = false;
};

// The MD5 of the first `count` bytes of `file`; nothing when they cannot be read.
std::optional<Digest> PrefixDigest(platform::File& file, int64_t count) {
  if (!file.Seek(0)) return std::nullopt;
  Md5Context md5;
  Md5Init(md5);
  std::vector<char> piece(kDigestPieceSize);
  for (int64_t left = count; left > 0;) {
    size_t want = static_cast<size_t>(std::min<int64_t>(left, kDigestPieceSize));
    if (file.ReadFully(piece.data(), want) != static_cast<int64_t>(want)) return std::nullopt;
    Md5Update(md5, piece.data(), want);
    left -= static_cast<int64_t>(want);
  }
  Digest digest;
  Md5Final(md5, digest.data());
  return digest;
}

// Compares the client's copy (X-NVX-RESTART2) with the document: true when the copy is
// the whole document; otherwise `plan` says where the body starts.
bool CompareClientCopy(CommandContext& context, const Document& document, platform::File& file,
                       DownloadPlan* plan) {
  std::optional<std::string_view> header = context.request.headers.Find(kRestartDigestHeader);
  if (!header) return false;
  std::optional<RestartDigestReference> copy = ParseRestartDigestReference(*header);
  // A copy of another version, or longer than this one, cannot be a beginning of it.
  if (!copy || copy->vid != document.vid || copy->size > document.size) return false;
  if (copy->size == document.size) return copy->digest == document.digest;
  if (context.account.encrypt && copy->size % kRestartBlockSize != 0) return false;
  std::optional<Digest> prefix = PrefixDigest(file, copy->size);
  if (prefix && *prefix == copy->digest) {
    plan->offset = copy->size;
    plan->restart = true;
  }
  return false;
}

// Packs the document's bytes (at `bytes_path`) into a temporary archive in the blob folder and
// opens it. The archive is removed from the folder at once: the open file keeps its bytes until the
// body went out, and nothing is left behind when the client goes or the server stops.
// A crash while packing leaves a temporary file that the next start removes.
std::shared_ptr<platform::File> PackedDocument(const BlobStore& blobs,
                                               const std::string& bytes_path) {
  std::string path = blobs.TemporaryPath();
  platform::File lock = platform::File::Open(path, platform::File::Access::kCreateNew);
  int error = 0;
  std::shared_ptr<platform::File> archive;
  if (lock.is_open() && lock.TryLockExclusive() && ZipOneFile(bytes_path, path, &error)) {
    archive =
        std::make_shared<platform::File>(platform::File::Open(path, platform::File::Access::kRead));
  }
  platform::RemoveFile(path);
  if (!archive || !archive->is_open()) return nullptr;
  return archive;
}

}  // namespace

std::optional<Document> DownloadableDocument(CommandContext& context) {
  std::optional<int64_t> vid = ParseVersionReference(HeaderOrEmpty(context, kDocumentHeader));
  std::optional<Document> document;
  if (vid) document = context.service.store.FindDocument(context.account.key, *vid);
  std::optional<Folder> folder;
  if (document) folder = context.service.store.FindFolder(context.account.key, document->folder);
  if (!document || !folder || context.service.store.IsHidden(*folder)) {
    context.reply.SetConclusion(kDocumentNotFound);
    return std::nullopt;
  }
  if (!document->complete) {
    context.reply.SetConclusion(kDocumentIncomplete);
    return std::nullopt;
  }
  return document;
}

void SendFileBody(CommandContext& context, std::shared_ptr<platform::File> file, int64_t offset,
                  int64_t length, bool restart, bool zipped) {
  FileBody body;
  body.file = std::move(file);
  body.offset = offset;
  body.length = length;
  int key_index = 0;
  if (context.account.encrypt) {
    key_index = ReplyKeyIndex(platform::GetClock().NowSeconds());
    body.key_index = static_cast<size_t>(key_index);
  }
  if (restart) context.reply.SetHeader(kRestartHeader, kRestartAnswer);
  context.reply.SetHeader(kDownloadTransferHeader,
                          DownloadFangText(offset + length, key_index, zipped));
  context.reply.content_type = "application/octet-stream";
  context.reply.file_body = std::move(body);
  context.reply.SetConclusion(kSuccessful);
}

void DownloadCommand(CommandContext& context) {
  std::optional<Document> document = DownloadableDocument(context);
  if (!document) return;
  BlobBytes bytes(context.service.store, context.service.blobs, document->blob);
  auto file = std::make_shared<platform::File>(std::move(bytes.file()));
  if (!file->is_open()) {
    context.reply.SetConclusion(kServiceFailure);
    return;
  }
  DownloadPlan plan;
  if (CompareClientCopy(context, *document, *file, &plan)) {
    context.reply.SetConclusion(kCopyCurrent);
    return;
  }
  std::optional<FangFields> fields = ParseFangFields(HeaderOrEmpty(context, kTransferHeader));
  bool compress = fields && fields->transfer_compress == 1;
  if (compress && !plan.restart && document->size > 0 && !IsOfCompressedType(document->name)) {
    std::shared_ptr<platform::File> archive = PackedDocument(context.service.blobs, bytes.path());
    int64_t archive_size = archive ? archive->Size() : -1;
    if (archive_size < 0) {
      context.reply.SetConclusion(kServiceFailure);
      return;
    }
    SendFileBody(context, std::move(archive), 0, archive_size, false, true);
    return;
  }
  SendFileBody(context, std::move(file), plan.offset, document->size - plan.offset, plan.restart,
               false);
}

}  // namespace nvx::service

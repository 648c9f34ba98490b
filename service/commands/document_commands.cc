// The document commands: a folder's file list and count, deleting a document, completing
// an incomplete one, and the file information of one document.
#include <vector>

#include "codec/base64.h"
#include "platform/text_format.h"
#include "service/commands/names.h"
#include "service/commands/service_commands.h"
#include "wire/reply_fields.h"
#include "wire/request_fields.h"

namespace nvx::service {
namespace {

std::optional<int64_t> RequestedVersion(CommandContext& context) {
  std::optional<int64_t> vid = ParseVersionReference(HeaderOrEmpty(context, kDocumentHeader));
  if (!vid) context.reply.SetConclusion(kDocumentNotFound);
  return vid;
}

// An incomplete document is listed without a date, so that no client takes it for a
// copy that matches by date.
std::string ListedDate(const Document& document) {
  return document.complete ? document.date_stamp : std::string(" ");
}

}  // namespace

void FolderFileListCommand(CommandContext& context) {
  std::optional<Folder> folder = VisibleRequestedFolder(context);
  if (!folder) return;
  std::vector<Document> documents;
  if (!context.service.store.ListDocuments(folder->id, &documents)) {
    context.reply.SetConclusion(kServiceFailure);
    return;
  }
  // X-NVX-BIGGLES filters only when it holds a pattern; a path before the pattern (the
  // library's file setting may hold one) does not take part.
  std::string_view pattern = HeaderOrEmpty(context, kNameHeader);
  bool filter = HasWildcard(pattern);
  if (size_t slash = pattern.rfind('\\'); slash != std::string_view::npos) {
    pattern.remove_prefix(slash + 1);
  }
  std::string text;
  for (const Document& document : documents) {
    if (filter && !MatchesPattern(pattern, document.name)) continue;
    // Each field ends with a tab; this service keeps one document per name, so the
    // duplicate count is 0.
    text += StrFormat("%lld\t%s\t%lld\t%s\t0\t0\t", static_cast<long long>(document.vid),
                      document.name.c_str(), static_cast<long long>(document.size),
                      ListedDate(document).c_str());
  }
  text += "\r\n";
  SetListBody(context, text);
  context.reply.SetConclusion(kSuccessful);
}

void FolderFileCountCommand(CommandContext& context) {
  std::optional<Folder> folder = VisibleRequestedFolder(context);
  if (!folder) return;
  int64_t count = 0;
  StoreStatus status = context.service.store.CountDocuments(folder->id, &count);
  if (status != StoreStatus::kOk) {
    context.reply.SetConclusion(ConclusionOf(status));
    return;
  }
  context.reply.SetConclusion(StrFormat("OK,%lld", static_cast<long long>(count)));
}

void DeleteDocCommand(CommandContext& context) {
  std::optional<int64_t> vid = RequestedVersion(context);
  if (!vid) return;
  std::string blob;
  StoreStatus status = context.service.store.DeleteDocument(context.account.key, *vid, &blob);
  if (status == StoreStatus::kOk) context.service.blobs.Remove(blob);
  context.reply.SetConclusion(status == StoreStatus::kNotFound ? kDocumentNotFound
                                                               : ConclusionOf(status));
}

void ResetIncompleteDocCommand(CommandContext& context) {
  std::optional<int64_t> vid = RequestedVersion(context);
  if (!vid) return;
  StoreStatus status = context.service.store.CompleteDocument(context.account.key, *vid);
  context.reply.SetConclusion(status == StoreStatus::kNotFound ? kDocumentNotFound
                                                               : ConclusionOf(status));
}

void FileInfoCommand(CommandContext& context) {
  std::optional<int64_t> vid = RequestedVersion(context);
  if (!vid) return;
  std::optional<Document> document = context.service.store.FindDocument(context.account.key, *vid);
  std::optional<Folder> folder;
  if (document) folder = context.service.store.FindFolder(context.account.key, document->folder);
  if (!document || !folder || context.service.store.IsHidden(*folder)) {
    context.reply.SetConclusion(kDocumentNotFound);
    return;
  }
  std::string digest(reinterpret_cast<const char*>(document->digest.data()),
                     document->digest.size());
  context.reply.SetHeader(kDocumentHeader,
                          FileInfoText(Base64Encode(digest), document->size, document->vid,
                                       ListedDate(*document), document->name));
  context.reply.SetConclusion(kSuccessful);
}

}  // namespace nvx::service

// The is-it-there test: a HEAD whose query is a file name asks whether the folder holds
// that file already, and how the client goes on (send it, resume it, replace it, or
// nothing). The rows are decided in a fixed order; the first that fits answers.
#include "codec/base64.h"
#include "platform/text_format.h"
#include "service/commands/names.h"
#include "service/commands/upload_command.h"
#include "wire/reply_fields.h"
#include "wire/request_fields.h"

namespace nvx::service {
namespace {

// A document allows a differential update when it is complete and holds at least two
// signature blocks (of 2048 bytes), so that a signature can describe it usefully.
constexpr int64_t kSignatureBlockSize = 2048;
constexpr int64_t kDifferentialSizeMin = 2 * kSignatureBlockSize;

bool AllowsDifferential(const Document& document) {
  return document.complete && document.size >= kDifferentialSizeMin;
}

std::string DigestText(const Digest& digest) {
  return Base64Encode(
      std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

// "d,size,vid;": what the store holds of the document.
std::string StoredBytesReference(const Document& document) {
  return StoredBytesText(DigestText(document.digest), document.size, document.vid);
}

// "x,vid;": the client takes only the version id of a document it is to replace.
std::string ReplacementReference(const Document& document) {
  return ReplacementText(document.vid);
}

void Answer(CommandContext& context, std::string_view word, const Document& document,
            bool differential_word) {
  std::string conclusion(word);
  if (differential_word && AllowsDifferential(document)) conclusion += "X";
  context.reply.SetConclusion(conclusion);
}

bool SameBytes(const Document& document, const DigestReference& client) {
  return document.digest == client.digest && document.size == client.size;
}

}  // namespace

void IsItThereCommand(CommandContext& context, std::string_view query) {
  std::optional<Document> document;
  bool named = false;
  // The folder, its access and the document see one state of the store.
  context.service.store.ReadTogether([&] {
    std::optional<Folder> folder = VisibleRequestedFolder(context);
    if (!folder) return;
    std::optional<std::string> name = UnescapeQuery(query);
    if (!name || !IsValidName(*name)) {
      context.reply.SetConclusion(kInvalidName);
      return;
    }
    named = true;
    document = context.service.store.FindDocumentByName(folder->id, *name);
  });
  context.login_reads.reset();
  if (!named) return;
  if (!document) {
    context.reply.SetConclusion("NotHere");
    return;
  }
  std::optional<DigestReference> client =
      ParseDigestReference(HeaderOrEmpty(context, kDocumentHeader));
  if (!document->complete) {
    if (client && SameBytes(*document, *client)) {
      // The client's file is exactly what arrived: the document is whole.
      StoreStatus status =
          context.service.store.CompleteDocument(context.account.key, document->vid, true);
      context.reply.SetConclusion(status == StoreStatus::kOk ? std::string_view("ItsHere")
                                                             : ConclusionOf(status));
      return;
    }
    if (client && client->size == document->size) {
      context.reply.SetConclusion("Replace");
      context.reply.SetHeader(kDocumentHeader, ReplacementReference(*document));
      return;
    }
    context.reply.SetConclusion("Incomplete");
    context.reply.SetHeader(kDocumentHeader, StoredBytesReference(*document));
    return;
  }
  if (client) {
    if (SameBytes(*document, *client)) {
      Answer(context, "ItsHere", *document, true);
    } else {
      Answer(context, "Replace", *document, true);
      context.reply.SetHeader(kDocumentHeader, ReplacementReference(*document));
    }
    return;
  }
  if (HeaderOrEmpty(context, kDateHeader) == document->date_stamp) {
    Answer(context, "ItsHere", *document, false);
    return;
  }
  Answer(context, "DateNoMatch", *document, true);
  context.reply.SetHeader(kDocumentHeader, StoredBytesReference(*document));
}

}  // namespace nvx::service

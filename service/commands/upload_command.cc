// The upload: a PUT whose query is a file name stores the body as a document. What it
// does is decided from the headers before a byte of the body is read (a new document, a
// continuation of an incomplete one, a replacement, a delta for a stored document (see
// delta_upload.h), a refusal), and the space it takes is claimed against the account's
// quota beside the other uploads of the account in flight (Store::ReserveUpload). The
// body then streams into a temporary blob file while its digest is computed, and the
// blob becomes the document's bytes in one store transaction. A body that breaks off is
// kept as an incomplete document where the client can resume it.
#include "service/commands/upload_command.h"

#include <algorithm>
#include <utility>

#include "codec/key_table.h"
#include "platform/clock.h"
#include "platform/text_format.h"
#include "service/commands/delta_upload.h"
#include "service/commands/document_writer.h"
#include "service/commands/names.h"
#include "service/commands/upload_body.h"
#include "wire/date_stamp.h"
#include "wire/request_fields.h"

namespace nvx::service {
namespace {

constexpr std::string_view kInvalidRestart = "Error - Invalid Restart";
constexpr std::string_view kInvalidTransferFields = "Error - Invalid Transfer Fields";
constexpr std::string_view kLengthRequired = "Error - Length Required";
constexpr std::string_view kZipEnding = ".zip";

// What an upload is to do, decided from its headers: the document it makes, and how its
// body travels.
struct UploadPlan {
  UploadTarget target;
  int64_t plain_length = 0;         // the body's bytes without the padding
  std::optional<size_t> key_index;  // the body is enciphered with this key
  int64_t expected_size = 0;        // the body's share of the document once whole
  bool delta = false;               // the body is a delta for target.previous
};

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The stored name of the query's file name: an archive is stored under the name of what
// it holds.
std::optional<std::string> StoredName(std::string_view query, bool archive) {
  std::optional<std::string> name = UnescapeQuery(query);
  if (!name) return std::nullopt;
  if (archive && name->size() > kZipEnding.size() &&
      EqualsIgnoreCase(std::string_view(*name).substr(name->size() - kZipEnding.size()),
                       kZipEnding)) {
    name->resize(name->size() - kZipEnding.size());
  }
  if (!IsValidName(*name)) return std::nullopt;
  return name;
}

// The body's length and cipher from Content-Length and X-NVX-FANG. False with the
// conclusion set when they do not describe a body this service can take.
bool PlanBody(CommandContext& context, UploadPlan* plan) {
  std::optional<int64_t> length = ParseDecimal(Trimmed(HeaderOrEmpty(context, "Content-Length")));
  if (!length) {
    context.reply.SetConclusion(kLengthRequired);
    return false;
  }
  plan->plain_length = *length;
  std::optional<FangFields> fields;
  if (std::optional<std::string_view> fang = context.request.headers.Find(kTransferHeader)) {
    fields = ParseFangFields(*fang);
    if (!fields) {
      context.reply.SetConclusion(kInvalidTransferFields);
      return false;
    }
  }
  FangFields values = fields.value_or(FangFields{});
  plan->target.archive = values.compressed_work_file == 1;
  if (context.account.encrypt) {
    int64_t plain = values.content_length_or_filler;
    int64_t key_code = values.key_code_or_filler;
    if (!fields || plain < 0 || plain > *length ||
        static_cast<int64_t>(RoundUpToBlock(static_cast<size_t>(plain))) != *length ||
        key_code < 0 || key_code > 0xFFFF ||
        KeyIndexOfCode(static_cast<uint16_t>(key_code)) >= kKeyMaterialSize) {
      context.reply.SetConclusion(kInvalidTransferFields);
      return false;
    }
    plan->plain_length = plain;
    plan->key_index = KeyIndexOfCode(static_cast<uint16_t>(key_code));
  }
  // An archive's size once unpacked is what the client announced; the archive itself
  // when that is smaller (the unpacked size is checked again when it is known).
  plan->expected_size = plan->target.archive
                            ? std::max(plan->plain_length, values.size_before_compression)
                            : plan->plain_length;
  return true;
}

// The document a continuation or replacement names, when the account may change it.
std::optional<Document> ChangeableDocument(CommandContext& context, int64_t vid) {
  Store& store = context.service.store;
  std::optional<Document> document = store.FindDocument(context.account.key, vid);
  std::optional<Folder> folder;
  if (document) folder = store.FindFolder(context.account.key, document->folder);
  if (!document || !folder || store.IsHidden(*folder)) {
    context.reply.SetConclusion(kDocumentNotFound);
    return std::nullopt;
  }
  if (folder->access != kAccessWrite) {
    context.reply.SetConclusion(kAccessDenied);
    return std::nullopt;
  }
  return document;
}

// Which document the upload makes or changes. False with the conclusion set.
bool PlanTarget(CommandContext& context, UploadPlan* plan) {
  if (std::optional<std::string_view> restart = context.request.headers.Find(kRestartHeader)) {
    std::optional<RestartReference> reference = ParseRestartReference(*restart);
    if (!reference) {
      context.reply.SetConclusion(kInvalidRestart);
      return false;
    }
    plan->target.previous = ChangeableDocument(context, reference->vid);
    if (!plan->target.previous) return false;
    // Only an incomplete document is continued, never past its stored bytes, and an
    // archive always travels whole.
    if (reference->offset > plan->target.previous->size ||
        (reference->offset > 0 && (plan->target.previous->complete || plan->target.archive))) {
      context.reply.SetConclusion(kInvalidRestart);
      return false;
    }
    plan->target.offset = reference->offset;
    plan->target.continuation = !plan->target.previous->complete;
    plan->target.folder = plan->target.previous->folder;
    return true;
  }
  if (std::optional<std::string_view> lupin = context.request.headers.Find(kDocumentHeader)) {
    std::optional<DocumentReference> reference = ParseDocumentReference(*lupin);
    if (!reference) {
      context.reply.SetConclusion(kDocumentNotFound);
      return false;
    }
    plan->target.previous = ChangeableDocument(context, reference->vid);
    if (!plan->target.previous) return false;
    plan->delta = reference->kind == 1;
    // A delta is made against a whole document.
    if (plan->delta && !plan->target.previous->complete) {
      context.reply.SetConclusion(kDeltaFailed);
      return false;
    }
    plan->target.folder = plan->target.previous->folder;
    return true;
  }
  std::optional<Folder> folder = VisibleRequestedFolder(context);
  if (!folder) return false;
  if (folder->access != kAccessWrite) {
    context.reply.SetConclusion(kAccessDenied);
    return false;
  }
  plan->target.folder = folder->id;
  return true;
}

// The stored name and the size of what the upload replaces: the document it continues or
// replaces and another of the same name in its folder. False with the conclusion set.
bool PlanName(CommandContext& context, std::string_view query, UploadPlan* plan) {
  std::optional<std::string> name = StoredName(query, plan->target.archive);
  if (!name) {
    context.reply.SetConclusion(kInvalidName);
    return false;
  }
  plan->target.name = *name;
  int64_t replaced = plan->target.previous ? plan->target.previous->size : 0;
  if (std::optional<Document> same =
          context.service.store.FindDocumentByName(plan->target.folder, plan->target.name);
      same && (!plan->target.previous || same->vid != plan->target.previous->vid)) {
    replaced += same->size;
  }
  plan->target.replaced_size = replaced;
  return true;
}

// Claims the space the upload takes, counting what it replaces: nothing when it would take
// the space used, with the other uploads of the account in flight, above the quota.
std::unique_ptr<UploadClaim> ReserveSpace(CommandContext& context, const UploadPlan& plan) {
  int64_t size = plan.target.offset + plan.expected_size;
  return context.service.store.ReserveUpload(context.account, size - plan.target.replaced_size);
}

// The date stamp a new version gets: the one the client sent, else that of the document
// it continues, else now.
std::string NewDateStamp(CommandContext& context, const UploadTarget& target) {
  std::string_view stamp = Trimmed(HeaderOrEmpty(context, kDateHeader));
  if (IsDateStamp(stamp)) return std::string(stamp);
  if (target.continuation) return target.previous->date_stamp;
  return FormatDateStamp(platform::GetClock().NowSeconds()).value_or(std::string());
}

}  // namespace

void UploadCommand(CommandContext& context, std::string_view query) {
  UploadPlan plan;
  bool planned = false;
  // The plan's lookups (the folder, its access, the documents it continues or replaces)
  // see one state of the store.
  context.service.store.ReadTogether([&] {
    planned = PlanBody(context, &plan) && PlanTarget(context, &plan) &&
              (plan.delta || PlanName(context, query, &plan));
  });
  context.login_reads.reset();
  if (!planned) return;
  if (plan.delta) {
    // The query names the delta file, not the document, which keeps its name.
    DeltaBody body{plan.plain_length, plan.key_index, plan.target.archive};
    ApplyDeltaUpload(context, *plan.target.previous, body, NewDateStamp(context, plan.target));
    return;
  }
  std::unique_ptr<UploadClaim> reservation = ReserveSpace(context, plan);
  if (!reservation) {
    context.reply.SetConclusion(kQuotaExceeded);
    return;
  }
  plan.target.date_stamp = NewDateStamp(context, plan.target);
  if (!context.request.read_body) {
    context.reply.SetConclusion(kBadRequest);
    return;
  }

  plan.target.full_size = plan.target.offset + plan.plain_length;
  // A new document or a continuation is kept as far as it came; an archive or a
  // replacement that broke off leaves the store as it was.
  plan.target.resumable =
      !plan.target.archive && (!plan.target.previous || plan.target.continuation);
  DocumentWriter writer(context.service, context.account, std::move(plan.target), *reservation);
  if (context.request.next_request_waiting) {
    writer.AllowDeferredDurability(&context.request.next_request_waiting);
  }
  if (!writer.Begin()) {
    context.reply.SetConclusion(writer.conclusion());
    return;
  }
  std::optional<TransferCipher> cipher;
  if (plan.key_index) cipher.emplace(*plan.key_index);
  UploadBody body([&writer](const char* data, size_t size) { return writer.Write(data, size); },
                  plan.plain_length, cipher ? &*cipher : nullptr);
  bool whole = context.request.read_body(
      [&body](const char* data, size_t size) { return body.Take(data, size); });
  whole = whole && body.plain_written() == plan.plain_length;
  context.reply.SetConclusion(writer.Finish(whole));
  context.reply.durable = writer.TakeDurableWait();
  context.used_after = writer.used_after();
}

}  // namespace nvx::service

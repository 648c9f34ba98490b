#include "service/commands/command_context.h"

#include "wire/request_fields.h"

namespace nvx::service {

std::string_view HeaderOrEmpty(const CommandContext& context, std::string_view name) {
  return context.request.headers.Find(name).value_or(std::string_view());
}

std::optional<Folder> RequestedFolder(CommandContext& context) {
  std::optional<FolderReference> reference =
      ParseFolderReference(HeaderOrEmpty(context, kFolderHeader));
  if (!reference) return std::nullopt;
  if (reference->my_files) return context.service.store.FindMyFiles(context.account.key);
  return context.service.store.FindFolder(context.account.key, reference->id);
}

std::optional<Folder> VisibleRequestedFolder(CommandContext& context) {
  std::optional<Folder> folder = RequestedFolder(context);
  if (!folder || context.service.store.IsHidden(*folder)) {
    context.reply.SetConclusion(kFolderNotFound);
    return std::nullopt;
  }
  return folder;
}

std::string_view ConclusionOf(StoreStatus status) {
  switch (status) {
    case StoreStatus::kOk:
      return kSuccessful;
    case StoreStatus::kNotFound:
      return kFolderNotFound;
    case StoreStatus::kExists:
      return kServiceFailure;
    case StoreStatus::kAccessDenied:
      return kAccessDenied;
    case StoreStatus::kTopLevel:
      return kTopLevelFolder;
    case StoreStatus::kIncomplete:
      return kDocumentIncomplete;
    case StoreStatus::kQuotaExceeded:
      return kQuotaExceeded;
    case StoreStatus::kTooDeep:
      return kFolderTooDeep;
    case StoreStatus::kChanged:
      return kDocumentChanged;
    case StoreStatus::kBusy:
      return kDocumentBusy;
    case StoreStatus::kFailed:
      return kServiceFailure;
  }
  return kServiceFailure;
}

}  // namespace nvx::service

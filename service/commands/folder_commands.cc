// The folder commands: the account's tree, creating a folder, and the two deletions.
#include <vector>

#include "platform/text_format.h"
#include "service/commands/names.h"
#include "service/commands/service_commands.h"

namespace nvx::service {

void FolderListCommand(CommandContext& context) {
  std::vector<Folder> folders;
  if (!context.service.store.ListFolders(context.account.key, &folders)) {
    context.reply.SetConclusion(kServiceFailure);
    return;
  }
  std::string text;
  for (const Folder& folder : folders) {
    text += StrFormat("%d\t%s\t%c\t%s\n", folder.level, folder.name.c_str(), folder.access,
                      FolderIdText(folder).c_str());
  }
  SetListBody(context, text);
  context.reply.SetConclusion(kSuccessful);
}

void FolderCreateCommand(CommandContext& context) {
  // The parent is the folder that X-NVX-BLACMANGE names. When the library creates the
  // first folder of a path below "MyFiles", it names the "MyFiles" folder's id; "NO" or
  // an empty id also mean "MyFiles", so a client that has no folder id at hand still
  // creates the folder where its own tree links it.
  std::optional<std::string_view> name = context.request.headers.Find(kNameHeader);
  if (!name || !IsValidName(*name)) {
    context.reply.SetConclusion(kInvalidName);
    return;
  }
  std::optional<Folder> parent = VisibleRequestedFolder(context);
  if (!parent) return;
  Folder folder;
  bool created = false;
  StoreStatus status =
      context.service.store.CreateFolder(context.account.key, parent->id, *name, &folder, &created);
  if (status != StoreStatus::kOk) {
    context.reply.SetConclusion(ConclusionOf(status));
    return;
  }
  context.reply.body = FolderIdText(folder) + "\r\n";
  context.reply.SetConclusion(kSuccessful);
}

void DeleteEmptyFoldersCommand(CommandContext& context) {
  std::optional<Folder> folder = VisibleRequestedFolder(context);
  if (!folder) return;
  int deleted = 0;
  StoreStatus status =
      context.service.store.DeleteEmptyFoldersBelow(context.account.key, folder->id, &deleted);
  context.reply.SetConclusion(ConclusionOf(status));
}

void DeleteFolderTreeCommand(CommandContext& context) {
  std::optional<Folder> folder = VisibleRequestedFolder(context);
  if (!folder) return;
  std::vector<std::string> blobs;
  StoreStatus status =
      context.service.store.DeleteFolderTree(context.account.key, folder->id, &blobs);
  if (status == StoreStatus::kOk) {
    // The store no longer names these blobs; a crash before this point leaves unnamed
    // files, never a document without its bytes.
    for (const std::string& blob : blobs) context.service.blobs.Remove(blob);
  }
  context.reply.SetConclusion(ConclusionOf(status));
}

}  // namespace nvx::service

// The table of GET commands (name, what the metrics page counts it as, routine), the two
// account commands and the reply body shared by the
// list commands.
#include "service/commands/service_commands.h"

#include <array>
#include <utility>

#include "platform/clock.h"
#include "service/commands/reply_cipher.h"

namespace nvx::service {

namespace {

struct ServiceCommand {
  std::string_view name;
  RequestKind kind;
  CommandHandler handler;
};

constexpr std::array<ServiceCommand, 12> kCommands = {{
    {"TestId", RequestKind::kTestId, TestIdCommand},
    {"ResetSpace", RequestKind::kResetSpace, ResetSpaceCommand},
    {"FolderList", RequestKind::kFolderList, FolderListCommand},
    {"FolderCreate", RequestKind::kFolderCreate, FolderCreateCommand},
    {"FolderFileList", RequestKind::kFolderFileList, FolderFileListCommand},
    {"FolderFileCount", RequestKind::kFolderFileCount, FolderFileCountCommand},
    {"DeleteDoc", RequestKind::kDeleteDoc, DeleteDocCommand},
    {"ResetIDoc", RequestKind::kResetIDoc, ResetIncompleteDocCommand},
    {"DEMF", RequestKind::kDeleteEmptyFolders, DeleteEmptyFoldersCommand},
    {"DMFT", RequestKind::kDeleteFolderTree, DeleteFolderTreeCommand},
    {"DownLoad", RequestKind::kDownload, DownloadCommand},
    {"DownLoadX", RequestKind::kSignatureDownload, SignatureDownloadCommand},
}};

}  // namespace

CommandHandler FindServiceCommand(std::string_view name) {
  for (const ServiceCommand& command : kCommands) {
    if (command.name == name) return command.handler;
  }
  return nullptr;
}

RequestKind ServiceCommandKind(std::string_view name) {
  for (const ServiceCommand& command : kCommands) {
    if (command.name == name) return command.kind;
  }
  return RequestKind::kUnknownCommand;
}

void TestIdCommand(CommandContext& context) {
  context.reply.SetConclusion(kSuccessful);
}

void ResetSpaceCommand(CommandContext& context) {
  int64_t used = 0;
  StoreStatus status = context.service.store.RecomputeUsed(context.account.key, &used);
  context.reply.SetConclusion(ConclusionOf(status));
}

void SetListBody(CommandContext& context, std::string_view text) {
  if (context.account.encrypt) {
    context.reply.body = EncipherReplyText(text, platform::GetClock().NowSeconds());
    context.reply.content_type = "application/octet-stream";
  } else {
    context.reply.body = std::string(text);
  }
}

}  // namespace nvx::service

// The table of GET commands, the two account commands and the reply body shared by the
// list commands.
#include "service/commands/service_commands.h"

#include <array>
#include <utility>

#include "platform/clock.h"
#include "service/commands/reply_cipher.h"

namespace nvx::service {

CommandHandler FindServiceCommand(std::string_view name) {
  static constexpr std::array<std::pair<std::string_view, CommandHandler>, 12> kCommands = {{
      {"TestId", TestIdCommand},
      {"ResetSpace", ResetSpaceCommand},
      {"FolderList", FolderListCommand},
      {"FolderCreate", FolderCreateCommand},
      {"FolderFileList", FolderFileListCommand},
      {"FolderFileCount", FolderFileCountCommand},
      {"DeleteDoc", DeleteDocCommand},
      {"ResetIDoc", ResetIncompleteDocCommand},
      {"DEMF", DeleteEmptyFoldersCommand},
      {"DMFT", DeleteFolderTreeCommand},
      {"DownLoad", DownloadCommand},
      {"DownLoadX", SignatureDownloadCommand},
  }};
  for (const auto& [command, handler] : kCommands) {
    if (command == name) return handler;
  }
  return nullptr;
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

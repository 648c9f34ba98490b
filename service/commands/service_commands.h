// The service commands: GET requests whose query is the command's name, and the file
// information HEAD request. Each sets the conclusion (and the body where it has one) of
// the context's reply; the router has checked the login before. Any connection thread.
#ifndef NVX_SERVICE_COMMANDS_SERVICE_COMMANDS_H_
#define NVX_SERVICE_COMMANDS_SERVICE_COMMANDS_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "service/commands/command_context.h"

namespace nvx::service {

// The GET command of that name; null for an unknown name (names are exact).
CommandHandler FindServiceCommand(std::string_view name);
// What the metrics page counts the GET command of that name as; kUnknownCommand for an
// unknown name.
RequestKind ServiceCommandKind(std::string_view name);

// Account commands.
void TestIdCommand(CommandContext& context);
void ResetSpaceCommand(CommandContext& context);

// Folder commands.
void FolderListCommand(CommandContext& context);
void FolderCreateCommand(CommandContext& context);
void DeleteEmptyFoldersCommand(CommandContext& context);  // DEMF
void DeleteFolderTreeCommand(CommandContext& context);    // DMFT

// Document commands.
void FolderFileListCommand(CommandContext& context);
void FolderFileCountCommand(CommandContext& context);
void DeleteDocCommand(CommandContext& context);
void ResetIncompleteDocCommand(CommandContext& context);  // ResetIDoc
void FileInfoCommand(CommandContext& context);            // HEAD FileInfo

// Download commands.
void DownloadCommand(CommandContext& context);           // DownLoad
void SignatureDownloadCommand(CommandContext& context);  // DownLoadX
// The complete, visible document that X-NVX-LUPIN "0,vid;" names; otherwise the reply
// concludes "Document Not Found" or "Document Incomplete".
std::optional<Document> DownloadableDocument(CommandContext& context);
// Makes `length` bytes of `file` from `offset` the reply's body (enciphered when the
// account has transfer encryption on), with X-NVX-Fang and, for the rest of a client's
// copy, X-NVX-RESTART; concludes "Successful".
void SendFileBody(CommandContext& context, std::shared_ptr<platform::File> file, int64_t offset,
                  int64_t length, bool restart, bool zipped);

// Sets the reply body to `text`, enciphered when the account has transfer encryption on.
void SetListBody(CommandContext& context, std::string_view text);

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_SERVICE_COMMANDS_H_

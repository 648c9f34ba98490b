// What a service command works with: the store and blob folder of the service, the
// account that the request's login token proved, the request and the reply to fill. The
// router builds one per authenticated request; commands set the conclusion and the body,
// the router adds the headers every reply carries. One thread per request.
#ifndef NVX_SERVICE_COMMANDS_COMMAND_CONTEXT_H_
#define NVX_SERVICE_COMMANDS_COMMAND_CONTEXT_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "service/commands/exchange.h"
#include "service/store/blob_store.h"
#include "service/store/store.h"

namespace nvx::service {

// The parts of the service that live as long as the server.
struct ServiceEnvironment {
  Store& store;
  BlobStore& blobs;
  std::string web_folder;
  // Whole new documents up to this size go into the store itself when it keeps inline
  // blobs (0: none do).
  int64_t inline_blob_max = 0;
};

struct CommandContext {
  ServiceEnvironment& service;
  const Account& account;
  const IncomingRequest& request;
  Reply& reply;
  // The account's space used right after the command's change, when the command knows it
  // (else the answer's figures are read again).
  std::optional<int64_t> used_after = std::nullopt;
  // The hold of the store's reads that the login's lookup began for the upload and the
  // is-it-there test: they make their lookups in it and end it before anything else.
  std::unique_ptr<Store::HeldReads> login_reads = nullptr;
};

using CommandHandler = void (*)(CommandContext& context);

// Conclusions of the service.
inline constexpr std::string_view kSuccessful = "Successful";
inline constexpr std::string_view kFolderNotFound = "Error - Folder Not Found";
inline constexpr std::string_view kDocumentNotFound = "Error - Document Not Found";
inline constexpr std::string_view kInvalidName = "Error - Invalid Name";
inline constexpr std::string_view kAccessDenied = "Error - Access Denied";
inline constexpr std::string_view kTopLevelFolder = "Error - Top Level Folder";
inline constexpr std::string_view kDocumentIncomplete = "Error - Document Incomplete";
inline constexpr std::string_view kQuotaExceeded = "Error - Quota Exceeded";
inline constexpr std::string_view kFolderTooDeep = "Error - Folder Too Deep";
inline constexpr std::string_view kServiceFailure = "Error - Service Failure";
inline constexpr std::string_view kUnknownCommand = "Error - Unknown Command";
inline constexpr std::string_view kBadRequest = "Error - Bad Request";
inline constexpr std::string_view kDocumentChanged = "Error - Document Changed";
inline constexpr std::string_view kDocumentBusy = "Error - Document Busy";

// The folder that X-NVX-BLACMANGE names, when it belongs to the account. "NO", an empty
// id or no header at all name "MyFiles".
std::optional<Folder> RequestedFolder(CommandContext& context);
// The requested folder when the account may see it (neither it nor a folder above it
// has no access); otherwise the reply concludes "Folder Not Found". Every folder command
// goes through here.
std::optional<Folder> VisibleRequestedFolder(CommandContext& context);

// The value of a request header, or the empty text.
std::string_view HeaderOrEmpty(const CommandContext& context, std::string_view name);

// The conclusion for a store failure other than "not found".
std::string_view ConclusionOf(StoreStatus status);

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_COMMAND_CONTEXT_H_

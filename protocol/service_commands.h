// The service's named commands, each with its status messages and retry policy. A
// command takes what it acts on as arguments (a folder's id and name, a document's
// version id) and gives the service's answer back as a value; it keeps nothing between
// calls. Every command makes at most two exchanges, without a pause between them; a
// command whose last exchange failed with the communication-failure flag set adds a
// communication-failure note to the results report. Worker thread only.
#ifndef NVX_PROTOCOL_SERVICE_COMMANDS_H_
#define NVX_PROTOCOL_SERVICE_COMMANDS_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/exchange_outcome.h"
#include "protocol/folder_tree.h"
#include "protocol/server_file_list.h"
#include "protocol/service_command.h"
#include "protocol/service_session.h"

namespace nvx {

// What "FolderList" gave. An answer with a list text replaces the folder list with
// `tree` (null when the text gave no tree at all); an answer without one leaves the
// folder list as it was.
struct FolderListAnswer {
  bool replaces_list = false;
  std::unique_ptr<FolderTree> tree;
};

// "FolderList": fetches, deciphers when asked and parses the folder list. Ok when a tree
// came; a parse that stopped part way keeps what it read. Otherwise the reason is the
// status message (no answer, an answer without a body, a text that gave no tree).
[[nodiscard]] ExchangeResult<FolderListAnswer> FolderList(ServiceSession& session);

// "FolderFileList" of `folder` (without a folder name a wildcard server file pattern of
// the job goes along): the reply text (deciphered). A reply without a body gives no text,
// which reads as an empty folder.
[[nodiscard]] ExchangeResult<std::optional<std::string>> FolderFileList(ServiceSession& session,
                                                                        const FolderTarget& folder);

// The usable entries of a "FolderFileList" reply text of the server folder named
// `folder_name`. Each entry the parse refused is reported here, once for every consumer
// of the list: an error line, a results note naming it in that folder and, when
// `error_count` is given, one more of that count. `whole` (when given) tells whether no
// entry was refused, so that the entries name every document of the folder.
[[nodiscard]] std::vector<ServerFileEntry> TakeServerFileList(ServiceSession& session,
                                                              std::string_view folder_name,
                                                              std::string_view text,
                                                              std::optional<FileCount> error_count,
                                                              bool* whole = nullptr);

// "FolderFileCount" of `folder`: the count, when the answer is "OK,n" (refused otherwise).
[[nodiscard]] ExchangeResult<int64_t> FolderFileCount(ServiceSession& session,
                                                      const FolderTarget& folder);

// "FolderCreate" of the folder `name` below the folder `parent_id` ("NO" when empty): the
// new folder's id ("-C" carried over from the parent id). Refused when the answer has no
// id.
[[nodiscard]] ExchangeResult<std::string> FolderCreate(ServiceSession& session,
                                                       std::string_view parent_id,
                                                       std::string_view name);

// "DeleteDoc" of the document `version_id` in `folder`: ok when the service says
// "successful" (letter case ignored). A refusal is logged naming `shown_name`.
[[nodiscard]] ExchangeOutcome DeleteDoc(ServiceSession& session, const FolderTarget& folder,
                                        std::string_view version_id, std::string_view shown_name);

// "TestId": the login check; the conclusion becomes error code 10, 11, 14 or 15. The
// caller reads the outcome from the error code and the conclusion; the result tells
// only whether an answer came.
[[nodiscard]] ExchangeOutcome TestId(ServiceSession& session);

// "ResetSpace": refreshes the space figures of the session's account record.
[[nodiscard]] ExchangeOutcome ResetSpace(ServiceSession& session);

// "DEMF": deletes the empty folders below `folder`. Ok when an answer came, whatever it
// said.
[[nodiscard]] ExchangeOutcome DeleteEmptyFolders(ServiceSession& session,
                                                 const FolderRecord& folder);

// "DMFT": deletes `folder` with everything below it. Ok when the service said
// "successful" (letter case ignored).
[[nodiscard]] ExchangeOutcome DeleteFolderTree(ServiceSession& session, const FolderRecord& folder);

}  // namespace nvx

#endif  // NVX_PROTOCOL_SERVICE_COMMANDS_H_

// The service's named commands, each with its status messages, retry policy and what it
// updates. Every command makes at most two exchanges, without a pause between them; a
// command whose last exchange failed with the communication-failure flag set adds a
// communication-failure note to the results report. Worker thread only.
#ifndef NVX_PROTOCOL_SERVICE_COMMANDS_H_
#define NVX_PROTOCOL_SERVICE_COMMANDS_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/server_file_list.h"
#include "protocol/service_session.h"

namespace nvx {

// "FolderList": fetches, deciphers when asked and parses the folder list into the
// protocol's folder list. A tree that the mapped folder points into is kept until Reset.
// False, with the reason as the status message, when no answer came, the answer had no
// body, or its text gave no tree; a parse that stopped part way keeps what it read.
bool FolderList(ServiceSession& session);

// "FolderFileList" of the current server folder id (a wildcard server file pattern goes
// along): the reply text (deciphered) goes into `text`. A reply without a body leaves no
// text, which reads as an empty folder.
bool FolderFileList(ServiceSession& session, std::optional<std::string>* text);

// The usable entries of a "FolderFileList" reply text of the current server folder. Each
// entry the parse refused is reported here, once for every consumer of the list: an
// error line, a results note naming it in the current server folder and, when
// `error_count` is given, one more of that count.
std::vector<ServerFileEntry> TakeServerFileList(ServiceSession& session, std::string_view text,
                                                std::optional<FileCount> error_count);

// "FolderFileCount": the count into the protocol's folder file count. False when the
// answer is not "OK,n".
bool FolderFileCount(ServiceSession& session);

// "FolderCreate" of the current server folder name below the current server folder id:
// the new folder's id goes into the protocol's new folder id ("-C" carried over from
// the parent id). False when the answer has no body.
bool FolderCreate(ServiceSession& session);

// "DeleteDoc" of the document named by the server version id: true when the service says
// "successful" (letter case ignored).
bool DeleteDoc(ServiceSession& session);

// "TestId": the login check; the conclusion becomes error code 10, 11, 14 or 15. Always
// true: the caller reads the outcome from the error code and the conclusion.
bool TestId(ServiceSession& session);

// "ResetSpace": refreshes the space figures. Always true.
bool ResetSpace(ServiceSession& session);

// "DEMF": deletes the empty folders below the mapped folder. False when no folder is
// mapped.
bool DeleteEmptyFolders(ServiceSession& session);

// "DMFT": deletes the mapped folder with everything below it. False when no folder is
// mapped. The command ends true whatever the service answered; `*deleted`, when given,
// tells whether the service said "successful" (letter case ignored).
bool DeleteFolderTree(ServiceSession& session, bool* deleted = nullptr);

}  // namespace nvx

#endif  // NVX_PROTOCOL_SERVICE_COMMANDS_H_

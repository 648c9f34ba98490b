// The generic service command exchange and the pieces of answer handling that the other
// exchanges (e-mail, file information) share with it. A command is a GET of the
// service's script with the command name as query, carrying the login token, the
// current server folder (id, name) and the server version id. Worker thread only.
#ifndef NVX_PROTOCOL_SERVICE_COMMAND_H_
#define NVX_PROTOCOL_SERVICE_COMMAND_H_

#include <string>
#include <string_view>

#include "api/transfer_session.h"

namespace nvx {

// The complete request text of the service command `name` (request line, proxy
// authorization when it applies, headers, empty line).
std::string BuildServiceCommandRequest(TransferSession& session, std::string_view name);

// One exchange of the command `name`: true when an answer header was received (and its
// body when it announced one). The answer's conclusion, space figures, option bits and
// body are taken over; a false result sets the communication-failure flag when the
// exchange broke off at the transport level.
bool ServiceCommand(TransferSession& session, std::string_view name);

// The HEAD query "FileInfo" about the document named by the server version id. True also
// when the answer carries no file information; false on a transport failure (the
// conclusion then reads "CommErr ret ...") or an unusable "X-NVX-LUPIN" answer.
bool FileInfoQuery(TransferSession& session);

// Shared answer handling, for exchanges built on the same rules.
//
// Keeps the answer's first line as the last HTTP response; on a proxy's refusal reports
// it (status "Proxy Auth Failed", error code 9, an error line naming `request_name`),
// closes the connection and returns false.
bool AcceptAnswerStatus(TransferSession& session, std::string_view request_name,
                        std::string_view header);
// Takes "Connection: close" (an interim "HTTP/1.1 100" answer closes the same way), the
// conclusion and the space figures (seeding the space used estimate when
// `seed_estimate`).
void TakeAnswerHeaders(TransferSession& session, std::string_view header, bool seed_estimate);
// Receives the body that the header announces into the link's response body (the
// previous body is released first). False, with the error line "Connection Closed
// Incomplete HTTP response data" and the connection marked to be closed, when the body
// breaks off or is announced larger than kCommandReplyBodyMax; a receive error also sets
// the communication-failure flag and marks the server failed.
bool ReceiveAnswerBody(TransferSession& session, std::string_view request_name,
                       std::string_view header);
// The error lines of an answer header that broke off after `received_bytes` bytes.
void ReportBrokenHeader(TransferSession& session, std::string_view request_name,
                        size_t received_bytes, int64_t last_receive);
// Writes a request or answer line to the activity log's protocol trace.
void TraceProtocolLine(TransferSession& session, std::string_view prefix, std::string_view text);

}  // namespace nvx

#endif  // NVX_PROTOCOL_SERVICE_COMMAND_H_

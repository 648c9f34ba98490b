// The generic service command exchange and the pieces of answer handling that the other
// exchanges (e-mail, file information) share with it. A command is a GET of the
// service's script with the command name as query, carrying the login token and what
// the command names: a server folder (id, name) and a document (version id), given by
// the caller as a CommandTarget. An exchange returns what the answer said as a value;
// only the account's figures (space, option bits) are kept in the session's account
// record. Worker thread only.
#ifndef NVX_PROTOCOL_SERVICE_COMMAND_H_
#define NVX_PROTOCOL_SERVICE_COMMAND_H_

#include <optional>
#include <string>
#include <string_view>

#include "codec/md5.h"
#include "protocol/exchange_outcome.h"
#include "protocol/response_headers.h"
#include "protocol/service_session.h"

namespace nvx {

// The server folder a request names: its id in "X-NVX-BLACMANGE" ("NO" when empty) and
// its name in "X-NVX-BIGGLES". The texts must outlive the call they are given to.
struct FolderTarget {
  std::string_view id;
  std::string_view name;
};

// What one command request names: a folder and a document ("X-NVX-LUPIN: 0,vid;").
struct CommandTarget {
  FolderTarget folder;
  std::string_view version_id;
};

// Where an exchange without an answer broke.
enum class ExchangeBreak {
  kNone,          // answered
  kNoConnection,  // no connection to the service (already reported by the link)
  kProxyRefusal,  // the proxy refused the credentials (already reported)
  kHeader,        // the answer header broke off
  kBody,          // the body was announced with an unusable length, or broke off
};

// What one service command exchange gave.
struct ServiceReply {
  // True when an answer header was received (and its body when it announced one).
  bool answered = false;
  ExchangeBreak broke = ExchangeBreak::kNone;
  // The answer's "X-NVX-CONCLUSION", "" when it had none.
  std::string conclusion;
  // The space figures ("X-NVX-LARCH") and option bits ("X-NVX-CRUNCHYFROG"), when the
  // answer carried them; the protocol's record keeps them too.
  std::optional<SpaceFigures> space;
  std::optional<int32_t> options;
  // The body, when the answer announced one.
  std::optional<std::string> body;

  explicit operator bool() const { return answered; }
};

// The complete request text of the service command `name` naming `target` (request
// line, proxy authorization when it applies, headers, empty line). Without a folder
// name, a wildcard server file pattern of the job goes in "X-NVX-BIGGLES".
[[nodiscard]] std::string BuildServiceCommandRequest(ServiceSession& session, std::string_view name,
                                                     const CommandTarget& target);

// One exchange of the command `name` naming `target`. The conclusion is also reported,
// the space figures and option bits go into the session's account figures; an exchange
// that broke off at the transport level sets the link's communication-failure flag.
[[nodiscard]] ServiceReply ServiceCommand(ServiceSession& session, std::string_view name,
                                          const CommandTarget& target);

// What "FileInfo" says of a document.
struct FileInfoRecord {
  Md5Digest digest{};  // a short digest is completed with zero bytes
  int64_t size = 0;
  std::string version_id;  // the answer's, else the one asked about
  std::string date_stamp;
  std::string name;
};

// The HEAD query "FileInfo" about the document `target` names. Ok also when the answer
// carries no file information (no record then); a transport failure (the conclusion then
// reads "CommErr ret ...", the link's communication-failure flag is set), or refused on
// a proxy's refusal or an unusable "X-NVX-LUPIN" answer.
[[nodiscard]] ExchangeResult<std::optional<FileInfoRecord>> FileInfoQuery(
    ServiceSession& session, const CommandTarget& target);

// Shared answer handling, for exchanges built on the same rules.
//
// Keeps the answer's first line as the last HTTP response; on a proxy's refusal reports
// it (status "Proxy Auth Failed", error code 9, an error line naming `request_name`),
// closes the connection and returns false.
[[nodiscard]] bool AcceptAnswerStatus(ServiceSession& session, std::string_view request_name,
                                      std::string_view header);
// Takes "Connection: close" (an interim "HTTP/1.1 100" answer closes the same way), the
// conclusion (reported, and returned; "" when none) and the space figures (seeding the
// space used estimate when `seed_estimate`) into the session's account figures.
[[nodiscard]] std::string TakeAnswerHeaders(ServiceSession& session, std::string_view header,
                                            bool seed_estimate);
// Receives the body that the header announces into `body` (left empty when the header
// announces none). False, with the error line "Connection Closed
// Incomplete HTTP response data" and the connection marked to be closed, when the body
// breaks off or is announced larger than kCommandReplyBodyMax; a receive error also sets
// the communication-failure flag and marks the server failed.
[[nodiscard]] bool ReceiveAnswerBody(ServiceSession& session, std::string_view request_name,
                                     std::string_view header, std::optional<std::string>* body);
// The error lines of an answer header that broke off after `received_bytes` bytes.
void ReportBrokenHeader(ServiceSession& session, std::string_view request_name,
                        size_t received_bytes, int64_t last_receive);
// Writes a request or answer line to the activity log's protocol trace.
void TraceProtocolLine(ServiceSession& session, std::string_view prefix, std::string_view text);

}  // namespace nvx

#endif  // NVX_PROTOCOL_SERVICE_COMMAND_H_

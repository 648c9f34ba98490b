// The static files each service server publishes under "/uploadmanager/": the version
// file "version.txt" (major.minor.build, a blank, a note) and the help file of this
// release. Neither request carries the login token. The help file is written to the
// work directory (the current folder when none is set) under its own name,
// "norrvaulthelp-1.0.8.chm". Worker thread only.
#ifndef NVX_PROTOCOL_WEB_FILES_H_
#define NVX_PROTOCOL_WEB_FILES_H_

#include <string>
#include <string_view>

#include "protocol/exchange_outcome.h"
#include "protocol/protocol_state.h"
#include "protocol/service_session.h"

namespace nvx {

inline constexpr std::string_view kVersionFileName = "version.txt";
inline constexpr std::string_view kHelpFileName = "norrvaulthelp-1.0.8.chm";
// The help file is received and written in pieces of this size.
inline constexpr size_t kHelpFilePieceSize = 1024;

// Fills `figures` from a version file's text. Parsing stops at the first missing
// separator; the fields after it keep their values.
void ParseVersionText(VersionFigures& figures, std::string_view text);

// Where the help file goes: the work directory joined with kHelpFileName.
[[nodiscard]] std::string HelpFilePath(const JobSettings& job);

// Fetches the version file: its text up to a zero byte. Not ok, with a status message,
// when the server did not deliver it.
[[nodiscard]] ExchangeResult<std::string> FetchVersionFile(ServiceSession& session);
// Fetches the help file into HelpFilePath: the path it went to ("" when the answer
// announced no length and nothing was written; named also when writing it failed). Not
// ok, with a status message or an error line, when it was not delivered or not written.
[[nodiscard]] ExchangeResult<std::string> FetchHelpFile(ServiceSession& session);

}  // namespace nvx

#endif  // NVX_PROTOCOL_WEB_FILES_H_

// The names of the service's own headers, as the library sends them and the service
// answers with them. Each is written here once; the library's builders and parsers and the
// service's commands name them through these constants. Letter case counts where the
// library searches an answer for a name: the download answer's transfer fields travel as
// "X-NVX-Fang", the request's as "X-NVX-FANG". Constants only; any thread.
#ifndef NVX_WIRE_HEADER_NAMES_H_
#define NVX_WIRE_HEADER_NAMES_H_

#include <string_view>

namespace nvx {

// Request headers.
inline constexpr std::string_view kLoginHeader = "X-NVX-RATTART";           // login token
inline constexpr std::string_view kFolderHeader = "X-NVX-BLACMANGE";        // folder id
inline constexpr std::string_view kNameHeader = "X-NVX-BIGGLES";            // folder name, pattern
inline constexpr std::string_view kDateHeader = "X-NVX-DINSDALE";           // date stamp
inline constexpr std::string_view kTransferHeader = "X-NVX-FANG";           // transfer fields
inline constexpr std::string_view kRestartDigestHeader = "X-NVX-RESTART2";  // a copy's digest
inline constexpr std::string_view kEmailHeader = "X-NVX-BEAVERCHEESE";      // e-mail routing
inline constexpr std::string_view kDigestHeader = "X-NVX-NEE";              // digest and size

// Both ways: document references and digests (LUPIN), restarts (RESTART).
inline constexpr std::string_view kDocumentHeader = "X-NVX-LUPIN";
inline constexpr std::string_view kRestartHeader = "X-NVX-RESTART";

// Answer headers.
inline constexpr std::string_view kConclusionHeader = "X-NVX-CONCLUSION";
inline constexpr std::string_view kSpaceHeader = "X-NVX-LARCH";          // quota and space used
inline constexpr std::string_view kOptionsHeader = "X-NVX-CRUNCHYFROG";  // option flags
inline constexpr std::string_view kDownloadTransferHeader = "X-NVX-Fang";

// The message files of the service's outbox carry two lines of the same family: the
// account and the results type of the e-mail text.
inline constexpr std::string_view kOutboxAccountHeader = "X-NVX-Account";
inline constexpr std::string_view kOutboxResultsTypeHeader = "X-NVX-Results-Type";

}  // namespace nvx

#endif  // NVX_WIRE_HEADER_NAMES_H_

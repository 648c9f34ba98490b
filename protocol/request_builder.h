// The bytes of every request the library sends: the request lines (direct and through
// a proxy), the service's "X-NVX-" headers and the standard ones, each a complete line
// ending in CR LF. A request is assembled by appending lines in the order its exchange
// gives and ending with the empty line (kEndOfHeaders). Builders only format: they never
// touch a connection or the shared block. Free-text values (names, results type,
// version ids) are cut at the first CR or LF so that no value can end its line early
// and start a header of its own. Pure functions; any thread.
#ifndef NVX_PROTOCOL_REQUEST_BUILDER_H_
#define NVX_PROTOCOL_REQUEST_BUILDER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "wire/request_fields.h"

namespace nvx {

// The service's script and the library's version text.
inline constexpr std::string_view kScriptName = "rizezi7.dll";
inline constexpr std::string_view kLibraryVersionText = "1.0.8";
inline constexpr std::string_view kEndOfHeaders = "\r\n";

// Where a request goes: the server's request host ("host" or "host:port"), whether it
// travels through a proxy (absolute request target) and, then, the proxy's
// authorization line (empty when none is sent).
struct RequestRoute {
  std::string host;
  bool via_proxy = false;
  std::string proxy_authorization_line;
};

// "METHOD /scripts/rizezi7.dll?QUERY HTTP/1.1", the Host line and, through a proxy, the
// absolute form followed by the proxy authorization line. The query is used as given
// (escape file names with UrlEscape first).
[[nodiscard]] std::string ScriptRequestLine(std::string_view method, std::string_view query,
                                            const RequestRoute& route);
// "GET /uploadmanager/FILE HTTP/1.1" and the Host line. Through a proxy the absolute
// form and the proxy authorization line: a proxy cannot serve an origin-form target.
[[nodiscard]] std::string UploadManagerRequestLine(std::string_view file,
                                                   const RequestRoute& route);

// "CONNECT host:port HTTP/1.1", the Host line, the proxy authorization line (may be
// empty) and the end of the headers: asks a proxy for a tunnel to a TLS service.
[[nodiscard]] std::string TunnelRequest(std::string_view host, std::string_view port_text,
                                        std::string_view proxy_authorization_line);

[[nodiscard]] std::string RattartHeader(std::string_view login_token);
[[nodiscard]] std::string UserAgentHeader();
// "X-NVX-BLACMANGE: id,n": "NO" for an empty id; n = 2 with subfolders, + 1 with
// duplicates.
[[nodiscard]] std::string BlacmangeTwoFieldHeader(std::string_view folder_id, bool subfolders,
                                                  bool duplicates);
[[nodiscard]] std::string BlacmangeOneFieldHeader(std::string_view folder_id);
[[nodiscard]] std::string BigglesHeader(std::string_view value);
// The BIGGLES value of a service command: the named folder's name when set;
// otherwise the server file setting when it holds "*", "?", "[" or "\"; otherwise none.
[[nodiscard]] std::optional<std::string> ServiceCommandBiggles(std::string_view folder_name,
                                                               std::string_view server_file);
// "X-NVX-LUPIN: 0,vid;"
[[nodiscard]] std::string LupinReferenceHeader(std::string_view version_id);
// "X-NVX-LUPIN: digest,size" with the Base64 digest.
[[nodiscard]] std::string LupinDigestHeader(std::string_view digest_base64, int64_t size);
// "X-NVX-LUPIN: 1,vid;" for a delta, "0,vid;" otherwise.
[[nodiscard]] std::string LupinReplacementHeader(bool delta, std::string_view version_id);
[[nodiscard]] std::string RestartHeader(int64_t offset, std::string_view version_id);
[[nodiscard]] std::string Restart2Header(std::string_view digest_base64, int64_t length,
                                         std::string_view version_id);
// "X-NVX-DINSDALE: stamp" of a last-write time; none when the time has no stamp.
[[nodiscard]] std::optional<std::string> DinsdaleHeader(int64_t utc_seconds);
[[nodiscard]] std::string NeeHeader(std::string_view digest_base64, int64_t size);
[[nodiscard]] std::string BeavercheeseHeader(bool to_user, bool to_administrator,
                                             std::string_view results_type);
[[nodiscard]] std::string ContentLengthHeader(int64_t length);

// "X-NVX-FANG" with the five fields (FangFields, FangFor in wire/request_fields.h).
[[nodiscard]] std::string FangHeader(const FangFields& fields);

}  // namespace nvx

#endif  // NVX_PROTOCOL_REQUEST_BUILDER_H_

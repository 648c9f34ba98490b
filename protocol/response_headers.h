// Reading a response header block: the status line tests, and the service's headers,
// each found by a plain (case-sensitive) substring search of the whole block. A value
// starts after the header's name and blank and never reaches past the end of its line
// or of the block. Parsers only read the text they are given. Pure functions; any
// thread.
#ifndef NVX_PROTOCOL_RESPONSE_HEADERS_H_
#define NVX_PROTOCOL_RESPONSE_HEADERS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "wire/reply_fields.h"

namespace nvx {

// True when the header begins with the 12 characters of `status` ("HTTP/1.1 100").
[[nodiscard]] bool StatusIs(std::string_view header, std::string_view status);
// An interim "HTTP/1.1 100" answer.
[[nodiscard]] bool IsInterimResponse(std::string_view header);
// A proxy's refusal of the credentials: "HTTP/1.x 407" always; through a proxy also
// "HTTP/1.x 401", which some proxies send when the credentials are wrong rather than
// missing (the service itself never answers 401).
[[nodiscard]] bool IsProxyRefusal(std::string_view header, bool via_proxy);
// The first kHttpResponseLineMax characters of the header, cut at the first CR.
[[nodiscard]] std::string ResponseLineOf(std::string_view header);
[[nodiscard]] bool SaysConnectionClose(std::string_view header);

// The text after `name` (which includes its ": "), up to the end of its line.
[[nodiscard]] std::optional<std::string_view> HeaderValue(std::string_view header, std::string_view name);

// "X-NVX-CONCLUSION": up to the CR, at most kConclusionMax characters.
[[nodiscard]] std::optional<std::string> ParseConclusion(std::string_view header);

// The service's answer headers, each read by its value's reader in wire/reply_fields.h;
// nothing when the header is missing.
// "X-NVX-LARCH: quota,used".
[[nodiscard]] std::optional<SpaceFigures> ParseLarch(std::string_view header);

// "X-NVX-CRUNCHYFROG: a,b,c": the option bits.
[[nodiscard]] std::optional<int32_t> ParseCrunchyfrog(std::string_view header);

// "Content-Length". `valid` is false for a value that is not a decimal count (no
// digits, a sign, or too large for 64 bits): such a reply is broken.
struct ContentLength {
  bool valid = false;
  int64_t length = 0;
};
[[nodiscard]] std::optional<ContentLength> ParseContentLength(std::string_view header);

// "X-NVX-LUPIN" in the answer to the is-it-there test.
[[nodiscard]] std::optional<IsItThereLupin> ParseIsItThereLupin(std::string_view header, bool replace_answer);

// "X-NVX-LUPIN" in the answer to the file information query.
[[nodiscard]] std::optional<FileInfoLupin> ParseFileInfoLupin(std::string_view header);

// "X-NVX-Fang" (this letter case) in the answer to a download.
[[nodiscard]] std::optional<DownloadFang> ParseDownloadFang(std::string_view header);

// "X-NVX-RESTART" in the answer to a download: present or not.
[[nodiscard]] bool HasRestartHeader(std::string_view header);

}  // namespace nvx

#endif  // NVX_PROTOCOL_RESPONSE_HEADERS_H_

// UrlEscape: the escaping of a file name that travels as a request's query. Reserved
// characters and control bytes become "%XX" (upper-case hexadecimal), blanks become "+",
// every other byte (backslash, "$", "[", "]", bytes above 0x7F) passes unchanged.
// Pure function; any thread.
#ifndef NVX_PROTOCOL_URL_ESCAPE_H_
#define NVX_PROTOCOL_URL_ESCAPE_H_

#include <string>
#include <string_view>

namespace nvx {

// The output is at most three times as long as the input.
[[nodiscard]] std::string UrlEscape(std::string_view text);

}  // namespace nvx

#endif  // NVX_PROTOCOL_URL_ESCAPE_H_

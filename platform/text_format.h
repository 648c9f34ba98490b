// printf-style formatting into std::string, and the one helper that fits texts into the
// fixed-width fields of the system's records. No operating-system dependency; kept here
// because every layer above uses it.
#ifndef NVX_PLATFORM_TEXT_FORMAT_H_
#define NVX_PLATFORM_TEXT_FORMAT_H_

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nvx {

// Formats like printf; the result has no length limit.
[[nodiscard]] std::string StrFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
[[nodiscard]] std::string StrFormatV(const char* format, va_list args);

// A field of `width` bytes holds at most width - 1 characters (the last byte was the
// terminating zero): longer texts are cut to that many.
[[nodiscard]] std::string FitToWidth(std::string_view text, size_t width);

// Copies `text` into a character array of `width` bytes, cut at width - 1 and terminated.
void CopyToField(char* field, size_t width, std::string_view text);

// A 64-bit count as the type printf's %lld takes.
[[nodiscard]] inline long long Wide(int64_t value) {
  return static_cast<long long>(value);
}

// A C text argument as a view; a null pointer reads as the empty text.
[[nodiscard]] inline std::string_view TextArg(const char* text) {
  return text != nullptr ? std::string_view(text) : std::string_view();
}

// A C text argument for printing; a null pointer prints as the empty text.
[[nodiscard]] inline const char* TextOrEmpty(const char* text) {
  return text != nullptr ? text : "";
}

[[nodiscard]] bool EqualsIgnoreCase(std::string_view a, std::string_view b);
[[nodiscard]] bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);

}  // namespace nvx

#endif  // NVX_PLATFORM_TEXT_FORMAT_H_

#include "platform/text_format.h"

#include <cstdio>
#include <cstring>

namespace nvx {
namespace {

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

}  // namespace

std::string StrFormatV(const char* format, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (needed < 0) return {};
  if (static_cast<size_t>(needed) < sizeof small) return std::string(small, needed);
  std::string result(static_cast<size_t>(needed) + 1, '\0');
  std::vsnprintf(result.data(), result.size(), format, args);
  result.resize(static_cast<size_t>(needed));
  return result;
}

std::string StrFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string result = StrFormatV(format, args);
  va_end(args);
  return result;
}

std::string FitToWidth(std::string_view text, size_t width) {
  if (width == 0) return {};
  return std::string(text.substr(0, width - 1));
}

void CopyToField(char* field, size_t width, std::string_view text) {
  if (width == 0) return;
  size_t count = text.size() < width - 1 ? text.size() : width - 1;
  std::memcpy(field, text.data(), count);
  field[count] = '\0';
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace nvx

#include "service/http/request_line.h"

#include <array>

namespace nvx::service {
namespace {

constexpr std::array<std::string_view, 10> kKnownMethods = {
    "GET", "HEAD", "POST", "PUT", "DELETE", "CONNECT", "OPTIONS", "TRACE", "PATCH", "PRI"};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Calls `word` for each piece of `text` between `separator`s, blanks around it dropped,
// that is not empty; returns how many there were.
template <typename Word>
size_t SplitWords(std::string_view text, char separator, Word word) {
  size_t count = 0;
  while (true) {
    size_t end = text.find(separator);
    std::string_view piece = Trimmed(text.substr(0, end));
    if (!piece.empty()) word(count++, piece);
    if (end == std::string_view::npos) return count;
    text.remove_prefix(end + 1);
  }
}

}  // namespace

bool ParseRequestLine(std::string_view line, RequestLine* parsed) {
  line = line.substr(0, line.find('\0'));
  if (line.size() < 2 || line.substr(line.size() - 2) != "\r\n") return false;
  line.remove_suffix(2);
  size_t words = SplitWords(line, ' ', [parsed](size_t index, std::string_view word) {
    if (index == 0) parsed->method = std::string(word);
    if (index == 1) parsed->target = std::string(word);
    if (index == 2) parsed->version = std::string(word);
  });
  if (words != 3) return false;
  bool known = false;
  for (std::string_view method : kKnownMethods) known = known || method == parsed->method;
  if (!known) return false;
  if (parsed->version != "HTTP/1.1" && parsed->version != "HTTP/1.0") return false;
  return SplitWords(parsed->target, '?', [](size_t, std::string_view) {}) <= 2;
}

bool MethodTakesBody(std::string_view method) {
  return method == "PUT" || method == "POST" || method == "PATCH" || method == "DELETE";
}

bool MethodRefused(std::string_view method) {
  return method == "CONNECT" || method == "TRACE" || method == "PRI";
}

std::optional<std::pair<std::string_view, std::string_view>> SplitHeaderLine(
    std::string_view line) {
  while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view value = line.substr(colon + 1);
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
  if (value.empty()) return std::nullopt;
  return std::make_pair(line.substr(0, colon), value);
}

}  // namespace nvx::service

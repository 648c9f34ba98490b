#include "service/commands/raw_headers.h"

#include "platform/text_format.h"

namespace nvx::service {
namespace {

// Cuts the next line off `rest`; without its LF and a CR before it.
std::string_view NextLine(std::string_view* rest) {
  size_t end = rest->find('\n');
  std::string_view line = rest->substr(0, end);
  rest->remove_prefix(end == std::string_view::npos ? rest->size() : end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// Digits beyond this many cannot be a length anyone sends (and would overflow).
constexpr size_t kContentLengthDigitsMax = 18;

bool IsDecimalLength(std::string_view value) {
  size_t first = value.find_first_not_of(" \t");
  size_t last = value.find_last_not_of(" \t");
  if (first == std::string_view::npos) return false;
  std::string_view digits = value.substr(first, last - first + 1);
  if (digits.size() > kContentLengthDigitsMax) return false;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool IsTokenChar(char c) {
  auto u = static_cast<unsigned char>(c);
  return u > 0x20 && u < 0x7F && c != ':';
}

}  // namespace

RawHeaders::RawHeaders(std::string_view block) : block_(block) {
  std::string_view rest = block;
  request_line_ = NextLine(&rest);
  fields_ = rest;
  if (block.find('\0') != std::string_view::npos) well_formed_ = false;
  while (!rest.empty()) {
    std::string_view line = NextLine(&rest);
    if (line.empty()) break;
    size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) {
      well_formed_ = false;
      continue;
    }
    for (char c : line.substr(0, colon)) {
      if (!IsTokenChar(c)) well_formed_ = false;
    }
  }
}

bool RawHeaders::content_length_sound() const {
  std::string_view rest = fields_;
  int count = 0;
  while (!rest.empty()) {
    std::string_view line = NextLine(&rest);
    if (line.empty()) break;
    size_t colon = line.find(':');
    if (colon == std::string_view::npos ||
        !EqualsIgnoreCase(line.substr(0, colon), "Content-Length")) {
      continue;
    }
    if (++count > 1 || !IsDecimalLength(line.substr(colon + 1))) return false;
  }
  return true;
}

std::optional<std::string_view> RawHeaders::Find(std::string_view name) const {
  std::string_view rest = fields_;
  while (!rest.empty()) {
    std::string_view line = NextLine(&rest);
    if (line.empty()) break;
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || !EqualsIgnoreCase(line.substr(0, colon), name)) {
      continue;
    }
    std::string_view value = line.substr(colon + 1);
    if (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    return value;
  }
  return std::nullopt;
}

}  // namespace nvx::service

#include "service/raw_headers.h"

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

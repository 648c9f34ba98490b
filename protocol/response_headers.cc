#include "protocol/response_headers.h"

#include "protocol/library_limits.h"
#include "wire/header_names.h"

namespace nvx {
namespace {

std::string CutAt(std::string_view text, size_t max) {
  return std::string(text.substr(0, max));
}

// The value of one of the service's headers: the text after its name, ": ", up to the end
// of its line.
std::optional<std::string_view> ServiceValue(std::string_view header, std::string_view name) {
  return HeaderValue(header, std::string(name) + ": ");
}

}  // namespace

bool StatusIs(std::string_view header, std::string_view status) {
  return header.substr(0, 12) == status.substr(0, 12) && header.size() >= 12;
}

bool IsInterimResponse(std::string_view header) {
  return StatusIs(header, "HTTP/1.1 100");
}

bool IsProxyRefusal(std::string_view header, bool via_proxy) {
  if (StatusIs(header, "HTTP/1.1 407") || StatusIs(header, "HTTP/1.0 407")) return true;
  return via_proxy && (StatusIs(header, "HTTP/1.1 401") || StatusIs(header, "HTTP/1.0 401"));
}

std::string ResponseLineOf(std::string_view header) {
  std::string_view line = header.substr(0, kHttpResponseLineMax);
  return std::string(line.substr(0, line.find('\r')));
}

bool SaysConnectionClose(std::string_view header) {
  return header.find("Connection: close") != std::string_view::npos;
}

std::optional<std::string_view> HeaderValue(std::string_view header, std::string_view name) {
  size_t at = header.find(name);
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view value = header.substr(at + name.size());
  return value.substr(0, value.find_first_of("\r\n"));
}

std::optional<std::string> ParseConclusion(std::string_view header) {
  std::optional<std::string_view> value = ServiceValue(header, kConclusionHeader);
  if (!value) return std::nullopt;
  return CutAt(*value, kConclusionMax);
}

std::optional<SpaceFigures> ParseLarch(std::string_view header) {
  std::optional<std::string_view> value = ServiceValue(header, kSpaceHeader);
  if (!value) return std::nullopt;
  return ParseSpaceFiguresValue(*value);
}

std::optional<int32_t> ParseCrunchyfrog(std::string_view header) {
  std::optional<std::string_view> value = ServiceValue(header, kOptionsHeader);
  if (!value) return std::nullopt;
  return ParseOptionsValue(*value);
}

std::optional<ContentLength> ParseContentLength(std::string_view header) {
  std::optional<std::string_view> value = HeaderValue(header, "Content-Length: ");
  if (!value) return std::nullopt;
  ContentLength result;
  std::string_view rest = *value;
  if (!rest.empty() && rest.front() >= '0' && rest.front() <= '9') {
    std::optional<int64_t> length = ConsumeDecimal(rest);
    if (length) {
      result.valid = true;
      result.length = *length;
    }
  }
  return result;
}

std::optional<IsItThereLupin> ParseIsItThereLupin(std::string_view header, bool replace_answer) {
  std::optional<std::string_view> value = ServiceValue(header, kDocumentHeader);
  if (!value) return std::nullopt;
  return ParseIsItThereLupinValue(*value, replace_answer);
}

std::optional<FileInfoLupin> ParseFileInfoLupin(std::string_view header) {
  std::optional<std::string_view> value = ServiceValue(header, kDocumentHeader);
  if (!value) return std::nullopt;
  return ParseFileInfoLupinValue(*value);
}

std::optional<DownloadFang> ParseDownloadFang(std::string_view header) {
  std::optional<std::string_view> value = ServiceValue(header, kDownloadTransferHeader);
  if (!value) return std::nullopt;
  return ParseDownloadFangValue(*value);
}

bool HasRestartHeader(std::string_view header) {
  return ServiceValue(header, kRestartHeader).has_value();
}

}  // namespace nvx

#include "protocol/response_headers.h"

#include <charconv>

#include "protocol/library_limits.h"

namespace nvx {
namespace {

std::string CutAt(std::string_view text, size_t max) {
  return std::string(text.substr(0, max));
}

// The text before the first `separator`, consumed with the separator; none when the
// separator is missing.
std::optional<std::string_view> ConsumeUntil(std::string_view& text, char separator) {
  size_t at = text.find(separator);
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view before = text.substr(0, at);
  text.remove_prefix(at + 1);
  return before;
}

int64_t DecimalOrZero(std::string_view text) {
  std::optional<int64_t> value = ConsumeDecimal(text);
  return value.value_or(0);
}

}  // namespace

std::optional<int64_t> ConsumeDecimal(std::string_view& text) {
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (error != std::errc()) return std::nullopt;
  text.remove_prefix(static_cast<size_t>(end - text.data()));
  return value;
}

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
  std::optional<std::string_view> value = HeaderValue(header, "X-NVX-CONCLUSION: ");
  if (!value) return std::nullopt;
  return CutAt(*value, kConclusionMax);
}

std::optional<SpaceFigures> ParseLarch(std::string_view header) {
  std::optional<std::string_view> value = HeaderValue(header, "X-NVX-LARCH: ");
  if (!value) return std::nullopt;
  std::string_view rest = *value;
  SpaceFigures figures;
  figures.quota = ConsumeDecimal(rest).value_or(0);
  if (size_t comma = rest.find(','); comma != std::string_view::npos) {
    figures.used = DecimalOrZero(rest.substr(comma + 1));
  }
  return figures;
}

std::optional<int32_t> ParseCrunchyfrog(std::string_view header) {
  std::optional<std::string_view> value = HeaderValue(header, "X-NVX-CRUNCHYFROG: ");
  if (!value) return std::nullopt;
  int32_t bits = 0;
  static constexpr struct {
    size_t position;
    int32_t bit;
  } kFlags[] = {{0, 1}, {2, 2}, {4, 4}};
  for (const auto& flag : kFlags) {
    if (flag.position < value->size() && (*value)[flag.position] == '1') bits |= flag.bit;
  }
  return bits;
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
  std::optional<std::string_view> value = HeaderValue(header, "X-NVX-LUPIN: ");
  if (!value) return std::nullopt;
  std::string_view rest = *value;
  IsItThereLupin lupin;
  std::optional<std::string_view> digest = ConsumeUntil(rest, ',');
  if (!digest) return lupin;
  if (!replace_answer) {
    std::optional<std::string_view> size = ConsumeUntil(rest, ',');
    if (!size) return lupin;
    lupin.digest_base64 = std::string(*digest);
    lupin.size = DecimalOrZero(*size);
  }
  std::optional<std::string_view> version_id = ConsumeUntil(rest, ';');
  if (!version_id) return lupin;
  lupin.version_id = CutAt(*version_id, kReplyVersionIdMax);
  lupin.usable = true;
  return lupin;
}

std::optional<FileInfoLupin> ParseFileInfoLupin(std::string_view header) {
  std::optional<std::string_view> value = HeaderValue(header, "X-NVX-LUPIN: ");
  if (!value) return std::nullopt;
  std::string_view rest = *value;
  FileInfoLupin info;
  std::optional<std::string_view> digest = ConsumeUntil(rest, ',');
  if (!digest) return info;
  std::optional<std::string_view> size = ConsumeUntil(rest, ',');
  if (!size) return info;
  // The version id is there only when a third comma comes before the ";": the name
  // after the ";" may hold commas of its own.
  size_t semicolon = rest.find(';');
  if (semicolon == std::string_view::npos) return info;
  std::string_view fields = rest.substr(0, semicolon);
  std::string_view name = rest.substr(semicolon + 1);
  if (size_t comma = fields.find(','); comma != std::string_view::npos) {
    info.version_id = CutAt(fields.substr(0, comma), kReplyVersionIdMax);
    fields.remove_prefix(comma + 1);
  }
  info.digest_base64 = std::string(*digest);
  info.size = DecimalOrZero(*size);
  info.date_stamp = CutAt(fields, kReplyDateStampMax);
  info.name = std::string(name);
  info.usable = !info.name.empty();
  return info;
}

std::optional<DownloadFang> ParseDownloadFang(std::string_view header) {
  std::optional<std::string_view> value = HeaderValue(header, "X-NVX-Fang: ");
  if (!value) return std::nullopt;
  std::string_view rest = *value;
  DownloadFang fang;
  std::optional<std::string_view> length = ConsumeUntil(rest, ',');
  if (!length) {
    fang.length = DecimalOrZero(rest);
    return fang;
  }
  fang.length = DecimalOrZero(*length);
  std::optional<std::string_view> key = ConsumeUntil(rest, ',');
  if (!key) {
    fang.key_number = DecimalOrZero(rest);
    return fang;
  }
  fang.key_number = DecimalOrZero(*key);
  fang.compressed = !rest.empty() && rest.front() == '1';
  fang.complete = true;
  return fang;
}

bool HasRestartHeader(std::string_view header) {
  return header.find("X-NVX-RESTART: ") != std::string_view::npos;
}

}  // namespace nvx

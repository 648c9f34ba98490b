#include "wire/reply_fields.h"

#include <charconv>

#include "platform/text_format.h"
#include "wire/wire_limits.h"

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

std::string SpaceFiguresText(int64_t quota, int64_t used) {
  return StrFormat("%lld,%lld", Wide(quota), Wide(used));
}

SpaceFigures ParseSpaceFiguresValue(std::string_view value) {
  SpaceFigures figures;
  figures.quota = ConsumeDecimal(value).value_or(0);
  if (size_t comma = value.find(','); comma != std::string_view::npos) {
    figures.used = DecimalOrZero(value.substr(comma + 1));
  }
  return figures;
}

std::string OptionsText(bool encipher) {
  return encipher ? "1,0,0" : "0,0,0";
}

int32_t ParseOptionsValue(std::string_view value) {
  int32_t bits = 0;
  static constexpr struct {
    size_t position;
    int32_t bit;
  } kFlags[] = {{0, 1}, {2, 2}, {4, 4}};
  for (const auto& flag : kFlags) {
    if (flag.position < value.size() && value[flag.position] == '1') bits |= flag.bit;
  }
  return bits;
}

std::string StoredBytesText(std::string_view digest_base64, int64_t size, int64_t vid) {
  return std::string(digest_base64) + StrFormat(",%lld,%lld;", Wide(size), Wide(vid));
}

std::string ReplacementText(int64_t vid) {
  return StrFormat("x,%lld;", Wide(vid));
}

IsItThereLupin ParseIsItThereLupinValue(std::string_view value, bool replace_answer) {
  IsItThereLupin lupin;
  std::optional<std::string_view> digest = ConsumeUntil(value, ',');
  if (!digest) return lupin;
  if (!replace_answer) {
    std::optional<std::string_view> size = ConsumeUntil(value, ',');
    if (!size) return lupin;
    lupin.digest_base64 = std::string(*digest);
    lupin.size = DecimalOrZero(*size);
  }
  std::optional<std::string_view> version_id = ConsumeUntil(value, ';');
  if (!version_id) return lupin;
  lupin.version_id = CutAt(*version_id, kWireVersionIdMax);
  lupin.usable = true;
  return lupin;
}

std::string FileInfoText(std::string_view digest_base64, int64_t size, int64_t vid,
                         std::string_view date_stamp, std::string_view name) {
  return std::string(digest_base64) + StrFormat(",%lld,%lld,", Wide(size), Wide(vid)) +
         std::string(date_stamp) + ";" + std::string(name);
}

FileInfoLupin ParseFileInfoLupinValue(std::string_view value) {
  FileInfoLupin info;
  std::optional<std::string_view> digest = ConsumeUntil(value, ',');
  if (!digest) return info;
  std::optional<std::string_view> size = ConsumeUntil(value, ',');
  if (!size) return info;
  // The version id is there only when a third comma comes before the ";": the name
  // after the ";" may hold commas of its own.
  size_t semicolon = value.find(';');
  if (semicolon == std::string_view::npos) return info;
  std::string_view fields = value.substr(0, semicolon);
  std::string_view name = value.substr(semicolon + 1);
  if (size_t comma = fields.find(','); comma != std::string_view::npos) {
    info.version_id = CutAt(fields.substr(0, comma), kWireVersionIdMax);
    fields.remove_prefix(comma + 1);
  }
  info.digest_base64 = std::string(*digest);
  info.size = DecimalOrZero(*size);
  info.date_stamp = CutAt(fields, kWireDateStampTextMax);
  info.name = std::string(name);
  info.usable = !info.name.empty();
  return info;
}

std::string DownloadFangText(int64_t length, int key_number, bool compressed) {
  return StrFormat("%lld,%d,%d", Wide(length), key_number, compressed ? 1 : 0);
}

DownloadFang ParseDownloadFangValue(std::string_view value) {
  DownloadFang fang;
  std::optional<std::string_view> length = ConsumeUntil(value, ',');
  if (!length) {
    fang.length = DecimalOrZero(value);
    return fang;
  }
  fang.length = DecimalOrZero(*length);
  std::optional<std::string_view> key = ConsumeUntil(value, ',');
  if (!key) {
    fang.key_number = DecimalOrZero(value);
    return fang;
  }
  fang.key_number = DecimalOrZero(*key);
  fang.compressed = !value.empty() && value.front() == '1';
  fang.complete = true;
  return fang;
}

}  // namespace nvx

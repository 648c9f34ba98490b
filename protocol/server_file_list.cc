#include "protocol/server_file_list.h"

#include <array>
#include <limits>
#include <optional>

#include "protocol/library_limits.h"
#include "protocol/response_headers.h"

namespace nvx {
namespace {

constexpr size_t kFieldsPerEntry = 6;
using EntryFields = std::array<std::string_view, kFieldsPerEntry>;

bool HasControlCharacter(std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

// The whole field as a decimal number within [min, max]; none otherwise.
std::optional<int64_t> WholeNumber(std::string_view field, int64_t min, int64_t max) {
  std::optional<int64_t> value = ConsumeDecimal(field);
  if (!value || !field.empty() || *value < min || *value > max) return std::nullopt;
  return value;
}

std::optional<int32_t> SmallNumber(std::string_view field) {
  std::optional<int64_t> value =
      WholeNumber(field, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
  if (!value) return std::nullopt;
  return static_cast<int32_t>(*value);
}

// The entry the six fields describe, or why it is refused.
std::optional<ServerFileEntry> EntryOf(const EntryFields& fields, FileListRefusal* refusal) {
  const auto& [version_id, name, size, date, duplicates, sixth] = fields;
  if (HasControlCharacter(name)) {
    *refusal = FileListRefusal::kControlCharacter;
    return std::nullopt;
  }
  *refusal = FileListRefusal::kMalformed;
  // A version id cut short, or one that a header line would cut, would name another
  // document. A name cut at its width is longer than any local name, so never mistaken.
  if (version_id.empty() || version_id.size() > kReplyVersionIdMax ||
      HasControlCharacter(version_id) || HasControlCharacter(date)) {
    return std::nullopt;
  }
  std::optional<int64_t> size_value = WholeNumber(size, 0, std::numeric_limits<int64_t>::max());
  std::optional<int32_t> duplicate_count = SmallNumber(duplicates);
  std::optional<int32_t> sixth_value = SmallNumber(sixth);
  if (!size_value || !duplicate_count || !sixth_value) return std::nullopt;
  ServerFileEntry entry;
  entry.version_id = std::string(version_id);
  entry.name = std::string(name.substr(0, kServerFileNameMax));
  entry.size = *size_value;
  entry.date = std::string(date.substr(0, kServerFileDateMax));
  entry.duplicate_count = *duplicate_count;
  entry.sixth_value = *sixth_value;
  return entry;
}

void Refuse(ServerFileList& list, std::string_view name, FileListRefusal reason) {
  ++list.refused_count;
  if (list.refused.size() < kServerFileListRefusalsKept) {
    list.refused.push_back({std::string(name.substr(0, kServerFileNameMax)), reason});
  }
}

}  // namespace

ServerFileList ParseServerFileList(std::string_view text) {
  ServerFileList list;
  size_t position = 0;
  for (;;) {
    position = text.find_first_not_of("\r\n", position);
    if (position == std::string_view::npos) break;
    EntryFields fields;
    size_t count = 0;
    while (count < kFieldsPerEntry) {
      const size_t tab = text.find('\t', position);
      if (tab == std::string_view::npos) break;
      fields[count++] = text.substr(position, tab - position);
      position = tab + 1;
    }
    if (count < kFieldsPerEntry) {
      // The text ends inside an entry: it was cut short, and what it holds is not whole.
      Refuse(list, count > 1 ? fields[1] : std::string_view(), FileListRefusal::kMalformed);
      break;
    }
    if (list.entries.size() >= kServerFileListMaxEntries) {
      Refuse(list, fields[1], FileListRefusal::kBeyondBound);
      continue;
    }
    FileListRefusal refusal = FileListRefusal::kMalformed;
    if (std::optional<ServerFileEntry> entry = EntryOf(fields, &refusal)) {
      list.entries.push_back(std::move(*entry));
    } else {
      Refuse(list, fields[1], refusal);
    }
  }
  return list;
}

}  // namespace nvx

#include "protocol/server_file_list.h"

#include <limits>
#include <optional>

#include "api/library_limits.h"
#include "protocol/response_headers.h"

namespace nvx {
namespace {

// Hands out the fields of a text one at a time, a run of tabs counting as one separator.
class FieldReader {
 public:
  explicit FieldReader(std::string_view text) : rest_(text) {}

  std::optional<std::string_view> Next() {
    size_t start = rest_.find_first_not_of('\t');
    if (start == std::string_view::npos) {
      rest_ = {};
      return std::nullopt;
    }
    rest_.remove_prefix(start);
    size_t end = rest_.find('\t');
    std::string_view field = rest_.substr(0, end);
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end);
    return field;
  }

 private:
  std::string_view rest_;
};

int64_t NumberOf(std::optional<std::string_view> field) {
  if (!field) return 0;
  std::string_view text = *field;
  return ConsumeDecimal(text).value_or(0);
}

int32_t SmallNumberOf(std::optional<std::string_view> field) {
  int64_t value = NumberOf(field);
  if (value > std::numeric_limits<int32_t>::max() || value < std::numeric_limits<int32_t>::min()) {
    return 0;
  }
  return static_cast<int32_t>(value);
}

std::string TextOf(std::optional<std::string_view> field, size_t max) {
  return field ? std::string(field->substr(0, max)) : std::string();
}

}  // namespace

std::vector<ServerFileEntry> ParseServerFileList(std::string_view text) {
  std::vector<ServerFileEntry> entries;
  FieldReader fields(text);
  for (;;) {
    std::optional<std::string_view> version_id = fields.Next();
    if (!version_id || version_id->empty() || version_id->front() == '\r') break;
    ServerFileEntry entry;
    entry.version_id = TextOf(version_id, kReplyVersionIdMax);
    entry.name = TextOf(fields.Next(), kServerFileNameMax);
    entry.size = NumberOf(fields.Next());
    entry.date = TextOf(fields.Next(), kServerFileDateMax);
    entry.duplicate_count = SmallNumberOf(fields.Next());
    entry.sixth_value = SmallNumberOf(fields.Next());
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace nvx

#include "wire/request_fields.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <utility>

#include "codec/base64.h"
#include "codec/transfer_cipher.h"
#include "platform/text_format.h"
#include "wire/wire_limits.h"

namespace nvx {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::optional<int64_t> ParseSigned(std::string_view text) {
  text = Trim(text);
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<int64_t> ParseDecimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string FolderFlagsText(std::string_view folder_id, bool subfolders, bool duplicates) {
  if (folder_id.empty()) folder_id = kNoFolderId;
  return StrFormat("%.*s,%d", static_cast<int>(folder_id.size()), folder_id.data(),
                   (subfolders ? 2 : 0) + (duplicates ? 1 : 0));
}

std::optional<FolderReference> ParseFolderReference(std::string_view header) {
  std::string_view id = Trim(header.substr(0, header.find(',')));
  FolderReference reference;
  if (id.empty() || id == kNoFolderId) {
    reference.my_files = true;
    return reference;
  }
  if (id.size() > 2 && EqualsIgnoreCase(id.substr(id.size() - 2), "-C")) {
    id.remove_suffix(2);
  }
  std::optional<int64_t> number = ParseDecimal(id);
  if (!number) return std::nullopt;
  reference.id = *number;
  return reference;
}

std::string DocumentReferenceText(int kind, std::string_view version_id) {
  return StrFormat("%d,", kind) + std::string(version_id) + ";";
}

std::optional<int64_t> ParseVersionReference(std::string_view header) {
  size_t comma = header.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  std::string_view rest = header.substr(comma + 1);
  size_t semicolon = rest.find(';');
  if (semicolon == std::string_view::npos) return std::nullopt;
  std::string_view vid = Trim(rest.substr(0, semicolon));
  if (vid.size() > kWireVersionIdMax) return std::nullopt;
  return ParseDecimal(vid);
}

namespace {

// "first,second;" with two decimals; the second at most kWireVersionIdMax digits.
std::optional<std::pair<int64_t, int64_t>> ParsePairWithEnd(std::string_view header) {
  size_t comma = header.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  std::string_view rest = header.substr(comma + 1);
  size_t semicolon = rest.find(';');
  if (semicolon == std::string_view::npos) return std::nullopt;
  std::optional<int64_t> first = ParseDecimal(Trim(header.substr(0, comma)));
  std::string_view second_text = Trim(rest.substr(0, semicolon));
  if (second_text.size() > kWireVersionIdMax) return std::nullopt;
  std::optional<int64_t> second = ParseDecimal(second_text);
  if (!first || !second) return std::nullopt;
  return std::make_pair(*first, *second);
}

}  // namespace

std::optional<DocumentReference> ParseDocumentReference(std::string_view header) {
  std::optional<std::pair<int64_t, int64_t>> pair = ParsePairWithEnd(header);
  if (!pair || pair->first > 1) return std::nullopt;
  return DocumentReference{pair->first, pair->second};
}

std::string RestartReferenceText(int64_t offset, std::string_view version_id) {
  return StrFormat("%lld,", Wide(offset)) + std::string(version_id) + ";";
}

std::optional<RestartReference> ParseRestartReference(std::string_view header) {
  std::optional<std::pair<int64_t, int64_t>> pair = ParsePairWithEnd(header);
  if (!pair) return std::nullopt;
  return RestartReference{pair->first, pair->second};
}

std::string RestartDigestText(std::string_view digest_base64, int64_t length,
                              std::string_view version_id) {
  return std::string(digest_base64) + StrFormat(",%lld,", Wide(length)) + std::string(version_id) +
         ";";
}

std::optional<RestartDigestReference> ParseRestartDigestReference(std::string_view header) {
  size_t comma = header.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  std::optional<RestartReference> rest = ParseRestartReference(header.substr(comma + 1));
  std::optional<DigestReference> digest =
      ParseDigestReference(header.substr(0, header.find(',', comma + 1)));
  if (!rest || !digest) return std::nullopt;
  return RestartDigestReference{digest->digest, rest->offset, rest->vid};
}

std::string DigestReferenceText(std::string_view digest_base64, int64_t size) {
  return std::string(digest_base64) + StrFormat(",%lld", Wide(size));
}

std::optional<DigestReference> ParseDigestReference(std::string_view header) {
  // The reference form "0,vid;" ends with ";"; the digest form never does.
  if (header.find(';') != std::string_view::npos) return std::nullopt;
  size_t comma = header.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  std::string_view text = Trim(header.substr(0, comma));
  // A digest travels as 24 characters; anything much longer is not a digest.
  if (text.empty() || text.size() > kWireDigestTextMax) return std::nullopt;
  std::optional<int64_t> size = ParseDecimal(Trim(header.substr(comma + 1)));
  if (!size) return std::nullopt;
  std::string bytes = Base64Decode(text);
  if (bytes.size() > 16) return std::nullopt;
  DigestReference reference;
  std::copy(bytes.begin(), bytes.end(), reference.digest.begin());
  reference.size = *size;
  return reference;
}

FangFields FangFor(bool enciphered, int64_t content_length, int64_t seconds,
                   bool compressed_work_file, bool transfer_compress,
                   int64_t size_before_compression) {
  FangFields fields;
  if (enciphered) {
    fields.content_length_or_filler = content_length;
    fields.key_code_or_filler = KeyCodeOf(UploadKeyIndex(seconds));
  } else {
    int64_t positive = seconds < 0 ? -seconds : seconds;
    fields.content_length_or_filler = positive % 1025;
    fields.key_code_or_filler = positive & 0xFFF;
  }
  fields.compressed_work_file = compressed_work_file ? 1 : 0;
  fields.transfer_compress = transfer_compress ? 1 : 0;
  fields.size_before_compression = size_before_compression;
  return fields;
}

std::string FangText(const FangFields& fields) {
  return StrFormat("%lld,%lld,%lld,%lld,%lld", Wide(fields.content_length_or_filler),
                   Wide(fields.key_code_or_filler), Wide(fields.compressed_work_file),
                   Wide(fields.transfer_compress), Wide(fields.size_before_compression));
}

std::optional<FangFields> ParseFangFields(std::string_view header) {
  int64_t FangFields::*const kOrder[] = {
      &FangFields::content_length_or_filler, &FangFields::key_code_or_filler,
      &FangFields::compressed_work_file, &FangFields::transfer_compress,
      &FangFields::size_before_compression};
  FangFields fields;
  size_t index = 0;
  while (!Trim(header).empty()) {
    if (index == std::size(kOrder)) return std::nullopt;
    size_t comma = header.find(',');
    std::optional<int64_t> value = ParseSigned(header.substr(0, comma));
    if (!value) return std::nullopt;
    fields.*kOrder[index++] = *value;
    header.remove_prefix(comma == std::string_view::npos ? header.size() : comma + 1);
  }
  return fields;
}

std::string EmailRoutingText(bool to_user, bool to_admin, std::string_view results_type) {
  return StrFormat("%d,%d,", to_user ? 1 : 0, to_admin ? 1 : 0) + std::string(results_type) + ";";
}

std::optional<EmailRouting> ParseEmailRouting(std::string_view header) {
  size_t first = header.find(',');
  if (first == std::string_view::npos) return std::nullopt;
  size_t second = header.find(',', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  std::optional<int64_t> to_user = ParseSigned(header.substr(0, first));
  std::optional<int64_t> to_admin = ParseSigned(header.substr(first + 1, second - first - 1));
  if (!to_user || !to_admin) return std::nullopt;
  std::string_view type = header.substr(second + 1);
  type = type.substr(0, type.find(';'));
  EmailRouting routing;
  routing.to_user = *to_user != 0;
  routing.to_admin = *to_admin != 0;
  routing.results_type = std::string(type);
  return routing;
}

}  // namespace nvx

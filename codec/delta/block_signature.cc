#include "codec/delta/block_signature.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <vector>

#include "codec/md5.h"
#include "platform/file.h"
#include "platform/text_format.h"

namespace nvx {
namespace {

// Pieces in which a file is read; a block may span several.
constexpr size_t kReadPieceSize = 64 * 1024;

// A field that is a whole non-negative decimal number.
bool ParseCount(std::string_view field, int64_t* value) {
  if (field.empty()) return false;
  const char* end = field.data() + field.size();
  auto [stop, error] = std::from_chars(field.data(), end, *value);
  return error == std::errc() && stop == end && *value >= 0;
}

bool IsHexDigits(std::string_view text) {
  for (char c : text) {
    bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex) return false;
  }
  return true;
}

// Cuts the text up to the next comma off `rest`; false when no comma follows.
bool NextField(std::string_view* rest, std::string_view* field) {
  size_t comma = rest->find(',');
  if (comma == std::string_view::npos) {
    *field = *rest;
    return false;
  }
  *field = rest->substr(0, comma);
  rest->remove_prefix(comma + 1);
  return true;
}

std::string InvalidText(int number) {
  return StrFormat("Invalid CRC File %d", number);
}

// Fills the block layout from the size and block size (already > 0), or from the given
// counts when they are not 0; false when they disagree with the size.
bool SetLayout(BlockSignature* signature, int64_t full_blocks, int64_t partial_size) {
  int64_t size = signature->size;
  int64_t block_size = signature->block_size;
  if (full_blocks == 0) {
    full_blocks = size / block_size;
    partial_size = size % block_size;
  }
  int64_t covered = 0;
  if (partial_size >= block_size || __builtin_mul_overflow(full_blocks, block_size, &covered) ||
      __builtin_add_overflow(covered, partial_size, &covered) || covered != size) {
    return false;
  }
  signature->full_blocks = full_blocks;
  signature->partial_size = partial_size;
  signature->block_count = full_blocks + (partial_size > 0 ? 1 : 0);
  return true;
}

}  // namespace

std::string_view BlockSignature::ChecksumAt(int64_t index) const {
  if (index < 0 || index >= block_count) return {};
  return checksums.substr(static_cast<size_t>(index) * kBlockChecksumLength, kBlockChecksumLength);
}

int64_t BlockSignature::BlockLength(int64_t index) const {
  if (index < 0 || index >= block_count) return 0;
  return index < full_blocks ? block_size : partial_size;
}

uint16_t BlockSum(const uint8_t* data, size_t size, uint16_t sum) {
  uint32_t total = sum;
  for (size_t i = 0; i < size; ++i) total += data[i];
  return static_cast<uint16_t>(total);
}

std::string BlockChecksumText(uint16_t sum) {
  // One text per block of a file of gigabytes: digits from tables, not printf.
  static const char kLower[] = "0123456789abcdef";
  static const char kUpper[] = "0123456789ABCDEF";
  const char text[kBlockChecksumLength] = {kLower[(sum >> 12) & 15], kLower[(sum >> 8) & 15],
                                           kUpper[(sum >> 4) & 15], kUpper[sum & 15]};
  return std::string(text, sizeof text);
}

std::string DigestText(const Md5Digest& digest) {
  std::string text;
  for (uint8_t byte : digest) text += StrFormat("%2.2x", static_cast<unsigned>(byte));
  return text;
}

std::string ReadSignature(std::string_view text, BlockSignature* signature) {
  *signature = BlockSignature();
  std::string_view rest = text;
  std::string_view field;

  bool comma = NextField(&rest, &field);
  if (!ParseCount(field, &signature->size) || signature->size == 0) return InvalidText(1);
  if (!comma) return InvalidText(2);
  if (!NextField(&rest, &field)) return InvalidText(3);
  comma = NextField(&rest, &field);
  if (!ParseCount(field, &signature->block_size) || signature->block_size == 0) {
    return InvalidText(4);
  }
  if (!comma) return InvalidText(5);
  std::string_view full_field, partial_field, digest_field;
  if (!NextField(&rest, &full_field)) return InvalidText(6);
  if (!NextField(&rest, &partial_field)) return InvalidText(7);
  if (!NextField(&rest, &digest_field)) return InvalidText(8);

  int64_t full_blocks = 0;
  int64_t partial_size = 0;
  if (!ParseCount(full_field, &full_blocks) || !ParseCount(partial_field, &partial_size) ||
      !SetLayout(signature, full_blocks, partial_size)) {
    return InvalidText(9);
  }
  if (digest_field.size() != kSignatureDigestLength || !IsHexDigits(digest_field)) {
    return InvalidText(9);
  }
  // The count is at most the size, so the product cannot overflow a size_t here only
  // when the text is long enough to hold it; compare by division instead.
  if (static_cast<uint64_t>(signature->block_count) > rest.size() / kBlockChecksumLength) {
    return InvalidText(9);
  }
  signature->digest = digest_field;
  signature->checksums =
      rest.substr(0, static_cast<size_t>(signature->block_count) * kBlockChecksumLength);
  return std::string();
}

bool MakeSignature(const std::string& path, int64_t block_size, std::string* signature,
                   std::string* error) {
  signature->clear();
  if (block_size <= 0) {
    *error = InvalidText(4);
    return false;
  }
  platform::File file = platform::File::Open(path, platform::File::Access::kSharedRead);
  if (!file.is_open()) {
    *error = StrFormat("Unable to open file %s %d\n", path.c_str(), file.error());
    return false;
  }
  int64_t size = file.Size();
  if (size <= 0) {
    *error = size == 0 ? StrFormat("Zero Length File %s %d\n", path.c_str(), 0)
                       : StrFormat("Unable to open file %s %d\n", path.c_str(), file.error());
    return false;
  }
  int64_t full_blocks = size / block_size;
  int64_t partial_size = size % block_size;
  int64_t block_count = full_blocks + (partial_size > 0 ? 1 : 0);

  std::vector<uint8_t> buffer(kReadPieceSize);
  std::string checksums;
  checksums.reserve(static_cast<size_t>(block_count) * kBlockChecksumLength);
  Md5Context md5;
  Md5Init(md5);
  for (int64_t index = 0; index < block_count; ++index) {
    int64_t remaining = index < full_blocks ? block_size : partial_size;
    uint16_t sum = 0;
    while (remaining > 0) {
      size_t piece = static_cast<size_t>(std::min<int64_t>(remaining, kReadPieceSize));
      int64_t read = file.ReadFully(buffer.data(), piece);
      if (read != static_cast<int64_t>(piece)) {
        // A file that shrank while it was read fails like a read error.
        *error = StrFormat("ReadFile failed %d", read < 0 ? file.error() : 0);
        return false;
      }
      Md5Update(md5, buffer.data(), piece);
      sum = BlockSum(buffer.data(), piece, sum);
      remaining -= static_cast<int64_t>(piece);
    }
    checksums += BlockChecksumText(sum);
  }
  Md5Digest digest{};
  Md5Final(md5, digest.data());

  *signature = StrFormat("%" PRId64 ",0,%" PRId64 ",%" PRId64 ",%" PRId64 ",", size, block_size,
                         full_blocks, partial_size);
  *signature += DigestText(digest);
  *signature += ',';
  *signature += checksums;
  return true;
}

}  // namespace nvx

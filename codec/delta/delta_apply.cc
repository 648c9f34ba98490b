#include "codec/delta/delta_apply.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <vector>

#include "codec/delta/block_signature.h"
#include "codec/delta/delta_output.h"
#include "platform/file.h"
#include "platform/text_format.h"

namespace nvx {
namespace {

// Decimal fields of a delta: at most this many digits (more cannot be an int64).
constexpr size_t kMaxDecimalDigits = 19;
// The longest header: five numbers, their commas and the digest.
constexpr size_t kMaxHeaderLength = 5 * (kMaxDecimalDigits + 1) + kSignatureDigestLength;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsLowerHex(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f');
}

// Reads a comma-terminated non-negative number at `*position` of `text`.
bool ReadNumberField(std::string_view text, size_t* position, int64_t* value) {
  size_t start = *position;
  size_t end = start;
  while (end < text.size() && IsDigit(text[end]) && end - start < kMaxDecimalDigits) ++end;
  if (end == start || end >= text.size() || text[end] != ',') return false;
  auto [stop, error] = std::from_chars(text.data() + start, text.data() + end, *value);
  if (error != std::errc() || stop != text.data() + end) return false;
  *position = end + 1;
  return true;
}

// The records of a delta, read one after the other from the file. The bytes of each
// record are skipped (checking pass) or copied (rebuilding pass) by the caller.
class RecordReader {
 public:
  RecordReader(platform::File& file, int64_t file_size, int64_t position)
      : file_(file), file_size_(file_size), position_(position), buffer_(kDeltaPieceSize) {}

  enum class Step { kRecord, kEnd, kRefused };

  // Reads the next record's index, or the end marker "$" (which must be the last byte).
  Step Next(int64_t* index, std::string* reason) {
    int c = ReadByte();
    if (c == '$') {
      if (position_ != file_size_) {
        *reason = "Delta has bytes after its end marker";
        return Step::kRefused;
      }
      return Step::kEnd;
    }
    if (c != ',') {
      *reason = c < 0 ? "Delta has no end marker" : "Delta record malformed";
      return Step::kRefused;
    }
    char digits[kMaxDecimalDigits];
    size_t count = 0;
    for (;;) {
      c = ReadByte();
      if (c == ',') break;
      if (c < 0 || !IsDigit(static_cast<char>(c)) || count == kMaxDecimalDigits) {
        *reason = c < 0 ? "Delta has no end marker" : "Delta record index malformed";
        return Step::kRefused;
      }
      digits[count++] = static_cast<char>(c);
    }
    auto [stop, error] = std::from_chars(digits, digits + count, *index);
    if (count == 0 || error != std::errc() || stop != digits + count) {
      *reason = "Delta record index malformed";
      return Step::kRefused;
    }
    return Step::kRecord;
  }

  // Bytes left in the file after the current position.
  int64_t remaining() const { return file_size_ - position_; }

  void Skip(int64_t length) { position_ += length; }

  bool CopyTo(DeltaOutput& output, int64_t length) {
    if (!output.CopyFrom(file_, position_, length)) return false;
    position_ += length;
    return true;
  }

 private:
  int ReadByte() {
    if (position_ >= file_size_) return -1;
    if (position_ < buffer_start_ || position_ >= buffer_start_ + buffer_length_) {
      buffer_start_ = position_;
      buffer_length_ = 0;
      if (!file_.Seek(position_)) return -1;
      int64_t read = file_.Read(buffer_.data(), buffer_.size());
      if (read <= 0) return -1;
      buffer_length_ = read;
    }
    return buffer_[static_cast<size_t>(position_++ - buffer_start_)];
  }

  platform::File& file_;
  int64_t file_size_;
  int64_t position_;
  std::vector<uint8_t> buffer_;
  int64_t buffer_start_ = 0;
  int64_t buffer_length_ = 0;
};

int64_t RecordLength(const DeltaHeader& header, int64_t index) {
  return index < header.full_blocks ? header.block_size : header.partial_size;
}

int64_t BlockStart(const DeltaHeader& header, int64_t index) {
  return std::min(index * header.block_size, header.new_size);
}

// Walks the records once. Checking (`output` null): every index in order and inside the
// new content, every record's bytes present, every block taken from the base inside
// the base. Rebuilding: writes the new content block by block.
std::string WalkRecords(const DeltaHeader& header, platform::File& delta, int64_t delta_size,
                        int64_t records_start, platform::File& base, DeltaOutput* output) {
  RecordReader reader(delta, delta_size, records_start);
  int64_t block_count = header.full_blocks + (header.partial_size > 0 ? 1 : 0);
  int64_t next_block = 0;  // the first block not yet accounted for
  auto take_base_blocks = [&](int64_t end_block) -> std::string {
    if (end_block <= next_block) return std::string();
    int64_t from = BlockStart(header, next_block);
    int64_t to = BlockStart(header, end_block);
    if (to > header.base_size) return "Delta needs blocks past the end of its base";
    if (output != nullptr && !output->CopyFrom(base, from, to - from)) {
      return StrFormat("Delta base could not be copied %d", output->error());
    }
    return std::string();
  };
  for (;;) {
    int64_t index = 0;
    std::string reason;
    RecordReader::Step step = reader.Next(&index, &reason);
    if (step == RecordReader::Step::kRefused) return reason;
    if (step == RecordReader::Step::kEnd) break;
    if (index > header.full_blocks) return "Delta record index past the new size";
    if (index < next_block) return "Delta records out of order";
    int64_t length = RecordLength(header, index);
    // The record's bytes and at least the end marker must follow.
    if (length >= reader.remaining()) return "Delta record length past the end of the delta";
    reason = take_base_blocks(index);
    if (!reason.empty()) return reason;
    if (output == nullptr) {
      reader.Skip(length);
    } else if (!reader.CopyTo(*output, length)) {
      return StrFormat("Delta record could not be copied %d", output->error());
    }
    next_block = index + 1;
  }
  return take_base_blocks(block_count);
}

}  // namespace

std::string ReadDeltaHeader(std::string_view text, DeltaHeader* header, size_t* header_length) {
  *header = DeltaHeader();
  size_t position = 0;
  int64_t* fields[] = {&header->base_size, &header->new_size, &header->block_size,
                       &header->full_blocks, &header->partial_size};
  for (int64_t* field : fields) {
    if (!ReadNumberField(text, &position, field)) return "Delta header malformed";
  }
  if (text.size() - position < kSignatureDigestLength ||
      !std::all_of(text.begin() + position, text.begin() + position + kSignatureDigestLength,
                   IsLowerHex)) {
    return "Delta header digest malformed";
  }
  header->digest.assign(text.substr(position, kSignatureDigestLength));
  *header_length = position + kSignatureDigestLength;

  int64_t covered = 0;
  if (header->block_size <= 0 || header->partial_size >= header->block_size ||
      __builtin_mul_overflow(header->full_blocks, header->block_size, &covered) ||
      __builtin_add_overflow(covered, header->partial_size, &covered) ||
      covered != header->new_size) {
    return "Delta header sizes disagree";
  }
  return std::string();
}

std::string ApplyDelta(const std::string& base_path, const std::string& delta_path,
                       const std::string& output_path) {
  platform::File delta = platform::File::Open(delta_path, platform::File::Access::kRead);
  if (!delta.is_open()) return StrFormat("Delta could not be opened %d", delta.error());
  int64_t delta_size = delta.Size();
  char start[kMaxHeaderLength];
  int64_t read = delta.ReadFully(start, sizeof start);
  if (delta_size < 0 || read < 0) return StrFormat("Delta could not be read %d", delta.error());
  DeltaHeader header;
  size_t header_length = 0;
  std::string reason =
      ReadDeltaHeader(std::string_view(start, static_cast<size_t>(read)), &header, &header_length);
  if (!reason.empty()) return reason;

  platform::File base = platform::File::Open(base_path, platform::File::Access::kRead);
  if (!base.is_open()) return StrFormat("Delta base could not be opened %d", base.error());
  if (base.Size() != header.base_size) return "Delta was made for another version of its base";

  reason =
      WalkRecords(header, delta, delta_size, static_cast<int64_t>(header_length), base, nullptr);
  if (!reason.empty()) return reason;

  DeltaOutput output;
  if (!output.Create(output_path)) {
    return StrFormat("Delta output could not be created %d", output.error());
  }
  reason =
      WalkRecords(header, delta, delta_size, static_cast<int64_t>(header_length), base, &output);
  if (!reason.empty()) return reason;  // the output is removed on the way out
  if (output.written() != header.new_size) return "Delta rebuilt content has the wrong size";
  if (DigestText(output.Digest()) != header.digest) {
    return "Delta rebuilt content has the wrong digest";
  }
  if (!output.Finish()) return StrFormat("Delta output could not be written %d", output.error());
  return std::string();
}

}  // namespace nvx

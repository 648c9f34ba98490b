// The delta reader: checks a delta file (delta_file.h) against the base document it was
// made for and rebuilds the new content into an output file. Every header field and
// every record's index and length is checked against the announced sizes before a byte
// of output is written; the rebuilt content must then have the announced MD5. Both
// passes stream through fixed buffers: memory does not grow with the file sizes.
// Pure code: no shared state, any thread.
#ifndef NVX_CODEC_DELTA_DELTA_APPLY_H_
#define NVX_CODEC_DELTA_DELTA_APPLY_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace nvx {

// The header of a delta file.
struct DeltaHeader {
  int64_t base_size = 0;  // the size of the copy the delta was made against
  int64_t new_size = 0;
  int64_t block_size = 0;
  int64_t full_blocks = 0;  // of the new content
  int64_t partial_size = 0;
  std::string digest;  // MD5 of the new content, 32 lower-case hexadecimal digits
};

// Rebuilds the new content from the base document at `base_path` and the delta at
// `delta_path` into `output_path` (created or replaced). Blocks that no record names
// are copied from the base at the same index; the new content may be longer or shorter
// than the base. Returns the empty text on success; on any refusal (a malformed or
// inconsistent header, a base of another size, a record index or length outside the
// new size, records out of order, a missing "$" or bytes after it, a short base, a
// digest that differs, a file error) the reason. A refusal found while checking leaves
// `output_path` untouched; once rebuilding has begun, a refusal removes it.
[[nodiscard]] std::string ApplyDelta(const std::string& base_path, const std::string& delta_path,
                                     const std::string& output_path);

// Reads and checks the header at the start of `text` (which may run on into the
// records): the empty text with `*header` and `*header_length` set, or the reason.
[[nodiscard]] std::string ReadDeltaHeader(std::string_view text, DeltaHeader* header,
                                          size_t* header_length);

}  // namespace nvx

#endif  // NVX_CODEC_DELTA_DELTA_APPLY_H_

// Block signatures: a text that describes a file by its size, its block size, its MD5
// and a 16-bit checksum of each block, so that two copies of a file can be compared
// block by block without either copy travelling. The service keeps one for each
// stored document; the upload engine makes one of the local file with the service's
// block size and sends only the blocks whose checksums differ (delta_file.h).
//
// Text form, fields separated by ",":
//   size,0,block size,full blocks,partial size,MD5 (32 hex digits),checksums
// with 4 characters per block, full blocks first, then the partial block when there is
// one. Pure code: no shared state, any thread.
#ifndef NVX_CODEC_DELTA_BLOCK_SIGNATURE_H_
#define NVX_CODEC_DELTA_BLOCK_SIGNATURE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/md5.h"

namespace nvx {

// The block size the service signs its documents with.
inline constexpr int64_t kServiceSignatureBlockSize = 2048;
// Characters of one block's checksum in a signature, and of the digest.
inline constexpr size_t kBlockChecksumLength = 4;
inline constexpr size_t kSignatureDigestLength = 32;

// A parsed signature. The views point into the text given to ReadSignature, which must
// outlive them. The block layout always agrees with the size: full_blocks * block_size
// + partial_size == size, partial_size < block_size, block_count = full_blocks + (1
// when partial_size > 0), and `checksums` holds exactly block_count entries.
struct BlockSignature {
  int64_t size = 0;
  int64_t block_size = 0;
  int64_t full_blocks = 0;
  int64_t partial_size = 0;
  int64_t block_count = 0;
  std::string_view digest;     // 32 hexadecimal digits
  std::string_view checksums;  // kBlockChecksumLength characters per block

  // The checksum text of block `index` (full blocks first, then the partial block), or
  // the empty view when there is no such block.
  [[nodiscard]] std::string_view ChecksumAt(int64_t index) const;
  // The length of block `index` in bytes: block_size, partial_size for the last block
  // of a size that is not a multiple, 0 past the end.
  [[nodiscard]] int64_t BlockLength(int64_t index) const;
};

// The 16-bit sum of the bytes taken as unsigned values, written as the high byte in two
// lower-case hexadecimal digits and the low byte in two upper-case ones (0x1A2B gives
// "1a2B"). Signatures compare checksums as these texts.
[[nodiscard]] std::string BlockChecksumText(uint16_t sum);
// An MD5 digest as signatures and deltas write it: 32 lower-case hexadecimal digits.
[[nodiscard]] std::string DigestText(const Md5Digest& digest);
[[nodiscard]] uint16_t BlockSum(const uint8_t* data, size_t size, uint16_t sum = 0);

// Parses a signature. Returns the empty text on success, else the reason, checked in
// this order: "Invalid CRC File 1" (size 0 or missing), "2" (no comma after the size),
// "3" (none after the unused field), "4" (block size 0 or missing), "5" (no comma after
// the block size), "6" (none after the full blocks), "7" (none after the partial
// size), "8" (none after the digest), "9" (fields that disagree with the size, a
// digest that is not 32 hexadecimal digits, or too few checksums). A full-block count
// of 0 is read as size / block size rounded up, with the partial size size modulo
// block size, so a file smaller than one block has one (partial) block.
[[nodiscard]] std::string ReadSignature(std::string_view text, BlockSignature* signature);

// Makes the signature of the local file at `path` with `block_size` (> 0). The file is
// read once, sequentially, through a fixed buffer: memory does not grow with the file
// or the block size (beyond the signature text itself). True with the text in
// `*signature`; false with the reason in `*error` ("Unable to open file %s %d\n",
// "Zero Length File %s %d\n", "ReadFile failed %d", ...).
[[nodiscard]] bool MakeSignature(const std::string& path, int64_t block_size,
                                 std::string* signature, std::string* error);

}  // namespace nvx

#endif  // NVX_CODEC_DELTA_BLOCK_SIGNATURE_H_

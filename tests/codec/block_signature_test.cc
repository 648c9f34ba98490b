// Block signatures on real files: the layout and checksums MakeSignature writes, the
// order of ReadSignature's refusals, and the reading rule for a signature without full
// blocks.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "codec/delta/block_signature.h"
#include "codec/md5.h"
#include "tests/support/hex.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

using test::TempDir;
using test::WriteFileText;

const std::string kDigest = "0123456789abcdef0123456789abcdef";

TEST(BlockSignatureTest, ChecksumTextsMixLetterCase) {
  const struct {
    uint16_t sum;
    const char* text;
  } cases[] = {{0x1A2B, "1a2B"}, {0, "0000"}, {0xFFFF, "ffFF"}, {0xABCD, "abCD"}, {0x00E0, "00E0"}};
  for (const auto& c : cases) EXPECT_EQ(BlockChecksumText(c.sum), c.text);
  // The sum wraps at 16 bits: 300 bytes of 0xFF sum to 76500 = 0x12AD4.
  std::vector<uint8_t> bytes(300, 0xFF);
  EXPECT_EQ(BlockSum(bytes.data(), bytes.size()), 0x2AD4);
}

TEST(BlockSignatureTest, MakeSignatureLaysOutBlocksAndReadsBack) {
  const struct {
    size_t size;
    int64_t block_size;
    int64_t full_blocks, partial_size, block_count;
  } cases[] = {
      {5000, 2048, 2, 904, 3}, {4096, 2048, 2, 0, 2}, {100, 2048, 0, 100, 1},
      {1, 1, 1, 0, 1},         {2049, 2048, 1, 1, 2}, {100000, 70000, 1, 30000, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    TempDir dir;
    std::string content(c.size, '\0');
    for (size_t i = 0; i < c.size; ++i) content[i] = static_cast<char>(i * 7 + i / 3);
    WriteFileText(dir.File("f"), content);
    std::string text, error;
    ASSERT_TRUE(MakeSignature(dir.File("f"), c.block_size, &text, &error)) << error;

    BlockSignature signature;
    ASSERT_EQ(ReadSignature(text, &signature), "");
    EXPECT_EQ(signature.size, static_cast<int64_t>(c.size));
    EXPECT_EQ(signature.block_size, c.block_size);
    EXPECT_EQ(signature.full_blocks, c.full_blocks);
    EXPECT_EQ(signature.partial_size, c.partial_size);
    EXPECT_EQ(signature.block_count, c.block_count);
    EXPECT_EQ(signature.digest, test::ToHex(Md5Of(content).data(), kMd5DigestSize));
    EXPECT_EQ(text.substr(0, text.find(signature.digest)),
              std::to_string(c.size) + ",0," + std::to_string(c.block_size) + "," +
                  std::to_string(c.full_blocks) + "," + std::to_string(c.partial_size) + ",");
    // Each checksum is the sum of its own block's bytes, the partial block last.
    for (int64_t block = 0; block < c.block_count; ++block) {
      size_t start = static_cast<size_t>(block * c.block_size);
      size_t length = static_cast<size_t>(signature.BlockLength(block));
      uint16_t sum = BlockSum(reinterpret_cast<const uint8_t*>(content.data()) + start, length);
      EXPECT_EQ(signature.ChecksumAt(block), BlockChecksumText(sum)) << block;
    }
    EXPECT_EQ(signature.ChecksumAt(c.block_count), "");
  }
}

TEST(BlockSignatureTest, ReadSignatureRefusesInOrder) {
  const std::string d = kDigest;
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {"", "Invalid CRC File 1"},
      {"0,0,2048,0,0," + d + ",", "Invalid CRC File 1"},
      {"abc,0,2048", "Invalid CRC File 1"},
      {"-5,0,2048,0,0," + d + ",", "Invalid CRC File 1"},
      {"100", "Invalid CRC File 2"},
      {"100,0", "Invalid CRC File 3"},
      {"100,0,0,0,100," + d + ",abCD", "Invalid CRC File 4"},
      {"100,0,,0,100," + d + ",abCD", "Invalid CRC File 4"},
      {"100,0,2048", "Invalid CRC File 5"},
      {"100,0,2048,0", "Invalid CRC File 6"},
      {"100,0,2048,0,100", "Invalid CRC File 7"},
      {"100,0,2048,0,100," + d, "Invalid CRC File 8"},
      // Fields that disagree with the size, a bad digest, too few checksums.
      {"5000,0,2048,3,904," + d + ",000000000000", "Invalid CRC File 9"},
      {"5000,0,2048,2,2048," + d + ",000000000000", "Invalid CRC File 9"},
      {"5000,0,2048,2,904," + d + ",00000000000", "Invalid CRC File 9"},
      {"5000,0,2048,x,904," + d + ",000000000000", "Invalid CRC File 9"},
      {"100,0,2048,0,100,abc,abCD", "Invalid CRC File 9"},
      {"100,0,2048,0,100," + d.substr(1) + "g,abCD", "Invalid CRC File 9"},
      {"9223372036854775807,0,1,9223372036854775807,0," + d + ",0000", "Invalid CRC File 9"},
      {"99999999999999999999,0,2048,0,0," + d + ",", "Invalid CRC File 1"},
  };
  for (const auto& c : cases) {
    BlockSignature signature;
    EXPECT_EQ(ReadSignature(c.text, &signature), c.error) << c.text;
  }
}

TEST(BlockSignatureTest, NoFullBlocksReadsAsSizeOverBlockSize) {
  const struct {
    std::string text;
    int64_t full_blocks, partial_size, block_count;
  } cases[] = {
      // A file smaller than one block is one partial block, whatever field 5 says.
      {"100,0,2048,0,100," + kDigest + ",abCD", 0, 100, 1},
      {"100,0,2048,0,0," + kDigest + ",abCD", 0, 100, 1},
      {"5000,0,2048,0,0," + kDigest + ",000011112222", 2, 904, 3},
      {"4096,0,2048,0,7," + kDigest + ",00001111", 2, 0, 2},
  };
  for (const auto& c : cases) {
    BlockSignature signature;
    ASSERT_EQ(ReadSignature(c.text, &signature), "") << c.text;
    EXPECT_EQ(signature.full_blocks, c.full_blocks);
    EXPECT_EQ(signature.partial_size, c.partial_size);
    EXPECT_EQ(signature.block_count, c.block_count);
    EXPECT_EQ(signature.digest, kDigest);
    EXPECT_EQ(signature.checksums.size(), static_cast<size_t>(c.block_count) * 4);
  }
}

}  // namespace
}  // namespace nvx

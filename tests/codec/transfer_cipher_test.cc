// The transfer cipher: padding arithmetic, key indices and codes, the key table's bounds,
// that enciphering never touches bytes beyond the caller's buffers, and that reused key
// schedules are the right ones.
#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "codec/blowfish.h"
#include "codec/key_table.h"
#include "codec/transfer_cipher.h"

namespace nvx {
namespace {

TEST(TransferCipher, RoundUpToBlock) {
  const struct {
    size_t in, out;
  } kCases[] = {{0, 0}, {1, 8}, {7, 8}, {8, 8}, {9, 16}, {2047, 2048}, {2048, 2048}, {2049, 2056}};
  for (const auto& c : kCases) EXPECT_EQ(RoundUpToBlock(c.in), c.out) << c.in;
}

TEST(TransferCipher, KeyIndicesOfUploadAndDownload) {
  const struct {
    int64_t seed;
    size_t index;
  } kUpload[] = {{0, 0},   {300, 300}, {495, 495}, {496, 0}, {1078495629, 1078495629 % 496},
                 {-1, 495}};
  for (const auto& c : kUpload) EXPECT_EQ(CipherForUpload(c.seed).key_index(), c.index) << c.seed;

  const struct {
    int64_t value;
    size_t index;
  } kDownload[] = {{0, 0}, {510, 510}, {511, 0}, {1022, 0}, {1021, 510}, {-1, 510}};
  for (const auto& c : kDownload) {
    EXPECT_EQ(CipherForDownload(c.value).key_index(), c.index) << c.value;
  }
}

TEST(TransferCipher, KeyCodeIsTheIndexWithItsBytesSwapped) {
  EXPECT_EQ(CipherForUpload(300).key_code(), 11265);
  EXPECT_EQ(KeyCodeOf(0), 0);
  EXPECT_EQ(KeyCodeOf(1), 256);
  EXPECT_EQ(KeyCodeOf(495), 0xEF01);
  for (size_t index = 0; index < 512; ++index) EXPECT_EQ(KeyIndexOfCode(KeyCodeOf(index)), index);
}

TEST(KeyTable, EveryKeyIndexReadsInsideTheTable) {
  const auto& table = KeyTable();
  ASSERT_EQ(table.size(), 527u);
  for (size_t i = 0; i < 15; ++i) EXPECT_EQ(table[512 + i], table[i]) << i;
  for (size_t index : {size_t{0}, size_t{495}, size_t{510}, size_t{511}}) {
    auto key = TransferKeyAt(index);
    EXPECT_GE(key.data(), table.data());
    EXPECT_LE(key.data() + key.size(), table.data() + table.size()) << index;
    EXPECT_EQ(std::memcmp(key.data(), table.data() + index, 16), 0);
  }
  // Larger indices wrap around the material, which the repeated tail makes seamless.
  EXPECT_EQ(TransferKeyAt(512).data(), TransferKeyAt(0).data());
  EXPECT_EQ(TransferKeyAt(1023).data(), TransferKeyAt(511).data());
}

TEST(KeyTable, DownloadIndex510IsKeyedWithTheTableBytesThere) {
  auto key = TransferKeyAt(510);
  Blowfish direct(key.data(), key.size());
  TransferCipher cipher = CipherForDownload(510);
  uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  uint8_t expected[8];
  direct.EncryptBlocks(block, expected, 1);
  cipher.Encipher(block, sizeof block, block);
  EXPECT_EQ(std::memcmp(block, expected, 8), 0);
}

TEST(TransferCipher, EncipherOfAWholeUploadBlock) {
  std::vector<uint8_t> data(2048);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  TransferCipher cipher = CipherForUpload(1078495629);
  std::vector<uint8_t> out(2048);
  EXPECT_EQ(cipher.Encipher(data.data(), data.size(), out.data()), 2048u);
  EXPECT_NE(out, data);
  std::vector<uint8_t> back(2048);
  EXPECT_EQ(cipher.Decipher(out.data(), back.data(), out.size()), 2048u);
  EXPECT_EQ(back, data);

  // In place gives the same as into another buffer.
  std::vector<uint8_t> in_place = data;
  cipher.Encipher(in_place.data(), in_place.size(), in_place.data());
  EXPECT_EQ(in_place, out);
  cipher.Decipher(in_place.data(), in_place.data(), in_place.size());
  EXPECT_EQ(in_place, data);
}

// The input holds exactly 5 bytes (heap-allocated, so the sanitizer build would catch a
// read past them); the output holds exactly the rounded count.
TEST(TransferCipher, APartBlockIsPaddedWithZeros) {
  auto five = std::make_unique<uint8_t[]>(5);
  std::memcpy(five.get(), "\x01\x02\x03\x04\x05", 5);
  TransferCipher cipher = CipherForUpload(42);
  auto out = std::make_unique<uint8_t[]>(8);
  EXPECT_EQ(cipher.Encipher(five.get(), 5, out.get()), 8u);

  uint8_t padded[8] = {1, 2, 3, 4, 5, 0, 0, 0};
  uint8_t expected[8];
  cipher.Encipher(padded, 8, expected);
  EXPECT_EQ(std::memcmp(out.get(), expected, 8), 0);

  auto back = std::make_unique<uint8_t[]>(8);
  EXPECT_EQ(cipher.Decipher(out.get(), back.get(), 8), 8u);
  EXPECT_EQ(std::memcmp(back.get(), padded, 8), 0);
}

TEST(TransferCipher, DecipherReadsOnlyTheGivenCount) {
  TransferCipher cipher = CipherForDownload(7);
  auto partial = std::make_unique<uint8_t[]>(13);
  std::memset(partial.get(), 0xA5, 13);
  auto out = std::make_unique<uint8_t[]>(16);
  EXPECT_EQ(cipher.Decipher(partial.get(), out.get(), 13), 16u);
  EXPECT_EQ(cipher.Encipher(nullptr, 0, nullptr), 0u);
  EXPECT_EQ(cipher.Decipher(nullptr, nullptr, 0), 0u);
}

TEST(TransferCipher, DifferentKeyIndicesGiveDifferentCiphertexts) {
  uint8_t block[8] = {};
  uint8_t a[8], b[8];
  CipherForUpload(1).Encipher(block, 8, a);
  CipherForUpload(2).Encipher(block, 8, b);
  EXPECT_NE(std::memcmp(a, b, 8), 0);
}

// Ciphers reuse this thread's recent key schedules: whatever order the indices come in,
// each enciphers as a schedule keyed afresh from the table.
TEST(TransferCipher, ReusedSchedulesMatchFreshOnes) {
  const uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (size_t index : {7u, 300u, 7u, 511u, 300u, 7u, 7u, 519u, 44u}) {
    uint8_t ours[8], fresh[8];
    TransferCipher(index).Encipher(block, 8, ours);
    Blowfish(TransferKeyAt(index).data(), kTransferKeyLength).EncryptBlocks(block, fresh, 1);
    EXPECT_EQ(std::memcmp(ours, fresh, 8), 0) << index;
  }
}

}  // namespace
}  // namespace nvx

// Scrambled texts: the layout byte by byte, round trips at every key number, and the
// refusal of texts that do not descramble.
#include <string>

#include <gtest/gtest.h>

#include "codec/base64.h"
#include "codec/scrambled_text.h"
#include "codec/transfer_cipher.h"

namespace nvx {
namespace {

const std::string kPlaintext("0123456789abcdefuser15charsxyz!\0", 32);

TEST(ScrambledText, LayoutBeforeBase64) {
  for (int64_t now : {int64_t{0}, int64_t{1}, int64_t{300}, int64_t{1078495629}, int64_t{1023},
                      int64_t{1022}, int64_t{495}, int64_t{496}}) {
    std::string raw = Base64Decode(ScrambleBytes(kPlaintext, now));
    size_t k = (static_cast<uint64_t>(now) & 1023) % 496;
    ASSERT_EQ(raw.size(), 2 + 32 + static_cast<size_t>(now % 4)) << now;
    auto b0 = static_cast<uint8_t>(raw[0]);
    auto b1 = static_cast<uint8_t>(raw[1]);
    EXPECT_EQ(b0 & 1, static_cast<int>(k >> 8)) << now;
    EXPECT_EQ(b0 >> 1, static_cast<int>(now & 0x7F)) << now;
    EXPECT_EQ(b1, k & 0xFF) << now;

    std::string cipher = raw.substr(2, 32);
    TransferCipher(k).Decipher(cipher.data(), cipher.data(), cipher.size());
    EXPECT_EQ(cipher, kPlaintext) << now;
  }
}

TEST(ScrambledText, RoundTripsAtEveryKeyNumber) {
  for (int64_t now = 0; now < 1024; ++now) {
    std::optional<std::string> back = UnscrambleText(ScrambleBytes("secret", now));
    ASSERT_TRUE(back) << now;
    ASSERT_EQ(*back, std::string("secret\0\0", 8)) << now;
  }
}

TEST(ScrambledText, KeyNumbersAboveTheUploadRangeStillDecipher) {
  // A stored text may name any key number that its two bytes can carry, up to 511.
  std::string raw = Base64Decode(ScrambleBytes("password", 1000));
  std::string plain("password");
  size_t k = 511;
  raw[0] = static_cast<char>(raw[0] | 1);
  raw[1] = static_cast<char>(0xFF);
  TransferCipher(k).Encipher(plain.data(), plain.size(), raw.data() + 2);
  EXPECT_EQ(UnscrambleText(Base64Encode(raw)), "password");
}

TEST(ScrambledText, TextsThatDoNotDescramble) {
  const std::string kTooLong(400, 'A');  // decodes to 300 bytes, past the 256-byte bound
  const char* kRefused[] = {"", "====", "!!!!", "AAAA", "AAAAAAAAAAAA", kTooLong.c_str()};
  for (const char* text : kRefused) EXPECT_FALSE(UnscrambleText(text)) << text;
  // Ten decoded bytes hold one whole block.
  EXPECT_TRUE(UnscrambleText(Base64Encode(std::string(10, 'x'))));
  // Bytes after the last whole block are noise and are dropped.
  std::optional<std::string> plain = UnscrambleText(Base64Encode(std::string(13, 'x')));
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->size(), 8u);
}

TEST(ScrambledText, LongestPlaintextFitsTheOutputBuffer) {
  EXPECT_EQ(kScramblePlaintextMax, 184u);
  for (int64_t now = 0; now < 8; ++now) {
    std::string text = ScrambleBytes(std::string(kScramblePlaintextMax, 'p'), now);
    EXPECT_LT(text.size(), kScrambledTextCapacity) << now;
    EXPECT_EQ(UnscrambleText(text), std::string(kScramblePlaintextMax, 'p'));
  }
}

}  // namespace
}  // namespace nvx

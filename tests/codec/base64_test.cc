// Base64 against the RFC 4648 vectors, and the decoder's handling of noise, padding and a
// full output buffer.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "codec/base64.h"
#include "codec/md5.h"

namespace nvx {
namespace {

const struct {
  const char* bytes;
  const char* text;
} kRfc4648Vectors[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
};

TEST(Base64, Rfc4648VectorsBothWays) {
  for (const auto& v : kRfc4648Vectors) {
    EXPECT_EQ(Base64Encode(std::string_view(v.bytes)), v.text);
    EXPECT_EQ(Base64Decode(std::string_view(v.text)), v.bytes);
  }
}

TEST(Base64, EveryByteValueRoundTrips) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  for (size_t length = 0; length <= all.size(); length += 37) {
    std::string bytes = all.substr(0, length);
    EXPECT_EQ(Base64Decode(Base64Encode(bytes)), bytes) << length << " bytes";
  }
  EXPECT_EQ(Base64Encode(std::string("\xfb\xff\xbf", 3)), "+/+/");
}

TEST(Base64, DigestIsTwentyFourCharactersEndingInTwoPads) {
  Md5Digest digest = Md5Of("abc");
  char text[25];
  ASSERT_EQ(Base64Encode(digest.data(), digest.size(), text, sizeof text), 0);
  EXPECT_STREQ(text, "kAFQmDzST7DWlj99KOF/cg==");

  uint8_t back[16];
  EXPECT_EQ(Base64Decode(text, std::strlen(text), back, sizeof back), 16);
  EXPECT_EQ(std::memcmp(back, digest.data(), 16), 0);
}

TEST(Base64, EncodeRefusesTooSmallBuffers) {
  char text[32];
  std::memset(text, 'x', sizeof text);
  // A 16-byte digest needs 24 characters and the terminating zero.
  EXPECT_EQ(Base64Encode("0123456789abcdef", 16, text, 24), kBase64NoRoom);
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(text[1], 'x');  // nothing else was touched
  EXPECT_EQ(Base64Encode("0123456789abcdef", 16, text, 25), 0);
  // Counts that are not a multiple of three still need their whole last quartet.
  EXPECT_EQ(Base64Encode("abcd", 4, text, 8), kBase64NoRoom);
  EXPECT_EQ(Base64Encode("abcd", 4, text, 9), 0);
  EXPECT_STREQ(text, "YWJjZA==");
  EXPECT_EQ(Base64Encode("", 0, text, 1), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(Base64Encode("", 0, text, 0), kBase64NoRoom);
  EXPECT_EQ(Base64Encode("a", 1, nullptr, 100), kBase64NoRoom);
}

TEST(Base64, DecodeSkipsCharactersOutsideTheAlphabet) {
  const char* kNoisy[] = {"Zm9v\r\nYmFy", "Zm 9vY mFy", "\tZm9vYmFy\n", "Zm9v*Ym-Fy", "=Zm9vYmFy"};
  for (const char* text : kNoisy) EXPECT_EQ(Base64Decode(std::string_view(text)), "foobar") << text;
}

TEST(Base64, PadInThirdOrFourthPlaceEndsTheOutput) {
  EXPECT_EQ(Base64Decode(std::string_view("Zg==Zm9v")), "f");
  EXPECT_EQ(Base64Decode(std::string_view("Zm8=Zm9v")), "fo");
  EXPECT_EQ(Base64Decode(std::string_view("Zg=")), "f");
  // Without pads, a quartet cut short yields the bytes it completes.
  EXPECT_EQ(Base64Decode(std::string_view("Zm9vYg")), "foob");
  EXPECT_EQ(Base64Decode(std::string_view("Zm9vYmE")), "fooba");
  EXPECT_EQ(Base64Decode(std::string_view("Zm9vY")), "foo");
}

TEST(Base64, DecodeReportsAFullOutput) {
  uint8_t bytes[8];
  EXPECT_EQ(Base64Decode("Zm9vYmFy", 8, bytes, 6), 6);
  EXPECT_EQ(Base64Decode("Zm9vYmFy", 8, bytes, 5), -1);
  EXPECT_EQ(Base64Decode("Zm9vYmFy", 8, bytes, 0), -1);
  // Filling the output exactly is no overflow, even with noise after the last quartet.
  EXPECT_EQ(Base64Decode("Zm9vYmFy\r\n", 10, bytes, 6), 6);
  EXPECT_EQ(Base64Decode("Zm9vYmE=", 8, bytes, 5), 5);
  EXPECT_EQ(Base64Decode("Zm9vYmE=", 8, bytes, 4), -1);
  EXPECT_EQ(Base64Decode("", 0, bytes, 0), 0);
  EXPECT_EQ(Base64Decode(nullptr, 5, bytes, 8), 0);
}

TEST(Base64, DecodeReadsOnlyTheGivenLength) {
  uint8_t bytes[8];
  // The text continues past the length; only the first quartet counts.
  EXPECT_EQ(Base64Decode("Zm9vYmFy", 4, bytes, sizeof bytes), 3);
  EXPECT_EQ(std::memcmp(bytes, "foo", 3), 0);
}

}  // namespace
}  // namespace nvx

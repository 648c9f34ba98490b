// MD5 against the RFC 1321 test suite, at every split of the input into updates.
#include <string>

#include <gtest/gtest.h>

#include "codec/md5.h"
#include "tests/support/hex.h"

namespace nvx {
namespace {

using test::ToHex;

struct DigestCase {
  std::string message;
  const char* digest;
};

const DigestCase kRfc1321Suite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5, Rfc1321Suite) {
  for (const DigestCase& c : kRfc1321Suite) {
    Md5Digest digest = Md5Of(c.message);
    EXPECT_EQ(ToHex(digest.data(), digest.size()), c.digest) << '"' << c.message << '"';
  }
}

// Also when the context is saved as bytes at the split and the rest is fed to a context
// loaded from them, as another process continues a document's digest.
TEST(Md5, EverySplitIntoTwoUpdatesGivesTheSameDigest) {
  const std::string& message = kRfc1321Suite[6].message;
  for (size_t split = 0; split <= message.size(); ++split) {
    for (bool saved : {false, true}) {
      Md5Context context;
      Md5Init(context);
      Md5Update(context, message.data(), split);
      if (saved) {
        std::string bytes = Md5SaveState(context);
        ASSERT_EQ(bytes.size(), kMd5StateSize);
        Md5Context loaded;
        ASSERT_TRUE(Md5LoadState(bytes, &loaded));
        EXPECT_EQ(Md5ByteCount(loaded), split);
        context = loaded;
      }
      Md5Update(context, message.data() + split, message.size() - split);
      uint8_t digest[kMd5DigestSize];
      Md5Final(context, digest);
      EXPECT_EQ(ToHex(digest, sizeof digest), kRfc1321Suite[6].digest) << "split at " << split;
    }
  }
  Md5Context context;
  EXPECT_FALSE(Md5LoadState(std::string(kMd5StateSize - 1, '\0'), &context));
}

// Lengths around the padding boundary (55, 56, 63, 64 bytes) decide whether the length
// goes into the last data block or a block of its own.
TEST(Md5, LengthsAroundTheBlockBoundary) {
  const struct {
    size_t length;
    const char* digest;
  } kCases[] = {
      {55, "ef1772b6dff9a122358552954ad0df65"}, {56, "3b0c8ac703f828b04c6c197006d17218"},
      {63, "b06521f39153d618550606be297466d5"}, {64, "014842d480b571495a4a0363793f7367"},
      {65, "c743a45e0d2e6a95cb859adae0248435"},
  };
  for (const auto& c : kCases) {
    Md5Digest digest = Md5Of(std::string(c.length, 'a'));
    EXPECT_EQ(ToHex(digest.data(), digest.size()), c.digest) << c.length << " bytes";
  }
}

TEST(Md5, AMillionBytesFedOneAtATime) {
  Md5Context context;
  Md5Init(context);
  const char a = 'a';
  for (int i = 0; i < 1000000; ++i) Md5Update(context, &a, 1);
  uint8_t digest[kMd5DigestSize];
  Md5Final(context, digest);
  EXPECT_EQ(ToHex(digest, sizeof digest), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5, FinalWipesTheContext) {
  Md5Context context;
  Md5Init(context);
  Md5Update(context, "secret password", 15);
  uint8_t digest[kMd5DigestSize];
  Md5Final(context, digest);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&context);
  for (size_t i = 0; i < sizeof context; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

}  // namespace
}  // namespace nvx

// CNvxauth and the library's scrambling helpers as the job runner and the service see
// them: tokens vary with the second yet verify, and bad tokens are refused.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "api/nvxapi.h"
#include "codec/base64.h"
#include "codec/md5.h"
#include "codec/scrambled_text.h"
#include "platform/clock.h"
#include "protocol/library_limits.h"
#include "tests/support/fake_clock.h"
#include "wire/login_token.h"

namespace nvx {
namespace {

class NvxauthTest : public ::testing::Test {
 protected:
  NvxauthTest() : override_(&clock_) {}

  std::string AuthData(const char* user, const char* password) {
    char output[kScrambledTextCapacity];
    std::memset(output, 'x', sizeof output);
    auth_.GenerateAuthData(user, password, output);
    EXPECT_NE(std::memchr(output, '\0', sizeof output), nullptr);
    return output;
  }

  std::string EncryptData(const char* text) {
    char output[kScrambledTextCapacity];
    std::memset(output, 'x', sizeof output);
    auth_.GenerateEncryptData(text, output);
    EXPECT_NE(std::memchr(output, '\0', sizeof output), nullptr);
    return output;
  }

  test::FakeClock clock_;
  platform::ScopedClockOverride override_;
  CNvxauth auth_;
};

TEST_F(NvxauthTest, TokensDifferFromSecondToSecondAndAllVerify) {
  std::string first = AuthData("alice", "wonderland");
  clock_.AdvanceMillis(3000);
  std::string second = AuthData("alice", "wonderland");
  EXPECT_NE(first, second);
  for (const std::string& token : {first, second}) {
    EXPECT_TRUE(auth_.VerifyAuthId("alice", token.c_str())) << token;
    EXPECT_TRUE(auth_.VerifyAuthId("ALICE", token.c_str())) << token;
    EXPECT_TRUE(auth_.VerifyAuthId("aLiCe", token.c_str())) << token;
    EXPECT_FALSE(auth_.VerifyAuthId("bob", token.c_str())) << token;
    EXPECT_FALSE(auth_.VerifyAuthId("alic", token.c_str())) << token;
    EXPECT_FALSE(auth_.VerifyAuthId("alice2", token.c_str())) << token;
    EXPECT_FALSE(auth_.VerifyAuthId("", token.c_str())) << token;
  }
}

TEST_F(NvxauthTest, TokenCarriesThePasswordDigestAndTheUser) {
  std::optional<std::string> plain = UnscrambleText(AuthData("alice", "wonderland"));
  ASSERT_TRUE(plain);
  Md5Digest digest = Md5Of("wonderland");
  EXPECT_EQ(plain->substr(0, 16), std::string(reinterpret_cast<char*>(digest.data()), 16));
  EXPECT_EQ(plain->substr(16), std::string("alice\0\0\0", 8));
}

TEST_F(NvxauthTest, BadTokensFail) {
  std::string good = AuthData("alice", "wonderland");
  const std::string kCases[] = {
      "",                     // empty
      "not base64 at all!!",  // garbage that decodes to a few bytes
      good.substr(0, 8),      // too short to hold a block
      good.substr(0, 24),     // holds only the digest, not the user
      std::string(400, 'Q'),  // overflows the decode buffer
  };
  for (const std::string& token : kCases) {
    EXPECT_FALSE(auth_.VerifyAuthId("alice", token.c_str())) << token;
  }
  EXPECT_FALSE(auth_.VerifyAuthId("alice", nullptr));
  EXPECT_FALSE(auth_.VerifyAuthId(nullptr, good.c_str()));
}

TEST_F(NvxauthTest, FifteenCharacterUserGivesThirtyTwoCipherBytes) {
  for (int second = 0; second < 4; ++second) {
    std::string raw = Base64Decode(AuthData("abcdefghijklmno", "pw"));
    EXPECT_EQ(raw.size(), 2u + 32u + static_cast<size_t>(clock_.NowSeconds() % 4));
    clock_.AdvanceMillis(1000);
  }
}

TEST_F(NvxauthTest, EncryptDataRoundTripsThroughTheProxyPasswordDescrambler) {
  const char* kTexts[] = {"", "p", "proxy password", "1234567", "12345678"};
  for (const char* text : kTexts) {
    EXPECT_EQ(DescrambleProxyPassword(EncryptData(text)), text);
    clock_.AdvanceMillis(1000);
  }
  EXPECT_EQ(DescrambleProxyPassword(EncryptData(nullptr)), "");
  EXPECT_FALSE(DescrambleProxyPassword("garbage"));
}

TEST_F(NvxauthTest, LongestFieldsFitTheOutputBuffer) {
  const std::string user(63, 'u');
  const std::string text(127, 't');
  for (int second = 0; second < 1024; second += 97) {
    std::string token = AuthData(user.c_str(), "password");
    EXPECT_LT(token.size(), kScrambledTextCapacity);
    EXPECT_TRUE(auth_.VerifyAuthId(user.c_str(), token.c_str()));
    std::string scrambled = EncryptData(text.c_str());
    EXPECT_LT(scrambled.size(), kScrambledTextCapacity);
    EXPECT_EQ(DescrambleProxyPassword(scrambled), text);
    clock_.AdvanceMillis(97000);
  }
}

TEST_F(NvxauthTest, TextsTooLongForTheBufferGiveAnEmptyText) {
  const std::string longest(kScramblePlaintextMax - 1, 't');  // with its zero byte: the limit
  EXPECT_EQ(DescrambleProxyPassword(EncryptData(longest.c_str())), longest);
  const std::string too_long(kScramblePlaintextMax, 't');
  EXPECT_EQ(EncryptData(too_long.c_str()), "");
  const std::string user_too_long(kScramblePlaintextMax - 16, 'u');
  EXPECT_EQ(AuthData(user_too_long.c_str(), "pw"), "");
}

TEST_F(NvxauthTest, NullOutputIsLeftAlone) {
  auth_.GenerateAuthData("alice", "pw", nullptr);
  auth_.GenerateEncryptData("text", nullptr);
  CNvxauth other;
  other = auth_;
  EXPECT_TRUE(other.VerifyAuthId("alice", AuthData("alice", "pw").c_str()));
}

TEST_F(NvxauthTest, LibraryLoginTokenMatchesTheExportedOne) {
  std::string token = LoginTokenFor("alice", "wonderland");
  EXPECT_EQ(token, AuthData("alice", "wonderland"));  // same second, same token
  EXPECT_EQ(UserIdOfLoginToken(token), "alice");
}

}  // namespace
}  // namespace nvx

// The runner's checks of scrambled passwords, against the library's own scrambling.
#include "runner/password_scrambling.h"

#include <gtest/gtest.h>

#include "codec/base64.h"
#include "tests/support/fake_clock.h"
#include "wire/login_token.h"

namespace nvx {
namespace {

// Two key bytes for key number `key`, `blocks` cipher blocks and `noise` noise bytes.
std::string Shaped(int key, size_t blocks, size_t noise) {
  std::string bytes;
  bytes += static_cast<char>(0x40 | (key >> 8));
  bytes += static_cast<char>(key & 0xFF);
  bytes += std::string(blocks * 8 + noise, 'x');
  return Base64Encode(bytes);
}

TEST(ScrambledProxyPassword, EveryScrambledTextIsWellFormedWhateverTheSecond) {
  test::FakeClock clock;
  platform::ScopedClockOverride use_clock(&clock);
  const std::string passwords[] = {"p", "proxy-secret", std::string(127, 'z')};
  // 1024 seconds: every key number and every count of noise bytes.
  for (int64_t second = 0; second < 1024; ++second) {
    clock.SetNowSeconds(1078495000 + second);
    for (const std::string& password : passwords) {
      std::string scrambled = ScrambleProxyPassword(password);
      ASSERT_TRUE(IsWellFormedScrambledText(scrambled)) << second << " " << scrambled;
      ASSERT_EQ(DescrambleProxyPassword(scrambled), password);
    }
  }
}

TEST(ScrambledProxyPassword, TextsOfAnotherShapeAreRefused) {
  struct Case {
    std::string text;
    bool well_formed;
  };
  const Case cases[] = {
      {Shaped(0, 1, 0), true},
      {Shaped(495, 1, 3), true},
      {Shaped(17, 4, 2), true},
      {Shaped(496, 1, 0), false},  // a key past the usable table
      {Shaped(511, 2, 1), false},
      {Shaped(3, 1, 4), false},  // more noise than a scrambler adds
      {Shaped(3, 0, 3), false},  // no cipher block at all
      {"", false},
      {"not scrambled", false},
      {"proxy-secret", false},
      {Shaped(3, 1, 0).substr(1), false},  // not a whole number of Base64 groups
      {"QUJD=EVGR0hJSktMTU5PUA==", false},
      {Shaped(3, 1, 0) + "====", false},
      {std::string(256, 'A'), false},  // longer than any scrambled text
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsWellFormedScrambledText(c.text), c.well_formed) << "'" << c.text << "'";
  }
}

TEST(ScrambledLoginPassword, BelongsToItsUserInAnyLetterCase) {
  std::string token = ScrambleLoginPassword("Bob", "secret");
  EXPECT_TRUE(IsLoginTokenOf("bob", token));
  EXPECT_TRUE(IsLoginTokenOf("BOB", token));
  EXPECT_FALSE(IsLoginTokenOf("alice", token));
  EXPECT_FALSE(IsLoginTokenOf("bob", ""));
  EXPECT_FALSE(IsLoginTokenOf("bob", "not a token"));
}

}  // namespace
}  // namespace nvx

// Blowfish against the published variable-key ECB vectors and against an independent
// implementation (the C library of OpenSSL), both read under this system's convention:
// each 4-byte word of a block is stored least significant byte first.
//
// Only this test uses OpenSSL's low-level Blowfish interface, which OpenSSL 3 marks as
// deprecated; the define below keeps those marks out of this one file.
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include <openssl/blowfish.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "codec/blowfish.h"
#include "tests/support/hex.h"

namespace nvx {
namespace {

using test::FromHex;
using test::ToHex;

// Turns a block between the common byte order (most significant byte of each word first)
// and this system's.
std::vector<uint8_t> SwapWords(std::vector<uint8_t> bytes) {
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4) std::reverse(&bytes[i], &bytes[i + 4]);
  return bytes;
}

const struct {
  const char* key;
  const char* clear;
  const char* cipher;
} kPublishedVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

TEST(Blowfish, PublishedVectorsUnderTheWordConvention) {
  for (const auto& v : kPublishedVectors) {
    std::vector<uint8_t> key = FromHex(v.key);
    std::vector<uint8_t> clear = SwapWords(FromHex(v.clear));
    std::vector<uint8_t> cipher = SwapWords(FromHex(v.cipher));
    Blowfish blowfish(key.data(), key.size());

    uint8_t out[8];
    blowfish.EncryptBlocks(clear.data(), out, 1);
    EXPECT_EQ(ToHex(out, 8), ToHex(cipher.data(), 8)) << "key " << v.key;
    blowfish.DecryptBlocks(cipher.data(), out, 1);
    EXPECT_EQ(ToHex(out, 8), ToHex(clear.data(), 8)) << "key " << v.key;
  }
}

TEST(Blowfish, WordsAreTheHalvesOfTheBlock) {
  std::vector<uint8_t> key = FromHex("0123456789ABCDEF");
  Blowfish blowfish(key.data(), key.size());
  uint32_t left = 0x11111111, right = 0x11111111;
  blowfish.EncryptWords(left, right);
  EXPECT_EQ(left, 0x61F9C380u);
  EXPECT_EQ(right, 0x2281B096u);
  blowfish.DecryptWords(left, right);
  EXPECT_EQ(left, 0x11111111u);
  EXPECT_EQ(right, 0x11111111u);
}

// Random keys of every length from 1 to 72 bytes and runs of one to five random blocks
// (blocks go through in pairs and a single one), against OpenSSL block by block.
TEST(Blowfish, AgreesWithAnIndependentImplementation) {
  std::mt19937 random(20040305);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 3000; ++round) {
    size_t key_length = 1 + round % Blowfish::kMaxKeyLength;
    if (round % 3 == 0) key_length = 16;  // the length the transfer cipher uses
    std::vector<uint8_t> key(key_length);
    for (auto& b : key) b = static_cast<uint8_t>(byte(random));
    size_t blocks = 1 + round % 5;
    std::vector<uint8_t> ours(8 * blocks);
    for (auto& b : ours) b = static_cast<uint8_t>(byte(random));

    BF_KEY reference;
    BF_set_key(&reference, static_cast<int>(key_length), key.data());
    std::vector<uint8_t> expected;
    for (size_t i = 0; i < blocks; ++i) {
      std::vector<uint8_t> theirs = SwapWords({ours.begin() + 8 * i, ours.begin() + 8 * i + 8});
      std::vector<uint8_t> out(8);
      BF_ecb_encrypt(theirs.data(), out.data(), &reference, BF_ENCRYPT);
      out = SwapWords(out);
      expected.insert(expected.end(), out.begin(), out.end());
    }

    Blowfish blowfish(key.data(), key.size());
    std::vector<uint8_t> enciphered(ours.size());
    blowfish.EncryptBlocks(ours.data(), enciphered.data(), blocks);
    ASSERT_EQ(ToHex(enciphered.data(), enciphered.size()), ToHex(expected.data(), expected.size()))
        << "key " << ToHex(key.data(), key.size());

    std::vector<uint8_t> deciphered(ours.size());
    blowfish.DecryptBlocks(enciphered.data(), deciphered.data(), blocks);
    ASSERT_EQ(deciphered, ours);
  }
}

TEST(Blowfish, ManyBlocksInPlaceEqualBlockByBlock) {
  std::vector<uint8_t> key = FromHex("F0E1D2C3B4A5968778695A4B3C2D1E0F");
  Blowfish blowfish(key.data(), key.size());
  std::vector<uint8_t> data(8 * 37);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);

  std::vector<uint8_t> one_by_one(data.size());
  for (size_t i = 0; i < data.size(); i += 8) blowfish.EncryptBlocks(&data[i], &one_by_one[i], 1);
  std::vector<uint8_t> in_place = data;
  blowfish.EncryptBlocks(in_place.data(), in_place.data(), in_place.size() / 8);
  EXPECT_EQ(in_place, one_by_one);
  blowfish.DecryptBlocks(in_place.data(), in_place.data(), in_place.size() / 8);
  EXPECT_EQ(in_place, data);
}

TEST(Blowfish, KeyBytesBeyondTheScheduleAreIgnored) {
  std::vector<uint8_t> key(80);
  for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i + 1);
  Blowfish full(key.data(), key.size());
  Blowfish cut(key.data(), Blowfish::kMaxKeyLength);
  uint32_t l1 = 1, r1 = 2, l2 = 1, r2 = 2;
  full.EncryptWords(l1, r1);
  cut.EncryptWords(l2, r2);
  EXPECT_EQ(l1, l2);
  EXPECT_EQ(r1, r2);
}

}  // namespace
}  // namespace nvx

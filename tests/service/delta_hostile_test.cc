// Mutated and random delta bodies fed to the service's delta upload against a real store:
// nothing crashes or reads out of bounds (the sanitizer builds check that), a refused
// delta changes neither the document nor the blob folder, and an applied one stores
// exactly what it records (the feed aborts otherwise). The same feed backs the libFuzzer
// target service_delta_fuzzer.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "codec/delta/block_signature.h"
#include "codec/delta/delta_file.h"
#include "codec/transfer_cipher.h"
#include "codec/zip_archive.h"
#include "fuzz/service_delta_feeds.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

std::string Feed(uint8_t mode, uint8_t piece, const std::string& body) {
  std::string input;
  input.push_back(static_cast<char>(mode));
  input.push_back(static_cast<char>(piece));
  input += body;
  return fuzz::FeedServiceDelta(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

// A delta of `content` against the feed's base document.
std::string DeltaOf(test::TempDir& dir, const std::string& content) {
  test::WriteFileText(dir.File("base"), fuzz::ServiceDeltaBase());
  test::WriteFileText(dir.File("new"), content);
  std::string signature, error, message;
  EXPECT_TRUE(MakeSignature(dir.File("base"), kServiceSignatureBlockSize, &signature, &error));
  EXPECT_TRUE(MakeDelta(signature, dir.File("new"), dir.File("delta"), &message)) << message;
  return test::ReadFileText(dir.File("delta"));
}

std::string Packed(test::TempDir& dir, const std::string& bytes) {
  test::WriteFileText(dir.File("plain"), bytes);
  int error = 0;
  EXPECT_TRUE(ZipOneFile(dir.File("plain"), dir.File("packed"), &error));
  return test::ReadFileText(dir.File("packed"));
}

// Enciphered as the feed takes it: whole blocks, the padding named in the mode's top bits.
std::string Enciphered(const std::string& bytes, uint8_t* mode) {
  std::string body(RoundUpToBlock(bytes.size()), '\0');
  TransferCipher(77).Encipher(bytes.data(), bytes.size(), body.data());
  *mode = static_cast<uint8_t>(*mode | 2 | ((body.size() - bytes.size()) << 5));
  return body;
}

TEST(ServiceDeltaHostileTest, ValidDeltasApplyInEveryForm) {
  test::TempDir dir;
  std::string changed = fuzz::ServiceDeltaBase();
  changed[3000] ^= 0x11;
  const std::vector<std::string> contents = {changed, changed + "grown", changed.substr(0, 4096),
                                             "x"};
  for (const std::string& content : contents) {
    std::string delta = DeltaOf(dir, content);
    EXPECT_EQ(Feed(0, 255, delta), "Successful");
    EXPECT_EQ(Feed(1, 3, Packed(dir, delta)), "Successful");
    uint8_t mode = 0;
    std::string body = Enciphered(delta, &mode);
    EXPECT_EQ(Feed(mode, 8, body), "Successful");
    mode = 1;
    body = Enciphered(Packed(dir, delta), &mode);
    EXPECT_EQ(Feed(mode, 100, body), "Successful");
  }
}

TEST(ServiceDeltaHostileTest, MutatedAndRandomDeltasNeverHarmTheStore) {
  test::TempDir dir;
  std::string changed = fuzz::ServiceDeltaBase();
  changed[10] ^= 1;
  const std::vector<std::string> seeds = {DeltaOf(dir, changed),
                                          DeltaOf(dir, changed + std::string(3000, 'g')),
                                          DeltaOf(dir, changed.substr(0, 2048))};
  std::mt19937 random(20261207);
  int refused = 0;
  for (int round = 0; round < 250; ++round) {
    std::string body = seeds[random() % seeds.size()];
    switch (random() % 4) {
      case 0:  // flipped bytes
        for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips) {
          body[random() % body.size()] ^= static_cast<char>(1 + random() % 255);
        }
        break;
      case 1:  // cut short
        body.resize(random() % body.size());
        break;
      case 2:  // a record index or header digit changed to another digit
        for (char& c : body) {
          if (c >= '0' && c <= '9' && random() % 8 == 0) c = static_cast<char>('0' + random() % 10);
        }
        break;
      default:  // random bytes
        body.assign(random() % 300, '\0');
        for (char& c : body) c = static_cast<char>(random());
        break;
    }
    uint8_t mode = static_cast<uint8_t>(random() % 4);
    if (mode & 1) body = Packed(dir, body);
    if (mode & 2) {
      mode = static_cast<uint8_t>(mode & 1);
      body = Enciphered(body, &mode);
    }
    if (Feed(mode, static_cast<uint8_t>(random()), body) != "Successful") ++refused;
  }
  // Most mutations are refused; the few that still describe the base's content apply.
  EXPECT_GT(refused, 125);
}

}  // namespace
}  // namespace nvx

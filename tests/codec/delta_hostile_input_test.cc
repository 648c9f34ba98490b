// Mutated and random signatures and deltas fed to the signature reader, the delta
// writer and the delta application: nothing crashes or reads out of bounds (the
// sanitizer build checks that), a refused delta leaves no output, and an applied one
// rebuilds exactly what its header announces. The same feeds back the libFuzzer
// target delta_fuzzer.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "codec/delta/block_signature.h"
#include "codec/delta/delta_file.h"
#include "fuzz/delta_feeds.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

// Valid signatures and deltas of the base document to start from.
std::vector<std::string> Seeds() {
  test::TempDir dir;
  std::string changed = fuzz::DeltaFeedBase();
  changed[2100] ^= 1;
  const std::vector<std::string> variants = {changed, changed + "grown by a little",
                                             changed.substr(0, 4096), changed.substr(0, 77)};
  std::vector<std::string> seeds = {
      "5000,0,2048,2,904,0123456789abcdef0123456789abcdef,000011112222",
      "100,0,2048,0,100,0123456789abcdef0123456789abcdef,abCD",
      "0,0,0,0,0,0,",
  };
  for (const std::string& variant : variants) {
    test::WriteFileText(dir.File("new"), variant);
    std::string signature, error, message;
    EXPECT_TRUE(MakeSignature(dir.File("new"), 16, &signature, &error));
    seeds.push_back(signature);
    EXPECT_TRUE(MakeSignature(fuzz::DeltaFeedBasePath(), 2048, &signature, &error));
    EXPECT_TRUE(MakeDelta(signature, dir.File("new"), dir.File("delta"), &message));
    seeds.push_back(test::ReadFileText(dir.File("delta")));
  }
  return seeds;
}

std::string Mutated(const std::vector<std::string>& seeds, std::mt19937& random) {
  const auto below = [&](size_t n) { return n == 0 ? 0 : random() % n; };
  static const char kInteresting[] = {',', '$', '0', '9', '-', '\0', 'f', 'F'};
  std::string input = seeds[below(seeds.size())];
  for (int i = 0, n = 1 + static_cast<int>(below(6)); i < n; ++i) {
    switch (below(7)) {
      case 0:
        if (!input.empty()) input[below(input.size())] ^= static_cast<char>(1 << below(8));
        break;
      case 1:
        input.insert(below(input.size() + 1), 1, kInteresting[below(sizeof kInteresting)]);
        break;
      case 2:
        if (!input.empty()) input.erase(below(input.size()), 1 + below(40));
        break;
      case 3:
        input.resize(below(input.size() + 1));
        break;
      case 4:
        input.insert(below(input.size() + 1), "99999999999999999999");
        break;
      case 5:
        input.insert(below(input.size() + 1), std::to_string(random()));
        break;
      default:
        // A number of the header or a record index changed.
        if (size_t at = input.find(',', below(input.size())); at != std::string::npos) {
          input.insert(at + 1, std::to_string(below(4)));
        }
        break;
    }
  }
  return input;
}

TEST(DeltaHostileInput, MutatedSignaturesAndDeltasAreRefusedOrExact) {
  const std::vector<std::string> seeds = Seeds();
  for (const std::string& seed : seeds) {
    fuzz::FeedSignature(seed);
    fuzz::FeedDelta(seed);
  }
  std::mt19937 random(8080);
  for (int i = 0; i < 2000; ++i) {
    std::string input = Mutated(seeds, random);
    if (i % 10 == 9) {
      input.assign(random() % 300, '\0');
      for (char& c : input) c = static_cast<char>(random());
    }
    fuzz::FeedSignature(input);
    fuzz::FeedDelta(input);
  }
}

}  // namespace
}  // namespace nvx

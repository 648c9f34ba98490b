// Random and mutated replies fed to every parser of the wire protocol for a few seconds:
// whatever a server or a proxy sends, nothing crashes or reads out of bounds (the
// sanitizer build checks the latter). The same feeds back the libFuzzer target.
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fuzz/reply_feeds.h"

namespace nvx {
namespace {

const std::vector<std::string>& Seeds() {
  static const std::vector<std::string> seeds = {
      "0\tMyFiles\tW\t100\n1\tDocs\tW\t101\n2\tA\tV\t102\n1\tPrivate\tN\t103\n"
      "2\tInner\tW\t104\n0\tShared\tV\t105\n",
      "0\tMyFiles\n5\tDeep\tN\n1\tBack\tV\t7\n-3\tx\t\t\n",
      "A17\tA.txt\t10\t07D403050E0709\t0\t0\t\r\n",
      "1\tbig.bin\t6442450944\t07D403050E0709\t2\t9\t2\tpart\t5\t \t0\t0\t\r\n",
      std::string("7\tx\0y\t1\t\t0\t0\t8\t\t2\t\t0\t0\t\r\n9\tz\t3\t \t0\t0\t\r\n", 39),
      "HTTP/1.1 200 OK\r\nX-NVX-CONCLUSION: Successful\r\nX-NVX-LARCH: 5368709120,1073741824\r\n"
      "X-NVX-CRUNCHYFROG: 1,0,1\r\nContent-Length: 12\r\nConnection: close\r\n\r\n",
      "HTTP/1.1 200 OK\r\nX-NVX-LUPIN: 1B2M2Y8AsgTpgAmY7PhCfg==,10,A17,07D403050E0709;a,b.txt\r\n"
      "X-NVX-Fang: 6442450944,300,1\r\nX-NVX-RESTART: 1\r\n\r\n",
      "HTTP/1.1 200 OK\r\nX-NVX-CONCLUSION: Incomplete\r\n"
      "X-NVX-LUPIN: 1B2M2Y8AsgTpgAmY7PhCfg==,9223372036854775807,V2;\r\n\r\n",
      "HTTP/1.1 200 OK\r\nX-NVX-CONCLUSION: ReplaceX\r\nX-NVX-LUPIN: ,0123456789ABCDEFGHIJ;\r\n"
      "X-NVX-LARCH: -1,-9223372036854775808\r\n\r\n",
      "HTTP/1.1 200 OK\r\nX-NVX-CONCLUSION: DateNoMatch\r\nX-NVX-LUPIN: ====,5,;\r\n\r\n",
      "HTTP/1.0 407 Proxy Authentication Required\r\n\r\n",
      "HTTP/1.1 200 OK\r\nX-NVX-CONCLUSION: UGOTIT\r\nX-NVX-Fang: 5003,300,0\r\n"
      "X-NVX-RESTART: 1\r\nContent-Length: 9223372036854775807\r\n\r\n",
      "HTTP/1.1 200 OK\r\nX-NVX-Fang: -1,-9223372036854775808,1\r\nContent-Length: -5\r\n\r\n",
      "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n\r\n",
      "1.0.9 Fixes proxy login",
      "07D403050E0709",
  };
  return seeds;
}

class Mutator {
 public:
  explicit Mutator(uint32_t seed) : random_(seed) {}

  std::string Next() {
    const auto& seeds = Seeds();
    std::string input = seeds[Below(seeds.size())];
    int mutations = 1 + static_cast<int>(Below(8));
    for (int i = 0; i < mutations; ++i) Mutate(input);
    return input;
  }

 private:
  size_t Below(size_t n) {
    return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(random_);
  }
  char AnyByte() { return static_cast<char>(Below(256)); }
  char Interesting() {
    static const char kBytes[] = {'\t', '\n', '\r', '\0', ',', ';', '\\',
                                  ':',  '-',  '0',  '9',  'N', 'V', ' '};
    return kBytes[Below(sizeof kBytes)];
  }

  void Mutate(std::string& input) {
    switch (Below(9)) {
      case 0:  // flip a bit
        if (!input.empty()) input[Below(input.size())] ^= static_cast<char>(1 << Below(8));
        break;
      case 1:  // insert a byte that matters to the parsers
        input.insert(input.begin() + static_cast<std::ptrdiff_t>(Below(input.size() + 1)),
                     Interesting());
        break;
      case 2:  // delete a run
        if (!input.empty()) {
          size_t at = Below(input.size());
          input.erase(at, 1 + Below(input.size() - at));
        }
        break;
      case 3:  // cut short
        input.resize(Below(input.size() + 1));
        break;
      case 4:  // duplicate a slice
        if (!input.empty()) {
          size_t at = Below(input.size());
          input.insert(Below(input.size()), input.substr(at, 1 + Below(64)));
        }
        break;
      case 5:  // splice another seed in
        input.insert(Below(input.size() + 1), Seeds()[Below(Seeds().size())]);
        break;
      case 6:  // a long run
        input.insert(Below(input.size() + 1), std::string(1 + Below(6000), Interesting()));
        break;
      case 7:  // random bytes
        for (size_t i = 0, n = Below(64); i < n; ++i) input.push_back(AnyByte());
        break;
      default:  // a huge number
        input.insert(Below(input.size() + 1), "99999999999999999999999");
        break;
    }
  }

  std::mt19937 random_;
};

TEST(HostileInput, MutatedAndRandomRepliesNeverCrashAParser) {
  Mutator mutator(20040305);
  std::mt19937 random(7);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  int64_t inputs = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    std::string input = (inputs % 5 == 4) ? std::string(random() % 512, '\0') : mutator.Next();
    if (inputs % 5 == 4) {
      for (char& c : input) c = static_cast<char>(random());
    }
    fuzz::FeedFolderList(input);
    fuzz::FeedServerFileList(input);
    fuzz::FeedResponseHeader(input);
    ++inputs;
  }
  EXPECT_GT(inputs, 100);
}

}  // namespace
}  // namespace nvx

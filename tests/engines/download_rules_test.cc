// The download's decisions that need no connection: name patterns with every result,
// the length an enciphered body ends with, and the deciphering of a work file (whole,
// cut short, resumed).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "codec/transfer_cipher.h"
#include "engines/download_exchange.h"
#include "engines/name_pattern.h"
#include "platform/file_system.h"
#include "protocol/transfer_answers.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

TEST(MatchNamePattern, EveryResult) {
  struct Case {
    const char* pattern;
    const char* name;
    bool ignore_case;
    PatternResult result;
  };
  using R = PatternResult;
  const std::vector<Case> cases = {
      {"*.DOC", "report.doc", true, R::kMatch},
      {"*.DOC", "report.doc", false, R::kNameEnded},
      {"*.doc", "report.doc.txt", true, R::kNameEnded},
      {"*", "", true, R::kMatch},
      {"", "", true, R::kMatch},
      {"", "a", true, R::kPatternEnded},
      {"abc", "abcd", true, R::kPatternEnded},
      {"abcd", "abc", true, R::kNameEnded},
      {"abc*", "abc", true, R::kMatch},
      {"abc**", "abc", true, R::kNameEnded},
      {"a?c", "abc", true, R::kMatch},
      {"a?", "a", true, R::kNameEnded},
      {"*?", "", true, R::kNameEnded},
      {"*?x", "ab", true, R::kNameEnded},
      {"*??", "ab", true, R::kMatch},
      {"abd", "abc", true, R::kLiteralMismatch},
      {"ABC", "abc", true, R::kMatch},
      {"ABC", "abc", false, R::kLiteralMismatch},
      // Sets compare exactly, whatever the rest does.
      {"[a-c]*", "Beta.txt", true, R::kSetMismatch},
      {"[a-c]*", "beta.txt", true, R::kMatch},
      {"[c-a]x", "bx", true, R::kMatch},
      {"[!a-c]*", "beta", true, R::kSetMismatch},
      {"[^a-c]*", "Beta", true, R::kMatch},
      {"[abc]", "d", true, R::kSetMismatch},
      {"[\\]]", "]", true, R::kMatch},
      {"[a\\-]", "-", true, R::kMatch},
      {"*[0-9].txt", "file7.txt", true, R::kMatch},
      {"*[0-9].txt", "file.txt", true, R::kNameEnded},
      // Malformed patterns match nothing.
      {"a[]", "a]", true, R::kMalformed},
      {"a[]", "ab", true, R::kMalformed},
      {"a[]", "b", true, R::kLiteralMismatch},
      {"[!]x", "x", true, R::kMalformed},
      {"[a-]", "a", true, R::kMalformed},
      {"[a-", "a", true, R::kMalformed},
      {"[ab", "a", true, R::kMalformed},
      {"ab\\", "abc", true, R::kMalformed},
      {"*\\", "abc", true, R::kMalformed},
      // A backslash makes the next character plain.
      {"a\\*", "a*", true, R::kMatch},
      {"a\\*", "ab", true, R::kLiteralMismatch},
      {"*\\?", "why?", true, R::kMatch},
      {"*x*y", "axbxcy", true, R::kMatch},
      {"*.*", "noext", true, R::kNameEnded},
      {"*.*", "a.b", true, R::kMatch},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchNamePattern(c.pattern, c.name, c.ignore_case), c.result)
        << "'" << c.pattern << "' against '" << c.name << "'";
  }
  EXPECT_TRUE(IsNamePattern("a\\b"));
  EXPECT_TRUE(IsNamePattern("[x]"));
  EXPECT_FALSE(IsNamePattern("report.doc"));
}

TEST(EncipheredFinalLength, TrustsOnlyALengthWithinThePadding) {
  struct Case {
    bool restart;
    int64_t offered, work_size, fang_length;
    std::optional<int64_t> result;
  };
  const std::vector<Case> cases = {
      {false, 0, 5008, 5003, 5003},
      {false, 0, 5008, 5008, 5008},
      {false, 0, 5008, 5000, std::nullopt},  // more than one block of padding
      {false, 0, 5008, 5009, std::nullopt},  // would lengthen the file
      {false, 0, 5008, -1, std::nullopt},
      {false, 0, 0, 0, 0},
      {true, 4096, 5008, 5003, 5003},  // the whole document's length
      {true, 4096, 5008, 907, 5003},   // the resumed part's length
      {true, 4096, 5008, INT64_MAX, std::nullopt},
      {false, 4096, 5008, 907, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncipheredFinalLength(c.restart, c.offered, c.work_size, c.fang_length), c.result)
        << c.restart << " " << c.offered << " " << c.work_size << " " << c.fang_length;
  }
}

std::string Pattern(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 131) ^ (i >> 7));
  return text;
}

std::string Enciphered(const std::string& plain, int64_t key) {
  std::string out(RoundUpToBlock(plain.size()), '\0');
  CipherForDownload(key).Encipher(plain.data(), plain.size(), out.data());
  return out;
}

TEST(DecipherDownloaded, WholeCutShortAndResumed) {
  const int64_t key = 300;
  const std::string plain = Pattern(10003);
  const std::string cipher = Enciphered(plain, key);  // 10008 bytes
  struct Case {
    std::string name;
    std::string work;  // the work file before
    bool restart, incomplete, enciphered;
    int64_t offered, true_length;
    std::optional<std::string> after;  // none: the work file is gone
  };
  const std::vector<Case> cases = {
      {"whole body", cipher, false, false, true, 0, 10003, plain},
      {"cut after 5000 bytes", cipher.substr(0, 5000), false, true, true, 0, 10003,
       plain.substr(0, 4096)},
      {"cut on a block boundary", cipher.substr(0, 4096), false, true, true, 0, 10003,
       plain.substr(0, 4096)},
      {"cut inside the first block", cipher.substr(0, 100), false, true, true, 0, 10003, ""},
      {"resumed from block 2", plain.substr(0, 4096) + cipher.substr(4096), true, false, true, 4096,
       10003, plain},
      {"resumed, cut again", plain.substr(0, 4096) + cipher.substr(4096, 3000), true, true, true,
       4096, 10003, plain.substr(0, 6144)},
      {"padding kept without a smaller length", cipher, false, false, true, 0, 10008,
       plain + std::string(5, '\0')},
      {"a length past the end never lengthens", cipher, false, false, true, 0, 20000,
       plain + std::string(5, '\0')},
      {"plain body untouched", cipher.substr(0, 5000), false, true, false, 0, 1,
       cipher.substr(0, 5000)},
      {"empty and incomplete goes", "", false, true, true, 0, 0, std::nullopt},
      {"empty and whole stays", "", false, false, true, 0, 0, ""},
  };
  test::TempDir folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.File("file~");
    test::WriteFileText(path, c.work);
    DecipherJob job{path, c.restart, c.offered, c.incomplete, c.enciphered, c.true_length, key};
    EXPECT_EQ(DecipherDownloaded(job), 0);
    if (c.after) {
      EXPECT_TRUE(test::ReadFileText(path) == *c.after)
          << "size " << test::ReadFileText(path).size() << " expected " << c.after->size();
    } else {
      EXPECT_FALSE(platform::PathExists(path));
    }
  }
}

}  // namespace
}  // namespace nvx

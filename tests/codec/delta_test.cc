// Deltas on real files: which records MakeDelta writes for the ways a file changes, that
// ApplyDelta rebuilds the new file from the base and the delta for a table of pairs and
// for random edits, and that it refuses damaged or inconsistent deltas without leaving
// any output.
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "codec/delta/block_signature.h"
#include "codec/delta/delta_apply.h"
#include "codec/delta/delta_file.h"
#include "codec/md5.h"
#include "platform/file_system.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

using test::RandomBytes;
using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;
using Records = std::vector<std::pair<int64_t, int64_t>>;  // index, length

// The records of a delta file, read with the header's block layout; the "$" must follow
// the last record's bytes at once, so a record longer than its block is caught too.
Records RecordsOf(const std::string& delta) {
  DeltaHeader header;
  size_t position = 0;
  EXPECT_EQ(ReadDeltaHeader(delta, &header, &position), "");
  Records records;
  while (position < delta.size() && delta[position] == ',') {
    size_t comma = delta.find(',', position + 1);
    int64_t index = std::stoll(delta.substr(position + 1, comma - position - 1));
    int64_t length = index < header.full_blocks ? header.block_size : header.partial_size;
    records.emplace_back(index, length);
    position = comma + 1 + static_cast<size_t>(length);
  }
  EXPECT_EQ(delta.substr(position), "$");
  return records;
}

std::string WithBlock(std::string text, size_t block, size_t block_size, char fill) {
  for (size_t i = block * block_size; i < (block + 1) * block_size && i < text.size(); ++i) {
    text[i] = static_cast<char>(text[i] ^ fill);
  }
  return text;
}

struct Pair {
  const char* label;
  std::string base;
  std::string changed;
  Records records;  // what the delta must hold
};

std::vector<Pair> Pairs() {
  const size_t b = 2048;
  std::string five = RandomBytes(5000, 1);         // 2 full blocks, partial 904
  std::string ten = RandomBytes(10 * b + 300, 2);  // 10 full blocks, partial 300
  std::string small = RandomBytes(100, 3);
  return {
      {"one block changed in the middle", ten, WithBlock(ten, 4, b, 0x5A), {{4, 2048}}},
      {"grown by whole blocks",
       ten,
       WithBlock(ten, 1, b, 1) + RandomBytes(2 * b, 4),
       // the changed block, the blocks past the server's full ones, the tail
       {{1, 2048}, {10, 2048}, {11, 2048}, {12, 300}}},
      {"grown past the server's partial block",
       five,
       five + RandomBytes(2 * b, 4),
       {{2, 2048}, {3, 2048}, {4, 904}}},
      {"grown within the partial block", five, five + "more", {{2, 908}}},
      {"truncated to a multiple, same full blocks", five, five.substr(0, 2 * b), {{2, 0}}},
      {"shrunk to a partial block", ten, ten.substr(0, 2 * b + 10), {{2, 10}}},
      {"shrunk to whole blocks", ten, ten.substr(0, 3 * b), {}},
      {"smaller than a block, changed", small, RandomBytes(100, 5), {{0, 100}}},
      {"smaller than a block, from a larger copy", five, five.substr(0, 300), {{0, 300}}},
      {"larger copy from one smaller than a block",
       small,
       small + RandomBytes(3000, 6),
       {{0, 2048}, {1, 1052}}},
      {"partial block changed only", five, WithBlock(five, 2, b, 0x11), {{2, 904}}},
  };
}

TEST(DeltaTest, RecordsFollowTheChangesAndRebuildTheNewFile) {
  for (const Pair& c : Pairs()) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    WriteFileText(dir.File("base"), c.base);
    WriteFileText(dir.File("new"), c.changed);
    std::string signature, error;
    ASSERT_TRUE(MakeSignature(dir.File("base"), kServiceSignatureBlockSize, &signature, &error));

    std::string message = "stale";
    ASSERT_TRUE(MakeDelta(signature, dir.File("new"), dir.File("diff.crc"), &message)) << message;
    EXPECT_EQ(message, "");
    std::string delta = ReadFileText(dir.File("diff.crc"));
    EXPECT_EQ(RecordsOf(delta), c.records);
    ASSERT_EQ(ApplyDelta(dir.File("base"), dir.File("diff.crc"), dir.File("rebuilt")), "");
    EXPECT_EQ(ReadFileText(dir.File("rebuilt")), c.changed);
  }
}

TEST(DeltaTest, MakeDeltaFailuresSendTheWholeFile) {
  TempDir dir;
  WriteFileText(dir.File("new"), "content");
  WriteFileText(dir.File("empty"), "");
  const std::string signature = "7,0,2048,0,7,0123456789abcdef0123456789abcdef,0000";
  const struct {
    std::string signature;
    std::string local;
    std::string message_start;
  } cases[] = {
      {"", dir.File("new"), "Invalid CRC File 1"},
      {"7,0,2048,0,7,0123456789abcdef0123456789abcdef,", dir.File("new"), "Invalid CRC File 9"},
      {"7,0,0,0,7,x,y", dir.File("new"), "Invalid CRC File 4"},
      {signature, dir.File("empty"), "Zero Length File"},
      {signature, dir.File("missing"), "Unable to open file"},
  };
  for (const auto& c : cases) {
    std::string message;
    EXPECT_FALSE(MakeDelta(c.signature, c.local, dir.File("diff.crc"), &message));
    EXPECT_EQ(message.rfind(c.message_start, 0), 0u) << message;
    EXPECT_FALSE(platform::PathExists(dir.File("diff.crc")));
  }
}

// Random edits (overwrites, insertions, cuts, growth) with block sizes that make many
// blocks, each rebuilt exactly.
TEST(DeltaTest, RandomEditsRebuildExactly) {
  std::mt19937 random(20261207);
  TempDir dir;
  for (int round = 0; round < 80; ++round) {
    int64_t block_size = std::vector<int64_t>{1, 3, 16, 64, 2048}[random() % 5];
    std::string base = RandomBytes(1 + random() % 3000, random());
    std::string changed = base;
    switch (random() % 4) {
      case 0:
        changed[random() % changed.size()] ^= 0x40;
        break;
      case 1:
        changed.insert(random() % changed.size(), RandomBytes(random() % 90, 1));
        break;
      case 2:
        changed.resize(1 + random() % changed.size());
        break;
      case 3:
        changed += RandomBytes(random() % 5000, 2);
        break;
    }
    SCOPED_TRACE(testing::Message() << "round " << round << " block size " << block_size);
    WriteFileText(dir.File("base"), base);
    WriteFileText(dir.File("new"), changed);
    std::string signature, error, message;
    ASSERT_TRUE(MakeSignature(dir.File("base"), block_size, &signature, &error));
    ASSERT_TRUE(MakeDelta(signature, dir.File("new"), dir.File("diff"), &message));
    if (message == kFilesAreTheSame) {
      EXPECT_EQ(base, changed);
      continue;
    }
    std::string reason = ApplyDelta(dir.File("base"), dir.File("diff"), dir.File("out"));
    if (reason.empty()) {
      EXPECT_EQ(ReadFileText(dir.File("out")), changed);
    } else {
      // A 16-bit sum can miss a change; the digest check then refuses the result.
      EXPECT_EQ(reason, "Delta rebuilt content has the wrong digest");
      EXPECT_FALSE(platform::PathExists(dir.File("out")));
    }
  }
}

// A valid delta over a two-block base, and ways of spoiling it.
TEST(DeltaTest, ApplyDeltaRefusesAndLeavesNoOutput) {
  const std::string base = std::string(16, 'a') + std::string(16, 'b');  // blocks of 16
  const std::string changed = std::string(16, 'a') + std::string(16, 'c') + "tail";
  const std::string d = DigestText(Md5Of(changed));
  const std::string good = "32,36,16,2,4," + d + ",1," + std::string(16, 'c') + ",2,tail$";
  const struct {
    const char* label;
    std::string delta;
    std::string base;
  } cases[] = {
      {"missing end marker", good.substr(0, good.size() - 1), base},
      {"bytes after the end marker", good + "x", base},
      {"truncated record", "32,36,16,2,4," + d + ",1,cccc", base},
      {"index past the size", "32,36,16,2,4," + d + ",3,tail$", base},
      {"huge index", "32,36,16,2,4," + d + ",99999999999999999999,tail$", base},
      {"records out of order", "32,36,16,2,4," + d + ",2,tail,1," + std::string(16, 'c') + "$",
       base},
      {"record repeated", "32,36,16,2,4," + d + ",2,tail,2,tail$", base},
      {"wrong digest", "32,36,16,2,4," + DigestText(Md5Of("other")) + good.substr(good.find(",1,")),
       base},
      {"sizes disagree", "32,37,16,2,4," + d + good.substr(good.find(",1,")), base},
      {"partial not below the block size",
       "32,48,16,2,16," + d + ",2," + std::string(16, 'x') + "$", base},
      {"block size 0", "32,0,0,0,0," + DigestText(Md5Of("")) + "$", base},
      {"negative size", "32,-36,16,2,4," + d + "$", base},
      {"upper-case digest", "32,36,16,2,4,ABCDEF" + d.substr(6) + "$", base},
      {"no header", "$", base},
      {"base of another size", good, base + "x"},
      {"base blocks past the base",
       "32,52,16,3,4," + DigestText(Md5Of(base + base.substr(0, 20))) + ",3,aaaa$", base},
      {"index not a number", "32,36,16,2,4," + d + ",1x," + std::string(16, 'c') + "$", base},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    WriteFileText(dir.File("base"), c.base);
    WriteFileText(dir.File("delta"), c.delta);
    EXPECT_NE(ApplyDelta(dir.File("base"), dir.File("delta"), dir.File("out")), "");
    EXPECT_FALSE(platform::PathExists(dir.File("out")));
    EXPECT_EQ(ReadFileText(dir.File("base")), c.base);
  }
  // The unspoiled delta rebuilds; so does one that cuts the document to nothing.
  TempDir dir;
  WriteFileText(dir.File("base"), base);
  WriteFileText(dir.File("delta"), good);
  EXPECT_EQ(ApplyDelta(dir.File("base"), dir.File("delta"), dir.File("out")), "");
  EXPECT_EQ(ReadFileText(dir.File("out")), changed);
  WriteFileText(dir.File("delta"), "32,0,16,0,0," + DigestText(Md5Of("")) + ",0,$");
  EXPECT_EQ(ApplyDelta(dir.File("base"), dir.File("delta"), dir.File("empty")), "");
  EXPECT_EQ(ReadFileText(dir.File("empty")), "");
}

}  // namespace
}  // namespace nvx

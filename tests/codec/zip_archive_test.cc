// One-entry ZIP archives on real files: round trips through ZipOneFile, VerifyZip and
// UnzipFirstEntry, the real unzip program reading what ZipOneFile wrote, VerifyZip's codes
// on broken archives, and an unpack that meets a damaged entry.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "codec/hidden_work_file.h"
#include "codec/zip_archive.h"
#include "codec/zip_entry_reader.h"
#include "tests/support/child_process.h"
#include "tests/support/os_helpers.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

using test::RandomBytes;
using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

std::string Repeated(size_t count) {
  std::string text;
  while (text.size() < count) text += "the same line again and again, ";
  text.resize(count);
  return text;
}

test::RunResult Unzip(const std::vector<std::string>& args) {
  return test::RunProgram("/usr/bin/unzip", {.args = args, .env = {}, .working_directory = {}});
}

struct RoundTrip {
  const char* label;
  std::string content;
  bool shrinks;  // the archive is clearly smaller than the file
};

TEST(ZipArchiveTest, RoundTripsAgreeWithUnzip) {
  const std::vector<RoundTrip> cases = {
      {"empty", "", false},
      {"one byte", "x", false},
      {"small text", "Hello, archive.\r\n", false},
      {"compressible", Repeated(300000), true},
      {"random", RandomBytes(70000, 7), false},
      {"exactly one buffer", RandomBytes(kZipCopyBufferSize, 8), false},
      {"one buffer and a byte", RandomBytes(kZipCopyBufferSize + 1, 9), false},
  };
  for (const RoundTrip& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    const std::string source = dir.File("source file.dat");
    const std::string zip = dir.File("packed.zip");
    const std::string target = dir.File("unpacked.dat");
    WriteFileText(source, c.content);
    WriteFileText(zip, "an older archive that must be replaced entirely");
    int error = -1;
    ASSERT_TRUE(ZipOneFile(source, zip, &error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(VerifyZip(zip), kZipOk);
    if (c.shrinks) {
      EXPECT_LT(ReadFileText(zip).size(), c.content.size() / 10);
    }

    // The real unzip accepts the archive and finds one entry named by the full path.
    test::RunResult check = Unzip({"-t", zip});
    EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
    test::RunResult listed = Unzip({"-Z1", zip});
    EXPECT_EQ(listed.out, source + "\n");
    test::RunResult printed = Unzip({"-p", zip});
    EXPECT_TRUE(printed.out == c.content) << printed.err;

    WriteFileText(target, "old content");
    ASSERT_TRUE(UnzipFirstEntry(zip, target));
    EXPECT_TRUE(ReadFileText(target) == c.content);
    EXPECT_EQ(test::ListFolder(dir.path()),
              (std::vector<std::string>{"packed.zip", "source file.dat", "unpacked.dat"}));
  }
}

TEST(ZipArchiveTest, UnpackedFileKeepsTheRightsOfTheFileItReplaces) {
  TempDir dir;
  WriteFileText(dir.File("a"), "content");
  ASSERT_TRUE(ZipOneFile(dir.File("a"), dir.File("a.zip"), nullptr));
  WriteFileText(dir.File("b"), "old");
  test::SetPermissions(dir.File("b"), 0640);
  ASSERT_TRUE(UnzipFirstEntry(dir.File("a.zip"), dir.File("b")));
  EXPECT_EQ(test::PermissionsOf(dir.File("b")) & 0777, 0640u);
  EXPECT_EQ(ReadFileText(dir.File("b")), "content");
}

TEST(ZipArchiveTest, ZipOneFileReportsWhatFailed) {
  TempDir dir;
  WriteFileText(dir.File("a"), "content");
  int error = 0;
  EXPECT_FALSE(ZipOneFile(dir.File("missing"), dir.File("m.zip"), &error));
  EXPECT_NE(error, 0);
  EXPECT_FALSE(test::PathExists(dir.File("m.zip")));  // nothing made for a missing source
  error = 0;
  EXPECT_FALSE(ZipOneFile(dir.File("a"), dir.File("no such folder/a.zip"), &error));
  EXPECT_NE(error, 0);
}

TEST(ZipArchiveTest, VerifyZipCodes) {
  TempDir dir;
  WriteFileText(dir.File("source"), Repeated(50000));
  ASSERT_TRUE(ZipOneFile(dir.File("source"), dir.File("good.zip"), nullptr));
  const std::string good = ReadFileText(dir.File("good.zip"));
  // An archive with no entries: just the end-of-central-directory record. The archive
  // library refuses to open such an archive at all.
  const std::string empty_archive = std::string("PK\x05\x06", 4) + std::string(18, '\0');
  // The same archive with the signature of its central directory record, or of the
  // entry's local header, spoiled.
  auto spoiled = [&good](std::string_view signature) {
    std::string copy = good;
    copy[copy.find(signature) + 3] = '\x7f';
    return copy;
  };

  struct Case {
    const char* label;
    const char* name;
    std::optional<std::string> content;  // none: the file is missing
    int code;
  };
  const std::vector<Case> cases = {
      {"missing file", "missing.zip", std::nullopt, kZipOpenFailed},
      {"not a ZIP", "text.zip", std::string("just some text, no archive\n"), kZipOpenFailed},
      {"empty file", "zero.zip", std::string(), kZipOpenFailed},
      {"archive without entries", "empty.zip", empty_archive, kZipOpenFailed},
      {"directory record spoiled", "nodir.zip", spoiled(std::string_view("PK\x01\x02", 4)),
       kZipNoEntry},
      {"local header spoiled", "nolocal.zip", spoiled(std::string_view("PK\x03\x04", 4)),
       kZipEntryOpenFailed},
      {"cut in the middle", "half.zip", good.substr(0, good.size() / 2), kZipOpenFailed},
      {"end record cut off", "short.zip", good.substr(0, good.size() - 30), kZipOpenFailed},
      {"whole", "copy.zip", good, kZipOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    if (c.content) WriteFileText(dir.File(c.name), *c.content);
    EXPECT_EQ(VerifyZip(dir.File(c.name)), c.code);
    const std::string target = dir.File(std::string(c.name) + ".out");
    EXPECT_EQ(UnzipFirstEntry(dir.File(c.name), target), c.code == kZipOk);
  }
}

// A byte flipped inside the compressed data, or inside stored data where only the CRC
// can notice, must never reach the target.
TEST(ZipArchiveTest, DamagedEntryLeavesTheTargetAsItWas) {
  struct Case {
    const char* label;
    std::string content;
  };
  const std::vector<Case> cases = {
      {"compressible", Repeated(200000)},
      {"random", RandomBytes(100000, 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    WriteFileText(dir.File("source"), c.content);
    ASSERT_TRUE(ZipOneFile(dir.File("source"), dir.File("a.zip"), nullptr));
    std::string archive = ReadFileText(dir.File("a.zip"));
    const size_t header = 30 + dir.File("source").size();  // local header and its name
    archive[header + (archive.size() - header) / 3] ^= 0x10;
    WriteFileText(dir.File("a.zip"), archive);
    WriteFileText(dir.File("target"), "precious");

    EXPECT_FALSE(UnzipFirstEntry(dir.File("a.zip"), dir.File("target")));
    EXPECT_EQ(ReadFileText(dir.File("target")), "precious");
    EXPECT_EQ(test::ListFolder(dir.path()),
              (std::vector<std::string>{"a.zip", "source", "target"}));
  }
}

TEST(ZipArchiveTest, UnpackIntoAMissingFolderFailsCleanly) {
  TempDir dir;
  WriteFileText(dir.File("source"), "abc");
  ASSERT_TRUE(ZipOneFile(dir.File("source"), dir.File("a.zip"), nullptr));
  EXPECT_FALSE(UnzipFirstEntry(dir.File("a.zip"), dir.File("nowhere/target")));
  EXPECT_EQ(test::ListFolder(dir.path()), (std::vector<std::string>{"a.zip", "source"}));
}

// The ZIP64 extra field of a central directory record: only sizes marked 0xFFFFFFFF are
// taken from it, in their order, and a short or lying field is never read past its end.
TEST(ZipArchiveTest, Zip64SizesComeFromTheExtraField) {
  const uint64_t kMarked = 0xFFFFFFFF;
  auto field = [](uint16_t id, std::vector<uint64_t> values, int size_adjust = 0) {
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8)};
    const int size = static_cast<int>(values.size() * 8) + size_adjust;
    bytes.push_back(static_cast<uint8_t>(size));
    bytes.push_back(static_cast<uint8_t>(size >> 8));
    for (uint64_t value : values) {
      for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    return bytes;
  };
  auto join = [](std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  struct Case {
    const char* label;
    std::vector<uint8_t> extra;
    uint64_t uncompressed, compressed;  // from the 32-bit fields
    uint64_t expected_uncompressed, expected_compressed;
  };
  const uint64_t big = 5ull << 30;
  const std::vector<Case> cases = {
      {"both marked", field(1, {big, big + 7}), kMarked, kMarked, big, big + 7},
      {"only the size", field(1, {big}), kMarked, 1234, big, 1234},
      {"only the packed size", field(1, {big}), 99, kMarked, 99, big},
      {"after another field", join(field(0x5455, {1}), field(1, {big})), kMarked, 5, big, 5},
      {"nothing marked", field(1, {big}), 10, 20, 10, 20},
      {"no extra field", {}, kMarked, 20, kMarked, 20},
      {"field cut short", field(1, {big}, -3), kMarked, 20, kMarked, 20},
      {"size beyond the end", field(1, {big}, 40), kMarked, 20, kMarked, 20},
      {"three bytes", {1, 0, 8}, kMarked, 20, kMarked, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    uint64_t uncompressed = c.uncompressed;
    uint64_t compressed = c.compressed;
    ApplyZip64Sizes(c.extra, &uncompressed, &compressed);
    EXPECT_EQ(uncompressed, c.expected_uncompressed);
    EXPECT_EQ(compressed, c.expected_compressed);
  }
}

// Archives with bytes changed at random places, or cut at random lengths: nothing
// crashes, and an unpack either yields exactly the original bytes or fails leaving the
// target as it was and no file behind.
TEST(ZipArchiveTest, MangledArchivesNeverCorruptTheTarget) {
  TempDir dir;
  const std::string content = Repeated(40000) + RandomBytes(3000, 11);
  WriteFileText(dir.File("source"), content);
  ASSERT_TRUE(ZipOneFile(dir.File("source"), dir.File("good.zip"), nullptr));
  const std::string good = ReadFileText(dir.File("good.zip"));
  std::mt19937 random(2024);
  int unpacked = 0;
  for (int round = 0; round < 300; ++round) {
    std::string mangled = good;
    if (round % 3 == 2) {
      mangled.resize(random() % good.size());
    } else {
      for (int flips = 1 + round % 3; flips > 0; --flips) {
        mangled[random() % mangled.size()] ^= static_cast<char>(1 + random() % 255);
      }
    }
    WriteFileText(dir.File("m.zip"), mangled);
    WriteFileText(dir.File("target"), "precious");
    (void)VerifyZip(dir.File("m.zip"));  // any answer will do; it must only not crash
    if (UnzipFirstEntry(dir.File("m.zip"), dir.File("target"))) {
      ++unpacked;
      ASSERT_TRUE(ReadFileText(dir.File("target")) == content) << "round " << round;
    } else {
      ASSERT_EQ(ReadFileText(dir.File("target")), "precious") << "round " << round;
    }
    ASSERT_EQ(test::ListFolder(dir.path()),
              (std::vector<std::string>{"good.zip", "m.zip", "source", "target"}))
        << "round " << round;
  }
  // Changes in names and dates leave the data readable; most changes do not.
  EXPECT_GT(unpacked, 0);
  EXPECT_LT(unpacked, 300);
}

TEST(HiddenWorkFileTest, NamesAreNewHiddenAndRecognisable) {
  TempDir dir;
  WriteFileText(dir.File("archive.tar"), "user data");
  WriteFileText(dir.File("archive.tar.zip"), "the user's own archive");
  std::vector<std::string> paths;
  for (int i = 0; i < 20; ++i) {
    std::string path;
    int error = -1;
    platform::File file =
        CreateHiddenWorkFile(dir.path(), dir.File("archive.tar"), kZipWorkSuffix, &path, &error);
    ASSERT_TRUE(file.is_open());
    EXPECT_EQ(error, 0);
    const std::string name = path.substr(dir.path().size() + 1);
    EXPECT_TRUE(name.starts_with(".archive.tar.")) << name;
    EXPECT_TRUE(IsHiddenWorkFileName(name, kZipWorkSuffix)) << name;
    EXPECT_FALSE(IsHiddenWorkFileName(name, kUnpackWorkSuffix)) << name;
    // Owned while open: no other open file can take its lock.
    EXPECT_FALSE(platform::File::Open(path, platform::File::Access::kRead).TryLockExclusive());
    paths.push_back(path);
  }
  // Closed, they are stale: a sweep takes them and nothing else.
  EXPECT_EQ(RemoveStaleWorkFilesIn(dir.path()).size(), paths.size());
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(std::unique(paths.begin(), paths.end()), paths.end());
  EXPECT_EQ(ReadFileText(dir.File("archive.tar.zip")), "the user's own archive");

  for (const char* name : {"archive.tar.zip", ".archive.tar.zip", "x.nvxzip", ".x.nvxzip",
                           ".x.ABCDEFGHIJ.nvxzip", ".x.abcdefghi.nvxzip"}) {
    EXPECT_FALSE(IsHiddenWorkFileName(name, kZipWorkSuffix)) << name;
  }
  EXPECT_TRUE(IsHiddenWorkFileName(".x.abcde12345.nvxzip", kZipWorkSuffix));

  // A very long name still gives a usable work file name.
  std::string path;
  int error = 0;
  EXPECT_TRUE(CreateHiddenWorkFile(dir.path(), std::string(255, 'n'), kZipWorkSuffix, &path, &error)
                  .is_open());
  EXPECT_FALSE(
      CreateHiddenWorkFile(dir.File("missing"), "a", kZipWorkSuffix, &path, &error).is_open());
  EXPECT_NE(error, 0);
  EXPECT_TRUE(path.empty());
}

}  // namespace
}  // namespace nvx

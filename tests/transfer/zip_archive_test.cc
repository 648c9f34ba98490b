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

#include "tests/support/child_process.h"
#include "tests/support/os_helpers.h"
#include "tests/support/temp_dir.h"
#include "transfer/hidden_work_file.h"
#include "transfer/zip_archive.h"

namespace nvx {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

std::string RandomBytes(size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (auto& c : bytes) c = static_cast<char>(random());
  return bytes;
}

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
    paths.push_back(path);
  }
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

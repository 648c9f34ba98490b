// An entry of more than 4 GiB goes through ZipOneFile and UnzipFirstEntry whole, and the
// real unzip lists it with its true size (ZIP64). The source is sparse: mostly a hole, with random
// bytes at both ends and across the 4 GiB mark. Built in the normal build only.
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "codec/zip_archive.h"
#include "platform/file.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

using test::RandomBytes;

constexpr int64_t kFourGiB = int64_t{1} << 32;
constexpr int64_t kSize = kFourGiB + 70000;
constexpr size_t kPiece = 65536;

// The pieces of the source that are not zero: offset and bytes.
const std::vector<std::pair<int64_t, std::string>>& Pieces() {
  static const std::vector<std::pair<int64_t, std::string>> pieces = {
      {0, RandomBytes(kPiece, 1)},
      {kFourGiB - kPiece / 2, RandomBytes(kPiece, 2)},
      {kSize - 1000, RandomBytes(1000, 3)},
  };
  return pieces;
}

TEST(ZipLargeTest, EntryOverFourGiBRoundTrips) {
  test::TempDir dir;
  const std::string source = dir.File("big.dat");
  {
    platform::File file = platform::File::Open(source, platform::File::Access::kCreateTruncate);
    ASSERT_TRUE(file.is_open());
    ASSERT_TRUE(file.Truncate(kSize));
    for (const auto& [offset, bytes] : Pieces()) {
      ASSERT_TRUE(file.Seek(offset));
      ASSERT_TRUE(file.Write(bytes));
    }
  }
  const std::string zip = dir.File("big.zip");
  int error = -1;
  ASSERT_TRUE(ZipOneFile(source, zip, &error));
  EXPECT_EQ(VerifyZip(zip), kZipOk);

  test::RunResult listed =
      test::RunProgram("/usr/bin/unzip", {.args = {"-l", zip}, .env = {}, .working_directory = {}},
                       std::chrono::minutes(2));
  EXPECT_NE(listed.out.find(std::to_string(kSize)), std::string::npos) << listed.out;
  // Unpacking checks the CRC of the whole entry before the target appears.
  const std::string target = dir.File("restored.dat");
  ASSERT_TRUE(UnzipFirstEntry(zip, target));
  platform::File restored = platform::File::Open(target, platform::File::Access::kRead);
  ASSERT_TRUE(restored.is_open());
  EXPECT_EQ(restored.Size(), kSize);
  for (const auto& [offset, bytes] : Pieces()) {
    std::string read(bytes.size(), '\0');
    ASSERT_TRUE(restored.Seek(offset));
    ASSERT_EQ(restored.ReadFully(read.data(), read.size()), static_cast<int64_t>(read.size()));
    EXPECT_TRUE(read == bytes) << "at " << offset;
  }
}

}  // namespace
}  // namespace nvx

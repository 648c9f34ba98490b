// A file of more than 2 GiB patches whole: a changed block past the 2 GiB mark and a
// grown tail travel as a delta of a few blocks, and the delta rebuilds the new file
// from the old one exactly. Both files are sparse, mostly a hole. Built in the normal
// build only.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "codec/delta/block_signature.h"
#include "codec/delta/delta_apply.h"
#include "codec/delta/delta_file.h"
#include "platform/file.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

constexpr int64_t kTwoGiB = int64_t{1} << 31;
constexpr int64_t kBaseSize = kTwoGiB + 5000;

// A sparse file of `size` bytes with `pieces` (offset, bytes) written into the hole.
void WriteSparse(const std::string& path, int64_t size,
                 const std::vector<std::pair<int64_t, std::string>>& pieces) {
  platform::File file = platform::File::Open(path, platform::File::Access::kCreateTruncate);
  ASSERT_TRUE(file.is_open());
  ASSERT_TRUE(file.Truncate(size));
  for (const auto& [offset, bytes] : pieces) {
    ASSERT_TRUE(file.Seek(offset));
    ASSERT_TRUE(file.Write(bytes));
  }
}

// Compares two files a piece at a time.
bool SameContent(const std::string& a, const std::string& b) {
  platform::File first = platform::File::Open(a, platform::File::Access::kRead);
  platform::File second = platform::File::Open(b, platform::File::Access::kRead);
  if (first.Size() != second.Size()) return false;
  std::vector<char> x(1 << 20), y(1 << 20);
  for (;;) {
    int64_t got = first.ReadFully(x.data(), x.size());
    if (got != second.ReadFully(y.data(), y.size())) return false;
    if (got <= 0) return got == 0;
    if (!std::equal(x.begin(), x.begin() + got, y.begin())) return false;
  }
}

TEST(DeltaLargeTest, FileOverTwoGiBPatchesWhole) {
  test::TempDir dir;
  const int64_t changed_block = kTwoGiB / 2048 + 1;  // past the 2 GiB mark
  WriteSparse(dir.File("base"), kBaseSize, {{0, "start"}, {kBaseSize - 3, "end"}});
  WriteSparse(dir.File("new"), kBaseSize + 3000,
              {{0, "start"}, {changed_block * 2048 + 7, "changed"}, {kBaseSize - 3, "END+"}});

  std::string signature, error, message;
  ASSERT_TRUE(MakeSignature(dir.File("base"), kServiceSignatureBlockSize, &signature, &error));
  BlockSignature read;
  ASSERT_EQ(ReadSignature(signature, &read), "");
  EXPECT_EQ(read.size, kBaseSize);
  EXPECT_EQ(read.full_blocks, kBaseSize / 2048);

  ASSERT_TRUE(MakeDelta(signature, dir.File("new"), dir.File("diff.crc"), &message)) << message;
  ASSERT_EQ(message, "");
  // The changed block, the old partial block now whole, and the new tail.
  platform::File delta = platform::File::Open(dir.File("diff.crc"), platform::File::Access::kRead);
  EXPECT_LT(delta.Size(), 4 * 2048 + 200);
  delta.Close();

  ASSERT_EQ(ApplyDelta(dir.File("base"), dir.File("diff.crc"), dir.File("rebuilt")), "");
  EXPECT_TRUE(SameContent(dir.File("rebuilt"), dir.File("new")));
}

}  // namespace
}  // namespace nvx

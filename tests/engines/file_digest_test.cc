// GenerateFileMD5 on real files, checked against md5sum: sizes around the 10,240-byte
// read piece, a 50 MB file, the file position afterwards, and a failing read.
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/activity_log.h"
#include "api/shared_block.h"
#include "api/transfer_session.h"
#include "codec/md5.h"
#include "engines/file_digest.h"
#include "platform/file.h"
#include "tests/support/hex.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

using test::RandomBytes;
using test::ToHex;

// The digest md5sum prints for `path`, or "" when it cannot run.
std::string Md5sumOf(const std::string& path) {
  std::string command = "md5sum '" + path + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  char line[128] = {};
  std::string result;
  if (std::fgets(line, sizeof line, pipe) != nullptr) result.assign(line, 32);
  ::pclose(pipe);
  return result;
}

class FileDigestTest : public ::testing::Test {
 protected:
  FileDigest Digest(platform::File& file) { return GenerateFileMD5(file, buffer_, stop_); }

  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kTransferBufferSize);
  std::atomic<bool> stop_{false};
  test::TempDir dir_;
};

TEST_F(FileDigestTest, EqualsMd5sumAtEverySize) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{10240}, size_t{10241}, size_t{50} << 20}) {
    std::string path = dir_.File("file" + std::to_string(size));
    test::WriteFileText(path, RandomBytes(size, static_cast<unsigned>(size)));
    std::string expected = Md5sumOf(path);
    ASSERT_EQ(expected.size(), 32u) << "md5sum did not run";

    platform::File file = platform::File::Open(path, platform::File::Access::kRead);
    ASSERT_TRUE(file.is_open());
    FileDigest digest = Digest(file);
    EXPECT_TRUE(digest.whole);
    EXPECT_EQ(ToHex(digest.digest.data(), 16), expected) << size << " bytes";

    // The position is back at the start: a second read sees the first byte again.
    char first = 0;
    EXPECT_EQ(file.Read(&first, 1), size == 0 ? 0 : 1);
    if (size > 0) {
      EXPECT_EQ(first, RandomBytes(1, static_cast<unsigned>(size))[0]);
    }
  }
}

TEST_F(FileDigestTest, DigestsFromTheCurrentPositionAndStopsWhenAsked) {
  std::string path = dir_.File("tail");
  test::WriteFileText(path, "skip this:message digest");
  platform::File file = platform::File::Open(path, platform::File::Access::kRead);
  ASSERT_TRUE(file.Seek(10));
  FileDigest digest = Digest(file);
  EXPECT_TRUE(digest.whole);
  EXPECT_EQ(ToHex(digest.digest.data(), 16), "f96b697d7cb7938d525a2f31aaf161d0");

  // A stop request ends the digest after the piece in hand: not whole.
  std::string big = dir_.File("big");
  test::WriteFileText(big, RandomBytes(3 * kTransferBufferSize, 7));
  platform::File big_file = platform::File::Open(big, platform::File::Access::kRead);
  stop_.store(true);
  EXPECT_FALSE(Digest(big_file).whole);
}

TEST_F(FileDigestTest, TheFileInHandShowsItsStatusAndLogsAFailingRead) {
  SharedBlock block;
  block.log_directory = dir_.path();
  ReopenActivityLog(block, kLogErrorOnly);
  TransferSession session(block);

  // A file open for writing only: every read fails.
  std::string path = dir_.File("write-only");
  platform::File file = platform::File::Open(path, platform::File::Access::kCreateTruncate);
  ASSERT_TRUE(file.WriteAll("abc", 3));
  Md5Digest digest;
  digest.fill(0xEE);
  EXPECT_FALSE(DigestFileInHand(session, "write-only", file, &digest));
  EXPECT_EQ(ToHex(digest.data(), 16), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(StatusMessageOf(block), "Computing file write-only verification");
  EXPECT_EQ(file.Size(), 3);
  ASSERT_TRUE(file.WriteAll("X", 1));  // written at position 0, so the size stays 3
  EXPECT_EQ(file.Size(), 3);

  {
    platform::MutexLock lock(block.trace_lock);
    CloseActivityLog(block.logs.activity_log);
    block.logs.results_file.Close();
  }
  std::string log = test::ReadFileText(block.log_file_name);
  EXPECT_NE(log.find(" Err - GenerateFileMD5 Read Error 9\n"), std::string::npos) << log;
}

}  // namespace
}  // namespace nvx

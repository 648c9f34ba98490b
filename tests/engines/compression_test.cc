// Compression for transfer on real files, through the worker's own session: which files
// are packed, where the work file goes (never over a user's file), what the file in hand
// becomes, the fallback to the uncompressed file with its count and note, and the work
// file's removal.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/activity_log.h"
#include "api/results_report.h"
#include "api/shared_block.h"
#include "api/transfer_session.h"
#include "codec/hidden_work_file.h"
#include "codec/md5.h"
#include "engines/compression.h"
#include "tests/support/child_process.h"
#include "tests/support/hex.h"
#include "tests/support/os_helpers.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

using test::ListFolder;
using test::ReadFileText;
using test::WriteFileText;

TEST(CompressionTest, NoCompressionList) {
  struct Case {
    const char* name;
    bool compressed;
  };
  const std::vector<Case> cases = {
      {"photo.JPG", true},  {"song.mp3", true},        {"a.b.GzIp", true},
      {"x.zip", true},      {"archive.tar", false},    {"README", false},
      {"notes.txt", false}, {"photo.jpg.txt", false},  {"jpg", false},
      {"trailing.", false}, {"folder.gz/file", false}, {".png", true},
      {"movie.mpeg", true}, {"movie.mpeg4", false},    {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsCompressedType(c.name), c.compressed) << c.name;
}

class CompressionSessionTest : public ::testing::Test {
 protected:
  CompressionSessionTest() {
    block_.log_directory = logs_.path();
    test::MakeFolder(dir_.File("data"));
  }

  // The file in hand as the upload engine prepares it: open, with its size.
  UploadFileState FileInHand(const std::string& name, const std::string& content) {
    UploadFileState file;
    file.name = name;
    file.local_folder = dir_.File("data");
    file.full_path = file.local_folder + "/" + name;
    WriteFileText(file.full_path, content);
    file.file = platform::File::Open(file.full_path, platform::File::Access::kSharedRead);
    file.local_size = static_cast<int64_t>(content.size());
    return file;
  }

  std::string Results() {
    platform::MutexLock lock(block_.trace_lock);
    block_.logs.results_file.Close();
    return ReadFileText(PendingResultsName(block_));
  }

  int32_t UncompressedCount() {
    platform::MutexLock lock(block_.state_lock);
    return block_.reported.live_progress.files_uploaded_uncompressed;
  }

  test::TempDir dir_;
  test::TempDir logs_;
  SharedBlock block_;
};

std::string Text(size_t size) {
  std::string text;
  while (text.size() < size) text += "a line of text that packs well\n";
  text.resize(size);
  return text;
}

std::string UnzipPrint(const std::string& zip) {
  return test::RunProgram("/usr/bin/unzip",
                          {.args = {"-p", zip}, .env = {}, .working_directory = {}})
      .out;
}

TEST_F(CompressionSessionTest, PacksIntoAHiddenWorkFileAndRemovesIt) {
  struct Case {
    const char* label;
    const char* name;
    bool work_directory;
    int32_t log_level;
  };
  const std::vector<Case> cases = {
      {"beside the source", "archive.tar", false, kLogErrorOnly},
      {"in the work directory", "notes", true, kLogErrorOnly},
      {"with the digest for the trace", "report.txt", false, kLogDebug},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    test::TempDir work;
    block_.job.work_directory = c.work_directory ? work.path() : "";
    ReopenActivityLog(block_, c.log_level);
    TransferSession session(block_);
    const std::string content = Text(100000);
    UploadFileState file = FileInHand(c.name, content);
    // A user's own archive of the same name plus ".zip" sits beside the file.
    const std::string users_zip = file.full_path + ".zip";
    WriteFileText(users_zip, "the user's own archive");
    const std::vector<std::string> before = ListFolder(file.local_folder);

    ASSERT_TRUE(CompressForUpload(session, file));
    EXPECT_TRUE(file.work_file_in_use);
    EXPECT_EQ(file.name, std::string(c.name) + ".zip");
    EXPECT_EQ(file.uncompressed_size, 100000);
    EXPECT_GT(file.local_size, 0);
    EXPECT_LT(file.local_size, 5000);
    const std::string expected_folder = c.work_directory ? work.path() : file.local_folder;
    ASSERT_EQ(file.work_path.rfind(expected_folder + "/", 0), 0u) << file.work_path;
    EXPECT_TRUE(
        IsHiddenWorkFileName(file.work_path.substr(expected_folder.size() + 1), kZipWorkSuffix));
    EXPECT_TRUE(UnzipPrint(file.work_path) == content);
    // The file in hand is the work file, read from its start.
    std::string head(2, '\0');
    EXPECT_EQ(file.file.Read(head.data(), 2), 2);
    EXPECT_EQ(head, "PK");
    ASSERT_TRUE(file.file.Seek(0));
    if (c.log_level == kLogDebug) {
      ASSERT_TRUE(file.local_digest.has_value());
      const std::string packed = ReadFileText(file.work_path);
      const Md5Digest expected = Md5Of(packed);
      EXPECT_EQ(test::ToHex(file.local_digest->data(), 16), test::ToHex(expected.data(), 16));
    } else {
      EXPECT_FALSE(file.local_digest.has_value());
    }

    const std::string work_path = file.work_path;
    DeleteWorkFile(session, file);
    EXPECT_FALSE(file.work_file_in_use);
    EXPECT_EQ(file.name, c.name);
    EXPECT_FALSE(test::PathExists(work_path));
    EXPECT_EQ(ListFolder(file.local_folder), before);
    EXPECT_EQ(ListFolder(work.path()), std::vector<std::string>{});
    EXPECT_EQ(ReadFileText(users_zip), "the user's own archive");
    DeleteWorkFile(session, file);  // nothing more to do
    EXPECT_EQ(file.name, c.name);
  }
  EXPECT_EQ(UncompressedCount(), 0);
}

TEST_F(CompressionSessionTest, AlreadyCompressedTypesTravelAsTheyAre) {
  ReopenActivityLog(block_, kLogErrorOnly);
  TransferSession session(block_);
  UploadFileState file = FileInHand("photo.JPG", Text(5000));
  ASSERT_TRUE(CompressForUpload(session, file));
  EXPECT_FALSE(file.work_file_in_use);
  EXPECT_EQ(file.name, "photo.JPG");
  EXPECT_EQ(file.local_size, 5000);
  EXPECT_TRUE(file.file.is_open());
  EXPECT_EQ(ListFolder(file.local_folder), std::vector<std::string>{"photo.JPG"});
  EXPECT_EQ(UncompressedCount(), 0);
}

// A work directory that does not exist: packing fails, the file goes uncompressed, and
// the results report says so with the file's size.
TEST_F(CompressionSessionTest, PackingFailureSendsTheFileUncompressed) {
  block_.job.work_directory = dir_.File("no such folder");
  ReopenActivityLog(block_, kLogErrorOnly);
  TransferSession session(block_);
  UploadFileState file = FileInHand("data.bin", Text(7777));

  ASSERT_TRUE(CompressForUpload(session, file));
  EXPECT_FALSE(file.work_file_in_use);
  EXPECT_TRUE(file.work_path.empty());
  EXPECT_EQ(file.name, "data.bin");
  EXPECT_EQ(file.local_size, 7777);
  EXPECT_EQ(file.uncompressed_size, 0);
  std::string first(6, '\0');
  EXPECT_EQ(file.file.Read(first.data(), 6), 6);  // still the source, still open
  EXPECT_EQ(first, "a line");
  EXPECT_EQ(UncompressedCount(), 1);
  EXPECT_EQ(StatusMessageOf(block_), " File data.bin Compress Failed");
  const std::string results = Results();
  EXPECT_NE(results.find("   was uploaded without compression. File size=7777\r\n"),
            std::string::npos)
      << results;
  EXPECT_EQ(ListFolder(file.local_folder), std::vector<std::string>{"data.bin"});
}

}  // namespace
}  // namespace nvx

// The upload's differential path against the real nvxserver: the service holds a copy,
// the local file changed; the upload fetches the copy's signature (DownLoadX), sends a
// delta of the changed blocks, and the service's document then equals the local file,
// plain or enciphered, with and without transfer compression. Only the delta travels:
// "diff.crc" holds a few blocks, however large the file.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engines/upload_engine.h"
#include "platform/file_system.h"
#include "platform/mutex.h"
#include "tests/protocol/session_fixture.h"
#include "tests/support/current_directory.h"
#include "tests/support/server_process.h"

namespace nvx {
namespace {

std::string Content(size_t size, unsigned seed) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 2654435761u + seed) >> 11);
  return text;
}

// Two bytes of a block trade places: the block's 16-bit sum stays, so the delta leaves
// the block out and the service's digest check refuses what it rebuilds.
std::string Swapped(std::string text, size_t at) {
  while (text[at] == text[at + 1]) ++at;
  std::swap(text[at], text[at + 1]);
  return text;
}

std::string Changed(std::string text, size_t at, size_t count) {
  for (size_t i = at; i < at + count && i < text.size(); ++i) text[i] = static_cast<char>(~text[i]);
  return text;
}

class DeltaUploadServiceTest : public test::SessionTest {
 protected:
  void SetUp() override {
    for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
             {"account", "add", "alice", "wonderland", "--quota", "1073741824"},
             {"account", "add", "carol", "wonderland", "--quota", "1073741824", "--encrypt"}}) {
      test::RunResult result = test::RunNvxServer(data_, command);
      ASSERT_EQ(result.exit_code, 0) << result.err;
    }
    server_ = std::make_unique<test::ServerProcess>(data_, server_log_);
    ASSERT_NE(server_->port(), 0);
    link().ReplaceServerList("127.0.0.1:" + std::to_string(server_->port()));
  }
  void TearDown() override {
    session().CloseConnection();
    if (server_) {
      EXPECT_EQ(server_->Stop(), 0);
    }
  }
  ProgressRecord Progress() {
    platform::MutexLock lock(block_.state_lock);
    return block_.reported.live_progress;
  }
  std::string StoredDocument(const std::string& account, const std::string& name) {
    test::RunResult result =
        test::RunNvxServer(data_, {"doc", "get", account, "\\MyFiles\\" + name, work_.File("got")});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    return test::ReadFileText(work_.File("got"));
  }

  test::TempDir server_folder_;
  test::TempDir local_;
  test::TempDir work_;
  std::string data_ = server_folder_.File("data");
  std::string server_log_ = server_folder_.File("server.log");
  std::unique_ptr<test::ServerProcess> server_;
  test::ScopedCurrentDirectory in_work_folder_{work_.path()};
};

TEST_F(DeltaUploadServiceTest, ChangedFilesTravelAsDeltasAndTheServiceCopyFollows) {
  const std::string stored = Content(50 * 2048 + 1000, 3);
  struct Case {
    const char* label;
    std::string local;
    bool enciphered;
    bool transfer_compress;
    size_t most_delta_bytes;  // the size of "diff.crc" is at most this
    bool falls_back = false;  // the service refuses the delta; the whole file follows
  };
  const std::vector<Case> cases = {
      {"one block changed", Changed(stored, 20 * 2048 + 5, 10), false, false, 2048 + 200},
      {"one block changed, enciphered", Changed(stored, 7 * 2048, 1), true, false, 2048 + 200},
      {"one block changed, compressed", Changed(stored, 49 * 2048, 3000), false, true,
       3 * 2048 + 200},
      {"grown by blocks", stored + Content(3 * 2048 + 5, 9), false, false, 5 * 2048 + 200},
      {"cut to a multiple of the block", stored.substr(0, 40 * 2048), true, false, 200},
      {"cut to less than a block", stored.substr(0, 700), false, false, 700 + 200},
      {"a change the block sums miss", Swapped(stored, 30 * 2048 + 100), false, false, 200, true},
  };
  int round = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string account = c.enciphered ? "carol" : "alice";
    const std::string name = "file" + std::to_string(++round) + ".bin";
    test::WriteFileText(work_.File("stored"), stored);
    // The service's copy is of another date than the local file.
    test::RunResult added =
        test::RunNvxServer(data_, {"doc", "add", account, "\\MyFiles\\" + name,
                                   work_.File("stored"), "--date", "07D00101000000"});
    ASSERT_EQ(added.exit_code, 0) << added.err;

    test::WriteFileText(local_.File(name), c.local);
    block_.job.link.user = account;
    block_.protocol.account.service_options = c.enciphered ? 1 : 0;
    block_.protocol.account.space_limit = 1073741824;
    block_.job.texts.local_directory = local_.path();
    block_.job.texts.local_file = name;
    block_.job.flags.verification = true;
    block_.job.flags.transfer_compress = c.transfer_compress;
    platform::RemoveFile("diff.crc");

    EXPECT_TRUE(RunUpload(session(), block_.protocol.lists.mapped_folder));
    session().CloseConnection();
    EXPECT_EQ(StoredDocument(account, name) == c.local, true);
    ASSERT_TRUE(platform::PathExists("diff.crc")) << test::ReadFileText(server_log_) << Log();
    EXPECT_LE(test::ReadFileText("diff.crc").size(), c.most_delta_bytes);
    const ProgressRecord progress = Progress();
    EXPECT_EQ(progress.files_upload_updated, 1);
    EXPECT_EQ(progress.files_upload_error, c.falls_back ? 1 : 0);
    session().progress().ResetRecord();
  }
  // One signature fetch and one upload per file, after the test.
  const std::string log = test::ReadFileText(server_log_);
  size_t fetches = 0;
  for (size_t at = log.find("DownLoadX"); at != std::string::npos;
       at = log.find("DownLoadX", at + 1)) {
    ++fetches;
  }
  EXPECT_EQ(fetches, cases.size());
  const size_t refusal = log.find("Gen New From Diff Error");
  EXPECT_NE(refusal, std::string::npos);
  EXPECT_EQ(log.find("Gen New From Diff Error", refusal + 1), std::string::npos);
}

}  // namespace
}  // namespace nvx

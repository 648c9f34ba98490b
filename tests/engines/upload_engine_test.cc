// The upload engine against a scripted service on loopback: for each answer of the
// is-it-there test and of the upload, what travels (requests, resume offsets, bodies,
// enciphering), what the counts, the error code and the results report say, and whether
// a moved file is deleted. A folder scan shows the order of folders and files, the skip,
// exclude and zero-length rules, and the removal of stale work files.
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/results_report.h"
#include "codec/base64.h"
#include "codec/hidden_work_file.h"
#include "codec/md5.h"
#include "codec/transfer_cipher.h"
#include "engines/upload_engine.h"
#include "engines/upload_rules.h"
#include "platform/file_system.h"
#include "platform/mutex.h"
#include "protocol/email_exchange.h"
#include "tests/protocol/session_fixture.h"
#include "tests/support/current_directory.h"
#include "tests/support/os_helpers.h"

namespace nvx {
namespace {

using test::AnswerReply;
using test::Base64Of;
using test::BodyOf;
using test::CutReply;
using test::LoopbackPeer;
using test::MethodOf;
using test::PeerConnection;
using test::PeerReply;
using test::RequestHeader;
using test::ServiceAnswer;

class UploadEngineTest : public test::SessionTest {
 protected:
  UploadEngineTest() {
    platform::MutexLock lock(block_.trace_lock);
    OpenPendingResults(block_);
  }
  ~UploadEngineTest() override {
    platform::MutexLock lock(block_.trace_lock);
    block_.logs.results_file.Close();
  }
  std::string Results() { return test::ReadFileText(PendingResultsName(block_)); }
  ProgressRecord Progress() {
    platform::MutexLock lock(block_.state_lock);
    return block_.reported.live_progress;
  }

  test::TempDir local_;
};

// The file that most cases send: 5003 bytes, two whole blocks and a remainder.
std::string Content() {
  std::string text;
  for (int i = 0; text.size() < 5003; ++i) text += std::to_string(i) + ",";
  return text.substr(0, 5003);
}

TEST_F(UploadEngineTest, AnswersToTheTestAndTheUpload) {
  const std::string content = Content();
  const Md5Digest whole = Md5Of(content);
  const Md5Digest first_2048 = Md5Of(content.substr(0, 2048));
  const std::string ok = "X-NVX-CONCLUSION: Successful\r\nX-NVX-LARCH: 100000000,0\r\n";
  const std::string space = "X-NVX-LARCH: 100000000,0\r\n";
  struct Case {
    std::string name;
    std::vector<PeerConnection> script;
    bool move;
    std::string methods;     // of the requests, in order
    std::string put_header;  // expected in the (last) PUT, when there is one
    size_t body_offset;      // the PUT body is the content from here
    int uploaded, updated, matched, errors;
    int32_t error_code;
    bool file_kept;
    std::string result_text;  // in the results report ("" = nothing expected)
  };
  // clang-format off
  const std::vector<Case> cases = {
      // name; script; move; methods; PUT header; body offset;
      // uploaded, updated, matched, errors; error code; file kept; results text
      {"new file", {{AnswerReply("X-NVX-CONCLUSION: NotHere\r\n" + space), AnswerReply(ok)}}, false,
       "HEAD PUT", "Content-Length: 5003\r\n", 0,
       1, 0, 0, 0, 0, true, ""},
      {"stored: moved file deleted, nothing sent",
       {{AnswerReply("X-NVX-CONCLUSION: ItsHere\r\n" + space)}}, true,
       "HEAD", "", 0,
       0, 0, 1, 0, 0, false, ""},
      {"other date, same digest: matched",
       {{AnswerReply("X-NVX-CONCLUSION: DateNoMatch\r\nX-NVX-LUPIN: " + Base64Of(whole) +
                ",5003,V1;\r\n" + space)}}, false,
       "HEAD", "", 0,
       0, 0, 1, 0, 0, true, ""},
      {"other date, other digest: whole file replaces",
       {{AnswerReply("X-NVX-CONCLUSION: DateNoMatch\r\nX-NVX-LUPIN: " + Base64Of(first_2048) +
                ",5003,V1;\r\n" + space), AnswerReply(ok)}}, false,
       "HEAD PUT", "X-NVX-LUPIN: 0,V1;\r\n", 0,
       0, 1, 0, 0, 0, true, ""},
      {"incomplete copy resumes after its bytes",
       {{AnswerReply("X-NVX-CONCLUSION: Incomplete\r\nX-NVX-LUPIN: " + Base64Of(first_2048) +
                ",2048,V2;\r\n" + space), AnswerReply(ok)}}, true,
       "HEAD PUT", "X-NVX-RESTART: 2048,V2;\r\nContent-Length: 2955\r\n", 2048,
       0, 1, 0, 0, 0, false, ""},
      {"incomplete copy of other bytes starts again",
       {{AnswerReply("X-NVX-CONCLUSION: Incomplete\r\nX-NVX-LUPIN: " + Base64Of(whole) +
                ",2048,V2;\r\n" + space), AnswerReply(ok)}}, false,
       "HEAD PUT", "X-NVX-RESTART: 0,V2;\r\nContent-Length: 5003\r\n", 0,
       0, 1, 0, 0, 0, true, ""},
      {"refused upload: no retry, moved file kept",
       {{AnswerReply("X-NVX-CONCLUSION: NotHere\r\n" + space),
         AnswerReply("X-NVX-CONCLUSION: Error - Quota Exceeded\r\n")}}, true,
       "HEAD PUT", "Content-Length: 5003\r\n", 0,
       0, 0, 0, 1, kErrorUploadRefused, true, "Error Code = 19"},
      {"cut upload: one retry on a new connection",
       {{AnswerReply("X-NVX-CONCLUSION: NotHere\r\n" + space), CutReply()}, {AnswerReply(ok)}}, true,
       "HEAD PUT PUT", "Content-Length: 5003\r\n", 0,
       1, 0, 0, 0, kErrorUploadRefused, false, ""},
      {"cut twice: the file fails",
       {{AnswerReply("X-NVX-CONCLUSION: NotHere\r\n" + space), CutReply()}, {CutReply()}}, false,
       "HEAD PUT PUT", "Content-Length: 5003\r\n", 0,
       0, 0, 0, 1, kErrorUploadRefused, true, "Error Code = 18"},
      {"cut test: one retry, then matched (no deletion on that path)",
       {{CutReply()}, {AnswerReply("X-NVX-CONCLUSION: ItsHere\r\n" + space)}}, true,
       "HEAD HEAD", "", 0,
       0, 0, 1, 0, 0, true, ""},
      {"unknown conclusion without a usable answer",
       {{AnswerReply("X-NVX-CONCLUSION: x\r\n")}}, false,
       "HEAD", "", 0,
       0, 0, 0, 1, 0, true, "Error Code = 14"},
      {"over quota: nothing sent",
       {{AnswerReply("X-NVX-CONCLUSION: NotHere\r\nX-NVX-LARCH: 100,6000\r\n")}}, false,
       "HEAD", "", 0,
       0, 0, 0, 1, kErrorQuotaExceeded, true, "enough space"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackPeer peer;
    for (const PeerConnection& connection : c.script) peer.AddConnection(connection);
    UseServer(peer);
    const std::string path = local_.File("data.bin");
    test::WriteFileText(path, content);
    block_.protocol.account.space_used_estimate = 0;
    block_.job.texts.local_directory = local_.path();
    block_.job.texts.local_file = "data.bin";
    block_.job.flags.verification = true;
    block_.job.flags.move = c.move;
    block_.control.error_code = 0;

    // Each case says what its outcome shows through: requests, counts, notes.
    (void)RunUpload(session(), block_.protocol.lists.mapped_folder);
    session().CloseConnection();

    const std::vector<std::string> requests = peer.Requests();
    std::string methods;
    for (const std::string& request : requests) {
      methods += (methods.empty() ? "" : " ") + MethodOf(request);
    }
    EXPECT_EQ(methods, c.methods);
    auto last_put = std::find_if(requests.rbegin(), requests.rend(),
                                 [](const std::string& r) { return MethodOf(r) == "PUT"; });
    if (last_put != requests.rend()) {
      EXPECT_NE(last_put->find(c.put_header), std::string::npos) << *last_put;
      EXPECT_EQ(BodyOf(*last_put), content.substr(c.body_offset));
    }
    const ProgressRecord progress = Progress();
    EXPECT_EQ(progress.files_uploaded, c.uploaded);
    EXPECT_EQ(progress.files_upload_updated, c.updated);
    EXPECT_EQ(progress.files_upload_matched, c.matched);
    EXPECT_EQ(progress.files_upload_error, c.errors);
    if (c.error_code != kErrorUploadRefused || c.errors > 0) {
      EXPECT_EQ(block_.control.error_code.load(), c.error_code);
    }
    EXPECT_EQ(platform::PathExists(path), c.file_kept);
    if (!c.result_text.empty()) {
      EXPECT_NE(Results().find(c.result_text), std::string::npos);
    }
    session().progress().ResetRecord();
  }
}

TEST_F(UploadEngineTest, EncipheredBodyIsPaddedAndDeciphersToTheFile) {
  const std::string content = Content();
  LoopbackPeer peer;
  peer.AddConnection({AnswerReply("X-NVX-CONCLUSION: Successful\r\n")});
  UseServer(peer);
  test::WriteFileText(local_.File("data.bin"), content);
  block_.protocol.account.service_options = 1;
  block_.protocol.account.space_limit = 1000000;
  block_.job.texts.local_directory = local_.path();
  block_.job.texts.local_file = "data.bin";
  ASSERT_TRUE(RunUpload(session(), block_.protocol.lists.mapped_folder));

  const std::vector<std::string> requests = peer.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(RequestHeader(requests[0], "Content-Length: "), "5008");
  const std::string fang = RequestHeader(requests[0], "X-NVX-FANG: ");
  ASSERT_EQ(fang.substr(0, 5), "5003,");
  const auto key_code = static_cast<uint16_t>(std::stoi(fang.substr(5)));
  std::string body = BodyOf(requests[0]);
  ASSERT_EQ(body.size(), 5008u);
  TransferCipher(KeyIndexOfCode(key_code)).Decipher(body.data(), body.data(), body.size());
  EXPECT_EQ(body.substr(0, 5003), content);
  EXPECT_EQ(body.substr(5003), std::string(5, '\0'));
}

TEST_F(UploadEngineTest, LargeBodiesTravelWholePlainAndEnciphered) {
  // Around the size sent with the header and the size of one piece; a resume point that
  // is not a multiple of 2048.
  struct Case {
    size_t size;
    bool enciphered;
    int64_t resume;
  };
  const std::vector<Case> cases = {{65537, false, 0},     {262144, false, 0}, {262145, false, 0},
                                   {600000, false, 0},    {600000, true, 0},  {262151, true, 0},
                                   {600000, false, 70001}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + (c.enciphered ? " enciphered" : " plain") + " from " +
                 std::to_string(c.resume));
    std::string content(c.size, '\0');
    for (size_t i = 0; i < c.size; ++i) content[i] = static_cast<char>((i * 7919) >> 3);
    test::WriteFileText(local_.File("big.bin"), content);
    LoopbackPeer peer;
    std::vector<PeerReply> replies;
    const Md5Digest head = Md5Of(content.substr(0, static_cast<size_t>(c.resume)));
    replies.push_back(AnswerReply(
        c.resume == 0 ? "X-NVX-CONCLUSION: NotHere\r\n"
                      : "X-NVX-CONCLUSION: Incomplete\r\nX-NVX-LUPIN: " + Base64Of(head) + "," +
                            std::to_string(c.resume) + ",V5;\r\n"));
    replies.push_back(AnswerReply("X-NVX-CONCLUSION: Successful\r\n"));
    peer.AddConnection(replies);
    UseServer(peer);
    block_.protocol.account.service_options = c.enciphered ? 1 : 0;
    block_.protocol.account.space_limit = 100000000;
    block_.job.texts.local_directory = local_.path();
    block_.job.texts.local_file = "big.bin";
    block_.job.flags.verification = true;
    ASSERT_TRUE(RunUpload(session(), block_.protocol.lists.mapped_folder));
    session().CloseConnection();

    const std::vector<std::string> requests = peer.Requests();
    ASSERT_EQ(requests.size(), 2u);
    std::string body = BodyOf(requests[1]);
    const std::string expected = content.substr(static_cast<size_t>(c.resume));
    if (c.enciphered) {
      const std::string fang = RequestHeader(requests[1], "X-NVX-FANG: ");
      const auto key_code = static_cast<uint16_t>(std::stoi(fang.substr(fang.find(',') + 1)));
      ASSERT_EQ(body.size() % 8, 0u);
      TransferCipher(KeyIndexOfCode(key_code)).Decipher(body.data(), body.data(), body.size());
      body.resize(expected.size());
    }
    EXPECT_EQ(body == expected, true);
    EXPECT_EQ(Progress().block, BlockCount(static_cast<int64_t>(c.size)));
    session().progress().ResetRecord();
  }
}

// A peer that reads a PUT's header and goes away while the body is on its way: on every
// send path a transport failure and one more try, never SIGPIPE (whose default action
// would end this test program).
TEST_F(UploadEngineTest, APeerGoneMidBodyIsATransportFailureOnEverySendPath) {
  std::signal(SIGPIPE, SIG_DFL);
  test::ScopedCurrentDirectory in_local_folder(local_.path());  // "temp.crc", "diff.crc"
  std::string content(4 << 20, '\0');                           // does not compress
  std::mt19937 random(5);
  for (char& byte : content) byte = static_cast<char>(random());
  test::WriteFileText(local_.File("data.txt"), content);
  PeerReply gone, signature = AnswerReply("");  // of a stored copy that has nothing in common
  PeerReply replace_x = AnswerReply("X-NVX-CONCLUSION: ReplaceX\r\nX-NVX-LUPIN: x,V7;\r\n");
  gone.header_only = true;
  signature.bytes = ServiceAnswer("", "4096,0,2048,2,0," + std::string(32, '0') + ",00000000");
  block_.protocol.account.space_limit = 100000000;
  block_.job.texts.local_directory = local_.path();
  block_.job.texts.local_file = "data.txt";
  for (const std::string path : {"plain", "enciphered", "compressed", "delta", "e-mail"}) {
    SCOPED_TRACE(path);
    LoopbackPeer peer;
    PeerConnection first = {gone};
    if (path == "delta") first = {replace_x, signature, gone};
    peer.AddConnection(first);
    peer.AddConnection({AnswerReply("X-NVX-CONCLUSION: Successful\r\n")});
    UseServer(peer);
    block_.protocol.account.service_options = path == "enciphered" ? 1 : 0;
    block_.job.flags.transfer_compress = path == "compressed";
    block_.job.flags.verification = path == "delta";
    EXPECT_TRUE(path == "e-mail" ? SendEmailText(session(), content.substr(0, 16000))
                                 : RunUpload(session(), block_.protocol.lists.mapped_folder));
    EXPECT_EQ(peer.Requests().size(), path == "delta" ? 4u : 2u);
  }
}

TEST_F(UploadEngineTest, FolderScanSendsSubfoldersFirstAndSkipsWhatTheJobSays) {
  // root/a.txt, root/empty.txt, root/d.tmp, root/skip/x.txt, root/sub/b.txt,
  // root/sub/skip/c.txt: "skip" is skipped at the top only; a name with a line break is
  // reported, never sent; work files a killed run left behind are never sent.
  const std::string root = local_.File("root");
  for (const char* folder : {"root", "root/skip", "root/sub", "root/sub/skip"}) {
    ASSERT_TRUE(platform::MakeDirectory(local_.File(folder)));
  }
  test::WriteFileText(root + "/a.txt", "alpha");
  test::WriteFileText(root + "/empty.txt", "");
  test::WriteFileText(root + "/d.tmp", "scratch");
  test::WriteFileText(root + "/two\nlines.txt", "never: the name cannot travel");
  test::WriteFileText(root + "/skip/x.txt", "never");
  test::WriteFileText(root + "/sub/b.txt", "beta");
  test::WriteFileText(root + "/sub/.b.txt.ab3de6gh9k.nvxzip", "left by a killed run");
  test::WriteFileText(root + "/.a.txt.zq8wx2cv5n.nvxpart", "left by a killed restore");
  test::WriteFileText(root + "/sub/skip/c.txt", "gamma");
  // Another run, still at work, holds its work file; a link of that shape stays too.
  test::ChildHolding running([folder = root + "/sub"] {
    static platform::File held;
    std::string path;
    int error = 0;
    held = CreateHiddenWorkFile(folder, "held.txt", kZipWorkSuffix, &path, &error);
    return held.is_open();
  });
  ASSERT_TRUE(running.took());
  std::filesystem::create_symlink(root + "/a.txt", root + "/.l.txt.abcdefghij.nvxzip");

  // One answer serves every request: a conclusion that FolderFileCount reads as a count
  // and a body that FolderCreate reads as a folder id.
  LoopbackPeer peer;
  PeerConnection connection;
  for (int i = 0; i < 30; ++i) {
    PeerReply reply;
    reply.bytes = ServiceAnswer("X-NVX-CONCLUSION: OK,0\r\nX-NVX-LARCH: 100000000,0\r\n", "77\r\n");
    reply.close_after = false;
    connection.push_back(reply);
  }
  peer.AddConnection(connection);
  UseServer(peer);
  block_.job.texts.local_directory = root + "/";
  block_.job.flags.subfolders = true;
  block_.job.texts.skip_folders = {"SKIP"};
  block_.job.texts.excluded_extensions = {".tmp"};
  ASSERT_TRUE(RunUpload(session(), block_.protocol.lists.mapped_folder));

  std::vector<std::string> steps;
  for (const std::string& request : peer.Requests()) {
    const std::string line = request.substr(0, request.find(" HTTP/1.1"));
    if (line.find("FolderCreate") != std::string::npos) {
      steps.push_back("create " + RequestHeader(request, "X-NVX-BIGGLES: "));
    } else if (MethodOf(request) == "PUT") {
      steps.push_back("put " + line.substr(line.find('?') + 1));
    }
  }
  const std::vector<std::string> expected = {"create root", "create sub", "create skip",
                                             "put c.txt",   "put b.txt",  "put a.txt"};
  EXPECT_EQ(steps, expected);
  const ProgressRecord progress = Progress();
  EXPECT_EQ(progress.files_uploaded, 3);
  EXPECT_EQ(progress.files_upload_zero_length, 1);
  EXPECT_EQ(progress.files_upload_error, 1);
  EXPECT_NE(Results().find("zero-length"), std::string::npos);
  EXPECT_NE(Results().find("lines.txt"), std::string::npos);
  EXPECT_EQ(Status(), "Processing local file list complete");
  EXPECT_EQ(test::ListFolder(root),
            (std::vector<std::string>{".l.txt.abcdefghij.nvxzip", "a.txt", "d.tmp", "empty.txt",
                                      "skip", "sub", "two\nlines.txt"}));
  EXPECT_EQ(test::ListFolder(root + "/sub").size(), 3u);  // b.txt, skip, the running one's
}

}  // namespace
}  // namespace nvx

// The upload's differential path against a scripted service on loopback: after a
// conclusion that allows a delta, the signature fetch, the delta PUT and what follows
// each answer (equal files, applied delta, the service's "Gen New From Diff Error",
// other refusals, cut connections, a signature that never arrives while a stale
// "temp.crc" lies in the current folder, a link planted at one of its names). The delta
// that travels is applied to the server's copy and must give the local file.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/results_report.h"
#include "codec/delta/block_signature.h"
#include "codec/delta/delta_apply.h"
#include "engines/upload_engine.h"
#include "platform/file_system.h"
#include "platform/mutex.h"
#include "tests/protocol/session_fixture.h"
#include "tests/support/current_directory.h"

namespace nvx {
namespace {

using test::AnswerReply;
using test::BodyOf;
using test::CutReply;
using test::LoopbackPeer;
using test::MethodOf;
using test::PeerConnection;
using test::PeerReply;
using test::RequestHeader;
using test::ServiceAnswer;

class DeltaUploadTest : public test::SessionTest {
 protected:
  DeltaUploadTest() : in_work_folder_(work_.path()) {
    platform::MutexLock lock(block_.trace_lock);
    OpenPendingResults(block_);
  }
  ~DeltaUploadTest() override {
    platform::MutexLock lock(block_.trace_lock);
    block_.logs.results_file.Close();
  }
  std::string Results() { return test::ReadFileText(PendingResultsName(block_)); }
  ProgressRecord Progress() {
    platform::MutexLock lock(block_.state_lock);
    return block_.reported.live_progress;
  }

  test::TempDir local_;
  test::TempDir server_;
  test::TempDir work_;
  test::ScopedCurrentDirectory in_work_folder_;
};

std::string Content(size_t size, unsigned seed) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 2654435761u + seed) >> 13);
  return text;
}

TEST_F(DeltaUploadTest, AnswersAlongTheDifferentialPath) {
  // The server holds `stored`; the local file differs in one block in the middle.
  const std::string stored = Content(10 * 2048 + 300, 1);
  std::string local = stored;
  for (size_t i = 4 * 2048; i < 4 * 2048 + 100; ++i) local[i] = static_cast<char>(local[i] + 1);
  test::WriteFileText(server_.File("stored"), stored);
  test::WriteFileText(local_.File("same"), local);
  std::string stored_signature, local_signature, error;
  ASSERT_TRUE(MakeSignature(server_.File("stored"), 2048, &stored_signature, &error));
  ASSERT_TRUE(MakeSignature(local_.File("same"), 2048, &local_signature, &error));

  const std::string space = "X-NVX-LARCH: 100000000,0\r\n";
  const std::string ok = "X-NVX-CONCLUSION: Successful\r\n" + space;
  const std::string replace_x = "X-NVX-CONCLUSION: ReplaceX\r\nX-NVX-LUPIN: x,V7;\r\n" + space;
  const auto signature = [&](const std::string& text) {
    return AnswerReply(
        "X-NVX-CONCLUSION: Successful\r\nX-NVX-Fang: " + std::to_string(text.size()) + ",0,0\r\n",
        text);
  };
  const PeerReply refused_signature =
      AnswerReply("X-NVX-CONCLUSION: Error - Document Not Found\r\n");
  PeerReply refused_with_length = refused_signature;
  refused_with_length.bytes =
      ServiceAnswer("X-NVX-CONCLUSION: Error - Document Not Found\r\n", "", /*with_length=*/true);
  PeerReply cut_signature = signature(stored_signature);
  cut_signature.bytes.resize(cut_signature.bytes.size() - 10);
  cut_signature.close_after = true;

  struct Case {
    std::string name;
    std::string conclusion;               // of the is-it-there test
    std::vector<PeerConnection> script;   // after the test's answer
    std::string stale_signature;          // left in "temp.crc" before the run
    std::string methods;                  // every request, in order
    std::vector<std::string> put_lupins;  // X-NVX-LUPIN of each PUT
    bool delta_sent;                      // the first PUT carries the delta
    int updated, errors;
    std::string result_text;  // in the results report, "" = none
    bool succeeds;
    std::string planted = "";  // a name of the path holding a link to a file elsewhere
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"the delta is applied", replace_x, {{signature(stored_signature), AnswerReply(ok)}}, "",
       "HEAD GET PUT", {"1,V7;"}, true, 1, 0, "", true},
      {"equal files send nothing",
       "X-NVX-CONCLUSION: DateNoMatchX\r\nX-NVX-LUPIN: AAAAAAAAAAAAAAAAAAAAAA==,1,V7;\r\n" + space,
       {{signature(local_signature)}}, "",
       "HEAD GET", {}, false, 0, 0, "", true},
      {"the service cannot apply it: the whole file follows", replace_x,
       {{signature(stored_signature),
         AnswerReply("X-NVX-CONCLUSION: Error - Gen New From Diff Error\r\n" + space)},
        {AnswerReply(ok)}}, "",
       "HEAD GET PUT PUT", {"1,V7;", "0,V7;"}, true, 1, 1, "Error Code = 9", true},
      {"another refusal fails the file", replace_x,
       {{signature(stored_signature), AnswerReply("X-NVX-CONCLUSION: Error - Quota Exceeded\r\n")}},
       "", "HEAD GET PUT", {"1,V7;"}, true, 0, 1, "Error Code = 9", false},
      {"a cut delta upload is sent once more", replace_x,
       {{signature(stored_signature), CutReply()}, {AnswerReply(ok)}}, "",
       "HEAD GET PUT PUT", {"1,V7;", "1,V7;"}, true, 1, 0, "", true},
      {"no signature: the whole file goes", replace_x, {{refused_signature}, {AnswerReply(ok)}}, "",
       "HEAD GET PUT", {"0,V7;"}, false, 1, 0, "", true},
      {"an error with an empty body is no signature", replace_x,
       {{refused_with_length}, {AnswerReply(ok)}}, "",
       "HEAD GET PUT", {"0,V7;"}, false, 1, 0, "", true},
      {"a stale signature is never read as this file's", replace_x,
       {{refused_signature}, {AnswerReply(ok)}}, local_signature,
       "HEAD GET PUT", {"0,V7;"}, false, 1, 0, "", true},
      {"a signature cut short is not used", replace_x, {{cut_signature}, {AnswerReply(ok)}}, "",
       "HEAD GET PUT", {"0,V7;"}, false, 1, 0, "", true},
      {"a bad signature: the whole file goes", replace_x,
       {{signature("100,0,0,0,0")}, {AnswerReply(ok)}}, "",
       "HEAD GET PUT", {"0,V7;"}, false, 1, 0, "", true},
      {"a link at temp.crc~: the file goes whole", replace_x, {{AnswerReply(ok)}}, "", "HEAD PUT",
       {"0,V7;"}, false, 1, 1, "temp.crc~ is not a regular file", true, "temp.crc~"},
      {"a link at temp.crc", replace_x, {{AnswerReply(ok)}}, "", "HEAD PUT", {"0,V7;"}, false, 1, 1,
       "temp.crc is not a regular file", true, "temp.crc"},
      {"a link at diff.crc", replace_x, {{AnswerReply(ok)}}, "", "HEAD PUT", {"0,V7;"}, false, 1, 1,
       "diff.crc is not a regular file", true, "diff.crc"},
      {"a copy without X takes no delta",
       "X-NVX-CONCLUSION: Replace\r\nX-NVX-LUPIN: x,V7;\r\n" + space, {{AnswerReply(ok)}}, "",
       "HEAD PUT", {"0,V7;"}, false, 1, 0, "", true},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackPeer peer;
    PeerConnection first = {AnswerReply(c.conclusion)};
    first.insert(first.end(), c.script[0].begin(), c.script[0].end());
    peer.AddConnection(first);
    for (size_t i = 1; i < c.script.size(); ++i) peer.AddConnection(c.script[i]);
    UseServer(peer);
    for (const char* name : {"temp.crc", "temp.crc~", "diff.crc"}) platform::RemoveFile(name);
    if (!c.stale_signature.empty()) test::WriteFileText("temp.crc", c.stale_signature);
    test::WriteFileText(server_.File("secret"), "secret");
    if (!c.planted.empty()) std::filesystem::create_symlink(server_.File("secret"), c.planted);
    test::WriteFileText(local_.File("data.bin"), local);
    block_.protocol.account.space_used_estimate = 0;
    block_.job.texts.local_directory = local_.path();
    block_.job.texts.local_file = "data.bin";
    block_.job.flags.verification = true;
    block_.control.error_code = 0;

    EXPECT_EQ(RunUpload(session(), block_.protocol.lists.mapped_folder), c.succeeds);
    session().CloseConnection();

    const std::vector<std::string> requests = peer.Requests();
    std::string methods;
    std::vector<std::string> lupins;
    std::vector<std::string> bodies;
    for (const std::string& request : requests) {
      methods += (methods.empty() ? "" : " ") + MethodOf(request);
      if (MethodOf(request) == "PUT") {
        lupins.push_back(RequestHeader(request, "X-NVX-LUPIN: "));
        bodies.push_back(BodyOf(request));
      }
      if (MethodOf(request) == "GET") {
        EXPECT_NE(request.find("?DownLoadX "), std::string::npos) << request;
        EXPECT_NE(request.find("X-NVX-LUPIN: 0,V7;"), std::string::npos) << request;
      }
    }
    EXPECT_EQ(methods, c.methods);
    // Equal files leave no delta behind.
    EXPECT_FALSE(c.methods == "HEAD GET" && platform::PathExists("diff.crc"));
    EXPECT_EQ(lupins, c.put_lupins);
    for (size_t i = 0; i < bodies.size(); ++i) {
      if (i == 0 && c.delta_sent) {
        // Only the changed block travels, and it rebuilds the local file.
        EXPECT_LT(bodies[i].size(), 2048u + 200u);
        test::WriteFileText(server_.File("delta"), bodies[i]);
        EXPECT_EQ(ApplyDelta(server_.File("stored"), server_.File("delta"), server_.File("new")),
                  "");
        EXPECT_EQ(test::ReadFileText(server_.File("new")), local);
      } else if (lupins[i] != "1,V7;") {
        EXPECT_EQ(bodies[i], local);
      }
    }
    const ProgressRecord progress = Progress();
    EXPECT_EQ(progress.files_upload_updated, c.updated);
    EXPECT_EQ(progress.files_upload_error, c.errors);
    EXPECT_EQ(progress.files_upload_matched, 0);
    EXPECT_EQ(progress.files_upload_zero_length, 0);
    if (!c.result_text.empty()) {
      EXPECT_NE(Results().find(c.result_text), std::string::npos) << Results();
    }
    EXPECT_TRUE(platform::PathExists(local_.File("data.bin")));
    EXPECT_EQ(test::ReadFileText(server_.File("secret")), "secret");
    EXPECT_TRUE(c.planted.empty() || std::filesystem::is_symlink(c.planted));
    session().progress().ResetRecord();
  }
}

}  // namespace
}  // namespace nvx

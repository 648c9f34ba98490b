// The download engine against a scripted service on loopback: for each state of the
// local copy and each answer (UGOTIT, resume, zipped, enciphered, cut short, too long,
// refused, cut twice), what travels, what the restore folder holds afterwards, the
// counts and the results report. A hostile file list (names that climb out of the
// folder, absolute names, names too long) writes nothing outside the restore folder and
// reports every refusal; so does a link, pipe or folder planted at a name the download
// writes; a folder walk passes over folders without access.
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/results_report.h"
#include "codec/base64.h"
#include "codec/md5.h"
#include "codec/transfer_cipher.h"
#include "codec/zip_archive.h"
#include "engines/download_engine.h"
#include "platform/file_system.h"
#include "platform/file_time.h"
#include "platform/mutex.h"
#include "protocol/folder_tree.h"
#include "protocol/response_headers.h"
#include "tests/protocol/session_fixture.h"
#include "tests/support/os_helpers.h"
#include "wire/date_stamp.h"

namespace nvx {
namespace {

using namespace std::string_literals;

using test::Base64Of;
using test::LoopbackPeer;
using test::PeerConnection;
using test::PeerReply;
using test::ServiceAnswer;

constexpr int64_t kServerTime = 1700000000;
constexpr int64_t kKey = 300;

std::string StoredContent() {
  std::string text;
  for (int i = 0; text.size() < 5003; ++i) text += std::to_string(i * 7) + ";";
  return text.substr(0, 5003);
}

PeerReply Reply(const std::string& bytes, bool close_after = false) {
  PeerReply reply;
  reply.bytes = bytes;
  reply.close_after = close_after;
  return reply;
}

PeerReply List(const std::string& entries) {
  return Reply(ServiceAnswer("X-NVX-CONCLUSION: Successful\r\n", entries));
}

std::string Entry(const std::string& name, const std::string& vid) {
  return vid + "\t" + name + "\t5003\t" + *FormatDateStamp(kServerTime) + "\t0\t0\t";
}

// A download answer with its body; `length` overrides the Content-Length.
PeerReply Body(const std::string& headers, const std::string& body,
               std::optional<size_t> length = std::nullopt, bool close_after = false) {
  const std::string size = std::to_string(length.value_or(body.size()));
  return Reply("HTTP/1.1 200 OK\r\n" + headers + "Content-Length: " + size + "\r\n\r\n" + body,
               close_after);
}

// The query of each request ("FolderFileList", "DownLoad", ...), blank-separated.
std::string Queries(const std::vector<std::string>& requests) {
  std::string out;
  for (const std::string& request : requests) {
    const size_t mark = request.find('?');
    const size_t end = request.find(' ', mark);
    out += (out.empty() ? "" : " ") + request.substr(mark + 1, end - mark - 1);
  }
  return out;
}

// A file list as an account with enciphered bodies gets it: two bytes naming the key,
// then the enciphered text.
PeerReply EncipheredList(const std::string& entries) {
  std::string body(2 + RoundUpToBlock(entries.size()), '\0');
  body[1] = static_cast<char>(17);
  TransferCipher(17).Encipher(entries.data(), entries.size(), body.data() + 2);
  return Reply(ServiceAnswer("X-NVX-CONCLUSION: Successful\r\n", body));
}

// A one-entry ZIP archive of `content`, as a service packs a document.
std::string ZipOf(const std::string& content) {
  test::TempDir scratch;
  test::WriteFileText(scratch.File("a.txt"), content);
  int error = 0;
  EXPECT_TRUE(ZipOneFile(scratch.File("a.txt"), scratch.File("a.zip"), &error));
  return test::ReadFileText(scratch.File("a.zip"));
}

std::string Enciphered(const std::string& plain) {
  std::string out(RoundUpToBlock(plain.size()), '\0');
  CipherForDownload(kKey).Encipher(plain.data(), plain.size(), out.data());
  return out;
}

class DownloadEngineTest : public test::SessionTest {
 protected:
  DownloadEngineTest() {
    {
      platform::MutexLock lock(block_.trace_lock);
      OpenPendingResults(block_);
    }
    block_.protocol.lists.folder_list =
        std::move(ParseFolderList("0\tMyFiles\tW\t100\n1\tDocs\tW\t101\n2\tSub\tW\t102\n"
                                  "2\tLocked\tN\t103\n")
                      .tree);
    block_.protocol.lists.mapped_folder =
        FindFolder("Docs", *block_.protocol.lists.folder_list->root());
    block_.job.texts.local_directory = restore_.path();
  }
  ~DownloadEngineTest() override {
    platform::MutexLock lock(block_.trace_lock);
    block_.logs.results_file.Close();
  }
  std::string Results() { return test::ReadFileText(PendingResultsName(block_)); }
  ProgressRecord Progress() {
    platform::MutexLock lock(block_.state_lock);
    return block_.reported.live_progress;
  }
  std::string Docs(const std::string& name) { return restore_.File("Docs/" + name); }

  test::TempDir restore_;
};

TEST_F(DownloadEngineTest, LocalCopiesAndAnswers) {
  const std::string content = StoredContent();
  const std::string head = content.substr(0, 2048);
  const std::string rest = content.substr(2048);
  const std::string zip = ZipOf(content);
  const std::string fang = "X-NVX-Fang: 5003,0,0\r\n";
  const std::string list = Entry("a.txt", "V1");
  struct Case {
    std::string name;
    std::optional<std::string> target_before, work_before;
    int64_t target_age;  // seconds the target's date lies after the server's
    int32_t file_compare;
    bool move, enciphered, server_date;
    std::vector<PeerConnection> script;
    std::string queries;
    std::string request_has;  // in the (first) DownLoad request
    std::optional<std::string> target_after, work_after;
    int downloaded, updated, matched, errors;
    bool result;
    std::string results_text;
  };
  const std::string restart2 = "X-NVX-RESTART2: " + Base64Of(Md5Of(head)) + ",2048,V1;\r\n";
  // clang-format off
  const std::vector<Case> cases = {
      {"new file", {}, {}, 0, 0, false, false, false,
       {{List(list), Body(fang, content)}}, "FolderFileList DownLoad", "X-NVX-LUPIN: 0,V1;\r\n",
       content, {}, 1, 0, 0, 0, true, ""},
      {"same date: nothing asked", content, {}, 0, 0, false, false, false,
       {{List(list)}}, "FolderFileList", "", content, {}, 0, 0, 1, 0, true, ""},
      {"local copy newer: nothing asked", head, {}, 60, 0, false, false, false,
       {{List(list)}}, "FolderFileList", "", head, {}, 0, 0, 1, 0, true, ""},
      {"compare by digest: UGOTIT", content, {}, 0, 1, false, false, false,
       {{List(list), Reply(ServiceAnswer("X-NVX-CONCLUSION: UGOTIT\r\n"))}},
       "FolderFileList DownLoad",
       "X-NVX-RESTART2: " + Base64Of(Md5Of(content)) + ",5003,V1;\r\nX-NVX-DINSDALE: ",
       content, {}, 0, 0, 1, 0, true, ""},
      {"partial work file completed by UGOTIT", {}, content, 0, 0, false, false, false,
       {{List(list), Reply(ServiceAnswer("X-NVX-CONCLUSION: UGOTIT\r\n"))}},
       "FolderFileList DownLoad", "", content, {}, 0, 0, 1, 0, true, ""},
      {"partial work file resumed", {}, head, 0, 0, false, false, false,
       {{List(list), Body("X-NVX-RESTART: 1\r\n" + fang, rest)}}, "FolderFileList DownLoad",
       restart2, content, {}, 0, 1, 0, 0, true, ""},
      {"older target resumed through the work file", head, {}, -60, 0, false, false, false,
       {{List(list), Body("X-NVX-RESTART: 1\r\n" + fang, rest)}}, "FolderFileList DownLoad",
       restart2, content, {}, 0, 1, 0, 0, true, ""},
      {"older target replaced whole", "old", {}, -60, 0, false, false, false,
       {{List(list), Body(fang, content)}}, "FolderFileList DownLoad", "", content, {},
       0, 1, 0, 0, true, ""},
      {"zipped body unpacked", {}, {}, 0, 0, false, false, false,
       {{List(list), Body("X-NVX-Fang: " + std::to_string(zip.size()) + ",0,1\r\n", zip)}},
       "FolderFileList DownLoad", "", content, {}, 1, 0, 0, 0, true, ""},
      {"zipped body that is no archive", {}, {}, 0, 0, false, false, false,
       {{List(list), Body("X-NVX-Fang: 5003,0,1\r\n", content)}},
       "FolderFileList DownLoad", "", {}, {}, 0, 0, 0, 1, true, "a.txt"},
      {"enciphered body", {}, {}, 0, 0, false, true, false,
       {{List(list), Body("X-NVX-Fang: 5003,300,0\r\n", Enciphered(content))}},
       "FolderFileList DownLoad", "", content, {}, 1, 0, 0, 0, true, ""},
      {"enciphered, cut after 5000 bytes", {}, {}, 0, 0, false, true, false,
       {{List(list), Body("X-NVX-Fang: 5003,300,0\r\n", Enciphered(content).substr(0, 5000),
                          5008, true)}},
       "FolderFileList DownLoad", "", {}, content.substr(0, 4096), 0, 0, 0, 1, true, "a.txt"},
      {"enciphered, resumed from block 2", {}, content.substr(0, 4096), 0, 0, false, true, false,
       {{List(list), Body("X-NVX-RESTART: 1\r\nX-NVX-Fang: 907,300,0\r\n",
                          Enciphered(content.substr(4096)))}},
       "FolderFileList DownLoad", "", content, {}, 0, 1, 0, 0, true, ""},
      {"enciphered with a length that cannot be", {}, {}, 0, 0, false, true, false,
       {{List(list), Body("X-NVX-Fang: 99999,300,0\r\n", Enciphered(content))}},
       "FolderFileList DownLoad", "", {}, {}, 0, 0, 0, 1, true, "a.txt"},
      {"garbage X-NVX-Fang on a plain body: the body counts", {}, {}, 0, 0, false, false, false,
       {{List(list), Body("X-NVX-Fang: -7,x,\x01\r\n", content)}}, "FolderFileList DownLoad",
       "", content, {}, 1, 0, 0, 0, true, ""},
      {"body shorter than announced stays for a resume", {}, {}, 0, 0, false, false, false,
       {{List(list), Body(fang, content.substr(0, 3000), 5003, true)}},
       "FolderFileList DownLoad", "", {}, content.substr(0, 3000), 0, 0, 0, 1, true, "a.txt"},
      {"body longer than announced is cut at its length", {}, {}, 0, 0, false, false, false,
       {{List(list), Body(fang, content + "EXTRA BYTES", 5003, true)}},
       "FolderFileList DownLoad", "", content, {}, 1, 0, 0, 0, true, ""},
      {"refused: nothing changes, no deletion", "old", {}, -60, 0, true, false, false,
       {{List(list), Reply(ServiceAnswer("X-NVX-CONCLUSION: Error - Not Found\r\n"))}},
       "FolderFileList DownLoad", "", "old", {}, 0, 0, 0, 1, true, "a.txt"},
      {"resume offered by nobody is refused", {}, {}, 0, 0, false, false, false,
       {{List(list), Body("X-NVX-RESTART: 1\r\n" + fang, rest)}},
       "FolderFileList DownLoad", "", {}, {}, 0, 0, 0, 1, true, "a.txt"},
      {"moved: server copy deleted after the download", {}, {}, 0, 0, true, false, false,
       {{List(list), Body(fang, content),
         Reply(ServiceAnswer("X-NVX-CONCLUSION: Successful\r\n"))}},
       "FolderFileList DownLoad DeleteDoc", "", content, {}, 1, 0, 0, 0, true, ""},
      {"moved and matched by date: server copy deleted", content, {}, 0, 0, true, false, false,
       {{List(list), Reply(ServiceAnswer("X-NVX-CONCLUSION: Successful\r\n"))}},
       "FolderFileList DeleteDoc", "", content, {}, 0, 0, 1, 0, true, ""},
      {"cut once: the retry resumes from what arrived", {}, {}, 0, 0, false, false, false,
       {{List(list), Reply("HTTP/1.1 200 OK\r\nX-NVX-Fa", true)},
        {Body(fang, content)}},
       "FolderFileList DownLoad DownLoad", "", content, {}, 1, 0, 0, 0, true, ""},
      {"cut twice: the folder stops", {}, {}, 0, 0, false, false, false,
       {{List(list), Reply("HTTP/1.1 200 OK\r\n", true)}, {Reply("HTTP/1.1", true)}},
       "FolderFileList DownLoad DownLoad", "", {}, {}, 0, 0, 0, 0, false, "File Download 2"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir fresh;
    block_.job.texts.local_directory = fresh.path();
    const std::string target = fresh.File("Docs/a.txt");
    ASSERT_TRUE(platform::MakeDirectory(fresh.File("Docs")));
    if (c.target_before) {
      test::WriteFileText(target, *c.target_before);
      ASSERT_TRUE(platform::SetModificationTime(target, kServerTime + c.target_age));
    }
    if (c.work_before) test::WriteFileText(target + "~", *c.work_before);
    LoopbackPeer peer;
    std::vector<PeerConnection> script = c.script;
    if (c.enciphered) script[0][0] = EncipheredList(list);
    for (const PeerConnection& connection : script) peer.AddConnection(connection);
    UseServer(peer);
    block_.job.flags.verification = true;
    block_.job.flags.file_compare = c.file_compare;
    block_.job.flags.move = c.move;
    block_.job.flags.use_server_date = c.server_date;
    block_.protocol.account.service_options = c.enciphered ? kOptionEncipher : 0;
    block_.logs.communication_failure_reported = false;

    EXPECT_EQ(
        RunDownload(session(), const_cast<FolderRecord*>(block_.protocol.lists.mapped_folder)),
        c.result);
    session().CloseConnection();

    const std::vector<std::string> requests = peer.Requests();
    EXPECT_EQ(Queries(requests), c.queries);
    if (!c.request_has.empty() && requests.size() > 1) {
      EXPECT_NE(requests[1].find(c.request_has), std::string::npos) << requests[1];
    }
    EXPECT_EQ(platform::PathExists(target), c.target_after.has_value());
    if (c.target_after) {
      EXPECT_TRUE(test::ReadFileText(target) == *c.target_after);
    }
    EXPECT_EQ(platform::PathExists(target + "~"), c.work_after.has_value());
    if (c.work_after) {
      EXPECT_TRUE(test::ReadFileText(target + "~") == *c.work_after);
    }
    // Nothing else is left in the folder: no ZIP, no unpacking file.
    EXPECT_LE(test::ListFolder(fresh.File("Docs")).size(), 2u);
    const ProgressRecord progress = Progress();
    EXPECT_EQ(progress.files_downloaded, c.downloaded);
    EXPECT_EQ(progress.files_download_updated, c.updated);
    EXPECT_EQ(progress.files_download_matched, c.matched);
    EXPECT_EQ(progress.files_download_error, c.errors);
    if (!c.results_text.empty()) {
      EXPECT_NE(Results().find(c.results_text), std::string::npos) << Results();
    }
  }
}

TEST_F(DownloadEngineTest, ServerDateGoesOnTheFile) {
  LoopbackPeer peer;
  peer.AddConnection({List(Entry("a.txt", "V1")), Body("X-NVX-Fang: 3,0,0\r\n", "abc")});
  UseServer(peer);
  block_.job.flags.use_server_date = true;
  ASSERT_TRUE(
      RunDownload(session(), const_cast<FolderRecord*>(block_.protocol.lists.mapped_folder)));
  EXPECT_EQ(platform::ModificationTime(Docs("a.txt")), kServerTime);
}

// The names that were deleted from, and moved into, a folder while it was watched.
class FolderWatch {
 public:
  explicit FolderWatch(const std::string& folder) : fd_(inotify_init1(IN_NONBLOCK)) {
    inotify_add_watch(fd_, folder.c_str(), IN_DELETE | IN_MOVED_TO);
  }
  ~FolderWatch() { close(fd_); }
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;
  // "-name" for a deletion, "+name" for a name moved in, in order.
  std::vector<std::string> Events() {
    std::vector<std::string> events;
    alignas(inotify_event) char buffer[8192];
    for (ssize_t got; (got = read(fd_, buffer, sizeof buffer)) > 0;) {
      for (char* at = buffer; at < buffer + got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        events.push_back(std::string((event->mask & IN_DELETE) != 0 ? "-" : "+") + event->name);
        at += sizeof(inotify_event) + event->len;
      }
    }
    return events;
  }

 private:
  int fd_;
};

TEST_F(DownloadEngineTest, CompletionReplacesTheTargetInOneStep) {
  // Whatever moment a crash picks, the folder holds the old file or the new one: the
  // new content is renamed over the target, never put there after a deletion.
  const std::string content = StoredContent();
  const std::string zip = ZipOf(content);
  struct Case {
    std::string name;
    PeerReply answer;
  };
  const std::vector<Case> cases = {
      {"plain", Body("X-NVX-Fang: 5003,0,0\r\n", content)},
      {"zipped", Body("X-NVX-Fang: " + std::to_string(zip.size()) + ",0,1\r\n", zip)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(platform::MakeDirectory(restore_.File("Docs")) ||
                platform::IsDirectory(restore_.File("Docs")));
    test::WriteFileText(Docs("a.txt"), "old");
    ASSERT_TRUE(platform::SetModificationTime(Docs("a.txt"), kServerTime - 60));
    LoopbackPeer peer;
    peer.AddConnection({List(Entry("a.txt", "V1")), c.answer});
    UseServer(peer);
    block_.job.flags.verification = true;
    FolderWatch watch(restore_.File("Docs"));
    ASSERT_TRUE(
        RunDownload(session(), const_cast<FolderRecord*>(block_.protocol.lists.mapped_folder)));
    session().CloseConnection();
    EXPECT_TRUE(test::ReadFileText(Docs("a.txt")) == content);
    const std::vector<std::string> events = watch.Events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "-a.txt"), 0);
    EXPECT_EQ(std::count(events.begin(), events.end(), "+a.txt"), 1);
  }
}

TEST_F(DownloadEngineTest, LengthsPastFourGibibytesKeepTheirValue) {
  LoopbackPeer peer;
  peer.AddConnection({List(Entry("big.bin", "V9")),
                      Body("X-NVX-Fang: 6442450944,0,0\r\n", "abc", 6442450944, true)});
  UseServer(peer);
  EXPECT_TRUE(
      RunDownload(session(), const_cast<FolderRecord*>(block_.protocol.lists.mapped_folder)));
  EXPECT_EQ(test::ReadFileText(Docs("big.bin~")), "abc");
  EXPECT_FALSE(platform::PathExists(Docs("big.bin")));
  EXPECT_EQ(Progress().total_blocks, 6291456);
  EXPECT_EQ(Progress().files_download_error, 1);
}

TEST_F(DownloadEngineTest, HostileFileListWritesNothingOutsideTheRestoreFolder) {
  test::TempDir outside;
  const std::vector<std::string> bad_names = {"..",
                                              ".",
                                              "../escape.txt",
                                              "Sub/inner.txt",
                                              outside.File("absolute.txt"),
                                              std::string(300, 'n')};
  std::string list;
  int version = 0;
  for (const std::string& name : bad_names) list += Entry(name, "B" + std::to_string(++version));
  // The list itself refuses a name with a zero byte, and loses nothing after it; an empty
  // date stays in its place.
  list += Entry("nul\0.txt"s, "C1") + "U1\tundated.txt\t2\t\t0\t0\t" + Entry("ok.txt", "OK");
  // A server that also sends the wrong body for any request the engine should not make.
  PeerConnection connection{List(list), Body("X-NVX-Fang: 2,0,0\r\n", "un"),
                            Body("X-NVX-Fang: 2,0,0\r\n", "ok")};
  for (size_t i = 0; i <= bad_names.size(); ++i) {
    connection.push_back(Body("X-NVX-Fang: 4,0,0\r\n", "EVIL"));
  }
  LoopbackPeer peer;
  peer.AddConnection(connection);
  UseServer(peer);
  block_.job.flags.verification = true;

  EXPECT_TRUE(
      RunDownload(session(), const_cast<FolderRecord*>(block_.protocol.lists.mapped_folder)));
  session().CloseConnection();
  EXPECT_EQ(Queries(peer.Requests()), "FolderFileList DownLoad DownLoad");
  EXPECT_EQ(test::RequestHeader(peer.Requests()[1], "X-NVX-LUPIN: "), "0,U1;");
  EXPECT_EQ(test::ReadFileText(Docs("undated.txt")), "un");
  EXPECT_EQ(test::ReadFileText(Docs("ok.txt")), "ok");
  EXPECT_EQ(test::ListFolder(restore_.path()), std::vector<std::string>{"Docs"});
  EXPECT_EQ(test::ListFolder(restore_.File("Docs")),
            (std::vector<std::string>{"ok.txt", "undated.txt"}));
  EXPECT_TRUE(test::ListFolder(outside.path()).empty());
  EXPECT_FALSE(platform::PathExists(restore_.File("escape.txt")));
  // Every refusal is in the log and the results report; the rest went on.
  const std::string log = Log();
  size_t refusals = 0;
  for (size_t at = 0; (at = log.find("File name not usable locally", at)) != std::string::npos;
       ++at) {
    ++refusals;
  }
  EXPECT_EQ(refusals, bad_names.size());
  EXPECT_NE(Results().find("../escape.txt"), std::string::npos);
  EXPECT_NE(Results().find("nul?.txt\r\n   in Norrvault folder: Docs\r\n   was passed over"),
            std::string::npos);
  EXPECT_EQ(Progress().files_download_error, static_cast<int32_t>(bad_names.size() + 1));
  EXPECT_EQ(Progress().files_downloaded, 2);
}

TEST_F(DownloadEngineTest, PlantedNamesAreNeverWrittenThrough) {
  // Things planted at the names a download uses are neither read nor written through and
  // stay, the refusal noted; a link at the target's own name is replaced. A killed
  // restore's unpacking file goes; a running one's, and a link of that shape, stay.
  namespace fs = std::filesystem;
  test::TempDir outside;
  const std::string secret = outside.File("secret"), content = StoredContent(),
                    zip = ZipOf(content);
  const std::string running = ".b.txt.bbbbbbbbbb.nvxpart", shaped = ".c.txt.cccccccccc.nvxpart";
  const PeerReply plain = Body("X-NVX-Fang: 5003,0,0\r\n", content);
  const PeerReply packed = Body("X-NVX-Fang: " + std::to_string(zip.size()) + ",0,1\r\n", zip);
  struct Case {
    std::string planted;              // in Docs
    char kind;                        // 'l' a link to the secret, 'p' a pipe, 'd' a folder
    std::optional<PeerReply> answer;  // to a.txt's DownLoad, when one is due
  };
  const std::vector<Case> cases = {{"a.txt~", 'l', {}},
                                   {"a.txt~", 'p', {}},
                                   {"a.txt", 'd', {}},
                                   {"a.txt", 'l', plain},
                                   {"a.txt", 'l', packed}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.planted + " " + c.kind);
    const std::string docs = restore_.File("Docs");
    fs::remove_all(docs);
    ASSERT_TRUE(platform::MakeDirectory(docs));
    test::WriteFileText(secret, "secret");
    if (c.kind == 'l') fs::create_symlink(secret, docs + "/" + c.planted);
    if (c.kind == 'p') test::MakeFifo(docs + "/" + c.planted);
    if (c.kind == 'd') fs::create_directory(docs + "/" + c.planted);
    test::WriteFileText(docs + "/.a.txt.aaaaaaaaaa.nvxpart", "killed");
    test::WriteFileText(docs + "/" + running, "running");
    platform::File held = platform::File::Open(docs + "/" + running, platform::File::Access::kRead);
    ASSERT_TRUE(held.TryLockExclusive());
    fs::create_symlink(secret, docs + "/" + shaped);
    PeerConnection script = {List(Entry("a.txt", "V1") + Entry("ok.txt", "V2"))};
    if (c.answer) script.push_back(*c.answer);
    script.push_back(Body("X-NVX-Fang: 2,0,0\r\n", "ok"));
    LoopbackPeer peer;
    peer.AddConnection(script);
    UseServer(peer);
    block_.job.flags.verification = true;
    EXPECT_TRUE(
        RunDownload(session(), const_cast<FolderRecord*>(block_.protocol.lists.mapped_folder)));
    session().CloseConnection();
    // The secret was neither read (no digest offered) nor written.
    EXPECT_EQ(peer.Requests().size(), script.size());
    for (const std::string& request : peer.Requests()) {
      EXPECT_EQ(request.find("X-NVX-RESTART2"), std::string::npos);
    }
    EXPECT_EQ(test::ReadFileText(secret), "secret");
    EXPECT_EQ(test::ListFolder(docs),
              (std::vector<std::string>{running, shaped, c.planted, "ok.txt"}));
    EXPECT_TRUE(!c.answer || test::ReadFileText(docs + "/a.txt") == content);
    EXPECT_EQ(Progress().files_download_error, c.answer ? 0 : 1);
    EXPECT_TRUE(c.answer || LogHas("left as it is: " + docs + "/" + c.planted + " (for"));
  }
}

TEST_F(DownloadEngineTest, SubtreePatternsAndNamedFiles) {
  struct Case {
    std::string name;
    std::string server_file;
    bool subfolders;
    std::vector<PeerReply> replies;
    std::string queries;
    // Where the folder's files land (with a server file name set, the local directory
    // itself), what they are and what lands in the subfolder.
    std::string docs_folder;
    std::vector<std::string> docs, sub;
    bool result;
    int not_found;
  };
  const std::string docs_list = Entry("report.doc", "D1") + Entry("beta.txt", "D2");
  // clang-format off
  const std::vector<Case> cases = {
      {"whole subtree, no access folder passed over", "", true,
       {List(docs_list), Body("", "1"), Body("", "2"), List(Entry("inner.txt", "S1")),
        Body("", "3")},
       "FolderFileList DownLoad DownLoad FolderFileList DownLoad",
       "Docs", {"Sub", "beta.txt", "report.doc"}, {"inner.txt"}, true, 0},
      {"*.* walks too", "*.*", true,
       {List(docs_list), Body("", "1"), Body("", "2"), List(Entry("inner.txt", "S1")),
        Body("", "3")},
       "FolderFileList DownLoad DownLoad FolderFileList DownLoad",
       "", {"Sub", "beta.txt", "report.doc"}, {"inner.txt"}, true, 0},
      {"pattern ignores letter case", "*.DOC", true, {List(docs_list), Body("", "1")},
       "FolderFileList DownLoad", "", {"report.doc"}, {}, true, 0},
      {"sets compare exactly", "[a-c]*", false, {List(docs_list), Body("", "2")},
       "FolderFileList DownLoad", "", {"beta.txt"}, {}, true, 0},
      {"malformed pattern takes nothing", "a[]", false, {List(docs_list)},
       "FolderFileList", "", {}, {}, true, 0},
      {"a plain name never descends", "BETA.TXT", true, {List(docs_list), Body("", "2")},
       "FolderFileList DownLoad", "", {"beta.txt"}, {}, true, 0},
      {"a name not in the folder", "missing.txt", false, {List(docs_list)},
       "FolderFileList", "", {}, {}, false, 1},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir fresh;
    block_.job.texts.local_directory = fresh.path();
    block_.job.texts.server_file = c.server_file;
    block_.job.flags.subfolders = c.subfolders;
    LoopbackPeer peer;
    peer.AddConnection(c.replies);
    UseServer(peer);
    EXPECT_EQ(
        RunDownload(session(), const_cast<FolderRecord*>(block_.protocol.lists.mapped_folder)),
        c.result);
    session().CloseConnection();
    EXPECT_EQ(Queries(peer.Requests()), c.queries);
    const std::string folder = c.docs_folder.empty() ? fresh.path() : fresh.File(c.docs_folder);
    std::vector<std::string> docs =
        platform::IsDirectory(folder) ? test::ListFolder(folder) : std::vector<std::string>{};
    std::sort(docs.begin(), docs.end());
    EXPECT_EQ(docs, c.docs);
    if (!c.sub.empty()) {
      EXPECT_EQ(test::ListFolder(folder + "/Sub"), c.sub);
    }
    EXPECT_EQ(Progress().files_not_found, c.not_found);
    EXPECT_EQ(block_.protocol.lists.mapped_folder->folder_id, "101");  // the mapping stays
  }
  EXPECT_NE(Results().find("was not transfered because it was not found"), std::string::npos);
}

}  // namespace
}  // namespace nvx

// The clean engine against a scripted service: which requests a clean makes for a local
// tree and a server tree, in order, when the service sends hostile names, refuses a
// delete or breaks off, and that nothing local is ever touched.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/results_report.h"
#include "engines/clean_engine.h"
#include "platform/file_system.h"
#include "platform/mutex.h"
#include "protocol/folder_tree.h"
#include "tests/protocol/session_fixture.h"
#include "tests/support/os_helpers.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

using test::CutReply;
using test::LoopbackPeer;
using test::PeerConnection;
using test::PeerReply;
using test::RequestHeader;
using test::ServiceAnswer;

PeerReply ConclusionReply(const std::string& conclusion, const std::string& body = "") {
  PeerReply reply;
  reply.bytes = ServiceAnswer("X-NVX-CONCLUSION: " + conclusion + "\r\n", body, !body.empty());
  reply.close_after = false;
  return reply;
}
PeerReply Ok(const std::string& body = "") {
  return ConclusionReply("Successful", body);
}
// "FolderFileList 10", "DeleteDoc 10 V2", "DMFT 14": the command, the folder id it names
// and, for a document, its version id.
std::string Summary(const std::string& request) {
  const size_t query = request.find('?') + 1;
  std::string summary = request.substr(query, request.find(' ', query) - query);
  const std::string folder = RequestHeader(request, "X-NVX-BLACMANGE: ");
  summary += " " + folder.substr(0, folder.find(','));
  if (summary.rfind("DeleteDoc", 0) == 0) {
    const std::string lupin = RequestHeader(request, "X-NVX-LUPIN: 0,");
    summary += " " + lupin.substr(0, lupin.find(';'));
  }
  return summary;
}

// The server's tree: "Data" (10) holds "Kept" (11, also here locally), two names no
// local path may be built from, "Gone" (14, with "Inner"), "AlsoGone" (16) and a folder
// the user may not open (17); only "Kept" is here locally.
constexpr char kFolderReply[] =
    "0\tMyFiles\tW\t1\n1\tData\tW\t10\n2\tKept\tW\t11\n2\t..\tW\t12\n2\ta/b\tW\t13\n"
    "2\tGone\tW\t14\n3\tInner\tW\t15\n2\tAlsoGone\tW\t16\n2\tLocked\tN\t17\n";

std::string FileList(const std::vector<std::pair<std::string, std::string>>& documents) {
  std::string text;
  for (const auto& [version, name] : documents) {
    text += version + "\t" + name + "\t10\t07D403050E0709\t0\t0\t";
  }
  return text + "\r\n";
}

// Every file below `root`, as "Kept/inner.txt", sorted.
std::vector<std::string> FilesBelow(const std::string& root, const std::string& prefix = "") {
  std::vector<std::string> files;
  for (const std::string& name : test::ListFolder(root)) {
    const std::string path = root + "/" + name;
    if (platform::IsDirectory(path)) {
      for (const std::string& inner : FilesBelow(path, prefix + name + "/")) files.push_back(inner);
    } else {
      files.push_back(prefix + name);
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

class CleanEngineTest : public test::SessionTest {
 protected:
  CleanEngineTest() {
    platform::MutexLock lock(block_.trace_lock);
    OpenPendingResults(block_);
  }
  ~CleanEngineTest() override {
    platform::MutexLock lock(block_.trace_lock);
    block_.logs.results_file.Close();
  }
  std::string Results() { return test::ReadFileText(PendingResultsName(block_)); }

  test::TempDir local_;
};

TEST_F(CleanEngineTest, RequestsFollowTheTwoTrees) {
  const std::string long_name(600, 'n');
  const std::string listing = FileList({{"V1", "Here.TXT"},
                                        {"V2", "../../etc/passwd"},
                                        {"V3", "/etc/passwd"},
                                        {"V4", long_name},
                                        {"V5", "skipped.tmp"}});
  struct Case {
    std::string name;
    std::string local_folder;  // below the temporary folder; absent: not made
    std::vector<PeerConnection> script;
    std::vector<std::string> requests;
    bool succeeds;
    std::vector<std::string> log_texts;
    std::string results_text;  // "" = nothing expected
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"hostile names: documents go, unusable folder names are refused", "Data",
       {{Ok(), Ok(listing), Ok(), Ok(), Ok(), Ok(), Ok(), Ok()}},
       {"FolderFileList 11", "FolderFileList 10", "DeleteDoc 10 V2", "DeleteDoc 10 V3",
        "DeleteDoc 10 V4", "DeleteDoc 10 V5", "DMFT 14", "DMFT 16"},
       true,
       {" Err - CleanNVX - Invalid Folder Name .. in Data\\", "Invalid Folder Name a/b",
        " CLEANNVX Delete File - /etc/passwd - From NVX Folder Data\\",
        " Delete NVX Folder Data\\Gone\\"},
       "\r\na\\b\r\n   in folder: "},
      {"a refused document does not stop the pass; a refused folder delete fails", "Data",
       {{Ok(), Ok(FileList({{"V2", "a"}, {"V3", "b"}})), ConclusionReply("Error - Document Not Found"),
         Ok(), ConclusionReply("Error - Folder Busy")}},
       {"FolderFileList 11", "FolderFileList 10", "DeleteDoc 10 V2", "DeleteDoc 10 V3",
        "DMFT 14"},
       false,
       {" Err - DeleteNVXDoc - Delete Doc Failed Error - Document Not Found",
        " CLEANNVX Delete File - b - From NVX Folder", " Err - CleanNVX - Delete Folder Failed"},
       ""},
      {"a file list that breaks off twice deletes nothing", "Data",
       {{Ok(), CutReply()}, {CutReply()}},
       {"FolderFileList 11", "FolderFileList 10", "FolderFileList 10"},
       false,
       {"Err - RETRY Getting Folderfilelist at Norrvault"},
       "Comm Request/File FolderFileList"},
      {"missing start folder: its whole server folder goes", "",
       {{Ok()}},
       {"DMFT 10"},
       true,
       {"  Clean Nvx Folder Data\n"},
       ""},
      {"a start folder the service refuses to delete fails", "",
       {{ConclusionReply("Error - Top Level Folder")}},
       {"DMFT 10"},
       false,
       {},
       ""},
      {"no server folder for the local folder: nothing is asked", "Other",
       {},
       {},
       false,
       {},
       ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir local;
    const std::string start = local.File(c.local_folder.empty() ? "Data" : c.local_folder);
    if (!c.local_folder.empty()) {
      test::MakeFolder(start);
      test::MakeFolder(start + "/Kept");
      test::WriteFileText(start + "/Here.txt", "here");
      test::WriteFileText(start + "/skipped.tmp", "work");
      test::WriteFileText(start + "/Kept/inner.txt", "inner");
    }
    const std::vector<std::string> local_before =
        c.local_folder.empty() ? std::vector<std::string>{} : FilesBelow(start);
    // A work file that a killed run left goes once the walk has listed its folder.
    if (!c.local_folder.empty() && !c.requests.empty()) {
      test::WriteFileText(start + "/Kept/.inner.txt.abcdefghij.nvxpart", "killed");
    }
    LoopbackPeer peer;
    for (const PeerConnection& connection : c.script) peer.AddConnection(connection);
    UseServer(peer);
    FolderListParse parsed = ParseFolderList(kFolderReply);
    ASSERT_NE(parsed.tree, nullptr);
    block_.protocol.lists.mapped_folder = FindFolder("Data", *parsed.tree->root());
    block_.protocol.lists.folder_list = std::move(parsed.tree);
    block_.job.texts.local_directory = start;
    block_.job.texts.excluded_extensions = {".tmp"};
    block_.job.flags.verification = true;
    block_.job.flags.subfolders = true;

    EXPECT_EQ(CleanNVX(session(), block_.protocol.lists.mapped_folder), c.succeeds);
    session().CloseConnection();

    std::vector<std::string> requests;
    for (const std::string& request : peer.Requests()) requests.push_back(Summary(request));
    EXPECT_EQ(requests, c.requests);
    for (const std::string& text : c.log_texts) {
      EXPECT_TRUE(LogHas(text)) << text << "\n" << Log();
    }
    if (!c.results_text.empty()) {
      EXPECT_NE(Results().find(c.results_text), std::string::npos) << Results();
    }
    // The mapping the caller made is the mapping it finds afterwards.
    EXPECT_EQ(block_.protocol.lists.mapped_folder->name, "Data");
    if (!c.local_folder.empty()) {
      EXPECT_EQ(FilesBelow(start), local_before);
    }
  }
}

TEST_F(CleanEngineTest, NoLocalFolderOrMappingAsksNothing) {
  LoopbackPeer peer;
  UseServer(peer);
  EXPECT_FALSE(CleanNVX(session(), block_.protocol.lists.mapped_folder));
  EXPECT_EQ(Status(), "No Local Folder");
  EXPECT_EQ(block_.control.error_code.load(), kErrorNoLocalFolder);
  block_.job.texts.local_directory = local_.path();
  EXPECT_FALSE(CleanNVX(session(), block_.protocol.lists.mapped_folder));
  EXPECT_EQ(block_.control.error_code.load(), kErrorFolderNotFound);
  EXPECT_TRUE(peer.Requests().empty());
}

}  // namespace
}  // namespace nvx

// Clean and delete-empty against a real nvxserver: a tree is backed up with NVXbackup,
// changed locally, then cleaned (by a CleanNVX job, or through the library for one file
// or a pattern). What the service then holds is read with its own listing and compared
// with what should be gone; the local tree is never touched.
#include <chrono>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "api/nvxapi.h"
#include "tests/e2e/backup_fixture.h"
#include "tests/support/cutting_relay.h"

namespace nvx::test {
namespace {

namespace fs = std::filesystem;

// The tree every case starts from, backed up whole ("Empty/" is a folder without files).
const std::vector<std::string> kTreeFiles = {
    "a.txt",          "b.txt",      "keep.doc",         "old.log",     "Sub/c.txt",
    "Sub/Deep/d.txt", "Gone/e.txt", "Gone/Inner/g.txt", "Cache/f.txt", "Cache/Inner/h.txt",
};
const std::vector<std::string> kTreeFolders = {"./",          "Sub/",   "Sub/Deep/",    "Gone/",
                                               "Gone/Inner/", "Cache/", "Cache/Inner/", "Empty/"};

// How a case cleans.
enum class Clean {
  kJob,          // a CleanNVX job of NVXbackup for the tree, with the case's rules
  kLibraryFile,  // the library's clean with the tree as folder and `local_file` set
  kDeleteEmpty,  // a DeleteEmptyNVXFolders job for "\Backup"
};

struct CleanCase {
  std::string name;
  std::vector<std::string> remove;                          // local paths removed before the clean
  std::vector<std::pair<std::string, std::string>> rename;  // local from -> to
  Clean clean = Clean::kJob;
  std::string local_file;  // kLibraryFile: a name or a pattern
  std::vector<std::string> skip_folders;
  std::vector<std::string> excluded_extensions;
  std::set<std::string> gone;  // server documents and folders ("x/") that go; "*": all
  bool succeeds = true;
  int transfers = 1;  // kJob: "Transfers " when above 1
  // kJob through a relay that closes a lane's connection after its first delete and then
  // answers every new connection "503": the walk's own connection deletes the rest.
  bool lane_refused = false;
};

void PrintTo(const CleanCase& test, std::ostream* out) {
  *out << test.name;
}

std::vector<CleanCase> Cases() {
  const Clean job = Clean::kJob;
  const Clean library = Clean::kLibraryFile;
  // clang-format off
  return {
      // name; local removals; local renames; clean; local file; skip folders; excluded
      // extensions; what goes on the server; succeeds
      {"IdenticalTreeDeletesNothing", {}, {}, job, "", {}, {}, {}},
      {"DeletedFilesGoAtEveryDepth", {"a.txt", "Sub/Deep/d.txt"}, {}, job, "", {}, {},
       {"a.txt", "Sub/Deep/d.txt"}},
      {"RenamedFileGoesUnderItsOldName", {}, {{"b.txt", "b-renamed.txt"}}, job, "", {}, {},
       {"b.txt"}},
      {"DeletedSubfolderGoesWithEverythingBelow", {"Gone"}, {}, job, "", {}, {},
       {"Gone/", "Gone/e.txt", "Gone/Inner/", "Gone/Inner/g.txt"}},
      // The skip folder is gone locally, with a file of the top folder: its copy stays.
      {"SkipFolderCopySurvives", {"Cache", "a.txt"}, {}, job, "", {"Cache"}, {}, {"a.txt"}},
      {"ExcludedExtensionCopyIsDeleted", {}, {}, job, "", {}, {".LOG"}, {"old.log"}},
      {"MissingStartFolderRemovesTheWholeServerFolder", {"."}, {}, job, "", {}, {}, {"*"}},
      // A local folder that was never backed up stops the clean before anything goes.
      {"UnknownLocalSubfolderStopsTheClean", {"a.txt"}, {{"Sub", "Sub-renamed"}}, job, "", {},
       {}, {}, false},
      {"NamedFileDeletesOnlyThatOne", {"a.txt", "keep.doc"}, {}, library, "a.txt", {}, {},
       {"a.txt"}},
      {"NamedFileStillHereDeletesNothing", {"keep.doc"}, {}, library, "a.txt", {}, {}, {}},
      // A pattern speaks only for the documents it matches; no subfolder is entered.
      {"PatternDeletesOnlyMatchingDocuments", {"a.txt", "keep.doc", "Gone"}, {}, library,
       "*.doc", {}, {}, {"keep.doc"}},
      // The deletes of a folder go on four connections at once.
      {"FourTransfersDeleteAtEveryDepth", {"a.txt", "b.txt", "keep.doc", "Sub/Deep/d.txt"}, {},
       job, "", {}, {}, {"a.txt", "b.txt", "keep.doc", "Sub/Deep/d.txt"}, true, 4},
      {"TwoTransfersFallBackToOneWhenALaneIsRefused", {"a.txt", "b.txt", "keep.doc", "old.log"},
       {}, job, "", {}, {}, {"a.txt", "b.txt", "keep.doc", "old.log"}, true, 2, true},
      {"DeleteEmptyRemovesEmptyFoldersOnly", {"a.txt"}, {}, Clean::kDeleteEmpty, "", {}, {},
       {"Empty/"}},
  };
  // clang-format on
}

class CleanTest : public BackupTest, public ::testing::WithParamInterface<CleanCase> {
 protected:
  // Every document and folder below "\Backup\Data" on the service, as "Sub/c.txt" and
  // "Sub/"; the folder itself is "./".
  std::set<std::string> ServerTree() {
    std::set<std::string> tree;
    std::vector<std::string> path;  // names by level, "MyFiles" at 0
    for (const std::string& line : Folders("alice")) {
      const size_t tab = line.find('\t');
      const size_t level = std::stoul(line.substr(0, tab));
      const size_t name_end = line.find('\t', tab + 1);
      path.resize(level);
      path.push_back(line.substr(tab + 1, name_end - tab - 1));
      if (path.size() < 3 || path[0] != "MyFiles" || path[1] != "Backup" || path[2] != "Data") {
        continue;
      }
      std::string relative;
      std::string server = "\\Backup\\Data";
      for (size_t i = 3; i < path.size(); ++i) {
        relative += path[i] + "/";
        server += "\\" + path[i];
      }
      tree.insert(relative.empty() ? "./" : relative);
      for (const auto& [name, document] : Documents(server)) tree.insert(relative + name);
    }
    return tree;
  }

  std::string CleanJobLines(const CleanCase& test) {
    std::string lines = "LocalPath " + tree_ + "\r\nNVXPath \\Backup\r\nIncludeSubFolders Y\r\n";
    for (const std::string& folder : test.skip_folders) lines += "SkipFolder " + folder + "\r\n";
    for (const std::string& ending : test.excluded_extensions) {
      lines += "ExcludeExtension " + ending + "\r\n";
    }
    if (test.transfers > 1) lines += "Transfers " + std::to_string(test.transfers) + "\r\n";
    return lines + "CleanNVX\r\n";
  }

  // The library's clean of the tree's server folder for `local_file`: the status it ends
  // with (2 succeeded, 3 failed).
  int32_t LibraryClean(const std::string& local_file) {
    CNvxapi api;
    api.SetServer(("127.0.0.1:" + std::to_string(server_->port())).c_str());
    api.SetUserAuth("alice", "wonderland");
    api.GetNVXFolderList();
    if (WaitWhileBusy(api) != kStatusSucceeded) return -1;
    if (!api.MapNVXPath("\\Backup\\Data")) return -1;
    api.SetLocalDirectory(tree_.c_str());
    api.SetLocalFile(local_file.c_str());
    api.SetDoSubFolder(true);
    api.CleanNVX();
    return WaitWhileBusy(api);
  }

  static int32_t WaitWhileBusy(CNvxapi& api) {
    for (int i = 0; i < 6000 && api.GetStatus() == kStatusBusy; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return api.GetStatus();
  }

  std::string tree_ = temp_.File("Data");
};

TEST_P(CleanTest, ServerFollowsTheLocalTree) {
  const CleanCase& test = GetParam();
  for (const std::string& file : kTreeFiles) WriteContent(tree_ + "/" + file, 700, Content::kText);
  fs::create_directories(tree_ + "/Empty");
  SendJob backup;
  backup.local_path = tree_;
  RunResult sent = RunJob(BackupJobFile(backup.Lines()));
  ASSERT_EQ(sent.exit_code, 0) << sent.out << sent.err;
  std::set<std::string> expected = ServerTree();
  std::set<std::string> whole(kTreeFiles.begin(), kTreeFiles.end());
  whole.insert(kTreeFolders.begin(), kTreeFolders.end());
  ASSERT_EQ(expected, whole);

  for (const std::string& path : test.remove)
    fs::remove_all(path == "." ? tree_ : tree_ + "/" + path);
  for (const auto& [from, to] : test.rename) fs::rename(tree_ + "/" + from, tree_ + "/" + to);
  const std::vector<std::string> local_before =
      fs::exists(tree_) ? FilesBelow(tree_) : std::vector<std::string>{};

  switch (test.clean) {
    case Clean::kJob: {
      const size_t mark = LogMark();
      CuttingRelay relay(static_cast<uint16_t>(server_->port()), "");
      relay.ArmCut({"", 0, false, false, /*refuse_after=*/true, /*request_mark=*/"?DeleteDoc"});
      RunResult cleaned =
          RunJob(BackupJobFile(CleanJobLines(test)), test.lane_refused ? relay.address() : "");
      if (test.lane_refused) {
        EXPECT_TRUE(relay.cut_made());
        EXPECT_NE(ActivityLog().find("refused (HTTP/1.1 503"), std::string::npos) << ActivityLog();
      } else {
        // The login check of the run, and one per further connection.
        const std::string requests = ReadFileText(server_log_).substr(mark);
        size_t checks = 0;
        for (size_t at = 0; (at = requests.find("?TestId", at)) != std::string::npos; ++at) {
          ++checks;
        }
        EXPECT_EQ(checks, test.transfers > 1 ? 1u + test.transfers : 1u);
      }
      EXPECT_EQ(cleaned.exit_code == 0, test.succeeds) << cleaned.out << cleaned.err;
      EXPECT_NE(
          cleaned.out.find(test.succeeds ? "Clean NVX Folders Successful" : "Clean NVX Folders "),
          std::string::npos)
          << cleaned.out;
      break;
    }
    case Clean::kLibraryFile:
      EXPECT_EQ(LibraryClean(test.local_file), test.succeeds ? kStatusSucceeded : kStatusFailed);
      break;
    case Clean::kDeleteEmpty: {
      RunResult pruned =
          RunJob(BackupJobFile("NVXPath \\Backup\r\nLocalPath /tmp\r\nDeleteEmptyNVXFolders\r\n"));
      EXPECT_EQ(pruned.exit_code, 0) << pruned.out << pruned.err;
      break;
    }
  }

  for (const std::string& gone : test.gone) expected.erase(gone);
  if (test.gone.count("*") != 0) expected.clear();
  EXPECT_EQ(ServerTree(), expected);
  // Nothing local is ever deleted.
  const std::vector<std::string> local_after =
      fs::exists(tree_) ? FilesBelow(tree_) : std::vector<std::string>{};
  EXPECT_EQ(local_after, local_before);
}

INSTANTIATE_TEST_SUITE_P(Cases, CleanTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<CleanCase>& case_info) {
                           return case_info.param.name;
                         });

}  // namespace
}  // namespace nvx::test

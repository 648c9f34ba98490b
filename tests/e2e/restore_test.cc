// NVXbackup restores what it backed up to a real nvxserver: a whole tree equal byte for
// byte (plain, enciphered, zipped on the way, dated by the service when asked), a second
// run that sends nothing, names and patterns that choose files, a move that empties the
// server folder, and transfers cut by a relay that complete from the work file.
#include <algorithm>
#include <chrono>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/restore_fixture.h"
#include "tests/support/os_helpers.h"
#include "tests/support/temp_dir.h"

namespace nvx::test {
namespace {

const std::vector<TreeFile> kTree = {
    {"top.txt", 20000, Content::kText},
    {"report.doc", 2500, Content::kText},
    {"Beta.txt", 1200, Content::kText},
    {"alpha.txt", 900, Content::kText},
    {"empty.txt", 0, Content::kText},  // zero-length: never stored, so never restored
    {"one-short.bin", 2047, Content::kRandom},
    {"one-block.bin", 2048, Content::kRandom},
    {"one-over.bin", 2049, Content::kRandom},
    {"with blanks in its name.txt", 3000, Content::kText},
    {"Caf\xc3\xa9 na\xc3\xafve.txt", 1500, Content::kText},  // UTF-8
    {"\xe9t\xe9 latin.dat", 700, Content::kRandom},          // a byte that is not UTF-8
    {"Nested/Deeper/deep.txt", 9000, Content::kText},
    {"Nested/Deeper/Deepest/ledger.csv", 300000, Content::kText},
    {"Nested/noise.bin", 200000, Content::kRandom},
    {"Nested/photo.jpg", 30000, Content::kRandom},
};

// The third field of an answer's "X-NVX-Fang: length,key,zipped" line.
bool ZippedAnswer(const std::string& header) {
  size_t at = header.find("X-NVX-Fang:");
  if (at == std::string::npos) return false;
  std::string line = header.substr(at, header.find("\r\n", at) - at);
  return line.size() >= 2 && line.compare(line.size() - 2, 2, ",1") == 0;
}

class TreeRestoreTest : public RestoreTest {
 protected:
  void SetUp() override {
    RestoreTest::SetUp();
    WriteTree(tree_, kTree);
    BackUp(tree_);
  }

  std::string tree_ = temp_.File("Data");
  std::vector<std::string> stored_ = PathsOf(kTree, true);
};

TEST_F(TreeRestoreTest, RoundTripsEqualInEveryWay) {
  struct Variant {
    std::string name;
    bool enciphered;
    bool zipped;
    bool server_date;
    int transfers = 1;
    std::string same_report_as;  // a variant whose report this one's equals
  };
  const Variant variants[] = {
      {"plain", false, false, true, 1, ""},
      {"enciphered", true, false, false, 1, ""},
      {"zipped", false, true, true, 1, ""},
      {"enciphered-zipped", true, true, false, 1, ""},
      {"plain-four", false, false, true, 4, "plain"},
      {"enciphered-zipped-four", true, true, false, 4, "enciphered-zipped"},
  };
  // Reports with the restore folder and the times made alike.
  std::map<std::string, std::string> reports;
  const auto comparable = [](std::string report, const std::string& into) {
    for (size_t at; (at = report.find(into)) != std::string::npos;)
      report.replace(at, into.size(), "INTO");
    for (char& c : report) c = (c >= '0' && c <= '9') ? '#' : c;
    return report;
  };
  const int64_t started = std::chrono::duration_cast<std::chrono::seconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
  for (const Variant& variant : variants) {
    SCOPED_TRACE(variant.name);
    Administer({"account", "set", "alice", "--encrypt", variant.enciphered ? "on" : "off"});
    // The tree lands in a folder named like the server folder below the job's folder.
    std::string into = temp_.File("Restore-" + variant.name);
    std::string copy = into + "/Data";
    RestoreJob job{into};
    job.use_server_date = variant.server_date;
    job.transfer_compress = variant.zipped;
    job.transfers = variant.transfers;
    auto relay = MakeRelay();
    RunResult run = RunJobs(job.Lines(), relay.get());
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_EQ(TreeDifferences(tree_, copy, stored_, variant.server_date),
              std::vector<std::string>{});
    EXPECT_EQ(LeftOvers(copy), std::vector<std::string>{});
    EXPECT_EQ(ListFolder(into), std::vector<std::string>{"Data"});
    // Without the service's date a file is dated by its restore.
    if (!variant.server_date) {
      EXPECT_GE(FileTime(copy + "/top.txt"), started);
    }
    std::vector<std::string> answers = relay->AnswerHeaders();
    EXPECT_EQ(answers.size(), stored_.size());
    int zipped = 0;
    for (const std::string& answer : answers) zipped += ZippedAnswer(answer) ? 1 : 0;
    // Text travels zipped when asked; random bytes and pictures may not.
    if (variant.zipped) {
      EXPECT_GE(zipped, 4) << "zipped answers";
    } else {
      EXPECT_EQ(zipped, 0);
    }
    EXPECT_NE(Report().find("Errors 0"), std::string::npos) << Report();
    // Each further connection checks its login first.
    EXPECT_EQ(RequestsWith(*relay, "?TestId ").size(), variant.transfers > 1 ? 5u : 1u);
    reports[variant.name] = comparable(Report(), into);
    if (!variant.same_report_as.empty()) {
      EXPECT_EQ(reports[variant.name], reports[variant.same_report_as]);
    }
  }

  // The same restore again: the service's dates match, nothing is asked for.
  std::string copy = temp_.File("Restore-plain/Data");
  RestoreJob again{copy};  // named like the server folder: restored into it
  again.use_server_date = true;
  auto relay = MakeRelay();
  RunResult rerun = RunJobs(again.Lines(), relay.get());
  ASSERT_EQ(rerun.exit_code, 0) << rerun.out << rerun.err;
  EXPECT_EQ(RequestsWith(*relay, "?DownLoad ").size(), 0u);
  EXPECT_EQ(TreeDifferences(tree_, copy, stored_, true), std::vector<std::string>{});

  // A copy older than the service's is offered to it, which answers that it has it.
  for (const std::string& path : stored_) SetFileTime(copy + "/" + path, 1500000000);
  auto second_relay = MakeRelay();
  RunResult offered = RunJobs(again.Lines(), second_relay.get());
  ASSERT_EQ(offered.exit_code, 0) << offered.out << offered.err;
  std::vector<std::string> asked = RequestsWith(*second_relay, "?DownLoad ");
  EXPECT_EQ(asked.size(), stored_.size());
  for (const std::string& request : asked) {
    EXPECT_NE(request.find("X-NVX-RESTART2: "), std::string::npos) << request;
  }
  EXPECT_LT(second_relay->downstream_bytes(), 100000) << "bodies travelled for current copies";
  EXPECT_EQ(TreeDifferences(tree_, copy, stored_, false), std::vector<std::string>{});

  // A newer version on the service replaces the older copy, which is offered and refused,
  // and the copy takes the service's date of it.
  WriteContent(tree_ + "/top.txt", 25000, Content::kRandom, 99);
  SetFileTime(tree_ + "/top.txt", 1600000000);
  BackUp(tree_);
  RunResult updated = RunJobs(again.Lines());
  ASSERT_EQ(updated.exit_code, 0) << updated.out << updated.err;
  EXPECT_EQ(TreeDifferences(tree_, copy, stored_, false), std::vector<std::string>{});
  EXPECT_EQ(FileTime(copy + "/top.txt"), StampTime(Documents("\\Backup\\Data")["top.txt"].date));
  EXPECT_EQ(FileTime(copy + "/top.txt"), 1600000000);
  EXPECT_EQ(LeftOvers(copy), std::vector<std::string>{});
}

// The restore test of the backed-up tree, with the backup's own folders: every stored
// file restored into a temporary folder and checked against the service's MD5 and the unchanged
// local file. One stored blob damaged on the service fails the test, which names the file.
TEST_F(TreeRestoreTest, TheRestoreTestPassesAndNamesTheFileOfADamagedBlob) {
  const std::string job = "LocalPath " + tree_ +
                          "\r\nNVXPath \\Backup\r\nIncludeSubFolders Y\r\n"
                          "VerifyRestore 100\r\n";
  // Written since the backup, not on the service: never chosen.
  WriteContent(tree_ + "/Nested/new since the backup.txt", 5000, Content::kText);
  RunResult passed = RunJobs(job);
  EXPECT_EQ(passed.exit_code, 0) << passed.out << passed.err;
  EXPECT_NE(Report().find("Restore test passed: 14 files, 0.5 MB"), std::string::npos) << Report();
  for (const std::string& name : ListFolder(logs_)) {
    EXPECT_FALSE(name.starts_with("RestoreTest")) << "a temporary folder was left: " << name;
  }

  // The 30000 bytes of Nested/photo.jpg are the only blob of that size (the store keeps
  // them itself).
  std::string damaged;
  for (const auto& [name, size] : InlineBlobs(data_)) {
    if (size == 30000) damaged = name;
  }
  ASSERT_FALSE(damaged.empty());
  SpoilInlineBlob(data_, damaged, 1000);
  RunResult failed = RunJobs(job);
  EXPECT_NE(failed.exit_code, 0) << failed.out;
  EXPECT_NE(failed.out.find("Restore test failed: Nested/photo.jpg: "), std::string::npos)
      << failed.out;
  EXPECT_NE(Report().find("Restore test failed: Nested/photo.jpg: "), std::string::npos)
      << Report();
}

TEST_F(TreeRestoreTest, NamesAndPatternsChooseTheFiles) {
  struct Choice {
    std::string server_file;
    std::vector<std::string> restored;
  };
  // A pattern chooses among the files of the job's folder only, not its subfolders.
  const Choice choices[] = {
      {"*.DOC", {"report.doc"}},
      {"[a-c]*", {"alpha.txt"}},  // set members keep their letter case: not Beta.txt
      {"*.TXT",
       {"Beta.txt", "alpha.txt", "top.txt", "with blanks in its name.txt",
        "Caf\xc3\xa9 na\xc3\xafve.txt"}},
      {"[!a-z]*", {"Beta.txt", "Caf\xc3\xa9 na\xc3\xafve.txt", "\xe9t\xe9 latin.dat"}},
      {"one-????.bin", {"one-over.bin"}},
      {"ONE-BLOCK.BIN", {"one-block.bin"}},  // a plain name, letter case ignored
  };
  // A name the folder does not hold comes first: it is noted, and the jobs after it run.
  RestoreJob missing{temp_.File("Missing")};
  missing.server_file = "missing.txt";
  std::string jobs = missing.Lines();
  for (size_t i = 0; i < std::size(choices); ++i) {
    RestoreJob job{temp_.File("Choice-" + std::to_string(i))};
    job.server_file = choices[i].server_file;
    jobs += job.Lines();
  }
  RunResult run = RunJobs(jobs);
  // The download of a missing name fails its command: the run ends with 10 once every
  // job has run.
  EXPECT_EQ(run.exit_code, 10) << run.out << run.err;
  for (size_t i = 0; i < std::size(choices); ++i) {
    SCOPED_TRACE(choices[i].server_file);
    std::vector<std::string> wanted = choices[i].restored;
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(TreeDifferences(tree_, temp_.File("Choice-" + std::to_string(i)), wanted, false),
              std::vector<std::string>{});
  }
  std::string report = Report();
  EXPECT_NE(report.find("missing.txt"), std::string::npos) << report;
  EXPECT_NE(report.find("was not transfered because it was not found in the Norrvault folder"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find(": Errors Detected"), std::string::npos) << report;
  EXPECT_EQ(TreeDifferences(tree_, temp_.File("Missing"), {}, false), std::vector<std::string>{});

  // A malformed pattern makes the job file invalid: nothing runs.
  RestoreJob malformed{temp_.File("Malformed")};
  malformed.server_file = "a[]";
  RunResult refused = RunJobs(malformed.Lines());
  EXPECT_EQ(refused.exit_code, 21);
  EXPECT_NE((refused.out + refused.err).find("Invalid NVXFile name parm"), std::string::npos);
  EXPECT_FALSE(PathExists(temp_.File("Malformed")));
}

TEST_F(TreeRestoreTest, MoveTakesTheFilesOffTheService) {
  std::string copy = temp_.File("Moved/Data");
  RestoreJob job{copy};
  job.move = true;
  RunResult run = RunJobs(job.Lines());
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_EQ(TreeDifferences(tree_, copy, stored_, false), std::vector<std::string>{});
  for (const char* folder :
       {"\\Backup\\Data", "\\Backup\\Data\\Nested", "\\Backup\\Data\\Nested\\Deeper",
        "\\Backup\\Data\\Nested\\Deeper\\Deepest"}) {
    EXPECT_TRUE(Documents(folder).empty()) << folder;
  }
}

// Large files of random bytes: a cut lands in the middle of a body.
const std::vector<TreeFile> kCutTree = {
    {"first.bin", 700001, Content::kRandom},
    {"Sub/second.bin", 450000, Content::kRandom},
    {"Sub/third.txt", 300000, Content::kText},
};

// A cut offset: three of them stay inside the first file, and each leaves more than a
// cipher block behind.
int64_t Offset(std::mt19937& random) {
  return std::uniform_int_distribution<int64_t>(20000, 200000)(random);
}

TEST_F(RestoreTest, CutRestoresCompleteFromTheWorkFile) {
  const std::string tree = temp_.File("Data");
  WriteTree(tree, kCutTree);
  BackUp(tree);
  const std::vector<std::string> paths = PathsOf(kCutTree, true);
  unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  RecordProperty("seed", static_cast<int>(seed));

  struct Cut {
    bool enciphered;
    bool reset;  // a reset is a receive error: the file is tried again in the same run
  };
  const Cut cuts[] = {{false, false}, {false, true}, {true, false}, {true, true}};
  for (const Cut& cut : cuts) {
    SCOPED_TRACE(std::string(cut.enciphered ? "enciphered" : "plain") +
                 (cut.reset ? ", reset" : ", closed") + ", seed " + std::to_string(seed));
    Administer({"account", "set", "alice", "--encrypt", cut.enciphered ? "on" : "off"});
    std::string copy = temp_.File(std::string("Cut-") + (cut.enciphered ? "e" : "p") +
                                  (cut.reset ? "r" : "c") + "/Data");
    RestoreJob job{copy};
    auto relay = MakeRelay();
    if (cut.reset) {
      // The file is tried again at once and completes from what arrived.
      relay->ArmCut({"X-NVX-Fang:", Offset(random), true});
      RunResult run = RunJobs(job.Lines(), relay.get());
      ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
      EXPECT_TRUE(relay->cut_made());
      EXPECT_EQ(RequestsWith(*relay, "?DownLoad ").size(), paths.size() + 1);
      EXPECT_EQ(TreeDifferences(tree, copy, paths, false), std::vector<std::string>{});
      EXPECT_EQ(LeftOvers(copy), std::vector<std::string>{});
      continue;
    }
    // Each run is cut once in its first answer; the work file grows from run to run.
    for (int attempt = 0; attempt < 3; ++attempt) {
      int64_t offset = Offset(random);
      relay->ArmCut({"X-NVX-Fang:", offset, false});
      RunResult run = RunJobs(job.Lines(), relay.get());
      ASSERT_TRUE(run.exit_code.has_value()) << run.out << run.err;
      EXPECT_TRUE(relay->cut_made()) << "offset " << offset;
      EXPECT_EQ(LeftOvers(copy), std::vector<std::string>{"first.bin~"});
      // What arrived is kept deciphered, ready to be offered and continued.
      EXPECT_TRUE(HoldsStartOf(copy + "/first.bin~", tree + "/first.bin"));
    }
    int64_t before = relay->downstream_bytes();
    RunResult last = RunJobs(job.Lines(), relay.get());
    ASSERT_EQ(last.exit_code, 0) << last.out << last.err;
    EXPECT_EQ(TreeDifferences(tree, copy, paths, false), std::vector<std::string>{});
    EXPECT_EQ(LeftOvers(copy), std::vector<std::string>{});
    // A resumed file brings only its rest: less than the whole tree travels.
    EXPECT_LT(relay->downstream_bytes() - before, 1450001) << "nothing was resumed";
  }

  // With four transfers the two files of "Sub" travel at once, each on its own connection:
  // a cut on either is resumed, at once after a reset, by the next run after a close. When
  // the service then refuses the lane's new connection ("503"), the walk's own connection
  // takes the file over in the same run.
  Administer({"account", "set", "alice", "--encrypt", "off"});
  {
    // A backup's lane meets the refusal too: its connection closes after its first
    // is-it-there answer and the next is refused; the walk sends that file itself. The
    // files were sent before and have changed since: only a file its folder's list names
    // is asked about with several in flight.
    const std::string again = temp_.File("Again");
    WriteTree(again, kCutTree);
    SendJob send{again, "\\Backup", true, false, false, true, {}, {}};
    RunResult sent = RunJob(BackupJobFile(send.Lines()));
    ASSERT_EQ(sent.exit_code, 0) << sent.out << sent.err;
    for (const TreeFile& file : kCutTree) {
      WriteContent(again + "/" + file.path, file.size, file.content, 31);
      SetFileTime(again + "/" + file.path, 1700000000);
    }
    send.transfers = 4;
    auto relay = MakeRelay();
    relay->ArmCut({"Replace", 0, false, false, /*refuse_after=*/true});
    RunResult run = RunJob(BackupJobFile(send.Lines()), relay->address());
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_TRUE(relay->cut_made());
    for (const TreeFile& file : kCutTree) {
      std::string server_path = "\\Backup\\Again\\" + file.path;
      std::replace(server_path.begin(), server_path.end(), '/', '\\');
      EXPECT_EQ(StoredMd5(server_path), FileMd5(again + "/" + file.path)) << file.path;
    }
    EXPECT_NE(ActivityLog().find("refused (HTTP/1.1 503"), std::string::npos);
  }
  struct LaneCut {
    bool reset;
    bool refuse_after;
  };
  for (const LaneCut lane_cut :
       {LaneCut{true, false}, LaneCut{false, false}, LaneCut{true, true}}) {
    const bool reset = lane_cut.reset;
    const std::string kind =
        std::string(reset ? "r" : "c") + (lane_cut.refuse_after ? "-refused" : "");
    SCOPED_TRACE("four transfers, " + kind);
    const std::string copy = temp_.File("Lanes-" + kind + "/Sub");
    RestoreJob job{copy};
    job.server_path = "\\Backup\\Data\\Sub";
    job.transfers = 4;
    auto relay = MakeRelay();
    relay->ArmCut({"X-NVX-Fang:", Offset(random), reset, false, lane_cut.refuse_after});
    RunResult cut_run = RunJobs(job.Lines(), relay.get());
    ASSERT_TRUE(cut_run.exit_code.has_value()) << cut_run.out << cut_run.err;
    EXPECT_TRUE(relay->cut_made());
    if (lane_cut.refuse_after) {
      EXPECT_EQ(cut_run.exit_code, 0) << cut_run.out << cut_run.err;
      EXPECT_EQ(TreeDifferences(tree + "/Sub", copy, {"second.bin", "third.txt"}, false),
                std::vector<std::string>{});
      EXPECT_EQ(LeftOvers(copy), std::vector<std::string>{});
      EXPECT_NE(ActivityLog().find("refused (HTTP/1.1 503"), std::string::npos);
      continue;
    }
    const int64_t before = relay->downstream_bytes();
    RunResult last = RunJobs(job.Lines(), relay.get());
    ASSERT_EQ(last.exit_code, 0) << last.out << last.err;
    EXPECT_EQ(TreeDifferences(tree + "/Sub", copy, {"second.bin", "third.txt"}, false),
              std::vector<std::string>{});
    EXPECT_EQ(LeftOvers(copy), std::vector<std::string>{});
    if (!reset) {
      EXPECT_LT(relay->downstream_bytes() - before, 450000) << "nothing was resumed";
    }
  }
}

TEST_F(RestoreTest, EncipheredCutKeepsWholeCipherBlocks) {
  const std::string tree = temp_.File("Data");
  WriteTree(tree, {{"letter.bin", 20000, Content::kRandom}});
  BackUp(tree);
  Administer({"account", "set", "alice", "--encrypt", "on"});
  std::string copy = temp_.File("Copy/Data");
  RestoreJob job{copy};
  auto relay = MakeRelay();
  relay->ArmCut({"X-NVX-Fang:", 5000, false});
  RunResult cut = RunJobs(job.Lines(), relay.get());
  ASSERT_TRUE(cut.exit_code.has_value());
  ASSERT_TRUE(relay->cut_made());
  EXPECT_FALSE(PathExists(copy + "/letter.bin"));
  EXPECT_EQ(FileSize(copy + "/letter.bin~"), 4096);
  EXPECT_TRUE(HoldsStartOf(copy + "/letter.bin~", tree + "/letter.bin"));

  size_t mark = relay->RequestHeaders().size();
  RunResult rest = RunJobs(job.Lines(), relay.get());
  ASSERT_EQ(rest.exit_code, 0) << rest.out << rest.err;
  EXPECT_EQ(TreeDifferences(tree, copy, {"letter.bin"}, false), std::vector<std::string>{});
  std::vector<std::string> asked = RequestsWith(*relay, "?DownLoad ");
  ASSERT_FALSE(asked.empty());
  EXPECT_NE(asked.back().find("X-NVX-RESTART2: "), std::string::npos) << asked.back();
  EXPECT_GT(relay->RequestHeaders().size(), mark);
  std::vector<std::string> answers = relay->AnswerHeaders();
  ASSERT_FALSE(answers.empty());
  EXPECT_NE(answers.back().find("X-NVX-RESTART: "), std::string::npos) << answers.back();
}

}  // namespace
}  // namespace nvx::test

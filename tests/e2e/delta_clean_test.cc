// A changed large file goes to a real nvxserver as a delta of its changed block, seen on
// the wire; a delta that the service refuses (spoiled on the way by the relay) is followed
// by the whole file; either way the stored document equals the source. A clean job makes
// the server folder follow local deletions and leaves a skip folder's copy alone. Over
// TLS the same backup, delta, restore and clean end as they do plain, a relay in the
// middle sees no header and no byte of a file, and a cut restore resumes.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/restore_fixture.h"
#include "tests/support/os_helpers.h"
#include "tests/support/temp_dir.h"

namespace nvx::test {
namespace {

constexpr int64_t kLargeSize = 3 * 1024 * 1024 + 777;
constexpr int64_t kBlock = 2048;

// Overwrites the block `index` of a file with other bytes and dates the file anew.
void ChangeBlock(const std::string& path, int64_t index, char fill, int64_t date) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(index * kBlock);
  std::string bytes(kBlock, fill);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  SetFileTime(path, date);
}

// The PUT requests among `headers` and whether each carried a delta ("X-NVX-LUPIN: 1,").
std::vector<bool> PutKinds(const std::vector<std::string>& headers) {
  std::vector<bool> kinds;
  for (const std::string& header : headers) {
    if (header.rfind("PUT ", 0) != 0) continue;
    kinds.push_back(header.find("X-NVX-LUPIN: 1,") != std::string::npos);
  }
  return kinds;
}

TEST_F(RestoreTest, ChangedBlockTravelsAsDeltaAndRefusedDeltaFallsBack) {
  const std::string tree = temp_.File("Data");
  WriteTree(tree,
            {{"large.bin", kLargeSize, Content::kRandom}, {"small.txt", 5000, Content::kText}});
  BackUp(tree);
  const std::string large = tree + "/large.bin";
  const std::string stored = "\\Backup\\Data\\large.bin";
  SendJob job{tree, "\\Backup", true, false, false, true, {}, {}};
  const std::string job_file = BackupJobFile(job.Lines());

  struct Change {
    std::string name;
    int64_t block;
    bool spoil;                // the relay inverts a byte of the delta's first record
    std::vector<bool> puts;    // per PUT: a delta or the whole file
    int64_t upstream_at_most;  // bytes sent by the client during the run
  };
  const Change changes[] = {
      {"middle block", kLargeSize / kBlock / 2, false, {true}, 64 * 1024},
      {"first block", 0, false, {true}, 64 * 1024},
      {"spoiled delta", 700, true, {true, false}, kLargeSize + 64 * 1024},
  };
  int64_t date = 1700000000;
  for (const Change& change : changes) {
    SCOPED_TRACE(change.name);
    ++date;
    ChangeBlock(large, change.block, static_cast<char>('a' + date % 20), date);
    std::string before = Documents("\\Backup\\Data")["large.bin"].version;
    auto relay = MakeRelay();
    if (change.spoil) relay->ArmCorruption({"X-NVX-LUPIN: 1,", 200});
    size_t mark = LogMark();
    RunResult run = RunJob(job_file, relay->address());
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_EQ(relay->corruption_made(), change.spoil);
    std::vector<std::string> headers = relay->RequestHeaders();
    EXPECT_EQ(PutKinds(headers), change.puts);
    EXPECT_EQ(RequestsWith(*relay, "?DownLoadX ").size(), 1u) << "one signature fetched";
    EXPECT_LE(relay->upstream_bytes(), change.upstream_at_most);
    std::vector<std::string> puts = RequestsSince(mark, "PUT");
    ASSERT_EQ(puts.size(), change.puts.size());
    if (change.spoil) {
      EXPECT_NE(puts[0].find("Gen New From Diff Error"), std::string::npos) << puts[0];
    }
    EXPECT_EQ(StoredMd5(stored), FileMd5(large));
    auto documents = Documents("\\Backup\\Data");
    EXPECT_EQ(documents["large.bin"].size, kLargeSize);
    EXPECT_TRUE(documents["large.bin"].complete);
    EXPECT_NE(documents["large.bin"].version, before) << "a patched document gets a new version";
  }
  // No signature or delta work file is left where the job ran.
  for (const char* name : {"temp.crc", "temp.crc~", "diff.crc"}) {
    EXPECT_FALSE(PathExists(temp_.File(name))) << name;
  }
}

TEST_F(RestoreTest, CleanFollowsLocalDeletionsButNotSkipFolders) {
  struct CleanCase {
    std::string path;
    bool deleted_locally;
    bool stays_on_server;
  };
  const CleanCase cases[] = {
      {"keep.txt", false, true},
      {"gone.txt", true, false},
      {"Sub/kept.txt", false, true},
      {"Sub/dropped.txt", true, false},
      {"OldSub/Inner/file.txt", true, false},  // the whole folder goes locally
      {"Cache/cached.txt", true, true},        // a skip folder is never examined
  };
  const std::string tree = temp_.File("Data");
  std::vector<TreeFile> files;
  for (const CleanCase& item : cases) files.push_back({item.path, 1000, Content::kText});
  WriteTree(tree, files);
  BackUp(tree);
  auto on_server = [this](const std::string& path) {
    std::string folder = "\\Backup\\Data";
    std::string name = path;
    if (size_t slash = path.rfind('/'); slash != std::string::npos) {
      std::string sub = path.substr(0, slash);
      for (char& c : sub) c = c == '/' ? '\\' : c;
      folder += "\\" + sub;
      name = path.substr(slash + 1);
    }
    return Documents(folder).count(name) == 1;
  };
  for (const CleanCase& item : cases) {
    ASSERT_TRUE(on_server(item.path)) << item.path;
  }
  for (const CleanCase& item : cases) {
    if (item.deleted_locally) std::filesystem::remove(tree + "/" + item.path);
  }
  std::filesystem::remove_all(tree + "/OldSub");

  CleanJob clean{tree};
  clean.server_path = "\\Backup";
  clean.skip_folders = {"Cache"};
  RunResult run = RunJobs(clean.Lines());
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
  for (const CleanCase& item : cases) {
    EXPECT_EQ(on_server(item.path), item.stays_on_server) << item.path;
  }
  EXPECT_EQ(FolderId("alice", "OldSub"), "") << "a folder deleted locally stays on the server";
  EXPECT_EQ(FolderId("alice", "Inner"), "");
  EXPECT_NE(FolderId("alice", "Cache"), "");
  EXPECT_NE(FolderId("alice", "Sub"), "");
}

TEST_F(RestoreTest, OverTlsEveryJobEndsAsPlainAndTheWireHidesItsBytes) {
  const std::vector<TreeFile> files = {{"large.bin", kLargeSize, Content::kRandom},
                                       {"note.txt", 5000, Content::kText},
                                       {"gone.txt", 900, Content::kText}};
  for (const bool tls : {false, true}) {
    const std::string name = tls ? "Tls" : "Plain";
    SCOPED_TRACE(name);
    if (tls) ServeTls();
    const std::string tree = temp_.File(name);
    WriteTree(tree, files);
    auto relay = MakeRelay();
    relay->RecordBytes();
    SendJob send{tree, "\\Backup", true, false, false, true, {}, {}};
    const std::string send_file = BackupJobFile(send.Lines());
    RunResult backup = RunJob(send_file, relay->address());
    ASSERT_EQ(backup.exit_code, 0) << backup.out << backup.err;

    ChangeBlock(tree + "/large.bin", 9, 'z', 1700000123);
    const int64_t sent_before = relay->upstream_bytes();
    RunResult delta = RunJob(send_file, relay->address());
    ASSERT_EQ(delta.exit_code, 0) << delta.out << delta.err;
    EXPECT_LT(relay->upstream_bytes() - sent_before, 64 * 1024) << "the change went whole";
    EXPECT_EQ(StoredMd5("\\Backup\\" + name + "\\large.bin"), FileMd5(tree + "/large.bin"));

    const std::string into = temp_.File("Restore-" + name);
    RestoreJob restore{into + "/" + name};
    restore.server_path = "\\Backup\\" + name;
    RunResult restored = RunJobs(restore.Lines(), relay.get());
    ASSERT_EQ(restored.exit_code, 0) << restored.out << restored.err;
    EXPECT_EQ(TreeDifferences(tree, into + "/" + name, PathsOf(files, true), false),
              std::vector<std::string>{});
    EXPECT_NE(Report().find("Errors 0"), std::string::npos) << Report();

    std::filesystem::remove(tree + "/gone.txt");
    CleanJob clean{tree};
    clean.server_path = "\\Backup";
    RunResult cleaned = RunJobs(clean.Lines(), relay.get());
    ASSERT_EQ(cleaned.exit_code, 0) << cleaned.out << cleaned.err;
    auto documents = Documents("\\Backup\\" + name);
    EXPECT_EQ(documents.count("gone.txt"), 0u);
    EXPECT_EQ(documents.count("note.txt"), 1u);

    // What a listener on the line had: plain, every header and file; over TLS, neither
    // the header that carries the login token nor a piece of a file.
    const std::string seen = relay->RecordedBytes();
    const std::string pieces[] = {
        "X-NVX-RATTART: ", ReadFileText(tree + "/large.bin").substr(100000, 48),
        ReadFileText(tree + "/note.txt").substr(0, 48)};
    for (const std::string& piece : pieces) {
      EXPECT_EQ(seen.find(piece) != std::string::npos, !tls) << piece.substr(0, 15);
    }
  }

  // A restore cut in the middle of its encrypted stream keeps what arrived in its work
  // file, and the next run brings only the rest.
  const std::string copy = temp_.File("Cut/Tls");
  RestoreJob cut_job{copy};
  cut_job.server_path = "\\Backup\\Tls";
  auto relay = MakeRelay();
  relay->ArmCut({"", 1024 * 1024, false, /*opaque=*/true});
  RunResult cut = RunJobs(cut_job.Lines(), relay.get());
  ASSERT_TRUE(cut.exit_code.has_value()) << cut.out << cut.err;
  EXPECT_TRUE(relay->cut_made());
  EXPECT_EQ(LeftOvers(copy), std::vector<std::string>{"large.bin~"});
  const int64_t received_before = relay->downstream_bytes();
  RunResult rest = RunJobs(cut_job.Lines(), relay.get());
  ASSERT_EQ(rest.exit_code, 0) << rest.out << rest.err;
  EXPECT_EQ(TreeDifferences(temp_.File("Tls"), copy, {"large.bin", "note.txt"}, false),
            std::vector<std::string>{});
  EXPECT_EQ(LeftOvers(copy), std::vector<std::string>{});
  EXPECT_LT(relay->downstream_bytes() - received_before, kLargeSize - 512 * 1024)
      << "nothing was resumed";
}

}  // namespace
}  // namespace nvx::test

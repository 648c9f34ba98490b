// The service for many users, whole on one machine: a PostgreSQL cluster of the test
// program's own, two nvxserver front ends on one shared data and blob folder, HAProxy in
// front of them, and NVXbackup through HAProxy. A front end killed in the middle of a
// large PUT leaves a partial document that the next run resumes through the other one;
// restores through HAProxy give the source back; eight accounts back up at once without
// seeing each other and with their space exact; and an embedded store migrated into
// PostgreSQL lists the same documents. Skipped only when PostgreSQL is not installed.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/restore_fixture.h"
#include "tests/support/login_token.h"
#include "tests/support/os_helpers.h"
#include "tests/support/pg_cluster.h"
#include "tests/support/raw_http_client.h"

namespace nvx::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int64_t kBigFile = 96 * 1024 * 1024 + 4321;
constexpr int64_t kCheckpoint = 4 * 1024 * 1024;

// The space used of account `id` in `nvxserver account list` (id TAB quota TAB used ...).
std::string UsedIn(const std::string& listing, const std::string& id) {
  size_t at = listing.find(id + "\t");
  at = at == std::string::npos ? at : listing.find('\t', at + id.size() + 1);
  return at == std::string::npos ? "" : listing.substr(at + 1, listing.find('\t', at + 1) - at - 1);
}

class SharedStoreTest : public RestoreTest {
 protected:
  void SetUp() override {
    PgCluster& cluster = PgCluster::Shared();
    if (!cluster.available()) GTEST_SKIP() << "no PostgreSQL to test with: " << cluster.why();
    url_ = cluster.NewDatabase();
    ASSERT_FALSE(url_.empty());
    store_options_ = {"--database", url_, "--blobs", blobs_};
    // Alice in the shared store, and the first front end.
    RestoreTest::SetUp();
    if (HasFatalFailure()) return;
    second_ = std::make_unique<ServerProcess>(data_, second_log_, store_options_);
    ASSERT_NE(second_->port(), 0) << ReadFileText(second_log_);
    balancer_ = std::make_unique<BalancerProcess>(
        temp_, std::vector<int>{server_->port(), second_->port()});
    ASSERT_TRUE(balancer_->running()) << "HAProxy did not start";
  }

  std::string Sql(const std::string& sql) { return PgCluster::Query(url_, sql); }

  // The blob prefix a front end logged when it started.
  static std::string PrefixIn(const std::string& log) {
    std::string text = ReadFileText(log);
    size_t at = text.find("new blobs ");
    if (at == std::string::npos) return {};
    at += 10;
    return text.substr(at, text.find_first_of("\r\n", at) - at);
  }

  // Files of the shared blob folder that are neither a blob a document names nor its
  // signature.
  std::vector<std::string> UnaccountedBlobFiles() {
    std::set<std::string> named;
    std::istringstream rows(Sql("SELECT string_agg(blob, ' ') FROM documents"));
    for (std::string name; rows >> name;) named.insert(name);
    std::vector<std::string> left;
    for (const std::string& file : ListFolder(blobs_)) {
      std::string blob = file.size() > 4 && file.compare(file.size() - 4, 4, ".sig") == 0
                             ? file.substr(0, file.size() - 4)
                             : file;
      if (named.count(blob) == 0) left.push_back(file);
    }
    return left;
  }

  std::string url_;
  std::string blobs_ = temp_.File("shared-blobs");
  std::string second_log_ = temp_.File("second.log");
  std::unique_ptr<ServerProcess> second_;
  std::unique_ptr<BalancerProcess> balancer_;
  std::string tree_ = temp_.File("Data");
};

TEST_F(SharedStoreTest, FrontEndKilledMidPutIsResumedThroughTheOther) {
  WriteTree(tree_,
            {{"letter.txt", 5000, Content::kText}, {"Photos/cat.jpg", 4097, Content::kRandom}});
  std::string job_file =
      BackupJobFile(SendJob{tree_, "\\Backup", true, false, false, true, {}, {}}.Lines());
  // Wait for the large document to be recorded partly (its first checkpoint), then kill
  // the front end that writes it, and the run. A run that ends first gets another large
  // file.
  std::string cut_prefix;
  for (int attempt = 1; attempt <= 3 && cut_prefix.empty(); ++attempt) {
    std::string name = "big-" + std::to_string(attempt) + ".bin";
    WriteContent(tree_ + "/" + name, kBigFile, Content::kRandom, 10 + attempt);
    std::unique_ptr<ChildProcess> job = StartJob(job_file, balancer_->address());
    std::string partial;
    auto bound = Clock::now() + std::chrono::seconds(60);
    while (partial.empty() && job->Running() && Clock::now() < bound) {
      partial = Sql("SELECT blob FROM documents WHERE NOT complete AND size >= " +
                    std::to_string(kCheckpoint) + " AND name = '" + name + "'::bytea");
      if (partial.empty()) std::this_thread::sleep_for(milliseconds(5));
    }
    if (partial.empty()) {
      ASSERT_TRUE(job->Wait(std::chrono::seconds(120)).has_value());
      continue;
    }
    cut_prefix = partial.substr(0, partial.find('-') + 1);
    bool first = cut_prefix == PrefixIn(server_log_);
    ASSERT_TRUE(first || cut_prefix == PrefixIn(second_log_)) << partial;
    // The run is held still while its front end dies and then ends with it (a run
    // that lives on sends the file again whole at once): the next run resumes.
    ::kill(job->pid(), SIGSTOP);
    (first ? server_ : second_)->Stop(SIGKILL);
    ::kill(job->pid(), SIGKILL);
    ASSERT_TRUE(job->Wait(std::chrono::seconds(10)).has_value());
  }
  ASSERT_FALSE(cut_prefix.empty()) << "no run was still uploading after a checkpoint";

  RunResult next = RunJob(job_file, balancer_->address(), std::chrono::seconds(300));
  ASSERT_EQ(next.exit_code, 0) << next.out << next.err;
  std::vector<std::string> paths = ExpectTreeStoredWhole(tree_);
  // The cut document was continued in place, from its last checkpoint, by the front end
  // that lived: its blob is still the one the killed front end began.
  std::string blobs = Sql("SELECT string_agg(blob, ' ') FROM documents WHERE name LIKE 'big-%'");
  EXPECT_NE(blobs.find(cut_prefix), std::string::npos) << blobs;

  // The tree lands in a folder named like the server folder below the job's folder.
  std::string into = temp_.File("Restored");
  std::string copy = into + "/Data";
  RestoreJob restore(into);
  RunResult restored =
      RunJob(JobFile("alice", "wonderland", restore.Lines()), balancer_->address());
  ASSERT_EQ(restored.exit_code, 0) << restored.out << restored.err;
  EXPECT_EQ(TreeDifferences(tree_, copy, paths, false), std::vector<std::string>{});

  // What the killed front end left is accounted for by cleanup: a front end that starts
  // with a short lease removes it, and nothing else.
  server_.reset();
  second_.reset();
  std::this_thread::sleep_for(milliseconds(1100));
  server_ = std::make_unique<ServerProcess>(
      data_, server_log_,
      std::vector<std::string>{"--database", url_, "--blobs", blobs_, "--blob-lease", "1"});
  EXPECT_EQ(UnaccountedBlobFiles(), std::vector<std::string>{});
  EXPECT_EQ(Sql("SELECT count(*) FROM upload_claims"), "0");
}

TEST_F(SharedStoreTest, EightAccountsBackUpAtOnceApartAndWithExactSpace) {
  constexpr int kAccounts = 8;
  constexpr int64_t kSmallQuota = 300000;  // the last account's: less than its tree
  struct Run {
    std::string id, tree, logs;
    int64_t size = 0;
    std::unique_ptr<ChildProcess> job;
  };
  std::vector<Run> runs(kAccounts);
  for (int i = 0; i < kAccounts; ++i) {
    Run& run = runs[i];
    run.id = "user" + std::to_string(i + 1);
    run.tree = temp_.File(run.id + "/Data");
    run.logs = temp_.File(run.id + "/logs");
    std::filesystem::create_directories(run.logs + "/runtime");
    Administer({"account", "add", run.id, "pw-" + run.id, "--quota",
                std::to_string(i + 1 == kAccounts ? kSmallQuota : 50000000)});
    const std::pair<std::string, int64_t> files[] = {{"/" + run.id + "-a.txt", 3000 + i},
                                                     {"/" + run.id + "-b.bin", 200000 + 17 * i},
                                                     {"/Sub/" + run.id + "-c.bin", 90000 + i},
                                                     {"/Sub/" + run.id + "-d.txt", 777}};
    for (const auto& [path, size] : files) {
      WriteContent(run.tree + path, size, Content::kRandom, static_cast<uint32_t>(100 * i + size));
      run.size += size;
    }
    std::string job = run.logs + "/job.txt";
    // Two lanes each: the balancer takes turns by connection, and a job's own two
    // connections (the job runner's and the uploads') may otherwise come in step with
    // the front ends, every upload on one of them.
    WriteFileText(job,
                  "NVXUser " + run.id + "\r\nNVXPw pw-" + run.id +
                      "\r\nResultsType Backup\r\nLogDirectory " + run.logs +
                      "\r\nVerifyPath \\Backup\r\nVerifyNVXFolders\r\n" +
                      SendJob{run.tree, "\\Backup", true, false, false, true, {}, {}, 2}.Lines());
    ChildProcess::Options options = JobOptions(job, balancer_->address());
    // Runs of different users on one machine do not wait for each other.
    options.env.push_back("XDG_RUNTIME_DIR=" + run.logs + "/runtime");
    run.job = std::make_unique<ChildProcess>(NvxBackupProgram(), options);
  }
  for (Run& run : runs) ASSERT_TRUE(run.job->Wait(std::chrono::seconds(300)).has_value());

  std::string accounts = Nvx({"account", "list"}).out;
  for (int i = 0; i < kAccounts; ++i) {
    const Run& run = runs[i];
    SCOPED_TRACE(run.id);
    std::map<std::string, StoredDocument> stored = Documents("\\Backup\\Data", run.id);
    for (const auto& [name, document] : Documents("\\Backup\\Data\\Sub", run.id)) {
      stored["Sub/" + name] = document;
    }
    int64_t used = 0;
    for (const auto& [path, document] : stored) {
      // Only its own files, each whole.
      EXPECT_EQ(path.find(run.id + "-"), path.rfind('/') + 1) << path;
      EXPECT_TRUE(document.complete) << path;
      std::string server_path = "\\Backup\\Data\\" + path;
      std::replace(server_path.begin(), server_path.end(), '/', '\\');
      EXPECT_EQ(StoredMd5(server_path, run.id), FileMd5(run.tree + "/" + path)) << path;
      used += document.size;
    }
    EXPECT_EQ(UsedIn(accounts, run.id), std::to_string(used)) << "space used is not stored";
    if (i + 1 < kAccounts) {
      EXPECT_EQ(run.job->Wait(milliseconds(0)), 0) << run.job->out();
      EXPECT_EQ(stored.size(), 4u);
      EXPECT_EQ(used, run.size);
    } else {
      EXPECT_LE(used, kSmallQuota);
      EXPECT_LT(stored.size(), 4u);
    }
  }
  // A login of one account never reaches another's folders, whichever front end answers.
  std::string foreign = FolderId("user2", "Data");
  ASSERT_FALSE(foreign.empty());
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::optional<RawHttpReply> reply = RawHttpExchange(
        balancer_->port(),
        "GET /scripts/rizezi7.dll?FolderFileList HTTP/1.1\r\nHost: x\r\n"
        "X-NVX-RATTART: " +
            MakeLoginToken("user1", "pw-user1") + "\r\nX-NVX-BLACMANGE: " + foreign + "\r\n\r\n");
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->Header("X-NVX-CONCLUSION"), "Error - Folder Not Found");
  }
  // Both front ends served.
  for (const std::string& log : {server_log_, second_log_}) {
    EXPECT_NE(ReadFileText(log).find(" PUT "), std::string::npos) << log;
  }
}

// The embedded store of a data folder, moved into PostgreSQL: every account lists the
// same documents, the bytes read back equal, a non-empty target is refused, and a
// migration cut inside its transaction leaves the target empty for the next attempt.
class MigrationTest : public RestoreTest {
 protected:
  std::string tree_ = temp_.File("Data");
};

TEST_F(MigrationTest, EmbeddedStoreMovesIntoPostgresqlWhole) {
  PgCluster& cluster = PgCluster::Shared();
  if (!cluster.available()) GTEST_SKIP() << "no PostgreSQL to test with: " << cluster.why();
  WriteTree(tree_, {{"a.txt", 3000, Content::kText},
                    {"b.bin", 70000, Content::kRandom},
                    {"Deep/c.bin", 5000, Content::kRandom}});
  BackUp(tree_);
  Administer({"account", "add", "bob", "builder", "--quota", "1000000", "--encrypt"});
  Administer({"folder", "add", "bob", "\\Archive", "--access", "V"});
  Administer({"doc", "add", "bob", "\\Archive\\half.bin", tree_ + "/b.bin", "--incomplete", "123"});
  server_->Stop();
  std::string url = cluster.NewDatabase();
  std::string blobs = temp_.File("moved-blobs");
  std::vector<std::string> migrate = {"migrate", "--from",  data_, "--database",
                                      url,       "--blobs", blobs};

  // A cut inside the transaction: the database refuses the last document.
  ASSERT_EQ(Nvx({"--database", url, "account", "list"}).exit_code, 0);
  ASSERT_EQ(PgCluster::Query(url,
                             "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS"
                             " $$BEGIN RAISE 'cut'; END$$"),
            "ok");
  ASSERT_EQ(PgCluster::Query(url,
                             "CREATE TRIGGER cut BEFORE INSERT ON documents FOR EACH ROW"
                             " WHEN (NEW.name = 'half.bin'::bytea) EXECUTE FUNCTION refuse()"),
            "ok");
  EXPECT_EQ(Nvx(migrate).exit_code, 1);
  EXPECT_EQ(PgCluster::Query(url, "SELECT count(*) FROM accounts"), "0");
  ASSERT_EQ(PgCluster::Query(url, "DROP TRIGGER cut ON documents"), "ok");
  RunResult moved = Nvx(migrate);
  ASSERT_EQ(moved.exit_code, 0) << moved.err;
  EXPECT_EQ(Nvx(migrate).exit_code, 1) << "a store that holds accounts is refused";

  // Each listing of the embedded store, and the same of the shared one.
  auto both = [&](std::vector<std::string> command) {
    RunResult before = Nvx(command);
    command.insert(command.begin(), {"--database", url, "--blobs", blobs});
    RunResult after = Nvx(command);
    EXPECT_EQ(after.exit_code, 0) << after.err;
    EXPECT_EQ(before.out, after.out) << command.back();
    return before.out;
  };
  both({"account", "list"});
  for (const char* account : {"alice", "bob"}) {
    std::istringstream lines(both({"folder", "list", account}));
    std::vector<std::string> path;
    for (std::string line; std::getline(lines, line);) {
      // Each folder by its path from the top: level TAB name TAB ...
      std::istringstream fields(line);
      size_t level = 0;
      fields >> level;
      path.resize(level);
      path.emplace_back();
      std::getline(fields.ignore(1), path.back(), '\t');
      std::string text;
      for (const std::string& part : path) text += "\\" + part;
      both({"doc", "list", account, text});
    }
  }
  // The bytes came along (those the embedded store kept itself too), and new ids follow
  // the moved ones.
  for (const std::string name : {"a.txt", "b.bin"}) {
    std::string copy = temp_.File("copy-" + name);
    EXPECT_EQ(Nvx({"--database", url, "--blobs", blobs, "doc", "get", "alice",
                   "\\MyFiles\\Backup\\Data\\" + name, copy})
                  .exit_code,
              0);
    EXPECT_EQ(FileMd5(copy), FileMd5(tree_ + "/" + name)) << name;
  }
  RunResult added = Nvx({"--database", url, "folder", "add", "bob", "\\New"});
  ASSERT_EQ(added.exit_code, 0);
  EXPECT_GT(std::stoll(added.out), std::stoll(FolderId("bob", "Archive")));
}

}  // namespace
}  // namespace nvx::test

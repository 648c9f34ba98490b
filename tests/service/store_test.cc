// The service's stores, the embedded one on a real SQLite file and the shared one on a
// real PostgreSQL database (a cluster of this test program's own), from one set of cases:
// accounts, the folder tree and its rules, documents and the space used, and what
// survives closing and opening again. The cases that reach into the SQLite file itself
// run on the embedded store alone.
#include "tests/service/store_fixture.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/text_format.h"
#include "service/store/database_pool.h"
#include "service/store/group_sync.h"
#include "service/store/pg_store.h"
#include "service/store/service_limits.h"
#include "service/store/sqlite_db.h"
#include "tests/support/pg_cluster.h"

namespace nvx::service {
namespace {

TEST_P(StoreTest, AccountsByIdWithoutLetterCase) {
  Account twin;
  twin.id = "ALICE";
  EXPECT_EQ(store_->AddAccount(twin), StoreStatus::kExists);
  AccountChanges changes;
  changes.state = AccountState::kExpired;
  changes.email = "a@example.org";
  EXPECT_EQ(store_->UpdateAccount("aLiCe", changes), StoreStatus::kOk);
  EXPECT_EQ(store_->UpdateAccount("bob", changes), StoreStatus::kNotFound);
  std::optional<Account> account = store_->FindAccount("ALICE");
  ASSERT_TRUE(account);
  EXPECT_EQ(account->id, "Alice");
  EXPECT_EQ(account->state, AccountState::kExpired);
  EXPECT_EQ(account->email, "a@example.org");
  EXPECT_EQ(account->quota, 1000);  // untouched by the change
  EXPECT_EQ(account->password_digest[0], 7);
}

TEST_P(StoreTest, TreeIsDepthFirstWithMyFilesFirst) {
  int64_t docs = Create(my_files_, "Docs");
  Create(docs, "b");
  Create(docs, "A");
  Folder shared;
  ASSERT_EQ(store_->AddFolderPath(alice_, {"Archive"}, kAccessView, false, &shared),
            StoreStatus::kOk);
  Create(my_files_, "Cars");
  EXPECT_EQ(Tree(), (std::vector<std::string>{"0 MyFiles W", "1 Cars W", "1 Docs W", "2 A W",
                                              "2 b W", "0 Archive V"}));
}

TEST_P(StoreTest, CreateFindsExistingFolderInAnyLetterCase) {
  int64_t docs = Create(my_files_, "Docs");
  Folder found;
  bool created = true;
  ASSERT_EQ(store_->CreateFolder(alice_, my_files_, "DOCS", &found, &created), StoreStatus::kOk);
  EXPECT_FALSE(created);
  EXPECT_EQ(found.id, docs);
  EXPECT_EQ(found.name, "Docs");
}

TEST_P(StoreTest, CompressedMarkIsInheritedByNewFolders) {
  Folder packed;
  ASSERT_EQ(store_->AddFolderPath(alice_, {"MyFiles", "Packed"}, kAccessWrite, true, &packed),
            StoreStatus::kOk);
  EXPECT_EQ(FolderIdText(packed), std::to_string(packed.id) + "-C");
  int64_t inner = Create(packed.id, "Inner");
  EXPECT_EQ(FolderIdText(*store_->FindFolder(alice_, inner)), std::to_string(inner) + "-C");
  EXPECT_EQ(FolderIdText(*store_->FindMyFiles(alice_)), std::to_string(my_files_));
}

TEST_P(StoreTest, FoldersOnlyBelowWritableFoldersOfTheSameAccount) {
  Folder view;
  ASSERT_EQ(store_->AddFolderPath(alice_, {"MyFiles", "View"}, kAccessView, false, &view),
            StoreStatus::kOk);
  Folder folder;
  bool created = false;
  EXPECT_EQ(store_->CreateFolder(alice_, view.id, "X", &folder, &created),
            StoreStatus::kAccessDenied);
  Account bob;
  bob.id = "bob";
  ASSERT_EQ(store_->AddAccount(bob), StoreStatus::kOk);
  int64_t bob_key = store_->FindAccount("bob")->key;
  EXPECT_EQ(store_->CreateFolder(bob_key, my_files_, "X", &folder, &created),
            StoreStatus::kNotFound);
  EXPECT_FALSE(store_->FindFolder(bob_key, my_files_));
  EXPECT_EQ(store_->AddFolderPath(alice_, {"MyFiles", "View"}, kAccessWrite, false, &folder),
            StoreStatus::kExists);
}

TEST_P(StoreTest, NoAccessHidesEverythingBelow) {
  Folder closed;
  ASSERT_EQ(store_->AddFolderPath(alice_, {"MyFiles", "Closed"}, kAccessNone, false, &closed),
            StoreStatus::kOk);
  Folder inner;
  ASSERT_EQ(
      store_->AddFolderPath(alice_, {"MyFiles", "Closed", "Inner"}, kAccessWrite, false, &inner),
      StoreStatus::kOk);
  EXPECT_TRUE(store_->IsHidden(closed));
  EXPECT_TRUE(store_->IsHidden(inner));
  EXPECT_FALSE(store_->IsHidden(*store_->FindMyFiles(alice_)));
}

TEST_P(StoreTest, DeleteEmptyFoldersDeepestFirstKeepsNonEmptyBranches) {
  int64_t a = Create(my_files_, "A");
  int64_t a1 = Create(a, "A1");
  Create(a1, "A11");
  int64_t b = Create(my_files_, "B");
  int64_t b1 = Create(b, "B1");
  Put(b1, "keep.txt", 10);
  Folder view;
  ASSERT_EQ(store_->AddFolderPath(alice_, {"MyFiles", "V"}, kAccessView, false, &view),
            StoreStatus::kOk);
  // A writable folder below a view-only one is not the user's to delete either.
  Folder inside;
  ASSERT_EQ(store_->AddFolderPath(alice_, {"MyFiles", "V", "Inside"}, kAccessWrite, false, &inside),
            StoreStatus::kOk);
  int deleted = 0;
  ASSERT_EQ(store_->DeleteEmptyFoldersBelow(alice_, my_files_, &deleted), StoreStatus::kOk);
  EXPECT_EQ(deleted, 3);
  EXPECT_EQ(Tree(),
            (std::vector<std::string>{"0 MyFiles W", "1 B W", "2 B1 W", "1 V V", "2 Inside W"}));
  EXPECT_EQ(store_->DeleteEmptyFoldersBelow(alice_, 424242, &deleted), StoreStatus::kNotFound);
}

TEST_P(StoreTest, DeleteFolderTreeTakesDocumentsAndSpace) {
  int64_t a = Create(my_files_, "A");
  int64_t a1 = Create(a, "A1");
  Put(a, "x", 100);
  Put(a1, "y", 200);
  int64_t kept = Create(my_files_, "Kept");
  Put(kept, "z", 5);
  EXPECT_EQ(Used(), 305);
  std::vector<std::string> blobs;
  ASSERT_EQ(store_->DeleteFolderTree(alice_, a, &blobs), StoreStatus::kOk);
  EXPECT_EQ(blobs, (std::vector<std::string>{"x.blob", "y.blob"}));
  EXPECT_EQ(Used(), 5);
  EXPECT_EQ(Tree(), (std::vector<std::string>{"0 MyFiles W", "1 Kept W"}));
  EXPECT_EQ(store_->DeleteFolderTree(alice_, my_files_, &blobs), StoreStatus::kTopLevel);
  EXPECT_EQ(store_->DeleteFolderTree(alice_, a, &blobs), StoreStatus::kNotFound);
}

TEST_P(StoreTest, DeleteFolderTreeRefusesAViewOnlyFolderBelow) {
  int64_t a = Create(my_files_, "A");
  Folder view;
  ASSERT_EQ(store_->AddFolderPath(alice_, {"MyFiles", "A", "V"}, kAccessView, false, &view),
            StoreStatus::kOk);
  std::vector<std::string> blobs;
  EXPECT_EQ(store_->DeleteFolderTree(alice_, a, &blobs), StoreStatus::kAccessDenied);
  EXPECT_EQ(Tree().size(), 3u);
}

TEST_F(SqliteStoreTest, DeepChainsFromAnEarlierStoreAreWalkedWithoutRecursion) {
  // A chain far deeper than new folders may go, as a store written before the depth
  // limit may hold; every walk over it must finish.
  constexpr int64_t kDepth = 150000;
  auto sql = [&](const std::string& text) {
    Database db;
    ASSERT_TRUE(db.Open(temp_.File("nvx.db"), 10000));
    ASSERT_TRUE(db.Execute(text.c_str())) << db.error_text();
  };
  auto add_chain = [&](const char* top_access) {
    sql(StrFormat(
        "WITH RECURSIVE chain(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM chain WHERE n < %lld)"
        " INSERT INTO folders(id, account, parent, name, access)"
        " SELECT 1000000 + n, %lld, CASE n WHEN 1 THEN %lld ELSE 1000000 + n - 1 END,"
        " 'L' || n, CASE n WHEN 1 THEN '%s' ELSE 'W' END FROM chain",
        static_cast<long long>(kDepth), static_cast<long long>(alice_),
        static_cast<long long>(my_files_), top_access));
  };
  add_chain("W");
  std::vector<Folder> folders;
  ASSERT_TRUE(store_->ListFolders(alice_, &folders));
  ASSERT_EQ(folders.size(), static_cast<size_t>(kDepth + 1));
  EXPECT_EQ(folders.back().level, kDepth);
  std::optional<Folder> deepest = store_->FindFolder(alice_, 1000000 + kDepth);
  ASSERT_TRUE(deepest);
  EXPECT_EQ(store_->EffectiveAccess(*deepest), kAccessWrite);
  Folder below;
  bool created = false;
  EXPECT_EQ(store_->CreateFolder(alice_, deepest->id, "Deeper", &below, &created),
            StoreStatus::kTooDeep);
  int deleted = 0;
  ASSERT_EQ(store_->DeleteEmptyFoldersBelow(alice_, my_files_, &deleted), StoreStatus::kOk);
  EXPECT_EQ(deleted, kDepth);
  // Hidden at the top: hidden all the way down, and nothing in it is deleted.
  add_chain("N");
  EXPECT_EQ(store_->EffectiveAccess(*store_->FindFolder(alice_, 1000000 + kDepth)), kAccessNone);
  ASSERT_EQ(store_->DeleteEmptyFoldersBelow(alice_, my_files_, &deleted), StoreStatus::kOk);
  EXPECT_EQ(deleted, 0);
  sql("UPDATE folders SET access = 'W' WHERE id = 1000001");
  Put(1000000 + kDepth, "deep.txt", 10);
  std::vector<std::string> blobs;
  ASSERT_EQ(store_->DeleteFolderTree(alice_, 1000001, &blobs), StoreStatus::kOk);
  EXPECT_EQ(blobs, std::vector<std::string>{"deep.txt.blob"});
  EXPECT_EQ(Tree(), std::vector<std::string>{"0 MyFiles W"});
  EXPECT_EQ(Used(), 0);
}

TEST_F(SqliteStoreTest, ReadersDoNotWaitForAWriterThatWaits) {
  // Another process holds the write lock; a change through the store waits for it, and
  // meanwhile the store's readers go on.
  Database other;
  ASSERT_TRUE(other.Open(temp_.File("nvx.db"), 10000));
  ASSERT_TRUE(other.Execute("BEGIN IMMEDIATE"));
  std::atomic<bool> writer_done{false};
  std::thread writer([&] {
    Create(my_files_, "Later");
    writer_done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::vector<Folder> folders;
  EXPECT_TRUE(store_->FindAccount("alice"));
  EXPECT_TRUE(store_->ListFolders(alice_, &folders));
  EXPECT_EQ(store_->EffectiveAccess(*store_->FindMyFiles(alice_)), kAccessWrite);
  EXPECT_FALSE(writer_done.load());
  ASSERT_TRUE(other.Execute("COMMIT"));
  writer.join();
  EXPECT_EQ(Tree(), (std::vector<std::string>{"0 MyFiles W", "1 Later W"}));
}

// Lookups made while the reads are held (as a file's request holds them from its login on)
// see the state of their first read, also when a change commits meanwhile, and lookups run
// together inside join the hold; once it ends, nothing is held: the next lookup sees the
// change, and the log can be moved into the database whole.
TEST_F(SqliteStoreTest, LookupsHeldTogetherSeeOneStateAndHoldNothingAfter) {
  auto quota = [&] { return store_->FindAccount("alice")->quota; };
  const int64_t before = quota();
  {
    std::unique_ptr<Store::HeldReads> held = store_->HoldReads();
    EXPECT_EQ(quota(), before);
    std::thread change([&] {
      AccountChanges raise;
      raise.quota = before + 1;
      EXPECT_EQ(store_->UpdateAccount("alice", raise), StoreStatus::kOk);
    });
    change.join();
    EXPECT_EQ(quota(), before);
    store_->ReadTogether([&] { EXPECT_EQ(quota(), before); });
    EXPECT_EQ(store_->EffectiveAccess(*store_->FindMyFiles(alice_)), kAccessWrite);
  }
  EXPECT_EQ(quota(), before + 1);
  Database other;
  ASSERT_TRUE(other.Open(temp_.File("nvx.db"), 1000));
  Statement checkpoint(other, "PRAGMA wal_checkpoint(TRUNCATE)");
  ASSERT_EQ(checkpoint.Next(), Statement::Step::kRow);
  EXPECT_EQ(checkpoint.Int(0), 0) << "a reader still holds the log";
}

TEST_P(StoreTest, ReplacingADocumentGivesANewVersionAndKeepsSpaceExact) {
  Document first = Put(my_files_, "a.txt", 100);
  Document second = Put(my_files_, "a.txt", 300);
  EXPECT_NE(first.vid, second.vid);
  EXPECT_EQ(Used(), 300);
  EXPECT_FALSE(store_->FindDocument(alice_, first.vid));
  // Letter case tells documents apart: two local files that differ only so are both kept.
  Put(my_files_, "A.txt", 50);
  int64_t count = 0;
  ASSERT_EQ(store_->CountDocuments(my_files_, &count), StoreStatus::kOk);
  EXPECT_EQ(count, 2);
  Put(my_files_, "big", 651, StoreStatus::kQuotaExceeded);
  Put(my_files_, "a.txt", 950);  // replacing frees the old size first
  EXPECT_EQ(Used(), 1000);
}

TEST_P(StoreTest, DeleteAndCompleteDocuments) {
  Document done = Put(my_files_, "done", 10);
  Document partial;
  partial.folder = my_files_;
  partial.name = "partial";
  partial.size = 4;
  partial.full_size = 10;
  partial.complete = false;
  Document stored;
  std::string replaced;
  ASSERT_EQ(store_->PutDocument(alice_, partial, true, &stored, &replaced), StoreStatus::kOk);
  EXPECT_EQ(store_->CompleteDocument(alice_, stored.vid), StoreStatus::kIncomplete);
  EXPECT_EQ(store_->CompleteDocument(alice_, done.vid), StoreStatus::kOk);
  EXPECT_EQ(store_->CompleteDocument(alice_, 999), StoreStatus::kNotFound);
  std::string blob;
  EXPECT_EQ(store_->DeleteDocument(alice_, done.vid, &blob), StoreStatus::kOk);
  EXPECT_EQ(blob, "done.blob");
  EXPECT_EQ(store_->DeleteDocument(alice_, done.vid, &blob), StoreStatus::kNotFound);
  EXPECT_EQ(Used(), 4);
}

TEST_P(StoreTest, RecomputeUsedRepairsTheFigure) {
  Put(my_files_, "a", 40);
  // Another program (or a damaged store) left a wrong figure.
  RawSql("UPDATE accounts SET used = 999");
  EXPECT_EQ(Used(), 999);
  int64_t used = 0;
  ASSERT_EQ(store_->RecomputeUsed(alice_, &used), StoreStatus::kOk);
  EXPECT_EQ(used, 40);
}

TEST_F(SqliteStoreTest, TheDatabaseKeepsAWriteAheadLog) {
  Database db;
  ASSERT_TRUE(db.Open(temp_.File("nvx.db"), 1000));
  Statement mode(db, "PRAGMA journal_mode");
  ASSERT_EQ(mode.Next(), Statement::Step::kRow);
  EXPECT_EQ(mode.Text(0), "wal");
}

// The log's writes are kept and handed over whole at each commit: another connection sees
// every commit at once, a commit whose log cannot be written fails and is never seen, and
// the log on the disk (checked as SQLite recovers a copy of it) holds every commit, page
// rewrites and spills of a transaction larger than its cache included.
TEST_F(SqliteStoreTest, TheLogHoldsEveryCommitAndAFailedWriteFailsItsCommit) {
  const std::string path = temp_.File("log.db");
  Database writer;
  Database reader;
  ASSERT_TRUE(writer.Open(path, 1000));
  ASSERT_TRUE(
      writer.Execute("PRAGMA wal_autocheckpoint=0; PRAGMA cache_size=5;"
                     "CREATE TABLE t(id INTEGER PRIMARY KEY, bytes BLOB)"));
  ASSERT_TRUE(writer.SetSyncsCommits(false));
  ASSERT_TRUE(reader.Open(path, 1000));
  std::vector<std::string> committed;
  auto commit = [&](std::vector<std::string> rows) {
    Transaction transaction(writer);
    for (const std::string& bytes : rows) {
      Statement insert(writer, "INSERT INTO t(bytes) VALUES(?)");
      if (!insert.BindBlob(1, bytes.data(), bytes.size()).Run()) return false;
    }
    if (!transaction.Commit()) return false;
    committed.insert(committed.end(), rows.begin(), rows.end());
    return true;
  };
  auto seen = [](Database& db) {
    std::vector<std::string> rows;
    Statement select(db, "SELECT bytes FROM t ORDER BY id");
    EXPECT_TRUE(CollectRows(select, &rows, [](Statement& row) { return row.Blob(0); }));
    return rows;
  };
  for (int i = 0; i < 60; ++i) {
    const size_t size = i % 10 == 9 ? 300000 : 500 + 997 * static_cast<size_t>(i % 17);
    ASSERT_TRUE(commit({std::string(size, static_cast<char>('a' + i % 26))})) << i;
    ASSERT_EQ(seen(reader), committed) << "commit " << i;
  }
  std::vector<std::string> many;  // more pages than the writer's cache: some go out early
  for (int i = 0; i < 40; ++i) many.push_back(std::string(3000, static_cast<char>('A' + i % 26)));
  ASSERT_TRUE(commit(many));
  ASSERT_EQ(seen(reader), committed);

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto log_size = static_cast<rlim_t>(std::filesystem::file_size(path + "-wal"));
  rlimit low = saved;
  low.rlim_cur = log_size + 32 * 1024;
  const sighandler_t previous = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &low), 0);
  const bool large_committed = commit({std::string(100000, 'x')});
  const bool small_committed = commit({std::string(100, 'y')});
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_FALSE(large_committed);
  EXPECT_TRUE(small_committed);
  EXPECT_EQ(seen(reader), committed);

  const std::string copy = temp_.File("copy.db");
  std::filesystem::copy_file(path, copy);
  std::filesystem::copy_file(path + "-wal", copy + "-wal");
  sqlite3* plain = nullptr;  // SQLite's own file layer
  ASSERT_EQ(sqlite3_open_v2(copy.c_str(), &plain, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  std::vector<std::string> recovered;
  sqlite3_stmt* select = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(plain, "SELECT bytes FROM t ORDER BY id", -1, &select, nullptr),
            SQLITE_OK);
  while (sqlite3_step(select) == SQLITE_ROW) {
    recovered.emplace_back(static_cast<const char*>(sqlite3_column_blob(select, 0)),
                           static_cast<size_t>(sqlite3_column_bytes(select, 0)));
  }
  sqlite3_finalize(select);
  sqlite3_close(plain);
  EXPECT_EQ(recovered, committed);
}

// The writer's connection is the same from one write to the next, and a write that leaves
// its sync to a group never leaves the next write without its own.
TEST_F(SqliteStoreTest, TheWriterKeepsItsConnectionAndSyncsUnlessAskedNotTo) {
  DatabasePool pool;
  std::string error;
  ASSERT_TRUE(pool.Open(temp_.File("nvx.db"), 1000, &error)) << error;
  auto synchronous = [](Database& db) {
    Statement setting(db, "PRAGMA synchronous");
    return setting.Next() == Statement::Step::kRow ? setting.Int(0) : -1;
  };
  constexpr int64_t kNormal = 1, kFull = 2;
  Database* first = nullptr;
  {
    DatabasePool::Lease writer = pool.AcquireWriter(/*deferred_sync=*/true);
    first = &*writer;
    EXPECT_EQ(synchronous(*writer), kNormal);
  }
  DatabasePool::Lease writer = pool.AcquireWriter();
  EXPECT_EQ(&*writer, first);
  EXPECT_EQ(synchronous(*writer), kFull);
  EXPECT_EQ(synchronous(*pool.Acquire()), kFull);
}

// Commits that wait for durability at once share syncs; each returns only after a sync that
// began after its commit, and a failed sync fails those that waited for it.
TEST(GroupSyncTest, CommitsShareSyncsThatBeganAfterThem) {
  std::mutex mutex;
  uint64_t issued = 0;            // the last ticket handed out
  std::vector<uint64_t> covered;  // per finished sync: the tickets out when it began
  std::atomic<bool> failing{false};
  GroupSync group([&] {
    uint64_t cover = 0;
    {
      std::lock_guard<std::mutex> lock(mutex);
      cover = issued;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(300));
    std::lock_guard<std::mutex> lock(mutex);
    if (failing) return false;
    covered.push_back(cover);
    return true;
  });
  constexpr int kThreads = 8;
  constexpr int kCommits = 40;
  std::atomic<int> early{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kCommits; ++i) {
        uint64_t ticket = 0;
        {
          std::lock_guard<std::mutex> lock(mutex);
          ticket = issued = group.TakeTicket();
        }
        EXPECT_TRUE(group.WaitDurable(ticket));
        std::lock_guard<std::mutex> lock(mutex);
        if (covered.empty() || *std::max_element(covered.begin(), covered.end()) < ticket) {
          ++early;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(early.load(), 0) << "a commit was answered before a sync covered it";
  EXPECT_LT(covered.size(), static_cast<size_t>(kThreads * kCommits)) << "no sync was shared";
  failing = true;
  EXPECT_FALSE(group.WaitDurable(group.TakeTicket()));
}

// A sync that fails fails only the wait that made it; the commits waiting behind it are
// woken to sync again, and none is left asleep.
TEST(GroupSyncTest, AFailedSyncLeavesTheOthersToSyncAgain) {
  std::atomic<int> syncs{0};
  std::atomic<bool> first_begun{false};
  std::atomic<bool> release{false};
  GroupSync group([&] {
    if (syncs++ > 0) return true;
    first_begun = true;
    while (!release) std::this_thread::yield();
    return false;
  });
  std::atomic<int> failed{0};
  std::thread leader([&] { failed += group.WaitDurable(group.TakeTicket()) ? 0 : 1; });
  while (!first_begun) std::this_thread::yield();
  constexpr int kWaiters = 4;
  std::vector<std::thread> waiters;
  for (int i = 0; i < kWaiters; ++i) {
    waiters.emplace_back([&] { failed += group.WaitDurable(group.TakeTicket()) ? 0 : 1; });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  release = true;
  leader.join();
  for (std::thread& waiter : waiters) waiter.join();
  EXPECT_EQ(failed.load(), 1);
  EXPECT_GE(syncs.load(), 2);
}

TEST_P(StoreTest, EverythingSurvivesReopening) {
  int64_t docs = Create(my_files_, "Docs");
  Document document = Put(docs, "a.txt", 12);
  Reopen();
  std::optional<Document> found = store_->FindDocument(alice_, document.vid);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->name, "a.txt");
  EXPECT_EQ(found->folder, docs);
  EXPECT_EQ(Used(), 12);
  EXPECT_EQ(Tree(), (std::vector<std::string>{"0 MyFiles W", "1 Docs W"}));
  // New ids never reuse old ones.
  EXPECT_GT(Create(my_files_, "Next"), docs);
}

// The rules that span requests, each tried by eight threads at once through two stores:
// for the embedded store both are the same object (one process serves it), for the
// shared store they are two processes' stores on one database. Some rows concern only
// the shared store: a process that ends while it holds something.
struct StoreRule {
  const char* name;
  bool shared_only;
  void (*run)(StoreFixture& fixture, Store& a, Store& b);
};

constexpr int kThreads = 8;

// Runs `body(i, store)` on kThreads threads that start together, the even ones through
// `a`, the odd ones through `b`.
template <typename Body>
void AtOnce(Store& a, Store& b, Body body) {
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ++ready;
      while (ready.load() < kThreads) std::this_thread::yield();
      body(i, i % 2 == 0 ? a : b);
    });
  }
  for (std::thread& thread : threads) thread.join();
}

// Waits, on the threads of AtOnce, until all have come this far.
class Meeting {
 public:
  void Arrive() {
    ++arrived_;
    while (arrived_.load() < kThreads) std::this_thread::yield();
  }

 private:
  std::atomic<int> arrived_{0};
};

PgStore& AsShared(Store& store) {
  return dynamic_cast<PgStore&>(store);
}

// Ends the database session that holds `store`'s front-end lock, as the end of its
// process would, and waits until the server has let go of its locks.
void EndProcessOf(const std::string& url, Store& store) {
  std::string locks = StrFormat(
      "FROM pg_locks WHERE locktype = 'advisory' AND classid = 2"
      " AND objid = %lld",
      static_cast<long long>(AsShared(store).front_end()));
  ASSERT_EQ(test::PgCluster::Query(url, "SELECT pg_terminate_backend(pid) " + locks), "t");
  for (int i = 0; i < 500 && test::PgCluster::Query(url, "SELECT count(*) " + locks) != "0"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// An upload's commit of a new small document whose bytes come with it.
Store::UploadCommit SmallUpload(int64_t folder, const std::string& name, const std::string& bytes) {
  Store::UploadCommit commit;
  commit.document.folder = folder;
  commit.document.name = name;
  commit.document.size = static_cast<int64_t>(bytes.size());
  commit.document.full_size = commit.document.size;
  commit.document.complete = true;
  commit.document.blob = name + ".inline";
  commit.inline_bytes = bytes;
  return commit;
}

const StoreRule kStoreRules[] = {
    {"QuotaCountsTheClaimsOfEveryProcess", false,
     [](StoreFixture& f, Store& a, Store& b) {
       Account alice = *a.FindAccount("alice");  // quota 1000
       std::atomic<int> granted{0};
       Meeting all_tried;
       AtOnce(a, b, [&](int, Store& store) {
         std::unique_ptr<UploadClaim> claim = store.ReserveUpload(alice, 200);
         if (claim) ++granted;
         all_tried.Arrive();  // every claim is held until all have asked
       });
       EXPECT_EQ(granted.load(), 5);
       EXPECT_EQ(b.UploadRoom(alice), 1000) << "claims outlived their uploads";
       (void)f;
     }},
    {"WhatAnEndedProcessHeldIsFreed", true,
     [](StoreFixture& f, Store& a, Store&) {
       Account alice = *a.FindAccount("alice");
       int64_t vid = f.Put(f.my_files(), "big.bin", 10).vid;
       std::unique_ptr<Store> other = f.OpenAnotherFor();
       std::unique_ptr<UploadClaim> held = other->ReserveUpload(alice, 600);
       std::unique_ptr<WriterClaim> writing, claim;
       ASSERT_NE(held, nullptr);
       ASSERT_EQ(other->ClaimWriter(vid, &writing), StoreStatus::kOk);
       EXPECT_EQ(a.ReserveUpload(alice, 990), nullptr);
       EXPECT_EQ(a.ClaimWriter(vid, &claim), StoreStatus::kBusy);
       EndProcessOf(f.url(), *other);
       EXPECT_NE(a.ReserveUpload(alice, 990), nullptr);
       EXPECT_EQ(a.ClaimWriter(vid, &claim), StoreStatus::kOk);
     }},
    {"OneFolderPerNameInAnyLetterCase", false,
     [](StoreFixture& f, Store& a, Store& b) {
       std::atomic<int> created{0};
       std::vector<int64_t> ids(kThreads);
       AtOnce(a, b, [&](int i, Store& store) {
         Folder folder;
         bool made = false;
         EXPECT_EQ(
             store.CreateFolder(f.alice(), f.my_files(), i % 3 ? "Docs" : "DOCS", &folder, &made),
             StoreStatus::kOk);
         ids[i] = folder.id;
         if (made) ++created;
       });
       EXPECT_EQ(created.load(), 1);
       for (int64_t id : ids) EXPECT_EQ(id, ids[0]);
     }},
    {"VersionIdsUniqueAndSpaceExact", false,
     [](StoreFixture& f, Store& a, Store& b) {
       std::vector<std::vector<int64_t>> vids(kThreads);
       AtOnce(a, b, [&](int i, Store& store) {
         for (int j = 0; j < 10; ++j) {
           for (const std::string& name : {StrFormat("t%d-%d", i, j), std::string("same.txt")}) {
             Document document;
             document.folder = f.my_files();
             document.name = name;
             document.size = name == "same.txt" ? 5 : 10;
             document.blob = name + ".blob";
             Document stored;
             std::string replaced;
             ASSERT_EQ(store.PutDocument(f.alice(), document, true, &stored, &replaced),
                       StoreStatus::kOk);
             vids[i].push_back(stored.vid);
           }
         }
       });
       std::set<int64_t> distinct;
       for (const auto& list : vids) distinct.insert(list.begin(), list.end());
       EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * 20));
       EXPECT_EQ(a.FindAccount("alice")->used, kThreads * 10 * 10 + 5);
     }},
    {"OutboxBoundOverAllProcesses", false,
     [](StoreFixture&, Store& a, Store& b) {
       std::atomic<int> written{0};
       AtOnce(a, b, [&](int, Store& store) {
         for (int j = 0; j < 16; ++j) {
           OutboxMessage message{{"alice@example.test"}, "Results", "Alice", "1", "text\r\n"};
           std::string name;
           if (store.PostMessage(message, &name) == OutboxResult::kWritten) ++written;
         }
       });
       EXPECT_EQ(written.load(), static_cast<int>(kServiceOutboxMessagesMax));
     }},
    {"EachWaitingMessageIsListedToOneProcess", true,
     [](StoreFixture& f, Store& a, Store& b) {
       std::unique_ptr<Store> other = f.OpenAnotherFor();
       for (int i = 0; i < 3; ++i) {
         OutboxMessage message{{"alice@example.test"}, "Results", "Alice", "1", "text\r\n"};
         std::string name;
         ASSERT_EQ(a.PostMessage(message, &name), OutboxResult::kWritten);
       }
       std::vector<PendingMessage> listed;
       ASSERT_TRUE(other->ListPendingMessages(10, &listed));
       ASSERT_EQ(listed.size(), 3u);
       std::vector<PendingMessage> elsewhere;
       ASSERT_TRUE(b.ListPendingMessages(10, &elsewhere));
       EXPECT_TRUE(elsewhere.empty()) << "a message was listed to two processes";
       EXPECT_TRUE(other->MarkMessageDelivered(listed[0].id));
       ASSERT_TRUE(other->ListPendingMessages(10, &listed));
       EXPECT_EQ(listed.size(), 2u) << "a listing does not renew the lister's own claims";
       EXPECT_EQ(a.CountPendingMessages(), 2);
       // The process that listed them ends before delivering: the others take them over.
       EndProcessOf(f.url(), *other);
       ASSERT_TRUE(b.ListPendingMessages(10, &elsewhere));
       EXPECT_EQ(elsewhere.size(), 2u);
     }},
    {"OneWriterPerDocument", false,
     [](StoreFixture& f, Store& a, Store& b) {
       int64_t vid = f.Put(f.my_files(), "big.bin", 10).vid;
       std::atomic<int> writers{0};
       Meeting all_tried;
       AtOnce(a, b, [&](int, Store& store) {
         std::unique_ptr<WriterClaim> claim;
         StoreStatus status = store.ClaimWriter(vid, &claim);
         EXPECT_TRUE(status == StoreStatus::kOk || status == StoreStatus::kBusy);
         if (status == StoreStatus::kOk) ++writers;
         all_tried.Arrive();
       });
       EXPECT_EQ(writers.load(), 1);
       std::unique_ptr<WriterClaim> later;
       EXPECT_EQ(b.ClaimWriter(vid, &later), StoreStatus::kOk) << "a claim outlived its writer";
     }},
    {"UploadsKeepTheirBytesAndTheAccountsRules", false,
     [](StoreFixture& f, Store& a, Store& b) {
       Folder view;
       ASSERT_EQ(a.AddFolderPath(f.alice(), {"MyFiles", "View"}, kAccessView, false, &view),
                 StoreStatus::kOk);
       // Commits made at once (which a store may send together) are each decided alone:
       // what refuses one changes nothing of it and nothing of the others.
       const std::string big(1001, 'x');  // over the quota of 1000 even alone
       const std::pair<Store::UploadCommit, StoreStatus> refused[] = {
           {SmallUpload(f.my_files(), "big", big), StoreStatus::kQuotaExceeded},
           {SmallUpload(view.id, "seen", "bytes"), StoreStatus::kAccessDenied},
           {SmallUpload(view.id + 1000, "gone", "bytes"), StoreStatus::kNotFound},
       };
       AtOnce(a, b, [&](int i, Store& store) {
         const bool refuse = i % 3 == 1;  // threads 1, 4 and 7
         const auto& [commit, status] =
             refuse ? refused[i / 3]
                    : std::pair{SmallUpload(f.my_files(), StrFormat("d%d", i), "bytes"),
                                StoreStatus::kOk};
         Document stored;
         std::vector<std::string> removed;
         EXPECT_EQ(store.CommitUpload(f.alice(), commit, &stored, &removed), status)
             << commit.document.name;
       });
       for (int i = 0; i < kThreads; ++i) {
         EXPECT_EQ(b.ReadInlineBlob(StrFormat("d%d.inline", i)),
                   i % 3 == 1 ? std::nullopt : std::optional<std::string>("bytes"))
             << "every process";
       }
       for (const auto& [commit, status] : refused) {
         EXPECT_EQ(a.ReadInlineBlob(commit.document.blob), std::nullopt);
       }
       // A replacement names the bytes it replaces, and those go with their document.
       std::optional<Document> stored_first = a.FindDocumentByName(f.my_files(), "d0");
       ASSERT_TRUE(stored_first);
       const Document& first = *stored_first;
       Store::UploadCommit again = SmallUpload(f.my_files(), "d0", "new bytes");
       again.document.blob = "d0-again.inline";
       again.replaces_vid = first.vid;
       again.replaces_blob = first.blob;
       Document stored;
       std::vector<std::string> removed;
       Store::UploadCommitted committed;
       ASSERT_EQ(b.CommitUpload(f.alice(), again, &stored, &removed, &committed), StoreStatus::kOk);
       EXPECT_EQ(removed, std::vector<std::string>{"d0.inline"});
       EXPECT_EQ(committed.used_change, 4);
       // Where the store tells the space used after the commit, it is the account's.
       if (committed.used_after) {
         EXPECT_EQ(*committed.used_after, b.FindAccount("alice")->used);
       }
       EXPECT_EQ(a.ReadInlineBlob("d0.inline"), std::nullopt);
       EXPECT_EQ(a.ReadInlineBlob("d0-again.inline"), "new bytes");
       // Its bytes stay when a second try finds what it replaced replaced meanwhile.
       EXPECT_EQ(a.CommitUpload(f.alice(), again, &stored, &removed), StoreStatus::kChanged);
       EXPECT_EQ(b.ReadInlineBlob("d0-again.inline"), "new bytes");
       EXPECT_EQ(a.FindAccount("alice")->used, 5 * (kThreads - 3) + 4);
     }},
    {"OneOfTheUploadsThatReplaceADocumentWins", false,
     [](StoreFixture& f, Store& a, Store& b) {
       Document previous = f.Put(f.my_files(), "doc.txt", 100);
       std::atomic<int> committed{0};
       AtOnce(a, b, [&](int i, Store& store) {
         Store::UploadCommit commit;
         commit.document.folder = f.my_files();
         commit.document.name = "doc.txt";
         commit.document.size = 10 * (i + 1);
         commit.document.blob = StrFormat("new-%d.blob", i);
         commit.replaces_vid = previous.vid;
         commit.replaces_blob = previous.blob;
         Document stored;
         std::vector<std::string> removed;
         StoreStatus status = store.CommitUpload(f.alice(), commit, &stored, &removed);
         EXPECT_TRUE(status == StoreStatus::kOk || status == StoreStatus::kChanged);
         if (status == StoreStatus::kOk) ++committed;
       });
       EXPECT_EQ(committed.load(), 1);
       std::vector<Document> documents;
       ASSERT_TRUE(a.ListDocuments(f.my_files(), &documents));
       ASSERT_EQ(documents.size(), 1u);
       EXPECT_EQ(a.FindAccount("alice")->used, documents[0].size);
     }},
};

std::string RuleCaseName(const ::testing::TestParamInfo<std::tuple<StoreKind, StoreRule>>& info) {
  return std::string(std::get<1>(info.param).name) +
         (std::get<0>(info.param) == StoreKind::kShared ? "_Shared" : "_Embedded");
}

class StoreRulesTest : public StoreFixture,
                       public ::testing::WithParamInterface<std::tuple<StoreKind, StoreRule>> {
 protected:
  void SetUp() override { SetUpStore(std::get<0>(GetParam())); }
};

TEST_P(StoreRulesTest, Holds) {
  const StoreRule& rule = std::get<1>(GetParam());
  if (rule.shared_only && kind_ != StoreKind::kShared) GTEST_SKIP() << "a rule of shared stores";
  std::unique_ptr<Store> other = kind_ == StoreKind::kShared ? OpenAnother() : nullptr;
  ASSERT_TRUE(kind_ == StoreKind::kEmbedded || other != nullptr);
  rule.run(*this, *store_, other ? *other : *store_);
}

INSTANTIATE_TEST_SUITE_P(BothStores, StoreRulesTest,
                         ::testing::Combine(::testing::Values(StoreKind::kEmbedded,
                                                              StoreKind::kShared),
                                            ::testing::ValuesIn(kStoreRules)),
                         RuleCaseName);

INSTANTIATE_TEST_SUITE_P(BothStores, StoreTest,
                         ::testing::Values(StoreKind::kEmbedded, StoreKind::kShared),
                         StoreKindName);

}  // namespace
}  // namespace nvx::service

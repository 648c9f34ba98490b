// The service's store on a real SQLite file: accounts, the folder tree and its rules,
// documents and the space used, and what survives closing and opening again.
#include "service/store/sqlite_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/text_format.h"
#include "service/store/sqlite_db.h"
#include "tests/support/temp_dir.h"

namespace nvx::service {
namespace {

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Reopen();
    Account account;
    account.id = "Alice";
    account.quota = 1000;
    account.password_digest[0] = 7;
    ASSERT_EQ(store_->AddAccount(account), StoreStatus::kOk);
    alice_ = store_->FindAccount("alice")->key;
    my_files_ = store_->FindMyFiles(alice_)->id;
  }

  void Reopen() {
    store_ = std::make_unique<SqliteStore>();
    std::string error;
    ASSERT_TRUE(store_->Open(temp_.File("nvx.db"), temp_.File("outbox"), &error)) << error;
  }

  int64_t Create(int64_t parent, const std::string& name) {
    Folder folder;
    bool created = false;
    EXPECT_EQ(store_->CreateFolder(alice_, parent, name, &folder, &created), StoreStatus::kOk);
    return folder.id;
  }

  Document Put(int64_t folder, const std::string& name, int64_t size,
               StoreStatus expected = StoreStatus::kOk) {
    Document document;
    document.folder = folder;
    document.name = name;
    document.size = size;
    document.full_size = size;
    document.blob = name + ".blob";
    Document stored;
    std::string replaced;
    EXPECT_EQ(store_->PutDocument(alice_, document, true, &stored, &replaced), expected);
    return stored;
  }

  std::vector<std::string> Tree() {
    std::vector<Folder> folders;
    EXPECT_TRUE(store_->ListFolders(alice_, &folders));
    std::vector<std::string> lines;
    for (const Folder& folder : folders) {
      lines.push_back(std::to_string(folder.level) + " " + folder.name + " " + folder.access);
    }
    return lines;
  }

  int64_t Used() { return store_->FindAccount("alice")->used; }

  test::TempDir temp_;
  std::unique_ptr<SqliteStore> store_;
  int64_t alice_ = 0;
  int64_t my_files_ = 0;
};

TEST_F(StoreTest, AccountsByIdWithoutLetterCase) {
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

TEST_F(StoreTest, TreeIsDepthFirstWithMyFilesFirst) {
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

TEST_F(StoreTest, CreateFindsExistingFolderInAnyLetterCase) {
  int64_t docs = Create(my_files_, "Docs");
  Folder found;
  bool created = true;
  ASSERT_EQ(store_->CreateFolder(alice_, my_files_, "DOCS", &found, &created), StoreStatus::kOk);
  EXPECT_FALSE(created);
  EXPECT_EQ(found.id, docs);
  EXPECT_EQ(found.name, "Docs");
}

TEST_F(StoreTest, CompressedMarkIsInheritedByNewFolders) {
  Folder packed;
  ASSERT_EQ(store_->AddFolderPath(alice_, {"MyFiles", "Packed"}, kAccessWrite, true, &packed),
            StoreStatus::kOk);
  EXPECT_EQ(FolderIdText(packed), std::to_string(packed.id) + "-C");
  int64_t inner = Create(packed.id, "Inner");
  EXPECT_EQ(FolderIdText(*store_->FindFolder(alice_, inner)), std::to_string(inner) + "-C");
  EXPECT_EQ(FolderIdText(*store_->FindMyFiles(alice_)), std::to_string(my_files_));
}

TEST_F(StoreTest, FoldersOnlyBelowWritableFoldersOfTheSameAccount) {
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

TEST_F(StoreTest, NoAccessHidesEverythingBelow) {
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

TEST_F(StoreTest, DeleteEmptyFoldersDeepestFirstKeepsNonEmptyBranches) {
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

TEST_F(StoreTest, DeleteFolderTreeTakesDocumentsAndSpace) {
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

TEST_F(StoreTest, DeleteFolderTreeRefusesAViewOnlyFolderBelow) {
  int64_t a = Create(my_files_, "A");
  Folder view;
  ASSERT_EQ(store_->AddFolderPath(alice_, {"MyFiles", "A", "V"}, kAccessView, false, &view),
            StoreStatus::kOk);
  std::vector<std::string> blobs;
  EXPECT_EQ(store_->DeleteFolderTree(alice_, a, &blobs), StoreStatus::kAccessDenied);
  EXPECT_EQ(Tree().size(), 3u);
}

TEST_F(StoreTest, DeepChainsFromAnEarlierStoreAreWalkedWithoutRecursion) {
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

TEST_F(StoreTest, ReadersDoNotWaitForAWriterThatWaits) {
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

TEST_F(StoreTest, ReplacingADocumentGivesANewVersionAndKeepsSpaceExact) {
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

TEST_F(StoreTest, DeleteAndCompleteDocuments) {
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

TEST_F(StoreTest, RecomputeUsedRepairsTheFigure) {
  Put(my_files_, "a", 40);
  {
    // Another program (or a damaged store) left a wrong figure.
    Database db;
    ASSERT_TRUE(db.Open(temp_.File("nvx.db"), 1000));
    ASSERT_TRUE(db.Execute("UPDATE accounts SET used = 999"));
  }
  EXPECT_EQ(Used(), 999);
  int64_t used = 0;
  ASSERT_EQ(store_->RecomputeUsed(alice_, &used), StoreStatus::kOk);
  EXPECT_EQ(used, 40);
}

TEST_F(StoreTest, TheDatabaseKeepsAWriteAheadLog) {
  Database db;
  ASSERT_TRUE(db.Open(temp_.File("nvx.db"), 1000));
  Statement mode(db, "PRAGMA journal_mode");
  ASSERT_EQ(mode.Next(), Statement::Step::kRow);
  EXPECT_EQ(mode.Text(0), "wal");
}

TEST_F(StoreTest, EverythingSurvivesReopening) {
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

}  // namespace
}  // namespace nvx::service

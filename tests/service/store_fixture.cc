#include "tests/service/store_fixture.h"

#include <filesystem>

#include "service/store/pg_store.h"
#include "service/store/sqlite_db.h"
#include "service/store/sqlite_store.h"
#include "tests/support/pg_cluster.h"

namespace nvx::service {

std::string StoreKindName(const ::testing::TestParamInfo<StoreKind>& info) {
  return info.param == StoreKind::kEmbedded ? "Embedded" : "Shared";
}

void StoreFixture::SetUpStore(StoreKind kind) {
  kind_ = kind;
  std::filesystem::create_directory(temp_.File("outbox"));
  if (kind == StoreKind::kShared) {
    test::PgCluster& cluster = test::PgCluster::Shared();
    if (!cluster.available()) GTEST_SKIP() << "no shared store to test: " << cluster.why();
    url_ = cluster.NewDatabase();
    ASSERT_FALSE(url_.empty());
  }
  Reopen();
  Account account;
  account.id = "Alice";
  account.quota = 1000;
  account.password_digest[0] = 7;
  ASSERT_EQ(store_->AddAccount(account), StoreStatus::kOk);
  alice_ = store_->FindAccount("alice")->key;
  my_files_ = store_->FindMyFiles(alice_)->id;
}

void StoreFixture::Reopen() {
  store_.reset();
  store_ = OpenAnother();
  ASSERT_NE(store_, nullptr);
}

std::unique_ptr<Store> StoreFixture::OpenAnother() {
  std::string error;
  if (kind_ == StoreKind::kShared) {
    auto store = std::make_unique<PgStore>();
    if (!store->Open(url_, temp_.File("outbox"), &error)) {
      ADD_FAILURE() << error;
      return nullptr;
    }
    return store;
  }
  auto store = std::make_unique<SqliteStore>();
  if (!store->Open(temp_.File("nvx.db"), temp_.File("outbox"), &error)) {
    ADD_FAILURE() << error;
    return nullptr;
  }
  return store;
}

void StoreFixture::RawSql(const std::string& sql) {
  if (kind_ == StoreKind::kShared) {
    ASSERT_EQ(test::PgCluster::Query(url_, sql), "ok") << sql;
    return;
  }
  Database db;
  ASSERT_TRUE(db.Open(temp_.File("nvx.db"), 10000));
  ASSERT_TRUE(db.Execute(sql.c_str())) << db.error_text();
}

int64_t StoreFixture::Create(int64_t parent, const std::string& name) {
  Folder folder;
  bool created = false;
  EXPECT_EQ(store_->CreateFolder(alice_, parent, name, &folder, &created), StoreStatus::kOk);
  return folder.id;
}

Document StoreFixture::Put(int64_t folder, const std::string& name, int64_t size,
                           StoreStatus expected) {
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

std::vector<std::string> StoreFixture::Tree() {
  std::vector<Folder> folders;
  EXPECT_TRUE(store_->ListFolders(alice_, &folders));
  std::vector<std::string> lines;
  for (const Folder& folder : folders) {
    lines.push_back(std::to_string(folder.level) + " " + folder.name + " " + folder.access);
  }
  return lines;
}

int64_t StoreFixture::Used() {
  return store_->FindAccount("alice")->used;
}

}  // namespace nvx::service

// The store under test, either kind: the embedded store on a SQLite file of a temporary
// folder, or the shared store on a fresh database of the test program's PostgreSQL
// cluster (skipped, with the reason, when PostgreSQL is not installed). A second store on
// the same data stands for another service process. Used by one test thread.
#ifndef NVX_TESTS_SERVICE_STORE_FIXTURE_H_
#define NVX_TESTS_SERVICE_STORE_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "service/store/store.h"
#include "tests/support/temp_dir.h"

namespace nvx::service {

enum class StoreKind { kEmbedded, kShared };
std::string StoreKindName(const ::testing::TestParamInfo<StoreKind>& info);

class StoreFixture : public ::testing::Test {
 public:
  // For the cases of a table, which are no members.
  int64_t alice() const { return alice_; }
  int64_t my_files() const { return my_files_; }
  std::unique_ptr<Store> OpenAnotherFor() { return OpenAnother(); }
  const std::string& url() const { return url_; }
  Document Put(int64_t folder, const std::string& name, int64_t size,
               StoreStatus expected = StoreStatus::kOk);

 protected:
  // Opens the store of `kind` with the account "Alice" (quota 1000) in it.
  void SetUpStore(StoreKind kind);
  // Opens the store again on the same data, as a restarted process would.
  void Reopen();
  // Another store on the same data, as another process would have it.
  std::unique_ptr<Store> OpenAnother();
  // Runs an SQL statement on the data behind the store, as another program might.
  void RawSql(const std::string& sql);

  int64_t Create(int64_t parent, const std::string& name);
  // "level name access" of each of Alice's folders.
  std::vector<std::string> Tree();
  int64_t Used();

  test::TempDir temp_;
  StoreKind kind_ = StoreKind::kEmbedded;
  std::string url_;  // the shared store's database
  std::unique_ptr<Store> store_;
  int64_t alice_ = 0;
  int64_t my_files_ = 0;
};

class StoreTest : public StoreFixture, public ::testing::WithParamInterface<StoreKind> {
 protected:
  void SetUp() override { SetUpStore(GetParam()); }
};

class SqliteStoreTest : public StoreFixture {
 protected:
  void SetUp() override { SetUpStore(StoreKind::kEmbedded); }
};

}  // namespace nvx::service

#endif  // NVX_TESTS_SERVICE_STORE_FIXTURE_H_

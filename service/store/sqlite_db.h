// A thin RAII layer over SQLite for the service's store: a database connection, prepared
// statements with typed binding and reading, and a transaction that rolls back unless it
// is committed. Nothing throws; failures are false results with the database's message in
// Database::error_text(). A Database and its statements are used by one thread at a time
// (the store leases each connection to one call at a time). A connection keeps the
// statements it prepared for its whole life, so a statement run again costs no parsing.
#ifndef NVX_SERVICE_STORE_SQLITE_DB_H_
#define NVX_SERVICE_STORE_SQLITE_DB_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace nvx::service {

class Database {
 public:
  Database() = default;
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Opens (creating when missing) the database file at `path` in write-ahead-log mode,
  // with full synchronous writes and a wait of `busy_millis` for other processes' locks.
  bool Open(const std::string& path, int busy_millis);
  bool is_open() const { return db_ != nullptr; }

  // Whether a commit syncs the log before it returns (synchronous=FULL, as opened) or
  // leaves that to the caller (NORMAL). Runs the setting only when it changes; false when
  // it failed (the setting stays as it was).
  bool SetSyncsCommits(bool syncs);
  // Runs one or more statements without results.
  bool Execute(const char* sql);

  // The message of the last failure.
  const std::string& error_text() const { return error_text_; }
  void ClearError() { error_text_.clear(); }
  sqlite3* handle() const { return db_; }
  void NoteFailure();
  int64_t LastInsertRowId() const;
  // Rows changed by the last statement.
  int Changes() const;

  // The connection's prepared statement of `sql`, ready to run, or nullptr when it failed.
  // *kept tells whether the statement belongs to the connection (give it back with
  // GiveBack) or to the caller (finalize it): a statement already in use, by a caller
  // further up the same call, or one past the connection's bound is prepared afresh.
  sqlite3_stmt* Prepare(const char* sql, bool* kept);
  // Resets a kept statement (its parameters unbound, its reading ended) for the next use.
  void GiveBack(sqlite3_stmt* stmt);
  // Statements the connection keeps.
  size_t kept_statements() const { return kept_.size(); }

 private:
  struct Kept {
    sqlite3_stmt* stmt = nullptr;
    bool in_use = false;
  };
  // Looks statements up by their text without copying it.
  struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };

  sqlite3* db_ = nullptr;
  bool syncs_commits_ = true;
  std::string error_text_;
  std::unordered_map<std::string, Kept, TextHash, std::equal_to<>> kept_;
  std::unordered_map<sqlite3_stmt*, Kept*> kept_by_statement_;
};

class Statement {
 public:
  enum class Step { kRow, kDone, kFailed };

  Statement(Database& db, const char* sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return stmt_ != nullptr; }

  // Parameters count from 1, as in SQL.
  Statement& Bind(int index, int64_t value);
  Statement& Bind(int index, std::string_view text);
  Statement& BindBlob(int index, const void* data, size_t size);

  Step Next();
  // Makes the statement ready to run again; its parameters are unbound.
  void Reset();
  // Runs a statement that yields no rows; true when it finished.
  bool Run();

  // Columns count from 0.
  int64_t Int(int column) const;
  std::string Text(int column) const;
  std::string Blob(int column) const;
  bool IsNull(int column) const;

 private:
  Database& db_;
  sqlite3_stmt* stmt_ = nullptr;
  bool kept_ = false;
  bool bind_failed_ = false;
};

// Runs `select` to its end and appends each row, as `from_row` makes it, to `rows`. False
// when the database failed (the rows read until then stay).
template <typename Row, typename FromRow>
bool CollectRows(Statement& select, std::vector<Row>* rows, FromRow from_row) {
  for (;;) {
    switch (select.Next()) {
      case Statement::Step::kRow:
        rows->push_back(from_row(select));
        break;
      case Statement::Step::kDone:
        return true;
      case Statement::Step::kFailed:
        return false;
    }
  }
}

// BEGIN IMMEDIATE on construction (the write lock is taken at once, so two writers never
// deadlock half-way); ROLLBACK on destruction unless Commit() succeeded.
class Transaction {
 public:
  explicit Transaction(Database& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  bool ok() const { return begun_; }
  bool Commit();

 private:
  Database& db_;
  bool begun_ = false;
  bool done_ = false;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_SQLITE_DB_H_

#include "service/store/sqlite_db.h"

#include <sqlite3.h>

#include "service/store/service_limits.h"
#include "service/store/sqlite_log_writes.h"

namespace nvx::service {

Database::~Database() {
  for (auto& [sql, kept] : kept_) sqlite3_finalize(kept.stmt);
  if (db_ != nullptr) sqlite3_close_v2(db_);
}

namespace {

// SQLite counts every allocation under one process-wide mutex unless told not to; the
// service's threads (one connection each) would then queue on it at every statement.
// Only possible before the library's first use; later calls are refused and harmless.
void ConfigureSqliteOnce() {
  static const bool configured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
  static_cast<void>(configured);
}

}  // namespace

bool Database::Open(const std::string& path, int busy_millis) {
  ConfigureSqliteOnce();
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db_, flags, LogWritesVfsName()) != SQLITE_OK) {
    error_text_ = db_ != nullptr ? sqlite3_errmsg(db_) : "cannot allocate the database";
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return false;
  }
  sqlite3_busy_timeout(db_, busy_millis);
  sqlite3_extended_result_codes(db_, 1);
  if (!Execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;")) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return false;
  }
  return true;
}

bool Database::SetSyncsCommits(bool syncs) {
  if (db_ == nullptr || syncs == syncs_commits_) return true;
  if (!Execute(syncs ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL")) return false;
  syncs_commits_ = syncs;
  return true;
}

bool Database::Execute(const char* sql) {
  if (db_ == nullptr) {
    if (error_text_.empty()) error_text_ = "the database is not open";
    return false;
  }
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    error_text_ = message != nullptr ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    return false;
  }
  return true;
}

void Database::NoteFailure() {
  error_text_ = db_ != nullptr ? sqlite3_errmsg(db_) : "the database is not open";
}

int64_t Database::LastInsertRowId() const {
  return sqlite3_last_insert_rowid(db_);
}

int Database::Changes() const {
  return sqlite3_changes(db_);
}

sqlite3_stmt* Database::Prepare(const char* sql, bool* kept) {
  *kept = false;
  if (db_ == nullptr) {
    NoteFailure();
    return nullptr;
  }
  auto found = kept_.find(std::string_view(sql));
  if (found != kept_.end() && !found->second.in_use) {
    found->second.in_use = true;
    *kept = true;
    return found->second.stmt;
  }
  sqlite3_stmt* stmt = nullptr;
  // Kept statements are prepared for reuse: SQLite then plans them for repeated runs.
  const bool keep = found == kept_.end() && kept_.size() < kServiceKeptStatementsMax;
  if (sqlite3_prepare_v3(db_, sql, -1, keep ? SQLITE_PREPARE_PERSISTENT : 0, &stmt, nullptr) !=
      SQLITE_OK) {
    NoteFailure();
    sqlite3_finalize(stmt);
    return nullptr;
  }
  if (keep) {
    Kept& entry = kept_[sql];
    entry = Kept{stmt, true};
    kept_by_statement_[stmt] = &entry;
    *kept = true;
  }
  return stmt;
}

void Database::GiveBack(sqlite3_stmt* stmt) {
  // Resetting ends the statement's reading, and with it any read transaction it held.
  sqlite3_reset(stmt);
  sqlite3_clear_bindings(stmt);
  auto found = kept_by_statement_.find(stmt);
  if (found != kept_by_statement_.end()) found->second->in_use = false;
}

Statement::Statement(Database& db, const char* sql) : db_(db) {
  stmt_ = db_.Prepare(sql, &kept_);
}

Statement::~Statement() {
  if (kept_) {
    db_.GiveBack(stmt_);
  } else {
    sqlite3_finalize(stmt_);
  }
}

Statement& Statement::Bind(int index, int64_t value) {
  if (stmt_ != nullptr && sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) {
    bind_failed_ = true;
  }
  return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
  if (stmt_ != nullptr && sqlite3_bind_text64(stmt_, index, text.data(), text.size(),
                                              SQLITE_TRANSIENT, SQLITE_UTF8) != SQLITE_OK) {
    bind_failed_ = true;
  }
  return *this;
}

Statement& Statement::BindBlob(int index, const void* data, size_t size) {
  if (stmt_ != nullptr &&
      sqlite3_bind_blob64(stmt_, index, data, size, SQLITE_TRANSIENT) != SQLITE_OK) {
    bind_failed_ = true;
  }
  return *this;
}

Statement::Step Statement::Next() {
  if (stmt_ == nullptr || bind_failed_) {
    if (bind_failed_) db_.NoteFailure();
    return Step::kFailed;
  }
  switch (sqlite3_step(stmt_)) {
    case SQLITE_ROW:
      return Step::kRow;
    case SQLITE_DONE:
      return Step::kDone;
    default:
      db_.NoteFailure();
      return Step::kFailed;
  }
}

void Statement::Reset() {
  if (stmt_ == nullptr) return;
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
  bind_failed_ = false;
}

bool Statement::Run() {
  return Next() == Step::kDone;
}

int64_t Statement::Int(int column) const {
  return sqlite3_column_int64(stmt_, column);
}

std::string Statement::Text(int column) const {
  const auto* text = sqlite3_column_text(stmt_, column);
  int size = sqlite3_column_bytes(stmt_, column);
  if (text == nullptr || size <= 0) return {};
  return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(size));
}

std::string Statement::Blob(int column) const {
  const void* data = sqlite3_column_blob(stmt_, column);
  int size = sqlite3_column_bytes(stmt_, column);
  if (data == nullptr || size <= 0) return {};
  return std::string(static_cast<const char*>(data), static_cast<size_t>(size));
}

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

Transaction::Transaction(Database& db) : db_(db) {
  begun_ = Statement(db_, "BEGIN IMMEDIATE").Run();
}

Transaction::~Transaction() {
  // A failed ROLLBACK leaves nothing to do; the earlier failure's message stays when the
  // rollback succeeds.
  if (begun_ && !done_) Statement(db_, "ROLLBACK").Run();
}

bool Transaction::Commit() {
  if (!begun_ || done_) return false;
  done_ = Statement(db_, "COMMIT").Run();
  return done_;
}

}  // namespace nvx::service

// A thin RAII layer over libpq for the shared store: one connection to a PostgreSQL
// database, statements with parameters, results read as typed values, and a transaction
// that rolls back unless it is committed. Parameters travel as text (numbers, plain
// text) or as bytes (PgParams::Bytes, for the columns of type bytea); results come back
// in binary form, so bytes need no unescaping. Nothing throws; a failed statement gives a
// result whose ok() is false, with the server's message in error_text(). A PgConnection
// and its results are used by one thread at a time (the pool lends each connection to
// one store call at a time).
#ifndef NVX_SERVICE_STORE_PG_CONNECTION_H_
#define NVX_SERVICE_STORE_PG_CONNECTION_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct pg_conn;
struct pg_result;

namespace nvx::service {

// The parameters of one statement, $1 first.
class PgParams {
 public:
  PgParams& Int(int64_t value);
  PgParams& Text(std::string_view text);
  PgParams& Bytes(std::string_view bytes);
  PgParams& Bytes(const void* data, size_t size);
  PgParams& Null();

  size_t size() const { return values_.size(); }
  // The arrays libpq takes, valid while the object lives unchanged.
  std::vector<const char*> Values() const;
  std::vector<int> Lengths() const;
  std::vector<int> Formats() const;

 private:
  struct Value {
    std::string bytes;
    bool binary = false;
    bool null = false;
  };
  std::vector<Value> values_;
};

// An array literal of type int8[] ("{1,2,3}"), to pass as one text parameter.
std::string PgArray(const std::vector<int64_t>& values);

// The rows of one statement, or its failure.
class PgResult {
 public:
  PgResult() = default;
  explicit PgResult(pg_result* result);
  ~PgResult();
  PgResult(PgResult&& other) noexcept;
  PgResult& operator=(PgResult&& other) noexcept;
  PgResult(const PgResult&) = delete;
  PgResult& operator=(const PgResult&) = delete;

  bool ok() const { return ok_; }
  // The five-character SQLSTATE of a failure ("23505": a unique constraint refused it).
  std::string sql_state() const;
  int rows() const;
  // Rows changed by an INSERT, UPDATE or DELETE.
  int64_t changed() const;
  // Columns count from 0. Int reads integers of any width and booleans (as 0 or 1).
  int64_t Int(int row, int column) const;
  std::string Bytes(int row, int column) const;
  bool IsNull(int row, int column) const;

 private:
  pg_result* result_ = nullptr;
  bool ok_ = false;
};

class PgConnection {
 public:
  PgConnection() = default;
  ~PgConnection();
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  // Connects to `url` (postgresql://...). False with the server's or libpq's message.
  bool Open(const std::string& url);
  // True while the connection to the server stands.
  bool Healthy() const;
  // Connects again after the connection broke.
  bool Reset();

  // A statement with parameters is prepared once per connection (its plan kept by the
  // server) and executed by name from then on.
  PgResult Query(const char* sql, const PgParams& params = PgParams());
  // Runs one or more statements without parameters or results.
  bool Execute(const char* sql);

  const std::string& error_text() const { return error_text_; }
  void ClearError() { error_text_.clear(); }

 private:
  void NoteFailure();

  // The name the statement `sql` is prepared under on this connection; empty when it
  // cannot be (then it runs unnamed, as a statement without parameters does).
  std::string PreparedName(const char* sql, int parameters);

  pg_conn* conn_ = nullptr;
  std::string error_text_;
  std::unordered_map<std::string, std::string> prepared_;
};

// BEGIN on construction; ROLLBACK on destruction unless Commit() succeeded. Every
// changing store call is one such transaction; rules that span calls take the account's
// row lock first (see pg_store.h).
class PgTransaction {
 public:
  explicit PgTransaction(PgConnection& db);
  ~PgTransaction();
  PgTransaction(const PgTransaction&) = delete;
  PgTransaction& operator=(const PgTransaction&) = delete;

  bool ok() const { return begun_; }
  bool Commit();

 private:
  PgConnection& db_;
  bool begun_ = false;
  bool done_ = false;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_PG_CONNECTION_H_

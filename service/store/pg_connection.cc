#include "service/store/pg_connection.h"

#include <libpq-fe.h>

#include <utility>

#include "codec/coding.h"
#include "platform/text_format.h"

namespace nvx::service {
namespace {

// How many statements a connection keeps prepared.
constexpr size_t kPreparedStatementsMax = 256;

// Type numbers of the server's built-in types whose binary form is a signed integer.
constexpr Oid kBoolType = 16;
constexpr Oid kInt8Type = 20;
constexpr Oid kInt2Type = 21;
constexpr Oid kInt4Type = 23;

// Notices ("relation exists, skipping") are no failures and go nowhere.
void IgnoreNotice(void*, const char*) {}

}  // namespace

std::string PgArray(const std::vector<int64_t>& values) {
  std::string text = "{";
  for (int64_t value : values) {
    if (text.size() > 1) text += ",";
    text += std::to_string(value);
  }
  return text + "}";
}

PgParams& PgParams::Int(int64_t value) {
  values_.push_back(Value{std::to_string(value), false, false});
  return *this;
}

PgParams& PgParams::Text(std::string_view text) {
  values_.push_back(Value{std::string(text), false, false});
  return *this;
}

PgParams& PgParams::Bytes(std::string_view bytes) {
  values_.push_back(Value{std::string(bytes), true, false});
  return *this;
}

PgParams& PgParams::Bytes(const void* data, size_t size) {
  return Bytes(std::string_view(static_cast<const char*>(data), size));
}

PgParams& PgParams::Null() {
  values_.push_back(Value{{}, false, true});
  return *this;
}

std::vector<const char*> PgParams::Values() const {
  std::vector<const char*> values;
  for (const Value& value : values_) values.push_back(value.null ? nullptr : value.bytes.c_str());
  return values;
}

std::vector<int> PgParams::Lengths() const {
  std::vector<int> lengths;
  for (const Value& value : values_) lengths.push_back(static_cast<int>(value.bytes.size()));
  return lengths;
}

std::vector<int> PgParams::Formats() const {
  std::vector<int> formats;
  for (const Value& value : values_) formats.push_back(value.binary ? 1 : 0);
  return formats;
}

PgResult::PgResult(pg_result* result) : result_(result) {
  ExecStatusType status = result == nullptr ? PGRES_FATAL_ERROR : PQresultStatus(result);
  ok_ = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

PgResult::~PgResult() {
  if (result_ != nullptr) PQclear(result_);
}

PgResult::PgResult(PgResult&& other) noexcept
    : result_(std::exchange(other.result_, nullptr)), ok_(other.ok_) {}

PgResult& PgResult::operator=(PgResult&& other) noexcept {
  if (this != &other) {
    if (result_ != nullptr) PQclear(result_);
    result_ = std::exchange(other.result_, nullptr);
    ok_ = other.ok_;
  }
  return *this;
}

std::string PgResult::sql_state() const {
  const char* state = result_ == nullptr ? nullptr : PQresultErrorField(result_, PG_DIAG_SQLSTATE);
  return state == nullptr ? std::string() : std::string(state);
}

int PgResult::rows() const {
  return ok_ ? PQntuples(result_) : 0;
}

int64_t PgResult::changed() const {
  if (!ok_) return 0;
  std::string_view text = PQcmdTuples(result_);
  int64_t count = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    count = count * 10 + (c - '0');
  }
  return count;
}

int64_t PgResult::Int(int row, int column) const {
  if (!ok_ || row >= PQntuples(result_) || column >= PQnfields(result_) ||
      PQgetisnull(result_, row, column)) {
    return 0;
  }
  Oid type = PQftype(result_, column);
  size_t length = static_cast<size_t>(PQgetlength(result_, row, column));
  const auto* bytes = reinterpret_cast<const uint8_t*>(PQgetvalue(result_, row, column));
  size_t width = type == kBoolType ? 1 : type == kInt2Type ? 2 : type == kInt4Type ? 4 : 8;
  if ((type != kBoolType && type != kInt2Type && type != kInt4Type && type != kInt8Type) ||
      length != width) {
    return 0;
  }
  uint64_t value = LoadBigEndian(bytes, width);
  // Sign-extend the narrower widths.
  if (width < 8 && type != kBoolType && (value >> (width * 8 - 1)) != 0) {
    value |= ~uint64_t{0} << (width * 8);
  }
  return static_cast<int64_t>(value);
}

std::string PgResult::Bytes(int row, int column) const {
  if (!ok_ || row >= PQntuples(result_) || column >= PQnfields(result_) ||
      PQgetisnull(result_, row, column)) {
    return {};
  }
  return std::string(PQgetvalue(result_, row, column),
                     static_cast<size_t>(PQgetlength(result_, row, column)));
}

bool PgResult::IsNull(int row, int column) const {
  return !ok_ || row >= PQntuples(result_) || column >= PQnfields(result_) ||
         PQgetisnull(result_, row, column) != 0;
}

PgConnection::~PgConnection() {
  if (conn_ != nullptr) PQfinish(conn_);
}

bool PgConnection::Open(const std::string& url) {
  conn_ = PQconnectdb(url.c_str());
  if (conn_ == nullptr) {
    error_text_ = "cannot allocate a database connection";
    return false;
  }
  if (PQstatus(conn_) != CONNECTION_OK) {
    error_text_ = PQerrorMessage(conn_);
    while (!error_text_.empty() && error_text_.back() == '\n') error_text_.pop_back();
    return false;
  }
  PQsetNoticeProcessor(conn_, IgnoreNotice, nullptr);
  return true;
}

bool PgConnection::Healthy() const {
  return conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK;
}

bool PgConnection::Reset() {
  if (conn_ == nullptr) return false;
  PQreset(conn_);
  prepared_.clear();  // a new session knows none
  if (PQstatus(conn_) == CONNECTION_OK) return true;
  error_text_ = PQerrorMessage(conn_);
  return false;
}

PgResult PgConnection::Query(const char* sql, const PgParams& params) {
  if (conn_ == nullptr) {
    error_text_ = "the database is not open";
    return PgResult();
  }
  std::vector<const char*> values = params.Values();
  std::vector<int> lengths = params.Lengths();
  std::vector<int> formats = params.Formats();
  const int count = static_cast<int>(params.size());
  const std::string name = PreparedName(sql, count);
  PgResult result(name.empty() ? PQexecParams(conn_, sql, count, nullptr, values.data(),
                                              lengths.data(), formats.data(), 1)
                               : PQexecPrepared(conn_, name.c_str(), count, values.data(),
                                                lengths.data(), formats.data(), 1));
  if (!result.ok()) NoteFailure();
  return result;
}

std::string PgConnection::PreparedName(const char* sql, int parameters) {
  if (parameters == 0) return {};
  auto found = prepared_.find(sql);
  if (found != prepared_.end()) return found->second;
  // The statements are the store's own texts, a few dozen; a bound keeps any other use
  // from growing the server's memory.
  if (prepared_.size() >= kPreparedStatementsMax) return {};
  std::string name = StrFormat("nvx%zu", prepared_.size() + 1);
  // A statement that cannot be prepared (the session is in a failed transaction, say)
  // runs unnamed and fails there with the server's message.
  PgResult prepared(PQprepare(conn_, name.c_str(), sql, parameters, nullptr));
  if (!prepared.ok()) return {};
  prepared_.emplace(sql, name);
  return name;
}

bool PgConnection::Execute(const char* sql) {
  if (conn_ == nullptr) {
    error_text_ = "the database is not open";
    return false;
  }
  PgResult result(PQexec(conn_, sql));
  if (!result.ok()) NoteFailure();
  return result.ok();
}

void PgConnection::NoteFailure() {
  error_text_ = PQerrorMessage(conn_);
  while (!error_text_.empty() && error_text_.back() == '\n') error_text_.pop_back();
  if (error_text_.empty()) error_text_ = "the database refused the statement";
}

PgTransaction::PgTransaction(PgConnection& db) : db_(db) {
  begun_ = db_.Execute("BEGIN");
}

PgTransaction::~PgTransaction() {
  if (begun_ && !done_) db_.Execute("ROLLBACK");
}

bool PgTransaction::Commit() {
  if (!begun_ || done_) return false;
  done_ = db_.Execute("COMMIT");
  return done_;
}

}  // namespace nvx::service

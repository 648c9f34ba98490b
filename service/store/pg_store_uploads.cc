// The shared store's side of an upload: what a PUT wrote becomes a document through the
// database's function commit_upload (schema version 4), one call per document. The calls
// of uploads that finish while one statement is on its way go into the next statement
// together, one transaction for all of them: an account's row lock is then taken once and
// the log flushed once for several documents, where each commit alone would hold the lock
// until its own flush and the account's uploads would flush one after the other.
#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

#include "platform/text_format.h"
#include "service/store/pg_store.h"
#include "service/store/store_columns.h"

namespace nvx::service {
namespace {

// At most this many commits go in one statement (16 parameters each).
constexpr size_t kBatchMax = 32;

// The parameters of one call of commit_upload, in its order.
constexpr int kCommitParams = 16;
constexpr const char* kCommitParamTypes[kCommitParams] = {
    "int8", "int8",  "bytea", "int8", "int8", "text",    "bytea", "boolean",
    "text", "bytea", "int8",  "int8", "text", "boolean", "int8",  "bytea"};

// One statement for `count` calls, their rows in the calls' order: the call's number, then
// commit_upload's columns.
std::string BatchStatement(size_t count) {
  std::string values;
  int param = 0;
  for (size_t call = 0; call < count; ++call) {
    values += call == 0 ? "(" : ", (";
    values += std::to_string(call);
    for (const char* type : kCommitParamTypes) values += StrFormat(", $%d::%s", ++param, type);
    values += ")";
  }
  std::string arguments;
  for (int column = 1; column <= kCommitParams; ++column) {
    arguments += StrFormat(column == 1 ? "v.a%d" : ", v.a%d", column);
  }
  std::string names = "n";
  for (int column = 1; column <= kCommitParams; ++column) names += StrFormat(", a%d", column);
  return StrFormat(
      "SELECT v.n, c.outcome, c.new_vid, c.change, c.removed_blob FROM (VALUES %s) AS v(%s)"
      " CROSS JOIN LATERAL commit_upload(%s) WITH ORDINALITY AS c(outcome, new_vid, change,"
      " removed_blob, k) ORDER BY v.n, c.k",
      values.c_str(), names.c_str(), arguments.c_str());
}

void AddCommitParams(PgParams& params, int64_t account, const Store::UploadCommit& commit) {
  params.Int(account);
  AddDocumentParams(params, commit.document);
  commit.keep_vid ? params.Int(commit.replaces_vid) : params.Null();
  params.Int(commit.replaces_vid)
      .Text(commit.replaces_blob)
      .Text(commit.check_quota ? "true" : "false")
      .Int(kAncestorWalkMax);
  if (commit.inline_bytes) {
    params.Bytes(*commit.inline_bytes);
  } else {
    params.Null();
  }
}

StoreStatus StatusOfOutcome(int64_t outcome) {
  switch (outcome) {
    case 0:
      return StoreStatus::kOk;
    case 1:
      return StoreStatus::kNotFound;
    case 2:
      return StoreStatus::kAccessDenied;
    case 3:
      return StoreStatus::kChanged;
    case 4:
      return StoreStatus::kQuotaExceeded;
    default:
      return StoreStatus::kFailed;
  }
}

}  // namespace

// An upload waiting for its statement, and what the statement said of it.
struct PgStore::QueuedCommit {
  QueuedCommit(int64_t account_key, const UploadCommit& upload)
      : account(account_key), commit(upload) {}
  const int64_t account;
  const UploadCommit& commit;
  StoreStatus status = StoreStatus::kFailed;
  Document stored;
  std::vector<std::string> removed_blobs;
  int64_t used_change = 0;
  bool done = false;
  // Woken when the commit is done, or when a statement ends while the commit still waits.
  platform::CondVar done_cv;
};

StoreStatus PgStore::CommitUpload(int64_t account, const UploadCommit& commit, Document* stored,
                                  std::vector<std::string>* removed_blobs,
                                  UploadCommitted* committed) {
  removed_blobs->clear();
  QueuedCommit mine(account, commit);
  {
    platform::MutexLock lock(batch_mutex_);
    queued_.push_back(&mine);
  }
  for (;;) {
    std::vector<QueuedCommit*> batch;
    {
      // The first upload to find no statement on its way sends the oldest ones waiting;
      // the others wait until theirs is done, or until a statement ends while theirs waits.
      platform::MutexLock lock(batch_mutex_);
      while (!mine.done && batch_running_) mine.done_cv.Wait(batch_mutex_);
      if (mine.done) break;
      batch_running_ = true;
      const auto taken = static_cast<std::ptrdiff_t>(std::min(queued_.size(), kBatchMax));
      batch.assign(queued_.begin(), queued_.begin() + taken);
      queued_.erase(queued_.begin(), queued_.begin() + taken);
    }
    RunBatch(std::move(batch));
  }
  if (mine.status != StoreStatus::kOk) return mine.status;
  *stored = std::move(mine.stored);
  *removed_blobs = std::move(mine.removed_blobs);
  if (committed != nullptr) *committed = UploadCommitted{mine.used_change, std::nullopt, nullptr};
  return StoreStatus::kOk;
}

void PgStore::RunBatch(std::vector<QueuedCommit*> batch) {
  // Accounts in key order: two front ends' statements take their row locks in the same
  // order and never wait for each other in a circle.
  std::stable_sort(batch.begin(), batch.end(), [](const QueuedCommit* a, const QueuedCommit* b) {
    return a->account < b->account;
  });
  PgParams params;
  for (const QueuedCommit* queued : batch) AddCommitParams(params, queued->account, queued->commit);
  PgPool::Lease db = pool_.Acquire();
  PgResult rows = db->Query(BatchStatement(batch.size()).c_str(), params);
  // Each call's first row carries its outcome, the rows after it the blobs it replaced.
  for (int row = 0; row < rows.rows(); ++row) {
    const int64_t call = rows.Int(row, 0);
    if (call < 0 || call >= static_cast<int64_t>(batch.size())) continue;
    QueuedCommit& queued = *batch[static_cast<size_t>(call)];
    if (!rows.IsNull(row, 4)) {
      if (queued.status == StoreStatus::kOk) queued.removed_blobs.push_back(rows.Bytes(row, 4));
      continue;
    }
    queued.status = StatusOfOutcome(rows.Int(row, 1));
    if (queued.status != StoreStatus::kOk) continue;
    queued.stored = queued.commit.document;
    queued.stored.vid = rows.Int(row, 2);
    queued.used_change = rows.Int(row, 3);
  }
  platform::MutexLock lock(batch_mutex_);
  batch_running_ = false;
  for (QueuedCommit* queued : batch) {
    queued->done = true;
    queued->done_cv.NotifyOne();
  }
  if (!queued_.empty()) queued_.front()->done_cv.NotifyOne();
}

}  // namespace nvx::service

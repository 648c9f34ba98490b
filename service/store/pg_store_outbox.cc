// The shared store's outbox: the message files live in the outbox folder that all front
// ends share; the database keeps its rules. Counting an account's messages and adding one
// happens under a transaction lock of the account, and each waiting message is listed to
// one front end at a time: a row of outbox_claims names the front end that listed it,
// and counts while its lease runs and its front end lives.
#include <set>

#include "platform/text_format.h"
#include "service/store/pg_schema.h"
#include "service/store/pg_store.h"
#include "service/store/service_limits.h"

namespace nvx::service {
namespace {

// A 31-bit number for an account id, the second key of its outbox lock: accounts that
// share one only wait for each other.
int64_t OutboxLockKey(std::string_view id) {
  uint32_t hash = 2166136261u;
  for (char c : FoldedName(id)) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
  return hash & 0x7FFFFFFF;
}

}  // namespace

OutboxResult PgStore::PostMessage(const OutboxMessage& message, std::string* file_name) {
  if (!outbox_) return OutboxResult::kFailed;
  PgPool::Lease db = pool_.Acquire();
  // Counting the account's messages and adding one is one step for every process that
  // shares the outbox folder: the lock is the database's, held until the transaction ends.
  PgTransaction transaction(*db);
  if (!transaction.ok() ||
      !db->Query("SELECT pg_advisory_xact_lock($1, $2::int4)",
                 PgParams().Int(kPgOutboxLock).Int(OutboxLockKey(message.account)))
           .ok()) {
    return OutboxResult::kFailed;
  }
  OutboxResult result = outbox_->Write(message, file_name);
  // The lock only orders the writers; nothing in the database changed.
  (void)transaction.Commit();
  return result;
}

bool PgStore::ListPendingMessages(size_t max, std::vector<PendingMessage>* messages) {
  messages->clear();
  if (!outbox_) return false;
  PgPool::Lease db = pool_.Acquire();
  // The messages other living front ends listed within their lease are theirs.
  PgResult taken = db->Query(StrFormat("SELECT message FROM outbox_claims o WHERE o.front_end <> $1"
                                       " AND o.expires > now() AND %s",
                                       PgFrontEndLives("o.front_end").c_str())
                                 .c_str(),
                             PgParams().Int(front_end_));
  if (!taken.ok()) return false;
  std::set<std::string> others;
  for (int row = 0; row < taken.rows(); ++row) others.insert(taken.Bytes(row, 0));
  std::vector<PendingMessage> listed;
  if (!outbox_->ListPending(max, &listed, &others)) return false;
  // Each is claimed (or its claim renewed) unless another front end took it meanwhile.
  std::string claim = StrFormat(
      "INSERT INTO outbox_claims AS o(message, front_end, expires)"
      " VALUES($1, $2, now() + make_interval(secs => $3)) ON CONFLICT (message) DO UPDATE"
      " SET front_end = EXCLUDED.front_end, expires = EXCLUDED.expires"
      " WHERE o.front_end = EXCLUDED.front_end OR o.expires <= now() OR NOT %s"
      " RETURNING o.message",
      PgFrontEndLives("o.front_end").c_str());
  for (PendingMessage& message : listed) {
    PgResult claimed = db->Query(
        claim.c_str(), PgParams().Text(message.id).Int(front_end_).Int(kServiceOutboxClaimSeconds));
    if (!claimed.ok()) return false;
    if (claimed.rows() == 1) messages->push_back(std::move(message));
  }
  return true;
}

bool PgStore::MarkMessageDelivered(std::string_view id) {
  if (!outbox_ || !outbox_->MarkDelivered(id)) return false;
  ForgetMessageClaim(id);
  return true;
}

bool PgStore::MarkMessageRefused(std::string_view id, std::string_view answer) {
  if (!outbox_ || !outbox_->MarkRefused(id, answer)) return false;
  ForgetMessageClaim(id);
  return true;
}

std::optional<int64_t> PgStore::CountPendingMessages() {
  if (!outbox_) return std::nullopt;
  return outbox_->CountPending();
}

void PgStore::ForgetMessageClaim(std::string_view id) {
  PgPool::Lease db = pool_.Acquire();
  // A row left behind names no waiting message: it lapses and the cleanup of ended
  // processes removes it.
  (void)db->Query("DELETE FROM outbox_claims WHERE message = $1", PgParams().Text(id));
}

}  // namespace nvx::service

#include "service/store/pg_schema.h"

#include <iterator>

#include "platform/text_format.h"

namespace nvx::service {
namespace {

// The same meaning as the embedded store's schema of the same version, in the shared
// database's terms: sequences for the ids, bytes for names (with a folded key where a
// name is compared without letter case).
constexpr const char* kMigrations[] = {
    // 1: accounts, their folders and documents.
    R"sql(
CREATE TABLE accounts(
  key bigserial PRIMARY KEY,
  id bytea NOT NULL,
  id_key bytea NOT NULL UNIQUE,
  password_digest bytea NOT NULL,
  quota bigint NOT NULL,
  used bigint NOT NULL DEFAULT 0,
  encrypt boolean NOT NULL DEFAULT false,
  state text NOT NULL DEFAULT 'active',
  email bytea NOT NULL DEFAULT ''::bytea,
  admin_email bytea NOT NULL DEFAULT ''::bytea);
CREATE TABLE folders(
  id bigserial PRIMARY KEY,
  account bigint NOT NULL REFERENCES accounts(key),
  parent bigint NOT NULL,
  name bytea NOT NULL,
  name_key bytea NOT NULL,
  access text NOT NULL,
  compressed boolean NOT NULL DEFAULT false,
  UNIQUE(account, parent, name_key));
CREATE TABLE documents(
  vid bigserial PRIMARY KEY,
  folder bigint NOT NULL REFERENCES folders(id),
  name bytea NOT NULL,
  size bigint NOT NULL,
  full_size bigint NOT NULL,
  date_stamp text NOT NULL,
  digest bytea NOT NULL,
  complete boolean NOT NULL,
  blob text NOT NULL,
  UNIQUE(folder, name));
)sql",
    // 2: the digest state of an incomplete document; the claims of uploads in flight and
    // the writers of documents, each owned by a front end; the front ends' numbers.
    R"sql(
ALTER TABLE documents ADD COLUMN digest_state bytea;
CREATE TABLE upload_claims(
  id bigserial PRIMARY KEY,
  account bigint NOT NULL REFERENCES accounts(key),
  front_end bigint NOT NULL,
  bytes bigint NOT NULL,
  expires timestamptz NOT NULL);
CREATE INDEX upload_claims_account ON upload_claims(account);
CREATE TABLE document_writers(
  vid bigint PRIMARY KEY,
  front_end bigint NOT NULL,
  token bigint NOT NULL);
CREATE SEQUENCE front_end_numbers;
)sql",
    // 3: which front end delivers a waiting message of the outbox. Claims live only as
    // long as their front end's session: after a crash of the database server there is
    // none left to honour, so their tables are not written to its log, and a change of
    // them alone does not wait for the log's flush.
    R"sql(
ALTER TABLE upload_claims SET UNLOGGED;
ALTER TABLE document_writers SET UNLOGGED;
CREATE UNLOGGED TABLE outbox_claims(
  message text PRIMARY KEY,
  front_end bigint NOT NULL,
  expires timestamptz NOT NULL);
)sql",
};
constexpr int kVersion = static_cast<int>(std::size(kMigrations));

}  // namespace

int PgSchemaVersion() {
  return kVersion;
}

std::string PgFrontEndLives(const std::string& column) {
  return StrFormat(
      "EXISTS (SELECT 1 FROM pg_locks l WHERE l.locktype = 'advisory' AND l.granted"
      " AND l.database = (SELECT oid FROM pg_database WHERE datname = current_database())"
      " AND l.classid = %d AND l.objsubid = 2 AND l.objid::int8 = %s)",
      kPgFrontEndLock, column.c_str());
}

bool MigratePgSchema(PgConnection& db, std::string* error) {
  for (;;) {
    PgTransaction transaction(db);
    bool ready =
        transaction.ok() &&
        db.Query("SELECT pg_advisory_xact_lock($1, 0)", PgParams().Int(kPgMigrationLock)).ok() &&
        db.Execute("CREATE TABLE IF NOT EXISTS schema_version(version integer NOT NULL)");
    PgResult version;
    if (ready) version = db.Query("SELECT coalesce(max(version), 0)::int8 FROM schema_version");
    if (!ready || !version.ok()) {
      *error = db.error_text();
      return false;
    }
    int64_t current = version.Int(0, 0);
    if (current > kVersion) {
      *error = StrFormat("the database has schema version %lld; this nvxserver knows up to %d",
                         static_cast<long long>(current), kVersion);
      return false;
    }
    if (current == kVersion) return true;
    if (!db.Execute(kMigrations[current]) || !db.Query("DELETE FROM schema_version").ok() ||
        !db.Query("INSERT INTO schema_version(version) VALUES($1)", PgParams().Int(current + 1))
             .ok() ||
        !transaction.Commit()) {
      *error = db.error_text();
      return false;
    }
  }
}

}  // namespace nvx::service

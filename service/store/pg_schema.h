// The shared store's schema in versions, and the database locks its processes agree on.
// Each version is applied once, in order, in one transaction that also records it, while
// the transaction holds the migration lock: several front ends that start at once bring
// the schema up to date exactly once. A database whose version is newer than this
// program knows is refused. Any thread, on a connection of its own.
#ifndef NVX_SERVICE_STORE_PG_SCHEMA_H_
#define NVX_SERVICE_STORE_PG_SCHEMA_H_

#include <string>

#include "service/store/pg_connection.h"

namespace nvx::service {

// Classes of the advisory locks (the first of their two keys).
inline constexpr int kPgMigrationLock = 0;  // with key 0: schema changes
inline constexpr int kPgOutboxLock = 1;     // with an account's key: its outbox
inline constexpr int kPgFrontEndLock = 2;   // with a front-end number: that process lives
inline constexpr int kPgClaimLock = 3;      // with an account's key: its upload claims

// An SQL condition that is true when the process with front-end number `column` (an
// expression of type bigint) still holds its front-end lock on this database: a call of
// the database's function front_end_lives (schema version 4), which the claims' own
// function uses too.
std::string PgFrontEndLives(const std::string& column);

// Brings the schema of the database behind `db` up to date. False with a message.
bool MigratePgSchema(PgConnection& db, std::string* error);

// The version this program brings a database to.
int PgSchemaVersion();

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_PG_SCHEMA_H_

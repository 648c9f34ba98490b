// nvxserver migrate: moves the embedded store of a data folder into the shared store's
// database. Accounts, folders and documents keep their keys, ids and version ids (so a
// client's cached ids stay right), and the database's sequences continue after them.
// The database part is one transaction: a cut leaves the target as empty as it was, so
// the command can simply be run again; a target that holds any account is refused. Blobs
// stay in the data folder's blob folder, or are copied first to `--blobs DIR` (a copy
// already there whole is kept, so a re-run after a cut copies only the rest). The
// outbox's message files are copied into the outbox of `--data DIR` when that names
// another data folder; otherwise the data folder stays the front ends' data folder.
// The server on the source folder must be stopped first. Runs on the program's main
// thread.
#ifndef NVX_SERVICE_MIGRATION_H_
#define NVX_SERVICE_MIGRATION_H_

#include <string>

#include "service/command_line.h"

namespace nvx::service {

// Returns the exit code; what it did goes to `out`, failures to `err`.
int RunMigration(const CommandLine& command, std::string* out, std::string* err);

}  // namespace nvx::service

#endif  // NVX_SERVICE_MIGRATION_H_

// The administration commands of nvxserver (account, folder and document commands on a
// data folder), run while a server uses the same folder or not. Each command is one
// store transaction: it happens whole or not at all. Runs on the program's main thread.
#ifndef NVX_SERVICE_ADMINISTRATION_H_
#define NVX_SERVICE_ADMINISTRATION_H_

#include <string>

#include "service/command_line.h"
#include "service/store/blob_store.h"
#include "service/store/store.h"

namespace nvx::service {

// Runs `command` (an administration action); what it reports goes to `out`, failures to
// `err`. Returns the exit code.
int RunAdministration(const CommandLine& command, std::string* out, std::string* err);

// Stores the first `bytes` of `file` (all of it when not given; an incomplete document
// when fewer) as document `path` (folders, then the name) of `account`. Returns the exit
// code; the new version id goes to `vid`.
int ImportDocument(Store& store, const BlobStore& blobs, const Account& account,
                   const CommandLine& command, int64_t* vid, std::string* err);

}  // namespace nvx::service

#endif  // NVX_SERVICE_ADMINISTRATION_H_

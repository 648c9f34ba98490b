// The command line of nvxserver: serving, and the administration of accounts, folders
// and documents on the same data folder. Parsing checks every argument before anything is
// touched, so a bad argument changes nothing. Pure functions; any thread.
//
//   nvxserver --data DIR [--listen ADDR:PORT] [--connections N] [--connections-per-address N]
//             [--header-timeout MS] [--idle-timeout MS]
//             [--smtp HOST:PORT [--smtp-from ADDR] [--smtp-retry MS]] [--metrics ADDR:PORT]
//             [--tls-cert FILE --tls-key FILE [--listen ADDR:PORT]]
//   nvxserver --data DIR account add ID PASSWORD [--quota BYTES] [--encrypt]
//   nvxserver --data DIR account set ID [--password P] [--quota B] [--encrypt on|off]
//             [--state active|disabled|expired] [--email ADDR] [--admin-email ADDR]
//   nvxserver --data DIR account list
//   nvxserver --data DIR folder add ID \Path [--access W|V|N] [--compressed]
//   nvxserver --data DIR folder list ID
//   nvxserver --data DIR doc add ID \Path\Name FILE [--date STAMP] [--incomplete BYTES]
//   nvxserver --data DIR doc list ID \Path
//   nvxserver --data DIR doc get ID \Path\Name [FILE]
// and the store's options and the migrate command (command_line_store.h).
#ifndef NVX_SERVICE_COMMAND_LINE_H_
#define NVX_SERVICE_COMMAND_LINE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "service/command_line_store.h"
#include "service/http/connection_settings.h"
#include "service/mail_delivery.h"
#include "service/store/store.h"

namespace nvx::service {

// Exit codes of nvxserver.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the command could not be carried out
inline constexpr int kExitBadArguments = 2;

// A new account's quota when none is given: 5 GiB.
inline constexpr int64_t kDefaultQuota = int64_t{5} << 30;

// Where the metrics page is served.
struct MetricsListen {
  std::string host;
  int port = 0;
};

// The certificate (PEM, the chain after it) and private key of the TLS listener.
struct TlsFiles {
  std::string cert;
  std::string key;
};

struct CommandLine {
  enum class Action {
    kHelp,
    kServe,
    kAccountAdd,
    kAccountSet,
    kAccountList,
    kFolderAdd,
    kFolderList,
    kDocumentAdd,
    kDocumentList,
    kDocumentGet,
    kMigrate,
  };
  Action action = Action::kServe;
  std::string data_folder;
  std::string listen_host = "127.0.0.1";
  int listen_port = 8080;
  // With TLS, the first listener speaks TLS; a second --listen serves plain HTTP beside it
  // (for local tools).
  std::optional<TlsFiles> tls;
  std::optional<MetricsListen> plain_listen;
  ConnectionSettings connection;
  // Which store, where its blobs are, their cleanup; the migrate command's source.
  StoreOptions store;
  // Serving, the operator's side (command_line_operations.h): mail delivery to an SMTP
  // relay, and the listener of the metrics page.
  std::optional<MailSettings> mail;
  std::optional<MetricsListen> metrics;

  std::string account_id;
  std::optional<std::string> password;  // account add; account set --password
  // account set: the other changes (the password digest is made from `password`);
  // quota and encryption also for account add.
  AccountChanges changes;
  std::vector<std::string> path;  // folder and document paths, one name per component
  char access = kAccessWrite;
  bool compressed = false;
  std::string file;  // doc add: the local file; doc get: where to write (empty: standard output)
  std::optional<std::string> date_stamp;
  std::optional<int64_t> incomplete_bytes;
};

struct ParsedCommandLine {
  std::optional<CommandLine> command;
  std::string error;  // why the arguments were refused
};

// `arguments` without the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

std::string UsageText();

// A server path "\A\B" as its names; nothing when a name is not valid.
std::optional<std::vector<std::string>> SplitServerPath(std::string_view path);

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMAND_LINE_H_

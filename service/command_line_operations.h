// The serving options for the operator's side of a running server: mail delivery to an
// SMTP relay, the metrics listener and the TLS listener's certificate. Kept apart from the other
// options so that each group reads on its own. Pure functions; any thread.
//
//   --smtp HOST:PORT   deliver the outbox's messages to this relay
//   --smtp-from ADDR   the sender of those messages (default nvxserver@localhost)
//   --smtp-retry MS    the first pause after a temporary failure (default 30 s)
//   --metrics ADDR:PORT  serve GET /metrics there (port 0: a free port, printed on the
//                        line after the users' listeners' ports)
//   --tls-cert FILE    the PEM certificate (and its chain) of the TLS listener
//   --tls-key FILE     its PEM private key; both or neither
#ifndef NVX_SERVICE_COMMAND_LINE_OPERATIONS_H_
#define NVX_SERVICE_COMMAND_LINE_OPERATIONS_H_

#include <string>
#include <string_view>

namespace nvx::service {

struct CommandLine;

// True for the options above.
bool IsOperationsOption(std::string_view option);
// Takes one of them with its value into `command`; the reason when it is refused.
std::string ParseOperationsOption(std::string_view option, std::string_view value,
                                  CommandLine* command);
// Checks the options together once all are read; the reason when they do not fit.
std::string CheckOperationsOptions(const CommandLine& command);

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMAND_LINE_OPERATIONS_H_

#include "service/command_line_operations.h"

#include <algorithm>

#include "service/command_line.h"
#include "wire/request_fields.h"

namespace nvx::service {
namespace {

constexpr size_t kHostMax = 253;
constexpr size_t kSenderMax = 254;

// "HOST:PORT" with a port of 1 to 65535 (0 too when `any_port`).
bool ParseHostPort(std::string_view text, bool any_port, std::string* host, int* port) {
  size_t colon = text.rfind(':');
  if (colon == 0 || colon == std::string_view::npos || colon > kHostMax) return false;
  std::string_view name = text.substr(0, colon);
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F) return false;
  }
  std::optional<int64_t> number = ParseDecimal(text.substr(colon + 1));
  if (!number || *number > 65535 || (*number == 0 && !any_port)) return false;
  *host = std::string(name);
  *port = static_cast<int>(*number);
  return true;
}

// A sender address as it may stand in "MAIL FROM:<...>": one "@" inside, printable, no
// blank or angle bracket.
bool IsSenderAddress(std::string_view text) {
  if (text.empty() || text.size() > kSenderMax) return false;
  size_t at = text.find('@');
  if (at == 0 || at == std::string_view::npos || at + 1 == text.size() ||
      text.find('@', at + 1) != std::string_view::npos) {
    return false;
  }
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F || c == '<' || c == '>' || c == ',' || c == ';' || c == '"') {
      return false;
    }
  }
  return true;
}

}  // namespace

bool IsOperationsOption(std::string_view option) {
  return option == "--smtp" || option == "--smtp-from" || option == "--smtp-retry" ||
         option == "--metrics" || option == "--tls-cert" || option == "--tls-key";
}

std::string ParseOperationsOption(std::string_view option, std::string_view value,
                                  CommandLine* command) {
  if (option == "--metrics") {
    MetricsListen listen;
    if (!ParseHostPort(value, true, &listen.host, &listen.port)) return "--metrics takes ADDR:PORT";
    command->metrics = listen;
    return {};
  }
  if (option == "--tls-cert" || option == "--tls-key") {
    if (value.empty()) return std::string(option) + " takes a file";
    TlsFiles& tls = command->tls ? *command->tls : command->tls.emplace();
    (option == "--tls-cert" ? tls.cert : tls.key) = std::string(value);
    return {};
  }
  MailSettings& mail = command->mail ? *command->mail : command->mail.emplace();
  if (option == "--smtp") {
    if (!ParseHostPort(value, false, &mail.relay_host, &mail.relay_port)) {
      return "--smtp takes HOST:PORT";
    }
  } else if (option == "--smtp-from") {
    if (!IsSenderAddress(value)) return "--smtp-from takes an e-mail address";
    mail.sender = std::string(value);
  } else {
    std::optional<int64_t> millis = ParseDecimal(value);
    if (!millis || *millis < 1 || *millis > 86400000) return "--smtp-retry takes a number from 1";
    mail.retry_first_millis = *millis;
    mail.retry_max_millis = std::max(mail.retry_max_millis, *millis);
  }
  return {};
}

std::string CheckOperationsOptions(const CommandLine& command) {
  if (command.mail && command.mail->relay_host.empty()) {
    return "--smtp-from and --smtp-retry apply only with --smtp";
  }
  if (command.tls && (command.tls->cert.empty() || command.tls->key.empty())) {
    return "--tls-cert and --tls-key go together";
  }
  if (command.plain_listen && !command.tls) {
    return "a second --listen serves beside TLS: it needs --tls-cert and --tls-key";
  }
  return {};
}

}  // namespace nvx::service

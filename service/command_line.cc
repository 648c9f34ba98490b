#include "service/command_line.h"

#include "platform/text_format.h"
#include "service/command_line_operations.h"
#include "service/commands/names.h"
#include "wire/date_stamp.h"
#include "wire/request_fields.h"

namespace nvx::service {
namespace {

// The library keeps a user id in 63 characters and a password in 32.
constexpr size_t kAccountIdMax = 63;
constexpr size_t kPasswordMax = 32;
constexpr size_t kEmailMax = 254;

using Arguments = std::vector<std::string>;

bool IsPrintableWord(std::string_view text, size_t max) {
  if (text.empty() || text.size() > max) return false;
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F) return false;
  }
  return true;
}

bool IsPrintableText(std::string_view text, size_t max) {
  if (text.empty() || text.size() > max) return false;
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return false;
  }
  return true;
}

// An address may be set to empty, which clears it.
bool IsEmailAddress(std::string_view text) {
  return text.empty() || (IsPrintableWord(text, kEmailMax) && text.find('@') != 0 &&
                          text.find('@') != std::string_view::npos && text.back() != '@' &&
                          text.find_first_of("<>,;\"") == std::string_view::npos);
}

// Walks the options of a subcommand, which follow its positional words.
class OptionReader {
 public:
  OptionReader(const Arguments& arguments, size_t next) : arguments_(arguments), next_(next) {}

  bool Done() const { return next_ >= arguments_.size(); }
  const std::string& Name() const { return arguments_[next_]; }
  // The value after the option; nothing when it is missing.
  std::optional<std::string> TakeValue() {
    if (next_ + 1 >= arguments_.size()) return std::nullopt;
    next_ += 2;
    return arguments_[next_ - 1];
  }
  void TakeFlag() { ++next_; }

 private:
  const Arguments& arguments_;
  size_t next_;
};

std::string ParseAccountOptions(OptionReader& options, CommandLine* command, bool adding) {
  while (!options.Done()) {
    std::string name = options.Name();
    if (adding && name == "--encrypt") {
      options.TakeFlag();
      command->changes.encrypt = true;
      continue;
    }
    std::optional<std::string> value = options.TakeValue();
    if (!value) return "option " + name + " needs a value";
    if (name == "--quota") {
      std::optional<int64_t> quota = ParseDecimal(*value);
      if (!quota) return "quota must be a number of bytes: " + *value;
      command->changes.quota = *quota;
    } else if (!adding && name == "--password") {
      if (!IsPrintableText(*value, kPasswordMax)) return "password must be 1 to 32 characters";
      command->password = *value;
    } else if (!adding && name == "--encrypt") {
      if (*value != "on" && *value != "off") return "--encrypt takes on or off";
      command->changes.encrypt = *value == "on";
    } else if (!adding && name == "--state") {
      command->changes.state = ParseAccountState(*value);
      if (!command->changes.state) return "state must be active, disabled or expired";
    } else if (!adding && (name == "--email" || name == "--admin-email")) {
      if (!IsEmailAddress(*value)) return "not an e-mail address: " + *value;
      (name == "--email" ? command->changes.email : command->changes.admin_email) = *value;
    } else {
      return "unknown option " + name;
    }
  }
  return {};
}

std::string ParseFolderOptions(OptionReader& options, CommandLine* command) {
  while (!options.Done()) {
    std::string name = options.Name();
    if (name == "--compressed") {
      options.TakeFlag();
      command->compressed = true;
      continue;
    }
    if (name != "--access") return "unknown option " + name;
    std::optional<std::string> value = options.TakeValue();
    if (!value || value->size() != 1 ||
        std::string_view("WVN").find((*value)[0]) == std::string_view::npos) {
      return "--access takes W, V or N";
    }
    command->access = (*value)[0];
  }
  return {};
}

std::string ParseDocumentOptions(OptionReader& options, CommandLine* command) {
  while (!options.Done()) {
    std::string name = options.Name();
    std::optional<std::string> value = options.TakeValue();
    if (!value) return "option " + name + " needs a value";
    if (name == "--date") {
      if (!IsDateStamp(*value)) return "not a date stamp (14 hexadecimal digits): " + *value;
      command->date_stamp = *value;
    } else if (name == "--incomplete") {
      command->incomplete_bytes = ParseDecimal(*value);
      if (!command->incomplete_bytes) return "--incomplete takes a number of bytes";
    } else {
      return "unknown option " + name;
    }
  }
  return {};
}

std::string ParseNothingMore(const OptionReader& options) {
  return options.Done() ? std::string() : "unexpected argument " + options.Name();
}

// doc get: the local file to write, when one follows the document path.
std::string ParseOptionalFile(OptionReader& options, CommandLine* command) {
  if (options.Done()) return {};
  if (options.Name().empty() || options.Name().rfind("--", 0) == 0) {
    return "unexpected argument " + options.Name();
  }
  command->file = options.Name();
  options.TakeFlag();
  return ParseNothingMore(options);
}

// The first --listen is the users' listener; a second one the plain listener beside TLS.
std::string ParseListen(std::string_view text, int earlier, CommandLine* command) {
  size_t colon = text.rfind(':');
  if (colon == 0 || colon == std::string_view::npos) return "--listen takes ADDR:PORT";
  std::optional<int64_t> port = ParseDecimal(text.substr(colon + 1));
  if (!port || *port > 65535) return "not a port: " + std::string(text.substr(colon + 1));
  if (earlier >= 2) return "--listen may be given twice at most";
  if (earlier == 1) {
    command->plain_listen =
        MetricsListen{std::string(text.substr(0, colon)), static_cast<int>(*port)};
    return {};
  }
  command->listen_host = std::string(text.substr(0, colon));
  command->listen_port = static_cast<int>(*port);
  return {};
}

// The serving options that bound connections: a count or a time of at least 1.
std::string ParseConnectionOption(std::string_view option, std::string_view value,
                                  ConnectionSettings* settings) {
  std::optional<int64_t> number = ParseDecimal(value);
  if (!number || *number < 1 || *number > 86400000) {
    return std::string(option) + " takes a number from 1";
  }
  if (option == "--connections") {
    settings->connections = static_cast<size_t>(*number);
  } else if (option == "--connections-per-address") {
    settings->connections_per_address = static_cast<size_t>(*number);
  } else if (option == "--header-timeout") {
    settings->header_timeout_millis = static_cast<int>(*number);
  } else {
    settings->idle_timeout_millis = static_cast<int>(*number);
  }
  return {};
}

bool IsConnectionOption(std::string_view option) {
  return option == "--connections" || option == "--connections-per-address" ||
         option == "--header-timeout" || option == "--idle-timeout";
}

// Parses the words after the global options.
std::string ParseAction(const Arguments& words, size_t at, CommandLine* command) {
  auto word = [&](size_t i) -> std::string_view {
    return at + i < words.size() ? std::string_view(words[at + i]) : std::string_view();
  };
  std::string_view group = word(0);
  std::string_view verb = word(1);
  size_t positional = 0;
  using Action = CommandLine::Action;
  if (group == "account" && verb == "add") {
    command->action = Action::kAccountAdd;
    positional = 2;
  } else if (group == "account" && verb == "set") {
    command->action = Action::kAccountSet;
    positional = 1;
  } else if (group == "account" && verb == "list") {
    command->action = Action::kAccountList;
  } else if (group == "folder" && verb == "add") {
    command->action = Action::kFolderAdd;
    positional = 2;
  } else if (group == "folder" && verb == "list") {
    command->action = Action::kFolderList;
    positional = 1;
  } else if (group == "doc" && verb == "add") {
    command->action = Action::kDocumentAdd;
    positional = 3;
  } else if (group == "doc" && verb == "list") {
    command->action = Action::kDocumentList;
    positional = 2;
  } else if (group == "doc" && verb == "get") {
    command->action = Action::kDocumentGet;
    positional = 2;
  } else {
    return "unknown command: " + std::string(group) + " " + std::string(verb);
  }
  size_t first = at + 2;
  for (size_t i = 0; i < positional; ++i) {
    if (first + i >= words.size() || words[first + i].rfind("--", 0) == 0) {
      return "missing arguments for " + std::string(group) + " " + std::string(verb);
    }
  }
  if (positional > 0) {
    command->account_id = words[first];
    if (!IsPrintableWord(command->account_id, kAccountIdMax)) {
      return "an account id is 1 to 63 characters without blanks";
    }
  }
  OptionReader options(words, first + positional);
  switch (command->action) {
    case Action::kAccountAdd:
      if (!IsPrintableText(words[first + 1], kPasswordMax)) {
        return "password must be 1 to 32 characters";
      }
      command->password = words[first + 1];
      return ParseAccountOptions(options, command, true);
    case Action::kAccountSet:
      return ParseAccountOptions(options, command, false);
    case Action::kFolderAdd:
    case Action::kDocumentAdd:
    case Action::kDocumentList:
    case Action::kDocumentGet: {
      std::optional<std::vector<std::string>> path = SplitServerPath(words[first + 1]);
      if (!path) return "not a server path (\\Folder\\...): " + words[first + 1];
      command->path = *path;
      if (command->action == Action::kFolderAdd) return ParseFolderOptions(options, command);
      if (command->action == Action::kDocumentList) return ParseNothingMore(options);
      if (command->path.size() < 2) return "a document path names a folder and a name";
      if (command->action == Action::kDocumentGet) return ParseOptionalFile(options, command);
      command->file = words[first + 2];
      return ParseDocumentOptions(options, command);
    }
    default:
      return ParseNothingMore(options);
  }
}

}  // namespace

std::optional<std::vector<std::string>> SplitServerPath(std::string_view path) {
  if (path.empty() || path.front() != '\\') return std::nullopt;
  std::vector<std::string> names;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view name = path.substr(start, end - start);
    if (!name.empty()) {
      if (!IsValidName(name)) return std::nullopt;
      names.emplace_back(name);
    }
    start = end + 1;
  }
  if (names.empty()) return std::nullopt;
  return names;
}

ParsedCommandLine ParseCommandLine(const Arguments& arguments) {
  ParsedCommandLine parsed;
  CommandLine command;
  size_t at = 0;
  bool serving_option_given = false;
  int listens = 0;
  while (at < arguments.size() && arguments[at].rfind("--", 0) == 0) {
    const std::string& option = arguments[at];
    if (option == "--help") {
      command.action = CommandLine::Action::kHelp;
      parsed.command = command;
      return parsed;
    }
    if (at + 1 >= arguments.size()) {
      parsed.error = "option " + option + " needs a value";
      return parsed;
    }
    const std::string& value = arguments[at + 1];
    if (option == "--data") {
      command.data_folder = value;
    } else if (option == "--listen") {
      parsed.error = ParseListen(value, listens++, &command);
      if (!parsed.error.empty()) return parsed;
      serving_option_given = true;
    } else if (bool serving_only = false; IsStoreOption(option, &serving_only)) {
      parsed.error = ParseStoreOption(option, value, &command.store);
      if (!parsed.error.empty()) return parsed;
      serving_option_given |= serving_only;
    } else if (IsConnectionOption(option)) {
      parsed.error = ParseConnectionOption(option, value, &command.connection);
      if (!parsed.error.empty()) return parsed;
      serving_option_given = true;
    } else if (IsOperationsOption(option)) {
      parsed.error = ParseOperationsOption(option, value, &command);
      if (!parsed.error.empty()) return parsed;
      serving_option_given = true;
    } else {
      parsed.error = "unknown option " + option;
      return parsed;
    }
    at += 2;
  }
  if (IsMigrateCommand(arguments, at) && !serving_option_given) {
    command.action = CommandLine::Action::kMigrate;
    parsed.error = ParseMigrateCommand(arguments, at, &command.store);
    if (parsed.error.empty()) parsed.command = command;
    return parsed;
  }
  if (command.data_folder.empty()) {
    parsed.error = "--data DIR is required";
    return parsed;
  }
  parsed.error = CheckOperationsOptions(command);
  if (!parsed.error.empty()) return parsed;
  if (at < arguments.size()) {
    if (serving_option_given) {
      parsed.error = "--listen, the connection, mail and metrics options apply only to serving";
      return parsed;
    }
    parsed.error = ParseAction(arguments, at, &command);
    if (!parsed.error.empty()) return parsed;
  }
  parsed.command = command;
  return parsed;
}

std::string UsageText() {
  return "usage:\n"
         "  nvxserver --data DIR [--listen ADDR:PORT] [--connections N]"
         " [--connections-per-address N]\n"
         "            [--header-timeout MS] [--idle-timeout MS]\n"
         "            [--smtp HOST:PORT [--smtp-from ADDR] [--smtp-retry MS]]"
         " [--metrics ADDR:PORT]\n"
         "            [--tls-cert FILE --tls-key FILE [--listen ADDR:PORT]]\n"
         "      (with TLS the first --listen serves TLS, a second one plain HTTP;\n"
         "       SIGHUP reads the certificate and key again)\n"
         "  nvxserver --data DIR account add ID PASSWORD [--quota BYTES] [--encrypt]\n"
         "  nvxserver --data DIR account set ID [--password P] [--quota B]"
         " [--encrypt on|off]\n"
         "            [--state active|disabled|expired] [--email ADDR] [--admin-email ADDR]\n"
         "  nvxserver --data DIR account list\n"
         "  nvxserver --data DIR folder add ID \\Path [--access W|V|N] [--compressed]\n"
         "  nvxserver --data DIR folder list ID\n"
         "  nvxserver --data DIR doc add ID \\Path\\Name FILE [--date STAMP]"
         " [--incomplete BYTES]\n"
         "  nvxserver --data DIR doc list ID \\Path\n"
         "  nvxserver --data DIR doc get ID \\Path\\Name [FILE]\n" +
         StoreUsageText();
}

}  // namespace nvx::service

// nvxserver: the storage service stand-in. Serves the library's requests, or runs one
// administration command on a data folder.
#include <cstdio>
#include <string>
#include <vector>

#include "service/administration.h"
#include "service/command_line.h"
#include "service/migration.h"
#include "service/server_run.h"

int main(int argc, char** argv) {
  using nvx::service::CommandLine;
  std::vector<std::string> arguments(argv + 1, argv + argc);
  nvx::service::ParsedCommandLine parsed = nvx::service::ParseCommandLine(arguments);
  if (!parsed.command) {
    std::fprintf(stderr, "nvxserver: %s\n%s", parsed.error.c_str(),
                 nvx::service::UsageText().c_str());
    return nvx::service::kExitBadArguments;
  }
  const CommandLine& command = *parsed.command;
  std::string out;
  std::string err;
  int code;
  if (command.action == CommandLine::Action::kHelp) {
    out = nvx::service::UsageText();
    code = nvx::service::kExitOk;
  } else if (command.action == CommandLine::Action::kServe) {
    code = nvx::service::RunServer(command, &err);
  } else if (command.action == CommandLine::Action::kMigrate) {
    code = nvx::service::RunMigration(command, &out, &err);
  } else {
    code = nvx::service::RunAdministration(command, &out, &err);
  }
  std::fputs(out.c_str(), stdout);
  if (!err.empty())
    std::fprintf(stderr, "nvxserver: %s%s", err.c_str(), err.back() == '\n' ? "" : "\n");
  if (code == nvx::service::kExitBadArguments)
    std::fputs(nvx::service::UsageText().c_str(), stderr);
  return code;
}

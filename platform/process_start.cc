#include "platform/process_start.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

namespace nvx::platform {

int64_t CurrentProcessId() {
  return static_cast<int64_t>(::getpid());
}

int64_t CurrentUserId() {
  return static_cast<int64_t>(::getuid());
}

bool ProcessIsRunning(int64_t pid) {
  if (pid <= 0 || pid != static_cast<pid_t>(pid)) return false;
  if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
  // A zombie still answers kill(); its state letter in /proc says it has ended.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return true;
  const size_t name_end = text.rfind(')');
  if (name_end == std::string::npos || name_end + 2 >= text.size()) return true;
  const char state = text[name_end + 2];
  return state != 'Z' && state != 'X';
}

int StartDetachedProgram(const std::vector<std::string>& arguments,
                         const std::string& output_file) {
  if (arguments.empty()) return EINVAL;
  if (::access(arguments[0].c_str(), X_OK) != 0) return errno;
  // Everything the children use is made before fork: between fork and exec only
  // async-signal-safe calls are allowed in a process with threads.
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const char* output = output_file.empty() ? "/dev/null" : output_file.c_str();

  const pid_t child = ::fork();
  if (child < 0) return errno;
  if (child == 0) {
    // The child starts a session and the grandchild runs the program, so that the program
    // is nobody's child here and is collected by the system when it ends.
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
    const int input = ::open("/dev/null", O_RDONLY);
    int out = ::open(output, O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (out < 0) out = ::open("/dev/null", O_WRONLY);
    if (input >= 0) ::dup2(input, STDIN_FILENO);
    if (out >= 0) {
      ::dup2(out, STDOUT_FILENO);
      ::dup2(out, STDERR_FILENO);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return ECHILD;
  return 0;
}

}  // namespace nvx::platform

// The memory a "FolderList" reply costs: builds a reply text of one shape, parses it as
// the FolderList command does (the reply body is held while the tree is built) and
// prints the process's peak resident size. One shape per run, so that each peak is its
// own:
//   minimal    kFolderListMaxFolders lines of the shortest form "0 TAB LF"
//   widest     kFolderListMaxFolders lines as long as the reply body limit allows, each
//              with a long name and a full-width folder id
//   oversized  a reply body limit's worth of minimal lines, far beyond the bound
// Goal: every shape stays under 256 MiB.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "protocol/folder_tree.h"
#include "protocol/library_limits.h"

namespace nvx {
namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr double kGoalMiB = 256;

// The peak resident size of this process, in bytes (VmHWM of /proc/self/status).
double PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) * 1024.0;
  }
  return 0;
}

std::string ReplyText(std::string_view shape) {
  std::string text;
  if (shape == "minimal") {
    for (size_t i = 0; i < kFolderListMaxFolders; ++i) text += "0\t\n";
  } else if (shape == "widest") {
    const size_t line_bytes = static_cast<size_t>(kCommandReplyBodyMax) / kFolderListMaxFolders;
    // "1 TAB name TAB W TAB id LF", the id at its full width.
    const std::string id(kFolderIdMax, '7');
    const size_t name_bytes = std::min(kFolderNameMax, line_bytes - 6 - id.size());
    const std::string line = "1\t" + std::string(name_bytes, 'n') + "\tW\t" + id + "\n";
    text.reserve(line.size() * kFolderListMaxFolders);
    for (size_t i = 0; i < kFolderListMaxFolders; ++i) {
      // Names differ, as they would: the last characters count the line.
      std::string numbered = line;
      std::string number = std::to_string(i);
      numbered.replace(2 + name_bytes - number.size(), number.size(), number);
      text += numbered;
    }
  } else if (shape == "oversized") {
    text.reserve(static_cast<size_t>(kCommandReplyBodyMax));
    while (text.size() + 3 <= static_cast<size_t>(kCommandReplyBodyMax)) text += "0\t\n";
  }
  return text;
}

int Measure(std::string_view shape) {
  std::string text = ReplyText(shape);
  if (text.empty()) return 2;
  FolderListParse parsed = ParseFolderList(text);
  const size_t folders = parsed.tree ? parsed.tree->records.size() - 1 : 0;
  const double peak_mib = PeakResidentBytes() / kMiB;
  std::printf("%-9s  %7zu folders  reply %6.1f MiB  peak %6.1f MiB  (goal < %.0f MiB) %s%s\n",
              std::string(shape).c_str(), folders, static_cast<double>(text.size()) / kMiB,
              peak_mib, kGoalMiB, peak_mib < kGoalMiB ? "ok" : "OVER",
              parsed.message.empty() ? "" : ("  " + parsed.message).c_str());
  return peak_mib < kGoalMiB ? 0 : 1;
}

}  // namespace
}  // namespace nvx

int main(int argc, char** argv) {
  if (argc == 2) {
    int result = nvx::Measure(argv[1]);
    if (result != 2) return result;
  }
  std::fprintf(stderr, "usage: %s minimal|widest|oversized\n", argv[0]);
  return 2;
}

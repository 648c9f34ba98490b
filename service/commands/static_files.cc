#include "service/commands/static_files.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "platform/file_system.h"
#include "platform/text_format.h"
#include "service/store/service_limits.h"

namespace nvx::service {
namespace {

constexpr std::array<std::string_view, 3> kServedFolders = {"/uploadmanager/", "/install/",
                                                            "/pub/"};
constexpr std::string_view kUpdateNotice = "/Norrvault_Backup_Update1.html";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "%XX" unescaped; "+" stays (it is a blank only in queries).
std::optional<std::string> UnescapePath(std::string_view path) {
  std::string out;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] != '%') {
      out.push_back(path[i]);
      continue;
    }
    if (path.size() - i < 3 || HexValue(path[i + 1]) < 0 || HexValue(path[i + 2]) < 0) {
      return std::nullopt;
    }
    out.push_back(static_cast<char>(HexValue(path[i + 1]) * 16 + HexValue(path[i + 2])));
    i += 2;
  }
  return out;
}

bool IsServedPath(std::string_view path) {
  if (path == kUpdateNotice) return true;
  for (std::string_view folder : kServedFolders) {
    if (path.size() > folder.size() && path.substr(0, folder.size()) == folder) return true;
  }
  return false;
}

// Every component a plain name: no ".", "..", backslash or control character.
bool HasPlainComponents(std::string_view path) {
  size_t start = 1;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view component = path.substr(start, end - start);
    if (component == "." || component == "..") return false;
    start = end + 1;
  }
  for (char c : path) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '\\') return false;
  }
  return true;
}

std::string ContentTypeOf(std::string_view path) {
  auto ends_with = [&](std::string_view ending) {
    return path.size() >= ending.size() &&
           EqualsIgnoreCase(path.substr(path.size() - ending.size()), ending);
  };
  if (ends_with(".html") || ends_with(".htm")) return "text/html";
  if (ends_with(".txt")) return "text/plain";
  return "application/octet-stream";
}

}  // namespace

std::optional<std::string> StaticFilePath(const std::string& web_folder, std::string_view path) {
  if (path.size() > kServiceStaticPathMax) return std::nullopt;
  std::optional<std::string> plain = UnescapePath(path);
  if (!plain || !IsServedPath(*plain) || !HasPlainComponents(*plain)) return std::nullopt;
  // Links inside the web folder may point anywhere; the file they reach must still lie in
  // the folder.
  std::error_code error;
  std::filesystem::path root = std::filesystem::canonical(web_folder, error);
  if (error) return std::nullopt;
  std::filesystem::path file = std::filesystem::canonical(web_folder + *plain, error);
  if (error) return std::nullopt;
  auto [root_end, file_at] = std::mismatch(root.begin(), root.end(), file.begin(), file.end());
  if (root_end != root.end() || file_at == file.end()) return std::nullopt;
  if (!platform::IsRegularFile(file.string())) return std::nullopt;
  return file.string();
}

Reply ServeStaticFile(const std::string& web_folder, std::string_view path) {
  Reply reply;
  std::optional<std::string> file = StaticFilePath(web_folder, path);
  std::optional<int64_t> size;
  if (file) size = platform::FileSizeOf(*file);
  if (!size) {
    reply.status = 404;
    return reply;
  }
  reply.body_file = *file;
  reply.body_file_size = *size;
  reply.content_type = ContentTypeOf(*file);
  return reply;
}

}  // namespace nvx::service

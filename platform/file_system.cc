#include "platform/file_system.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/error_text.h"

namespace nvx::platform {
namespace {

bool Report(bool ok, int* error) {
  if (!ok && error != nullptr) *error = errno;
  return ok;
}

PathKind KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return PathKind::kDirectory;
  if (S_ISREG(mode)) return PathKind::kFile;
  return S_ISLNK(mode) ? PathKind::kLink : PathKind::kOther;
}

}  // namespace

bool RemoveFile(const std::string& path, int* error) {
  return Report(::unlink(path.c_str()) == 0, error);
}

bool RemoveRegularFile(const std::string& path, int* error) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return Report(errno == ENOENT, error);
  if (!S_ISREG(info.st_mode)) {
    if (error != nullptr) *error = kErrorNotRegularFile;
    return false;
  }
  return Report(::unlink(path.c_str()) == 0 || errno == ENOENT, error);
}

bool RenameFile(const std::string& from, const std::string& to, int* error) {
  return Report(::rename(from.c_str(), to.c_str()) == 0, error);
}

bool RenameNoReplace(const std::string& from, const std::string& to, int* error) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return Report(true, error);
  }
  // Network file systems may not offer the flag; a new hard link there is refused as
  // surely when the name exists.
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return Report(false, error);
  if (::link(from.c_str(), to.c_str()) != 0) return Report(false, error);
  ::unlink(from.c_str());
  return Report(true, error);
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<PathKind> TestPath(const std::string& path, int* error) {
  struct stat info {};
  if (!Report(::stat(path.c_str(), &info) == 0, error)) return std::nullopt;
  return KindOf(info.st_mode);
}

std::optional<PathKind> TestPathItself(const std::string& path, int* error) {
  struct stat info {};
  if (!Report(::lstat(path.c_str(), &info) == 0, error)) return std::nullopt;
  return KindOf(info.st_mode);
}

std::optional<int64_t> FileSizeOf(const std::string& path, int* error) {
  struct stat info {};
  if (!Report(::stat(path.c_str(), &info) == 0, error)) return std::nullopt;
  return static_cast<int64_t>(info.st_size);
}

bool MakeDirectory(const std::string& path, int* error) {
  return Report(::mkdir(path.c_str(), 0755) == 0, error);
}

bool RemoveDirectory(const std::string& path, int* error) {
  return Report(::rmdir(path.c_str()) == 0, error);
}

std::string CurrentDirectory(int* error) {
  std::vector<char> buffer(PATH_MAX);
  if (!Report(::getcwd(buffer.data(), buffer.size()) != nullptr, error)) return {};
  return std::string(buffer.data());
}

std::string JoinDirectory(std::string_view directory, std::string_view name) {
  std::string joined(directory);
  if (joined.empty() || joined.back() != '/') joined += '/';
  joined += name;
  return joined;
}

std::string ExecutablePath(int* error) {
  std::vector<char> buffer(PATH_MAX);
  ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (!Report(length > 0, error)) return {};
  return std::string(buffer.data(), static_cast<size_t>(length));
}

std::string CreateUniqueFile(std::string_view directory, std::string_view prefix, int* error) {
  std::string name = JoinDirectory(directory, prefix);
  name += "XXXXXX";
  // mkstemp creates the file with mode 0600 and never reuses an existing name.
  const int fd = ::mkstemp(name.data());
  if (!Report(fd >= 0, error)) return {};
  ::close(fd);
  return name;
}

}  // namespace nvx::platform

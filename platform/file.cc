#include "platform/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/error_text.h"

namespace nvx::platform {
namespace {

int OpenFlags(File::Access access) {
  switch (access) {
    case File::Access::kRead:
    case File::Access::kSharedRead:
      return O_RDONLY;
    case File::Access::kCreateTruncate:
      return O_WRONLY | O_CREAT | O_TRUNC;
    case File::Access::kAppend:
      return O_WRONLY | O_CREAT | O_APPEND;
    case File::Access::kReadWrite:
      return O_RDWR;
    case File::Access::kCreateReadWrite:
      return O_RDWR | O_CREAT;
    case File::Access::kCreateNew:
      return O_RDWR | O_CREAT | O_EXCL;
  }
  return O_RDONLY;
}

}  // namespace

File::~File() {
  Close();
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(std::exchange(other.error_, 0)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    error_ = std::exchange(other.error_, 0);
  }
  return *this;
}

File File::Open(const std::string& path, Access access) {
  return OpenWithFlags(path, access, 0);
}

File File::OpenRegular(const std::string& path, Access access) {
  // O_NONBLOCK: opening a pipe neither waits for its other end nor succeeds for long.
  File file = OpenWithFlags(path, access, O_NOFOLLOW | O_NONBLOCK);
  if (!file.is_open()) {
    // A link (ELOOP), a folder opened for writing, a pipe without a reader or a socket.
    const int error = file.error_;
    if (error == ELOOP || error == EISDIR || error == ENXIO) file.error_ = kErrorNotRegularFile;
    return file;
  }
  struct stat info {};
  if (::fstat(file.fd_, &info) != 0) {
    File failed;
    failed.error_ = errno;
    return failed;
  }
  if (!S_ISREG(info.st_mode)) {
    File refused;
    refused.error_ = kErrorNotRegularFile;
    return refused;
  }
  const int flags = ::fcntl(file.fd_, F_GETFL);
  if (flags < 0 || ::fcntl(file.fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    File failed;
    failed.error_ = errno;
    return failed;
  }
  return file;
}

File File::InMemory(std::string_view bytes) {
  File file(::memfd_create("nvx-bytes", MFD_CLOEXEC));
  if (!file.is_open()) {
    file.error_ = errno;
    return file;
  }
  if (!file.WriteAll(bytes.data(), bytes.size()) || !file.Seek(0)) {
    File failed;
    failed.error_ = file.error_;
    return failed;
  }
  return file;
}

std::string File::DescriptorPath() const {
  return "/proc/self/fd/" + std::to_string(fd_);
}

File File::OpenWithFlags(const std::string& path, Access access, int extra_flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), OpenFlags(access) | O_CLOEXEC | extra_flags, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    File failed;
    failed.error_ = errno;
    return failed;
  }
  if (access == Access::kSharedRead && ::flock(fd, LOCK_SH | LOCK_NB) != 0) {
    File failed;
    failed.error_ = errno == EWOULDBLOCK ? kErrorSharingViolation : errno;
    ::close(fd);
    return failed;
  }
  return File(fd);
}

int64_t File::Read(void* buffer, size_t size) {
  for (;;) {
    ssize_t got = ::read(fd_, buffer, size);
    if (got >= 0) return got;
    if (errno == EINTR) continue;
    error_ = errno;
    return -1;
  }
}

int64_t File::ReadAt(void* buffer, size_t size, int64_t offset) {
  for (;;) {
    ssize_t got = ::pread(fd_, buffer, size, static_cast<off_t>(offset));
    if (got >= 0) return got;
    if (errno == EINTR) continue;
    error_ = errno;
    return -1;
  }
}

int64_t File::ReadFully(void* buffer, size_t size) {
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < size) {
    int64_t got = Read(out + done, size - done);
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(done);
}

bool File::WriteAll(const void* data, size_t size) {
  const auto* in = static_cast<const uint8_t*>(data);
  while (size > 0) {
    ssize_t put = ::write(fd_, in, size);
    if (put < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return false;
    }
    in += put;
    size -= static_cast<size_t>(put);
  }
  return true;
}

bool File::Seek(int64_t offset) {
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
    error_ = errno;
    return false;
  }
  return true;
}

bool File::SeekToEnd() {
  if (::lseek(fd_, 0, SEEK_END) < 0) {
    error_ = errno;
    return false;
  }
  return true;
}

int64_t File::Size() {
  std::optional<Status> status = ReadStatus();
  return status ? status->size : -1;
}

std::optional<File::Status> File::ReadStatus() {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) {
    error_ = errno;
    return std::nullopt;
  }
  return Status{static_cast<int64_t>(info.st_size), static_cast<int64_t>(info.st_mtim.tv_sec)};
}

bool File::Truncate(int64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    error_ = errno;
    return false;
  }
  return true;
}

bool File::Sync() {
  if (::fsync(fd_) != 0) {
    error_ = errno;
    return false;
  }
  return true;
}

bool File::TryLockExclusive() {
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    error_ = errno == EWOULDBLOCK ? kErrorSharingViolation : errno;
    return false;
  }
  return true;
}

bool File::IsNamed(const std::string& path) {
  struct stat open_file {};
  struct stat named {};
  return ::fstat(fd_, &open_file) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

bool File::SetPermissions(uint32_t permissions) {
  if (::fchmod(fd_, static_cast<mode_t>(permissions & 07777)) != 0) {
    error_ = errno;
    return false;
  }
  return true;
}

void File::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

MappedFile::~MappedFile() {
  Unmap();
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : address_(std::exchange(other.address_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, false)),
      error_(std::exchange(other.error_, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    Unmap();
    address_ = std::exchange(other.address_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, false);
    error_ = std::exchange(other.error_, 0);
  }
  return *this;
}

MappedFile MappedFile::Map(File& file) {
  MappedFile mapping;
  int64_t size = file.Size();
  if (size < 0) {
    mapping.error_ = file.error();
    return mapping;
  }
  mapping.mapped_ = true;
  if (size == 0) return mapping;
  void* address = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, file.fd_, 0);
  if (address == MAP_FAILED) {
    mapping.mapped_ = false;
    mapping.error_ = errno;
    return mapping;
  }
  mapping.address_ = address;
  mapping.size_ = static_cast<size_t>(size);
  return mapping;
}

void MappedFile::Unmap() {
  if (address_ != nullptr) ::munmap(address_, size_);
  address_ = nullptr;
  size_ = 0;
  mapped_ = false;
}

}  // namespace nvx::platform

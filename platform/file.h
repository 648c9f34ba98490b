// Files as RAII handles over file descriptors (opened close-on-exec), and read-only
// memory mappings. Failures never throw: they leave the object closed or return false,
// and error() keeps the system error number of the last failure. A File is used by one
// thread at a time.
#ifndef NVX_PLATFORM_FILE_H_
#define NVX_PLATFORM_FILE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nvx::platform {

class AcceptedSocket;
class Socket;

class File {
 public:
  enum class Access {
    kRead,             // an existing file, for reading
    kSharedRead,       // for reading, refused with kErrorSharingViolation while another
                       // process holds the file under an exclusive lock
    kCreateTruncate,   // for writing; created when missing, emptied when present
    kAppend,           // for writing at the end; created when missing
    kReadWrite,        // an existing file, for reading and writing
    kCreateReadWrite,  // for reading and writing; created when missing, content kept
    kCreateNew,        // for reading and writing; a new file, refused with EEXIST when the
                       // name exists (whatever it holds, a symbolic link included)
  };

  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens `path`. On failure the result is not open and error() tells why.
  [[nodiscard]] static File Open(const std::string& path, Access access);
  // Opens `path` as Open does, but only a regular file, and never through a symbolic
  // link at its last component: a link, folder, pipe, device or socket there is refused
  // with kErrorNotRegularFile and left as it is (a pipe never makes the open wait). For
  // names in folders that others may write into, where a planted link would take the
  // bytes elsewhere.
  [[nodiscard]] static File OpenRegular(const std::string& path, Access access);
  // A file in memory only (no name in any folder) holding `bytes`, open for reading and
  // writing at its start; it goes with its last open description. Not open on failure.
  [[nodiscard]] static File InMemory(std::string_view bytes);

  bool is_open() const { return fd_ >= 0; }
  int error() const { return error_; }

  // Reads up to `size` bytes at the current position: the count read, 0 at the end,
  // -1 on failure.
  [[nodiscard]] int64_t Read(void* buffer, size_t size);
  // Reads up to `size` bytes at `offset` without moving the current position: the count
  // read, 0 at the end, -1 on failure.
  [[nodiscard]] int64_t ReadAt(void* buffer, size_t size, int64_t offset);
  // Reads until `size` bytes or the end: the count read, -1 on failure.
  [[nodiscard]] int64_t ReadFully(void* buffer, size_t size);
  // Writes everything or fails.
  [[nodiscard]] bool WriteAll(const void* data, size_t size);
  [[nodiscard]] bool Write(std::string_view text) { return WriteAll(text.data(), text.size()); }
  // Positions from the start of the file.
  [[nodiscard]] bool Seek(int64_t offset);
  [[nodiscard]] bool SeekToEnd();
  // Size in bytes, -1 on failure.
  [[nodiscard]] int64_t Size();
  // The size and the last-write time (seconds since 1970 UTC) of the open file, read
  // together in one look; nullopt on failure.
  struct Status {
    int64_t size = 0;
    int64_t last_write_time = 0;
  };
  [[nodiscard]] std::optional<Status> ReadStatus();
  [[nodiscard]] bool Truncate(int64_t size);
  // Forces written data to the disk.
  [[nodiscard]] bool Sync();
  // Takes an exclusive advisory lock on the file without waiting: false when another
  // open file holds one (error() kErrorSharingViolation) or the file system has no locks
  // (another error). The lock ends with the file's close or the process's end, so a lock
  // that can be taken shows its former holder is gone.
  [[nodiscard]] bool TryLockExclusive();
  // True when `path` (a link at its last component not followed) names this open file.
  [[nodiscard]] bool IsNamed(const std::string& path);
  // Sets the permission bits (rwx of owner, group and others, and the special bits) of
  // the open file itself, whatever its name has come to hold meanwhile.
  [[nodiscard]] bool SetPermissions(uint32_t permissions);
  void Close();
  // A path that opens this file anew (for reading by code that takes paths) while it is
  // open in this process.
  [[nodiscard]] std::string DescriptorPath() const;

 private:
  friend class AcceptedSocket;
  friend class TlsServerSession;
  friend class MappedFile;
  friend class Socket;
  friend class TlsSession;
  explicit File(int fd) : fd_(fd) {}
  [[nodiscard]] static File OpenWithFlags(const std::string& path, Access access, int extra_flags);

  int fd_ = -1;
  int error_ = 0;
};

// A read-only mapping of a whole open file. An empty file maps to an empty view.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Maps `file`; the mapping stays valid after the file is closed.
  [[nodiscard]] static MappedFile Map(File& file);

  bool is_mapped() const { return mapped_; }
  int error() const { return error_; }
  const uint8_t* data() const { return static_cast<const uint8_t*>(address_); }
  size_t size() const { return size_; }
  std::string_view view() const { return {static_cast<const char*>(address_), size_}; }

 private:
  void Unmap();

  void* address_ = nullptr;
  size_t size_ = 0;
  bool mapped_ = false;
  int error_ = 0;
};

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_FILE_H_

#include "service/store/sqlite_log_writes.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "codec/coding.h"

namespace nvx::service {
namespace {

constexpr char kVfsName[] = "nvx-log-writes";
// Writes kept beyond this go out at once, so a large transaction's log goes in pieces.
// SQLite's own layer writes at most 128 KiB in one call (it cuts larger ones short).
constexpr int64_t kKeepBytes = 120 * 1024;
// The log's layout: a header, then frames of a frame header and one page. A frame header
// holds the page's number and, for the last frame of a commit, the size of the database
// after it (zero in every other frame).
constexpr int64_t kLogHeaderBytes = 32;
constexpr int64_t kLogPageSizeAt = 8;
constexpr int64_t kFrameHeaderBytes = 24;
constexpr int64_t kFrameCommitSizeAt = 4;

// The page size a log header gives, 0 when it is not one.
int64_t PageSizeOf(const uint8_t* header) {
  const auto size = static_cast<int64_t>(LoadBigEndian(header + kLogPageSizeAt, 4));
  return size >= 512 && size <= 65536 && (size & (size - 1)) == 0 ? size : 0;
}

sqlite3_vfs* g_below = nullptr;

// A log file. SQLite's own file object for it lies right after this one, in the memory
// SQLite gave for the file.
struct LogFile {
  sqlite3_file base;  // first: SQLite sees this
  sqlite3_file* own;
  std::unique_ptr<uint8_t[]> kept;
  int64_t kept_from;
  int64_t kept_bytes;
  // Where this connection's last write to the log ended: only a write that starts there
  // is kept (one of the frames a transaction appends); -1 before the first.
  int64_t last_write_end;
  // Of the frames; 0 while unknown, -1 when it cannot be known (nothing is then kept).
  int64_t page_bytes;
};

constexpr size_t kLogFileBytes = (sizeof(LogFile) + 15) / 16 * 16;

LogFile* AsLog(sqlite3_file* file) {
  return reinterpret_cast<LogFile*>(file);
}

int HandOver(LogFile* log) {
  if (log->kept_bytes == 0) return SQLITE_OK;
  const int64_t bytes = log->kept_bytes;
  log->kept_bytes = 0;
  return log->own->pMethods->xWrite(log->own, log->kept.get(), static_cast<int>(bytes),
                                    log->kept_from);
}

void LearnPageSize(LogFile* log, const uint8_t* bytes, int amount, int64_t offset) {
  if (offset == 0 && amount >= kLogHeaderBytes) {
    log->page_bytes = PageSizeOf(bytes);
  } else if (log->page_bytes == 0) {
    uint8_t header[kLogHeaderBytes];
    const int read = log->own->pMethods->xRead(log->own, header, sizeof header, 0);
    log->page_bytes = read == SQLITE_OK ? PageSizeOf(header) : 0;
  }
  if (log->page_bytes == 0) log->page_bytes = -1;
}

// Whether a frame ends within the kept bytes' last `amount` bytes and either is a
// commit's last or has a header that is not kept (and so cannot be read here).
bool CompletesCommit(const LogFile* log, int64_t amount) {
  const int64_t frame_bytes = kFrameHeaderBytes + log->page_bytes;
  const int64_t end = log->kept_from + log->kept_bytes;
  const int64_t start = end - amount;
  // The first frame that ends after `start`.
  int64_t frame = start < kLogHeaderBytes ? 0 : (start - kLogHeaderBytes) / frame_bytes;
  for (;; ++frame) {
    const int64_t frame_start = kLogHeaderBytes + frame * frame_bytes;
    const int64_t frame_end = frame_start + frame_bytes;
    if (frame_end > end) return false;
    if (frame_end <= start) continue;
    if (frame_start < log->kept_from) return true;
    const uint8_t* header = log->kept.get() + (frame_start - log->kept_from);
    if (LoadBigEndian(header + kFrameCommitSizeAt, 4) != 0) return true;
  }
}

int LogWrite(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
  LogFile* log = AsLog(file);
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (offset == 0 || log->page_bytes == 0) LearnPageSize(log, bytes, amount, offset);
  const bool continues = offset == log->last_write_end;
  log->last_write_end = offset + amount;
  if (!continues || log->kept_bytes + amount > kKeepBytes) {
    const int handed = HandOver(log);
    if (handed != SQLITE_OK) return handed;
  }
  if (!continues || log->page_bytes < 0 || amount > kKeepBytes) {
    return log->own->pMethods->xWrite(log->own, data, amount, offset);
  }
  if (log->kept == nullptr) log->kept = std::make_unique<uint8_t[]>(kKeepBytes);
  if (log->kept_bytes == 0) log->kept_from = offset;
  std::memcpy(log->kept.get() + log->kept_bytes, bytes, static_cast<size_t>(amount));
  log->kept_bytes += amount;
  return CompletesCommit(log, amount) ? HandOver(log) : SQLITE_OK;
}

int LogClose(sqlite3_file* file) {
  LogFile* log = AsLog(file);
  const int handed = HandOver(log);
  const int closed = log->own->pMethods->xClose(log->own);
  log->~LogFile();
  return handed != SQLITE_OK ? handed : closed;
}

int LogRead(sqlite3_file* file, void* data, int amount, sqlite3_int64 offset) {
  LogFile* log = AsLog(file);
  const int handed = HandOver(log);
  if (handed != SQLITE_OK) return handed;
  return log->own->pMethods->xRead(log->own, data, amount, offset);
}

int LogTruncate(sqlite3_file* file, sqlite3_int64 size) {
  LogFile* log = AsLog(file);
  const int handed = HandOver(log);
  if (handed != SQLITE_OK) return handed;
  log->last_write_end = -1;
  return log->own->pMethods->xTruncate(log->own, size);
}

int LogSync(sqlite3_file* file, int flags) {
  LogFile* log = AsLog(file);
  const int handed = HandOver(log);
  if (handed != SQLITE_OK) return handed;
  return log->own->pMethods->xSync(log->own, flags);
}

int LogFileSize(sqlite3_file* file, sqlite3_int64* size) {
  LogFile* log = AsLog(file);
  const int handed = HandOver(log);
  if (handed != SQLITE_OK) return handed;
  return log->own->pMethods->xFileSize(log->own, size);
}

int LogFileControl(sqlite3_file* file, int op, void* argument) {
  LogFile* log = AsLog(file);
  const int handed = HandOver(log);
  if (handed != SQLITE_OK) return handed;
  return log->own->pMethods->xFileControl(log->own, op, argument);
}

int LogFetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** pages) {
  LogFile* log = AsLog(file);
  *pages = nullptr;
  const int handed = HandOver(log);
  if (handed != SQLITE_OK) return handed;
  const sqlite3_io_methods* own = log->own->pMethods;
  return own->iVersion >= 3 ? own->xFetch(log->own, offset, amount, pages) : SQLITE_OK;
}

// The rest go straight to SQLite's own file.
const sqlite3_io_methods kLogMethods = {
    3,
    LogClose,
    LogRead,
    LogWrite,
    LogTruncate,
    LogSync,
    LogFileSize,
    [](sqlite3_file* file, int lock) {
      return AsLog(file)->own->pMethods->xLock(AsLog(file)->own, lock);
    },
    [](sqlite3_file* file, int lock) {
      return AsLog(file)->own->pMethods->xUnlock(AsLog(file)->own, lock);
    },
    [](sqlite3_file* file, int* reserved) {
      return AsLog(file)->own->pMethods->xCheckReservedLock(AsLog(file)->own, reserved);
    },
    LogFileControl,
    [](sqlite3_file* file) { return AsLog(file)->own->pMethods->xSectorSize(AsLog(file)->own); },
    [](sqlite3_file* file) {
      return AsLog(file)->own->pMethods->xDeviceCharacteristics(AsLog(file)->own);
    },
    // A log is never mapped as shared memory: only the database file is.
    [](sqlite3_file*, int, int, int, void volatile**) { return SQLITE_IOERR_SHMMAP; },
    [](sqlite3_file*, int, int, int) { return SQLITE_IOERR_SHMLOCK; },
    [](sqlite3_file*) {},
    [](sqlite3_file*, int) { return SQLITE_OK; },
    LogFetch,
    [](sqlite3_file* file, sqlite3_int64 offset, void* pages) {
      const sqlite3_io_methods* own = AsLog(file)->own->pMethods;
      return own->iVersion >= 3 ? own->xUnfetch(AsLog(file)->own, offset, pages) : SQLITE_OK;
    },
};

int OpenFile(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* out_flags) {
  if ((flags & SQLITE_OPEN_WAL) == 0) return g_below->xOpen(g_below, name, file, flags, out_flags);
  auto* log = new (file) LogFile{};
  log->own = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + kLogFileBytes);
  log->own->pMethods = nullptr;
  log->last_write_end = -1;
  const int opened = g_below->xOpen(g_below, name, log->own, flags, out_flags);
  if (opened != SQLITE_OK) {
    // SQLite closes only a file whose methods are set: this one's stay unset.
    if (log->own->pMethods != nullptr) log->own->pMethods->xClose(log->own);
    log->~LogFile();
    return opened;
  }
  log->base.pMethods = &kLogMethods;
  return SQLITE_OK;
}

}  // namespace

const char* LogWritesVfsName() {
  static const char* const name = []() -> const char* {
    g_below = sqlite3_vfs_find(nullptr);
    if (g_below == nullptr) return nullptr;
    // Everything but opening a file is the default layer's, called as its own.
    static sqlite3_vfs vfs{};
    vfs.iVersion = 2;
    vfs.szOsFile = static_cast<int>(kLogFileBytes) + g_below->szOsFile;
    vfs.mxPathname = g_below->mxPathname;
    vfs.zName = kVfsName;
    vfs.xOpen = OpenFile;
    vfs.xDelete = [](sqlite3_vfs*, const char* path, int sync_folder) {
      return g_below->xDelete(g_below, path, sync_folder);
    };
    vfs.xAccess = [](sqlite3_vfs*, const char* path, int flags, int* result) {
      return g_below->xAccess(g_below, path, flags, result);
    };
    vfs.xFullPathname = [](sqlite3_vfs*, const char* path, int size, char* out) {
      return g_below->xFullPathname(g_below, path, size, out);
    };
    vfs.xDlOpen = [](sqlite3_vfs*, const char* path) { return g_below->xDlOpen(g_below, path); };
    vfs.xDlError = [](sqlite3_vfs*, int size, char* out) { g_below->xDlError(g_below, size, out); };
    vfs.xDlSym = [](sqlite3_vfs*, void* library, const char* symbol) {
      return g_below->xDlSym(g_below, library, symbol);
    };
    vfs.xDlClose = [](sqlite3_vfs*, void* library) { g_below->xDlClose(g_below, library); };
    vfs.xRandomness = [](sqlite3_vfs*, int size, char* out) {
      return g_below->xRandomness(g_below, size, out);
    };
    vfs.xSleep = [](sqlite3_vfs*, int micros) { return g_below->xSleep(g_below, micros); };
    vfs.xCurrentTime = [](sqlite3_vfs*, double* now) {
      return g_below->xCurrentTime(g_below, now);
    };
    vfs.xGetLastError = [](sqlite3_vfs*, int size, char* out) {
      return g_below->xGetLastError(g_below, size, out);
    };
    vfs.xCurrentTimeInt64 = [](sqlite3_vfs*, sqlite3_int64* now) {
      return g_below->iVersion >= 2 && g_below->xCurrentTimeInt64 != nullptr
                 ? g_below->xCurrentTimeInt64(g_below, now)
                 : SQLITE_ERROR;
    };
    if (sqlite3_vfs_register(&vfs, 0) != SQLITE_OK) return nullptr;
    return kVfsName;
  }();
  return name;
}

}  // namespace nvx::service

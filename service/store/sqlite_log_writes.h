// The embedded store's write-ahead log written in whole transactions. SQLite writes each
// page of a commit to its log as two writes (the frame's header, then the page): a small
// document's commit is some twenty system calls, which cost more than the bytes they
// carry. The store's connections therefore open their files through a file-system layer
// of their own over SQLite's default one: a log file keeps the writes that continue it in
// memory and hands them over in one write when the commit's last frame is complete, before
// SQLite publishes the commit to other connections, so that a failed write still fails
// the commit. Anything that reads, syncs, measures, truncates or closes the log, or a write
// anywhere but at its end, hands the kept writes over first. Every other file is SQLite's
// own, untouched.
#ifndef NVX_SERVICE_STORE_SQLITE_LOG_WRITES_H_
#define NVX_SERVICE_STORE_SQLITE_LOG_WRITES_H_

namespace nvx::service {

// The name of the file-system layer to open the store's connections with; registers it on
// the first call. Null when SQLite has no default layer to build on (the connection then
// opens with the default).
const char* LogWritesVfsName();

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_SQLITE_LOG_WRITES_H_

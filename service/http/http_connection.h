// The connection loop under the HTTP server. cpp-httplib parses each request and calls
// the handlers, but it reads and writes through a stream of ours, which
//  - bounds the request line and header block at kServiceHeaderBlockMax bytes before
//    anything larger is held in memory;
//  - keeps the header block exactly as it arrived (cpp-httplib percent-decodes header
//    values, which would change names that contain "%");
//  - lets a handler end the connection after its reply;
//  - bounds the time a connection may sit idle and the time a header block may take to
//    arrive, waits for any other byte at most the library's receive time-out, and stops
//    waiting promptly when the server is asked to stop.
// Each admitted connection runs on its own thread (ConnectionThreads), which may end an
// idle connection to make room for it; a connection refused by the limits is answered
// "503" on the accepting thread and closed at once. A
// ConnectionStream belongs to its connection's thread.
#ifndef NVX_SERVICE_HTTP_HTTP_CONNECTION_H_
#define NVX_SERVICE_HTTP_HTTP_CONNECTION_H_

#include <httplib.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/accepted_socket.h"
#include "platform/file.h"
#include "service/http/connection_settings.h"

namespace nvx::service {

class ConnectionStream final : public httplib::Stream {
 public:
  // Waits end when `stopping` (the server stops) or `ended` (the connection was ended to
  // make room for another) is set; both must outlive the stream.
  ConnectionStream(platform::AcceptedSocket& socket, const ConnectionSettings& settings,
                   const std::atomic<bool>& stopping, const std::atomic<bool>& ended);

  // Waits for the first byte of the next request (or the client's close), at most the
  // idle time. False when none came, the server stops or the connection was ended.
  bool WaitForRequest();
  // Starts counting a new request; its header block must be whole within the header
  // time from now.
  void BeginRequest();

  const std::string& header_block() const { return header_block_; }
  bool header_too_large() const { return header_too_large_; }
  // True when the header block announced its body's length in a way that cannot be
  // trusted (see RawHeaders::content_length_sound); the request is refused whole.
  bool length_unsound() const { return length_unsound_; }
  uint64_t bytes_written() const { return bytes_written_; }

  // Sends `count` bytes of `file` from `offset` straight from the file system (the
  // body of a document), waiting for the client as write() does. cpp-httplib counts a
  // body's bytes only as they pass through write(), so the bytes sent here are owed to
  // it: the next write() calls for that many bytes take them as sent without reading
  // their data. False when the client went or stopped reading.
  bool SendFileAhead(platform::File& file, int64_t offset, int64_t count);

  // httplib::Stream
  bool is_readable() const override;
  bool is_writable() const override;
  ssize_t read(char* ptr, size_t size) override;
  ssize_t write(const char* ptr, size_t size) override;
  void get_remote_ip_and_port(std::string& ip, int& port) const override;
  void get_local_ip_and_port(std::string& ip, int& port) const override;
  socket_t socket() const override { return socket_.fd(); }

 private:
  enum class Phase { kHeader, kBody };

  // Waits until the socket is ready, at most `timeout_millis`, in short slices so that a
  // stop request ends the wait.
  bool WaitReady(bool for_write, int timeout_millis) const;
  // How long a read may wait for the next byte: the receive time-out, and while the
  // header block arrives no longer than its deadline.
  int ReadWaitMillis() const;
  // Receives more bytes into the buffer when it is empty: 1 when bytes are there, 0 at
  // the client's close, -1 on failure, time-out or stop.
  int Fill();

  platform::AcceptedSocket& socket_;
  const ConnectionSettings& settings_;
  const std::atomic<bool>& stopping_;
  const std::atomic<bool>& ended_;
  std::vector<char> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  Phase phase_ = Phase::kHeader;
  int64_t header_deadline_ = 0;
  std::string header_block_;
  bool header_too_large_ = false;
  bool length_unsound_ = false;
  uint64_t bytes_written_ = 0;
  uint64_t sent_ahead_ = 0;  // sent by SendFileAhead, not yet passed through write()
};

// What a handler may learn about, and ask of, the connection of the request it serves.
class ConnectionRequest {
 public:
  explicit ConnectionRequest(ConnectionStream& stream) : stream_(stream) {}
  std::string_view header_block() const { return stream_.header_block(); }
  bool header_too_large() const { return stream_.header_too_large(); }
  // The client's "address:port".
  std::string remote() const;
  void CloseAfterReply() { close_after_reply_ = true; }
  bool close_after_reply() const { return close_after_reply_; }
  // See ConnectionStream::SendFileAhead.
  bool SendFileAhead(platform::File& file, int64_t offset, int64_t count) {
    return stream_.SendFileAhead(file, offset, count);
  }

 private:
  ConnectionStream& stream_;
  bool close_after_reply_ = false;
};

// The request that the calling thread serves; null outside the connection loop.
ConnectionRequest* CurrentConnectionRequest();

// Logs a request or connection that was refused before cpp-httplib could answer it; given
// by the front end.
using RefusalLogger =
    std::function<void(const std::string& remote, int status, std::string_view conclusion)>;

class ConnectionSlot;
class ConnectionThreads;

class ServiceHttpServer final : public httplib::Server {
 public:
  explicit ServiceHttpServer(const ConnectionSettings& settings);
  // Stops accepting, ends idle connections and lets requests in flight finish; listen
  // returns once every connection thread has ended. Any thread.
  void RequestStop();
  void set_refusal_logger(RefusalLogger logger) { refusal_logger_ = std::move(logger); }
  // Lengthens the queue of connections waiting to be accepted; call it after binding.
  bool LengthenListenQueue();

 private:
  // Called by the accepting thread for each new connection: starts its thread, or
  // answers "503" and closes it when the limits are reached.
  bool process_and_close_socket(socket_t sock) override;
  // Replaces cpp-httplib's own loop over the requests of one connection; `slot` learns
  // when the connection is idle and tells when it was ended to make room.
  void ServeConnection(platform::AcceptedSocket& socket, ConnectionSlot& slot);

  const ConnectionSettings settings_;
  // Made by cpp-httplib's task queue factory when listening begins; it owns it.
  ConnectionThreads* threads_ = nullptr;
  std::atomic<bool> stopping_{false};
  RefusalLogger refusal_logger_;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_HTTP_HTTP_CONNECTION_H_

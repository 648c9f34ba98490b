// One client connection of the service, as a stream of bytes (plain or TLS) with the
// service's bounds:
//  - the request line and header block are read a byte at a time, bounded at
//    kServiceHeaderBlockMax bytes before anything larger is held in memory, and kept
//    exactly as they arrived (RawHeaders reads names and values from them);
//  - the block ends at its empty line; a Content-Length that is not digits only or comes
//    twice makes the read that ends the block fail, so the body never runs as a request;
//  - a connection may sit idle (no request) at most the idle time, a header block must
//    be whole within the header time of its first byte, any other byte is awaited at
//    most the read time-out, and every wait ends promptly when the server stops or the
//    connection was ended to make room for another;
//  - replies are written whole or the connection fails; a document's bytes go from the
//    file system to the stream without passing through the service where it can
//    (sendfile, kernel TLS);
//  - a reply that tells of a change not yet durable can be held, with every reply after
//    it, until the connection would wait for the client: then each hold's wait is made and
//    the held bytes go out in one piece, or, when a wait fails, never;
//  - the bytes received and sent, and the connection itself while it lasts, count on the
//    metrics page when the connection is given the service's figures.
// An HttpConnection belongs to its connection's thread.
#ifndef NVX_SERVICE_HTTP_HTTP_CONNECTION_H_
#define NVX_SERVICE_HTTP_HTTP_CONNECTION_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "platform/server_stream.h"
#include "service/http/connection_settings.h"
#include "service/http/service_metrics.h"

namespace nvx::service {

class HttpConnection {
 public:
  // Waits end when `stopping` (the server stops) or `ended` (the connection was ended to
  // make room for another) is set; the stream, settings, flags and `metrics` (when given)
  // must outlive the connection.
  HttpConnection(platform::ServerStream& stream, const ConnectionSettings& settings,
                 const std::atomic<bool>& stopping, const std::atomic<bool>& ended,
                 ServiceMetrics* metrics = nullptr);
  ~HttpConnection();
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  // Opens the stream (a TLS handshake), at most the idle time in all, so that a client
  // that says nothing or speaks no TLS is let go. False when it could not be opened; the
  // reason goes to *failure (empty when the server stops or the connection was ended).
  bool Open(std::string* failure);
  // Waits for the first byte of the next request (or the client's close), at most the
  // idle time. False when none came, the server stops or the connection was ended.
  bool WaitForRequest();
  // Starts a new request: its header block must be whole within the header time from
  // now.
  void BeginRequest();

  // Reads the next line of the header block, up to and with its LF, into `line`; at the
  // client's close a line cut short is still a line. False when nothing came, or the
  // read failed: a time-out, the bounds above (header_too_large, length_unsound).
  bool ReadHeaderLine(std::string* line);
  // The header block as it arrived so far.
  const std::string& header_block() const { return header_block_; }
  bool header_too_large() const { return header_too_large_; }
  // True when the header block announced its body's length in a way that cannot be
  // trusted (see RawHeaders::content_length_sound).
  bool length_unsound() const { return length_unsound_; }

  // Reads up to `size` bytes of the body: the count, 0 at the client's close, -1 on
  // failure, time-out or stop.
  int64_t ReadBody(char* data, size_t size);

  // Writes all of `bytes`, waiting for the client at most the read time-out at a time.
  // False when the client went or stopped reading.
  bool Write(std::string_view bytes);
  // Sends `count` bytes of `file` from `offset` straight from the file system, waiting
  // as Write does. False when the client went or the file holds fewer bytes.
  bool SendFile(platform::File& file, int64_t offset, int64_t count);
  // Bytes written since BeginRequest.
  uint64_t bytes_written() const { return bytes_written_; }

  // True when bytes of a further request have arrived: buffered already, or (from a
  // client seen to send requests ahead of answers) taken from the socket without waiting.
  bool NextRequestWaiting();
  // Holds what is written from now on until FlushHeld, which sends it only once `durable`
  // (and every earlier hold's wait) returned true.
  void HoldUntil(std::function<bool()> durable) { holds_.push_back(std::move(durable)); }
  size_t held_replies() const { return holds_.size(); }
  // Makes the holds' waits and sends what was held. False when a wait failed (nothing held
  // goes out, and nothing further: the connection must end) or the client went. Called
  // before any wait for the client.
  bool FlushHeld();

  // The figures the connection counts in; null when it counts nowhere.
  ServiceMetrics* metrics() const { return metrics_; }

  // The client's "address:port"; ":-1" when the socket no longer knows it. Asked of the
  // socket once: every request's log line names it.
  std::string Remote() const;

  // Ends the connection after a refusal whose request was not read whole: stops sending,
  // and reads (and drops) what the client still sends for a moment, so that the client
  // reads the refusal instead of a reset connection.
  void LingeringClose();

 private:
  enum class Phase { kHeader, kBody };

  // Waits until the socket is ready, at most `timeout_millis`, in short slices so that a
  // stop request ends the wait.
  bool WaitReady(bool for_write, int timeout_millis) const;
  // Whether a read may go on: the server is not stopping, the connection not ended, and a
  // header not past its time.
  bool MayReadOn() const;
  // How long a read may wait for the next byte: the read time-out, and while the header
  // block arrives no longer than its deadline.
  int ReadWaitMillis() const;
  // Receives more bytes into the buffer when it is empty: 1 when bytes are there, 0 at
  // the client's close, -1 on failure, time-out or stop.
  int Fill();
  // The next byte of the header block: 1 with the byte, 0 at the client's close, -1 on
  // failure or when a bound is passed.
  int NextHeaderByte(char* byte);

  platform::ServerStream& stream_;
  const ConnectionSettings& settings_;
  const std::atomic<bool>& stopping_;
  const std::atomic<bool>& ended_;
  ServiceMetrics* const metrics_;
  std::vector<char> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  Phase phase_ = Phase::kHeader;
  int64_t header_deadline_ = 0;
  std::string header_block_;
  bool header_too_large_ = false;
  bool length_unsound_ = false;
  uint64_t bytes_written_ = 0;
  std::vector<std::function<bool()>> holds_;
  std::string held_;
  bool hold_failed_ = false;
  bool client_sends_ahead_ = false;
  mutable std::string remote_;  // empty until the socket first told it
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_HTTP_HTTP_CONNECTION_H_

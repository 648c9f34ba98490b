// A scripted HTTP peer on 127.0.0.1 for tests of the wire protocol: it listens on a free
// port, takes connections one after the other, reads each request (header and the body
// its Content-Length announces), records it, and answers as the script says. It can cut
// an answer short, stay silent, drip it byte by byte, or close at once. Everything it starts ends
// with the object. The script is set before the library connects; Requests() may be read at any
// time.
#ifndef NVX_TESTS_SUPPORT_LOOPBACK_PEER_H_
#define NVX_TESTS_SUPPORT_LOOPBACK_PEER_H_

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nvx::test {

// One answer of the peer.
struct PeerReply {
  std::string bytes;         // sent as they stand, right after the request was read
  bool close_after = true;   // close the connection after sending
  bool read_request = true;  // false: answer without reading a request first
  bool stay_silent = false;  // send nothing and keep the connection open
  int drip_millis = 0;       // > 0: send the bytes one at a time, this many ms apart
  bool header_only = false;  // read the header, then go away (the unread body gets a reset)
};

// The replies for one connection, in order; the connection closes after the last.
using PeerConnection = std::vector<PeerReply>;

class LoopbackPeer {
 public:
  LoopbackPeer();
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  uint16_t port() const { return port_; }
  // "127.0.0.1:port"
  std::string address() const;

  // Adds the script of the next connection to accept. A connection beyond the script
  // is closed at once.
  void AddConnection(PeerConnection replies);
  // Shorthand: one connection that answers one request with `bytes` and closes.
  void AddReply(const std::string& bytes);

  // Every request received so far (header and body), in order.
  std::vector<std::string> Requests();
  int connections() const { return connections_.load(); }

 private:
  void Serve();
  void ServeConnection(int fd, const PeerConnection& replies);
  bool ReadRequest(int fd, bool header_only, std::string* request);

  int listen_fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::mutex mutex_;
  std::deque<PeerConnection> script_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A loopback port on which nothing listens: connecting to it is refused.
uint16_t RefusingPort();

// A loopback port whose listener never accepts: the system completes a connection and
// takes the request, and nothing ever answers, as with a service whose host dropped off.
// Closing the listener (the object's end) resets the connections it held.
class SilentListener {
 public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  // "127.0.0.1:port"
  std::string address() const;
  void Close();

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// An HTTP answer of the service: status line, the given header lines, Content-Length
// when `body` is not empty or `with_length`, the empty line and the body.
std::string ServiceAnswer(const std::string& headers, const std::string& body = "",
                          bool with_length = false, const std::string& status = "HTTP/1.1 200 OK");

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_LOOPBACK_PEER_H_

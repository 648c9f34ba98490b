// A TCP relay on 127.0.0.1 between a client and a server on another loopback port, for
// whole-system tests of broken transfers. It passes bytes on both ways and follows the
// HTTP exchanges that go through it: it keeps the header block of every request, and of
// every answer that carries a chosen header, and counts the bytes in each direction. Armed
// once, it drops a connection a given number of body bytes into an answer (an orderly
// close or a reset), or a given number of bytes into what a TLS connection sends back
// (bytes it cannot read), then possibly refuses every new connection with "503", or
// inverts one body byte of a request. It can keep every byte
// that passes, both ways, for a look at what an eavesdropper would see. It can also pass the
// client's bytes on no faster than a chosen rate, as a slow line would. Everything it starts ends
// with the object. The methods may be called from the test thread while connections run.
#ifndef NVX_TESTS_SUPPORT_CUTTING_RELAY_H_
#define NVX_TESTS_SUPPORT_CUTTING_RELAY_H_

#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nvx::test {

// Where an answer is cut: in the next answer whose header block holds `header_mark` (to a
// request whose first line holds `request_mark`), after `body_bytes` bytes of its body
// have been passed on.
struct RelayCut {
  std::string header_mark;
  int64_t body_bytes = 0;
  bool reset = false;  // end with a connection reset instead of an orderly close
  // The connection's bytes are not HTTP the relay can follow (TLS): cut the first
  // connection whose answers pass `body_bytes` bytes in all, headers and records alike.
  bool opaque = false;
  // Once the cut is made, every new connection is answered "503" and closed, as a front
  // whose service takes no more connections would.
  bool refuse_after = false;
  std::string request_mark = {};
};

// Which request byte is spoiled: in the next request whose header block holds
// `header_mark`, the body byte at `body_offset` is inverted.
struct RelayCorruption {
  std::string header_mark;
  int64_t body_offset = 0;
};

class CuttingRelay {
 public:
  // `answer_mark`: answers whose header block holds it are recorded (AnswerHeaders).
  CuttingRelay(uint16_t target_port, std::string answer_mark);
  ~CuttingRelay();
  CuttingRelay(const CuttingRelay&) = delete;
  CuttingRelay& operator=(const CuttingRelay&) = delete;

  // "127.0.0.1:port"
  std::string address() const;

  // Each applies once, to the first exchange that matches after the call.
  void ArmCut(const RelayCut& cut);
  void ArmCorruption(const RelayCorruption& corruption);
  // From now on each connection passes the client's bytes on at most this fast (0: as
  // fast as they come).
  void LimitUpstreamRate(int64_t bytes_per_second) { upstream_rate_ = bytes_per_second; }
  bool cut_made();
  bool corruption_made();
  // From now on keeps every byte passed on, both ways, up to kRecordedBytesMax.
  void RecordBytes();
  std::string RecordedBytes();

  // The header blocks of every request passed on so far, in order.
  std::vector<std::string> RequestHeaders();
  // The header blocks of the answers that held the answer mark, in order.
  std::vector<std::string> AnswerHeaders();
  // Bytes passed on from the client to the server, and back, since the start.
  int64_t upstream_bytes() const { return upstream_bytes_.load(); }
  int64_t downstream_bytes() const { return downstream_bytes_.load(); }

 private:
  struct Pipe;
  void Accept();
  void Relay(int client_fd);
  // Answers the connection's first request "503" and closes it.
  void Refuse(int client_fd);
  void Record(const char* bytes, size_t count);
  // Follows the requests in `bytes`, keeping their headers and spoiling the armed byte.
  void Upstream(Pipe& pipe, char* bytes, size_t count);
  // Follows the answers in `bytes`; returns how many of them are passed on and sets
  // `*cut` (and `*reset` for a reset) when the connection is to be dropped after them.
  size_t Downstream(Pipe& pipe, const char* bytes, size_t count, bool* cut, bool* reset);

  uint16_t target_port_;
  std::string answer_mark_;
  int listen_fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int64_t> upstream_bytes_{0};
  std::atomic<int64_t> downstream_bytes_{0};
  std::atomic<int64_t> upstream_rate_{0};
  std::mutex mutex_;  // guards everything below
  bool cut_armed_ = false;
  bool cut_made_ = false;
  bool refusing_ = false;
  RelayCut cut_;
  bool corruption_armed_ = false;
  bool corruption_made_ = false;
  RelayCorruption corruption_;
  bool recording_ = false;
  std::string recorded_;
  std::vector<std::string> request_headers_;
  std::vector<std::string> answer_headers_;
  std::list<std::thread> connections_;
  std::thread accept_thread_;
};

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_CUTTING_RELAY_H_

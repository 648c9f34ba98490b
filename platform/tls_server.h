// The server side of TLS (1.2 and 1.3): the certificate and key a server presents, which
// the operator may renew while the server runs, and one TLS session per accepted
// connection, spoken over the connection's socket as a server stream.
//
// TlsServerCredentials may be loaded again from any thread while connections use it: a
// new pair takes effect for connections accepted afterwards, sessions keep the pair they
// began with, and a pair that cannot be loaded leaves the one in use. A TlsServerSession
// belongs to its connection's thread. Writing to a peer that went away raises SIGPIPE,
// which a server process ignores.
//
// A file's range is sent through kernel TLS when the kernel took over the connection's
// encryption (no copy through the process), else in pieces of a fixed buffer: memory
// does not grow with the file's size.
#ifndef NVX_PLATFORM_TLS_SERVER_H_
#define NVX_PLATFORM_TLS_SERVER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/accepted_socket.h"
#include "platform/mutex.h"
#include "platform/server_stream.h"
#include "platform/thread_annotations.h"

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace nvx::platform {

class TlsServerCredentials {
 public:
  TlsServerCredentials();
  ~TlsServerCredentials();
  TlsServerCredentials(const TlsServerCredentials&) = delete;
  TlsServerCredentials& operator=(const TlsServerCredentials&) = delete;

  // Reads the PEM certificate (with the chain after it) from `cert_file` and its PEM
  // private key from `key_file`, and uses them from now on. False, with the reason in
  // `*error`, when either cannot be read, the key is protected by a pass phrase or does
  // not belong to the certificate; the pair in use stays then.
  [[nodiscard]] bool Load(const std::string& cert_file, const std::string& key_file,
                          std::string* error) EXCLUDES(mutex_);
  // True once a pair was loaded.
  bool loaded() const EXCLUDES(mutex_);

 private:
  friend class TlsServerSession;
  // The context in use, shared with the sessions that began with it; null before a load.
  std::shared_ptr<SSL_CTX> Current() const EXCLUDES(mutex_);

  mutable Mutex mutex_;
  std::shared_ptr<SSL_CTX> context_ GUARDED_BY(mutex_);
};

class TlsServerSession : public ServerStream {
 public:
  // Speaks TLS on `socket` (made non-blocking) with the pair `credentials` holds now;
  // the socket must outlive the session, which never closes it.
  TlsServerSession(const TlsServerCredentials& credentials, AcceptedSocket& socket);
  ~TlsServerSession() override;
  TlsServerSession(const TlsServerSession&) = delete;
  TlsServerSession& operator=(const TlsServerSession&) = delete;

  // The handshake, one step at a time (see ServerStream::Open).
  [[nodiscard]] OpenStep Open() override;
  std::string open_failure() const override { return open_failure_; }
  // True when the kernel encrypts what the session sends (after the handshake).
  bool kernel_sends() const;

  [[nodiscard]] Wait WaitReadable(int timeout_millis) override;
  [[nodiscard]] Wait WaitWritable(int timeout_millis) override;
  [[nodiscard]] int64_t Receive(void* buffer, size_t size) override;
  int64_t Send(const void* data, size_t size) override;
  [[nodiscard]] int64_t SendFromFile(File& file, int64_t* offset, size_t count) override;
  [[nodiscard]] bool WouldBlock() const override { return would_block_; }
  bool PeerAddress(std::string* ip, int* port) const override;
  // Sends the TLS close notice when it fits now, then ends the sending direction.
  void ShutdownSend() override;

 private:
  enum class Want { kNothing, kRead, kWrite };
  // Sorts out the result `result` of an SSL call: would_block_ and want_ for a call to
  // repeat; true when the peer closed the stream cleanly.
  bool Classify(int result);
  Wait WaitFor(Want want, int timeout_millis);

  std::shared_ptr<SSL_CTX> context_;
  AcceptedSocket& socket_;
  SSL* ssl_ = nullptr;
  bool would_block_ = false;
  Want want_ = Want::kNothing;
  std::string open_failure_;
  // A piece of a file being sent without kernel TLS: the file's bytes from
  // piece_offset_, piece_size_ of them. Kept until sent, because a send that would
  // block must be offered the same bytes again.
  std::vector<char> piece_;
  int64_t piece_offset_ = -1;
  size_t piece_size_ = 0;
};

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_TLS_SERVER_H_

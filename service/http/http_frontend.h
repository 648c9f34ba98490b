// The service's HTTP front end: the listening sockets (each plain or TLS), the accepting
// thread that admits
// each connection to a thread of its own (ConnectionThreads) or refuses it with "503",
// and each connection's loop over its requests (ServeRequest), which go to the service's
// handler. The front end reads requests and writes replies itself; see http_connection.h,
// request_exchange.h and reply_writer.h for what it bounds and how it answers. Bind and
// Serve run on the server's thread; RequestStop may be called from any thread.
#ifndef NVX_SERVICE_HTTP_HTTP_FRONTEND_H_
#define NVX_SERVICE_HTTP_HTTP_FRONTEND_H_

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/accepted_socket.h"
#include "platform/listening_socket.h"
#include "platform/tls_server.h"
#include "service/http/connection_settings.h"
#include "service/http/connection_threads.h"
#include "service/http/request_exchange.h"
#include "service/http/service_metrics.h"

namespace nvx::service {

class HttpFrontend {
 public:
  // Requests, bytes and connections count in `metrics` when it is given; it must outlive
  // the front end.
  HttpFrontend(RequestHandler handler, const ConnectionSettings& settings,
               ServiceMetrics* metrics = nullptr);
  HttpFrontend(const HttpFrontend&) = delete;
  HttpFrontend& operator=(const HttpFrontend&) = delete;

  // Binds to `host`:`port`; port 0 picks a free port. The bound port goes to `bound_port`.
  // Connections there speak TLS with the pair `tls` holds when it is given (it must
  // outlive the front end), else plain HTTP. Each call adds a listener; all share the
  // connection limits.
  bool Bind(const std::string& host, int port, int* bound_port, std::string* error,
            const platform::TlsServerCredentials* tls = nullptr);
  // Accepts and serves connections until RequestStop; returns once every connection's
  // thread has ended. False when the socket could no longer accept connections.
  bool Serve();
  // True from the moment Serve accepts connections until it ends.
  bool listening() const { return listening_.load(); }
  // Stops accepting, ends idle connections and lets requests in flight finish: their
  // replies end their connections. Once only; any thread, also before Serve.
  void RequestStop() { stopping_.store(true); }

 private:
  struct Listener {
    platform::ListeningSocket socket;
    const platform::TlsServerCredentials* tls = nullptr;
  };

  // Runs the connection on a thread of its own, or refuses it when the limits are
  // reached. Accepting thread.
  void Admit(std::unique_ptr<platform::AcceptedSocket> socket,
             const platform::TlsServerCredentials* tls, ConnectionThreads& threads);
  // The connection's loop over its requests, over TLS when `tls` is given; `slot` learns
  // when the connection is idle and tells when it was ended to make room.
  void ServeConnection(platform::AcceptedSocket& socket, const platform::TlsServerCredentials* tls,
                       ConnectionSlot& slot);

  const RequestHandler handler_;
  const ConnectionSettings settings_;
  ServiceMetrics* const metrics_;
  std::vector<std::unique_ptr<Listener>> listeners_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> listening_{false};
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_HTTP_HTTP_FRONTEND_H_

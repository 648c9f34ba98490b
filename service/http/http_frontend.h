// The service's HTTP front end: binds the listening socket, turns each request that
// cpp-httplib parsed into an IncomingRequest for the service's handler, writes the Reply
// back, and logs one line per request. Bind and Serve run on the server's thread;
// RequestStop may be called from any thread.
#ifndef NVX_SERVICE_HTTP_HTTP_FRONTEND_H_
#define NVX_SERVICE_HTTP_HTTP_FRONTEND_H_

#include <functional>
#include <string>

#include "service/commands/exchange.h"
#include "service/http/http_connection.h"

namespace nvx::service {

using RequestHandler = std::function<Reply(IncomingRequest& request)>;

class HttpFrontend {
 public:
  HttpFrontend(RequestHandler handler, const ConnectionSettings& settings);
  HttpFrontend(const HttpFrontend&) = delete;
  HttpFrontend& operator=(const HttpFrontend&) = delete;

  // Binds to `host`:`port`; port 0 picks a free port. The bound port goes to `bound_port`.
  bool Bind(const std::string& host, int port, int* bound_port, std::string* error);
  // Serves until RequestStop; false when listening failed.
  bool Serve();
  // True from the moment Serve accepts connections until it ends.
  bool listening() const { return server_.is_running(); }
  // Stops a server that is listening (see ServiceHttpServer::RequestStop); call it once.
  void RequestStop();

 private:
  void Dispatch(const httplib::Request& request, httplib::Response& response,
                const httplib::ContentReader* content_reader);

  ServiceHttpServer server_;
  RequestHandler handler_;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_HTTP_HTTP_FRONTEND_H_

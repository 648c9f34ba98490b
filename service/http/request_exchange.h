// One request on a connection: its request line and header block are read, the request
// goes to the service's handler (or is refused when it cannot be read), the reply is
// written and one line is logged. A request the service cannot read is answered "400"
// (or "414" for a request line over kServiceRequestLineMax) with an "Error - ..."
// conclusion, and the connection ends after it; a client that sends "Expect:
// 100-continue" gets "100 Continue" once the header block is read. The body is read only
// when the handler asks for it, and only as far as Content-Length announces; a body left
// unread (or of a transfer coding, which the service does not read) ends the connection
// after the reply, so that it is never taken for the next request. Connection thread.
#ifndef NVX_SERVICE_HTTP_REQUEST_EXCHANGE_H_
#define NVX_SERVICE_HTTP_REQUEST_EXCHANGE_H_

#include <functional>

#include "service/commands/exchange.h"
#include "service/http/http_connection.h"

namespace nvx::service {

using RequestHandler = std::function<Reply(IncomingRequest& request)>;

// What becomes of the connection after one request.
enum class ExchangeEnd {
  kNextRequest,  // it waits for the next request
  kClose,        // it ends now
  kLinger,       // it ends after reading what the client still sends (see LingeringClose)
};

// Serves the request whose first byte has come. `stopping` tells that the server stops:
// the reply then ends the connection. `answering` is called just before the reply is
// written.
ExchangeEnd ServeRequest(HttpConnection& connection, const RequestHandler& handler, bool stopping,
                         const std::function<void()>& answering);

// The reply to a request refused before the service could answer it: the conclusion, no
// space figures, "Connection: close". Also made on the accepting thread for a connection
// beyond the limits.
Reply RefusalReply(int status, std::string_view conclusion);

}  // namespace nvx::service

#endif  // NVX_SERVICE_HTTP_REQUEST_EXCHANGE_H_

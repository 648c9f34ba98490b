// How many connections the server takes and how long it waits for their bytes. The
// defaults come from the service's limits; the command line may change them for one run.
// A plain value, copied to whoever needs it.
#ifndef NVX_SERVICE_HTTP_CONNECTION_SETTINGS_H_
#define NVX_SERVICE_HTTP_CONNECTION_SETTINGS_H_

#include <cstddef>

#include "service/store/service_limits.h"

namespace nvx::service {

struct ConnectionSettings {
  // Connections served at once, in all and from one client address; a connection beyond
  // either is answered "503" and closed at once.
  size_t connections = kServiceConnectionsMax;
  size_t connections_per_address = kServiceConnectionsPerAddressMax;
  // From a request's first byte to the end of its header block.
  int header_timeout_millis = kServiceHeaderTimeoutMillis;
  // Waiting for a request's first byte.
  int idle_timeout_millis = kServiceIdleTimeoutMillis;
  // Waiting for any further byte of a body, or for the client to take a reply's bytes.
  int read_timeout_millis = kServiceReadTimeoutMillis;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_HTTP_CONNECTION_SETTINGS_H_

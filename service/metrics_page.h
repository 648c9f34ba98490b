// The metrics page that the metrics listener (--metrics ADDR:PORT) serves, in the
// Prometheus text format, version 0.0.4: the HTTP front's figures (requests by command
// and answer, bytes in and out, open connections, store latency), the outbox's depth as
// the store counts it, and the mail delivery's counts when the server delivers mail. The
// listener is apart from the users' one, so the page is never on the users' paths: the
// operator binds it where only the monitoring reaches (loopback, an internal network).
// Any connection thread of the metrics listener.
#ifndef NVX_SERVICE_METRICS_PAGE_H_
#define NVX_SERVICE_METRICS_PAGE_H_

#include <string>

#include "service/commands/exchange.h"
#include "service/http/service_metrics.h"
#include "service/mail_delivery.h"
#include "service/store/store.h"

namespace nvx::service {

// The page's text.
std::string MetricsPageText(const ServiceMetrics& metrics, Store& store, const MailCounts* mail);

// The answer to one request of the metrics listener: GET or HEAD of "/metrics" gets the
// page, another path "404", another method "405".
Reply MetricsPageReply(const IncomingRequest& request, const ServiceMetrics& metrics, Store& store,
                       const MailCounts* mail);

}  // namespace nvx::service

#endif  // NVX_SERVICE_METRICS_PAGE_H_

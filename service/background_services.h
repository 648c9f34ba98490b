// What a serving nvxserver runs beside the users' listener, each on a thread of its own:
// the mail delivery to an SMTP relay (--smtp) and the metrics listener (--metrics), an
// HTTP front of its own that serves only the metrics page (metrics_page.h) to at most
// kServiceMetricsConnectionsMax connections. Start begins them once the users' listener
// is bound; the destructor stops them and waits for their threads. Created, started and
// destroyed by the server's main thread; PostedMessage may be called from any thread.
#ifndef NVX_SERVICE_BACKGROUND_SERVICES_H_
#define NVX_SERVICE_BACKGROUND_SERVICES_H_

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "service/command_line.h"
#include "service/http/http_frontend.h"
#include "service/http/service_metrics.h"
#include "service/mail_delivery.h"
#include "service/store/store.h"

namespace nvx::service {

class BackgroundServices {
 public:
  // `command`, `store` and `metrics` must outlive the object.
  BackgroundServices(const CommandLine& command, Store& store, const ServiceMetrics& metrics);
  ~BackgroundServices();
  BackgroundServices(const BackgroundServices&) = delete;
  BackgroundServices& operator=(const BackgroundServices&) = delete;

  // Binds the metrics listener and starts what the command line asks for. False, with the
  // reason in `error`, when something cannot start (nothing runs then).
  bool Start(std::string* error);
  // The metrics listener's port; 0 without one.
  int metrics_port() const { return metrics_port_; }
  // A message was posted to the outbox: the delivery takes it at once.
  void PostedMessage();

 private:
  const CommandLine& command_;
  Store& store_;
  const ServiceMetrics& metrics_;
  std::atomic<bool> stopping_{false};
  std::unique_ptr<MailDelivery> mail_;
  std::thread mail_thread_;
  std::unique_ptr<HttpFrontend> metrics_listener_;
  std::thread metrics_thread_;
  int metrics_port_ = 0;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_BACKGROUND_SERVICES_H_

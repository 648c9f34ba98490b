#include "service/background_services.h"

#include "platform/text_format.h"
#include "service/http/request_log.h"
#include "service/metrics_page.h"

namespace nvx::service {

BackgroundServices::BackgroundServices(const CommandLine& command, Store& store,
                                       const ServiceMetrics& metrics)
    : command_(command), store_(store), metrics_(metrics) {}

BackgroundServices::~BackgroundServices() {
  stopping_.store(true);
  if (metrics_listener_) metrics_listener_->RequestStop();
  if (metrics_thread_.joinable()) metrics_thread_.join();
  if (mail_thread_.joinable()) mail_thread_.join();
}

bool BackgroundServices::Start(std::string* error) {
  if (command_.metrics) {
    ConnectionSettings settings = command_.connection;
    settings.connections = kServiceMetricsConnectionsMax;
    settings.connections_per_address = kServiceMetricsConnectionsMax;
    metrics_listener_ = std::make_unique<HttpFrontend>(
        [this](IncomingRequest& request) {
          return MetricsPageReply(request, metrics_, store_, mail_ ? &mail_->counts() : nullptr);
        },
        settings);
    if (!metrics_listener_->Bind(command_.metrics->host, command_.metrics->port, &metrics_port_,
                                 error)) {
      metrics_listener_.reset();
      return false;
    }
  }
  if (command_.mail) {
    mail_ = std::make_unique<MailDelivery>(store_, *command_.mail, stopping_);
    mail_thread_ = std::thread([this] { mail_->Run(); });
    LogLine(StrFormat("nvxserver delivering mail to %s:%d as %s", command_.mail->relay_host.c_str(),
                      command_.mail->relay_port, command_.mail->sender.c_str()));
  }
  if (metrics_listener_) {
    // A listener that stops accepting leaves the users' side serving; the log says so.
    metrics_thread_ = std::thread([this] {
      if (!metrics_listener_->Serve()) LogLine("nvxserver: the metrics listener failed");
    });
    LogLine(StrFormat("nvxserver metrics page on %s:%d", command_.metrics->host.c_str(),
                      metrics_port_));
  }
  return true;
}

void BackgroundServices::PostedMessage() {
  if (mail_) mail_->Wake();
}

}  // namespace nvx::service

#include "service/metrics_page.h"

#include <optional>

namespace nvx::service {
namespace {

constexpr std::string_view kPagePath = "/metrics";
constexpr std::string_view kPageType = "text/plain; version=0.0.4; charset=utf-8";

void WriteCounter(std::string_view name, std::string_view help, uint64_t value, std::string* page) {
  WriteMetricHead(name, "counter", help, page);
  WriteSample(name, static_cast<int64_t>(value), page);
}

}  // namespace

std::string MetricsPageText(const ServiceMetrics& metrics, Store& store, const MailCounts* mail) {
  std::string page;
  metrics.Write(&page);
  WriteMetricHead("nvx_outbox_messages", "gauge",
                  "Messages waiting in the outbox, of every account.", &page);
  // A store that cannot count leaves the figure out rather than report a false one.
  if (std::optional<int64_t> depth = store.CountPendingMessages()) {
    WriteSample("nvx_outbox_messages", *depth, &page);
  }
  if (std::optional<Store::SharedSyncCounts> shared = store.CountSharedSyncs()) {
    WriteCounter("nvx_store_shared_sync_commits_total",
                 "Commits of small documents made durable by syncs of the store's log "
                 "shared between them.",
                 shared->commits, &page);
    WriteCounter("nvx_store_shared_syncs_total", "The syncs of the store's log made for them.",
                 shared->syncs, &page);
  }
  if (mail != nullptr) {
    WriteCounter("nvx_mail_delivered_total", "Messages the SMTP relay accepted.",
                 mail->delivered.load(), &page);
    WriteCounter("nvx_mail_refused_total",
                 "Messages the SMTP relay refused for good, wholly or for some recipients.",
                 mail->refused.load(), &page);
    WriteCounter("nvx_mail_deferred_total",
                 "Delivery attempts that failed for now and wait to be tried again.",
                 mail->deferred.load(), &page);
  }
  return page;
}

Reply MetricsPageReply(const IncomingRequest& request, const ServiceMetrics& metrics, Store& store,
                       const MailCounts* mail) {
  Reply reply;
  std::string_view path = request.target.substr(0, request.target.find('?'));
  if (path != kPagePath) {
    reply.status = 404;
  } else if (request.method != "GET" && request.method != "HEAD") {
    reply.status = 405;
  } else {
    reply.body = MetricsPageText(metrics, store, mail);
    reply.content_type = std::string(kPageType);
  }
  return reply;
}

}  // namespace nvx::service

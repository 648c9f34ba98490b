// The figures a running service keeps for its metrics page: requests by what they asked
// (RequestKind) and how they were answered (AnswerClass), bytes received from and sent to
// clients, the connections open, and the time the store takes per call (a histogram).
// Every figure is a lock-free atomic: any thread adds to them, and the page reads each on
// its own, so two figures may stand a request apart but none is ever torn. The page is
// the Prometheus text format (version 0.0.4); the writers below make its lines.
#ifndef NVX_SERVICE_HTTP_SERVICE_METRICS_H_
#define NVX_SERVICE_HTTP_SERVICE_METRICS_H_

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "service/commands/request_kind.h"

namespace nvx::service {

// Durations in buckets: how many took at most each bound, their count and their sum.
class LatencyHistogram {
 public:
  // The upper bounds of the buckets, in microseconds; a last bucket takes the rest.
  static constexpr std::array<int64_t, 12> kBoundsMicros = {
      100, 250, 500, 1000, 2500, 5000, 10000, 25000, 50000, 100000, 250000, 1000000};

  void Observe(int64_t micros);
  // The histogram's lines: "_bucket" per bound (cumulative) and "+Inf", "_sum" in
  // seconds, "_count" (always equal to the "+Inf" bucket).
  void Write(std::string_view name, std::string_view help, std::string* page) const;

 private:
  std::array<std::atomic<uint64_t>, kBoundsMicros.size() + 1> counts_{};
  std::atomic<uint64_t> sum_micros_{0};
};

class ServiceMetrics {
 public:
  void CountRequest(RequestKind kind, AnswerClass answer);
  void AddReceived(uint64_t bytes) { received_.fetch_add(bytes, std::memory_order_relaxed); }
  void AddSent(uint64_t bytes) { sent_.fetch_add(bytes, std::memory_order_relaxed); }
  void ConnectionOpened() { open_connections_.fetch_add(1, std::memory_order_relaxed); }
  void ConnectionClosed() { open_connections_.fetch_sub(1, std::memory_order_relaxed); }
  LatencyHistogram& store_latency() { return store_latency_; }

  // Appends the lines of these figures to `page`.
  void Write(std::string* page) const;

 private:
  std::array<std::array<std::atomic<uint64_t>, kAnswerClassCount>, kRequestKindCount> requests_{};
  std::atomic<uint64_t> received_{0};
  std::atomic<uint64_t> sent_{0};
  std::atomic<int64_t> open_connections_{0};
  LatencyHistogram store_latency_;
};

// The "# HELP" and "# TYPE" lines of a metric; `type` is counter, gauge or histogram.
void WriteMetricHead(std::string_view name, std::string_view type, std::string_view help,
                     std::string* page);
// One sample line: the name (with its labels, if any) and the value.
void WriteSample(std::string_view name, int64_t value, std::string* page);

}  // namespace nvx::service

#endif  // NVX_SERVICE_HTTP_SERVICE_METRICS_H_

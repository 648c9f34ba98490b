#include "service/http/service_metrics.h"

#include "platform/text_format.h"

namespace nvx::service {
namespace {

constexpr std::array<std::string_view, LatencyHistogram::kBoundsMicros.size()> kBoundTexts = {
    "0.0001", "0.00025", "0.0005", "0.001", "0.0025", "0.005",
    "0.01",   "0.025",   "0.05",   "0.1",   "0.25",   "1"};

constexpr std::array<AnswerClass, kAnswerClassCount> kAnswers = {
    AnswerClass::kSuccessful, AnswerClass::kLoginRefused, AnswerClass::kError};

}  // namespace

void LatencyHistogram::Observe(int64_t micros) {
  if (micros < 0) micros = 0;
  size_t bucket = 0;
  while (bucket < kBoundsMicros.size() && micros > kBoundsMicros[bucket]) ++bucket;
  counts_[bucket].fetch_add(1, std::memory_order_relaxed);
  sum_micros_.fetch_add(static_cast<uint64_t>(micros), std::memory_order_relaxed);
}

void LatencyHistogram::Write(std::string_view name, std::string_view help,
                             std::string* page) const {
  WriteMetricHead(name, "histogram", help, page);
  std::string bucket_name = std::string(name) + "_bucket{le=\"";
  uint64_t cumulative = 0;
  for (size_t i = 0; i < counts_.size(); ++i) {
    cumulative += counts_[i].load(std::memory_order_relaxed);
    std::string_view bound = i < kBoundTexts.size() ? kBoundTexts[i] : "+Inf";
    WriteSample(bucket_name + std::string(bound) + "\"}", static_cast<int64_t>(cumulative), page);
  }
  uint64_t sum = sum_micros_.load(std::memory_order_relaxed);
  *page += StrFormat("%.*s_sum %llu.%06llu\n", static_cast<int>(name.size()), name.data(),
                     static_cast<unsigned long long>(sum / 1000000),
                     static_cast<unsigned long long>(sum % 1000000));
  WriteSample(std::string(name) + "_count", static_cast<int64_t>(cumulative), page);
}

void ServiceMetrics::CountRequest(RequestKind kind, AnswerClass answer) {
  auto row = static_cast<size_t>(kind);
  auto column = static_cast<size_t>(answer);
  if (row >= kRequestKindCount || column >= kAnswerClassCount) return;
  requests_[row][column].fetch_add(1, std::memory_order_relaxed);
}

void ServiceMetrics::Write(std::string* page) const {
  WriteMetricHead("nvx_requests_total", "counter",
                  "Requests answered, by the command they named and the class of the answer.",
                  page);
  for (size_t row = 0; row < kRequestKindCount; ++row) {
    for (AnswerClass answer : kAnswers) {
      std::string_view command = RequestKindName(static_cast<RequestKind>(row));
      std::string_view answer_name = AnswerClassName(answer);
      WriteSample(StrFormat("nvx_requests_total{command=\"%.*s\",answer=\"%.*s\"}",
                            static_cast<int>(command.size()), command.data(),
                            static_cast<int>(answer_name.size()), answer_name.data()),
                  static_cast<int64_t>(
                      requests_[row][static_cast<size_t>(answer)].load(std::memory_order_relaxed)),
                  page);
    }
  }
  WriteMetricHead("nvx_received_bytes_total", "counter",
                  "Bytes received from clients: request lines, headers and bodies.", page);
  WriteSample("nvx_received_bytes_total",
              static_cast<int64_t>(received_.load(std::memory_order_relaxed)), page);
  WriteMetricHead("nvx_sent_bytes_total", "counter",
                  "Bytes sent to clients: status lines, headers and bodies.", page);
  WriteSample("nvx_sent_bytes_total", static_cast<int64_t>(sent_.load(std::memory_order_relaxed)),
              page);
  WriteMetricHead("nvx_open_connections", "gauge", "Client connections open now.", page);
  WriteSample("nvx_open_connections", open_connections_.load(std::memory_order_relaxed), page);
  store_latency_.Write("nvx_store_latency_seconds", "Time the store took per call.", page);
}

void WriteMetricHead(std::string_view name, std::string_view type, std::string_view help,
                     std::string* page) {
  *page += "# HELP " + std::string(name) + " " + std::string(help) + "\n";
  *page += "# TYPE " + std::string(name) + " " + std::string(type) + "\n";
}

void WriteSample(std::string_view name, int64_t value, std::string* page) {
  *page += std::string(name) + " " + std::to_string(value) + "\n";
}

}  // namespace nvx::service

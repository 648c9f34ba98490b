// What a service command works with: the job settings it reads, the protocol's record it
// writes, the reporting interface and progress sink it reports through, the link to the
// service and the stop flag. The object is a set of references; whoever builds it owns
// the parts and keeps them alive as long as it. Worker thread only.
#ifndef NVX_PROTOCOL_SERVICE_SESSION_H_
#define NVX_PROTOCOL_SERVICE_SESSION_H_

#include <atomic>

#include "protocol/job_settings.h"
#include "protocol/progress_sink.h"
#include "protocol/protocol_state.h"
#include "protocol/reporter.h"

namespace nvx {

class ServiceLink;

class ServiceSession {
 public:
  ServiceSession(const JobSettings& job, ProtocolState& state, Reporter& report,
                 ProgressSink& progress, ServiceLink& link, const std::atomic<bool>& stop)
      : job_(job), state_(state), report_(report), progress_(progress), link_(link), stop_(stop) {}
  ServiceSession(const ServiceSession&) = delete;
  ServiceSession& operator=(const ServiceSession&) = delete;

  const JobSettings& job() const { return job_; }
  ProtocolState& state() { return state_; }
  Reporter& report() { return report_; }
  ProgressSink& progress() { return progress_; }
  ServiceLink& link() { return link_; }

  // True once the owner wants the worker to stop (the CNvxapi is going away): long
  // exchanges end early.
  bool StopRequested() const { return stop_.load(std::memory_order_acquire); }
  const std::atomic<bool>& stop_flag() const { return stop_; }

 private:
  const JobSettings& job_;
  ProtocolState& state_;
  Reporter& report_;
  ProgressSink& progress_;
  ServiceLink& link_;
  const std::atomic<bool>& stop_;
};

}  // namespace nvx

#endif  // NVX_PROTOCOL_SERVICE_SESSION_H_

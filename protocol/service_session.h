// What a service command works with: the job settings it reads, the account figures the
// answers update, the reporting interface and progress sink it reports through, the link
// to the service and the stop flag. The object is a set of references; whoever builds it
// owns the parts and keeps them alive as long as it. What a command acts on (a folder, a
// document, a name) is never here: the command takes it as arguments and gives its
// answer back as a value.
//
// A session is one link: an engine that runs a second file on a second connection builds
// a second session over the same job, account, reports and stop flag with its own link
// (see EngineContext). Worker thread only.
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
  ServiceSession(const JobSettings& job, AccountFigures& account, Reporter& report,
                 ProgressSink& progress, ServiceLink& link, const std::atomic<bool>& stop)
      : job_(job),
        account_(account),
        report_(report),
        progress_(progress),
        link_(link),
        stop_(stop) {}
  // The same session on another link: a second connection for a second file in flight.
  ServiceSession(const ServiceSession& other, ServiceLink& link)
      : ServiceSession(other.job_, other.account_, other.report_, other.progress_, link,
                       other.stop_) {}
  ServiceSession(const ServiceSession&) = delete;
  ServiceSession& operator=(const ServiceSession&) = delete;

  const JobSettings& job() const { return job_; }
  AccountFigures& account() { return account_; }
  const AccountFigures& account() const { return account_; }
  Reporter& report() { return report_; }
  ProgressSink& progress() { return progress_; }
  ServiceLink& link() { return link_; }

  // True once the owner wants the worker to stop (the CNvxapi is going away): long
  // exchanges end early.
  [[nodiscard]] bool StopRequested() const { return stop_.load(std::memory_order_acquire); }
  const std::atomic<bool>& stop_flag() const { return stop_; }

 private:
  const JobSettings& job_;
  AccountFigures& account_;
  Reporter& report_;
  ProgressSink& progress_;
  ServiceLink& link_;
  const std::atomic<bool>& stop_;
};

}  // namespace nvx

#endif  // NVX_PROTOCOL_SERVICE_SESSION_H_

// What a serving nvxserver runs beside the users' listener, each on a thread of its own:
// the mail delivery to an SMTP relay (--smtp). Start begins them once the users' listener
// is bound; the destructor stops them and waits for their threads. Created, started and
// destroyed by the server's main thread; PostedMessage may be called from any thread.
#ifndef NVX_SERVICE_BACKGROUND_SERVICES_H_
#define NVX_SERVICE_BACKGROUND_SERVICES_H_

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "service/command_line.h"
#include "service/mail_delivery.h"
#include "service/store/store.h"

namespace nvx::service {

class BackgroundServices {
 public:
  // `command` and `store` must outlive the object.
  BackgroundServices(const CommandLine& command, Store& store);
  ~BackgroundServices();
  BackgroundServices(const BackgroundServices&) = delete;
  BackgroundServices& operator=(const BackgroundServices&) = delete;

  // Starts what the command line asks for. False, with the reason in `error`, when
  // something cannot start (nothing runs then).
  bool Start(std::string* error);
  // A message was posted to the outbox: the delivery takes it at once.
  void PostedMessage();

 private:
  const CommandLine& command_;
  Store& store_;
  std::atomic<bool> stopping_{false};
  std::unique_ptr<MailDelivery> mail_;
  std::thread mail_thread_;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_BACKGROUND_SERVICES_H_

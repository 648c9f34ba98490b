#include "service/background_services.h"

#include "platform/text_format.h"
#include "service/http/request_log.h"

namespace nvx::service {

BackgroundServices::BackgroundServices(const CommandLine& command, Store& store)
    : command_(command), store_(store) {}

BackgroundServices::~BackgroundServices() {
  stopping_.store(true);
  if (mail_thread_.joinable()) mail_thread_.join();
}

bool BackgroundServices::Start(std::string* /*error*/) {
  if (command_.mail) {
    mail_ = std::make_unique<MailDelivery>(store_, *command_.mail, stopping_);
    mail_thread_ = std::thread([this] { mail_->Run(); });
    LogLine(StrFormat("nvxserver delivering mail to %s:%d as %s", command_.mail->relay_host.c_str(),
                      command_.mail->relay_port, command_.mail->sender.c_str()));
  }
  return true;
}

void BackgroundServices::PostedMessage() {
  if (mail_) mail_->Wake();
}

}  // namespace nvx::service

// The service's routing of one request: the target decides between the service's script,
// static files and "not found"; requests to the script pass the login check and then go
// to the command that their method and query name. Every reply to the script carries the
// conclusion and the account's space figures; service commands also carry the option
// flags. Shared by all connection threads; it keeps no state of its own.
#ifndef NVX_SERVICE_COMMANDS_SERVICE_ROUTER_H_
#define NVX_SERVICE_COMMANDS_SERVICE_ROUTER_H_

#include "service/commands/command_context.h"
#include "service/commands/exchange.h"
#include "service/commands/request_target.h"

namespace nvx::service {

class ServiceRouter {
 public:
  explicit ServiceRouter(ServiceEnvironment& service) : service_(service) {}

  Reply Handle(IncomingRequest& request);

 private:
  Reply HandleScript(IncomingRequest& request, const RequestTarget& target);

  ServiceEnvironment& service_;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_SERVICE_ROUTER_H_

#include "protocol/email_exchange.h"

#include "api/shared_block.h"

namespace nvx {

bool SendEmailText(TransferSession& session, std::string_view /*text*/) {
  // The library has no service connection yet: nothing can be sent.
  SetStatusMessage(session.block(), "Connect to Norrvault failed.");
  session.block().error_code.store(kErrorConnect);
  return false;
}

}  // namespace nvx

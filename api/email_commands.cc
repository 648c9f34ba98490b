#include "api/email_commands.h"

#include "api/statistics.h"
#include "protocol/email_exchange.h"

namespace nvx {

bool RoutineGetStats(TransferSession& session) {
  session.block().statistics_text = BuildStatisticsText(session.block());
  return true;
}

bool RoutineEmailStats(TransferSession& session) {
  if (!RoutineGetStats(session)) return false;
  return SendEmailText(session, session.block().statistics_text);
}

bool RoutineEmailSend(TransferSession& session) {
  return SendEmailText(session, BuildEmailSendText(session.block()));
}

bool RoutineEmailSendJustText(TransferSession& session) {
  return SendEmailText(session, BuildEmailJustText(session.block()));
}

}  // namespace nvx

// How an exchange with the service ended, as one value: answered and accepted, broken off
// at the transport level (no connection, a cut or missing answer, a failed send), refused
// by the service (an error conclusion, an unusable answer), or failed here (a local file
// that could not be read or written). Commands and engines return it, alone or with the
// answer's value, instead of a bool with the reason in a side channel; the one retry
// after a transport failure is RetryOnceAfterTransportFailure. Any thread.
#ifndef NVX_PROTOCOL_EXCHANGE_OUTCOME_H_
#define NVX_PROTOCOL_EXCHANGE_OUTCOME_H_

#include <type_traits>
#include <utility>

namespace nvx {

enum class [[nodiscard]] ExchangeOutcome{
    kOk,
    kTransportFailure,
    kRefused,
    kLocalFailure,
};

// An outcome with what the answer gave; `value` means something only when ok().
template <typename Value>
struct [[nodiscard]] ExchangeResult {
  ExchangeOutcome outcome = ExchangeOutcome::kRefused;
  Value value{};

  bool ok() const { return outcome == ExchangeOutcome::kOk; }
  bool transport_failure() const { return outcome == ExchangeOutcome::kTransportFailure; }
};

[[nodiscard]] inline ExchangeOutcome OutcomeOf(ExchangeOutcome outcome) {
  return outcome;
}
template <typename Value>
[[nodiscard]] ExchangeOutcome OutcomeOf(const ExchangeResult<Value>& result) {
  return result.outcome;
}

// Runs `attempt`; when it broke off at the transport level, runs `before_retry` (the
// retry's log line and status) and `attempt` once more. A refusal or a local failure is
// never retried. Returns what the last attempt returned.
template <typename Attempt, typename BeforeRetry>
[[nodiscard]] auto RetryOnceAfterTransportFailure(Attempt&& attempt, BeforeRetry&& before_retry)
    -> std::invoke_result_t<Attempt&> {
  auto result = attempt();
  if (OutcomeOf(result) != ExchangeOutcome::kTransportFailure) return result;
  before_retry();
  return attempt();
}

}  // namespace nvx

#endif  // NVX_PROTOCOL_EXCHANGE_OUTCOME_H_

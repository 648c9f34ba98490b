// TestLogin: asks the service whether an ID and password may log in, through the
// exported CNvxapi of libnvxapi.so. Results: 1 the login is accepted, 2 login ID invalid,
// 3 password invalid, 4 account disabled, 5 password expired, -2 the service could not
// be reached (no connection, or no answer in the library's time), -3 it gave no clear
// answer (another error, or a conclusion other than "Successful"). A login that could
// not be checked is never reported as accepted: the wizard asks the user what to do.
// Blocks until the check ends; any thread, one call at a time per caller.
#include <chrono>
#include <cstring>
#include <thread>

#include "api/nvxapi.h"

namespace {

constexpr int kAccepted = 1;
constexpr int kServiceNotReached = -2;
constexpr int kNotConfirmed = -3;

int ResultOf(int32_t status, int32_t error_code, const char* conclusion) {
  switch (error_code) {
    case nvx::kErrorIdInvalid:
      return 2;
    case nvx::kErrorPasswordInvalid:
      return 3;
    case nvx::kErrorAccountDisabled:
      return 4;
    case nvx::kErrorPasswordExpired:
      return 5;
    case nvx::kErrorSocketCreate:
    case nvx::kErrorConnect:
    case nvx::kErrorTransferConnection:
      return kServiceNotReached;
    case nvx::kErrorNone:
      if (status == nvx::kStatusFailed) return kServiceNotReached;
      return conclusion != nullptr && std::strcmp(conclusion, "Successful") == 0 ? kAccepted
                                                                                 : kNotConfirmed;
    default:
      return kNotConfirmed;
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int TestLogin(const char* id,
                                                                const char* password) {
  CNvxapi api;
  api.SetUserAuth(id, password);
  api.VerifyId();
  // The worker ends every command with status 2 or 3; the library bounds its own waits
  // (connection attempts, receive time-outs), so this loop ends.
  while (api.GetStatus() == nvx::kStatusBusy) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return ResultOf(api.GetStatus(), api.GetErrorCode(), api.GetConclusion());
}

// TestLogin: asks the service whether an ID and password may log in, through the
// exported CNvxapi of libnvxapi.so. Results: 2 login ID invalid, 3 password invalid,
// 4 account disabled, 5 password expired, 1 for everything else (the login is accepted;
// the wizard does not stop a user because the service could not be asked). Blocks until
// the check ends; any thread, one call at a time per caller.
#include <chrono>
#include <thread>

#include "api/nvxapi.h"

namespace {

int ResultOfErrorCode(int32_t error_code) {
  switch (error_code) {
    case nvx::kErrorIdInvalid:
      return 2;
    case nvx::kErrorPasswordInvalid:
      return 3;
    case nvx::kErrorAccountDisabled:
      return 4;
    case nvx::kErrorPasswordExpired:
      return 5;
    default:
      return 1;
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
  return ResultOfErrorCode(api.GetErrorCode());
}

// TestLogin: asks the service whether an ID and password may log in, through the
// exported CNvxapi of libnvxapi.so. Results: 1 the login is accepted, 2 login ID invalid,
// 3 password invalid, 4 account disabled, 5 password expired, -2 the service could not
// be reached (no connection, or no answer in the library's time), -3 it gave no clear
// answer (another error, or a conclusion other than "Successful"). TestLoginAt asks the
// servers of a list (as SetServer takes it) with the authorities of a PEM file, and tells
// a TLS service that was not reached apart: -4 its certificate is not trusted, -5 it was
// issued for another name, -6 it has expired (or is not yet valid), -7 the service does
// not speak TLS. A login that could not be checked is never reported as accepted: the
// wizard asks the user what to do. Blocks until the check ends; any thread, one call at
// a time per caller.
#include <chrono>
#include <cstring>
#include <string_view>
#include <thread>

#include "api/nvxapi.h"

namespace {

constexpr int kAccepted = 1;
constexpr int kServiceNotReached = -2;
constexpr int kNotConfirmed = -3;

// The library's words for a TLS service it refused, and what each is reported as.
struct TlsRefusalResult {
  std::string_view words;
  int result;
};
constexpr TlsRefusalResult kTlsRefusals[] = {
    {"the service's certificate is not trusted", -4},
    {"the certificate authority file", -4},
    {"the service's certificate was issued for another name", -5},
    {"the service's certificate has expired", -6},
    {"the service does not speak TLS", -7},
};

int NotReachedResult(const char* status_message) {
  std::string_view message = status_message != nullptr ? status_message : "";
  for (const TlsRefusalResult& refusal : kTlsRefusals) {
    if (message.find(refusal.words) != std::string_view::npos) return refusal.result;
  }
  return kServiceNotReached;
}

int ResultOf(int32_t status, int32_t error_code, const char* conclusion,
             const char* status_message) {
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
      return NotReachedResult(status_message);
    case nvx::kErrorNone:
      if (status == nvx::kStatusFailed) return kServiceNotReached;
      return conclusion != nullptr && std::strcmp(conclusion, "Successful") == 0 ? kAccepted
                                                                                 : kNotConfirmed;
    default:
      return kNotConfirmed;
  }
}

// Checks the login on `api`, whose servers are set.
int CheckLogin(CNvxapi& api, const char* id, const char* password) {
  api.SetUserAuth(id, password);
  api.VerifyId();
  // The worker ends every command with status 2 or 3; the library bounds its own waits
  // (connection attempts, receive time-outs), so this loop ends.
  while (api.GetStatus() == nvx::kStatusBusy) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return ResultOf(api.GetStatus(), api.GetErrorCode(), api.GetConclusion(), api.GetStatusMsg());
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int TestLogin(const char* id,
                                                                const char* password) {
  CNvxapi api;
  return CheckLogin(api, id, password);
}

extern "C" __attribute__((visibility("default"))) int TestLoginAt(const char* servers,
                                                                  const char* ca_file,
                                                                  const char* id,
                                                                  const char* password) {
  CNvxapi api;
  if (ca_file != nullptr && ca_file[0] != '\0') api.SetServerCA(ca_file);
  if (servers != nullptr && servers[0] != '\0') {
    api.SetServer(servers);
    while (api.GetStatus() == nvx::kStatusBusy) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  return CheckLogin(api, id, password);
}

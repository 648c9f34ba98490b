// CNvxauth: scrambled login tokens and texts for the job runner. Every operation works on
// its arguments alone and never throws; a null text reads as the empty text and a null
// output buffer is left alone.
#include <new>
#include <string>

#include "api/nvxapi.h"
#include "codec/scrambled_text.h"
#include "codec/secure_wipe.h"
#include "platform/clock.h"
#include "platform/text_format.h"
#include "protocol/library_limits.h"
#include "wire/login_token.h"

namespace {

// Scrambles `plaintext` into `output` (kScrambledTextCapacity bytes). A plaintext whose
// scrambled text would not fit gives the empty text rather than a cut token that would
// descramble to something else.
void ScrambleInto(std::string& plaintext, char* output) {
  std::string text;
  if (plaintext.size() <= nvx::kScramblePlaintextMax) {
    text = nvx::ScrambleBytes(plaintext, nvx::platform::GetClock().NowSeconds());
  }
  nvx::SecureWipe(plaintext.data(), plaintext.size());
  nvx::CopyToField(output, nvx::kScrambledTextCapacity, text);
}

}  // namespace

CNvxauth::CNvxauth() : reserved_(nullptr) {}

CNvxauth::~CNvxauth() = default;

CNvxauth& CNvxauth::operator=(const CNvxauth& other) {
  reserved_ = other.reserved_;
  return *this;
}

void CNvxauth::GenerateAuthData(const char* user, const char* password, char* output) {
  if (output == nullptr) return;
  try {
    std::string plaintext = nvx::LoginPlaintextFor(nvx::TextArg(user), nvx::TextArg(password));
    ScrambleInto(plaintext, output);
  } catch (const std::bad_alloc&) {
    output[0] = '\0';
  }
}

void CNvxauth::GenerateEncryptData(const char* text, char* output) {
  if (output == nullptr) return;
  try {
    std::string plaintext(nvx::TextArg(text));
    plaintext.push_back('\0');
    ScrambleInto(plaintext, output);
  } catch (const std::bad_alloc&) {
    output[0] = '\0';
  }
}

bool CNvxauth::VerifyAuthId(const char* user, const char* token) {
  try {
    std::optional<std::string> carried = nvx::UserIdOfLoginToken(nvx::TextArg(token));
    return carried && nvx::EqualsIgnoreCase(*carried, nvx::TextArg(user));
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// The crash report's allocation-free demangler: names it reads, names it refuses, and
// agreement with the run-time's full demangler.
#include <cxxabi.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/symbol_demangle.h"

namespace nvx::platform {
namespace {

std::string Demangle(std::string_view mangled, size_t capacity = 512) {
  std::string out(capacity, '\0');
  size_t length = DemangleFunctionName(mangled, out.data(), capacity);
  return out.substr(0, length);
}

// The run-time's demangler, which allocates; for comparison only.
std::string FullDemangle(const std::string& mangled) {
  int status = 0;
  char* text = abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status);
  std::string result = status == 0 && text != nullptr ? text : "";
  std::free(text);
  return result;
}

struct Case {
  const char* mangled;
  const char* readable;  // "" when refused
  bool same_as_full;     // the full demangler's text starts with the readable name and "("
};

const Case kCases[] = {
    {"_ZN7CNvxapi10UploadFileEv", "CNvxapi::UploadFile", true},
    {"_ZNK7CNvxapi9GetStatusEv", "CNvxapi::GetStatus", true},
    {"_ZN3nvx8platform4File4OpenERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEENS1_"
     "6AccessE",
     "nvx::platform::File::Open", true},
    {"_ZN7CNvxapiC1Ev", "CNvxapi::CNvxapi", true},
    {"_ZN7CNvxapiC2ERKS_", "CNvxapi::CNvxapi", true},
    {"_ZN7CNvxapiD0Ev", "CNvxapi::~CNvxapi", true},
    {"_ZN7CNvxapiD2Ev", "CNvxapi::~CNvxapi", true},
    {"_ZNSt6thread6_StateD2Ev", "std::thread::_State::~_State", true},
    {"_ZSt9terminatev", "std::terminate", true},
    {"_Z3fooi", "foo", true},
    {"_ZL6helperv", "helper", true},
    {"_ZN12_GLOBAL__N_15Fault3RunEv", "(anonymous namespace)::Fault::Run", true},
    {"_ZN10nvx_victim16WriteThroughNullEi", "nvx_victim::WriteThroughNull", true},
    {"_ZNKR3nvx4Path4TextEv", "nvx::Path::Text", true},
    {"_ZNKSs4sizeEv", "std::string::size", false},
    {"_ZN3nvx4TestEv.cold", "nvx::Test", false},
    // Refused: printed as they stand.
    {"main", "", false},
    {"_ZNSt6vectorIiSaIiEE9push_backERKi", "", false},  // template
    {"_ZN3fooplERKS_", "", false},                      // operator
    {"_Z3maxIiET_S0_S0_", "", false},                   // template function
    {"_ZTV7CNvxapi", "", false},                        // table, not a function
    {"_ZThn8_N3nvx4Sink5WriteEv", "", false},           // thunk
    {"_ZZ4mainE5local", "", false},                     // local entity
    {"_ZN3nvx1AB5cxx11Ev", "", false},                  // ABI tag
    {"_ZNC1Ev", "", false},                             // constructor without a class
    {"_ZN3foo", "", false},                             // cut short
    {"_ZN9abcE", "", false},                            // length beyond the text
    {"_Z999999999999999999999a", "", false},
    {"_Z0a", "", false},
    {"_Z", "", false},
    {"", "", false},
};

TEST(SymbolDemangleTest, ReadsQualifiedNamesAndRefusesTheRest) {
  for (const Case& c : kCases) {
    EXPECT_EQ(Demangle(c.mangled), c.readable) << c.mangled;
  }
}

TEST(SymbolDemangleTest, AgreesWithTheFullDemangler) {
  for (const Case& c : kCases) {
    if (!c.same_as_full) continue;
    const std::string full = FullDemangle(c.mangled);
    EXPECT_EQ(full.rfind(std::string(c.readable) + "(", 0), 0u) << c.mangled << " -> " << full;
  }
}

TEST(SymbolDemangleTest, NeverReadsPastTheEndOfAnyPrefix) {
  for (const Case& c : kCases) {
    const std::string mangled = c.mangled;
    for (size_t length = 0; length <= mangled.size(); ++length) {
      // A buffer of exactly the prefix lets the sanitizer catch a read beyond it.
      const std::vector<char> prefix(mangled.begin(), mangled.begin() + length);
      Demangle(std::string_view(prefix.data(), prefix.size()));
    }
  }
}

TEST(SymbolDemangleTest, RefusesWhatDoesNotFitTheBuffer) {
  // "CNvxapi::UploadFile" is 19 characters and needs a 20th byte for the terminator.
  EXPECT_EQ(Demangle("_ZN7CNvxapi10UploadFileEv", 20), "CNvxapi::UploadFile");
  EXPECT_EQ(Demangle("_ZN7CNvxapi10UploadFileEv", 19), "");
  EXPECT_EQ(Demangle("_ZN7CNvxapi10UploadFileEv", 0), "");
}

}  // namespace
}  // namespace nvx::platform

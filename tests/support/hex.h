// Hexadecimal texts of byte strings, for tables of expected values in tests.
#ifndef NVX_TESTS_SUPPORT_HEX_H_
#define NVX_TESTS_SUPPORT_HEX_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nvx::test {

// Lower-case hexadecimal digits of `count` bytes.
std::string ToHex(const void* bytes, size_t count);
std::string ToHex(std::string_view bytes);
// The bytes of a text of hexadecimal digit pairs (either case); blanks are skipped.
std::vector<uint8_t> FromHex(std::string_view hex);

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_HEX_H_

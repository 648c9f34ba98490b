// The file types that are compressed already: a download of one never travels as a ZIP
// archive, because packing it again gains nothing. The same list the library uses when it
// decides what to pack for an upload. Pure function; any thread.
#ifndef NVX_SERVICE_COMMANDS_COMPRESSED_TYPES_H_
#define NVX_SERVICE_COMMANDS_COMPRESSED_TYPES_H_

#include <string_view>

namespace nvx::service {

// True when the text after the name's last dot is one of the compressed types (letter
// case ignored); a name without a dot is not.
bool IsOfCompressedType(std::string_view name);

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_COMPRESSED_TYPES_H_

// Reply bodies that the service sends enciphered (folder lists and file lists when the
// service option bit 1 is set): two bytes naming the key number, then whole 8-byte
// blocks of ciphertext. Pure function; any thread.
#ifndef NVX_PROTOCOL_REPLY_BODY_H_
#define NVX_PROTOCOL_REPLY_BODY_H_

#include <string>
#include <string_view>

namespace nvx {

// The clear text of an enciphered body: key number k = ((byte 0 AND 1) * 256) + byte 1;
// the whole 8-byte blocks after the two bytes deciphered with the key bytes at k; the
// text without the zero bytes that pad its end (zero bytes inside stay, for the parser
// to judge). A body shorter than two bytes gives the empty text; a trailing part block
// is ignored.
[[nodiscard]] std::string DecipherReplyBody(std::string_view body);

}  // namespace nvx

#endif  // NVX_PROTOCOL_REPLY_BODY_H_

// Entry points that feed untrusted bytes, as a server or a proxy might send them, to every
// parser of the wire protocol. The libFuzzer targets in this folder and the hostile-input
// unit test call the same functions, so a crash found by one is reproduced by the other.
// Each function must return normally for any input; sanitizers catch the rest.
#ifndef NVX_FUZZ_REPLY_FEEDS_H_
#define NVX_FUZZ_REPLY_FEEDS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace nvx::fuzz {

// A "FolderList" reply: parse it, then look paths up, build folder paths and link a new
// folder into whatever tree came out.
void FeedFolderList(std::string_view bytes);
// A "FolderFileList" reply.
void FeedServerFileList(std::string_view bytes);
// A response header block, fed through the header reader and every header parser; also
// a reply body (deciphered), a date stamp and a version file.
void FeedResponseHeader(std::string_view bytes);
// Picks one of the feeds above by the first byte.
void FeedAny(const uint8_t* data, size_t size);

}  // namespace nvx::fuzz

#endif  // NVX_FUZZ_REPLY_FEEDS_H_

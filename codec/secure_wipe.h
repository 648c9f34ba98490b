// Overwrites key material and clear texts with zeros in a way the optimiser keeps, even
// when the memory is about to go out of scope. Any thread.
#ifndef NVX_CODEC_SECURE_WIPE_H_
#define NVX_CODEC_SECURE_WIPE_H_

#include <cstddef>
#include <cstring>

namespace nvx {

inline void SecureWipe(void* data, size_t size) {
  if (data == nullptr || size == 0) return;
  std::memset(data, 0, size);
  // The empty statement claims to read the memory, so the stores above cannot be dropped.
  __asm__ __volatile__("" : : "r"(data) : "memory");
}

}  // namespace nvx

#endif  // NVX_CODEC_SECURE_WIPE_H_

// The fixed initial tables of the Blowfish cipher, from which every key schedule starts.
// Read-only data; any thread.
#ifndef NVX_CODEC_BLOWFISH_TABLES_H_
#define NVX_CODEC_BLOWFISH_TABLES_H_

#include <cstddef>
#include <cstdint>

namespace nvx {

inline constexpr size_t kBlowfishRounds = 16;
inline constexpr size_t kBlowfishPWords = kBlowfishRounds + 2;

extern const uint32_t kBlowfishInitialP[kBlowfishPWords];
extern const uint32_t kBlowfishInitialS[4][256];

}  // namespace nvx

#endif  // NVX_CODEC_BLOWFISH_TABLES_H_

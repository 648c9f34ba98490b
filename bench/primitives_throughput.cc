// Prints the throughput of the product's own code paths so that compare.sh can set them
// next to peer tools measured at the same moment:
//   primitives_throughput md5 FILE            GenerateFileMD5 over FILE, as uploads use it
//   primitives_throughput bf-ecb SECONDS      Encipher in place on 16384-byte buffers
// Each prints one line: the figure in MB/s (10^6 bytes per second), then details.
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "codec/transfer_cipher.h"
#include "engines/file_digest.h"
#include "platform/file.h"
#include "protocol/library_limits.h"

namespace nvx {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

int DigestFile(const std::string& path) {
  platform::File file = platform::File::Open(path, platform::File::Access::kRead);
  if (!file.is_open()) {
    std::fprintf(stderr, "cannot open %s (error %d)\n", path.c_str(), file.error());
    return 1;
  }
  int64_t size = file.Size();
  std::vector<uint8_t> buffer(kTransferBufferSize);
  std::atomic<bool> stop{false};
  Clock::time_point start = Clock::now();
  FileDigest digest = GenerateFileMD5(file, buffer, stop);
  bool whole = digest.whole;
  double seconds = SecondsSince(start);
  std::string hex;
  for (uint8_t b : digest.digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  std::printf("%.1f MB/s  %s  %lld bytes in %.3f s\n", static_cast<double>(size) / 1e6 / seconds,
              hex.c_str(), static_cast<long long>(size), seconds);
  return whole ? 0 : 1;
}

int EncipherFor(double seconds) {
  constexpr size_t kPiece = 16384;
  std::vector<uint8_t> buffer(kPiece, 0x5A);
  TransferCipher cipher = CipherForUpload(1078495629);
  int64_t bytes = 0;
  Clock::time_point start = Clock::now();
  double elapsed = 0;
  while (elapsed < seconds) {
    for (int i = 0; i < 64; ++i) cipher.Encipher(buffer.data(), buffer.size(), buffer.data());
    bytes += 64 * static_cast<int64_t>(kPiece);
    elapsed = SecondsSince(start);
  }
  std::printf("%.1f MB/s  %lld bytes in %.3f s (check byte %u)\n",
              static_cast<double>(bytes) / 1e6 / elapsed, static_cast<long long>(bytes), elapsed,
              buffer[0]);
  return 0;
}

}  // namespace
}  // namespace nvx

int main(int argc, char** argv) {
  std::string_view mode = argc > 1 ? argv[1] : "";
  if (mode == "md5" && argc == 3) return nvx::DigestFile(argv[2]);
  if (mode == "bf-ecb" && argc == 3) {
    std::string_view text = argv[2];
    double seconds = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error == std::errc() && end == text.data() + text.size() && seconds > 0) {
      return nvx::EncipherFor(seconds);
    }
  }
  std::fprintf(stderr, "usage: %s md5 FILE | bf-ecb SECONDS\n", argv[0]);
  return 2;
}

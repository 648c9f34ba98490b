// Throughput of MD5, the transfer cipher and Base64 on buffers in memory, and the cost of
// keying a cipher (done once per enciphered request).
#include <cstdint>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "codec/base64.h"
#include "codec/md5.h"
#include "codec/transfer_cipher.h"

namespace nvx {
namespace {

std::vector<uint8_t> Filled(size_t size) {
  std::vector<uint8_t> data(size);
  uint32_t x = 2463534242u;
  for (auto& b : data) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x);
  }
  return data;
}

void BM_Md5(benchmark::State& state) {
  std::vector<uint8_t> data = Filled(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    Md5Digest digest = Md5Of(data.data(), data.size());
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Md5)->Arg(64)->Arg(2048)->Arg(10240)->Arg(1 << 20);

void BM_Encipher(benchmark::State& state) {
  std::vector<uint8_t> data = Filled(static_cast<size_t>(state.range(0)));
  TransferCipher cipher = CipherForUpload(1078495629);
  for (auto _ : state) {
    cipher.Encipher(data.data(), data.size(), data.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Encipher)->Arg(8)->Arg(2048)->Arg(16384);

void BM_Decipher(benchmark::State& state) {
  std::vector<uint8_t> data = Filled(static_cast<size_t>(state.range(0)));
  TransferCipher cipher = CipherForDownload(510);
  for (auto _ : state) {
    cipher.Decipher(data.data(), data.data(), data.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Decipher)->Arg(2048)->Arg(16384);

void BM_KeyCipher(benchmark::State& state) {
  int64_t seed = 0;
  for (auto _ : state) {
    TransferCipher cipher = CipherForUpload(seed++);
    benchmark::DoNotOptimize(cipher);
  }
}
BENCHMARK(BM_KeyCipher);

void BM_Base64Encode(benchmark::State& state) {
  std::vector<uint8_t> data = Filled(static_cast<size_t>(state.range(0)));
  std::string text(Base64EncodedLength(data.size()) + 1, '\0');
  for (auto _ : state) {
    benchmark::DoNotOptimize(Base64Encode(data.data(), data.size(), text.data(), text.size()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Base64Encode)->Arg(16)->Arg(16384);

void BM_Base64Decode(benchmark::State& state) {
  std::vector<uint8_t> data = Filled(static_cast<size_t>(state.range(0)));
  std::string text =
      Base64Encode(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  for (auto _ : state) {
    int64_t written = Base64Decode(text.data(), text.size(), data.data(), data.size());
    benchmark::DoNotOptimize(written);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Base64Decode)->Arg(16)->Arg(16384);

}  // namespace
}  // namespace nvx

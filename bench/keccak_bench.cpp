// Hashing speed of the archive's signature hash over 64 MiB in memory, fed in the 64 KiB pieces
// the extraction pipeline hands it: Keccak-256 on its own, and the mixed hash (SHA-256 and
// Keccak-256 over the same bytes) that every extracted byte goes through.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "archive/mixed_hash.h"
#include "archive/mixed_hash_descriptors.h"

namespace {

constexpr std::size_t kMessageSize = std::size_t{64} << 20;
constexpr std::size_t kPieceSize = std::size_t{64} << 10;

const std::vector<unsigned char>& Message() {
  static const std::vector<unsigned char> message = [] {
    std::vector<unsigned char> bytes(kMessageSize);
    std::mt19937_64 random(42);
    for (auto& byte : bytes) byte = static_cast<unsigned char>(random());
    return bytes;
  }();
  return message;
}

void BM_Keccak256(benchmark::State& state) {
  const auto& message = Message();
  for (auto _ : state) {
    hash_state hash;
    ferrolan::archive::Keccak256_init(&hash);
    for (std::size_t at = 0; at < message.size(); at += kPieceSize)
      ferrolan::archive::Keccak256_process(&hash, message.data() + at, kPieceSize);
    unsigned char digest[ferrolan::archive::kKeccakDigestSize];
    ferrolan::archive::Keccak256_done(&hash, digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kMessageSize));
}
BENCHMARK(BM_Keccak256)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MixedHash(benchmark::State& state) {
  const auto& message = Message();
  for (auto _ : state) {
    ferrolan::archive::MixedHashState hash;
    ferrolan::archive::MixedHash_init(&hash);
    for (std::size_t at = 0; at < message.size(); at += kPieceSize)
      ferrolan::archive::MixedHash_process(&hash, message.data() + at, kPieceSize);
    unsigned char digest[ferrolan::archive::kMixedDigestSize];
    ferrolan::archive::MixedHash_done(&hash, digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kMessageSize));
}
BENCHMARK(BM_MixedHash)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// Marker search speed over a 200 MB page-cached file, the size class of a launcher carrying a
// JRE and an application: the Params marker lies near the end, so every run scans it all.
// Baselines in the same run: plain block reads of the file (the ceiling) and a byte-by-byte
// search through the stream's own buffering.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tail/find_marker.h"
#include "tail/markers.h"

namespace {

constexpr std::size_t kFileSize = std::size_t{200} << 20;

struct Closer {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, Closer>;

// Random bytes (like compressed archives) with the Params marker and a little padding at the
// end. Written once per process and removed at exit.
class BenchFile {
 public:
  BenchFile() {
    path_ = (std::filesystem::temp_directory_path() /
             ("ferrolan-find-marker-bench-" + std::to_string(std::random_device{}())))
                .string();
    File out(std::fopen(path_.c_str(), "wb"));
    std::mt19937_64 random(42);
    std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
    const auto& marker = ferrolan::tail::ParamsMarker();
    std::size_t body = kFileSize - marker.size() - 4096;
    for (std::size_t written = 0; written < body;) {
      for (auto& word : block) word = random();
      std::size_t n = std::min(body - written, block.size() * sizeof(std::uint64_t));
      std::fwrite(block.data(), 1, n, out.get());
      written += n;
    }
    std::fwrite(marker.data(), 1, marker.size(), out.get());
    std::vector<char> padding(4096, '\0');
    std::fwrite(padding.data(), 1, padding.size(), out.get());
  }
  ~BenchFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const BenchFile& TheFile() {
  static BenchFile file;
  return file;
}

void BM_FindMarker(benchmark::State& state) {
  const auto& marker = ferrolan::tail::ParamsMarker();
  TheFile();  // written (and page-cached) before the timing starts
  for (auto _ : state) {
    File f(std::fopen(TheFile().path().c_str(), "rb"));
    std::int64_t at = ferrolan::tail::FindMarker(f.get(), marker.data(),
                                                 static_cast<int>(marker.size()), "Params");
    if (at != static_cast<std::int64_t>(kFileSize - 4096)) state.SkipWithError("marker missed");
    benchmark::DoNotOptimize(at);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kFileSize));
}
BENCHMARK(BM_FindMarker)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadOnlyBaseline(benchmark::State& state) {
  TheFile();
  std::vector<char> block(std::size_t{1} << 20);
  for (auto _ : state) {
    File f(std::fopen(TheFile().path().c_str(), "rb"));
    std::size_t total = 0;
    for (std::size_t n; (n = std::fread(block.data(), 1, block.size(), f.get())) > 0;) total += n;
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kFileSize));
}
BENCHMARK(BM_ReadOnlyBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ByteByByteBaseline(benchmark::State& state) {
  const auto& marker = ferrolan::tail::ParamsMarker();
  TheFile();
  for (auto _ : state) {
    File f(std::fopen(TheFile().path().c_str(), "rb"));
    std::size_t index = 0;
    std::size_t consumed = 0;
    for (int c; index < marker.size() && (c = std::getc(f.get())) != EOF;) {
      ++consumed;
      index = (static_cast<std::uint8_t>(c) == marker[index]) ? index + 1 : 0;
    }
    benchmark::DoNotOptimize(consumed);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kFileSize));
}
BENCHMARK(BM_ByteByByteBaseline)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();

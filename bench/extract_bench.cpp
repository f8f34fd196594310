// Extraction benchmark: how much slower is extracting a signed archive through the launcher's
// pipeline (file reader -> LZMA stage -> Unarchiver, hashing every byte and checking the
// signature at the end) than bare decompression with "xz -dc" of the same file? The pipeline
// also writes every file to disk, which the baseline does not; the target is a ratio of 1.05.
// An archive of xz blocks decodes on every core, so each round also times "xz -T0 -dc", the
// machine's decode limit: the target there is a ratio of 1.15, with a peak memory of at most
// 1.10 times its own.
//
// With --download URL (URL serving the same archive), the question is another: how much slower
// is downloading and extracting it while it arrives than extracting it from the local file?
// There the local extraction is the baseline and the target is a ratio of 1.10.
//
// Usage: ferrolan_extract_bench ARCHIVE PUBLIC_KEY_DER WORK_FOLDER [ROUNDS] [--download URL]
// Each round times the baseline and the extraction once, in turn; the best time of each is
// compared, which filters out disturbances from other processes on the machine.
#include <fcntl.h>
#include <lzma.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "archive/signature.h"
#include "archive/unarchiver.h"
#include "log/log.h"
#include "net/download_pipelines.h"
#include "pipeline/ring_buffer.h"
#include "pipeline/stages.h"

extern char** environ;

namespace {

namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// "xz -dc ARCHIVE > /dev/null" ("xz -T0 -dc" with `allCores`), run under GNU time for its
// peak memory: the rusage of a child of this process would report this process's own peak,
// which the child inherits at its exec. Returns the wall time, or a negative value on failure;
// `peakRssKiB` receives xz's peak memory.
double TimeXz(const std::string& archive, bool allCores, const std::string& memoryFile,
              long* peakRssKiB) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> words = {"/usr/bin/time", "-f", "%M", "-o", memoryFile, "xz"};
  if (allCores) words.push_back("-T0");
  words.push_back("-dc");
  words.push_back(archive);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  Clock::time_point start = Clock::now();
  pid_t pid = 0;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return -1;
  }
  const double seconds = Seconds(start);
  std::ifstream memory(memoryFile);
  long kib = 0;
  if (!(memory >> kib)) return -1;
  *peakRssKiB = std::max(*peakRssKiB, kib);
  return seconds;
}

// The launcher's path for an archive file: StartFileReader -> UnLZMAer -> UnArchiver.
// The processor time this process has used so far, all its threads together, in seconds.
double ProcessorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The processor time of the last extraction; with its wall time, it tells how busy the
// machine's cores were, and so whether the pipeline waits or is bound by the work itself.
double g_lastExtractionCpu = 0;

double TimeExtraction(const std::string& archive, const std::string& destination) {
  const double cpuBefore = ProcessorSeconds();
  Clock::time_point start = Clock::now();
  ferrolan::pipeline::FileReaderPipe reader =
      ferrolan::pipeline::StartFileReader(ferrolan::fs::OpenFile(archive, "rb"));
  auto decoded = ferrolan::pipeline::RingBuffer_create(2, 102400);
  ferrolan::pipeline::StageThread decoder =
      ferrolan::pipeline::StartUnLZMAerStage(reader.buffer, decoded);
  ferrolan::archive::RunUnArchiver(*decoded, ferrolan::archive::ArchiveJob(destination));
  decoder.Join();
  const double seconds = Seconds(start);
  g_lastExtractionCpu = ProcessorSeconds() - cpuBefore;
  return seconds;
}

// The launcher's path for an archive on the update server: Downloader -> UnLZMAer -> UnArchiver.
double TimeDownloadExtraction(const std::string& url, const std::string& destination) {
  Clock::time_point start = Clock::now();
  const bool worked =
      ferrolan::net::DownloadAndExtract(url, destination, ferrolan::net::kNoBodyLimit).Succeeded();
  ferrolan::net::JoinLingeringDownloadThreads();
  return worked ? Seconds(start) : -1;
}

long PeakRssKiB(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_maxrss;  // KiB on Linux
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string url;
  if (args.size() >= 2 && args[args.size() - 2] == "--download") {
    url = args.back();
    args.resize(args.size() - 2);
  }
  if (args.size() < 3 || args.size() > 4) {
    std::fprintf(stderr, "usage: %s ARCHIVE PUBLIC_KEY_DER WORK_FOLDER [ROUNDS] [--download URL]\n",
                 argv[0]);
    return 2;
  }
  const std::string archive = args[0];
  const int rounds = args.size() == 4 ? std::max(1, std::atoi(args[3].c_str())) : 3;
  const stdfs::path work = args[2];

  std::ifstream keyFile(args[1], std::ios::binary);
  std::string der((std::istreambuf_iterator<char>(keyFile)), std::istreambuf_iterator<char>());
  auto key = ferrolan::archive::ImportPublicKey(reinterpret_cast<const unsigned char*>(der.data()),
                                                der.size());
  if (!key) return 1;
  ferrolan::archive::SetProcessPublicKey(std::move(key));

  // The Unarchiver logs a line per file; formatting them is part of the cost, printing them to
  // a terminal is not.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> devNull(std::fopen("/dev/null", "w"),
                                                          &std::fclose);
  ferrolan::log::SetConsoleForTesting(devNull.get());

  const bool download = !url.empty();
  // The two sides may decode with different liblzma versions; say which the pipeline has.
  std::printf("pipeline decoder: liblzma %s\n", lzma_version_string());
  const char* baselineName = download ? "local extraction" : "xz -dc";
  const char* measuredName = download ? "download and extraction" : "pipeline";
  double bestBaseline = 1e300;
  double bestAllCores = 1e300;
  double bestMeasured = 1e300;
  long xzRssKiB = 0;
  long xzAllCoresRssKiB = 0;
  // Every timed extraction writes into a folder of its own, and the folders go only after the
  // last round: deleting a whole runtime right before an extraction makes the file system's
  // inode allocation search past the freshly freed inodes, a cost a real install does not pay.
  std::vector<stdfs::path> extracted;
  const auto freshFolder = [&](const std::string& name) {
    extracted.push_back(work / name);
    stdfs::remove_all(extracted.back());
    stdfs::create_directories(extracted.back());
    return extracted.back().string();
  };
  for (int round = 0; round < rounds; ++round) {
    const std::string memoryFile = (work / "xz-peak-memory").string();
    double baseline = download
                          ? TimeExtraction(archive, freshFolder("local-" + std::to_string(round)))
                          : TimeXz(archive, false, memoryFile, &xzRssKiB);
    double allCores = download ? 0 : TimeXz(archive, true, memoryFile, &xzAllCoresRssKiB);
    if (baseline < 0 || allCores < 0) {
      std::fprintf(stderr, "xz -dc (under /usr/bin/time) failed on %s\n", archive.c_str());
      return 1;
    }
    const std::string destination = freshFolder("extract-" + std::to_string(round));
    double measured =
        download ? TimeDownloadExtraction(url, destination) : TimeExtraction(archive, destination);
    if (measured < 0) {
      std::fprintf(stderr, "the download of %s failed\n", url.c_str());
      return 1;
    }
    if (download) {
      std::printf("round %d: %s %.3f s, %s %.3f s\n", round + 1, baselineName, baseline,
                  measuredName, measured);
    } else {
      std::printf(
          "round %d: xz -dc %.3f s, xz -T0 -dc %.3f s, pipeline %.3f s (processor time %.3f s, "
          "%.2f cores busy)\n",
          round + 1, baseline, allCores, measured, g_lastExtractionCpu,
          g_lastExtractionCpu / measured);
    }
    std::fflush(stdout);
    bestBaseline = std::min(bestBaseline, baseline);
    bestAllCores = std::min(bestAllCores, allCores);
    bestMeasured = std::min(bestMeasured, measured);
  }
  ferrolan::log::SetConsoleForTesting(nullptr);
  for (const stdfs::path& folder : extracted) stdfs::remove_all(folder);

  std::printf("best: %s %.3f s (a), %s %.3f s (b)\n", baselineName, bestBaseline, measuredName,
              bestMeasured);
  std::printf("ratio b/a: %.3f (target <= %s)\n", bestMeasured / bestBaseline,
              download ? "1.10" : "1.05");
  if (!download) {
    const long pipelineRssKiB = PeakRssKiB(RUSAGE_SELF);
    std::printf("best xz -T0 -dc %.3f s (c); ratio b/c: %.3f (target <= 1.15)\n", bestAllCores,
                bestMeasured / bestAllCores);
    std::printf(
        "peak RSS: pipeline %ld KiB, xz -dc %ld KiB, xz -T0 -dc %ld KiB; pipeline / xz "
        "-T0: %.3f (target <= 1.10)\n",
        pipelineRssKiB, xzRssKiB, xzAllCoresRssKiB,
        static_cast<double>(pipelineRssKiB) / static_cast<double>(xzAllCoresRssKiB));
  }
  return 0;
}

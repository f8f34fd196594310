#include "net/download_pipelines.h"

#include <cstdio>
#include <utility>

#include "archive/sha256.h"
#include "fs/disk_space.h"
#include "fs/owned_file.h"
#include "log/log.h"

namespace ferrolan::net {
namespace {

using log::LogPrintf;

// The buffers between the stages of a download pipeline.
constexpr int kDownloadBufferId = 1;
constexpr int kDecodedBufferId = 2;
constexpr int kStageBufferCapacity = 102400;

pipeline::StageThread StartDownloaderStage(std::string url, std::uint64_t maxBodyBytes,
                                           std::shared_ptr<pipeline::RingBuffer> output,
                                           const RaceEnvironment& environment) {
  return pipeline::StageThread(
      [url = std::move(url), maxBodyBytes, output, environment] {
        return RunDownloader(url, maxBodyBytes, output, environment);
      },
      {output});
}

// The saver's check of every write: the file may grow only while the disk keeps its reserve.
pipeline::WriteCheck KeepsDiskReserve(const std::string& filePath) {
  auto keeper = std::make_shared<fs::ReserveKeeper>(filePath);
  return [keeper, filePath](std::size_t bytes) {
    if (keeper->Allows(bytes)) return true;
    const fs::DiskSpace& space = *keeper->space();
    LogPrintf(
        "[Streamer] [FileSaver] Not enough free space for %s: %llu bytes free, %llu bytes kept "
        "in reserve.\n",
        filePath.c_str(), static_cast<unsigned long long>(space.available),
        static_cast<unsigned long long>(fs::DiskReserve(space)));
    return false;
  };
}

// Passes the body on from `input` to `output` unchanged, counting and hashing it. Ends when the
// input ends (the download is over) or the output is closed (the decoder has seen the end of
// the archive, or the pipeline was stopped); the body matches only if it ended by itself with
// exactly the declared length and digest.
int RunBodyCheck(pipeline::RingBuffer& input, pipeline::RingBuffer& output, std::uint64_t length,
                 const std::string& sha256, bool* matches) {
  archive::Sha256 hash;
  std::uint64_t seen = 0;
  bool complete = true;
  std::vector<char> chunk(pipeline::kStageChunk);
  for (;;) {
    const int got = pipeline::RingBuffer_read(input, chunk.data(), static_cast<int>(chunk.size()));
    if (got < 0) break;
    hash.Add(chunk.data(), static_cast<std::size_t>(got));
    seen += static_cast<std::uint64_t>(got);
    if (pipeline::RingBuffer_write(output, chunk.data(), got) < 0) {
      complete = false;
      break;
    }
  }
  pipeline::RingBuffer_close(output);
  pipeline::RingBuffer_close(input);
  const std::string digest = hash.HexDigest();
  *matches = complete && seen == length && digest == sha256;
  if (!*matches) {
    LogPrintf(
        "[Streamer] [BodyCheck] The archive is not the one declared: %llu of %llu bytes, SHA-256 "
        "%s\n",
        static_cast<unsigned long long>(seen), static_cast<unsigned long long>(length),
        digest.c_str());
    return -1;
  }
  return 0;
}

}  // namespace

void PipelineStop::Stop() {
  std::lock_guard<std::mutex> hold(lock_);
  stopped_ = true;
  for (const auto& buffer : buffers_) pipeline::RingBuffer_close(*buffer);
}

bool PipelineStop::Stopped() {
  std::lock_guard<std::mutex> hold(lock_);
  return stopped_;
}

bool PipelineStop::Attach(std::vector<std::shared_ptr<pipeline::RingBuffer>> buffers) {
  std::lock_guard<std::mutex> hold(lock_);
  if (stopped_) return false;
  buffers_ = std::move(buffers);
  return true;
}

void PipelineStop::Detach() {
  std::lock_guard<std::mutex> hold(lock_);
  buffers_.clear();
}

std::optional<std::string> DownloadToMemory(const std::string& url, std::uint64_t maxBodyBytes,
                                            const RaceEnvironment& environment) {
  auto downloaded = pipeline::RingBuffer_create(kDownloadBufferId, kStageBufferCapacity);
  pipeline::StageThread downloader =
      StartDownloaderStage(url, maxBodyBytes, downloaded, environment);
  std::string body;
  std::vector<char> chunk(pipeline::kStageChunk);
  for (;;) {
    const int got =
        pipeline::RingBuffer_read(*downloaded, chunk.data(), static_cast<int>(chunk.size()));
    if (got < 0) break;
    body.append(chunk.data(), static_cast<std::size_t>(got));
  }
  if (downloader.Join() != 0 || body.size() > maxBodyBytes) return std::nullopt;
  return body;
}

int RunDownloader(const std::string& url, std::uint64_t maxBodyBytes,
                  std::shared_ptr<pipeline::RingBuffer> output,
                  const RaceEnvironment& environment) {
  LogPrintf("[Streamer] [Downloader] Starting...\n");
  const int result = RunDownloadRace(url, maxBodyBytes, std::move(output), environment);
  LogPrintf("[Streamer] [Downloader] Done (%d).\n", result);
  return result;
}

int DownloadToFile(const std::string& url, const std::string& filePath, std::uint64_t maxBodyBytes,
                   const RaceEnvironment& environment) {
  LogPrintf("[Streamer] Downloading from %s into %s\n", url.c_str(), filePath.c_str());
  fs::OwnedFile file = fs::OpenFile(filePath, "wb");
  if (!file) {
    LogPrintf("[Streamer] Unable to open %s for writing\n", filePath.c_str());
    return 0;
  }
  auto downloaded = pipeline::RingBuffer_create(kDownloadBufferId, kStageBufferCapacity);
  pipeline::StageThread downloader =
      StartDownloaderStage(url, maxBodyBytes, downloaded, environment);
  pipeline::StageThread saver =
      pipeline::StartFileSaverStage(std::move(file), downloaded, KeepsDiskReserve(filePath));
  const int result = downloader.Join();
  // A file that could not take every byte is no download either.
  const int saved = saver.Join();
  if (result == 0 && saved == 0) return 1;
  // What arrived of a failed download must not pass for the file.
  std::remove(filePath.c_str());
  return 0;
}

DownloadExtraction DownloadAndExtract(const std::string& url, const std::string& destination,
                                      std::uint64_t maxBodyBytes,
                                      const RaceEnvironment& environment) {
  auto downloaded = pipeline::RingBuffer_create(kDownloadBufferId, kStageBufferCapacity);
  auto decoded = pipeline::RingBuffer_create(kDecodedBufferId, kStageBufferCapacity);
  pipeline::StageThread downloader =
      StartDownloaderStage(url, maxBodyBytes, downloaded, environment);
  pipeline::StageThread decoder = pipeline::StartUnLZMAerStage(downloaded, decoded);
  archive::UnArchiverStage unarchiver =
      archive::StartUnArchiverStage(decoded, archive::ArchiveJob(destination));
  unarchiver.thread.Join();
  // A download or a decoder still running stops at its next write.
  pipeline::RingBuffer_close(*downloaded);
  pipeline::RingBuffer_close(*decoded);
  DownloadExtraction extraction;
  extraction.downloaded = downloader.Join() == 0;
  decoder.Join();
  extraction.archive = *unarchiver.report;
  return extraction;
}

DownloadExtraction DownloadAndExtract(const CheckedArchiveDownload& download,
                                      const RaceEnvironment& environment) {
  constexpr int kCheckedBufferId = 3;
  auto downloaded = pipeline::RingBuffer_create(kDownloadBufferId, kStageBufferCapacity);
  auto checked = pipeline::RingBuffer_create(kCheckedBufferId, kStageBufferCapacity);
  auto decoded = pipeline::RingBuffer_create(kDecodedBufferId, kStageBufferCapacity);
  DownloadExtraction extraction;
  if (download.stop && !download.stop->Attach({downloaded, checked, decoded})) {
    extraction.bodyMatches = false;
    return extraction;
  }
  bool matches = false;
  pipeline::StageThread downloader =
      StartDownloaderStage(download.url, download.length, downloaded, environment);
  pipeline::StageThread bodyCheck(
      [&] {
        return RunBodyCheck(*downloaded, *checked, download.length, download.sha256, &matches);
      },
      {downloaded, checked});
  pipeline::StageThread decoder = pipeline::StartUnLZMAerStage(checked, decoded);
  archive::UnArchiverStage unarchiver =
      archive::StartUnArchiverStage(decoded, archive::ArchiveJob(download.destination));
  unarchiver.thread.Join();
  pipeline::RingBuffer_close(*downloaded);
  pipeline::RingBuffer_close(*checked);
  pipeline::RingBuffer_close(*decoded);
  extraction.downloaded = downloader.Join() == 0;
  bodyCheck.Join();
  decoder.Join();
  if (download.stop) download.stop->Detach();
  extraction.bodyMatches = matches;
  extraction.archive = *unarchiver.report;
  return extraction;
}

}  // namespace ferrolan::net

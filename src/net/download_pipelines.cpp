#include "net/download_pipelines.h"

#include <cstdio>
#include <utility>

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

}  // namespace

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

}  // namespace ferrolan::net

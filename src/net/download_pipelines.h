// The two download pipelines: a URL into a file, and a URL through the LZMA decoder into the
// Unarchiver, so a downloaded archive is decoded, verified and written while it arrives. The
// Downloader stage wraps the race of the proxy strategies (download_race.h).
//
// Platforms: portable; the attempts run on the system's transport.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive/unarchiver.h"
#include "net/download_race.h"
#include "pipeline/ring_buffer.h"
#include "pipeline/stages.h"

namespace ferrolan::net {

/// The Downloader stage: logs "[Streamer] [Downloader] Starting...\n", races the download of
/// `url` (a body of at most `maxBodyBytes`) into `output` (which the race closes on success and
/// on failure) and logs "[Streamer] [Downloader] Done (%d).\n" with the race's result: 0
/// success, -1 failure.
int RunDownloader(const std::string& url, std::uint64_t maxBodyBytes,
                  std::shared_ptr<pipeline::RingBuffer> output, const RaceEnvironment& environment);

/// Downloads `url` into the file `filePath` (replaced): 1 when the download succeeded, 0 when
/// it did not, its body was longer than `maxBodyBytes`, or the file cannot be opened for
/// writing or written. The writes keep the disk's reserve of free space (fs::DiskReserve). A
/// failed download leaves no file behind.
int DownloadToFile(const std::string& url, const std::string& filePath, std::uint64_t maxBodyBytes,
                   const RaceEnvironment& environment = SystemRaceEnvironment());

/// What a download-and-extract did: whether the download succeeded, and the archive's report.
struct DownloadExtraction {
  bool downloaded = false;
  archive::ArchiveReport archive;
  /// The whole body arrived and the archive in it was accepted.
  bool Succeeded() const { return downloaded && archive.status == archive::ArchiveStatus::kOk; }
};

/// Downloads `url` and extracts the compressed, signed archive it holds into `destination`
/// while it arrives. A download that fails part-way keeps the files that were complete; an
/// archive that is refused leaves its destination empty. `maxBodyBytes` is the archive's
/// length where something trusted declares it, else kNoBodyLimit: the download then ends with
/// the archive (bytes after its end stop it) and the extraction keeps the disk's reserve.
DownloadExtraction DownloadAndExtract(const std::string& url, const std::string& destination,
                                      std::uint64_t maxBodyBytes,
                                      const RaceEnvironment& environment = SystemRaceEnvironment());

}  // namespace ferrolan::net

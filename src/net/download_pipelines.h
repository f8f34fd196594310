// The two download pipelines: a URL into a file, and a URL through the LZMA decoder into the
// Unarchiver, so a downloaded archive is decoded, verified and written while it arrives. The
// Downloader stage wraps the race of the proxy strategies (download_race.h).
//
// Platforms: portable; the attempts run on the system's transport.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

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

/// The body of `url` in memory: none when the download failed or the body was longer than
/// `maxBodyBytes` (a limit is required: nothing unbounded is held in memory).
std::optional<std::string> DownloadToMemory(const std::string& url, std::uint64_t maxBodyBytes,
                                            const RaceEnvironment& environment);

/// Lets another thread stop a running download-and-extract: Stop closes the pipeline's
/// buffers, so every stage ends at its next read or write and the extraction reports failure.
/// A pipeline that starts after Stop ends at once.
class PipelineStop {
 public:
  void Stop();
  bool Stopped();
  /// Called by the pipeline with its buffers; false when Stop has already been called.
  bool Attach(std::vector<std::shared_ptr<pipeline::RingBuffer>> buffers);
  void Detach();

 private:
  std::mutex lock_;
  bool stopped_ = false;
  std::vector<std::shared_ptr<pipeline::RingBuffer>> buffers_;
};

/// An archive download whose body something trusted describes.
struct CheckedArchiveDownload {
  std::string url;
  std::string destination;
  std::uint64_t length = 0;  // the body's exact length
  std::string sha256;        // the body's SHA-256, 64 lower-case hex digits
  PipelineStop* stop = nullptr;
};

/// What a download-and-extract did: whether the download succeeded, and the archive's report.
struct DownloadExtraction {
  bool downloaded = false;
  archive::ArchiveReport archive;
  /// False when the body was checked against a declared length and SHA-256 and differed.
  bool bodyMatches = true;
  /// The whole body arrived, matched what was declared, and the archive in it was accepted.
  bool Succeeded() const {
    return downloaded && bodyMatches && archive.status == archive::ArchiveStatus::kOk;
  }
};

/// Downloads `url` and extracts the compressed, signed archive it holds into `destination`
/// while it arrives. A download that fails part-way keeps the files that were complete; an
/// archive that is refused leaves its destination empty. `maxBodyBytes` is the archive's
/// length where something trusted declares it, else kNoBodyLimit: the download then ends with
/// the archive (bytes after its end stop it) and the extraction keeps the disk's reserve.
DownloadExtraction DownloadAndExtract(const std::string& url, const std::string& destination,
                                      std::uint64_t maxBodyBytes,
                                      const RaceEnvironment& environment = SystemRaceEnvironment());

/// Downloads and extracts as above, stopping the body at the declared length, and checks that
/// the body is exactly that long and has that SHA-256: an archive with a valid signature that
/// is not the one declared (another release, another product of the same vendor) is no
/// success. The caller discards the destination of an extraction that did not succeed.
DownloadExtraction DownloadAndExtract(const CheckedArchiveDownload& download,
                                      const RaceEnvironment& environment);

}  // namespace ferrolan::net

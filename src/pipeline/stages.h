// Pipeline stages: threads joined by RingBuffers that move bytes from a source to a destination
// without staging them on disk or holding them whole in memory. Each stage is a plain function
// that can run on the calling thread (tests, composition) and a Start* wrapper that runs it on
// its own thread, owned by a StageThread.
//
// Every stage logs "[Streamer] [<Stage>] Starting...\n" when it begins and its "Done" line when
// it ends. All of this is portable; files are C runtime streams on both platforms.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fs/owned_file.h"
#include "pipeline/ring_buffer.h"

namespace ferrolan::pipeline {

using fs::OwnedFile;

/// Sizes of the buffers and work areas the stages use.
inline constexpr int kStageChunk = 51200;  // reader and decoder areas
inline constexpr int kSaverChunk = 1000;   // file saver reads
inline constexpr int kFileReaderBufferId = 3;
inline constexpr int kFileReaderBufferCapacity = 204800;
/// A file reader's limit that never cuts the file short.
inline constexpr std::uint64_t kWholeFile = UINT64_MAX;

/// One stage thread. The thread starts in the constructor and runs a function that returns the
/// stage's result code.
///
/// Destruction never leaves a thread running: if the thread has not been joined, the destructor
/// first closes the stage's "stop buffers" (its input and output, given at start), which makes
/// a stage that still runs end at its next read or write, and then joins it. Code that keeps a
/// stage for the life of the process simply keeps the StageThread (or the record holding it)
/// alive; there is deliberately no detach, so tests and early exits cannot leak running threads.
class StageThread {
 public:
  StageThread() = default;
  StageThread(std::function<int()> body, std::vector<std::shared_ptr<RingBuffer>> stopBuffers);
  ~StageThread();
  StageThread(StageThread&& other) noexcept;
  StageThread& operator=(StageThread&& other) noexcept;
  StageThread(const StageThread&) = delete;
  StageThread& operator=(const StageThread&) = delete;

  /// True while the thread has been started and not joined yet.
  bool Joinable() const { return thread_.joinable(); }

  /// Waits without time-out for the stage to end and returns its result code (see each stage).
  /// Calling it again returns the same result at once.
  int Join();

 private:
  void StopAndJoin();

  std::thread thread_;
  std::unique_ptr<int> result_;  // written by the thread before it ends, read after the join
  std::vector<std::shared_ptr<RingBuffer>> stopBuffers_;
};

// ---------------------------------------------------------------------------------------------
// Stage functions (run on the calling thread).

/// Copies `file` into `output`, 51200 bytes per read, until the file is exhausted, a read
/// returns 0 bytes, or the consumer closes `output`. Closes the file, and always closes `output`
/// at the end, so a consumer that expects more than a file cut short holds sees the end of its
/// stream instead of waiting forever; the bytes already written are still handed out.
/// At most `limit` bytes are copied: a file whose stream must end before its physical end (the
/// payload entries before the Params section) ends there for the consumer.
/// Logs "[Streamer] [FileReader] Starting...\n" / "Done.\n". Returns 0.
int RunFileReader(OwnedFile file, RingBuffer& output, std::uint64_t limit = kWholeFile);

/// Asked before each write of a file saver with the count of bytes to write; false refuses it.
using WriteCheck = std::function<bool(std::size_t bytes)>;

/// Copies `input` into `file`, at most 1000 bytes per read, until a read returns -1 (input
/// closed and drained); then closes the file. Returns 0, or -1 when a write to the file or its
/// close failed or `mayWrite` refused a write (the input is then closed, which stops the
/// producer at its next waiting write). Logs "[Streamer] [FileSaver] Starting...\n" /
/// "Done.\n".
int RunFileSaver(OwnedFile file, RingBuffer& input, const WriteCheck& mayWrite = {});

/// The LZMA stage: decodes `input` (a legacy .lzma or an .xz stream, detected by liblzma's
/// auto decoder; only the first stream) into `output`. Returns 0 when the stream ended (bytes
/// after its end are ignored) or the input ended first (everything decoded so far is passed on,
/// the consumer sees its stream end early), 1 when the decoder could not be set up or reported
/// an error (printed to standard error: "Error initializing the decoder: %s (error code %u)\n"
/// or "lzma_code failed: %d"). Closes `output` on every exit, and `input` too, so a producer
/// still writing into a buffer nobody reads any more is released (its waiting write returns -1).
/// Logs "[Streamer] [UnLZMAer] Starting...\n" / "[Streamer] [UnLZMAer] Done (%d).\n".
int RunUnLZMAer(RingBuffer& input, RingBuffer& output);

// ---------------------------------------------------------------------------------------------
// Stage threads. Each keeps its buffers alive for as long as it runs; the stop buffers of the
// returned StageThread are the stage's input and output.

/// Starts RunFileReader on its own thread; the thread owns and closes `file`.
StageThread StartFileReaderStage(OwnedFile file, std::shared_ptr<RingBuffer> output,
                                 std::uint64_t limit = kWholeFile);

/// Starts RunFileSaver on its own thread; Join() returns its result.
StageThread StartFileSaverStage(OwnedFile file, std::shared_ptr<RingBuffer> input,
                                WriteCheck mayWrite = {});

/// Starts RunUnLZMAer on its own thread; Join() returns 0 or 1 as above. This is the decoder of
/// a nested extraction (an archive inside an archive) as well as of a download pipeline.
StageThread StartUnLZMAerStage(std::shared_ptr<RingBuffer> input,
                               std::shared_ptr<RingBuffer> output);

// ---------------------------------------------------------------------------------------------
// Pipelines.

/// A file being read into a buffer by its own thread.
struct FileReaderPipe {
  std::shared_ptr<RingBuffer> buffer;  // id 3, capacity 204800: read fields from here
  StageThread reader;                  // destroying the pipe closes `buffer` and joins
};

/// Starts a FileReader on `file` (open for binary reading, positioned where reading must start;
/// the reader owns and closes it) and returns at once. The consumer reads what it expects from
/// `buffer` and then closes it, which stops the reader at its next step; the reader also closes
/// the buffer itself at the end of the file, so a short file ends the consumer's stream (a read
/// returns -1, RingBuffer_readUntil returns none) once the bytes it did hold are consumed.
/// With a `limit`, the stream ends after that many bytes even when the file goes on.
FileReaderPipe StartFileReader(OwnedFile file, std::uint64_t limit = kWholeFile);

}  // namespace ferrolan::pipeline

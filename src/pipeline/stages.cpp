#include "pipeline/stages.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "log/log.h"

namespace ferrolan::pipeline {

using log::LogPrintf;

StageThread::StageThread(std::function<int()> body,
                         std::vector<std::shared_ptr<RingBuffer>> stopBuffers)
    : result_(std::make_unique<int>(0)), stopBuffers_(std::move(stopBuffers)) {
  // The thread writes through a pointer that stays valid when this object moves, because the
  // int lives on the heap and is released only after the join.
  int* result = result_.get();
  thread_ = std::thread([body = std::move(body), result]() { *result = body(); });
}

StageThread::~StageThread() { StopAndJoin(); }

StageThread::StageThread(StageThread&& other) noexcept
    : thread_(std::move(other.thread_)),
      result_(std::move(other.result_)),
      stopBuffers_(std::move(other.stopBuffers_)) {}

StageThread& StageThread::operator=(StageThread&& other) noexcept {
  if (this != &other) {
    StopAndJoin();
    thread_ = std::move(other.thread_);
    result_ = std::move(other.result_);
    stopBuffers_ = std::move(other.stopBuffers_);
  }
  return *this;
}

int StageThread::Join() {
  if (thread_.joinable()) thread_.join();
  return result_ ? *result_ : 0;
}

void StageThread::StopAndJoin() {
  if (!thread_.joinable()) return;
  // Closing is the only stop signal a stage understands: a stage waiting to read sees the end of
  // its input, a stage waiting for room sees its write refused.
  for (auto& buffer : stopBuffers_) {
    if (buffer) RingBuffer_close(*buffer);
  }
  thread_.join();
}

int RunFileReader(OwnedFile file, RingBuffer& output, std::uint64_t limit) {
  LogPrintf("[Streamer] [FileReader] Starting...\n");
  std::vector<char> area(kStageChunk);
  std::uint64_t left = limit;
  while (file && !output.Closed() && left > 0) {
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(area.size(), left));
    std::size_t got = std::fread(area.data(), 1, wanted, file.get());
    if (got == 0) break;
    left -= got;
    std::fflush(stdout);
    if (RingBuffer_write(output, area.data(), static_cast<int>(got)) < 0) break;
    if (std::feof(file.get()) || std::ferror(file.get())) break;
  }
  file.reset();
  // The end of the file is the end of the stream: without this close a consumer that expects
  // more than a damaged file holds would wait forever.
  RingBuffer_close(output);
  LogPrintf("[Streamer] [FileReader] Done.\n");
  return 0;
}

int RunFileSaver(OwnedFile file, RingBuffer& input, const WriteCheck& mayWrite) {
  LogPrintf("[Streamer] [FileSaver] Starting...\n");
  int result = 0;
  std::vector<char> area(kSaverChunk);
  if (!file) {
    // Nothing can be saved: refuse the stream rather than crash or report success.
    result = -1;
    RingBuffer_close(input);
  }
  while (file) {
    int got = RingBuffer_read(input, area.data(), kSaverChunk);
    if (got <= 0) break;
    if (mayWrite && !mayWrite(static_cast<std::size_t>(got))) {
      result = -1;
      RingBuffer_close(input);
      break;
    }
    if (std::fwrite(area.data(), 1, static_cast<std::size_t>(got), file.get()) !=
        static_cast<std::size_t>(got)) {
      // A file that cannot take the bytes must not be reported as saved; closing the input
      // stops the producer instead of letting it stream into nothing.
      result = -1;
      RingBuffer_close(input);
      break;
    }
  }
  if (file && std::fclose(file.release()) != 0) result = -1;
  LogPrintf("[Streamer] [FileSaver] Done.\n");
  return result;
}

StageThread StartFileReaderStage(OwnedFile file, std::shared_ptr<RingBuffer> output,
                                 std::uint64_t limit) {
  // std::function needs a copyable callable, so the file travels as a shared owner.
  auto shared = std::make_shared<OwnedFile>(std::move(file));
  return StageThread(
      [shared, output, limit]() { return RunFileReader(std::move(*shared), *output, limit); },
      {output});
}

StageThread StartFileSaverStage(OwnedFile file, std::shared_ptr<RingBuffer> input,
                                WriteCheck mayWrite) {
  auto shared = std::make_shared<OwnedFile>(std::move(file));
  return StageThread(
      [shared, input, mayWrite = std::move(mayWrite)]() {
        return RunFileSaver(std::move(*shared), *input, mayWrite);
      },
      {input});
}

StageThread StartUnLZMAerStage(std::shared_ptr<RingBuffer> input,
                               std::shared_ptr<RingBuffer> output) {
  return StageThread([input, output]() { return RunUnLZMAer(*input, *output); }, {input, output});
}

FileReaderPipe StartFileReader(OwnedFile file, std::uint64_t limit) {
  FileReaderPipe pipe;
  pipe.buffer = RingBuffer_create(kFileReaderBufferId, kFileReaderBufferCapacity);
  pipe.reader = StartFileReaderStage(std::move(file), pipe.buffer, limit);
  return pipe;
}

}  // namespace ferrolan::pipeline

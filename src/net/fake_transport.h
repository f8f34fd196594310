// A transport that plays a script instead of talking to a server, for the tests of the race and
// of what is built on it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/download_attempt.h"
#include "net/download_race.h"

namespace ferrolan::net {

inline ChosenProxy Readable() {
  ChosenProxy chosen;
  chosen.readable = true;
  return chosen;
}

// What one strategy's transport does.
struct Script {
  bool opens = false;  // by default a strategy cannot even open its session
  std::optional<std::int64_t> length;
  std::vector<std::string> chunks;
  bool failsAfterChunks = false;
  ChosenProxy chosen = Readable();
  std::shared_ptr<ManualResetEvent> beforeResponse;   // waited for before the response
  std::shared_ptr<ManualResetEvent> afterFirstChunk;  // waited for after the first chunk
  std::shared_ptr<ManualResetEvent> finished;         // set when the attempt is over
};

class FakeTransport final : public AttemptTransport {
 public:
  explicit FakeTransport(Script script) : script_(std::move(script)) {}
  ~FakeTransport() override {
    if (script_.finished) script_.finished->Set();
  }
  bool Open(const AttemptSetup& setup) override {
    setup_ = setup;
    return script_.opens;
  }
  TransferEnd Transfer(ResponseSink& sink) override {
    if (script_.beforeResponse) script_.beforeResponse->Wait();
    if (!sink.OnResponse()) return TransferEnd::kStopped;
    for (std::size_t i = 0; i < script_.chunks.size(); ++i) {
      const std::string& chunk = script_.chunks[i];
      if (!sink.OnBody(chunk.data(), static_cast<int>(chunk.size()))) return TransferEnd::kStopped;
      if (i == 0 && script_.afterFirstChunk) script_.afterFirstChunk->Wait();
    }
    return script_.failsAfterChunks ? TransferEnd::kFailed : TransferEnd::kComplete;
  }
  int StatusCode() override { return 200; }
  std::optional<std::int64_t> ContentLength() override { return script_.length; }
  CredentialAnswer AskProxyCredentials() override { return {}; }
  void Resend() override {}
  ChosenProxy QueryProxy() override { return script_.chosen; }

 private:
  Script script_;
  AttemptSetup setup_;
};

inline Script Delivers(std::vector<std::string> chunks) {
  Script script;
  script.opens = true;
  std::int64_t length = 0;
  for (const std::string& chunk : chunks) length += static_cast<std::int64_t>(chunk.size());
  script.length = length;
  script.chunks = std::move(chunks);
  return script;
}

}  // namespace ferrolan::net

#include "update/background_update.h"

#include <chrono>

#include "log/log.h"

namespace ferrolan::update {
namespace {

// The update that runs now, for FinishRunning: an application that ends the process from Java
// (System.exit) never returns to the launcher's own Finish.
std::mutex& RunningLock() {
  static std::mutex lock;
  return lock;
}
BackgroundUpdate*& Running() {
  static BackgroundUpdate* running = nullptr;
  return running;
}

}  // namespace

BackgroundUpdate::BackgroundUpdate(UpdateContext context, InstallOptions options, unsigned settleMs)
    : context_(std::move(context)), options_(std::move(options)) {
  options_.stop = &stop_;
  thread_ = std::thread([this, settleMs] { Run(settleMs); });
  std::lock_guard<std::mutex> hold(RunningLock());
  Running() = this;
}

void BackgroundUpdate::FinishRunning() {
  std::lock_guard<std::mutex> hold(RunningLock());
  if (Running() != nullptr) Running()->Finish(kGraceMs);
}

BackgroundUpdate::~BackgroundUpdate() {
  {
    std::lock_guard<std::mutex> hold(RunningLock());
    if (Running() == this) Running() = nullptr;
  }
  Finish(0);
}

void BackgroundUpdate::Run(unsigned settleMs) {
  {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait_for(hold, std::chrono::milliseconds(settleMs),
                      [this] { return applicationEnded_; });
  }
  if (!stop_.Stopped()) {
    const UpdateCheck check = CheckForUpdates(context_);
    if (check.status == CheckStatus::kAvailable && !stop_.Stopped())
      InstallUpdates(context_, check.newer, options_);
  }
  std::lock_guard<std::mutex> hold(lock_);
  done_ = true;
  changed_.notify_all();
}

void BackgroundUpdate::Finish(unsigned graceMs) {
  std::lock_guard<std::mutex> finishing(finishLock_);
  if (!thread_.joinable()) return;
  {
    std::unique_lock<std::mutex> hold(lock_);
    applicationEnded_ = true;
    changed_.notify_all();
    if (!changed_.wait_for(hold, std::chrono::milliseconds(graceMs), [this] { return done_; }))
      log::LogPrintf("[Update] The application has ended; stopping the update\n");
  }
  stop_.Stop();
  thread_.join();
}

}  // namespace ferrolan::update

// The update check that runs beside the application on a start that runs what is installed:
// it never delays the start, installs what is newer for the next start, and lets the process
// end on time when the application has ended.
//
// Platforms: portable.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "net/download_pipelines.h"
#include "update/update_check.h"
#include "update/update_install.h"

namespace ferrolan::update {

class BackgroundUpdate {
 public:
  /// Starts the thread. It waits `settleMs` (or until ApplicationEnded) so the application's
  /// start has the machine to itself, then checks and installs.
  BackgroundUpdate(UpdateContext context, InstallOptions options, unsigned settleMs);
  /// How long the process stays, invisible, after the application has ended to let an update
  /// finish; then the update is stopped.
  static constexpr unsigned kGraceMs = 60000;

  /// Finish(kGraceMs) for the update that runs now, if one does: for a process that is about to
  /// end without returning to the update's owner (the application ended it from Java).
  static void FinishRunning();

  /// Stops and joins (see Finish).
  ~BackgroundUpdate();
  BackgroundUpdate(const BackgroundUpdate&) = delete;
  BackgroundUpdate& operator=(const BackgroundUpdate&) = delete;

  /// The application has ended: the check goes ahead at once if it was still waiting. Then waits
  /// up to `graceMs` for the update to finish and stops it if it has not; an install that is
  /// stopped puts nothing in place, and the next start begins it again. Returns once the
  /// thread has ended.
  void Finish(unsigned graceMs);

 private:
  void Run(unsigned settleMs);

  UpdateContext context_;
  InstallOptions options_;
  net::PipelineStop stop_;
  std::mutex finishLock_;  // one Finish at a time (the launcher's and the exit handler's)
  std::mutex lock_;
  std::condition_variable changed_;
  bool applicationEnded_ = false;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace ferrolan::update

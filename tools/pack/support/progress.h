// A one-line progress bar for long packaging steps. It redraws in place with a carriage return
// and only when the shown value changes, so a 200 MB job costs a few hundred writes at most.
// When disabled (output not a terminal) it writes nothing at all.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace ferrolan::pack {

class ProgressBar {
 public:
  /// `total` is the amount that means 100 %; 0 shows a full bar at once when finished.
  ProgressBar(std::string label, std::uint64_t total, std::FILE* out, bool enabled);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  /// A bar on standard output, enabled only when standard output is a terminal.
  static ProgressBar ForStdout(std::string label, std::uint64_t total);
  ProgressBar(ProgressBar&& other) noexcept;

  void Advance(std::uint64_t amount) { Set(done_ + amount); }
  void Set(std::uint64_t done);
  /// Draws 100 % and ends the line. Called by the destructor if not called before.
  void Finish();

  /// The text of one frame, without the leading carriage return: "label [####....]  42%".
  static std::string Render(const std::string& label, std::uint64_t done, std::uint64_t total,
                            int barWidth);

 private:
  void Draw();

  std::string label_;
  std::uint64_t total_;
  std::uint64_t done_ = 0;
  std::FILE* out_;
  bool enabled_;
  bool finished_ = false;
  int shownPermille_ = -1;
};

}  // namespace ferrolan::pack

#include "pack/support/progress.h"

#include <algorithm>
#include <utility>

#include "pack/support/terminal.h"

namespace ferrolan::pack {
namespace {

constexpr int kBarWidth = 40;

int Permille(std::uint64_t done, std::uint64_t total) {
  if (total == 0) return 1000;
  done = std::min(done, total);
  // Divide first for huge totals so the product cannot overflow.
  if (done > UINT64_MAX / 1000) return static_cast<int>(done / (total / 1000 + 1));
  return static_cast<int>(done * 1000 / total);
}

}  // namespace

ProgressBar::ProgressBar(std::string label, std::uint64_t total, std::FILE* out, bool enabled)
    : label_(std::move(label)), total_(total), out_(out), enabled_(enabled && out != nullptr) {}

ProgressBar::ProgressBar(ProgressBar&& other) noexcept
    : label_(std::move(other.label_)),
      total_(other.total_),
      done_(other.done_),
      out_(other.out_),
      enabled_(other.enabled_),
      finished_(other.finished_),
      shownPermille_(other.shownPermille_) {
  other.finished_ = true;  // the moved-from bar must not draw a second final line
}

ProgressBar::~ProgressBar() { Finish(); }

ProgressBar ProgressBar::ForStdout(std::string label, std::uint64_t total) {
  return ProgressBar(std::move(label), total, stdout, IsTerminal(stdout));
}

void ProgressBar::Set(std::uint64_t done) {
  done_ = done;
  if (!enabled_ || finished_) return;
  if (Permille(done_, total_) != shownPermille_) Draw();
}

void ProgressBar::Finish() {
  if (finished_) return;
  finished_ = true;
  if (!enabled_) return;
  done_ = std::max(done_, total_);
  Draw();
  std::fputc('\n', out_);
  std::fflush(out_);
}

void ProgressBar::Draw() {
  shownPermille_ = Permille(done_, total_);
  std::string frame = Render(label_, done_, total_, kBarWidth);
  std::fprintf(out_, "\r%s", frame.c_str());
  std::fflush(out_);
}

std::string ProgressBar::Render(const std::string& label, std::uint64_t done, std::uint64_t total,
                                int barWidth) {
  int permille = Permille(done, total);
  int filled = permille * barWidth / 1000;
  std::string frame = label + " [";
  frame.append(static_cast<std::size_t>(filled), '#');
  frame.append(static_cast<std::size_t>(barWidth - filled), '.');
  char percent[16];
  std::snprintf(percent, sizeof percent, "] %3d%%", permille / 10);
  frame += percent;
  return frame;
}

}  // namespace ferrolan::pack

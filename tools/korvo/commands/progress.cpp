#include "tools/korvo/commands/progress.h"

#include <cstdio>

#include "tools/host/platform/files.h"

namespace korvo {
namespace {

using Clock = std::chrono::steady_clock;
// Work that ends sooner shows nothing; the line is redrawn at most this often.
constexpr auto kQuietPeriod = std::chrono::milliseconds(500);
constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);
constexpr size_t kNameWidth = 40;

}  // namespace

Progress StartProgress(const std::string& verb, size_t total) {
  Progress progress;
  progress.verb = verb;
  progress.total = total;
  progress.enabled = total > 1 && IsTerminal(stderr);
  progress.start = progress.lastDrawn = Clock::now();
  return progress;
}

void StepProgress(Progress* progress, size_t done, const std::string& current) {
  if (!progress->enabled) return;
  auto now = Clock::now();
  if (now - progress->start < kQuietPeriod) return;
  if (progress->shown && now - progress->lastDrawn < kRedrawPeriod) return;
  std::string name = current.size() > kNameWidth ? current.substr(0, kNameWidth) : current;
  fprintf(stderr, "\r%s %zu/%zu (%zu%%) %-*s", progress->verb.c_str(), done, progress->total,
          done * 100 / progress->total, static_cast<int>(kNameWidth), name.c_str());
  fflush(stderr);
  progress->shown = true;
  progress->lastDrawn = now;
}

void EndProgress(Progress* progress) {
  if (progress->shown) {
    fprintf(stderr, "\r%*s\r", static_cast<int>(progress->verb.size() + kNameWidth + 30), "");
    fflush(stderr);
  }
  progress->shown = false;
}

}  // namespace korvo

// Progress of long work on a terminal: a line on standard error that counts
// up, shown only when standard error is a terminal and the work has taken
// more than a moment, and wiped when the work ends. Quiet otherwise.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace korvo {

struct Progress {
  std::string verb;  // "extracting"
  size_t total = 0;
  bool enabled = false;
  bool shown = false;
  std::chrono::steady_clock::time_point start;
  std::chrono::steady_clock::time_point lastDrawn;
};

Progress StartProgress(const std::string& verb, size_t total);
// `done` items of the total are finished; `current` is the one under way.
void StepProgress(Progress* progress, size_t done, const std::string& current);
void EndProgress(Progress* progress);

}  // namespace korvo

// Failures counted from many threads at once, keeping the first one's
// description for the report.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

struct Failures {
  std::atomic<int> count{0};
  std::mutex mutex;
  std::string first;

  void Add(const std::string& what) {
    if (count++ == 0) {
      std::lock_guard<std::mutex> hold(mutex);
      first = what;
    }
  }
};

// A clean-up step that runs on every way out of a scope, exceptions
// included: closing a file, leaving the directory lock.
#pragma once

namespace korvo {

template <typename Step>
class ScopeExit {
 public:
  explicit ScopeExit(Step step) : step_(step) {}
  ~ScopeExit() { step_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Step step_;
};

}  // namespace korvo

// Handing a movable block to the host, or releasing it, by the call's result.
#pragma once

#include "platform/platform.h"

namespace korvo {

// Unlocks the block as often as its lock count says, whatever happened before.
void UnlockFully(HGLOBAL block);

// Every export that produces a block ends with this: the block is fully
// unlocked, then stored in *slot when result is 0 and freed otherwise. A null
// block does nothing and leaves *slot untouched.
void HandOverBlock(HGLOBAL block, int result, HGLOBAL* slot);

// Runs a clean-up step on every way out of a scope, exceptions included.
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

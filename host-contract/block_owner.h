// Blocks on their way to the host. A call that allocates a block owns it
// until it hands the block to the host's slot; whatever way the call ends
// before that, the owner unlocks the block as often as it is locked and frees
// it. So a failure never hands a block out, and a return that forgets to
// say which way it went frees the block rather than leaking or leaking out.
#pragma once

#include "platform/platform.h"

namespace korvo {

struct BlockOwner {
  HGLOBAL block = nullptr;

  BlockOwner() = default;
  BlockOwner(const BlockOwner&) = delete;
  BlockOwner& operator=(const BlockOwner&) = delete;
  ~BlockOwner();
};

// Unlocks the block as often as its lock count says, whatever happened before.
void UnlockFully(HGLOBAL block);

// Allocates a block of `bytes` with `flags` into the empty owner and locks
// it: its data, or nullptr when the allocation or the lock fails (whatever
// was allocated stays with the owner, to be freed).
void* AllocateAndLock(BlockOwner* owner, UINT flags, SIZE_T bytes);

// The call succeeded: the block, fully unlocked, goes to *slot and belongs
// to the host from now on. The owner is left empty.
void HandOver(BlockOwner* owner, HGLOBAL* slot);

}  // namespace korvo

#include "host-contract/block_owner.h"

namespace korvo {

BlockOwner::~BlockOwner() {
  if (block == nullptr) return;
  UnlockFully(block);
  platform::GlobalFree(block);
}

void UnlockFully(HGLOBAL block) {
  for (UINT count = platform::GlobalFlags(block) & GMEM_LOCKCOUNT; count > 0; --count)
    platform::GlobalUnlock(block);
}

void* AllocateAndLock(BlockOwner* owner, UINT flags, SIZE_T bytes) {
  owner->block = platform::GlobalAlloc(flags, bytes);
  return owner->block == nullptr ? nullptr : platform::GlobalLock(owner->block);
}

void HandOver(BlockOwner* owner, HGLOBAL* slot) {
  UnlockFully(owner->block);
  *slot = owner->block;
  owner->block = nullptr;
}

}  // namespace korvo

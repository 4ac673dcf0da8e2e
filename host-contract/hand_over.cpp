#include "host-contract/hand_over.h"

namespace korvo {

void UnlockFully(HGLOBAL block) {
  for (UINT count = platform::GlobalFlags(block) & GMEM_LOCKCOUNT; count > 0; --count)
    platform::GlobalUnlock(block);
}

void HandOverBlock(HGLOBAL block, int result, HGLOBAL* slot) {
  if (block == nullptr) return;
  UnlockFully(block);
  if (result == 0)
    *slot = block;
  else
    platform::GlobalFree(block);
}

}  // namespace korvo

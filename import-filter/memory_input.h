// What the filter accepts of a memory image's length.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace korvo {

// A host that gives a positive `len` with memory input says how many bytes
// lie at `buf`; an image shorter than the bytes a call must read is refused
// rather than read past. A `len` of 0 or below gives no length: the image is
// then taken to hold what the picture's head says.
inline bool MemoryImageHolds(LONG_PTR len, uint64_t needed) {
  return len <= 0 || static_cast<uint64_t>(len) >= needed;
}

}  // namespace korvo

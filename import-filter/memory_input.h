// What the filter accepts of a memory image's length.
#pragma once

#include <cstdint>

#include "host-contract/failure.h"
#include "platform/platform.h"
#include "qkz-picture/qkz_picture.h"

namespace korvo {

// A host that gives a positive `len` with memory input says how many bytes
// lie at `buf`; an image shorter than the bytes a call must read is refused
// rather than read past. A `len` of 0 or below gives no length: the image is
// then taken to hold what the picture's head says.
inline bool MemoryImageHolds(LONG_PTR len, uint64_t needed) {
  return len <= 0 || static_cast<uint64_t>(len) >= needed;
}

// The geometry of the memory image at `image` from its head: kNone, or
// kNullImage, kHeadTooShort (a `len` shorter than the head) or kNotQkzHead.
inline Failure ReadMemoryImageGeometry(const uint8_t* image, LONG_PTR len,
                                       QkzGeometry* geometry) {
  if (image == nullptr) return Failure::kNullImage;
  if (!MemoryImageHolds(len, kQkzHeadSize)) return Failure::kHeadTooShort;
  return ReadQkzGeometry(image, geometry) ? Failure::kNone : Failure::kNotQkzHead;
}

}  // namespace korvo

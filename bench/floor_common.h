// What the floors share: the bytes of a QKZ picture and of a bitmap, each
// written plainly so that a floor is visibly the least work.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/little_endian.h"
#include "qkz-picture/qkz_picture.h"

namespace bench {

constexpr uint32_t kHeadBytes = korvo::kQkzHeadSize;

// Keeps the floors' results alive, so that no work is optimised away.
extern volatile uint64_t floorSink;


inline size_t RowBytes(uint32_t width, uint32_t height) {
  return static_cast<size_t>((width + 3u) & ~3u) * height;
}

// The rows of a QKZ picture (top row first) copied bottom-up into `pixels`.
void CopyBottomUp(const uint8_t* rows, uint32_t width, uint32_t height, uint8_t* pixels);

// Reads `count` bytes from the file's position on: one read, unless the
// system cuts it short. Aborts if the file ends first.
void ReadExactly(int fd, size_t count, uint8_t* out);

}  // namespace bench

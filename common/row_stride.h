// Bytes one pixel row occupies in a device-independent bitmap: the rows of
// a QKZ picture and of the bitmaps handed to hosts alike, so it lives where
// the picture format and the host contract both see it.
#pragma once

#include <cstdint>

namespace korvo {

// Row stride of `width` pixels at `bitsPerPixel` (low 16 bits looked at):
// rounded up to whole 32-bit words; 0 for depths a bitmap does not have.
// Unsigned 32-bit arithmetic that wraps, as the interface defines it.
constexpr uint32_t RowStride(uint32_t width, uint32_t bitsPerPixel) {
  switch (bitsPerPixel & 0xFFFFu) {
    case 1:
    case 4:
      return (((width * (bitsPerPixel & 0xFFFFu) + 7) / 8) + 3) & ~3u;
    case 8:
      return (width + 3) & ~3u;
    case 16:
      return (2 * width + 3) & ~3u;
    case 24:
      return (3 * width + 3) & ~3u;
    case 32:
      return 4 * width;
    default:
      return 0;
  }
}

}  // namespace korvo

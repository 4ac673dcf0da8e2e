// BMP files of the bitmaps a host receives, and the two headers every BMP
// korvo writes starts with (extract, the mount's BMP entries, thumbnails).
#pragma once

#include <cstdint>

#include "tools/host/bitmaps.h"

namespace korvo {

// A .bmp file of exactly the bitmap the host received: a 14-byte file
// header, the BITMAPINFO block and the pixel block.
Bytes EncodeBmp(const DecodedBitmap& bitmap, const BitmapLayout& layout);

// The 14-byte file header of a .bmp whose BITMAPINFO block takes
// `infoBytes` and whose rows `pixelBytes`.
constexpr uint32_t kBmpFileHeaderSize = 14;
void WriteBmpFileHeader(uint32_t infoBytes, uint64_t pixelBytes, uint8_t* out);

// The 40-byte BITMAPINFOHEADER of a bottom-up picture of width x height at
// `bits` per pixel, one plane, uncompressed, with `imageBytes` as its image
// size (0 where the writer leaves it to the reader); every other field 0.
void WriteBitmapInfoHeader(uint32_t width, uint32_t height, uint16_t bits, uint32_t imageBytes,
                           uint8_t* info);

}  // namespace korvo

// Picture files korvo writes and reads: BMP and PNG.
#pragma once

#include <string>

#include "tools/korvo/pictures.h"

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

// A .png file of the bitmap. Palette bitmaps (1, 4 and 8 bits) become
// indexed PNGs with every colour of their table, so pixel values and colours
// come through unchanged; 16-, 24- and 32-bit ones become RGB.
bool EncodePng(const DecodedBitmap& bitmap, const BitmapLayout& layout, Bytes* png,
               std::string* error);

// An indexed PNG (1, 2, 4 or 8 bits) as an 8-bit palette picture: the same
// indices, its palette padded with black to 256 colours. Other PNGs are
// refused with a message saying what they are, and so is, from its header
// alone, one whose QKZ picture would take more than `largestPicture` bytes.
bool DecodeIndexedPng(const Bytes& png, uint64_t largestPicture, IndexedPicture* picture,
                      std::string* error);

}  // namespace korvo

// PNG files, written from the bitmaps a host receives and read as indexed
// pictures for an archive: through libpng on Linux (png_libpng.cpp) and the
// Windows Imaging Component on Windows (png_wic.cpp), under one policy
// (png_policy.h).
#pragma once

#include <cstdint>
#include <string>

#include "tools/host/bitmaps.h"
#include "tools/korvo/pictures/indexed_picture.h"

namespace korvo {

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

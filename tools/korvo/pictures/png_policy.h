// What korvo takes from a PNG, whichever library reads it (libpng on Linux,
// the Windows Imaging Component on Windows): an indexed picture only, of a
// size a QKZ picture and the archive have room for, checked from the header
// before a row is decoded, with its palette padded with black to 256
// colours. Both back ends refuse in the same words.
#pragma once

#include <cstdint>
#include <string>

#include "qkz-picture/qkz_picture.h"
#include "tools/korvo/pictures/indexed_picture.h"

namespace korvo {

// "not an indexed PNG (RGB); reduce it to 256 colours first".
std::string NotIndexedPng(const std::string& colourType);

// Checks a PNG header's size against a QKZ picture's limits and
// `largestPicture`; "" with `geometry` filled, or the refusal.
std::string CheckPngSize(uint32_t width, uint32_t height, uint64_t largestPicture,
                         QkzGeometry* geometry);

// The picture's size, stride and zeroed rows, and a black palette the
// decoder then fills colour by colour with SetPaletteColour.
void StartIndexedPicture(const QkzGeometry& geometry, IndexedPicture* picture);
void SetPaletteColour(size_t index, uint8_t red, uint8_t green, uint8_t blue,
                      IndexedPicture* picture);

}  // namespace korvo

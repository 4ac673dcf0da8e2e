// The bitmap an import filter hands a host: the BITMAPINFO block and the
// pixel block, and what its header says about them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "qkz-picture/qkz_picture.h"
#include "host-contract/host_contract.h"

namespace korvo {

// A bitmap as a host receives it: the BITMAPINFO block (header, then masks
// or colours) and the pixel block, both copied out of the plug-in's handles.
struct DecodedBitmap {
  Bytes info;
  Bytes pixels;
};

// What the BITMAPINFO header says about the two blocks. Rows are addressed
// top row first whatever order the pixel block keeps them in.
struct BitmapLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  bool bottomUp = true;
  uint16_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t masks[3] = {};     // red, green, blue of 16- and 32-bit bitfields
  uint32_t colourOffset = 0;  // where the RGBQUAD table starts in `info`
  uint32_t colourCount = 0;   // entries in that table
  uint32_t infoBytes = 0;     // header, masks and colours
  uint32_t stride = 0;
  uint32_t pixelBytes = 0;    // stride x height
};

constexpr uint32_t kBitFields = 3;  // biCompression of 16- and 32-bit masks

// Reads and checks the header at the start of `info` (`infoSize` bytes).
// Fails with a message for a header no file format can carry.
bool ReadBitmapLayout(const uint8_t* info, size_t infoSize, BitmapLayout* layout,
                      std::string* error);

// Start of picture row `row` (0 is the top row) in the pixel block.
inline size_t BitmapRowOffset(const BitmapLayout& layout, uint32_t row) {
  uint32_t stored = layout.bottomUp ? layout.height - 1 - row : row;
  return static_cast<size_t>(stored) * layout.stride;
}

// The colours of a palette bitmap as 2^bitCount red, green, blue triples:
// the table's entries, then black for the indices it lacks.
Bytes PaletteTriples(const DecodedBitmap& bitmap, const BitmapLayout& layout);

// Picture row `row` of a 16-, 24- or 32-bit bitmap as width red, green, blue
// triples (`rgb` holds 3 x width bytes), colour masks applied.
void RowToRgb(const DecodedBitmap& bitmap, const BitmapLayout& layout, uint32_t row,
              uint8_t* rgb);

}  // namespace korvo

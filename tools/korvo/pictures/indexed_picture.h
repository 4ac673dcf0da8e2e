// The 8-bit palette picture that goes into an archive, whatever it was
// read from (a QKZ file or an indexed PNG).
#pragma once

#include <cstdint>
#include <string>

#include "common/bytes.h"
#include "qkz-picture/qkz_picture.h"

namespace korvo {

// An 8-bit palette picture, as a QKZ picture holds it.
struct IndexedPicture {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t stride = 0;                    // RowStride(width, 8)
  QkzTriples palette = {};  // 256 red, green, blue triples
  Bytes rows;                             // stride x height, top row first
};

// Why a picture of width x height is refused when a whole QKZ picture of
// it would take `pictureSize` bytes, more than an archive has room for: said
// before a row of it is read, so that memory never follows a file's claim.
std::string NoRoomInTheArchive(uint32_t width, uint32_t height, uint64_t pictureSize);

}  // namespace korvo

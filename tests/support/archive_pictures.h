// Pictures to put into test archives: each seed gives its own palette and its
// own rows (fill bytes included), so that a picture handed out or decoded in
// the wrong place, order or orientation shows.
#pragma once

#include <array>
#include <cstdint>

#include "tools/archive-writer/archive_writer.h"

namespace archive_test {

inline uint32_t PictureStride(uint32_t width) { return (width + 3) & ~3u; }

inline std::array<uint8_t, 768> PicturePalette(uint8_t seed) {
  std::array<uint8_t, 768> palette;
  for (size_t i = 0; i < palette.size(); ++i)
    palette[i] = static_cast<uint8_t>(seed * 29 + i * 7 + i / 3);
  return palette;
}

inline uint8_t PicturePixel(uint8_t seed, uint32_t row, uint32_t column) {
  return static_cast<uint8_t>(seed * 13 + row * 31 + column * 3 + 1);
}

// A complete picture, then `trailing` bytes that belong to its entry.
inline korvo::ByteVector ArchivePicture(uint32_t width, uint32_t height, uint8_t seed,
                                        size_t trailing = 0) {
  korvo::ByteVector rows;
  for (uint32_t row = 0; row < height; ++row)
    for (uint32_t column = 0; column < PictureStride(width); ++column)
      rows.push_back(PicturePixel(seed, row, column));
  korvo::ByteVector picture = korvo::BuildQkzPicture(width, height, PicturePalette(seed), rows);
  for (size_t i = 0; i < trailing; ++i) picture.push_back(static_cast<uint8_t>(0xE0 ^ i));
  return picture;
}

// Only a head: width, height and a palette, and no rows.
inline korvo::ByteVector ArchiveHead(uint32_t width, uint32_t height) {
  return korvo::BuildQkzPicture(width, height, PicturePalette(0), {});
}

}  // namespace archive_test

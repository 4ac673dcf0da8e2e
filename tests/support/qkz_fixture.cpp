#include "tests/support/qkz_fixture.h"

uint8_t FixturePaletteByte(int entry, int byte) {
  switch (byte) {
    case 0: return static_cast<uint8_t>(entry);
    case 1: return static_cast<uint8_t>(255 - entry);
    case 2: return static_cast<uint8_t>(7 * entry);
    default: return 0xA5;
  }
}

uint32_t FixtureStride(uint32_t width) { return (width + 3) & ~3u; }

uint8_t FixturePixel(uint32_t row, uint32_t column) {
  return static_cast<uint8_t>(row * 37 + column * 11 + 1);
}

Bytes MakeQkzHead(uint32_t width, uint32_t height) {
  Bytes bytes;
  AppendLe32(bytes, width);
  AppendLe32(bytes, height);
  for (int entry = 0; entry < 256; ++entry)
    for (int byte = 0; byte < 4; ++byte) bytes.push_back(FixturePaletteByte(entry, byte));
  return bytes;
}

Bytes MakeQkzPicture(uint32_t width, uint32_t height, size_t trailing) {
  Bytes bytes = MakeQkzHead(width, height);
  for (uint32_t row = 0; row < height; ++row)
    for (uint32_t column = 0; column < FixtureStride(width); ++column)
      bytes.push_back(FixturePixel(row, column));
  bytes.insert(bytes.end(), trailing, 0xEE);
  return bytes;
}

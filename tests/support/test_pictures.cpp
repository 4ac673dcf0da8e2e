#include "tests/support/test_pictures.h"

namespace {

constexpr uint8_t kReservedByte = 0xA5;

}  // namespace

Triples MakeTriples(uint8_t seed) {
  Triples triples;
  for (size_t i = 0; i < triples.size(); ++i)
    triples[i] = static_cast<uint8_t>(seed + 3 * i + i / 256);
  return triples;
}

uint32_t PictureStride(uint32_t width) { return (width + 3) & ~3u; }

Bytes MakeRows(uint32_t width, uint32_t height, uint8_t seed) {
  Bytes rows(size_t{PictureStride(width)} * height);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>(seed + 7 * i + i / 253);
  return rows;
}

Bytes QkzPictureOf(uint32_t width, uint32_t height, const Triples& triples, const Bytes& rows,
                   uint8_t reserved) {
  Bytes picture;
  AppendLe32(picture, width);
  AppendLe32(picture, height);
  for (size_t entry = 0; entry < 256; ++entry) {
    picture.insert(picture.end(), &triples[3 * entry], &triples[3 * entry] + 3);
    picture.push_back(reserved);
  }
  picture.insert(picture.end(), rows.begin(), rows.end());
  return picture;
}

Bytes MakeQkzPicture(uint32_t width, uint32_t height, size_t trailing, uint8_t seed) {
  Bytes picture =
      QkzPictureOf(width, height, MakeTriples(seed), MakeRows(width, height, seed), kReservedByte);
  for (size_t i = 0; i < trailing; ++i) picture.push_back(static_cast<uint8_t>(0xE0 ^ i));
  return picture;
}

Bytes MakeQkzHead(uint32_t width, uint32_t height, uint8_t seed) {
  return QkzPictureOf(width, height, MakeTriples(seed), {}, kReservedByte);
}

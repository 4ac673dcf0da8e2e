#include "qkz-picture/qkz_picture.h"

#include <algorithm>
#include <cstring>

#include "common/row_stride.h"
#include "common/little_endian.h"

namespace korvo {

uint64_t QkzPictureSize(uint32_t width, uint32_t height) {
  // The stride in 64 bits too: RowStride wraps to 0 for widths near 2^32,
  // which would make a huge picture look small to a container's size check.
  uint64_t stride = (uint64_t{width} + 3) & ~uint64_t{3};
  return kQkzHeadSize + stride * height;
}

bool QkzGeometryOf(uint32_t width, uint32_t height, QkzGeometry* geometry) {
  constexpr uint32_t kTopBit = 0x80000000u;
  if (width == 0 || height == 0 || (width & kTopBit) != 0 || (height & kTopBit) != 0)
    return false;
  // Below 2^31 the stride cannot wrap; the product is taken in 64 bits.
  uint64_t size = QkzPictureSize(width, height);
  if (size > UINT32_MAX) return false;
  geometry->width = width;
  geometry->height = height;
  geometry->stride = RowStride(width, 8);
  geometry->pictureSize = static_cast<uint32_t>(size);
  geometry->rowBytes = geometry->pictureSize - kQkzHeadSize;
  return true;
}

bool ReadQkzGeometry(const uint8_t* head, QkzGeometry* geometry) {
  return QkzGeometryOf(ReadLe32(head + kQkzWidthOffset), ReadLe32(head + kQkzHeightOffset),
                       geometry);
}

bool IsQkzHead(const uint8_t* head) {
  QkzGeometry ignored;
  return ReadQkzGeometry(head, &ignored);
}

QkzHeadVerdict JudgeQkzHead(const uint8_t* head, QkzGeometry* geometry) {
  if (ReadQkzGeometry(head, geometry)) return QkzHeadVerdict::kPicture;
  bool empty = ReadLe32(head + kQkzWidthOffset) == 0 || ReadLe32(head + kQkzHeightOffset) == 0;
  return empty ? QkzHeadVerdict::kNotAPicture : QkzHeadVerdict::kTooLarge;
}

void PaletteToRgbTriples(const uint8_t* palette, uint8_t* triples) {
  for (uint32_t i = 0; i < kQkzColourCount; ++i) memcpy(triples + 3 * i, palette + 4 * i, 3);
}

void PaletteToColourTable(const uint8_t* palette, uint8_t* colours) {
  for (uint32_t i = 0; i < kQkzColourCount; ++i) {
    const uint8_t* entry = palette + 4 * i;
    uint8_t* colour = colours + 4 * i;
    colour[0] = entry[2];  // blue
    colour[1] = entry[1];  // green
    colour[2] = entry[0];  // red
    colour[3] = 0;
  }
}

void CopyRowsBottomUp(const QkzGeometry& geometry, const uint8_t* rows, uint8_t* pixels) {
  for (uint32_t row = 0; row < geometry.height; ++row)
    memcpy(pixels + BottomUpRowOffset(geometry, row), rows + uint64_t{row} * geometry.stride,
           geometry.stride);
}

void ReverseRowOrder(const QkzGeometry& geometry, uint8_t* pixels) {
  uint8_t* top = pixels;
  uint8_t* bottom = pixels + uint64_t{geometry.height - 1} * geometry.stride;
  for (; top < bottom; top += geometry.stride, bottom -= geometry.stride)
    std::swap_ranges(top, top + geometry.stride, bottom);
}

void WriteQkzHeadFromTriples(uint32_t width, uint32_t height, const uint8_t* triples,
                             uint8_t* out) {
  WriteLe32(out + kQkzWidthOffset, width);
  WriteLe32(out + kQkzHeightOffset, height);
  uint8_t* entries = out + kQkzPaletteOffset;
  for (uint32_t i = 0; i < kQkzColourCount; ++i) {
    memcpy(entries + 4 * i, triples + 3 * i, 3);
    entries[4 * i + 3] = 0;
  }
}

}  // namespace korvo

#include "tools/host/bitmaps.h"

#include <algorithm>
#include <cstdlib>

#include "common/little_endian.h"

namespace korvo {

bool ReadBitmapLayout(const uint8_t* info, size_t infoSize, BitmapLayout* layout,
                      std::string* error) {
  // The header says how long it is; it must hold the 40 bytes read here and
  // lie inside the block, whatever a third-party plug-in hands out.
  uint32_t headerSize = infoSize >= 4 ? ReadLe32(info) : 0;
  if (infoSize < kBitmapInfoHeaderSize || headerSize < kBitmapInfoHeaderSize) {
    *error = "the plug-in's bitmap header is too short";
    return false;
  }
  if (headerSize > infoSize) {
    *error = "the plug-in's bitmap header is longer than its block";
    return false;
  }
  BitmapLayout result;
  int32_t width = static_cast<int32_t>(ReadLe32(info + 4));
  int32_t height = static_cast<int32_t>(ReadLe32(info + 8));
  result.bitCount = ReadLe16(info + 14);
  result.compression = ReadLe32(info + 16);
  uint32_t coloursUsed = ReadLe32(info + 32);
  if (width <= 0 || height == 0 || height == INT32_MIN) {
    *error = "the plug-in's bitmap has no pixels (" + std::to_string(width) + " x " +
             std::to_string(height) + ")";
    return false;
  }
  result.width = static_cast<uint32_t>(width);
  result.height = static_cast<uint32_t>(std::abs(height));
  result.bottomUp = height > 0;
  if (result.bitCount != 1 && result.bitCount != 4 && result.bitCount != 8 &&
      result.bitCount != 16 && result.bitCount != 24 && result.bitCount != 32) {
    *error = "the plug-in's bitmap has " + std::to_string(result.bitCount) +
             " bits per pixel, which no bitmap has";
    return false;
  }
  bool masks = result.compression == kBitFields && (result.bitCount == 16 || result.bitCount == 32);
  if (result.compression != 0 && !masks) {
    *error = "the plug-in's bitmap is compressed (method " + std::to_string(result.compression) +
             ")";
    return false;
  }
  if (result.bitCount <= 8) {
    uint32_t full = 1u << result.bitCount;
    result.colourCount = coloursUsed == 0 || coloursUsed > full ? full : coloursUsed;
  }
  // The three masks lie right behind the 40-byte header: after it when the
  // header is that long, inside the later headers that hold them. The
  // colours follow the header and any masks.
  uint64_t masksEnd = kBitmapInfoHeaderSize + 12;
  uint64_t colourOffset = masks ? std::max<uint64_t>(headerSize, masksEnd) : headerSize;
  uint64_t infoBytes = colourOffset + 4ull * result.colourCount;
  // The stride in 64 bits: a width near 2^32 / depth would wrap the 32-bit
  // one to a few bytes and pass off a huge bitmap as a tiny pixel block.
  uint64_t stride = (uint64_t{result.width} * result.bitCount + 31) / 32 * 4;
  uint64_t pixelBytes = stride * result.height;
  // A BMP file's size is 32 bits: head, header and pixels stay below 4 GiB.
  if (infoBytes > infoSize || 14 + infoBytes + pixelBytes > UINT32_MAX) {
    *error = "the plug-in's bitmap header does not fit its block";
    return false;
  }
  if (masks)
    for (int c = 0; c < 3; ++c) result.masks[c] = ReadLe32(info + kBitmapInfoHeaderSize + 4 * c);
  result.stride = static_cast<uint32_t>(stride);
  result.colourOffset = static_cast<uint32_t>(colourOffset);
  result.infoBytes = static_cast<uint32_t>(infoBytes);
  result.pixelBytes = static_cast<uint32_t>(pixelBytes);
  *layout = result;
  return true;
}

}  // namespace korvo

namespace korvo {
namespace {

// Where a colour channel lies in a pixel and how to widen it to 8 bits.
struct Channel {
  uint32_t mask;
  int shift;
  uint32_t maximum;
};

Channel ChannelOf(uint32_t mask) {
  Channel channel = {mask, 0, 0};
  if (mask == 0) return channel;
  while (((mask >> channel.shift) & 1) == 0) ++channel.shift;
  channel.maximum = mask >> channel.shift;
  return channel;
}

uint8_t Widen(const Channel& channel, uint32_t pixel) {
  if (channel.maximum == 0) return 0;
  uint32_t value = (pixel & channel.mask) >> channel.shift;
  return static_cast<uint8_t>((uint64_t{value} * 255 + channel.maximum / 2) / channel.maximum);
}

}  // namespace

Bytes PaletteTriples(const DecodedBitmap& bitmap, const BitmapLayout& layout) {
  Bytes triples(3u << layout.bitCount, 0);
  const uint8_t* colours = bitmap.info.data() + layout.colourOffset;
  for (uint32_t i = 0; i < layout.colourCount; ++i) {
    triples[3 * i] = colours[4 * i + 2];
    triples[3 * i + 1] = colours[4 * i + 1];
    triples[3 * i + 2] = colours[4 * i];
  }
  return triples;
}

void RowToRgb(const DecodedBitmap& bitmap, const BitmapLayout& layout, uint32_t row,
              uint8_t* rgb) {
  const uint8_t* pixels = bitmap.pixels.data() + BitmapRowOffset(layout, row);
  if (layout.bitCount == 24) {
    for (uint32_t x = 0; x < layout.width; ++x) {
      rgb[3 * x] = pixels[3 * x + 2];
      rgb[3 * x + 1] = pixels[3 * x + 1];
      rgb[3 * x + 2] = pixels[3 * x];
    }
    return;
  }
  // 16 and 32 bits: the masks after the header, or the defaults 5-5-5 and
  // 8-8-8 (the fourth byte of a 32-bit pixel carries nothing).
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (layout.bitCount == 32) {
    masks[0] = 0xFF0000;
    masks[1] = 0x00FF00;
    masks[2] = 0x0000FF;
  }
  if (layout.compression == kBitFields)
    for (int c = 0; c < 3; ++c) masks[c] = layout.masks[c];
  const Channel channels[3] = {ChannelOf(masks[0]), ChannelOf(masks[1]), ChannelOf(masks[2])};
  for (uint32_t x = 0; x < layout.width; ++x) {
    uint32_t pixel = layout.bitCount == 16 ? ReadLe16(pixels + 2 * x) : ReadLe32(pixels + 4 * x);
    for (uint32_t c = 0; c < 3; ++c) rgb[3 * x + c] = Widen(channels[c], pixel);
  }
}

}  // namespace korvo

#include <algorithm>

#include "common/little_endian.h"
#include "tools/korvo/pictures/bmp_file.h"

namespace korvo {

void WriteBmpFileHeader(uint32_t infoBytes, uint64_t pixelBytes, uint8_t* out) {
  const uint32_t offset = kBmpFileHeaderSize + infoBytes;
  out[0] = 'B';
  out[1] = 'M';
  WriteLe32(out + 2, static_cast<uint32_t>(offset + pixelBytes));  // bfSize
  WriteLe32(out + 6, 0);                                           // reserved
  WriteLe32(out + 10, offset);                                     // bfOffBits
}

void WriteBitmapInfoHeader(uint32_t width, uint32_t height, uint16_t bits, uint32_t imageBytes,
                           uint8_t* info) {
  std::fill(info, info + kBitmapInfoHeaderSize, uint8_t{0});
  WriteLe32(info, kBitmapInfoHeaderSize);  // biSize
  WriteLe32(info + 4, width);
  WriteLe32(info + 8, height);  // positive: bottom-up
  WriteLe16(info + 12, 1);      // planes
  WriteLe16(info + 14, bits);
  WriteLe32(info + 20, imageBytes);
}

Bytes EncodeBmp(const DecodedBitmap& bitmap, const BitmapLayout& layout) {
  Bytes file(kBmpFileHeaderSize + size_t{layout.infoBytes} + layout.pixelBytes);
  WriteBmpFileHeader(layout.infoBytes, layout.pixelBytes, file.data());
  uint8_t* info = file.data() + kBmpFileHeaderSize;
  std::copy_n(bitmap.info.data(), layout.infoBytes, info);
  std::copy_n(bitmap.pixels.data(), layout.pixelBytes, info + layout.infoBytes);
  return file;
}


}  // namespace korvo

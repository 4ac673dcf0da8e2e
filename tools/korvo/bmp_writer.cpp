#include <algorithm>

#include "common/little_endian.h"
#include "tools/korvo/image_files.h"

namespace korvo {

constexpr uint32_t kBmpFileHeaderSize = 14;

Bytes EncodeBmp(const DecodedBitmap& bitmap, const BitmapLayout& layout) {
  Bytes file(kBmpFileHeaderSize);
  file[0] = 'B';
  file[1] = 'M';
  uint32_t offset = kBmpFileHeaderSize + layout.infoBytes;
  WriteLe32(&file[2], offset + layout.pixelBytes);  // bfSize
  WriteLe32(&file[10], offset);                     // bfOffBits
  file.insert(file.end(), bitmap.info.begin(), bitmap.info.begin() + layout.infoBytes);
  file.insert(file.end(), bitmap.pixels.begin(), bitmap.pixels.begin() + layout.pixelBytes);
  return file;
}


}  // namespace korvo

// What korvo thumbnail's sources hand back: the thumbnail as a bitmap to
// encode, and the picture's own size.
#pragma once

#include <cstdint>

#include "tools/host/bitmaps.h"

namespace korvo {

// The thumbnail no larger than size x size as a bitmap to encode, and the
// picture's own size.
struct ThumbnailOutput {
  DecodedBitmap bitmap;
  uint32_t pictureWidth = 0;
  uint32_t pictureHeight = 0;
};

}  // namespace korvo

// What the shell extension shows of a stream, without COM or Windows: the
// picture a .qkz file holds, or a .cg archive's first picture entry, scaled
// by the thumbnail library exactly as korvo thumbnail scales it, as 32-bit
// pixels. The stream is read at the positions the thumbnail needs.
#pragma once

#include <cstdint>
#include <vector>

#include "common/byte_source.h"
#include "thumbnail/qkz_thumbnail.h"

namespace korvo {

// Which file a handler was registered for: it cannot learn the name from a
// stream, so each extension has a class of its own.
enum class ShellInput { kPicture, kArchive };

enum class ShellFailure {
  kNone,
  kNotShown,   // not a picture or archive we show, damaged, or no picture entry
  kCannotRead, // the source failed a read it promised
  kNoMemory,
};

// The thumbnail no larger than size x size of the input in `source`.
ShellFailure ShellThumbnail(const ByteSource& source, ShellInput input, uint32_t size,
                            Thumbnail* thumbnail) noexcept;

// The thumbnail as top-down rows of blue, green, red and 255 (opaque)
// bytes, 4 x width a row, as a 32-bit DIB section holds them.
void BgraPixels(const Thumbnail& thumbnail, uint8_t* out) noexcept;

}  // namespace korvo

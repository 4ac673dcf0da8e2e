// Bytes at a position, read through a callback: what a file, a block of
// memory or a COM stream offers alike, so that the format code reading them
// knows none of them.
#pragma once

#include <cstdint>

namespace korvo {

// `read` copies up to `count` bytes at `position` to `out` and answers how
// many it copied: fewer when the source ends there or cannot be read. `size`
// is how many bytes the source holds.
struct ByteSource {
  uint32_t (*read)(void* context, uint64_t position, uint8_t* out, uint32_t count);
  void* context;
  uint64_t size;
};

}  // namespace korvo

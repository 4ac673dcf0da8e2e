// The import filter's answers on any input, worked out here from the bytes
// alone, and the checks of what the filter really answers against them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

// A head the filter takes for a picture: width and height nonzero and below
// 2^31 (the host reads them as signed), the whole picture within 32 bits.
struct ExpectedPicture {
  bool valid = false;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t stride = 0;
  uint64_t size = 0;  // head and rows
};

// From the first 8 bytes; fewer than 8 bytes are no picture.
ExpectedPicture ExpectPicture(const uint8_t* data, size_t size);

// IsSupported, GetPictureInfo and GetPicture on the image in memory, `len`
// being its size; every answer, every decoded byte and the blocks checked.
void CheckFilterOnMemory(const uint8_t* data, size_t size);

// The same three calls on the file `path`, which holds these bytes.
void CheckFilterOnFile(const char* path, const uint8_t* data, size_t size);

}  // namespace fuzz

#include "tests/support/bitmap_checks.h"

#include <algorithm>

#include "tests/support/host_blocks.h"

namespace {

constexpr size_t kHeadBytes = 1032;
constexpr size_t kInfoBytes = 40 + 4 * 256;

}  // namespace

testing::AssertionResult BitmapIs(HLOCAL info, HLOCAL pixels, const Bytes& picture) {
  if (info == nullptr || pixels == nullptr) return testing::AssertionFailure() << "no handle";
  if (LockCount(info) != 0 || LockCount(pixels) != 0)
    return testing::AssertionFailure() << "a handle is still locked";
  if (picture.size() < kHeadBytes) return testing::AssertionFailure() << "not a picture";
  const uint32_t width = Le32(picture, 0), height = Le32(picture, 4);
  const size_t stride = (size_t{width} + 3) & ~size_t{3};
  if (picture.size() < kHeadBytes + stride * height)
    return testing::AssertionFailure() << "the picture lacks rows";

  const Bytes header = BlockBytes(info, kInfoBytes);
  if (header.size() != kInfoBytes) return testing::AssertionFailure() << "header unreadable";
  if (Le32(header, 0) != 40) return testing::AssertionFailure() << "biSize " << Le32(header, 0);
  if (Le32(header, 4) != width || Le32(header, 8) != height)
    return testing::AssertionFailure() << "size " << Le32(header, 4) << " x " << Le32(header, 8);
  if ((header[12] | header[13] << 8) != 1) return testing::AssertionFailure() << "biPlanes";
  if ((header[14] | header[15] << 8) != 8) return testing::AssertionFailure() << "biBitCount";
  for (size_t offset = 16; offset < 40; offset += 4)
    if (Le32(header, offset) != 0)
      return testing::AssertionFailure()
             << "compression, image size, densities or colours used at " << offset;
  for (size_t i = 0; i < 256; ++i) {
    const uint8_t* colour = &header[40 + 4 * i];
    const uint8_t* entry = &picture[8 + 4 * i];
    if (colour[0] != entry[2] || colour[1] != entry[1] || colour[2] != entry[0] || colour[3] != 0)
      return testing::AssertionFailure() << "colour " << i;
  }

  const Bytes rows = BlockBytes(pixels, stride * height);
  if (rows.size() != stride * height) return testing::AssertionFailure() << "rows unreadable";
  for (size_t row = 0; row < height; ++row) {
    const auto from = picture.begin() + static_cast<ptrdiff_t>(kHeadBytes + row * stride);
    const auto to = rows.begin() + static_cast<ptrdiff_t>((height - 1 - row) * stride);
    const auto differ = std::mismatch(from, from + static_cast<ptrdiff_t>(stride), to);
    if (differ.first != from + static_cast<ptrdiff_t>(stride))
      return testing::AssertionFailure()
             << "picture row " << row << ", byte " << (differ.first - from);
  }
  return testing::AssertionSuccess();
}

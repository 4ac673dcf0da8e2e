// A floor keeps its own minimal reader: the least work any implementation must do, not ours.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "bench/floor_common.h"
#include "bench/floors.h"

namespace bench {

volatile uint64_t floorSink;

void CopyBottomUp(const uint8_t* rows, uint32_t width, uint32_t height, uint8_t* pixels) {
  size_t stride = RowBytes(width, 1);
  for (uint32_t r = 0; r < height; ++r)
    memcpy(pixels + static_cast<size_t>(height - 1 - r) * stride,
           rows + static_cast<size_t>(r) * stride, stride);
}

void ReadExactly(int fd, size_t count, uint8_t* out) {
  size_t done = 0;
  while (done < count) {
    ssize_t got = read(fd, out + done, count - done);
    if (got <= 0) abort();
    done += static_cast<size_t>(got);
  }
}

namespace {

constexpr uint32_t kInfoBytes = 40 + 1024;  // bitmap-info header and colour table

void TurnRowsInPlace(uint8_t* pixels, uint32_t width, uint32_t height) {
  uint32_t stride = static_cast<uint32_t>(RowBytes(width, 1));
  if (height < 2) return;
  uint8_t* top = pixels;
  uint8_t* bottom = pixels + static_cast<size_t>(height - 1) * stride;
  for (; top < bottom; top += stride, bottom -= stride) std::swap_ranges(top, top + stride, bottom);
}

// The bitmap-info block every decode hands out: zeroed, the header's fields,
// and the colour table turned from the head's (red, green, blue, reserved)
// palette entries.
uint8_t* NewInfoBlock(uint32_t width, uint32_t height, const uint8_t* palette) {
  auto* info = static_cast<uint8_t*>(calloc(1, kInfoBytes));
  uint32_t header[4] = {40, width, height, 1u | (8u << 16)};
  memcpy(info, header, sizeof header);
  for (uint32_t i = 0; i < 256; ++i) {
    info[40 + 4 * i] = palette[4 * i + 2];
    info[40 + 4 * i + 1] = palette[4 * i + 1];
    info[40 + 4 * i + 2] = palette[4 * i];
  }
  return info;
}

}  // namespace

void FloorPictureFromFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) abort();
  uint8_t head[kHeadBytes];
  ReadExactly(fd, kHeadBytes, head);
  uint32_t width = korvo::ReadLe32(head), height = korvo::ReadLe32(head + 4);
  uint8_t* info = NewInfoBlock(width, height, head + 8);
  size_t rows = RowBytes(width, height);
  auto* pixels = static_cast<uint8_t*>(malloc(rows));
  ReadExactly(fd, rows, pixels);
  close(fd);
  TurnRowsInPlace(pixels, width, height);
  floorSink = floorSink + info[40] + pixels[0];
  free(info);
  free(pixels);
}

void FloorPictureFromMemory(const uint8_t* picture) {
  uint32_t width = korvo::ReadLe32(picture), height = korvo::ReadLe32(picture + 4);
  uint8_t* info = NewInfoBlock(width, height, picture + 8);
  auto* pixels = static_cast<uint8_t*>(malloc(RowBytes(width, height)));
  CopyBottomUp(picture + kHeadBytes, width, height, pixels);
  floorSink = floorSink + info[40] + pixels[0];
  free(info);
  free(pixels);
}

}  // namespace bench

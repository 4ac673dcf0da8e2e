// The web engine's exports, called from the page's worker (and from Node in
// the tests and the benchmark). Handles name open files; 0 is none. A call
// that fails answers 0 and leaves its one-line reason in korvo_text(); one
// that succeeds answers nonzero, with its JSON in korvo_text() (listing,
// output names) or its pixels in korvo_result().
#pragma once

#include <cstdint>

// Pictures the viewer decodes whole: their pixels, and their RGBA four
// times that, stay well below a gigabyte, and each side within a canvas's.
constexpr uint64_t kEngineMostPixels = uint64_t{1} << 26;
constexpr uint32_t kEngineLongestSide = 32767;

// The pixels of the last thumbnail or decode. Fields at fixed offsets, which
// the worker reads: 0 width, 4 height, 8 pictureWidth, 12 pictureHeight,
// 16 paletteSwatch, 20 pixelData, 24 pixelBytes, 28 palette.
struct EngineResult {
  uint32_t width;          // of the pixels handed out
  uint32_t height;
  uint32_t pictureWidth;   // of the picture they show
  uint32_t pictureHeight;
  uint32_t paletteSwatch;  // 1: the Palette entry's colours, 16 x 16
  const uint8_t* pixelData;  // RGBA, or palette indices (decode without RGBA)
  uint32_t pixelBytes;
  uint8_t palette[768];    // a decode's palette: red, green, blue triples
};

extern "C" {
// Opens the file at `path` (in the engine's file system) that the user knows
// as `name` (UTF-8): a QKZ picture if named .qkz in any letter case and its
// head is one, else an archive of either layout. The handle, or 0.
int32_t korvo_open(const char* path, const char* name) noexcept;
// The entries as JSON in korvo_text().
int32_t korvo_listing(int32_t handle) noexcept;
// The names korvo extract gives the `count` entries `indices`, in their order.
int32_t korvo_output_names(int32_t handle, const uint32_t* indices, uint32_t count) noexcept;
// Entry `index` no larger than size x size, as korvo thumbnail makes it, RGBA.
int32_t korvo_thumbnail(int32_t handle, uint32_t index, uint32_t size) noexcept;
// Entry `index` whole: RGBA when `rgba`, else its palette indices (width a row).
int32_t korvo_decode(int32_t handle, uint32_t index, int32_t rgba) noexcept;
void korvo_close(int32_t handle) noexcept;
const char* korvo_text() noexcept;
const EngineResult* korvo_result() noexcept;
}

// The QKZ picture: a 1032-byte head (width, height, 256 palette entries of
// red, green, blue, reserved) followed by height rows of RowStride(width, 8)
// palette indices, top row first. Plain functions over bytes: nothing here
// knows about files, handles or the host.
#pragma once

#include <array>
#include <cstdint>

namespace korvo {

// Head layout.
constexpr uint32_t kQkzWidthOffset = 0;
constexpr uint32_t kQkzHeightOffset = 4;
constexpr uint32_t kQkzPaletteOffset = 8;
constexpr uint32_t kQkzRowsOffset = 1032;
constexpr uint32_t kQkzHeadSize = 1032;
constexpr uint32_t kQkzColourCount = 256;
constexpr uint32_t kQkzPaletteSize = 4 * kQkzColourCount;  // (red, green, blue, reserved)
constexpr uint32_t kQkzTripleTableSize = 3 * kQkzColourCount;  // stored (red, green, blue)
// A palette as (red, green, blue) triples, as archives store it.
using QkzTriples = std::array<uint8_t, kQkzTripleTableSize>;

// A bitmap colour table: 256 RGBQUAD entries (blue, green, red, 0).
constexpr uint32_t kColourTableSize = 4 * kQkzColourCount;

// The sizes that follow from a picture's width and height.
struct QkzGeometry {
  uint32_t width;
  uint32_t height;
  uint32_t stride;       // RowStride(width, 8)
  uint32_t rowBytes;     // stride x height: the rows, and the host's pixel block
  uint32_t pictureSize;  // kQkzHeadSize + rowBytes: a complete picture
};

// Bytes of a complete picture of this width and height: 1032 + stride x
// height, in 64 bits so that nothing wraps for any width and height.
uint64_t QkzPictureSize(uint32_t width, uint32_t height);

// Fills `geometry` and returns true when width and height describe a picture
// this system accepts: both nonzero, neither with the top bit set (the host
// takes them as signed), and the whole picture within 32 bits. Anything else
// is not a QKZ picture, so nothing is ever allocated for it.
bool QkzGeometryOf(uint32_t width, uint32_t height, QkzGeometry* geometry);

// The validity test on a head's first 8 bytes (see QkzGeometryOf).
bool ReadQkzGeometry(const uint8_t* head, QkzGeometry* geometry);
bool IsQkzHead(const uint8_t* head);

// Why ReadQkzGeometry refuses a head, for readers that explain a refusal:
// width or height 0 is no picture at all; anything else it refuses is a
// picture larger than this system takes.
enum class QkzHeadVerdict { kPicture, kNotAPicture, kTooLarge };
QkzHeadVerdict JudgeQkzHead(const uint8_t* head, QkzGeometry* geometry);

// Palette entry i (red, green, blue, reserved) becomes colour i of a bitmap
// colour table (blue, green, red, 0); the reserved byte is never read.
void PaletteToColourTable(const uint8_t* palette, uint8_t* colours);

// Palette entry i as (red, green, blue) at triples + 3 x i, for readers that
// hand out RGB pixels; the reserved byte is never read.
void PaletteToRgbTriples(const uint8_t* palette, uint8_t* triples);

// Byte offset in the host's bottom-up pixel block of picture row `row`
// (0 is the top row): (height - 1 - row) x stride.
inline uint32_t BottomUpRowOffset(const QkzGeometry& geometry, uint32_t row) {
  return (geometry.height - 1 - row) * geometry.stride;
}

// Copies the picture's rows (top row first, `rows`) into a bottom-up pixel
// block of geometry.rowBytes bytes, whole strides, fill bytes included.
void CopyRowsBottomUp(const QkzGeometry& geometry, const uint8_t* rows, uint8_t* pixels);

// Turns geometry.height rows of geometry.stride bytes upside down in place:
// rows read top row first become the bottom-up pixel block.
void ReverseRowOrder(const QkzGeometry& geometry, uint8_t* pixels);

// Writes the kQkzHeadSize bytes of a head to `out`: width and height as
// given, so a container may carry any picture it holds, and a palette of 256
// stored (red, green, blue) triples, each taken in its stored order as bytes
// 0-2 of the entry, the reserved byte 0. The rows follow the head unchanged.
void WriteQkzHeadFromTriples(uint32_t width, uint32_t height, const uint8_t* triples,
                             uint8_t* out);

}  // namespace korvo

// A QKZ picture decoded and scaled down in one pass over its rows, for
// thumbnails. The cost follows the thumbnail, not the picture: it holds one
// row and the output, and beyond a large reduction reads only the rows it
// samples. It reads through a callback, so it serves korvo (a file) as well
// as a shell extension (a stream); nothing here knows about files.
#pragma once

#include <cstdint>
#include <vector>

#include "common/byte_source.h"
#include "qkz-picture/qkz_picture.h"

namespace korvo {

// Where a picture's parts lie in a source: a QKZ file keeps its rows right
// behind its head, an archive entry wherever its layout puts them.
struct PictureInSource {
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t palette[kQkzTripleTableSize] = {};  // red, green, blue triples
  uint64_t rowsPosition = 0;                  // the top row; RowStride(width, 8) apart
};

enum class ThumbnailFailure {
  kNone,
  kNotAPicture,     // width or height 0
  kTooLarge,        // beyond what a QKZ picture may be (QkzGeometryOf)
  kEndsInsideHead,  // the source ends inside the 1032-byte head
  kEndsInsideRows,  // the source ends before the last row does
  kCannotRead,      // a read delivered less than the source's size promised
  kNoMemory,
};

// The reason in words, for a one-line message.
const char* ThumbnailFailureWords(ThumbnailFailure failure);

// Reads the head of the complete QKZ picture at `position` of the source.
ThumbnailFailure LocateQkzPicture(const ByteSource& source, uint64_t position,
                                  PictureInSource* picture);

// The thumbnail's size for a picture and a largest side: the picture's own
// when both sides fit; else the longer side becomes `size` and the other
// keeps the ratio, rounded, at least 1.
void ThumbnailSize(uint32_t width, uint32_t height, uint32_t size, uint32_t* thumbnailWidth,
                   uint32_t* thumbnailHeight);

// Rows read per output row at most. Target pixel (tx, ty) stands for the
// block of columns [tx W / w, (tx + 1) W / w) and rows [ty H / h,
// (ty + 1) H / h). A block of up to this many rows is read whole; a taller
// one through this many rows spread evenly over it, row i of n sampled
// being y0 + (2i + 1) rows / 2n, the middle of its i-th equal band. Every
// column of a row read counts. Up to a 16-fold reduction of the height the
// thumbnail is the exact mean; beyond it, the bytes read stay near
// 16 x h rows whatever the picture's height.
constexpr uint32_t kMostRowsPerBlock = 16;

// The picture's rows in a thumbnail no larger than size x size.
struct Thumbnail {
  uint32_t width = 0;
  uint32_t height = 0;
  bool indexed = false;  // the picture whole, as palette indices; else RGB
  uint8_t palette[kQkzTripleTableSize] = {};  // an indexed thumbnail's colours
  std::vector<uint8_t> pixels;  // top row first: width indices or 3 x width bytes a row
};

// A picture that fits comes out whole and indexed; a larger one as the
// rounded mean colour of each target pixel's block (see kMostRowsPerBlock).
// Allocates only the output and one row, after checking that the rows lie
// inside the source.
ThumbnailFailure MakeThumbnail(const ByteSource& source, const PictureInSource& picture,
                               uint32_t size, Thumbnail* thumbnail) noexcept;

}  // namespace korvo

#include "thumbnail/qkz_thumbnail.h"

#include <algorithm>
#include <new>


namespace korvo {
namespace {

// Reads `count` bytes of row `row` into `out`: one read. The rows were
// checked to lie inside the source, so a short read is a failed one.
ThumbnailFailure ReadRow(const ByteSource& source, const PictureInSource& picture,
                         const QkzGeometry& geometry, uint32_t row, uint32_t count, uint8_t* out) {
  const uint64_t position = picture.rowsPosition + uint64_t{row} * geometry.stride;
  return source.read(source.context, position, out, count) == count ? ThumbnailFailure::kNone
                                                                     : ThumbnailFailure::kCannotRead;
}

// The picture as it is: width indices a row.
ThumbnailFailure CopyWhole(const ByteSource& source, const PictureInSource& picture,
                           const QkzGeometry& geometry, Thumbnail* thumbnail) {
  thumbnail->indexed = true;
  std::copy_n(picture.palette, kQkzTripleTableSize, thumbnail->palette);
  thumbnail->pixels.assign(size_t{geometry.width} * geometry.height, 0);
  for (uint32_t y = 0; y < geometry.height; ++y) {
    ThumbnailFailure failure = ReadRow(source, picture, geometry, y, geometry.width,
                                       thumbnail->pixels.data() + size_t{y} * geometry.width);
    if (failure != ThumbnailFailure::kNone) return failure;
  }
  return ThumbnailFailure::kNone;
}

// Source row `i` of the `reads` taken from a block of `rows` rows from `first`.
uint32_t SampledRow(uint32_t first, uint32_t rows, uint32_t reads, uint32_t i) {
  if (reads == rows) return first + i;
  return first + static_cast<uint32_t>((2 * uint64_t{i} + 1) * rows / (2 * uint64_t{reads}));
}

// Each target pixel the rounded mean colour of its block (kMostRowsPerBlock).
ThumbnailFailure AverageDown(const ByteSource& source, const PictureInSource& picture,
                             const QkzGeometry& geometry, Thumbnail* thumbnail) {
  const uint32_t width = thumbnail->width, height = thumbnail->height;
  const uint32_t sourceWidth = geometry.width, sourceHeight = geometry.height;
  thumbnail->indexed = false;
  thumbnail->pixels.assign(3 * size_t{width} * height, 0);
  std::vector<uint8_t> row(sourceWidth);
  std::vector<uint64_t> sums(3 * size_t{width});
  // Where each target column's block ends.
  std::vector<uint32_t> columnEnds(width);
  for (uint32_t tx = 0; tx < width; ++tx)
    columnEnds[tx] = static_cast<uint32_t>(uint64_t{tx + 1} * sourceWidth / width);
  for (uint32_t ty = 0; ty < height; ++ty) {
    const auto first = static_cast<uint32_t>(uint64_t{ty} * sourceHeight / height);
    const auto rows = static_cast<uint32_t>(uint64_t{ty + 1} * sourceHeight / height) - first;
    const uint32_t reads = std::min(rows, kMostRowsPerBlock);
    std::fill(sums.begin(), sums.end(), 0);
    for (uint32_t i = 0; i < reads; ++i) {
      ThumbnailFailure failure = ReadRow(source, picture, geometry,
                                         SampledRow(first, rows, reads, i), sourceWidth, row.data());
      if (failure != ThumbnailFailure::kNone) return failure;
      uint64_t* sum = sums.data();
      for (uint32_t tx = 0, x = 0; tx < width; ++tx, sum += 3)
        for (; x < columnEnds[tx]; ++x) {
          const uint8_t* colour = picture.palette + 3 * size_t{row[x]};
          sum[0] += colour[0];
          sum[1] += colour[1];
          sum[2] += colour[2];
        }
    }
    uint8_t* out = thumbnail->pixels.data() + 3 * size_t{width} * ty;
    for (uint32_t tx = 0, x = 0; tx < width; x = columnEnds[tx++]) {
      const uint64_t count = uint64_t{columnEnds[tx] - x} * reads;
      for (size_t c = 0; c < 3; ++c)
        out[3 * size_t{tx} + c] = static_cast<uint8_t>((sums[3 * size_t{tx} + c] + count / 2) / count);
    }
  }
  return ThumbnailFailure::kNone;
}

}  // namespace

const char* ThumbnailFailureWords(ThumbnailFailure failure) {
  switch (failure) {
    case ThumbnailFailure::kNone: return "no failure";
    case ThumbnailFailure::kNotAPicture: return "not a QKZ picture (width or height 0)";
    case ThumbnailFailure::kTooLarge: return "a QKZ picture larger than 4 GiB or 2^31 pixels a side";
    case ThumbnailFailure::kEndsInsideHead: return "the file ends inside the picture's head";
    case ThumbnailFailure::kEndsInsideRows: return "the file ends inside the picture";
    case ThumbnailFailure::kCannotRead: return "cannot read the file";
    case ThumbnailFailure::kNoMemory: return "out of memory";
  }
  return "unknown failure";
}

ThumbnailFailure LocateQkzPicture(const ByteSource& source, uint64_t position,
                                  PictureInSource* picture) {
  uint8_t head[kQkzHeadSize];
  if (position > source.size || source.size - position < kQkzHeadSize)
    return ThumbnailFailure::kEndsInsideHead;
  if (source.read(source.context, position, head, kQkzHeadSize) != kQkzHeadSize)
    return ThumbnailFailure::kCannotRead;
  QkzGeometry geometry;
  switch (JudgeQkzHead(head, &geometry)) {
    case QkzHeadVerdict::kNotAPicture: return ThumbnailFailure::kNotAPicture;
    case QkzHeadVerdict::kTooLarge: return ThumbnailFailure::kTooLarge;
    case QkzHeadVerdict::kPicture: break;
  }
  picture->width = geometry.width;
  picture->height = geometry.height;
  PaletteToRgbTriples(head + kQkzPaletteOffset, picture->palette);
  picture->rowsPosition = position + kQkzRowsOffset;
  return ThumbnailFailure::kNone;
}

void ThumbnailSize(uint32_t width, uint32_t height, uint32_t size, uint32_t* thumbnailWidth,
                   uint32_t* thumbnailHeight) {
  *thumbnailWidth = width;
  *thumbnailHeight = height;
  if (width <= size && height <= size) return;
  const uint64_t longer = std::max(width, height);
  *thumbnailWidth = std::max<uint32_t>(1, static_cast<uint32_t>((uint64_t{width} * size + longer / 2) / longer));
  *thumbnailHeight = std::max<uint32_t>(1, static_cast<uint32_t>((uint64_t{height} * size + longer / 2) / longer));
}

ThumbnailFailure MakeThumbnail(const ByteSource& source, const PictureInSource& picture,
                               uint32_t size, Thumbnail* thumbnail) noexcept {
  QkzGeometry geometry;
  if (picture.width == 0 || picture.height == 0) return ThumbnailFailure::kNotAPicture;
  if (!QkzGeometryOf(picture.width, picture.height, &geometry)) return ThumbnailFailure::kTooLarge;
  // The whole rows must lie in the source before anything is allocated or read.
  if (picture.rowsPosition > source.size || source.size - picture.rowsPosition < geometry.rowBytes)
    return ThumbnailFailure::kEndsInsideRows;
  if (size == 0) return ThumbnailFailure::kNotAPicture;
  ThumbnailSize(geometry.width, geometry.height, size, &thumbnail->width, &thumbnail->height);
  try {
    if (thumbnail->width == geometry.width && thumbnail->height == geometry.height)
      return CopyWhole(source, picture, geometry, thumbnail);
    return AverageDown(source, picture, geometry, thumbnail);
  } catch (const std::bad_alloc&) {
    thumbnail->pixels = std::vector<uint8_t>();
    return ThumbnailFailure::kNoMemory;
  }
}

}  // namespace korvo

// korvo thumbnail of a file that neither the thumbnail library nor the
// archive parsers take (a foreign plug-in's format, say): decoded whole
// through the plug-ins, then averaged down by the same rule.
#include <algorithm>
#include <vector>

#include "common/little_endian.h"
#include "common/ascii.h"
#include "common/row_stride.h"
#include "thumbnail/qkz_thumbnail.h"
#include "tools/korvo/pictures/bmp_file.h"
#include "tools/korvo/pictures/png_file.h"
#include "tools/host/archive_access.h"
#include "tools/host/first_taker.h"
#include "tools/korvo/commands/archive_operand.h"
#include "tools/korvo/names/output_names.h"
#include "tools/korvo/commands/commands.h"
#include "tools/korvo/names/filter_name.h"
#include "tools/korvo/thumbnails/thumbnail_plugins.h"

namespace korvo {
namespace {

// Picture row `row` as width red, green, blue triples, palette or not.
void RowOfBitmap(const DecodedBitmap& bitmap, const BitmapLayout& layout, const Bytes& triples,
                 uint32_t row, uint8_t* rgb) {
  if (layout.bitCount > 8) return RowToRgb(bitmap, layout, row, rgb);
  const uint8_t* pixels = bitmap.pixels.data() + BitmapRowOffset(layout, row);
  const uint32_t bits = layout.bitCount, perByte = 8 / bits, mask = (1u << bits) - 1;
  for (uint32_t x = 0; x < layout.width; ++x) {
    uint32_t shift = (perByte - 1 - x % perByte) * bits;
    uint32_t index = (pixels[x / perByte] >> shift) & mask;
    std::copy_n(&triples[3 * index], 3, rgb + 3 * size_t{x});
  }
}

// Scales the picture down to width x height (each no larger than the
// picture's) by averaging the block of source pixels behind each target one.
DecodedBitmap AverageDown(const DecodedBitmap& source, const BitmapLayout& layout, uint32_t width,
                          uint32_t height) {
  DecodedBitmap target = NewRgbBitmap(width, height);
  const uint32_t stride = RowStride(width, 24);
  const Bytes triples = layout.bitCount <= 8 ? PaletteTriples(source, layout) : Bytes();
  Bytes rgb(3 * size_t{layout.width});
  std::vector<uint64_t> sums(3 * size_t{width});
  uint32_t y = 0;
  for (uint32_t ty = 0; ty < height; ++ty) {
    const uint32_t yEnd = static_cast<uint32_t>(uint64_t{ty + 1} * layout.height / height);
    std::fill(sums.begin(), sums.end(), 0);
    const uint32_t rows = yEnd - y;
    for (; y < yEnd; ++y) {
      RowOfBitmap(source, layout, triples, y, rgb.data());
      for (uint32_t tx = 0, x = 0; tx < width; ++tx) {
        const uint32_t xEnd = static_cast<uint32_t>(uint64_t{tx + 1} * layout.width / width);
        for (; x < xEnd; ++x)
          for (size_t c = 0; c < 3; ++c) sums[3 * size_t{tx} + c] += rgb[3 * size_t{x} + c];
      }
    }
    // Bottom-up, blue, green, red.
    uint8_t* out = target.pixels.data() + size_t{height - 1 - ty} * stride;
    for (uint32_t tx = 0; tx < width; ++tx) {
      const uint64_t columns = uint64_t{tx + 1} * layout.width / width - uint64_t{tx} * layout.width / width;
      const uint64_t count = columns * rows;
      for (size_t c = 0; c < 3; ++c)
        out[3 * size_t{tx} + 2 - c] =
            static_cast<uint8_t>((sums[3 * size_t{tx} + c] + count / 2) / count);
    }
  }
  return target;
}

// The first picture entry of an archive (the Palette entry of the
// named-entry layout holds no picture to show), decoded.
Status DecodeFirstEntry(const PluginSet& set, const Plugin& extractor, const std::string& archive,
                        const std::vector<ArchiveEntry>& entries, DecodedBitmap* bitmap) {
  for (const ArchiveEntry& entry : entries) {
    std::string stem, extension;
    SplitExtension(entry.name, &stem, &extension);
    if (FoldAsciiText(stem) == "palette") continue;
    Bytes data;
    Status status = FetchEntry(extractor, archive, entry, &data);
    if (status.ok()) status = DecodeExtractedEntry(set, entry.decodedName, data, bitmap);
    if (!status.ok()) status.message = entry.name + ": " + status.message;
    return status;
  }
  return Failed("the archive holds no picture");
}

// A picture file through the filter that claims it, or else an archive's
// first picture. False once the failure is reported.
bool DecodeThumbnailSource(const PluginSet& set, const NameEncoding& encoding,
                           const std::string& input, DecodedBitmap* bitmap) {
  Bytes head;
  Status status = ReadHeadBuffer(input, &head);
  if (!status.ok()) return ReportStatus(input, status) == 0;
  FilterName name;
  NameForFilter(input, &name);
  if (FirstTaker(set, PluginKind::kImportFilter, name.path, head,
                 [&](const Plugin& filter) { return DecodePictureFile(filter, name.path, bitmap); },
                 &status) != nullptr)
    return true;
  // A file that a filter claims by its name is a damaged picture; any other
  // may be an archive.
  if (status.kind == Status::kFailed) return ReportStatus(input, status) == 0;
  std::vector<ArchiveEntry> entries;
  const Plugin* extractor = OpenNamedArchive(set, input, encoding, &entries);
  if (extractor == nullptr) return false;
  status = DecodeFirstEntry(set, *extractor, input, entries, bitmap);
  return status.ok() || ReportStatus(input, status) == 0;
}

}  // namespace

DecodedBitmap NewRgbBitmap(uint32_t width, uint32_t height) {
  DecodedBitmap bitmap;
  bitmap.info.assign(kBitmapInfoHeaderSize, 0);
  const uint32_t stride = RowStride(width, 24);
  WriteBitmapInfoHeader(width, height, 24, stride * height, bitmap.info.data());
  bitmap.pixels.assign(size_t{stride} * height, 0);
  return bitmap;
}

bool PluginThumbnail(const PluginSet& set, const NameEncoding& encoding, const std::string& input,
                     uint32_t size, ThumbnailOutput* output) {
  DecodedBitmap& bitmap = output->bitmap;
  if (!DecodeThumbnailSource(set, encoding, input, &bitmap)) return false;
  BitmapLayout layout;
  std::string error;
  if (!ReadBitmapLayout(bitmap.info.data(), bitmap.info.size(), &layout, &error)) {
    ReportFailure(input, error);
    return false;
  }
  output->pictureWidth = layout.width;
  output->pictureHeight = layout.height;
  uint32_t width = 0, height = 0;
  ThumbnailSize(layout.width, layout.height, size, &width, &height);
  if (width != layout.width || height != layout.height)
    bitmap = AverageDown(bitmap, layout, width, height);
  return true;
}

}  // namespace korvo

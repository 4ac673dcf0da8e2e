// korvo thumbnail INPUT OUTPUT.png [--size N]: the picture a file manager
// shows for a QKZ picture or a Brimmel archive (its first picture entry),
// no larger than N x N and keeping the aspect ratio; the desktop's
// .thumbnailer files run it. Pictures that fit are written as korvo convert
// writes them; larger ones are averaged down to an RGB PNG.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/little_endian.h"
#include "common/row_stride.h"
#include "tools/korvo/archive_access.h"
#include "tools/korvo/commands.h"
#include "tools/korvo/file_system.h"
#include "tools/korvo/filter_name.h"
#include "tools/korvo/output_file.h"

namespace korvo {
namespace {

constexpr uint32_t kDefaultSize = 256, kLargestSize = 4096;

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

// A bottom-up 24-bit bitmap of width x height, its pixels zeroed.
DecodedBitmap NewRgbBitmap(uint32_t width, uint32_t height) {
  DecodedBitmap bitmap;
  bitmap.info.assign(kBitmapInfoHeaderSize, 0);
  uint8_t* header = bitmap.info.data();
  const uint32_t stride = RowStride(width, 24);
  WriteLe32(header, kBitmapInfoHeaderSize);
  WriteLe32(header + 4, width);
  WriteLe32(header + 8, height);
  WriteLe16(header + 12, 1);
  WriteLe16(header + 14, 24);
  WriteLe32(header + 20, stride * height);
  bitmap.pixels.assign(size_t{stride} * height, 0);
  return bitmap;
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
// named-entry layout holds no picture to show), decoded; the failure's
// message otherwise.
std::string DecodeFirstEntry(const PluginSet& set, const Plugin& extractor,
                             const std::string& archive, const std::vector<ArchiveEntry>& entries,
                             DecodedBitmap* bitmap) {
  for (const ArchiveEntry& entry : entries) {
    if (LowerAscii(FileStem(entry.name)) == "palette") continue;
    Bytes data;
    CallResult result = ExtractEntry(extractor, archive, entry, &data);
    if (!result.ok()) return entry.name + ": " + result.message;
    std::string failure = DecodeExtractedEntry(set, entry, data, bitmap);
    return failure.empty() ? failure : entry.name + ": " + failure;
  }
  return "the archive holds no picture";
}

// A picture file through the filter that takes it, or else an archive's
// first picture. False once the failure is reported.
bool DecodeThumbnailSource(const PluginSet& set, const NameEncoding& encoding,
                           const std::string& input, DecodedBitmap* bitmap) {
  Bytes head;
  std::string failure;
  if (!ReadHeadBuffer(input, &head, &failure)) {
    ReportFailure(input, failure);
    return false;
  }
  FilterName name;
  NameForFilter(input, &name);
  for (const Plugin* filter : FindPlugins(set, PluginKind::kImportFilter, name.path, head)) {
    CallResult result = DecodePictureFile(*filter, name.path, bitmap);
    if (result.ok()) return true;
    // A filter that takes the head but not the name has not claimed the file.
    if (!MaskTakesName(filter->fileMask, input)) continue;
    if (failure.empty()) failure = result.message;
  }
  // A file that a filter takes by its name and head is a damaged picture.
  if (failure.empty()) {
    std::vector<ArchiveEntry> entries;
    const Plugin* extractor = OpenArchive(set, input, encoding, &entries);
    if (extractor == nullptr) return false;
    failure = DecodeFirstEntry(set, *extractor, input, entries, bitmap);
    if (failure.empty()) return true;
  }
  ReportFailure(input, failure);
  return false;
}

}  // namespace

int RunThumbnail(const Arguments& arguments) {
  const std::string& input = arguments.operands[0];
  const std::string& output = arguments.operands[1];
  uint32_t size = kDefaultSize;
  if (arguments.Has("--size")) {
    const std::string& text = arguments.Value("--size");
    unsigned long value = 0;
    bool digits = !text.empty() && text.size() <= 5 &&
                  text.find_first_not_of("0123456789") == std::string::npos;
    if (digits) value = std::stoul(text);
    if (value == 0 || value > kLargestSize) {
      fprintf(stderr, "korvo: thumbnail: --size takes 1 to %u pixels, not '%s'\n", kLargestSize,
              text.c_str());
      return kExitUsage;
    }
    size = static_cast<uint32_t>(value);
  }
  if (IsAnInput(output, {input})) return kExitFailure;
  NameEncoding encoding;
  if (!ChooseNameEncoding(arguments, &encoding)) return kExitUsage;
  PluginSet set;
  if (!LoadCommandPlugins(arguments, &set)) return kExitFailure;
  DecodedBitmap bitmap;
  if (!DecodeThumbnailSource(set, encoding, input, &bitmap)) return kExitFailure;
  BitmapLayout layout;
  std::string error;
  if (!ReadBitmapLayout(bitmap.info.data(), bitmap.info.size(), &layout, &error))
    return ReportFailure(input, error);
  uint32_t width = layout.width, height = layout.height;
  if (width > size || height > size) {
    // The longer side becomes `size`, the other keeps the ratio (at least 1).
    const uint32_t longer = std::max(width, height);
    width = std::max<uint32_t>(1, static_cast<uint32_t>((uint64_t{width} * size + longer / 2) / longer));
    height = std::max<uint32_t>(1, static_cast<uint32_t>((uint64_t{height} * size + longer / 2) / longer));
    bitmap = AverageDown(bitmap, layout, width, height);
  }
  Bytes file;
  if (!EncodePicture(bitmap, PictureFormat::kPng, &file, &error)) return ReportFailure(input, error);
  // Into the output itself: the desktop may read it through a handle it
  // already holds, which a file renamed over the name would not reach.
  if (!WriteFileInPlace(output, file, &error)) return ReportFailure(output, error);
  printf("%s: %u x %u -> %s (%u x %u)\n", input.c_str(), layout.width, layout.height,
         output.c_str(), width, height);
  return 0;
}

}  // namespace korvo

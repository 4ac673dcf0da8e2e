// PNG through libpng, in memory. libpng reports errors by longjmp, so each
// function sets up everything with a destructor before its setjmp and only
// plain values change after it.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include "qkz-picture/qkz_picture.h"
#include "tools/korvo/pictures/png_file.h"
#include "tools/korvo/pictures/png_policy.h"

namespace korvo {
namespace {

// What a libpng run produces: its error or our refusal, and for reading the
// picture and its row pointers. Everything that changes after setjmp lives
// here, behind the pointer libpng holds, so it is in memory and intact when
// an error jumps back.
struct PngOutcome {
  std::string error;
  std::string refusal;  // a PNG we read but do not take
  IndexedPicture picture;
  std::vector<png_bytep> rowPointers;
};

void OnError(png_structp png, png_const_charp message) {
  static_cast<PngOutcome*>(png_get_error_ptr(png))->error = message;
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void AppendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void Flush(png_structp) {}

struct MemoryReader {
  const Bytes* data;
  size_t offset;
};

void ReadBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (reader->data->size() - reader->offset < length) png_error(png, "the file ends early");
  memcpy(data, reader->data->data() + reader->offset, length);
  reader->offset += length;
}

const char* ColourTypeName(int colourType) {
  switch (colourType) {
    case PNG_COLOR_TYPE_GRAY: return "greyscale";
    case PNG_COLOR_TYPE_GRAY_ALPHA: return "greyscale with alpha";
    case PNG_COLOR_TYPE_RGB: return "RGB";
    case PNG_COLOR_TYPE_RGB_ALPHA: return "RGBA";
    default: return "unknown colour type";
  }
}


// The part of writing that libpng may jump out of: plain pointers only, every
// buffer made by the caller.
struct PngWriteJob {
  const DecodedBitmap* bitmap;
  const BitmapLayout* layout;
  const png_color* palette;  // nullptr for RGB
  int paletteSize;
  uint8_t* rgbRow;           // 3 x width bytes for RGB
  Bytes* out;
  PngOutcome* outcome;
};

bool WritePng(const PngWriteJob& job) {
  const BitmapLayout& layout = *job.layout;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, job.outcome, OnError, OnWarning);
  png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    job.outcome->error = "out of memory";
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, job.out, AppendBytes, Flush);
  bool indexed = job.palette != nullptr;
  png_set_IHDR(png, info, layout.width, layout.height, indexed ? layout.bitCount : 8,
               indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (indexed) png_set_PLTE(png, info, job.palette, job.paletteSize);
  png_write_info(png, info);
  for (uint32_t y = 0; y < layout.height; ++y) {
    if (indexed) {
      png_write_row(png, job.bitmap->pixels.data() + BitmapRowOffset(layout, y));
    } else {
      RowToRgb(*job.bitmap, layout, y, job.rgbRow);
      png_write_row(png, job.rgbRow);
    }
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool EncodePng(const DecodedBitmap& bitmap, const BitmapLayout& layout, Bytes* out,
               std::string* error) {
  const bool indexed = layout.bitCount <= 8;
  Bytes triples = indexed ? PaletteTriples(bitmap, layout) : Bytes();
  std::vector<png_color> palette(triples.size() / 3);
  for (size_t i = 0; i < palette.size(); ++i)
    palette[i] = {triples[3 * i], triples[3 * i + 1], triples[3 * i + 2]};
  Bytes rgbRow(indexed ? 0 : 3 * size_t{layout.width});
  PngOutcome outcome;
  out->clear();
  PngWriteJob job = {&bitmap, &layout, indexed ? palette.data() : nullptr,
                     static_cast<int>(palette.size()), rgbRow.data(), out, &outcome};
  if (WritePng(job)) return true;
  *error = "PNG: " + outcome.error;
  return false;
}

bool DecodeIndexedPng(const Bytes& data, uint64_t largestPicture, IndexedPicture* picture,
                      std::string* error) {
  MemoryReader reader = {&data, 0};
  PngOutcome outcome;

  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &outcome, OnError, OnWarning);
  png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    *error = "out of memory";
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    *error = outcome.refusal.empty() ? "damaged PNG: " + outcome.error : outcome.refusal;
    return false;
  }
  png_set_read_fn(png, &reader, ReadBytes);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colourType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
  IndexedPicture& result = outcome.picture;
  QkzGeometry geometry;
  if (colourType != PNG_COLOR_TYPE_PALETTE) outcome.refusal = NotIndexedPng(ColourTypeName(colourType));
  else outcome.refusal = CheckPngSize(width, height, largestPicture, &geometry);
  if (!outcome.refusal.empty()) png_error(png, "refused");
  StartIndexedPicture(geometry, &result);
  png_colorp colours = nullptr;
  int colourCount = 0;
  png_get_PLTE(png, info, &colours, &colourCount);
  // libpng gives a count of 0 to 256 colours; taken as 0 to 256 whatever it says.
  const auto usedColours = static_cast<size_t>(std::clamp(colourCount, 0, 256));
  for (size_t i = 0; i < usedColours; ++i)
    SetPaletteColour(i, colours[i].red, colours[i].green, colours[i].blue, &result);
  if (bitDepth < 8) png_set_packing(png);  // one index per byte
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  outcome.rowPointers.resize(height);
  for (uint32_t y = 0; y < height; ++y)
    outcome.rowPointers[y] = &result.rows[size_t{y} * geometry.stride];
  png_read_image(png, outcome.rowPointers.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  *picture = std::move(result);
  return true;
}

}  // namespace korvo

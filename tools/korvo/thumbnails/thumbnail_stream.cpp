// korvo thumbnail of a QKZ picture or of an archive's first picture entry
// through the thumbnail library: the file is read at the positions of the
// rows the thumbnail needs, so its cost follows the thumbnail.
#include <algorithm>
#include <cstring>

#include "common/ascii.h"
#include "common/little_endian.h"
#include "common/row_stride.h"
#include "host-contract/failure.h"
#include "thumbnail/archive_picture.h"
#include "thumbnail/qkz_thumbnail.h"
#include "tools/korvo/pictures/bmp_file.h"
#include "tools/korvo/pictures/png_file.h"
#include "tools/korvo/commands/commands.h"
#include "tools/host/result_words.h"
#include "tools/korvo/names/filter_name.h"
#include "tools/host/platform/native_path.h"
#include "tools/host/platform/positional_file.h"
#include "tools/korvo/thumbnails/thumbnail_plugins.h"
#include "tools/korvo/thumbnails/thumbnail_stream.h"


namespace korvo {
namespace {

uint32_t ReadFromFile(void* context, uint64_t position, uint8_t* out, uint32_t count) {
  return ReadPositional(*static_cast<const PositionalFile*>(context), position, out, count);
}

// The thumbnail as a bitmap to encode: an indexed one as the import filter
// hands a picture out (8 bits, its 256 colours, rows bottom-up), so that it
// is written as korvo convert writes it; an RGB one at 24 bits.
DecodedBitmap BitmapOf(const Thumbnail& thumbnail) {
  const uint32_t width = thumbnail.width, height = thumbnail.height;
  if (!thumbnail.indexed) {
    DecodedBitmap bitmap = NewRgbBitmap(width, height);
    const uint32_t stride = RowStride(width, 24);
    for (uint32_t y = 0; y < height; ++y) {
      const uint8_t* rgb = thumbnail.pixels.data() + 3 * size_t{width} * y;
      uint8_t* out = bitmap.pixels.data() + size_t{height - 1 - y} * stride;
      for (uint32_t x = 0; x < width; ++x)
        for (size_t c = 0; c < 3; ++c) out[3 * size_t{x} + 2 - c] = rgb[3 * size_t{x} + c];
    }
    return bitmap;
  }
  DecodedBitmap bitmap;
  bitmap.info.assign(kBitmapInfoHeaderSize + 4 * kQkzColourCount, 0);
  uint8_t* header = bitmap.info.data();
  WriteBitmapInfoHeader(width, height, 8, 0, header);
  for (uint32_t i = 0; i < kQkzColourCount; ++i)
    for (size_t c = 0; c < 3; ++c)
      header[kBitmapInfoHeaderSize + 4 * i + c] = thumbnail.palette[3 * i + 2 - c];
  const uint32_t stride = RowStride(width, 8);
  bitmap.pixels.assign(size_t{stride} * height, 0);
  for (uint32_t y = 0; y < height; ++y)
    std::copy_n(thumbnail.pixels.data() + size_t{width} * y, width,
                bitmap.pixels.data() + size_t{height - 1 - y} * stride);
  return bitmap;
}

// Why a picture could not be read, in words; where the file ends early,
// how far it reaches.
std::string FailureText(ThumbnailFailure failure, const PositionalFile& file, uint64_t needed) {
  std::string words = ThumbnailFailureWords(failure);
  if (failure == ThumbnailFailure::kEndsInsideHead || failure == ThumbnailFailure::kEndsInsideRows)
    words += " (" + std::to_string(file.size) + " of " + std::to_string(needed) + " bytes)";
  return words;
}

// The archive's words for an entry that cannot be read: the extractor's
// reason, as korvo words its GetFile result.
std::string EntryFailureText(Failure failure) {
  if (failure == Failure::kNoMemory) return "out of memory";
  return ResultWords("GetFile", ResultCodeOf(failure));
}

SourceVerdict Finish(ThumbnailFailure failure, const std::string& input, const std::string& prefix,
                     const std::string& text, const Thumbnail& thumbnail, ThumbnailOutput* output) {
  if (failure != ThumbnailFailure::kNone) {
    ReportFailure(input, prefix + text);
    return SourceVerdict::kReported;
  }
  output->bitmap = BitmapOf(thumbnail);
  return SourceVerdict::kDone;
}

}  // namespace

SourceVerdict StreamThumbnail(const std::string& input, const NameEncoding& encoding,
                              uint32_t size, ThumbnailOutput* output) {
  PositionalFile file;
  std::string error;
  if (!OpenPositionalFile(input, &file, &error)) {
    ReportFailure(input, error);
    return SourceVerdict::kReported;
  }
  const ByteSource source = {ReadFromFile, &file, file.size};
  PictureInSource picture;
  Thumbnail thumbnail;

  // A picture: named so, and its first 8 bytes a size the filter takes.
  uint8_t size8[8] = {};
  ReadPositional(file, 0, size8, sizeof size8);
  if (HasQkzName(input) && IsQkzHead(size8)) {
    ThumbnailFailure failure = LocateQkzPicture(source, 0, &picture);
    output->pictureWidth = picture.width;
    output->pictureHeight = picture.height;
    if (failure == ThumbnailFailure::kNone) failure = MakeThumbnail(source, picture, size, &thumbnail);
    const uint64_t needed = failure == ThumbnailFailure::kEndsInsideHead
                                ? kQkzHeadSize
                                : QkzPictureSize(picture.width, picture.height);
    return Finish(failure, input, "", FailureText(failure, file, needed), thumbnail, output);
  }

  // An archive: its first picture entry, or the plug-ins' turn.
  ArchivePicture entry;
  const Outcome outcome = FindArchivePicture(NativePath(input).Host(), &entry);
  if (outcome.refused) return SourceVerdict::kNotTaken;
  const std::string stored(entry.name, strlen(entry.name));
  const std::string name = DisplayName(encoding, stored) + ": ";
  if (outcome.reason != Failure::kNone) {
    ReportFailure(input, name + EntryFailureText(outcome.reason));
    return SourceVerdict::kReported;
  }
  if (!entry.found) {
    ReportFailure(input, "the archive holds no picture");
    return SourceVerdict::kReported;
  }
  output->pictureWidth = entry.picture.width;
  output->pictureHeight = entry.picture.height;
  ThumbnailFailure failure = MakeThumbnail(source, entry.picture, size, &thumbnail);
  // The extractor's words for an entry the file ends inside.
  const std::string text = failure == ThumbnailFailure::kEndsInsideRows
                               ? EntryFailureText(Failure::kFileEndsEarly)
                               : ThumbnailFailureWords(failure);
  return Finish(failure, input, name, text, thumbnail, output);
}

}  // namespace korvo

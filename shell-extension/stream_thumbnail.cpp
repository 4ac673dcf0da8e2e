#include "shell-extension/stream_thumbnail.h"

#include "thumbnail/archive_picture.h"

namespace korvo {
namespace {

ShellFailure ShellFailureOf(ThumbnailFailure failure) {
  switch (failure) {
    case ThumbnailFailure::kNone: return ShellFailure::kNone;
    case ThumbnailFailure::kCannotRead: return ShellFailure::kCannotRead;
    case ThumbnailFailure::kNoMemory: return ShellFailure::kNoMemory;
    case ThumbnailFailure::kNotAPicture:
    case ThumbnailFailure::kTooLarge:
    case ThumbnailFailure::kEndsInsideHead:
    case ThumbnailFailure::kEndsInsideRows: break;
  }
  return ShellFailure::kNotShown;
}

}  // namespace

ShellFailure ShellThumbnail(const ByteSource& source, ShellInput input, uint32_t size,
                            Thumbnail* thumbnail) noexcept {
  PictureInSource picture;
  if (input == ShellInput::kPicture) {
    const ThumbnailFailure failure = LocateQkzPicture(source, 0, &picture);
    if (failure != ThumbnailFailure::kNone) return ShellFailureOf(failure);
  } else {
    ArchivePicture found;
    const Outcome outcome = FindArchivePicture(source, &found);
    if (outcome.reason == Failure::kNoMemory) return ShellFailure::kNoMemory;
    if (outcome.reason != Failure::kNone || !found.found) return ShellFailure::kNotShown;
    picture = found.picture;
  }
  return ShellFailureOf(MakeThumbnail(source, picture, size, thumbnail));
}

void BgraPixels(const Thumbnail& thumbnail, uint8_t* out) noexcept {
  const size_t count = size_t{thumbnail.width} * thumbnail.height;
  for (size_t i = 0; i < count; ++i, out += 4) {
    const uint8_t* rgb = thumbnail.indexed ? thumbnail.palette + 3 * size_t{thumbnail.pixels[i]}
                                           : thumbnail.pixels.data() + 3 * i;
    out[0] = rgb[2];
    out[1] = rgb[1];
    out[2] = rgb[0];
    out[3] = 255;
  }
}

}  // namespace korvo

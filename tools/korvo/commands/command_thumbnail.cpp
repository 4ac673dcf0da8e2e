// korvo thumbnail INPUT OUTPUT.png [--size N]: the picture a file manager
// shows for a QKZ picture or a Brimmel archive (its first picture entry),
// no larger than N x N and keeping the aspect ratio; the desktop's
// .thumbnailer files run it. Pictures that fit are written as korvo convert
// writes them; larger ones are averaged down to an RGB PNG.
#include <cstdio>
#include <new>

#include "tools/korvo/commands/commands.h"
#include "tools/korvo/pictures/picture_formats.h"
#include "tools/host/platform/files.h"
#include "tools/host/platform/output_file.h"
#include "tools/korvo/thumbnails/thumbnail_plugins.h"
#include "tools/korvo/thumbnails/thumbnail_stream.h"

namespace korvo {
namespace {

constexpr uint32_t kDefaultSize = 256, kLargestSize = 4096;

int MakeAndWriteThumbnail(const Arguments& arguments, uint32_t size) {
  const std::string& input = arguments.operands[0];
  const std::string& output = arguments.operands[1];
  NameEncoding encoding;
  if (!ChooseNameEncoding(arguments, &encoding)) return kExitUsage;
  PluginSet set;
  if (!LoadCommandPlugins(arguments, &set)) return kExitFailure;
  ThumbnailOutput thumbnail;
  switch (StreamThumbnail(input, encoding, size, &thumbnail)) {
    case SourceVerdict::kDone: break;
    case SourceVerdict::kReported: return kExitFailure;
    case SourceVerdict::kNotTaken:
      if (!PluginThumbnail(set, encoding, input, size, &thumbnail)) return kExitFailure;
  }
  BitmapLayout layout;
  std::string error;
  if (!ReadBitmapLayout(thumbnail.bitmap.info.data(), thumbnail.bitmap.info.size(), &layout, &error))
    return ReportFailure(input, error);
  Bytes file;
  if (!EncodePicture(thumbnail.bitmap, PictureFormat::kPng, &file, &error))
    return ReportFailure(input, error);
  // Into the output itself: the desktop may read it through a handle it
  // already holds, which a file renamed over the name would not reach.
  if (!WriteFileInPlace(output, file, &error)) return ReportFailure(output, error);
  printf("%s: %u x %u -> %s (%u x %u)\n", input.c_str(), thumbnail.pictureWidth,
         thumbnail.pictureHeight, output.c_str(), layout.width, layout.height);
  return 0;
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
  // Written in place, an output that is the input would lose the picture.
  if (IsAnInput(output, {input})) return kExitFailure;
  // Whatever a file claims, running out of memory is one line, not an abort.
  try {
    return MakeAndWriteThumbnail(arguments, size);
  } catch (const std::bad_alloc&) {
    return ReportFailure(input, "out of memory");
  }
}

}  // namespace korvo

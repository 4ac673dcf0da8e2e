// korvo convert PICTURE [-o OUT]: what a viewer does with a picture file,
// ending in a PNG or BMP file instead of a window.
#include <cstdio>

#include "tools/host/first_taker.h"
#include "tools/host/plugin_calls.h"
#include "tools/korvo/commands/commands.h"
#include "tools/korvo/pictures/picture_formats.h"
#include "tools/host/platform/files.h"
#include "tools/korvo/names/filter_name.h"
#include "tools/host/platform/output_file.h"

namespace korvo {
namespace {

// The format an output name asks for by its extension.
bool FormatOfOutput(const std::string& output, PictureFormat* format) {
  const std::string extension = Utf8Of(PathOf(output).extension());
  return extension.size() > 1 && PictureFormatByName(extension.substr(1), format) &&
         *format != PictureFormat::kQkz;
}

std::string DefaultOutput(const std::string& picture) {
  return Utf8Of(PathOf(picture).replace_extension(PathOf(ExtensionOf(PictureFormat::kPng))));
}

}  // namespace

int RunConvert(const Arguments& arguments) {
  const std::string& picture = arguments.operands[0];
  std::string output = arguments.Has("-o") ? arguments.Value("-o") : DefaultOutput(picture);
  PictureFormat format;
  if (!FormatOfOutput(output, &format)) {
    fprintf(stderr, "korvo: %s: name the output .png or .bmp\n", output.c_str());
    return kExitUsage;
  }
  if (IsAnInput(output, {picture})) return kExitFailure;
  PluginSet set;
  if (!LoadCommandPlugins(arguments, &set)) return kExitFailure;
  Bytes head;
  Status status = ReadHeadBuffer(picture, &head);
  if (!status.ok()) return ReportStatus(picture, status);
  // The first filter that decodes it; a filter that takes the head may still
  // refuse the file.
  DecodedBitmap bitmap;
  FilterName name;
  NameForFilter(picture, &name);
  const Plugin* filter = FirstTaker(set, PluginKind::kImportFilter, name.path, head,
                                    [&](const Plugin& candidate) {
                                      return DecodePictureFile(candidate, name.path, &bitmap);
                                    },
                                    &status);
  if (filter == nullptr) return ReportStatus(picture, status);
  std::string error;
  Bytes file;
  if (!EncodePicture(bitmap, format, &file, &error)) return ReportFailure(picture, error);
  if (!WriteFileAtomically(output, file, &error)) return ReportFailure(output, error);
  BitmapLayout layout;
  ReadBitmapLayout(bitmap.info.data(), bitmap.info.size(), &layout, &error);
  printf("%s: %u x %u, %u bits per pixel, decoded by %s -> %s\n", picture.c_str(), layout.width,
         layout.height, layout.bitCount, filter->fileName.c_str(), output.c_str());
  return 0;
}

}  // namespace korvo

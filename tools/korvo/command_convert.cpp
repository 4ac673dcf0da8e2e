// korvo convert PICTURE [-o OUT]: what a viewer does with a picture file,
// ending in a PNG or BMP file instead of a window.
#include <cstdio>

#include "tools/korvo/commands.h"
#include "tools/korvo/file_system.h"
#include "tools/korvo/filter_name.h"
#include "tools/korvo/output_file.h"

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
  std::string error;
  if (!ReadHeadBuffer(picture, &head, &error)) return ReportFailure(picture, error);
  // The first filter that decodes it; a filter that takes the head may still
  // refuse the file.
  DecodedBitmap bitmap;
  const Plugin* filter = nullptr;
  std::string failure;
  FilterName name;
  NameForFilter(picture, &name);
  for (const Plugin* candidate : FindPlugins(set, PluginKind::kImportFilter, name.path, head)) {
    CallResult result = DecodePictureFile(*candidate, name.path, &bitmap);
    if (result.ok()) {
      filter = candidate;
      break;
    }
    if (failure.empty()) failure = result.message;
  }
  if (filter == nullptr)
    return ReportFailure(picture, !failure.empty() ? failure
                                                   : "not a supported picture (no import filter in " +
                                                         set.directory + " takes it)");
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

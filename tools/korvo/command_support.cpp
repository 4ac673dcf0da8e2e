#include <cstdio>
#include <filesystem>

#include "common/ascii.h"
#include "tools/korvo/commands.h"
#include "tools/korvo/file_system.h"
#include "tools/korvo/image_files.h"

namespace korvo {

int ReportFailure(const std::string& file, const std::string& message) {
  fprintf(stderr, "korvo: %s: %s\n", file.c_str(), message.c_str());
  return kExitFailure;
}

bool IsAnInput(const std::string& output, const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) {
    // The same file when both exist, or the same name for one not yet made.
    std::error_code identity, outputName, inputName;
    const bool sameFile = std::filesystem::equivalent(PathOf(output), PathOf(input), identity);
    const bool sameName = std::filesystem::weakly_canonical(PathOf(output), outputName) ==
                          std::filesystem::weakly_canonical(PathOf(input), inputName);
    if ((sameFile && !identity) || (sameName && !outputName && !inputName)) {
      ReportFailure(output, "is also an input (" + input + "); nothing is written over an input");
      return true;
    }
  }
  return false;
}

bool LoadCommandPlugins(const Arguments& arguments, PluginSet* set) {
  const bool named = !arguments.pluginDirectory.empty();
  const std::string directory = named ? arguments.pluginDirectory : DefaultPluginDirectory();
  std::string error;
  if (LoadPluginSet(directory, named ? PluginChoice::kEvery : PluginChoice::kOwnByName, set, &error))
    return true;
  fprintf(stderr, "korvo: %s\n", error.c_str());
  return false;
}

bool ChooseNameEncoding(const Arguments& arguments, NameEncoding* encoding) {
  std::string name = arguments.Has("--names") ? arguments.Value("--names") : kDefaultNameEncoding;
  std::string error;
  if (FindNameEncoding(name, encoding, &error)) return true;
  fprintf(stderr, "korvo: %s\n", error.c_str());
  return false;
}

namespace {

struct FormatEntry {
  PictureFormat format;
  const char* name;
  const char* extension;
  const char* title;
};

const FormatEntry kFormats[] = {
    {PictureFormat::kPng, "png", ".png", "PNG"},
    {PictureFormat::kBmp, "bmp", ".bmp", "BMP"},
    {PictureFormat::kQkz, "qkz", ".QKZ", "QKZ"},
};

const FormatEntry& EntryOf(PictureFormat format) {
  for (const FormatEntry& entry : kFormats)
    if (entry.format == format) return entry;
  return kFormats[0];
}

}  // namespace

bool PictureFormatByName(const std::string& name, PictureFormat* format) {
  for (const FormatEntry& entry : kFormats)
    if (FoldAsciiText(name) == entry.name) {
      *format = entry.format;
      return true;
    }
  return false;
}

const char* ExtensionOf(PictureFormat format) { return EntryOf(format).extension; }
const char* FormatName(PictureFormat format) { return EntryOf(format).title; }

bool EncodePicture(const DecodedBitmap& bitmap, PictureFormat format, Bytes* file,
                   std::string* error) {
  BitmapLayout layout;
  if (!ReadBitmapLayout(bitmap.info.data(), bitmap.info.size(), &layout, error)) return false;
  if (format == PictureFormat::kBmp) {
    *file = EncodeBmp(bitmap, layout);
    return true;
  }
  return EncodePng(bitmap, layout, file, error);
}

std::string FileStem(const std::string& path) { return Utf8Of(PathOf(path).stem()); }

}  // namespace korvo

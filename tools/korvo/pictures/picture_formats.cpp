#include "tools/korvo/pictures/picture_formats.h"

#include "common/ascii.h"
#include "tools/korvo/pictures/bmp_file.h"
#include "tools/korvo/pictures/png_file.h"

namespace korvo {
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


}  // namespace korvo

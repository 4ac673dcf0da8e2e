// The picture files korvo writes, by name and extension.
#pragma once

#include <string>

#include "common/bytes.h"
#include "tools/host/bitmaps.h"

namespace korvo {

enum class PictureFormat { kPng, kBmp, kQkz };
bool PictureFormatByName(const std::string& name, PictureFormat* format);
const char* ExtensionOf(PictureFormat format);  // ".png"
const char* FormatName(PictureFormat format);   // "PNG"

// Encodes a decoded bitmap as PNG or BMP; fails with the reason.
bool EncodePicture(const DecodedBitmap& bitmap, PictureFormat format, Bytes* file,
                   std::string* error);

}  // namespace korvo

// Where korvo thumbnail gets its picture. QKZ pictures and archives go
// through the thumbnail library, read row by row from the file straight
// into the scaled output; any other file goes through the plug-ins that
// take it, decoded whole and averaged down.
#pragma once

#include <string>

#include "tools/korvo/names/name_encoding.h"
#include "tools/host/plugin_set.h"

namespace korvo {

// The thumbnail no larger than size x size as a bitmap to encode, and the
// picture's own size.
struct ThumbnailOutput {
  DecodedBitmap bitmap;
  uint32_t pictureWidth = 0;
  uint32_t pictureHeight = 0;
};

enum class SourceVerdict { kDone, kReported, kNotTaken };

// A QKZ picture (named .qkz in any letter case, with a head that is one) or
// an archive that the extractor's parsers take: kDone, or kReported once
// the one-line failure is out. kNotTaken leaves the file to the plug-ins.
SourceVerdict StreamThumbnail(const std::string& input, const NameEncoding& encoding,
                              uint32_t size, ThumbnailOutput* output);

// The file through the first import filter that takes it, or else an
// archive extractor's first picture entry, averaged down when larger; false
// once the failure is reported.
bool PluginThumbnail(const PluginSet& set, const NameEncoding& encoding, const std::string& input,
                     uint32_t size, ThumbnailOutput* output);

// A bottom-up 24-bit bitmap of width x height, its pixels zeroed.
DecodedBitmap NewRgbBitmap(uint32_t width, uint32_t height);

}  // namespace korvo

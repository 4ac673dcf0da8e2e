// korvo thumbnail of any other file: through the plug-ins that take it,
// decoded whole and averaged down by the thumbnail library's rule.
#pragma once

#include <cstdint>
#include <string>

#include "tools/host/plugin_set.h"
#include "tools/korvo/names/name_encoding.h"
#include "tools/korvo/thumbnails/thumbnail_output.h"

namespace korvo {

// The file through the first import filter that takes it, or else an
// archive extractor's first picture entry, averaged down when larger; false
// once the failure is reported.
bool PluginThumbnail(const PluginSet& set, const NameEncoding& encoding, const std::string& input,
                     uint32_t size, ThumbnailOutput* output);

// A bottom-up 24-bit bitmap of width x height, its pixels zeroed.
DecodedBitmap NewRgbBitmap(uint32_t width, uint32_t height);

}  // namespace korvo

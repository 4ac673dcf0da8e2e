// korvo thumbnail of QKZ pictures and archives: through the thumbnail
// library, read row by row from the file straight into the scaled output.
#pragma once

#include <cstdint>
#include <string>

#include "tools/korvo/names/name_encoding.h"
#include "tools/korvo/thumbnails/thumbnail_output.h"

namespace korvo {

enum class SourceVerdict { kDone, kReported, kNotTaken };

// A QKZ picture (named .qkz in any letter case, with a head that is one) or
// an archive that the extractor's parsers take: kDone, or kReported once
// the one-line failure is out. kNotTaken leaves the file to the plug-ins.
SourceVerdict StreamThumbnail(const std::string& input, const NameEncoding& encoding,
                              uint32_t size, ThumbnailOutput* output);

}  // namespace korvo

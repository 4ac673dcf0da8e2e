// Pictures that go into an archive: QKZ pictures and indexed PNGs, read
// directly (packing needs no plug-in).
#pragma once

#include <string>

#include "tools/korvo/pictures.h"

namespace korvo {

// Reads the picture file at `path`: a PNG by its signature, anything else
// as a QKZ picture (bytes behind its last row are ignored). Fails with the
// reason.
bool ReadPictureForArchive(const std::string& path, IndexedPicture* picture, std::string* error);

bool IsPng(const Bytes& data);

}  // namespace korvo

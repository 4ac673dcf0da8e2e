// Pictures that go into an archive: QKZ pictures and indexed PNGs, read
// directly (packing needs no plug-in), one at a time.
#pragma once

#include <cstdint>
#include <string>

#include "tools/korvo/pictures/indexed_picture.h"

namespace korvo {

// Reads the picture file at `path`: a PNG by its signature, anything else
// as a QKZ picture (bytes behind its last row are never read). A picture
// whose whole QKZ form would take more than `largestPicture` bytes is
// refused from its header, before any row is read. Fails with the reason.
bool ReadPictureForArchive(const std::string& path, uint64_t largestPicture,
                           IndexedPicture* picture, std::string* error);

bool IsPng(const Bytes& data);

}  // namespace korvo

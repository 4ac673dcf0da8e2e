// GetPictureInfo: describing a QKZ picture from a file or from memory.
#pragma once

#include "host-contract/host_contract.h"
#include "host-contract/host_path.h"

namespace korvo {

// Fills all of *info and returns 0, or returns 2 (not a QKZ picture, or no
// record to fill) or 6 (the file's head could not be read again) and leaves
// *info untouched. `len` is only looked at for memory input (see
// MemoryImageHolds); a file is always read from its first byte.
int DescribePicture(const HostPath& buf, LONG_PTR len, unsigned flag, PictureInfo* info);

}  // namespace korvo

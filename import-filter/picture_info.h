// GetPictureInfo: describing a QKZ picture from a file or from memory.
#pragma once

#include "host-contract/failure.h"
#include "host-contract/host_contract.h"
#include "host-contract/host_path.h"

namespace korvo {

// Fills all of *info and returns kNone, or says why the input is not a QKZ
// picture (kNullImage, kHeadTooShort, kNotQkzHead, or OpenQkzFile's reasons)
// or that there is no record to fill (kNullOutput), and leaves *info
// untouched. `len` is only looked at for memory input (see
// MemoryImageHolds); a file is always read from its first byte.
// With memory input `buf` is really the image's address, the same bytes from
// the A and W exports; otherwise the file's name.
template <typename Unit>
Failure DescribePicture(const Unit* buf, LONG_PTR len, unsigned flag, PictureInfo* info);

}  // namespace korvo

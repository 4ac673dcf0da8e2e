// GetPicture: decoding a QKZ picture from a file or from memory into the
// host's BITMAPINFO handle and bottom-up pixel handle.
#pragma once

#include "host-contract/host_contract.h"
#include "host-contract/host_path.h"

namespace korvo {

// On 0 both handles are stored, fully unlocked, through pHBInfo and pHBm.
// Otherwise nothing is stored and every block allocated was freed:
//   file input    2 not a QKZ picture, 4 allocation or lock, 6 open or read;
//   memory input -1 not a QKZ picture (or shorter than a positive `len`),
//                 4 allocation or lock.
// A null pHBInfo or pHBm is refused like unrecognised input, before anything
// is read or allocated.
int DecodePicture(const HostPath& buf, LONG_PTR len, unsigned flag, HLOCAL* pHBInfo,
                  HLOCAL* pHBm);

}  // namespace korvo

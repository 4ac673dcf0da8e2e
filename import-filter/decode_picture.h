// GetPicture: decoding a QKZ picture from a file or from memory into the
// host's BITMAPINFO handle and bottom-up pixel handle.
#pragma once

#include "host-contract/failure.h"
#include "host-contract/host_contract.h"
#include "host-contract/host_path.h"

namespace korvo {

// On kNone both handles are stored, fully unlocked, through pHBInfo and pHBm.
// Otherwise nothing is stored and every block allocated was freed, and the
// reason is one of:
//   file input    OpenQkzFile's (not a QKZ picture), kFileEndsEarly (the
//                 file ends inside its rows), kNoMemory;
//   memory input  ReadMemoryImageGeometry's, kImageShorterThanPicture (a
//                 positive `len` ends inside the rows), kNoMemory.
// A null pHBInfo or pHBm is refused (kNullOutput) like unrecognised input,
// before anything is read or allocated.
// With memory input `buf` is really the image's address, the same bytes from
// the A and W exports; otherwise the file's name.
template <typename Unit>
Failure DecodePicture(const Unit* buf, LONG_PTR len, unsigned flag, HLOCAL* pHBInfo,
                      HLOCAL* pHBm);

// The host's code for a decode's reason: with memory input (bit 0 of `flag`)
// input that is not taken is answered -1, from a file 2.
int DecodeResultCode(Failure failure, unsigned flag);

}  // namespace korvo

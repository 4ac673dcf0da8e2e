// The filter's own reads of a picture file: opened read-only, shared for
// reading only and read forward, the head and then the rows.
#pragma once

#include <cstdint>

#include "host-contract/failure.h"
#include "host-contract/host_path.h"
#include "platform/platform.h"

namespace korvo {

// INVALID_HANDLE_VALUE when the file cannot be opened, including when another
// party holds it open for writing.
HANDLE OpenPictureFile(const HostPath& name);

// Closes a file that was opened; does nothing for INVALID_HANDLE_VALUE.
void ClosePictureFile(HANDLE file);

// One read of `bytes` bytes at `position`; true only when all of them arrived.
bool ReadExactly(HANDLE file, DWORD position, void* buffer, DWORD bytes);

// False only when the file is known to be shorter than `bytes`; a size that
// cannot be taken gives true, and the reads then decide.
bool FileCanHold(HANDLE file, uint64_t bytes);

// Opens the file into *file (left for the caller to close) and reads the
// 1032-byte head into `head` in one read: kNone, kPictureFileCannotOpen, or
// kHeadTooShort when fewer bytes arrive.
Failure OpenAndReadHead(const HostPath& name, HANDLE* file, uint8_t* head);

}  // namespace korvo

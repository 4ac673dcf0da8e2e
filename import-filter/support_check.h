// The support test: is a named file or a memory image a QKZ picture?
#pragma once

#include <cstdint>

#include "host-contract/failure.h"
#include "host-contract/host_path.h"
#include "platform/platform.h"
#include "qkz-picture/qkz_picture.h"

namespace korvo {

// Memory form: the width and height at `head` pass the picture's validity
// test. Only the first 8 bytes are read; null is no picture.
bool IsQkzInMemory(const void* head);

// File form: the name ends in ".QKZ" (else kWrongExtension), the file opens
// (kPictureFileCannotOpen), its first 1032 bytes arrive in one read into
// `head` (kHeadTooShort) and pass the validity test (kNotQkzHead), giving
// *geometry. kNone leaves the file open in *file at its first row, for the
// decode or description that follows the test without opening and reading
// the head again; *file is the caller's to close either way
// (INVALID_HANDLE_VALUE when nothing opened).
Failure OpenQkzFile(const HostPath& name, HANDLE* file, uint8_t* head, QkzGeometry* geometry);

// The same test on its own: the file is closed again.
bool IsQkzFile(const HostPath& name);

// IsSupported: `dw` below 0x10000 is a file handle, which is ignored in favour
// of the name; from 0x10000 on it is the address of the file's first bytes,
// and the name is not looked at. True for a QKZ picture.
bool CheckSupport(const HostPath& filename, ULONG_PTR dw);

}  // namespace korvo

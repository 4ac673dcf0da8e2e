// GetFile's output to a folder: the entry's bytes written into the host's
// folder under the entry's name. Names come from the archive and are
// untrusted; one that could leave the folder or reach a device is refused.
#pragma once

#include "host-contract/host_contract.h"
#include "host-contract/host_path.h"

namespace korvo {

// Whether an entry name may become a file name inside a folder, on every
// platform alike: not empty, not "." or "..", no separator ('\' or '/')
// outside a double-byte character of the system code page, no colon, control
// byte or any of < > " | ? *, and not a device name (CON, PRN, AUX, NUL,
// COM1-COM9, LPT1-LPT9 in any letter case, before the first dot).
bool IsSafeEntryName(LPCSTR name);

// The same rules on the UTF-16 form of a name, which has no lead bytes.
bool IsSafeEntryNameW(LPCWSTR name);

// Writes the `size` bytes at `bytes` to `folder`, one separator and `name`,
// through a new file of a temporary name in that folder that is then renamed
// over any file of the entry's name. 0; 2 for an unsafe name (nothing is
// created); 4 when the paths cannot be built; 6 when the folder does not
// exist, a path is too long, or the create, a write or the rename fails.
// On any failure no file is left behind and an earlier file of that name is
// unchanged.
int WriteEntryIntoFolder(const HostPath& folder, LPCSTR name, const uint8_t* bytes,
                         uint32_t size);

}  // namespace korvo

// The named-entry archive: an entry count and a chain of name records; each
// entry a stored header, optionally its own palette, and its rows. The entry
// named "Palette" carries the palette the other entries share.
#pragma once

#include "host-contract/host_contract.h"

namespace korvo {

// Reads and checks the whole directory of the archive at `path` and, on 0,
// installs it in the directory cache together with the archive's shared
// palette. 2: not this layout or inconsistent; 4: no memory; 6: the file
// cannot be opened or read. On any code but 0 the cache and the shared palette
// are as they were.
int ParseNamedEntryArchive(LPCSTR path) noexcept;

// Rebuilds the entry at `position` into a complete QKZ picture in a new
// movable block, stored fully unlocked in *slot on 0 only. -1: no entry there;
// otherwise the parse's code, 4 or 6. The progress callback is accepted and
// never called.
int ExtractNamedEntry(LPCSTR path, ULONG_PTR position, HGLOBAL* slot,
                      ProgressCallback prgressCallback, LONG_PTR lData) noexcept;

}  // namespace korvo

// The offset-table archive: an entry count, a table of entry positions, and
// each entry a complete QKZ picture stored as is.
#pragma once

#include "archive-extractor/directory_lock.h"
#include "host-contract/host_contract.h"
#include "host-contract/host_path.h"

namespace korvo {

// Reads and checks the whole directory of the archive at `path` and, on 0,
// installs it in the directory cache. 2: not this layout or inconsistent;
// 4: no memory; 6: the file cannot be opened or read. On any code but 0 the
// cache is as it was.
int ParseOffsetTableArchive(const HostPath& path) noexcept REQUIRES(directoryLock);

// Copies the entry at `position` into a new movable block, stored fully
// unlocked in *slot on 0 only, with a copy of its record in *entry. -1: no entry there; otherwise the parse's code,
// 4 or 6. The progress callback is accepted and never called.
int ExtractOffsetTableEntry(const HostPath& path, ULONG_PTR position, HGLOBAL* slot,
                            ProgressCallback prgressCallback, LONG_PTR lData,
                            fileInfo* entry = nullptr) noexcept;

}  // namespace korvo

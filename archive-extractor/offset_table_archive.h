// The offset-table archive: an entry count, a table of entry positions, and
// each entry a complete QKZ picture stored as is.
#pragma once

#include "archive-extractor/directory_array.h"
#include "host-contract/failure.h"
#include "host-contract/host_contract.h"
#include "host-contract/host_path.h"

namespace korvo {

// Reads and checks the whole directory of the archive open in `reader` into
// *directory (an ArchiveParser). Otherwise why it is not this layout or is
// inconsistent, or why the file could not be read or no memory had.
Failure ParseOffsetTableArchive(ArchiveReader* reader, ParsedDirectory* directory) noexcept;

// Copies the entry at `position` into a new movable block, stored fully
// unlocked in *slot on kNone only, with a copy of its record in *entry.
// kNoEntryAtPosition; kEntryChangedOnDisk when the entry is no longer the one
// listed; otherwise the parse's reason, kNoMemory or the
// read's reason. The progress callback is accepted and never called.
Failure ExtractOffsetTableEntry(const HostPath& path, ULONG_PTR position, HGLOBAL* slot,
                                ProgressCallback prgressCallback, LONG_PTR lData,
                                fileInfo* entry = nullptr) noexcept;

}  // namespace korvo

// The offset-table archive: an entry count, a table of entry positions, and
// each entry a complete QKZ picture stored as is.
#pragma once

#include "archive-extractor/directory_array.h"
#include "archive-extractor/entry_output.h"
#include "host-contract/failure.h"
#include "host-contract/host_contract.h"
#include "host-contract/host_path.h"

namespace korvo {

// Reads and checks the whole directory of the archive open in `reader` into
// *directory (an ArchiveParser). Otherwise why it is not this layout or is
// inconsistent, or why the file could not be read or no memory had.
Failure ParseOffsetTableArchive(ArchiveReader* reader, ParsedDirectory* directory) noexcept;

// The entry at `position`, handed out as stored (see LocateOperation).
// kNotThisLayout for a record too small to be this layout's.
Failure LocateOffsetTableEntry(const HostPath& path, ULONG_PTR position, ArchiveReader* reader,
                               EntrySource* source) noexcept;

}  // namespace korvo

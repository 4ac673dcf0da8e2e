// What the extractor's exports do, over a table of layouts: the exports pass
// kArchiveLayouts, tests a table of their own. Each is one template over the
// character of the host's text, char for the A exports and WCHAR for the W
// ones, whose records are RecordFor<Unit>; the order of the checks and the
// reasons are shared. They answer reasons; the exports turn them into codes.
#pragma once

#include "archive-extractor/layouts.h"
#include "host-contract/failure.h"
#include "host-contract/host_contract.h"

namespace korvo {

// Keeps a parameter out of template argument deduction, so that a null
// name takes the type the archive's path gives.
template <typename T>
struct Same {
  typedef T type;
};

// kNone when a layout recognises the file at `filename`, else the last
// layout's reason.
template <typename Unit>
Failure ArchiveIsSupported(const LayoutTable& layouts, const Unit* filename);

// The whole directory as a handle of records ending in a zero record, stored
// in *lphInf on kNone only. Refused: memory input (kArchiveInMemory), no place
// to store it (kNullOutput), a file of no layout (the parse's reason).
template <typename Unit>
Outcome ArchiveGetArchiveInfo(const LayoutTable& layouts, const Unit* buf, unsigned flag,
                              HGLOBAL* lphInf);

// The record of the entry named `filename` (case-insensitively with bit 0x80
// of `flag`), copied to *lpInfo on kNone only; kNoEntryNamed when there is
// none. Refused: memory input, a null name (kNoEntryNamed) or record
// (kNullOutput), a file of no layout.
template <typename Unit>
Outcome ArchiveGetFileInfo(const LayoutTable& layouts, const Unit* buf,
                           const typename Same<Unit>::type* filename, unsigned flag,
                           typename RecordFor<Unit>::type* lpInfo);

// The entry at position `len`. With kFlagMemoryOutput `dest` is really the
// host's handle slot (an HGLOBAL*), stored on kNone only. Without it `dest`
// names a folder, and the entry is written into it under its name (see
// WriteEntryIntoFolder). Refused: memory input, a null `dest` (kNullOutput),
// a file of no layout.
template <typename Unit>
Outcome ArchiveGetFile(const LayoutTable& layouts, const Unit* src, LONG_PTR len,
                       typename Same<Unit>::type* dest, unsigned flag,
                       ProgressCallback prgressCallback, LONG_PTR lData);

}  // namespace korvo

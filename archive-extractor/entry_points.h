// What the extractor's exports do, over a table of layouts: the exports pass
// kArchiveLayouts, tests a table of their own.
#pragma once

#include "archive-extractor/layouts.h"
#include "host-contract/host_contract.h"

namespace korvo {

// 1 when a layout recognises the file at `filename`, else 0.
int ArchiveIsSupported(const LayoutTable& layouts, LPCSTR filename);

// The whole directory as a handle of fileInfo records ending in a zero record,
// stored in *lphInf on 0 only. -1 for memory input or a file of no layout.
int ArchiveGetArchiveInfo(const LayoutTable& layouts, LPCSTR buf, unsigned flag,
                          HGLOBAL* lphInf);

// The record of the entry named `filename` (case-insensitively with bit 0x80
// of `flag`), copied to *lpInfo on 0 only. -1 for memory input, a file of no
// layout or no such entry.
int ArchiveGetFileInfo(const LayoutTable& layouts, LPCSTR buf, LPCSTR filename, unsigned flag,
                       fileInfo* lpInfo);

// The entry at position `len` as a handle stored in *dest on 0 only. 2 for
// memory input, output to a file or a file of no layout.
int ArchiveGetFile(const LayoutTable& layouts, LPCSTR src, LONG_PTR len, HGLOBAL* dest,
                   unsigned flag, ProgressCallback prgressCallback, LONG_PTR lData);

}  // namespace korvo

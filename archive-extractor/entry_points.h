// What the extractor's exports do, over a table of layouts: the exports pass
// kArchiveLayouts, tests a table of their own. Paths arrive as the host gave
// them, 8-bit or UTF-16 (see HostPath); the W exports differ from the A ones
// only in the records and names they take and hand out. Here the reasons of
// the layouts and the directory cache become the host's result codes.
#pragma once

#include "archive-extractor/layouts.h"
#include "host-contract/host_contract.h"
#include "host-contract/host_path.h"

namespace korvo {

// 1 when a layout recognises the file at `filename`, else 0.
int ArchiveIsSupported(const LayoutTable& layouts, const HostPath& filename);

// The whole directory as a handle of fileInfo records (fileInfoW with `wide`)
// ending in a zero record, stored in *lphInf on 0 only. -1 for memory input,
// no place to store it, or a file of no layout.
int ArchiveGetArchiveInfo(const LayoutTable& layouts, const HostPath& buf, unsigned flag,
                          HGLOBAL* lphInf, bool wide = false);

// The record of the entry named `filename` (case-insensitively with bit 0x80
// of `flag`), copied to *lpInfo on 0 only. -1 for memory input, a null name
// or record, a file of no layout or no such entry.
int ArchiveGetFileInfo(const LayoutTable& layouts, const HostPath& buf, LPCSTR filename,
                       unsigned flag, fileInfo* lpInfo);
int ArchiveGetFileInfoW(const LayoutTable& layouts, const HostPath& buf, LPCWSTR filename,
                        unsigned flag, fileInfoW* lpInfo);

// The entry at position `len`. With bit 0x100 of `flag` the output goes to
// memory: `dest` holds the address of the host's handle slot, stored on 0
// only. Without it `dest` names a folder, and the entry is written into it
// under its name (see WriteEntryIntoFolder). 2 for memory input, a null
// `dest`, a file of no layout or a name unsafe for a folder.
int ArchiveGetFile(const LayoutTable& layouts, const HostPath& src, LONG_PTR len,
                   const HostPath& dest, unsigned flag, ProgressCallback prgressCallback,
                   LONG_PTR lData);

}  // namespace korvo

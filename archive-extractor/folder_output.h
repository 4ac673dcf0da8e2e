// GetFile's output to a folder: the entry's bytes written into the host's
// folder under the entry's name. Names come from the archive and are
// untrusted; one that could leave the folder or reach a device is refused.
#pragma once

#include "archive-extractor/entry_output.h"
#include "host-contract/host_contract.h"

namespace korvo {

// Whether an entry name may become a file name inside a folder, on every
// platform alike: not empty, not "." or "..", no separator ('\' or '/')
// outside a double-byte character of the system code page (8-bit names), no
// colon, control byte or any of < > " | ? *, and no device name before the
// first dot in any letter case: CON, PRN, AUX, NUL, CONIN$, CONOUT$, and COM
// or LPT followed by a digit 0-9 or a superscript one, two or three (as
// UTF-16 U+00B9, U+00B2, U+00B3; in 8-bit names also their bytes in the
// Latin code pages and their UTF-8 sequences).
template <typename Unit>
bool IsSafeEntryName(const Unit* name);

// Writes the entry of `source` into `folder` under its listed name (in
// UTF-16 for a UTF-16 folder, turned from the system code page as the W
// listing shows it), through a new file of a temporary name in that folder
// that is then renamed over any file of the entry's name and carries the
// entry's timestamp as its last-write time. The bytes go in pieces of at
// most a few MiB, however large the entry. kNone; kUnsafeEntryName (nothing
// is created), kNoFolderNamed, kFolderEndsInsideCharacter (an 8-bit folder
// whose last byte leads a double-byte character: the separator would become
// its trail byte), kNoMemory, kCannotCreateOutput, kCannotWriteOutput,
// kCannotRenameOutput or a read's reason. On any failure no file is left
// behind and an earlier file of that name is unchanged.
template <typename Unit>
Failure WriteEntryIntoFolder(const Unit* folder, ArchiveReader* reader, const EntrySource& source);

}  // namespace korvo

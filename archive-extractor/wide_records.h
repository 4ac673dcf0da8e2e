// The UTF-16 form of directory records, for the W exports: built from a
// directory entry when handed out, the name turned from the system code page.
#pragma once

#include "archive-extractor/directory_array.h"
#include "host-contract/host_contract.h"

namespace korvo {

constexpr int kNameUnits = sizeof(fileInfoW::filename) / sizeof(WCHAR);

// `name` in UTF-16 with its NUL, cut to fit the field, a ".QKZ" at its end
// turned apart from the rest; an empty name when the system cannot convert
// it. A byte of the 8-bit name yields at most one unit,
// so a name that fits the 8-bit field fits this one whole.
void WideEntryName(LPCSTR name, WCHAR (&wide)[kNameUnits]);

// The listed name of entry `index` in UTF-16 (WideEntryName).
void FormatEntryName(const DirectoryArray& array, uint32_t index, WCHAR (&name)[kNameUnits]);

// The UTF-16 record a host sees for entry `index` of `array`: the fields of
// its 8-bit record, an empty path and the name in UTF-16.
void BuildDirectoryRecord(const DirectoryArray& array, uint32_t index, fileInfoW* wide);

}  // namespace korvo

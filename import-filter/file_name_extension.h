// The extension of a file name as the support test takes it.
#pragma once

#include "platform/platform.h"

namespace korvo {

// Room for the longest extension taken (255 bytes) and its NUL.
constexpr int kExtensionCapacity = 256;

// Copies the extension of `name` into `extension`: from the last dot of the
// last path component to the end of the name, at most 255 bytes; empty when
// the last component has no dot. A leading drive ("C:") is skipped, '\' and
// '/' both separate components, and a lead byte of a double-byte character
// in the system code page takes the next byte with it, so that a trail byte
// is never taken for a separator or a dot.
void FileNameExtension(LPCSTR name, char (&extension)[kExtensionCapacity]);

// The support test's name check: the extension is ".QKZ", letter case counting.
bool HasQkzExtension(LPCSTR name);

// The same test on a UTF-16 name, which has no lead bytes: the text behind
// the last dot of the last component is ".QKZ" exactly.
bool HasQkzExtensionW(LPCWSTR name);

}  // namespace korvo

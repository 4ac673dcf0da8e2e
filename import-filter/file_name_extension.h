// The support test's name check: the extension of a file name, 8-bit in the
// system code page or UTF-16, is ".QKZ", letter case counting.
#pragma once

#include "platform/platform.h"

namespace korvo {

// The extension runs from the last dot of the last path component to the end
// of the name; a name whose last component has no dot has none. A leading
// drive ("C:") is skipped, '\' and '/' both separate components, and in an
// 8-bit name a lead byte of a double-byte character in the system code page
// takes the next byte with it, so that a trail byte is never taken for a
// separator or a dot. The comparison is byte for byte (unit for unit).
template <typename Unit>
bool HasQkzExtension(const Unit* name);

}  // namespace korvo

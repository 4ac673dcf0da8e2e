// A file name as a host hands it over: 8-bit text in the system code page
// from the A exports, UTF-16 from the W exports. The plug-ins carry it as it
// came and open it with the matching file function, so every name the file
// system holds opens through the W exports.
#pragma once

#include <cstddef>

#include "platform/platform.h"

namespace korvo {

// At most one of the two is set; neither for a null name. The converting
// constructors let an A or W export pass its parameter as it is.
struct HostPath {
  LPCSTR narrow = nullptr;
  LPCWSTR wide = nullptr;

  HostPath(LPCSTR name) : narrow(name) {}
  HostPath(LPCWSTR name) : wide(name) {}
  HostPath(std::nullptr_t) {}
};

// Whether `unit` is the lead byte of a double-byte character in the system
// code page, which takes the next byte with it (so a trail byte is never
// taken for a separator or a dot); UTF-16 has none.
inline bool IsLeadUnit(char unit) { return platform::IsDBCSLeadByte(static_cast<BYTE>(unit)); }
inline bool IsLeadUnit(WCHAR) { return false; }

inline bool IsNullPath(const HostPath& path) {
  return path.narrow == nullptr && path.wide == nullptr;
}

// Opens an existing file for reading, shared for reading only, with the A or
// W function that fits the name. INVALID_HANDLE_VALUE when it cannot be.
HANDLE OpenHostFile(const HostPath& path, DWORD flagsAndAttributes);

// A file's last-write time as Unix seconds, as a record's `timestamp` holds
// it (0 for a time before 1970; the largest value the field holds for a time
// beyond it).
ULONG_PTR UnixSeconds(const FILETIME& lastWrite);

// The file time of a record's `timestamp`, the inverse of UnixSeconds.
FILETIME FileTimeOf(ULONG_PTR unixSeconds);

}  // namespace korvo

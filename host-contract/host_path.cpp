#include "host-contract/host_path.h"

#include <cstdint>

namespace korvo {

HANDLE OpenHostFile(const HostPath& path, DWORD flagsAndAttributes) {
  if (path.wide != nullptr)
    return platform::CreateFileW(path.wide, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                 flagsAndAttributes);
  if (path.narrow != nullptr)
    return platform::CreateFileA(path.narrow, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                 flagsAndAttributes);
  return INVALID_HANDLE_VALUE;
}

namespace {

constexpr uint64_t kIntervalsPerSecond = 10000000;
constexpr uint64_t kIntervalsTo1970 = 116444736000000000;  // from 1601-01-01

}  // namespace

ULONG_PTR UnixSeconds(const FILETIME& lastWrite) {
  uint64_t intervals = uint64_t{lastWrite.dwHighDateTime} << 32 | lastWrite.dwLowDateTime;
  if (intervals < kIntervalsTo1970) return 0;
  uint64_t seconds = (intervals - kIntervalsTo1970) / kIntervalsPerSecond;
  if (seconds > UINTPTR_MAX) return static_cast<ULONG_PTR>(UINTPTR_MAX);
  return static_cast<ULONG_PTR>(seconds);
}

FILETIME FileTimeOf(ULONG_PTR unixSeconds) {
  const uint64_t intervals = uint64_t{unixSeconds} * kIntervalsPerSecond + kIntervalsTo1970;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(intervals);
  time.dwHighDateTime = static_cast<DWORD>(intervals >> 32);
  return time;
}

}  // namespace korvo

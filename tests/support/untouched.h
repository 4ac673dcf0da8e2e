// What a host's output locations hold before a call, so that a test or a
// fuzz target sees whether a refused call stored anything in them.
// Header-only: the fuzz targets share it without linking the test support.
#pragma once

#include <cstring>

#include "platform/platform.h"

// A handle slot before the call; never a handle a plug-in hands out.
inline HGLOBAL const kUntouched = reinterpret_cast<HGLOBAL>(0x5A5A);

// A record (fileInfo, PictureInfo) before the call: every byte 0xCC.
constexpr unsigned char kUntouchedByte = 0xCC;

template <typename Record>
Record Untouched() {
  Record record;
  std::memset(&record, kUntouchedByte, sizeof record);
  return record;
}

template <typename Record>
bool IsUntouched(const Record& record) {
  const Record untouched = Untouched<Record>();
  return std::memcmp(&record, &untouched, sizeof record) == 0;
}

// What every fuzz target shares: the platform hooks (a file served from
// memory, live-block counts), the check that stops a run on a wrong answer,
// and a host's view of the blocks the plug-ins hand over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/little_endian.h"
#include "platform/platform.h"
#include "platform/test_hooks.h"

namespace fuzz {

using Bytes = std::vector<uint8_t>;

platform::PlatformHooks& Hooks();

// From now on CreateFileA of exactly `path` reads these bytes, with file
// semantics, until the next call. The bytes must outlive the calls.
void ServeFile(const char* path, const uint8_t* data, size_t size);

// Reports a wrong answer and aborts, which the fuzzer records as a crash.
[[noreturn]] void Fail(const char* file, int line, const char* what);

#define FUZZ_CHECK(condition)                                        \
  do {                                                               \
    if (!(condition)) ::fuzz::Fail(__FILE__, __LINE__, #condition); \
  } while (0)

// A host's view of a handed-over block.
unsigned LockCount(HGLOBAL block);
Bytes BlockBytes(HGLOBAL block);  // locked, copied and unlocked again

using korvo::ReadLe32;

}  // namespace fuzz

// A host's side of the handles a plug-in hands out: lock counts, contents and
// freeing, through the same block operations the host would call.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "tests/support/test_files.h"

// The lock count a host sees (GlobalFlags' low byte).
unsigned LockCount(HLOCAL block);

// The block's first `size` bytes, read under a lock the host takes and drops.
Bytes BlockBytes(HLOCAL block, size_t size);

// Frees a block the host received; null does nothing.
void FreeBlock(HLOCAL block);

// Blocks alive and files open in the process, as the instrumented platform
// layers of the test program and of the plug-ins count them.
long LiveBlocks();
long OpenFiles();

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

// The block's size as a host takes it (GlobalSize).
size_t HostBlockSize(HLOCAL block);

// Frees a block the host received; null does nothing.
void FreeBlock(HLOCAL block);

// Live blocks in the process (POSIX hooks), or 0 where they are not counted.
long LiveBlocks();

#include "tests/support/host_blocks.h"

#include <cstring>

#include <gtest/gtest.h>

#include "tests/support/platform_hooks.h"

unsigned LockCount(HLOCAL block) { return platform::GlobalFlags(block) & GMEM_LOCKCOUNT; }

Bytes BlockBytes(HLOCAL block, size_t size) {
  const void* data = platform::GlobalLock(block);
  if (data == nullptr) {
    ADD_FAILURE() << "the host cannot lock the block";
    return Bytes();
  }
  Bytes bytes(size);
  memcpy(bytes.data(), data, size);
  platform::GlobalUnlock(block);
  return bytes;
}

void FreeBlock(HLOCAL block) {
  if (block != nullptr) {
    EXPECT_EQ(platform::GlobalFree(block), nullptr);
  }
}

long LiveBlocks() { return TestHooks().liveBlocks; }

long OpenFiles() { return TestHooks().openFiles; }

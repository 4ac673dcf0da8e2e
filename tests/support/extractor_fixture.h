// A test of the extractor's logic starts from a freshly loaded directory
// cache and ends with no block of its own left alive.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "archive-extractor/directory_cache.h"
#include "tests/support/platform_hooks.h"
#include "tests/support/test_layouts.h"

namespace extractor_test {

class ExtractorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Reload();
    ResetTestLayoutCounts();
    platform::ResetPlatformFaults(TestHooks());
    liveBlocks_ = TestHooks().liveBlocks.load();
  }

  void TearDown() override {
    // Unloading frees the cached array, so anything still alive leaked.
    Reload();
    platform::ResetPlatformFaults(TestHooks());
    EXPECT_EQ(TestHooks().liveBlocks.load(), liveBlocks_) << "blocks leaked";
  }

  // The library's unload and load: an empty cache holding no path.
  static void Reload() {
    korvo::UnloadDirectoryCache();
    korvo::LoadDirectoryCache();
  }

 private:
  long liveBlocks_ = 0;
};

// A parse as the extractor runs one: with the directory lock held, its
// directory installed on success.
inline korvo::Failure ParseWith(korvo::ArchiveParser parser, const korvo::HostPath& path) {
  korvo::ScopedDirectoryLock lock;
  return korvo::RecognizeArchive(path, &parser, 1, nullptr);
}

inline Bytes BlockBytes(HGLOBAL block) {
  size_t size = platform::GlobalSize(block);
  auto* data = static_cast<const uint8_t*>(platform::GlobalLock(block));
  Bytes bytes(data, data + size);
  platform::GlobalUnlock(block);
  return bytes;
}

// The codes the exports give for the entry points' outcomes: a refusal is
// -1 from the listing and the lookup, 2 from GetFile.
inline int ListingCode(const korvo::Outcome& outcome) {
  return korvo::ResultCodeOf(outcome, korvo::kResultNotHandled);
}
inline int SupportedCode(korvo::Failure failure) { return failure == korvo::Failure::kNone ? 1 : 0; }
inline int GetFileCode(const korvo::Outcome& outcome) {
  return korvo::ResultCodeOf(outcome, korvo::kResultBadFormat);
}

// GetFile's `dest` when the output goes to memory: the handle slot's address.
inline LPSTR SlotAsDest(HGLOBAL* slot) { return reinterpret_cast<LPSTR>(slot); }

inline unsigned LockCount(HGLOBAL block) { return platform::GlobalFlags(block) & GMEM_LOCKCOUNT; }

// The record a test archive's parser writes for entry `index`.
inline korvo::fileInfo ExpectedRecord(const std::vector<TestEntry>& entries, size_t index,
                                      bool withPalette) {
  korvo::fileInfo record;
  korvo::FillDirectoryRecord(&record, TestEntryPosition(entries, index, withPalette),
                             entries[index].size, entries[index].size,
                             entries[index].name.c_str());
  return record;
}

inline bool SameRecord(const korvo::fileInfo& a, const korvo::fileInfo& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace extractor_test

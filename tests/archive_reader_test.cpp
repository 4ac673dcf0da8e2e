// The parsers' positional reader: windows must deliver exactly what direct
// reads would, including failing with 6 wherever a direct read falls short.
#include <gtest/gtest.h>

#include <cstdio>

#include "archive-extractor/archive_reader.h"
#include "archive-extractor/directory_array.h"
#include "tests/support/platform_hooks.h"
#include "tests/support/test_files.h"

namespace {

Bytes Pattern(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + i / 251);
  return bytes;
}

TEST(ArchiveReaderTest, ServesFieldsAnywhereAndFailsWhereTheFileEnds) {
  const size_t size = 3 * korvo::kReaderWindowBytes + 100;
  Bytes file = Pattern(size);
  std::string path = WriteScratchFile("reader.bin", file);
  korvo::ArchiveReader reader;
  ASSERT_EQ(korvo::OpenArchive(path.c_str(), &reader), 0);
  EXPECT_EQ(reader.fileSize, size);
  struct Case {
    uint32_t position, count;
    int result;
  } cases[] = {
      {0, 4, 0},
      {4, 1032, 0},
      {korvo::kReaderWindowBytes - 2, 8, 0},          // across a window's end
      {2 * korvo::kReaderWindowBytes + 50, 9, 0},     // the other region
      {10, 4, 0},                                      // back to the first
      {static_cast<uint32_t>(size - 4), 4, 0},
      {static_cast<uint32_t>(size - 3), 4, 6},         // the file ends inside
      {static_cast<uint32_t>(size), 1, 6},
      {0, korvo::kReaderWindowBytes + 1, 0},           // larger than a window
      {static_cast<uint32_t>(size - 8000), 9000, 6},
      {korvo::kUnreachablePosition, 1, 6},
      {0xFFFFFFF0u, 4, 6},
  };
  for (const Case& c : cases) {
    Bytes out(c.count, 0xEE);
    EXPECT_EQ(korvo::ReadArchiveAt(&reader, c.position, c.count, out.data()), c.result)
        << c.position << "+" << c.count;
    if (c.result == 0) {
      EXPECT_TRUE(std::equal(out.begin(), out.end(), file.begin() + c.position))
          << c.position << "+" << c.count;
    }
  }
  // A prefix read fails exactly where reading all `available` bytes would.
  struct PrefixCase {
    uint32_t position, available;
    int result;
  } prefixCases[] = {
      {static_cast<uint32_t>(size - 1032), 1032, 0},
      {static_cast<uint32_t>(size - 1031), 1032, 6},
      {0, korvo::kReaderWindowBytes + 1, 6},
  };
  for (const PrefixCase& c : prefixCases) {
    uint8_t out[8] = {};
    EXPECT_EQ(korvo::ReadArchivePrefixAt(&reader, c.position, c.available, sizeof out, out),
              c.result)
        << c.position << "+" << c.available;
    if (c.result == 0) {
      EXPECT_TRUE(std::equal(out, out + 8, file.begin() + c.position));
    }
  }
  // A view holds what the file has, fewer bytes only where it ends.
  struct ViewCase {
    uint32_t position, wanted, available;
    int result;
  } viewCases[] = {
      {100, 32, 32, 0},
      {static_cast<uint32_t>(size - 3), 32, 3, 0},
      {static_cast<uint32_t>(size), 32, 0, 0},
      {korvo::kUnreachablePosition, 32, 0, 6},
  };
  for (const ViewCase& c : viewCases) {
    const uint8_t* bytes = nullptr;
    uint32_t available = 99;
    EXPECT_EQ(korvo::ViewArchiveAt(&reader, c.position, c.wanted, &bytes, &available), c.result);
    EXPECT_EQ(available, c.available) << c.position;
    if (c.available > 0) {
      EXPECT_TRUE(std::equal(bytes, bytes + c.available, file.begin() + c.position));
    }
  }
  korvo::CloseArchive(&reader);
  EXPECT_EQ(korvo::OpenArchive((ScratchDirectory() + "missing.bin").c_str(), &reader), 6);
  korvo::CloseArchive(&reader);
}

#if KORVO_HAS_PLATFORM_HOOKS
TEST(DirectoryArrayGrowthTest, GrowsAsEntriesPassAndKeepsThemOnFailure) {
  auto& hooks = TestHooks();
  long live = hooks.liveBlocks;
  korvo::DirectoryArray array = korvo::kEmptyDirectoryArray;
  // Entries named by position and by stored name, the block shared by both.
  auto append = [&](uint32_t i) {
    return i % 2 ? korvo::AppendDirectoryEntry(&array, i, i, i, korvo::EntryNaming::kAsStored,
                                               "x", 1)
                 : korvo::AppendDirectoryEntry(&array, i, i, i, korvo::EntryNaming::kByPosition,
                                               nullptr, 0);
  };
  for (uint32_t i = 0; i < 100; ++i) ASSERT_TRUE(append(i));
  EXPECT_EQ(array.count, 100u);
  const uint32_t needed = 100 * sizeof(korvo::DirectoryEntry) + 50 * 2;
  EXPECT_LT(array.blockBytes, 2 * needed);
  // Failing allocations and locks of a larger block leave the array as it was.
  for (int op : {platform::kOpAlloc, platform::kOpLock}) {
    while ((array.count + 1) * sizeof(korvo::DirectoryEntry) + array.nameBytes + 2 <=
           array.blockBytes)
      ASSERT_TRUE(append(array.count));
    const korvo::DirectoryArray before = array;
    platform::ResetPlatformFaults(hooks);
    hooks.failAt[op] = 1;
    EXPECT_FALSE(append(array.count)) << "growth fails cleanly";
    platform::ResetPlatformFaults(hooks);
    EXPECT_EQ(array.block, before.block);
    EXPECT_EQ(array.count, before.count);
    EXPECT_EQ(array.nameBytes, before.nameBytes);
  }
  for (uint32_t i = 0; i < array.count; ++i) {
    EXPECT_EQ(array.entries[i].position, i);
    char name[korvo::kEntryNameBytes];
    char expected[16];
    snprintf(expected, sizeof expected, i % 2 ? "x" : "%08X.QKZ", i);
    korvo::FormatEntryName(array, i, name);
    ASSERT_STREQ(name, expected) << i;
  }
  korvo::FreeDirectoryArray(&array);
  EXPECT_EQ(array.block, nullptr);
  EXPECT_EQ(hooks.liveBlocks, live);
}
#endif

}  // namespace

// The parsers' positional reader: windows must deliver exactly what direct
// reads would, including failing with 6, and for the same reason, wherever a
// direct read falls short.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <utility>
#include <vector>

#include "archive-extractor/archive_reader.h"
#include "archive-extractor/directory_array.h"
#include "tests/support/failure_print.h"
#include "tests/support/platform_hooks.h"
#include "tests/support/host_blocks.h"
#include "tests/support/test_pictures.h"
#include "tests/support/test_files.h"

namespace {

Bytes Pattern(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + i / 251);
  return bytes;
}

using korvo::Failure;

TEST(ArchiveReaderTest, ServesFieldsAnywhereAndFailsWhereTheFileEnds) {
  const size_t size = 3 * korvo::kReaderWindowBytes + 100;
  Bytes file = Pattern(size);
  std::string path = WriteScratchFile("reader.bin", file);
  std::vector<korvo::ReaderWindow> windows(korvo::kReaderWindowCount);
  korvo::ArchiveReader reader;
  ASSERT_EQ(korvo::OpenArchiveReader(path.c_str(), windows.data(), &reader), Failure::kNone);
  EXPECT_EQ(reader.fileSize, size);
  struct Case {
    uint32_t position, count;
    int result;
    Failure reason;
  } cases[] = {
      {0, 4, 0, Failure::kNone},
      {4, 1032, 0, Failure::kNone},
      {korvo::kReaderWindowBytes - 2, 8, 0, Failure::kNone},       // across a window's end
      {2 * korvo::kReaderWindowBytes + 50, 9, 0, Failure::kNone},  // the other region, far
      {2 * korvo::kReaderWindowBytes + 70, 9, 0, Failure::kNone},  // near the far field
      {10, 4, 0, Failure::kNone},                                   // back to the first
      {static_cast<uint32_t>(size - 4), 4, 0, Failure::kNone},
      {static_cast<uint32_t>(size - 3), 4, 6, Failure::kFileEndsEarly},  // the file ends inside
      {static_cast<uint32_t>(size), 1, 6, Failure::kFileEndsEarly},
      {0, korvo::kReaderWindowBytes + 1, 0, Failure::kNone},        // larger than a window
      {static_cast<uint32_t>(size - 8000), 9000, 6, Failure::kFileEndsEarly},
      {korvo::kUnreachablePosition, 1, 6, Failure::kUnreachablePosition},
      {0xFFFFFFF0u, 4, 6, Failure::kUnreachablePosition},
      {korvo::kUnreachablePosition, korvo::kReaderWindowBytes + 1, 6,
       Failure::kUnreachablePosition},
  };
  for (const Case& c : cases) {
    Bytes out(c.count, 0xEE);
    const Failure reason = korvo::ReadArchiveAt(&reader, c.position, c.count, out.data());
    EXPECT_EQ(reason, c.reason) << c.position << "+" << c.count;
    EXPECT_EQ(korvo::ResultCodeOf(reason), c.result) << c.position << "+" << c.count;
    if (c.result == 0) {
      EXPECT_TRUE(std::equal(out.begin(), out.end(), file.begin() + c.position))
          << c.position << "+" << c.count;
    }
  }
  // A view shows what the file has, fewer bytes only where it ends.
  struct ViewCase {
    uint32_t position, wanted, available;
    int result;
    Failure reason;
  } viewCases[] = {
      {100, 32, 32, 0, Failure::kNone},
      {static_cast<uint32_t>(size - 1032), 1032, 1032, 0, Failure::kNone},
      {static_cast<uint32_t>(size - 1031), 1032, 1031, 6, Failure::kFileEndsEarly},
      {static_cast<uint32_t>(size - 3), 32, 3, 6, Failure::kFileEndsEarly},
      {static_cast<uint32_t>(size), 32, 0, 6, Failure::kFileEndsEarly},
      {korvo::kUnreachablePosition, 32, 0, 6, Failure::kUnreachablePosition},
      {0, korvo::kReaderWindowBytes + 1, 0, 6, Failure::kFieldLargerThanWindow},
  };
  for (const ViewCase& c : viewCases) {
    korvo::ReaderView view;
    const Failure reason = korvo::View(&reader, c.position, c.wanted, &view);
    EXPECT_EQ(reason, c.reason) << c.position;
    EXPECT_EQ(korvo::ResultCodeOf(reason), c.result) << c.position;
    EXPECT_EQ(view.available, c.available) << c.position;
    if (c.available > 0) {
      EXPECT_TRUE(std::equal(view.bytes, view.bytes + c.available, file.begin() + c.position));
    }
  }
  korvo::CloseArchiveReader(&reader);
  const Failure missing =
      korvo::OpenArchiveReader((ScratchDirectory() + "missing.bin").c_str(), windows.data(), &reader);
  EXPECT_EQ(missing, Failure::kCannotOpen);
  EXPECT_EQ(korvo::ResultCodeOf(missing), 6);
  korvo::CloseArchiveReader(&reader);
}

// Fields far apart are read one by one, fields close together through
// windows; either way each view shows the file's bytes. A read the system
// reports as failed delivers nothing, whatever it put in the buffer.
TEST(ArchiveReaderTest, ReadsFarFieldsAloneAndNearOnesThroughWindows) {
  const uint32_t stride = korvo::kReaderWindowBytes + 4000;
  const size_t size = 8 * size_t{stride};
  Bytes file = Pattern(size);
  std::string path = WriteScratchFile("far-fields.bin", file);
  std::vector<korvo::ReaderWindow> windows(korvo::kReaderWindowCount);
  korvo::ArchiveReader reader;
  ASSERT_EQ(korvo::OpenArchiveReader(path.c_str(), windows.data(), &reader), Failure::kNone);
  platform::ResetPlatformFaults(TestHooks());
  // A table near the start, read in step with heads a stride apart; then
  // fields close together.
  std::vector<std::pair<uint32_t, uint32_t>> fields;
  for (uint32_t k = 0; k < 8; ++k) {
    fields.push_back({4 * k, 4});
    fields.push_back({k * stride + 20, 1032});
  }
  const size_t farFields = fields.size();
  for (uint32_t i = 0; i < 100; ++i) fields.push_back({5 * stride + 100 + 500 * i, 9});
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i == farFields && kHasFullHooks) {
      // One window for the table and the first head, one read per other head.
      EXPECT_LE(TestHooks().calls[platform::kOpRead], 8);
      platform::ResetPlatformFaults(TestHooks());
    }
    const uint32_t at = fields[i].first, length = fields[i].second;
    korvo::ReaderView view;
    ASSERT_EQ(korvo::View(&reader, at, length, &view), Failure::kNone) << at;
    ASSERT_TRUE(std::equal(view.bytes, view.bytes + length, file.begin() + at)) << at;
  }
  if (kHasFullHooks) {
    // 50 KB of near fields: a read for the first, one window for the rest.
    EXPECT_LE(TestHooks().calls[platform::kOpRead], 2);
    platform::ResetPlatformFaults(TestHooks());
    TestHooks().failAt[platform::kOpRead] = 1;
    TestHooks().readShortBy = 1;
    korvo::ReaderView view;
    EXPECT_EQ(korvo::View(&reader, 3 * stride + 5000, 100, &view), Failure::kFileEndsEarly);
    EXPECT_EQ(view.available, 0u) << "a failed read served bytes";
    platform::ResetPlatformFaults(TestHooks());
    EXPECT_EQ(korvo::View(&reader, 3 * stride + 5000, 100, &view), Failure::kNone);
  }
  korvo::CloseArchiveReader(&reader);
}

// Writes `pieces` at their positions into a sparse file of `size` bytes.
std::string WriteSparseFile(const std::string& name, uint64_t size,
                            const std::vector<std::pair<uint64_t, Bytes>>& pieces) {
  const std::string path = WriteScratchFile(name, Bytes());
  std::filesystem::resize_file(path, size);
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  for (const auto& piece : pieces) {
    file.seekp(static_cast<std::streamoff>(piece.first));
    file.write(reinterpret_cast<const char*>(piece.second.data()),
               static_cast<std::streamsize>(piece.second.size()));
  }
  EXPECT_TRUE(file.good()) << name;
  return path;
}

Bytes Le32Bytes(uint32_t value) {
  Bytes bytes;
  AppendLe32(bytes, value);
  return bytes;
}

// A field that starts below 2^31 and runs past it is read like any other:
// only a seek to 2^31 or beyond cannot be made. Through the loaded plug-in,
// on sparse files of a little over 2 GiB.
TEST(ArchiveReaderTest, FieldsAcross2GiBAreRead) {
  constexpr uint64_t k2GiB = 0x80000000u;
  const korvo::LoadedPlugin& extractor = BuiltPlugin("AXKORVO");
  const Bytes picture = MakeQkzPicture(4, 2);

  // An offset-table archive of one entry whose head crosses 2^31.
  const auto entry = static_cast<uint32_t>(k2GiB - 1000);
  Bytes table = Le32Bytes(1);
  AppendLe32(table, entry);
  const std::string offsetTable = WriteSparseFile(
      "across-2gib.cg", entry + picture.size(), {{0, table}, {entry, picture}});

  // Named-entry archives: one whose second entry's stored header crosses
  // 2^31, one whose Palette entry's palette does.
  auto records = [](const char* first, uint32_t firstAt, const char* second, uint32_t secondAt) {
    Bytes bytes = Le32Bytes(2);
    bytes.insert(bytes.end(), first, first + strlen(first) + 1);
    AppendLe32(bytes, firstAt);
    bytes.insert(bytes.end(), second, second + strlen(second) + 1);
    AppendLe32(bytes, secondAt);
    return bytes;
  };
  auto header = [](uint32_t width, uint32_t height, uint8_t ownPalette) {
    Bytes bytes = Le32Bytes(width);
    AppendLe32(bytes, height);
    bytes.push_back(ownPalette);
    if (ownPalette) bytes.resize(bytes.size() + 768 + 4, 0x33);  // palette and a 1x1 row
    return bytes;
  };
  const auto second = static_cast<uint32_t>(k2GiB - 4);
  const std::string namedEntry =
      WriteSparseFile("across-2gib-named.cg", uint64_t{second} + 9 + 8,
                      {{0, records("Palette", 100, "b", second)},
                       {100, header(1, 1, 1)},
                       {second, header(4, 2, 0)}});
  const auto paletteEntry = static_cast<uint32_t>(k2GiB - 100);
  const std::string namedPalette =
      WriteSparseFile("across-2gib-palette.cg", uint64_t{paletteEntry} + 9 + 768 + 4,
                      // The first name's bytes make slot 0 of an offset table
                      // point past the end: no zero-filled region reads as one.
                      {{0, records("\xFF\xFF\xFF\xFF", 100, "Palette", paletteEntry)},
                       {100, header(4, 2, 0)},
                       {paletteEntry, header(1, 1, 1)}});

  for (const std::string& path : {offsetTable, namedEntry, namedPalette}) {
    EXPECT_EQ(extractor.IsSupported(path.c_str(), 0), 1) << path;
    HLOCAL list = nullptr;
    ASSERT_EQ(extractor.GetArchiveInfo(path.c_str(), 0, 0, &list), 0) << path;
    FreeBlock(list);
  }
  HLOCAL block = nullptr;
  ASSERT_EQ(extractor.GetFile(offsetTable.c_str(), entry, reinterpret_cast<LPSTR>(&block), 0x100,
                              nullptr, 0),
            0);
  EXPECT_EQ(BlockBytes(block, picture.size()), picture);
  FreeBlock(block);
  // The entry whose palette came from across 2^31 is rebuilt with it.
  ASSERT_EQ(extractor.GetFile(namedPalette.c_str(), 100, reinterpret_cast<LPSTR>(&block), 0x100,
                              nullptr, 0),
            0);
  const Bytes rebuilt = BlockBytes(block, 1032 + 8);
  EXPECT_EQ(rebuilt[8], 0x33);
  EXPECT_EQ(rebuilt[8 + 4 * 255 + 2], 0x33);
  FreeBlock(block);
  // The rows of the entry whose header crosses 2^31 lie beyond it, where no
  // seek reaches: listed, but not extracted.
  block = nullptr;
  EXPECT_EQ(extractor.GetFile(namedEntry.c_str(), second, reinterpret_cast<LPSTR>(&block), 0x100,
                              nullptr, 0),
            6);
  EXPECT_EQ(block, nullptr);
  // A position from 2^31 on is still out of reach.
  PutLe32(table, 4, static_cast<uint32_t>(k2GiB));
  const std::string beyond =
      WriteSparseFile("beyond-2gib.cg", k2GiB + picture.size(), {{0, table}, {k2GiB, picture}});
  EXPECT_EQ(extractor.IsSupported(beyond.c_str(), 0), 0);
  for (const std::string& path : {offsetTable, namedEntry, namedPalette, beyond})
    std::filesystem::remove(path);
}

TEST(DirectoryArrayGrowthTest, GrowsAsEntriesPassAndKeepsThemOnFailure) {
  SKIP_UNLESS(Need::kFullHooks);
  auto& hooks = TestHooks();
  long live = hooks.liveBlocks;
  korvo::DirectoryArray array = korvo::kEmptyDirectoryArray;
  // Entries named by position and by stored name, the block shared by both.
  auto append = [&](uint32_t i) {
    return korvo::AppendDirectoryEntry(&array, i, i, i, i % 2 ? "x" : nullptr, i % 2);
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
    snprintf(expected, sizeof expected, i % 2 ? "x.QKZ" : "%08X.QKZ", i);
    korvo::FormatEntryName(array, i, name);
    ASSERT_STREQ(name, expected) << i;
  }
  korvo::FreeDirectoryArray(&array);
  EXPECT_EQ(array.block, nullptr);
  EXPECT_EQ(hooks.liveBlocks, live);
}

}  // namespace

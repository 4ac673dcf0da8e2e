// An offset-table archive as a host meets it: AXKORVO lists it, looks its
// entries up and extracts each into memory, and IFKORVO decodes every
// extracted entry to the bitmap of the picture that went in. Through the
// plug-ins of this build, natively and as .SPI files under Wine.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host-contract/host_contract.h"
#include "tests/support/bitmap_checks.h"
#include "tests/support/extractor_fixture.h"
#include "tests/support/host_blocks.h"
#include "tests/support/platform_hooks.h"
#include "tests/support/test_pictures.h"
#include "tests/support/untouched.h"
#include "tools/archive-writer/archive_writer.h"

using korvo::fileInfo;
using korvo::LoadedPlugin;

namespace {

const LoadedPlugin& Extractor() { return BuiltPlugin("AXKORVO"); }
const LoadedPlugin& Filter() { return BuiltPlugin("IFKORVO"); }

struct Picture {
  uint32_t width, height;
  uint8_t seed;
  size_t trailing;
};

const Picture kPictures[] = {{1, 1, 1, 0},   {3, 2, 2, 9},    {5, 3, 3, 0},
                             {64, 17, 4, 3}, {333, 40, 5, 0}, {640, 4, 6, 1}};

struct Archive {
  std::vector<korvo::ByteVector> entries;
  Bytes bytes;
  std::vector<uint32_t> positions;
};

Archive BuildArchive() {
  Archive archive;
  for (const Picture& p : kPictures) {
    archive.entries.push_back(
        MakeQkzPicture(p.width, p.height, p.trailing, p.seed));
  }
  archive.bytes = korvo::BuildOffsetTableArchive(archive.entries);
  uint32_t position = 4 + 4 * static_cast<uint32_t>(archive.entries.size());
  for (const korvo::ByteVector& entry : archive.entries) {
    archive.positions.push_back(position);
    position += static_cast<uint32_t>(entry.size());
  }
  return archive;
}

std::string EntryName(uint32_t position) {
  char name[16];
  std::snprintf(name, sizeof name, "%08X.QKZ", position);
  return name;
}

TEST(OffsetTableEndToEndTest, PicturesAreListedLookedUpExtractedAndDecoded) {
  const LoadedPlugin& extractor = Extractor();
  const LoadedPlugin& filter = Filter();
  ASSERT_TRUE(extractor.IsSupported && extractor.GetArchiveInfo && extractor.GetFileInfo &&
              extractor.GetFile && filter.GetPicture);
  const Archive archive = BuildArchive();
  const std::string path = WriteScratchFile("pictures.cg", archive.bytes);
  const size_t count = archive.entries.size();
  // From here on the plug-in's cache holds one directory of this archive.
  EXPECT_EQ(extractor.IsSupported(path.c_str(), 0), 1);
  const long live = LiveBlocks();

  HLOCAL listing = nullptr;
  ASSERT_EQ(extractor.GetArchiveInfo(path.c_str(), 0, 0, &listing), 0);
  EXPECT_EQ(LockCount(listing), 0u);
  ASSERT_EQ(platform::GlobalSize(listing), (count + 1) * sizeof(fileInfo));
  Bytes listed = BlockBytes(listing, (count + 1) * sizeof(fileInfo));
  FreeBlock(listing);
  for (size_t i = count * sizeof(fileInfo); i < listed.size(); ++i)
    ASSERT_EQ(listed[i], 0) << "end record byte " << i;
  std::vector<fileInfo> records(count);
  std::memcpy(records.data(), listed.data(), count * sizeof(fileInfo));

  for (size_t k = 0; k < count; ++k) {
    const fileInfo& record = records[k];
    const std::string name = EntryName(archive.positions[k]);
    SCOPED_TRACE(name);
    EXPECT_EQ(std::memcmp(record.method, "IfKorvo", 8), 0);
    EXPECT_EQ(record.position, archive.positions[k]);
    EXPECT_EQ(record.compsize, archive.entries[k].size());
    EXPECT_EQ(record.filesize, archive.entries[k].size());
    EXPECT_EQ(record.path[0], '\0');
    EXPECT_STREQ(record.filename, name.c_str());

    // Looked up by its name exactly, and in lower case only when asked to.
    fileInfo found;
    ASSERT_EQ(extractor.GetFileInfo(path.c_str(), 0, name.c_str(), 0, &found), 0);
    EXPECT_EQ(std::memcmp(&found, &record, sizeof found), 0);
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    found = Untouched<fileInfo>();
    EXPECT_EQ(extractor.GetFileInfo(path.c_str(), 0, lower.c_str(), 0, &found), -1);
    EXPECT_TRUE(IsUntouched(found)) << "written on failure";
    ASSERT_EQ(extractor.GetFileInfo(path.c_str(), 0, lower.c_str(), 0x80, &found), 0);
    EXPECT_EQ(std::memcmp(&found, &record, sizeof found), 0);

    // Extracted as stored, then decoded from memory.
    HLOCAL entry = nullptr;
    ASSERT_EQ(extractor.GetFile(path.c_str(), static_cast<LONG_PTR>(record.position),
                                reinterpret_cast<LPSTR>(&entry), 0x100, nullptr, 0),
              0);
    EXPECT_EQ(LockCount(entry), 0u);
    ASSERT_EQ(platform::GlobalSize(entry), record.filesize);
    EXPECT_EQ(BlockBytes(entry, record.filesize), archive.entries[k]);
    const void* image = platform::GlobalLock(entry);
    ASSERT_NE(image, nullptr);
    HLOCAL info = nullptr;
    HLOCAL pixels = nullptr;
    ASSERT_EQ(filter.GetPicture(static_cast<LPCSTR>(image), static_cast<LONG_PTR>(record.filesize),
                                1, &info, &pixels, nullptr, 0),
              0);
    platform::GlobalUnlock(entry);
    EXPECT_TRUE(BitmapIs(info, pixels, archive.entries[k]));
    FreeBlock(info);
    FreeBlock(pixels);
    FreeBlock(entry);
  }

  // Positions no entry has: the table's own, inside an entry, beyond the file.
  for (LONG_PTR position : {LONG_PTR{0}, LONG_PTR{4}, static_cast<LONG_PTR>(archive.positions[1] + 1),
                            LONG_PTR{-1}}) {
    HLOCAL entry = nullptr;
    EXPECT_EQ(extractor.GetFile(path.c_str(), position, reinterpret_cast<LPSTR>(&entry), 0x100,
                                nullptr, 0),
              -1)
        << position;
    EXPECT_EQ(entry, nullptr) << position;
  }
  EXPECT_EQ(LiveBlocks(), live);
}

}  // namespace

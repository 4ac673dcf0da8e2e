// A named-entry archive as a host meets it: AXKORVO recognises it, lists its
// entries as "%s.QKZ", looks them up and rebuilds each into a picture, and
// IFKORVO decodes every rebuilt picture to the pixels and colours that went
// in. Through the plug-ins of this build, natively and as .SPI under Wine.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive-extractor/named_entry_archive.h"
#include "archive-extractor/offset_table_archive.h"
#include "host-contract/host_contract.h"
#include "tests/support/bitmap_checks.h"
#include "tests/support/extractor_fixture.h"
#include "tests/support/failure_print.h"
#include "tests/support/host_blocks.h"
#include "tests/support/named_entry_fixture.h"
#include "tests/support/platform_hooks.h"
#include "tests/support/untouched.h"

using korvo::fileInfo;
using korvo::LoadedPlugin;
using korvo::NamedEntry;

namespace {


const LoadedPlugin& Extractor() { return BuiltPlugin("AXKORVO"); }
const LoadedPlugin& Filter() { return BuiltPlugin("IFKORVO"); }

// The listing GetArchiveInfo hands out, without its end record; -1 as the
// code when it fails.
int ListArchive(const std::string& path, std::vector<fileInfo>* records) {
  HLOCAL listing = kUntouched;
  int result = Extractor().GetArchiveInfo(path.c_str(), 0, 0, &listing);
  if (result != 0) {
    EXPECT_EQ(listing, kUntouched);
    return result;
  }
  EXPECT_EQ(LockCount(listing), 0u);
  size_t size = platform::GlobalSize(listing);
  EXPECT_EQ(size % sizeof(fileInfo), 0u);
  Bytes listed = BlockBytes(listing, size);
  FreeBlock(listing);
  size_t count = size / sizeof(fileInfo) - 1;
  for (size_t i = count * sizeof(fileInfo); i < listed.size(); ++i)
    EXPECT_EQ(listed[i], 0) << "end record byte " << i;
  records->resize(count);
  if (count > 0) std::memcpy(records->data(), listed.data(), count * sizeof(fileInfo));
  return 0;
}

struct Extracted {
  int result;
  Bytes bytes;
};

Extracted GetEntry(const std::string& path, uint32_t position) {
  HLOCAL entry = kUntouched;
  Extracted extracted{Extractor().GetFile(path.c_str(), static_cast<LONG_PTR>(position),
                                          reinterpret_cast<LPSTR>(&entry), 0x100, nullptr, 0),
                      {}};
  if (extracted.result != 0) {
    EXPECT_EQ(entry, kUntouched) << "a failed GetFile stored a handle";
    return extracted;
  }
  EXPECT_EQ(LockCount(entry), 0u);
  extracted.bytes = BlockBytes(entry, platform::GlobalSize(entry));
  FreeBlock(entry);
  return extracted;
}

// IFKORVO decodes a rebuilt picture from memory into the bitmap of the
// picture of this size, `triples` and `rows`.
void ExpectDecodes(const Bytes& picture, uint32_t width, uint32_t height, const Triples& triples,
                   const Bytes& rows) {
  HLOCAL info = nullptr;
  HLOCAL pixels = nullptr;
  ASSERT_EQ(Filter().GetPicture(reinterpret_cast<LPCSTR>(picture.data()),
                                static_cast<LONG_PTR>(picture.size()), 1, &info, &pixels, nullptr,
                                0),
            0);
  EXPECT_TRUE(BitmapIs(info, pixels, QkzPictureOf(width, height, triples, rows)));
  FreeBlock(info);
  FreeBlock(pixels);
}

std::vector<NamedEntry> GalleryEntries() {
  return {
      MakeNamedEntry("shared", 5, 3, 1, false),
      MakeNamedEntry("own", 13, 7, 2, true, 20),
      MakeNamedEntry("Palette", 2, 2, 3, true),
      MakeNamedEntry("tiny", 1, 1, 4, false),
      MakeNamedEntry("wide", 640, 3, 5, false, 3),
      MakeNamedEntry("tall", 3, 300, 6, true),
  };
}

TEST(NamedEntryEndToEndTest, EntriesAreListedLookedUpRebuiltAndDecoded) {
  const LoadedPlugin& extractor = Extractor();
  ASSERT_TRUE(extractor.IsSupported && extractor.GetArchiveInfo && extractor.GetFileInfo &&
              extractor.GetFile && Filter().GetPicture);
  const std::vector<NamedEntry> entries = GalleryEntries();
  const std::string path = WriteScratchFile("gallery.cg", korvo::BuildNamedEntryArchive(entries));
  const Triples& shared = entries[2].palette;

  EXPECT_EQ(extractor.IsSupported(path.c_str(), 0x1234), 1);
  const long live = LiveBlocks();  // the plug-in's cached directory included
  std::vector<fileInfo> records;
  ASSERT_EQ(ListArchive(path, &records), 0);
  ASSERT_EQ(records.size(), entries.size());
  uint32_t position = 4;
  for (const NamedEntry& entry : entries) position += static_cast<uint32_t>(entry.name.size() + 5);

  for (size_t k = 0; k < entries.size(); ++k) {
    const NamedEntry& entry = entries[k];
    const fileInfo& record = records[k];
    const std::string name = entry.name + ".QKZ";
    SCOPED_TRACE(name);
    const uint32_t size = static_cast<uint32_t>(9 + (entry.ownPalette ? 768 : 0) +
                                                entry.gap.size() + entry.rows.size());
    EXPECT_EQ(std::memcmp(record.method, "IfKorvo", 8), 0);
    EXPECT_EQ(record.position, position);
    EXPECT_EQ(record.compsize, size);
    EXPECT_EQ(record.filesize, 1032 + entry.rows.size());
    EXPECT_EQ(record.path[0], '\0');
    EXPECT_STREQ(record.filename, name.c_str());
    position += size;

    fileInfo found;
    ASSERT_EQ(extractor.GetFileInfo(path.c_str(), 0, name.c_str(), 0, &found), 0);
    EXPECT_EQ(std::memcmp(&found, &record, sizeof found), 0);
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_EQ(extractor.GetFileInfo(path.c_str(), 0, upper.c_str(), 0x80, &found), 0);
    EXPECT_EQ(std::memcmp(&found, &record, sizeof found), 0);

    Extracted extracted = GetEntry(path, position - size);
    ASSERT_EQ(extracted.result, 0);
    const Triples& triples = entry.ownPalette ? entry.palette : shared;
    EXPECT_EQ(extracted.bytes, QkzPictureOf(entry.width, entry.height, triples, entry.rows));
    ExpectDecodes(extracted.bytes, entry.width, entry.height, triples, entry.rows);
  }
  EXPECT_EQ(GetEntry(path, position).result, -1) << "no entry there";
  EXPECT_EQ(LiveBlocks(), live);
}

TEST(NamedEntryEndToEndTest, TheSmallArchiveAndWhatBreaksIt) {
  const LoadedPlugin& extractor = Extractor();
  const Bytes small = SmallNamedArchive();
  const std::string path = WriteScratchFile("small.cg", small);
  std::vector<fileInfo> records;
  ASSERT_EQ(ListArchive(path, &records), 0);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_STREQ(records[0].filename, "Palette.QKZ");
  EXPECT_EQ(records[0].position, 22u);
  EXPECT_EQ(records[0].compsize, 781u);
  EXPECT_EQ(records[0].filesize, 1036u);
  EXPECT_STREQ(records[1].filename, "a.QKZ");
  EXPECT_EQ(records[1].position, 803u);
  EXPECT_EQ(records[1].compsize, 25u);
  EXPECT_EQ(records[1].filesize, 1048u);
  Extracted a = GetEntry(path, 803);
  ASSERT_EQ(a.result, 0);
  EXPECT_EQ(a.bytes, QkzPictureOf(5, 2, SmallArchiveTriples(), SmallArchiveRows()));
  ExpectDecodes(a.bytes, 5, 2, SmallArchiveTriples(), SmallArchiveRows());

  // Files of neither layout: not recognised by any entry point.
  Bytes lowerCase = small;
  lowerCase[4] = 'p';
  Bytes noise(3000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 37 + 11);
  struct Case {
    const char* what;
    std::string path;
  } cases[] = {
      {"one byte shorter", WriteScratchFile("short.cg", Bytes(small.begin(), small.end() - 1))},
      {"palette in lower case", WriteScratchFile("lower.cg", lowerCase)},
      {"noise", WriteScratchFile("noise.cg", noise)},
      {"empty", WriteScratchFile("empty.cg", {})},
      {"missing", ScratchDirectory() + "missing.cg"},
  };
  const long live = LiveBlocks();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(extractor.IsSupported(c.path.c_str(), 0), 0);
    HLOCAL listing = kUntouched;
    EXPECT_EQ(extractor.GetArchiveInfo(c.path.c_str(), 0, 0, &listing), -1);
    EXPECT_EQ(listing, kUntouched);
    fileInfo found = Untouched<fileInfo>();
    EXPECT_EQ(extractor.GetFileInfo(c.path.c_str(), 0, "a.QKZ", 0, &found), -1);
    EXPECT_TRUE(IsUntouched(found));
    EXPECT_EQ(GetEntry(c.path, 803).result, 2);
  }
  EXPECT_EQ(LiveBlocks(), live);
}

// A file laid out so that it is both a named-entry archive of three records
// and an offset-table archive of three entries: the offset-table layout wins
// in every entry point.
//
//   0     count 3
//   4     record 0: name 01 01, offset 0x51000 (its bytes 00 10 05 00 at 7)
//   11    record 1: empty name, offset kSecond
//   16    record 2: "Palette", offset kPaletteAt
//   As an offset table the same bytes read 0x101, 0x510 and kSecond.
//   0x101, 0x510: 1x1 pictures; 0x51000: a 4x2 stored entry; kSecond: a 3x2
//   stored entry whose bytes and the Palette entry behind it hold a 3x2 picture.
Bytes BothLayouts() {
  constexpr uint32_t kFirst = 0x51000, kSecond = kFirst + 17, kPaletteAt = kSecond + 9 + 300 + 8;
  Bytes bytes(kPaletteAt, 0);
  PutLe32(bytes, 0, 3);
  bytes[4] = bytes[5] = 1;
  PutLe32(bytes, 7, kFirst);
  PutLe32(bytes, 12, kSecond);
  std::memcpy(&bytes[16], "Palette", 8);
  PutLe32(bytes, 24, kPaletteAt);
  for (uint32_t at : {0x101u, 0x510u}) {
    Bytes picture = QkzPictureOf(1, 1, MakeTriples(static_cast<uint8_t>(at)), Bytes(4, 0x77));
    std::copy(picture.begin(), picture.end(), bytes.begin() + at);
  }
  PutLe32(bytes, kFirst, 4);
  PutLe32(bytes, kFirst + 4, 2);
  PutLe32(bytes, kSecond, 3);
  PutLe32(bytes, kSecond + 4, 2);
  Bytes palette = korvo::BuildNamedEntryArchive({MakeNamedEntry("Palette", 1, 1, 9, true)});
  bytes.insert(bytes.end(), palette.begin() + 16, palette.end());
  return bytes;
}

TEST(NamedEntryEndToEndTest, AFileOfBothLayoutsIsAnOffsetTableArchive) {
  const LoadedPlugin& extractor = Extractor();
  const Bytes both = BothLayouts();
  const std::string path = WriteScratchFile("both.cg", both);
  // Each layout's parser takes it by itself (the linked cache, emptied after).
  korvo::UnloadDirectoryCache();
  korvo::LoadDirectoryCache();
  EXPECT_EQ(extractor_test::ParseWith(korvo::ParseNamedEntryArchive, path.c_str()),
            korvo::Failure::kNone);
  EXPECT_EQ(extractor_test::ParseWith(korvo::ParseOffsetTableArchive, path.c_str()),
            korvo::Failure::kNone);
  korvo::UnloadDirectoryCache();
  korvo::LoadDirectoryCache();

  std::vector<fileInfo> records;
  ASSERT_EQ(ListArchive(path, &records), 0);
  ASSERT_EQ(records.size(), 3u);
  const char* names[] = {"00000101.QKZ", "00000510.QKZ", "00051011.QKZ"};
  for (size_t k = 0; k < 3; ++k) EXPECT_STREQ(records[k].filename, names[k]);
  fileInfo found;
  EXPECT_EQ(extractor.GetFileInfo(path.c_str(), 0, "Palette.QKZ", 0, &found), -1);
  EXPECT_EQ(extractor.GetFileInfo(path.c_str(), 0, "00000510.QKZ", 0, &found), 0);
  // Entries are handed out as stored, not rebuilt.
  Extracted first = GetEntry(path, 0x101);
  ASSERT_EQ(first.result, 0);
  EXPECT_EQ(first.bytes, Bytes(both.begin() + 0x101, both.begin() + 0x510));
  EXPECT_EQ(GetEntry(path, 0x51000).result, -1) << "a named entry's position";
}

}  // namespace

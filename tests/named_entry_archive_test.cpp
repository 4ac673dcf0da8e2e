// The named-entry archive read directly: its name records, the parse with
// every code of its checks in their order, the shared palette, the rebuilt
// pictures, and the failure paths driven by injected faults.
#include <gtest/gtest.h>

#include <memory>

#include <cstring>
#include <string>
#include <vector>

#include "archive-extractor/directory_cache.h"
#include "archive-extractor/named_entry_archive.h"
#include "tests/support/extractor_fixture.h"
#include "tests/support/failure_print.h"
#include "tests/support/named_entry_fixture.h"
#include "tests/support/untouched.h"

using namespace korvo;
using namespace extractor_test;

namespace {


// A parser for calls that must find their archive cached.
Failure MustNotParse(ArchiveReader*, ParsedDirectory*) noexcept {
  ADD_FAILURE() << "the cached directory was parsed again";
  return Failure::kNotThisLayout;
}

Failure Parse(const std::string& path) { return ParseWith(ParseNamedEntryArchive, path.c_str()); }

// What the cache serves for `path` without parsing: the listing and the shared
// palette an extract would use.
struct CacheView {
  Bytes listing;
  Triples palette;
  bool operator==(const CacheView& other) const {
    return listing == other.listing && palette == other.palette;
  }
};

Bytes ListingBytes(const std::string& path) {
  HGLOBAL block = nullptr;
  EXPECT_EQ(ListDirectory<fileInfo>(path.c_str(), MustNotParse, &block), Failure::kNone);
  if (block == nullptr) return Bytes();
  Bytes listing = BlockBytes(block);
  platform::GlobalFree(block);
  return listing;
}

Triples CachedPalette(const std::string& path, uint32_t position) {
  Triples palette = {};
  fileInfo entry;
  // The cache holds the archive as this layout's parser built it: nothing is
  // parsed again (the listing's MustNotParse would have said otherwise).
  EXPECT_EQ(LookUpEntryForExtract(path.c_str(), ParseNamedEntryArchive, position, &entry,
                                  palette.data()),
            Failure::kNone);
  return palette;
}

CacheView ViewCache(const std::string& path, uint32_t position) {
  return CacheView{ListingBytes(path), CachedPalette(path, position)};
}

std::vector<fileInfo> Listing(const std::string& path) {
  Bytes listing = ListingBytes(path);
  std::vector<fileInfo> records(listing.size() / sizeof(fileInfo));
  if (!records.empty()) std::memcpy(records.data(), listing.data(), listing.size());
  EXPECT_FALSE(records.empty());
  if (!records.empty()) {
    EXPECT_EQ(records.back().method[0], 0) << "the list ends in a zero record";
    records.pop_back();
  }
  return records;
}

void ExpectRecord(const fileInfo& record, uint32_t position, uint32_t compsize, uint32_t filesize,
                  const std::string& name) {
  EXPECT_EQ(std::memcmp(record.method, "IfKorvo", 8), 0);
  EXPECT_EQ(record.position, position);
  EXPECT_EQ(record.compsize, compsize);
  EXPECT_EQ(record.filesize, filesize);
  EXPECT_EQ(record.path[0], 0);
  EXPECT_EQ(std::string(record.filename), name);
}

struct Extracted {
  int result;  // the code a host would see
  Failure reason;
  Bytes bytes;
};

Extracted Extract(const std::string& path, uint32_t position) {
  HGLOBAL slot = kUntouched;
  const Failure reason = ExtractEntry(LocateNamedEntry, path.c_str(), position, &slot);
  Extracted extracted{ResultCodeOf(reason), reason, {}};
  if (extracted.result != kResultSuccess) {
    EXPECT_EQ(slot, kUntouched) << "a failed extract stored a handle";
    return extracted;
  }
  EXPECT_EQ(LockCount(slot), 0u);
  extracted.bytes = BlockBytes(slot);
  platform::GlobalFree(slot);
  return extracted;
}

Bytes Cut(Bytes bytes, size_t length) {
  bytes.resize(length);
  return bytes;
}

Bytes With32(Bytes bytes, size_t offset, uint32_t value) {
  PutLe32(bytes, offset, value);
  return bytes;
}

// A name record: the name, its NUL and the offset.
Bytes Record(const std::string& name, uint32_t offset) {
  Bytes bytes(name.begin(), name.end());
  bytes.push_back(0);
  AppendLe32(bytes, offset);
  return bytes;
}

// A stored entry by hand: header, own palette when `flag`, gap, rows.
Bytes StoredEntry(uint32_t width, uint32_t height, uint8_t flag, size_t gap = 0) {
  Bytes bytes;
  AppendLe32(bytes, width);
  AppendLe32(bytes, height);
  bytes.push_back(flag);
  if (flag != 0) {
    Triples triples = MakeTriples(flag);
    bytes.insert(bytes.end(), triples.begin(), triples.end());
  }
  bytes.insert(bytes.end(), gap, 0xEE);
  Bytes rows = MakeRows(width, height, 0x50);
  bytes.insert(bytes.end(), rows.begin(), rows.end());
  return bytes;
}

// ---- Name records -----------------------------------------------------------

TEST(NameRecordTest, ReadsTheRecordAtItsPositionAndChecksIt) {
  const std::string name31(31, 'n');
  const std::string name32(32, 'n');
  struct Case {
    const char* what;
    Bytes file;
    uint32_t position;
    int result;
    std::string name;
    uint32_t offset;
    Failure reason;
  } cases[] = {
      {"one letter", [] { Bytes b = Record("a", 10); b.resize(20); return b; }(), 0, 0, "a", 10,
       Failure::kNone},
      {"empty name", [] { Bytes b = Record("", 7); b.resize(8); return b; }(), 0, 0, "", 7,
       Failure::kNone},
      {"31 letters", [&] { Bytes b = Record(name31, 40); b.resize(41); return b; }(), 0, 0, name31, 40,
       Failure::kNone},
      {"32 letters, no NUL", [&] { Bytes b = Record(name32, 40); b.resize(80); return b; }(), 0, 2, "", 0,
       Failure::kNameWithoutNul},
      {"at position 9", [] { Bytes b(9, 0x77); Bytes r = Record("xy", 12); b.insert(b.end(), r.begin(), r.end()); b.resize(30); return b; }(), 9, 0, "xy", 12,
       Failure::kNone},
      {"offset 0", [] { Bytes b = Record("a", 0); b.resize(20); return b; }(), 0, 2, "", 0,
       Failure::kEntryPositionZero},
      {"offset = file size", [] { Bytes b = Record("a", 20); b.resize(20); return b; }(), 0, 2, "", 0,
       Failure::kEntryPositionPastEnd},
      {"offset = file size - 1", [] { Bytes b = Record("a", 19); b.resize(20); return b; }(), 0, 0, "a", 19,
       Failure::kNone},
      {"offset with the top bit", [] { Bytes b = Record("a", 0x80000000u); b.resize(20); return b; }(), 0, 2, "", 0,
       Failure::kEntryPositionPastEnd},
      {"file ends inside the name", Bytes{'a', 'b', 'c'}, 0, 6, "", 0, Failure::kFileEndsEarly},
      {"file ends before the name", Bytes{'a'}, 1, 6, "", 0, Failure::kFileEndsEarly},
      {"file ends inside the offset", Cut(Record("ab", 5), 5), 0, 6, "", 0,
       Failure::kFileEndsEarly},
      {"31 letters, file ends at the NUL", Cut(Record(name31, 5), 31), 0, 6, "", 0,
       Failure::kFileEndsEarly},
  };
  for (const Case& c : cases) {
    std::string path = WriteScratchFile("record", c.file);
    std::vector<ReaderWindow> windows(kReaderWindowCount);
    ArchiveReader reader;
    ASSERT_EQ(OpenArchiveReader(path.c_str(), windows.data(), &reader), Failure::kNone);
    NameRecord record;
    const Failure reason = ReadNameRecord(&reader, c.position, &record);
    EXPECT_EQ(reason, c.reason) << c.what;
    EXPECT_EQ(ResultCodeOf(reason), c.result) << c.what;
    if (c.result == kResultSuccess) {
      EXPECT_EQ(std::string(record.name), c.name) << c.what;
      EXPECT_EQ(record.nameLength, c.name.size()) << c.what;
      EXPECT_EQ(record.offset, c.offset) << c.what;
    }
    CloseArchiveReader(&reader);
  }
}

// ---- Parsing ----------------------------------------------------------------

class NamedEntryArchiveTest : public ExtractorTest {};

TEST_F(NamedEntryArchiveTest, ListsTheSmallArchiveAndRebuildsBothEntries) {
  std::string path = WriteScratchFile("small", SmallNamedArchive());
  ASSERT_EQ(Parse(path), Failure::kNone);
  std::vector<fileInfo> records = Listing(path);
  ASSERT_EQ(records.size(), 2u);
  ExpectRecord(records[0], 22, 781, 1036, "Palette.QKZ");
  ExpectRecord(records[1], 803, 25, 1048, "a.QKZ");
  EXPECT_EQ(CachedPalette(path, 803), SmallArchiveTriples());

  Extracted a = Extract(path, kSmallEntryPosition);
  ASSERT_EQ(a.result, kResultSuccess);
  const Bytes file = SmallNamedArchive();
  EXPECT_EQ(a.bytes, QkzPictureOf(5, 2, SmallArchiveTriples(), SmallArchiveRows()));
  ASSERT_EQ(a.bytes.size(), 1048u);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(a.bytes[11 + 4 * i], 0) << "colour " << i;
  EXPECT_TRUE(std::equal(file.begin() + 812, file.end(), a.bytes.begin() + 1032));

  // The Palette entry is an entry like any other, rebuilt from its own header.
  Extracted palette = Extract(path, kSmallPalettePosition);
  ASSERT_EQ(palette.result, kResultSuccess);
  EXPECT_EQ(palette.bytes,
            QkzPictureOf(1, 1, SmallArchiveTriples(), Bytes(file.begin() + 799, file.begin() + 803)));

  Extracted none = Extract(path, 804);
  EXPECT_EQ(none.result, kResultNotHandled);
  EXPECT_EQ(none.reason, Failure::kNoEntryAtPosition);
}

// Archives that parse; each lists these names.
TEST_F(NamedEntryArchiveTest, AcceptsEveryNameAndEntryTheLayoutAllows) {
  const std::string name31(31, 'x');
  std::vector<NamedEntry> withName31 = {MakeNamedEntry("Palette", 2, 2, 1, true),
                                        MakeNamedEntry(name31, 3, 1, 2, false)};
  std::vector<NamedEntry> withEmptyName = {MakeNamedEntry("", 1, 1, 3, false),
                                           MakeNamedEntry("Palette", 1, 1, 4, true)};
  // Two entries named "Palette": the first one's palette is the archive's.
  std::vector<NamedEntry> twoPalettes = {MakeNamedEntry("Palette", 1, 1, 5, true),
                                         MakeNamedEntry("Palette", 1, 1, 6, true)};
  // Any bytes but NUL make a name.
  std::vector<NamedEntry> oddBytes = {MakeNamedEntry("\x01\xff .QKZ", 4, 4, 7, false, 3),
                                      MakeNamedEntry("Palette", 1, 1, 8, true)};
  // Width or height 0: no rows, still an entry of this layout.
  std::vector<NamedEntry> noRows = {MakeNamedEntry("Palette", 1, 1, 9, true),
                                    MakeNamedEntry("z", 0, 5, 10, false)};
  struct Case {
    const char* what;
    Bytes file;
    std::vector<std::string> names;
    Triples palette;
  } cases[] = {
      {"one entry named Palette", BuildNamedEntryArchive({MakeNamedEntry("Palette", 1, 1, 0, true)}),
       {"Palette.QKZ"}, MakeNamedEntry("Palette", 1, 1, 0, true).palette},
      {"a name of 31 bytes", BuildNamedEntryArchive(withName31), {"Palette.QKZ", name31 + ".QKZ"},
       withName31[0].palette},
      {"an empty name", BuildNamedEntryArchive(withEmptyName), {".QKZ", "Palette.QKZ"},
       withEmptyName[1].palette},
      {"two Palette entries", BuildNamedEntryArchive(twoPalettes), {"Palette.QKZ", "Palette.QKZ"},
       twoPalettes[0].palette},
      {"any bytes but NUL", BuildNamedEntryArchive(oddBytes), {"\x01\xff .QKZ.QKZ", "Palette.QKZ"},
       oddBytes[1].palette},
      {"width 0", BuildNamedEntryArchive(noRows), {"Palette.QKZ", "z.QKZ"}, noRows[0].palette},
  };
  for (const Case& c : cases) {
    std::string path = WriteScratchFile("accepted", c.file);
    ASSERT_EQ(Parse(path), Failure::kNone) << c.what;
    std::vector<fileInfo> records = Listing(path);
    ASSERT_EQ(records.size(), c.names.size()) << c.what;
    for (size_t i = 0; i < records.size(); ++i)
      EXPECT_EQ(std::string(records[i].filename), c.names[i]) << c.what;
    EXPECT_EQ(CachedPalette(path, static_cast<uint32_t>(records[0].position)), c.palette) << c.what;
  }
}

// Every check in its order, each with its code; the archive cached before
// (directory, path and shared palette) stays in force after every failure.
TEST_F(NamedEntryArchiveTest, RefusesMalformedArchivesWithTheirCodes) {
  const Bytes small = SmallNamedArchive();
  Bytes lowerCase = small;
  lowerCase[4] = 'p';
  Bytes other = small;
  std::memcpy(&other[4], "Pa1ette", 7);

  // One record: a header at 9 and rows of 4.
  auto oneEntry = [](const std::string& name, size_t trailing = 0) {
    Bytes bytes;
    AppendLe32(bytes, 1);
    uint32_t offset = static_cast<uint32_t>(4 + name.size() + 5);
    Bytes record = Record(name, offset);
    bytes.insert(bytes.end(), record.begin(), record.end());
    Bytes entry = StoredEntry(1, 1, 1);
    bytes.insert(bytes.end(), entry.begin(), entry.end());
    bytes.insert(bytes.end(), trailing, 0);
    return bytes;
  };
  Bytes name32 = small;  // record 0 named by 32 letters: no NUL among them
  name32.erase(name32.begin() + 4, name32.begin() + 12);
  name32.insert(name32.begin() + 4, 32, 'P');

  // Offsets that do not ascend: "a" at 22 and the Palette entry behind it.
  Bytes descending;
  AppendLe32(descending, 2);
  for (const Bytes& part : {Record("Palette", 40), Record("a", 22), StoredEntry(1, 1, 0),
                            Bytes(5, 0), StoredEntry(1, 1, 1)})
    descending.insert(descending.end(), part.begin(), part.end());

  // Palette entry last, its 768 bytes cut short although its rows fit.
  Bytes shortPalette;
  AppendLe32(shortPalette, 2);
  for (const Bytes& part : {Record("a", 22), Record("Palette", 35), StoredEntry(1, 1, 0),
                            StoredEntry(1, 1, 0)})
    shortPalette.insert(shortPalette.end(), part.begin(), part.end());
  ASSERT_EQ(shortPalette.size(), 48u);

  // A count of 0: record 0 and its entry are still read and checked.
  Bytes countZero = With32(small, 0, 0);
  Bytes countZeroShortEntry = With32(With32(small, 0, 0), 12, 825);

  struct Case {
    const char* what;
    Bytes file;
    int result;
    Failure reason;
  } cases[] = {
      {"empty file", {}, 6, Failure::kFileEndsEarly},
      {"count cut short", Cut(small, 3), 6, Failure::kFileEndsEarly},
      {"one byte shorter: last entry 24 bytes of 25", Cut(small, 827), 2,
       Failure::kEntryTooSmallForPicture},
      {"Palette in lower case", lowerCase, 2, Failure::kNoPaletteEntry},
      {"no entry named Palette", other, 2, Failure::kNoPaletteEntry},
      {"one entry, named Palette", oneEntry("Palette"), 0, Failure::kNone},
      {"one entry, named otherwise", oneEntry("Palettes"), 2, Failure::kNoPaletteEntry},
      {"one entry, named palette", oneEntry("palette"), 2, Failure::kNoPaletteEntry},
      {"one entry, its 768 bytes one short", Cut(oneEntry("Palette"), 789), 6,
       Failure::kFileEndsEarly},
      {"32 name bytes without a NUL", name32, 2, Failure::kNameWithoutNul},
      {"record 0 offset 0", With32(small, 12, 0), 2, Failure::kEntryPositionZero},
      {"record 1 offset 0", With32(small, 18, 0), 2, Failure::kEntryPositionZero},
      {"record 1 offset = file size", With32(small, 18, 828), 2, Failure::kEntryPositionPastEnd},
      {"record 1 offset = file size - 1", With32(small, 18, 827), 6, Failure::kFileEndsEarly},
      {"record 0 offset = file size - 1", With32(small, 12, 827), 6, Failure::kFileEndsEarly},
      {"file ends inside record 1's name", Cut(With32(small, 12, 5), 17), 6,
       Failure::kFileEndsEarly},
      {"file ends inside record 1's offset", Cut(With32(small, 12, 5), 20), 6,
       Failure::kFileEndsEarly},
      {"adjacent records with the same offset", With32(small, 12, 803), 2,
       Failure::kEntryTooSmallForPicture},
      {"offsets that descend", descending, 2, Failure::kOffsetsNotAscending},
      {"Palette entry's 768 bytes beyond the file", shortPalette, 6, Failure::kFileEndsEarly},
      {"count 0", countZero, 2, Failure::kNoPaletteEntry},
      {"count 0, its entry's header beyond the file", countZeroShortEntry, 6,
       Failure::kFileEndsEarly},
      {"count 3: record 2 made of entry bytes", With32(small, 0, 3), 2,
       Failure::kEntryPositionPastEnd},
      {"garbage count", With32(small, 0, 0xFFFFFFFFu), 2, Failure::kEntryPositionPastEnd},
      {"rows beyond 32 bits", With32(With32(small, 803, 65536), 807, 65537), 2,
       Failure::kPictureOver4GiB},
      {"picture beyond 32 bits, stride wraps", With32(With32(small, 803, 0xFFFFFFFDu), 807, 1), 2,
       Failure::kPictureOver4GiB},
      // Record 1 is checked before entry 0: its code wins.
      {"record 1 bad and entry 0's header beyond the file", With32(With32(small, 18, 0), 12, 825), 2,
       Failure::kEntryPositionZero},
      // Entry 0 at 5, inside record 0, is far too small for its header.
      {"record 1 cut short and entry 0 too small", Cut(With32(small, 12, 5), 19), 6,
       Failure::kFileEndsEarly},
      {"entry 0 too small", With32(small, 22, 1000), 2, Failure::kEntryTooSmallForPicture},
      {"entry 0 header beyond the file", With32(small, 12, 820), 6, Failure::kFileEndsEarly},
  };

  std::string cachedPath = WriteScratchFile("cached", small);
  for (const Case& c : cases) {
    ASSERT_EQ(Parse(cachedPath), Failure::kNone);
    const CacheView before = ViewCache(cachedPath, kSmallEntryPosition);
    std::string path = WriteScratchFile("malformed", c.file);
    const Failure reason = Parse(path);
    EXPECT_EQ(reason, c.reason) << c.what;
    EXPECT_EQ(ResultCodeOf(reason), c.result) << c.what;
    if (c.result != kResultSuccess) {
      EXPECT_TRUE(ViewCache(cachedPath, kSmallEntryPosition) == before) << c.what;
    }
  }
}

TEST_F(NamedEntryArchiveTest, AFailedParseKeepsThePreviousPaletteForItsEntries) {
  const Triples first = MakeTriples(0x21);
  std::vector<NamedEntry> entries = {MakeNamedEntry("Palette", 1, 1, 1, true),
                                     MakeNamedEntry("shared", 5, 3, 2, false)};
  entries[0].palette = first;
  std::string path = WriteScratchFile("first", BuildNamedEntryArchive(entries));
  ASSERT_EQ(Parse(path), Failure::kNone);
  uint32_t shared = static_cast<uint32_t>(Listing(path)[1].position);

  // Archives with another palette: one has no Palette entry, the other ends
  // inside its Palette entry's 768 bytes.
  entries[0].palette = MakeTriples(0x99);
  Bytes lowerCase = BuildNamedEntryArchive(entries);
  lowerCase[4] = 'p';
  Bytes paletteLast = BuildNamedEntryArchive({entries[1], entries[0]});
  paletteLast.resize(paletteLast.size() - 10);
  struct Case {
    Bytes file;
    int result;
    Failure reason;
  } cases[] = {{lowerCase, 2, Failure::kNoPaletteEntry}, {paletteLast, 6, Failure::kFileEndsEarly}};
  for (const Case& c : cases) {
    const Failure reason = Parse(WriteScratchFile("second", c.file));
    ASSERT_EQ(reason, c.reason);
    ASSERT_EQ(ResultCodeOf(reason), c.result);
    Extracted extracted = Extract(path, shared);
    ASSERT_EQ(extracted.result, kResultSuccess);
    EXPECT_EQ(extracted.bytes, QkzPictureOf(5, 3, first, entries[1].rows));
  }
}

// ---- Extracting -------------------------------------------------------------

TEST_F(NamedEntryArchiveTest, RebuildsEachEntryWithItsOwnOrTheSharedPalette) {
  std::vector<NamedEntry> entries = {
      MakeNamedEntry("shared", 5, 3, 1, false),
      MakeNamedEntry("own", 13, 7, 2, true),
      MakeNamedEntry("Palette", 2, 2, 3, true),
      MakeNamedEntry("gap", 4, 2, 4, false, 100),      // bytes before the rows
      MakeNamedEntry("owngap", 1, 300, 5, true, 37),   // behind its own palette
      MakeNamedEntry("wide", 640, 2, 6, false),
  };
  std::string path = WriteScratchFile("rebuild", BuildNamedEntryArchive(entries));
  ASSERT_EQ(Parse(path), Failure::kNone);
  std::vector<fileInfo> records = Listing(path);
  ASSERT_EQ(records.size(), entries.size());
  const Triples& shared = entries[2].palette;
  for (size_t i = 0; i < entries.size(); ++i) {
    const NamedEntry& entry = entries[i];
    SCOPED_TRACE(entry.name);
    Bytes expected = QkzPictureOf(entry.width, entry.height,
                                     entry.ownPalette ? entry.palette : shared, entry.rows);
    EXPECT_EQ(records[i].filesize, expected.size());
    Extracted extracted = Extract(path, static_cast<uint32_t>(records[i].position));
    ASSERT_EQ(extracted.result, kResultSuccess);
    EXPECT_EQ(extracted.bytes, expected);
  }
}

// An own-palette entry too short for its 768 bytes passes the parse; its
// extract takes whatever follows its header, and fails only where the file ends.
TEST_F(NamedEntryArchiveTest, AShortOwnPaletteTakesTheBytesThatFollow) {
  Bytes file;
  AppendLe32(file, 2);
  for (const Bytes& part : {Record("Palette", 22), Record("b", 803), StoredEntry(1, 1, 1),
                            StoredEntry(2, 1, 0)})
    file.insert(file.end(), part.begin(), part.end());
  ASSERT_EQ(file.size(), 816u);
  // "b" at 803, 13 bytes, its flag set by hand: the file ends inside its palette.
  file[803 + 8] = 7;
  std::string path = WriteScratchFile("shortown", file);
  ASSERT_EQ(Parse(path), Failure::kNone);
  EXPECT_EQ(Extract(path, 803).result, kResultFileError);

  // With more file behind it, the palette is read from those bytes, and the
  // rows are the entry's new last 4 bytes.
  Bytes longer = file;
  for (int i = 0; i < 800; ++i) longer.push_back(static_cast<uint8_t>(i));
  std::string longerPath = WriteScratchFile("shortown2", longer);
  ASSERT_EQ(Parse(longerPath), Failure::kNone);
  Extracted extracted = Extract(longerPath, 803);
  ASSERT_EQ(extracted.result, kResultSuccess);
  Triples taken;
  std::memcpy(taken.data(), &longer[812], taken.size());
  EXPECT_EQ(extracted.bytes,
            QkzPictureOf(2, 1, taken, Bytes(longer.end() - 4, longer.end())));

  // An entry before the next one reads into the next entry's bytes.
  Bytes before;
  AppendLe32(before, 2);
  for (const Bytes& part : {Record("c", 22), Record("Palette", 35), StoredEntry(1, 1, 0),
                            StoredEntry(1, 1, 1)})
    before.insert(before.end(), part.begin(), part.end());
  before[22 + 8] = 1;
  std::string beforePath = WriteScratchFile("shortown3", before);
  ASSERT_EQ(Parse(beforePath), Failure::kNone);
  extracted = Extract(beforePath, 22);
  ASSERT_EQ(extracted.result, kResultSuccess);
  std::memcpy(taken.data(), &before[31], taken.size());
  EXPECT_EQ(extracted.bytes, QkzPictureOf(1, 1, taken, Bytes(before.begin() + 31, before.begin() + 35)));
}

// A file changed on disk after its parse: the block sized from the directory
// is never overrun, and a picture that no longer matches it is refused.
TEST_F(NamedEntryArchiveTest, AnArchiveChangedSinceItsParseIsNeverWrittenPastTheBlock) {
  const Bytes small = SmallNamedArchive();
  struct Case {
    const char* what;
    Bytes changed;
    int result;
    Failure reason;
  } cases[] = {
      {"taller", With32(small, 807, 3), 2, Failure::kEntryChangedOnDisk},
      {"wider", With32(small, 803, 9), 2, Failure::kEntryChangedOnDisk},
      {"huge", With32(With32(small, 803, 0xFFFFFFFFu), 807, 0xFFFFFFFFu), 2,
       Failure::kEntryChangedOnDisk},
      {"narrower", With32(small, 803, 4), 2, Failure::kEntryChangedOnDisk},
      {"same size, other shape", With32(With32(small, 803, 16), 807, 1), 0, Failure::kNone},
      {"cut inside the rows", Cut(small, 820), 6, Failure::kFileEndsEarly},
      {"cut inside the header", Cut(small, 806), 6, Failure::kFileEndsEarly},
      {"own palette flag set, the file ends inside it",
       [&] { Bytes b = small; b[811] = 1; return b; }(), 6, Failure::kFileEndsEarly},
      {"emptied", {}, 6, Failure::kFileEndsEarly},
  };
  for (const Case& c : cases) {
    std::string path = WriteScratchFile("changing", small);
    ASSERT_EQ(Parse(path), Failure::kNone);
    WriteScratchFile("changing", c.changed);
    Extracted extracted = Extract(path, kSmallEntryPosition);
    EXPECT_EQ(extracted.result, c.result) << c.what;
    EXPECT_EQ(extracted.reason, c.reason) << c.what;
    if (extracted.result == kResultSuccess) {
      EXPECT_EQ(extracted.bytes.size(), 1048u) << c.what;
    }
  }
}

TEST_F(NamedEntryArchiveTest, ExtractParsesAnArchiveThatIsNotCached) {
  std::string cached = WriteScratchFile("cached", SmallNamedArchive());
  std::string broken = WriteScratchFile("broken", Cut(SmallNamedArchive(), 827));
  std::string other = WriteScratchFile("other", SmallNamedArchive());
  ASSERT_EQ(Parse(cached), Failure::kNone);
  const CacheView before = ViewCache(cached, kSmallEntryPosition);
  const Extracted refused = Extract(broken, kSmallEntryPosition);
  EXPECT_EQ(refused.result, kResultBadFormat);
  EXPECT_EQ(refused.reason, Failure::kEntryTooSmallForPicture);
  EXPECT_TRUE(ViewCache(cached, kSmallEntryPosition) == before);
  EXPECT_EQ(Extract(other, kSmallEntryPosition).result, kResultSuccess);
  EXPECT_EQ(Listing(other).size(), 2u);
}

// ---- Truncations ------------------------------------------------------------

// The small archive cut at every length fails with the code of the first
// check the cut breaks.
TEST_F(NamedEntryArchiveTest, EveryTruncationOfTheSmallArchiveGetsItsCode) {
  const Bytes small = SmallNamedArchive();
  std::string cached = WriteScratchFile("cached", small);
  ASSERT_EQ(Parse(cached), Failure::kNone);
  for (size_t length = 0; length < small.size(); ++length) {
    int expected = length < 16    ? 6   // count or record 0 incomplete
                   : length < 804 ? 2   // an offset not below the file size
                   : length < 812 ? 6   // the last entry's header incomplete
                                  : 2;  // the last entry too small
    const Failure reason = length < 16    ? Failure::kFileEndsEarly
                           : length < 804 ? Failure::kEntryPositionPastEnd
                           : length < 812 ? Failure::kFileEndsEarly
                                          : Failure::kEntryTooSmallForPicture;
    const Failure parsed = Parse(WriteScratchFile("cut", Cut(small, length)));
    EXPECT_EQ(parsed, reason) << length;
    EXPECT_EQ(ResultCodeOf(parsed), expected) << length;
  }
  EXPECT_EQ(Listing(cached).size(), 2u);
}

// A larger archive cut at every length: whatever parses extracts within its
// blocks (the sanitizers watch), and nothing leaks.
TEST_F(NamedEntryArchiveTest, TruncationsAtEveryLengthStayInsideTheirBlocks) {
  std::vector<NamedEntry> entries = {MakeNamedEntry("one", 3, 2, 1, true, 5),
                                     MakeNamedEntry("Palette", 1, 1, 2, true),
                                     MakeNamedEntry("three", 6, 3, 3, false, 2)};
  const Bytes file = BuildNamedEntryArchive(entries);
  for (size_t length = 0; length <= file.size(); ++length) {
    std::string path = WriteScratchFile("cutmore", Cut(file, length));
    int result = ResultCodeOf(Parse(path));
    ASSERT_TRUE(result == 0 || result == 2 || result == 6) << length << ": " << result;
    if (result != kResultSuccess) continue;
    for (const fileInfo& record : Listing(path)) {
      Extracted extracted = Extract(path, static_cast<uint32_t>(record.position));
      ASSERT_TRUE(extracted.result == 0 || extracted.result == 6) << length;
      if (extracted.result == 0) {
        EXPECT_EQ(extracted.bytes.size(), record.filesize);
      }
    }
  }
}

// ---- Injected faults --------------------------------------------------------

// Entries spread over about four reader windows, so that faults hit window
// refills.
std::vector<NamedEntry> SpreadEntries() {
  const uint32_t height = kReaderWindowBytes / 256;
  std::vector<NamedEntry> entries;
  for (int i = 0; i < 20; ++i)
    entries.push_back(MakeNamedEntry("entry" + std::to_string(i), 40 + i, height,
                                     static_cast<uint8_t>(i), i % 3 == 0, i % 4 == 1 ? 50 : 0));
  entries.insert(entries.begin() + 11, MakeNamedEntry("Palette", 64, 64, 99, true));
  return entries;
}

struct Fault {
  platform::PlatformOperation op;
  long shortBy;
  int result;
};
const Fault kParseFaults[] = {
    {platform::kOpOpen, 0, 6}, {platform::kOpSize, 0, 6}, {platform::kOpRead, 0, 6}, {platform::kOpRead, 1, 6}, {platform::kOpAlloc, 0, 4},
    {platform::kOpLock, 0, 4},
};

TEST_F(NamedEntryArchiveTest, ParseFaultsAtEveryPointLeaveTheCacheAsItWas) {
  SKIP_UNLESS(Need::kFullHooks);
  auto& hooks = TestHooks();
  std::string cached = WriteScratchFile("cached", SmallNamedArchive());
  std::string path = WriteScratchFile("spread", BuildNamedEntryArchive(SpreadEntries()));

  platform::ResetPlatformFaults(hooks);
  ASSERT_EQ(Parse(path), Failure::kNone);
  long calls[platform::kOpCount];
  for (int op = 0; op < platform::kOpCount; ++op) calls[op] = hooks.calls[op];
  const Bytes listing = ListingBytes(path);
  EXPECT_GT(calls[platform::kOpRead], 2) << "the archive should span several windows";
  // (What a parse may read and allocate: EveryOperationStaysWithinItsBudget.)

  ASSERT_EQ(Parse(cached), Failure::kNone);
  const CacheView before = ViewCache(cached, kSmallEntryPosition);
  const long live = hooks.liveBlocks;
  for (const Fault& fault : kParseFaults) {
    for (long at = 1; at <= calls[fault.op]; ++at) {
      platform::ResetPlatformFaults(hooks);
      hooks.failAt[fault.op] = at;
      hooks.readShortBy = fault.shortBy;
      int result = ResultCodeOf(Parse(path));
      platform::ResetPlatformFaults(hooks);
      SCOPED_TRACE(testing::Message() << "operation " << fault.op << " call " << at << " short by "
                                      << fault.shortBy);
      // A window read one byte short may still hold every field it is asked
      // for; then the parse must be the unfaulted one.
      if (result == kResultSuccess && fault.op == platform::kOpRead && fault.shortBy > 0) {
        EXPECT_EQ(ListingBytes(path), listing);
        ASSERT_EQ(Parse(cached), Failure::kNone);
        continue;
      }
      EXPECT_EQ(result, fault.result);
      EXPECT_EQ(hooks.liveBlocks, live) << "leaked";
      EXPECT_TRUE(ViewCache(cached, kSmallEntryPosition) == before);
    }
  }
}

TEST_F(NamedEntryArchiveTest, ExtractFaultsAtEveryPointHandOutNothing) {
  SKIP_UNLESS(Need::kFullHooks);
  auto& hooks = TestHooks();
  std::vector<NamedEntry> entries = SpreadEntries();
  std::string path = WriteScratchFile("spread", BuildNamedEntryArchive(entries));
  ASSERT_EQ(Parse(path), Failure::kNone);
  std::vector<fileInfo> records = Listing(path);
  const Fault faults[] = {
      {platform::kOpAlloc, 0, 4}, {platform::kOpLock, 0, 4}, {platform::kOpOpen, 0, 6},
      {platform::kOpRead, 0, 6}, {platform::kOpRead, 1, 6},
  };
  const long live = hooks.liveBlocks;
  for (size_t index : {size_t{0}, size_t{1}, size_t{11}}) {  // own, shared, Palette
    uint32_t position = static_cast<uint32_t>(records[index].position);
    platform::ResetPlatformFaults(hooks);
    HGLOBAL block = nullptr;
    ASSERT_EQ(ExtractEntry(LocateNamedEntry, path.c_str(), position, &block), Failure::kNone);
    long calls[platform::kOpCount];
    for (int op = 0; op < platform::kOpCount; ++op) calls[op] = hooks.calls[op];
    const Bytes good = BlockBytes(block);
    platform::GlobalFree(block);
    for (const Fault& fault : faults) {
      for (long at = 1; at <= calls[fault.op]; ++at) {
        platform::ResetPlatformFaults(hooks);
        hooks.failAt[fault.op] = at;
        hooks.readShortBy = fault.shortBy;
        HGLOBAL slot = kUntouched;
        int result = ResultCodeOf(ExtractEntry(LocateNamedEntry, path.c_str(), position, &slot));
        platform::ResetPlatformFaults(hooks);
        EXPECT_EQ(result, fault.result) << "entry " << index << " operation " << fault.op
                                        << " call " << at;
        EXPECT_EQ(slot, kUntouched);
        EXPECT_EQ(hooks.liveBlocks, live) << "leaked";
      }
    }
    EXPECT_EQ(Extract(path, position).bytes, good);
  }
}

// A count field alone reserves nothing: the memory a parse holds follows the
// records the file really has.
TEST_F(NamedEntryArchiveTest, AGarbageCountReservesNoMemory) {
  SKIP_UNLESS(Need::kFullHooks);
  auto& hooks = TestHooks();
  Bytes file = BuildNamedEntryArchive(SpreadEntries());
  std::string path = WriteScratchFile("garbage", With32(file, 0, 0xFFFFFFF0u));
  const long long base = hooks.liveBytes;
  hooks.peakLiveBytes = base;
  EXPECT_NE(Parse(path), Failure::kNone);
  EXPECT_LT(hooks.peakLiveBytes - base, 64 * 1024);
  EXPECT_EQ(hooks.liveBytes, base);
}

}  // namespace

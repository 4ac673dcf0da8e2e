// The directory cache: installing, reusing, listing and looking up entries,
// driven by the test layouts of tests/support/test_layouts.h.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>


#include "archive-extractor/directory_array.h"
#include "archive-extractor/directory_cache.h"
#include "archive-extractor/layouts.h"
#include "tests/support/extractor_fixture.h"
#include "tests/support/failure_print.h"
#include "tests/support/untouched.h"

using namespace korvo;
using namespace extractor_test;

namespace {

const ArchiveParser kParseOne = kTestLayouts[0].parse;
const ArchiveParser kParseTwo = kTestLayouts[1].parse;

const std::vector<TestEntry> kThreeEntries = {
    {"00000010.QKZ", 5, 0x10}, {"Second.QKZ", 7, 0x20}, {"third.QKZ", 1, 0x30}};

// ---- Records and arrays ---------------------------------------------------

TEST(FillDirectoryRecordTest, DefinesEveryByteOfTheRecord) {
  const std::string longName(250, 'n');
  struct Case {
    const char* name;
    size_t storedLength;  // bytes of the name kept before the NUL
  } cases[] = {{"00000008.QKZ", 12}, {".QKZ", 4}, {"", 0}, {longName.c_str(), 199}};
  for (const Case& c : cases) {
    fileInfo record = Untouched<fileInfo>();
    FillDirectoryRecord(&record, 0x12345678u, 0xFFFFFFFFu, 1036, c.name);
    EXPECT_EQ(std::memcmp(record.method, "IfKorvo", 8), 0);
    EXPECT_EQ(record.position, 0x12345678u);
    EXPECT_EQ(record.compsize, 0xFFFFFFFFu);
    EXPECT_EQ(record.filesize, 1036u);
    EXPECT_EQ(record.timestamp, 0u);
    EXPECT_EQ(record.crc, 0u);
    EXPECT_EQ(std::memcmp(record.filename, c.name, c.storedLength), 0) << c.name;
    for (size_t i = c.storedLength; i < sizeof record.filename; ++i)
      ASSERT_EQ(record.filename[i], 0) << c.name << " byte " << i;
    for (char byte : record.path) ASSERT_EQ(byte, 0);
#if UINTPTR_MAX > 0xFFFFFFFFu
    for (char byte : record.padding) ASSERT_EQ(byte, 0);
#endif
  }
}

class AppendDirectoryEntryTest : public ExtractorTest {};

TEST_F(AppendDirectoryEntryTest, FailuresLeaveNoBlockAndAnEmptyArray) {
  SKIP_UNLESS(Need::kFullHooks);
  struct Case {
    const char* name;  // nullptr: named by position
    int failingOp;
  } cases[] = {{nullptr, platform::kOpAlloc},
               {"Palette", platform::kOpAlloc},
               {nullptr, platform::kOpLock},
               {"Palette", platform::kOpLock}};
  for (const Case& c : cases) {
    platform::ResetPlatformFaults(TestHooks());
    TestHooks().failAt[c.failingOp] = 1;
    long live = TestHooks().liveBlocks;
    DirectoryArray array = kEmptyDirectoryArray;
    EXPECT_FALSE(AppendDirectoryEntry(&array, 8, 1036, 1036, c.name, c.name ? 7 : 0));
    EXPECT_EQ(array.block, nullptr);
    EXPECT_EQ(array.count, 0u);
    EXPECT_EQ(array.nameBytes, 0u);
    EXPECT_EQ(TestHooks().liveBlocks, live);
  }
  platform::ResetPlatformFaults(TestHooks());
}

// Each way of naming an entry gives the listed name, and its record carries
// the directory's time stamp.
TEST_F(AppendDirectoryEntryTest, BuildsTheRecordsAHostSees) {
  struct Case {
    const char* stored;  // nullptr: named by position
    const char* listed;
  } cases[] = {{nullptr, "0001A2B3.QKZ"},
               {"Palette", "Palette.QKZ"},
               {"", ".QKZ"},
               {"0123456789012345678901234567890", "0123456789012345678901234567890.QKZ"},
               {"first.QKZ", "first.QKZ.QKZ"}};
  DirectoryArray array = kEmptyDirectoryArray;
  array.timestamp = 1234567;
  for (const Case& c : cases)
    ASSERT_TRUE(AppendDirectoryEntry(&array, 0x1A2B3, 40, 1036, c.stored,
                                     c.stored == nullptr ? 0 : static_cast<uint32_t>(strlen(c.stored))));
  for (uint32_t i = 0; i < array.count; ++i) {
    fileInfo built = Untouched<fileInfo>(), expected = Untouched<fileInfo>();
    BuildDirectoryRecord(array, i, &built);
    FillDirectoryRecord(&expected, 0x1A2B3, 40, 1036, cases[i].listed, 1234567);
    EXPECT_TRUE(SameRecord(built, expected)) << cases[i].listed;
    EXPECT_EQ(FirstNameByte(array, i), cases[i].listed[0]) << cases[i].listed;
  }
  FreeDirectoryArray(&array);
}

// An array following a reference counts the entries equal to the reference's
// and stores nothing; at the first difference (a position, a size, a name
// or whether it is named by position) or at a shorter end it stores all it has.
TEST_F(AppendDirectoryEntryTest, FollowsItsReferenceUntilTheFirstDifference) {
  struct Appended {
    uint32_t position, compsize;
    const char* name;  // nullptr: named by position
  };
  const std::vector<Appended> referenced = {{4, 10, "a"}, {14, 20, "bb"}, {34, 5, nullptr}};
  struct Case {
    const char* what;
    std::vector<Appended> appended;
    bool copy;
  } cases[] = {
      {"the same", referenced, true},
      {"a name", {referenced[0], {14, 20, "bB"}, referenced[2]}, false},
      {"named, not by position", {referenced[0], referenced[1], {34, 5, ""}}, false},
      {"by position, not named", {referenced[0], {14, 20, nullptr}}, false},
      {"a size", {referenced[0], referenced[1], {34, 6, nullptr}}, false},
      {"fewer", {referenced[0], referenced[1]}, false},
      {"more", {referenced[0], referenced[1], referenced[2], {39, 1, "z"}}, false},
      {"none", {}, false},
  };
  auto append = [](DirectoryArray* array, const Appended& a) {
    uint32_t length = a.name == nullptr ? 0 : static_cast<uint32_t>(strlen(a.name));
    return AppendDirectoryEntry(array, a.position, a.compsize, a.compsize, a.name, length);
  };
  DirectoryArray reference = kEmptyDirectoryArray;
  for (const Appended& a : referenced) ASSERT_TRUE(append(&reference, a));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DirectoryArray array = kEmptyDirectoryArray;
    array.reference = &reference;
    for (const Appended& a : c.appended) ASSERT_TRUE(append(&array, a));
    ASSERT_TRUE(FinishDirectoryArray(&array));
    EXPECT_EQ(IsReferenceCopy(array), c.copy);
    EXPECT_EQ(array.block == nullptr, c.copy || c.appended.empty());
    // Stored or followed, the array lists exactly what was appended.
    const DirectoryArray& listed = c.copy ? reference : array;
    ASSERT_EQ(listed.count, c.appended.size());
    DirectoryArray expected = kEmptyDirectoryArray;
    for (const Appended& a : c.appended) ASSERT_TRUE(append(&expected, a));
    for (uint32_t i = 0; i < listed.count; ++i) {
      fileInfo got = Untouched<fileInfo>(), want = Untouched<fileInfo>();
      BuildDirectoryRecord(listed, i, &got);
      BuildDirectoryRecord(expected, i, &want);
      EXPECT_TRUE(SameRecord(got, want)) << i;
    }
    FreeDirectoryArray(&expected);
    FreeDirectoryArray(&array);
  }
  FreeDirectoryArray(&reference);
}

// ---- Listing ---------------------------------------------------------------

class ListDirectoryTest : public ExtractorTest {};

TEST_F(ListDirectoryTest, ListsTheRecordsAsCachedThenAZeroRecord) {
  const std::vector<std::vector<TestEntry>> archives = {
      {}, {{"Only.QKZ", 3, 1}}, kThreeEntries};
  for (size_t a = 0; a < archives.size(); ++a) {
    const std::vector<TestEntry>& entries = archives[a];
    std::string path = WriteScratchFile("list" + std::to_string(a), BuildTestArchive("TLA1", entries));
    HGLOBAL block = nullptr;
    ASSERT_EQ(ListDirectory<fileInfo>(path.c_str(), kParseOne, &block), Failure::kNone);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(LockCount(block), 0u) << "handed over locked";
    Bytes bytes = BlockBytes(block);
    ASSERT_EQ(bytes.size(), (entries.size() + 1) * sizeof(fileInfo));
    for (size_t i = 0; i < entries.size(); ++i) {
      fileInfo expected = ExpectedRecord(entries, i, false);
      EXPECT_EQ(std::memcmp(bytes.data() + i * sizeof(fileInfo), &expected, sizeof expected), 0)
          << "archive " << a << " record " << i;
    }
    for (size_t i = entries.size() * sizeof(fileInfo); i < bytes.size(); ++i)
      ASSERT_EQ(bytes[i], 0) << "end record byte " << i;
    platform::GlobalFree(block);
  }
}

TEST_F(ListDirectoryTest, FailuresHandOutNothingAndReleaseTheLock) {
  std::string path = WriteScratchFile("list-fail", BuildTestArchive("TLA1", kThreeEntries));
  std::string otherTag = WriteScratchFile("list-fail-tag", BuildTestArchive("TLA2", kThreeEntries));
  std::string missing = ScratchDirectory() + "list-missing";
  struct Case {
    const std::string* path;
    int failingOp;  // -1: none
    int expected;
    Failure reason;
  } cases[] = {
      {&otherTag, -1, kResultBadFormat, Failure::kNotThisLayout},
      {&missing, -1, kResultFileError, Failure::kCannotOpen},
      {&path, platform::kOpAlloc, kResultMemoryError, Failure::kNoMemory},
      {&path, platform::kOpLock, kResultMemoryError, Failure::kNoMemory},
  };
  for (const Case& c : cases) {
    if (c.failingOp >= 0 && !kHasFullHooks) continue;  // no faults injected here
    // Cached first, so that only the listing's own block can fail. The lock
    // is left even when the assertion fails, so later tests do not hang.
    {
      ScopedDirectoryLock lock;
      ASSERT_EQ(EnsureDirectory(path.c_str(), kParseOne), Failure::kNone);
    }
    platform::ResetPlatformFaults(TestHooks());
    long live = TestHooks().liveBlocks;
    if (c.failingOp >= 0) TestHooks().failAt[c.failingOp] = 1;
    HGLOBAL block = kUntouched;
    const Failure reason = ListDirectory<fileInfo>(c.path->c_str(), kParseOne, &block);
    EXPECT_EQ(reason, c.reason) << *c.path;
    EXPECT_EQ(ResultCodeOf(reason), c.expected) << *c.path;
    EXPECT_EQ(block, kUntouched) << "slot written on failure";
    EXPECT_EQ(TestHooks().liveBlocks, live) << "block left alive";
    platform::ResetPlatformFaults(TestHooks());
    // The lock was released: a listing of the cached archive still runs.
    block = nullptr;
    ASSERT_EQ(ListDirectory<fileInfo>(path.c_str(), kParseOne, &block), Failure::kNone);
    EXPECT_EQ(platform::GlobalSize(block), 4 * sizeof(fileInfo));
    platform::GlobalFree(block);
  }
}

// ---- Lookup by name and by position ---------------------------------------

class FindEntryTest : public ExtractorTest {};

TEST_F(FindEntryTest, FindsByNameExactlyOrIgnoringAsciiCase) {
  const std::vector<TestEntry> entries = {
      {"PICTURE.QKZ", 1, 0},      {"picture.QKZ", 1, 0},       {"Same.QKZ", 1, 0},
      {"Same.QKZ", 2, 0},         {"\xC9t\xE9.QKZ", 1, 0},     {"[x].QKZ", 1, 0},
      {"@.QKZ", 1, 0},            {"\xE4.QKZ", 1, 0}};
  std::string path = WriteScratchFile("names", BuildTestArchive("TLA1", entries));
  struct Case {
    const char* name;
    unsigned flag;
    int index;  // -1: not found
  } cases[] = {
      {"PICTURE.QKZ", 0, 0},
      {"picture.QKZ", 0, 1},
      {"Picture.qkz", 0, -1},
      {"Picture.qkz", 0x80, 0},
      {"pICTURE.QKZ", 0x80, 0},
      {"picture.qkz", 0xFFFFFFFFu, 0},
      {"Picture.qkz", 0xFFFFFF7Fu, -1},  // no other bit turns case off
      {"PICTURE.QKZ", 0xFFFFFF7Fu, 0},
      {"Same.QKZ", 0, 2},                // the first of two equal names
      {"sAME.qkz", 0x80, 2},
      {"\xC9t\xE9.QKZ", 0, 4},
      {"\xC9T\xE9.qkz", 0x80, 4},        // ASCII folded, the rest exact
      {"\xE9t\xE9.QKZ", 0x80, -1},       // 0xC9 and 0xE9 are different bytes
      {"\xC9t\xC9.QKZ", 0x80, -1},
      {"\xC4.QKZ", 0x80, -1},
      {"\xE4.qkz", 0x80, 7},
      {"[X].qkz", 0x80, 5},
      {"{x}.QKZ", 0x80, -1},             // only A-Z fold, not [ \ ] ^ _ @
      {"@.qkz", 0x80, 6},
      {"`.QKZ", 0x80, -1},
      {"PICTURE", 0, -1},
      {"PICTURE.QKZX", 0, -1},
      {"", 0x80, -1},
      {"", 0, -1},
  };
  for (const Case& c : cases) {
    fileInfo record = Untouched<fileInfo>();
    const Failure result = FindEntryByName(path.c_str(), kParseOne, c.name, c.flag, &record);
    if (c.index < 0) {
      EXPECT_EQ(result, Failure::kNoEntryNamed) << c.name << " flag " << c.flag;
      EXPECT_EQ(ResultCodeOf(result), kResultNotHandled) << c.name << " flag " << c.flag;
      EXPECT_TRUE(SameRecord(record, Untouched<fileInfo>())) << "record written for " << c.name;
    } else {
      ASSERT_EQ(result, Failure::kNone) << c.name << " flag " << c.flag;
      EXPECT_TRUE(SameRecord(record, ExpectedRecord(entries, c.index, false)))
          << c.name << " flag " << c.flag << " should find entry " << c.index;
    }
  }
  EXPECT_EQ(testParses[0], 1) << "the directory was parsed once and then reused";
}

TEST_F(FindEntryTest, PassesUpTheParsersCodeAndWritesNothing) {
  std::string path = WriteScratchFile("names-tag", BuildTestArchive("TLA2", kThreeEntries));
  fileInfo record = Untouched<fileInfo>();
  const Failure otherTag = FindEntryByName(path.c_str(), kParseOne, "Second.QKZ", 0, &record);
  EXPECT_EQ(otherTag, Failure::kNotThisLayout);
  EXPECT_EQ(ResultCodeOf(otherTag), kResultBadFormat);
  std::string missing = ScratchDirectory() + "names-missing";
  const Failure absent = FindEntryByName(missing.c_str(), kParseOne, "Second.QKZ", 0, &record);
  EXPECT_EQ(absent, Failure::kCannotOpen);
  EXPECT_EQ(ResultCodeOf(absent), kResultFileError);
  EXPECT_TRUE(SameRecord(record, Untouched<fileInfo>()));
}

TEST_F(FindEntryTest, FindsTheFirstEntryAtAPosition) {
  // d is a second record at b's position.
  std::vector<TestEntry> entries = {
      {"a.QKZ", 4, 1}, {"b.QKZ", 4, 2}, {"c.QKZ", 4, 3}, {"d.QKZ", 4, 2, 1}};
  uint32_t shared = TestEntryPosition(entries, 1, false);
  entries[3].position = shared;
  std::string path = WriteScratchFile("positions", BuildTestArchive("TLA1", entries));
  struct Case {
    ULONG_PTR position;
    int index;
  } cases[] = {{TestEntryPosition(entries, 0, false), 0},
               {shared, 1},
               {TestEntryPosition(entries, 2, false), 2},
               {shared + 1, -1},
               {0, -1}};
  for (const Case& c : cases) {
    fileInfo entry = Untouched<fileInfo>();
    const Failure result =
        LookUpEntryForExtract(path.c_str(), kParseOne, c.position, &entry, nullptr);
    uint32_t index = kNoEntry;
    {
      ScopedDirectoryLock lock;
      index = FindEntryByPosition(c.position);
    }
    if (c.index < 0) {
      EXPECT_EQ(result, Failure::kNoEntryAtPosition) << c.position;
      EXPECT_EQ(ResultCodeOf(result), kResultNotHandled) << c.position;
      EXPECT_EQ(index, kNoEntry);
      EXPECT_TRUE(SameRecord(entry, Untouched<fileInfo>()));
    } else {
      EXPECT_EQ(result, Failure::kNone) << c.position;
      EXPECT_EQ(index, static_cast<uint32_t>(c.index));
      EXPECT_TRUE(SameRecord(entry, ExpectedRecord(entries, c.index, false))) << c.position;
    }
  }
}

// ---- Reuse and replacement -------------------------------------------------

class EnsureDirectoryTest : public ExtractorTest {
 protected:
  static Failure Ensure(const std::string& path, ArchiveParser parser = kParseOne) {
    ScopedDirectoryLock lock;
    return EnsureDirectory(path.c_str(), parser);
  }

  // The names of the cached listing, which tell which archive is cached.
  static std::vector<std::string> CachedNames(const std::string& path) {
    std::vector<std::string> names;
    HGLOBAL block = nullptr;
    if (ListDirectory<fileInfo>(path.c_str(), kParseOne, &block) != Failure::kNone) return names;
    Bytes bytes = BlockBytes(block);
    for (size_t at = 0; bytes[at] != 0; at += sizeof(fileInfo))
      names.push_back(reinterpret_cast<const fileInfo*>(&bytes[at])->filename);
    platform::GlobalFree(block);
    return names;
  }
};

TEST_F(EnsureDirectoryTest, ReusesOnlyTheIdenticalPathString) {
  std::string path = WriteScratchFile("Reuse.tla", BuildTestArchive("TLA1", kThreeEntries));
  std::string otherCase = ScratchDirectory() + "REUSE.TLA";
  WriteScratchFile("REUSE.TLA", BuildTestArchive("TLA1", kThreeEntries));
  struct Step {
    const std::string* path;
    bool parses;  // false: the cached directory serves
  } steps[] = {{&path, true}, {&path, false}, {&otherCase, true}, {&otherCase, false}, {&path, true}};
  for (const Step& step : steps) {
    const int before = testParses[0];
    EXPECT_EQ(Ensure(*step.path), Failure::kNone) << *step.path;
    EXPECT_EQ(testParses[0] > before, step.parses) << *step.path;
  }
  // A reused directory is never checked against the file again.
  std::remove(path.c_str());
  std::remove(otherCase.c_str());
  // Gone from the disk: served from the cache, or it would fail to open.
  const int before = testParses[0];
  EXPECT_EQ(Ensure(path), Failure::kNone);
  EXPECT_EQ(testParses[0], before) << "parsed again";
  // The other layout's parser accepts the same cached directory.
  EXPECT_EQ(Ensure(path, kParseTwo), Failure::kNone);
  EXPECT_EQ(testParses[1], 0);
}

TEST_F(EnsureDirectoryTest, AFailedParseLeavesThePreviousDirectory) {
  std::string path = WriteScratchFile("keep", BuildTestArchive("TLA1", kThreeEntries));
  Bytes truncated = BuildTestArchive("TLA1", kThreeEntries);
  truncated.resize(12 + 40 + 10);  // ends inside the second record
  struct Case {
    std::string path;
    int expected;
    Failure reason;
  } cases[] = {
      {WriteScratchFile("keep-tag", BuildTestArchive("TLA2", {{"x.QKZ", 1, 0}})), kResultBadFormat,
       Failure::kNotThisLayout},
      {WriteScratchFile("keep-short", truncated), kResultFileError, Failure::kFileEndsEarly},
      {ScratchDirectory() + "keep-missing", kResultFileError, Failure::kCannotOpen},
      {"", kResultFileError, Failure::kCannotOpen},
  };
  ASSERT_EQ(Ensure(path), Failure::kNone);
  for (const Case& c : cases) {
    const Failure reason = Ensure(c.path);
    EXPECT_EQ(reason, c.reason) << c.path;
    EXPECT_EQ(ResultCodeOf(reason), c.expected) << c.path;
    int parses = testParses[0];
    EXPECT_EQ(Ensure(path), Failure::kNone);
    EXPECT_EQ(testParses[0], parses) << "the previous directory was not kept";
  }
  EXPECT_EQ(CachedNames(path),
            (std::vector<std::string>{"00000010.QKZ", "Second.QKZ", "third.QKZ"}));
}

TEST_F(EnsureDirectoryTest, AnEmptyCacheMatchesNoPath) {
  // Freshly loaded: not even the empty path counts as cached, so its open
  // is tried.
  const Failure reason = Ensure("");
  EXPECT_EQ(reason, Failure::kCannotOpen);
  EXPECT_EQ(ResultCodeOf(reason), kResultFileError);
}

TEST_F(EnsureDirectoryTest, APathTooLongForTheCacheIsServedButNotKept) {
  SKIP_UNLESS(Need::kPathsBeyondMaxPath);
  const std::string folderName(200, 'f');
  const std::string folder = ScratchDirectory() + folderName;
  std::filesystem::create_directory(folder);
  std::string shortPath = WriteScratchFile("short", BuildTestArchive("TLA1", kThreeEntries));
  struct Case {
    size_t length;  // bytes of the path without its NUL
    bool kept;
  } cases[] = {{kCachedPathBytes - 1, true}, {kCachedPathBytes, false}, {400, false}};
  for (const Case& c : cases) {
    ASSERT_GT(c.length, folder.size() + 1);
    std::string name(c.length - folder.size() - 1, 'p');
    ASSERT_LE(name.size(), 255u);
    std::string path =
        WriteScratchFile(folderName + "/" + name, BuildTestArchive("TLA1", kThreeEntries));
    ASSERT_EQ(path.size(), c.length);

    ASSERT_EQ(Ensure(shortPath), Failure::kNone);
    ResetTestLayoutCounts();
    EXPECT_EQ(Ensure(path), Failure::kNone) << c.length;
    EXPECT_EQ(Ensure(path), Failure::kNone) << c.length;
    EXPECT_EQ(testParses[0], c.kept ? 1 : 2) << c.length;
    // Served all the same: the listing parses it again and lists it.
    EXPECT_EQ(CachedNames(path).size(), 3u) << c.length;
    // The short path was replaced either way.
    ResetTestLayoutCounts();
    EXPECT_EQ(Ensure(shortPath), Failure::kNone);
    EXPECT_EQ(testParses[0], 1) << c.length;
  }
}

// ---- Shared palette and the library's load and unload ----------------------

class SharedPaletteTest : public ExtractorTest {
 protected:
  static Triples ExtractPalette(const std::string& path, ArchiveParser parser,
                                    ULONG_PTR position) {
    Triples palette = {};
    fileInfo entry;
    EXPECT_EQ(LookUpEntryForExtract(path.c_str(), parser, position, &entry, palette.data()),
              Failure::kNone);
    return palette;
  }
};

TEST_F(SharedPaletteTest, ChangesOnlyWithASuccessfulParseThatBringsOne) {
  const std::vector<TestEntry> entries = {{"e.QKZ", 2, 9}};
  Triples first = MakeTriples(1), second = MakeTriples(50), third = MakeTriples(99);
  std::string withFirst = WriteScratchFile("pal-1", BuildTestArchive("TLA2", entries, &first));
  std::string layoutOne = WriteScratchFile("pal-one", BuildTestArchive("TLA1", entries, &second));
  std::string withThird = WriteScratchFile("pal-3", BuildTestArchive("TLA2", entries, &third));
  Bytes broken = BuildTestArchive("TLA2", entries, &second);
  broken.resize(broken.size() - 2 - 20);  // palette read, record cut short
  std::string brokenPath = WriteScratchFile("pal-broken", broken);
  uint32_t at = TestEntryPosition(entries, 0, true);

  EXPECT_EQ(ExtractPalette(withFirst, kParseTwo, at), first);
  // The first layout leaves the palette alone.
  EXPECT_EQ(ExtractPalette(layoutOne, kParseOne, at), first);
  EXPECT_EQ(ExtractPalette(withThird, kParseTwo, at), third);
  // A parse that read a palette and then failed installs neither.
  {
    ScopedDirectoryLock lock;
    const Failure cutShort = EnsureDirectory(brokenPath.c_str(), kParseTwo);
    EXPECT_EQ(cutShort, Failure::kFileEndsEarly);
    EXPECT_EQ(ResultCodeOf(cutShort), kResultFileError);
  }
  EXPECT_EQ(ExtractPalette(withThird, kParseTwo, at), third);
  EXPECT_EQ(testParses[1], 3);
}

TEST_F(SharedPaletteTest, AnExtractNeverTrustsADirectoryOfTheOtherLayout) {
  const std::vector<TestEntry> entries = {{"e.QKZ", 2, 9}};
  const Triples own = MakeTriples(7);
  std::string both = WriteScratchFile("pal-both", BuildTestArchive("TLAB", entries, &own));
  const uint32_t at = TestEntryPosition(entries, 0, true);
  // Layout one caches the archive and leaves the palette alone; layout two's
  // extract parses it again and brings the archive's palette.
  ASSERT_EQ(ParseWith(kParseOne, both.c_str()), Failure::kNone);
  EXPECT_EQ(ExtractPalette(both, kParseTwo, at), own);
  EXPECT_EQ(testParses[1], 1);
  EXPECT_EQ(ExtractPalette(both, kParseTwo, at), own);
  EXPECT_EQ(testParses[1], 1) << "its own directory was not reused";
  fileInfo entry;
  EXPECT_EQ(LookUpEntryForExtract(both.c_str(), kParseOne, at, &entry, nullptr), Failure::kNone);
  EXPECT_EQ(testParses[0], 2);
}

TEST_F(SharedPaletteTest, UnloadFreesTheCachedArrayAndLoadEmptiesTheCache) {
  std::string path = WriteScratchFile("unload", BuildTestArchive("TLA1", kThreeEntries));
  long live = TestHooks().liveBlocks;
  fileInfo entry;
  ASSERT_EQ(LookUpEntryForExtract(path.c_str(), kParseOne, TestEntryPosition(kThreeEntries, 0, false),
                                  &entry, nullptr),
            Failure::kNone);
  EXPECT_EQ(TestHooks().liveBlocks, live + 1);
  UnloadDirectoryCache();
  EXPECT_EQ(TestHooks().liveBlocks, live);
  LoadDirectoryCache();
  ASSERT_EQ(LookUpEntryForExtract(path.c_str(), kParseOne, TestEntryPosition(kThreeEntries, 0, false),
                                  &entry, nullptr),
            Failure::kNone);
  EXPECT_EQ(testParses[0], 2) << "a reloaded cache still held the archive";
}

}  // namespace

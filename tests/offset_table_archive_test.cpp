// The offset-table archive's parser and extract operation, called directly:
// the code of every malformed or edge-case file, the records of accepted ones,
// the bytes handed out, files that change after their parse, faults injected
// at every file and memory operation, and truncations at every length.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive-extractor/archive_reader.h"
#include "archive-extractor/offset_table_archive.h"
#include "host-contract/block_owner.h"
#include "host-contract/scope_guard.h"
#include "tests/support/extractor_fixture.h"
#include "tests/support/failure_print.h"
#include "tests/support/test_pictures.h"
#include "tests/support/untouched.h"
#include "tools/archive-writer/archive_writer.h"

using namespace korvo;
using namespace extractor_test;

namespace {

Failure Parse(const std::string& path) { return ParseWith(ParseOffsetTableArchive, path.c_str()); }

Bytes Le32s(std::initializer_list<uint32_t> values) {
  Bytes bytes;
  for (uint32_t value : values) AppendLe32(bytes, value);
  return bytes;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes bytes;
  for (const Bytes& part : parts) bytes.insert(bytes.end(), part.begin(), part.end());
  return bytes;
}

Bytes Cut(Bytes bytes, size_t size) {
  bytes.resize(size);
  return bytes;
}

Bytes Filler(size_t size) { return Bytes(size, 0x77); }

struct Listed {
  uint32_t position;
  uint32_t size;
  const char* name;
};

// The cached directory as ListDirectory hands it out, its end record checked.
std::vector<fileInfo> Listing(const std::string& path) {
  HGLOBAL block = nullptr;
  Failure failure = ListDirectory<fileInfo>(path.c_str(), ParseOffsetTableArchive, &block);
  if (failure != Failure::kNone) {
    ADD_FAILURE() << "listing " << path << ": " << testing::PrintToString(failure);
    return {};
  }
  Bytes bytes = BlockBytes(block);
  platform::GlobalFree(block);
  size_t count = bytes.size() / sizeof(fileInfo) - 1;
  for (size_t i = count * sizeof(fileInfo); i < bytes.size(); ++i)
    if (bytes[i] != 0) ADD_FAILURE() << "end record byte " << i;
  std::vector<fileInfo> records(count);
  if (count > 0) std::memcpy(records.data(), bytes.data(), count * sizeof(fileInfo));
  return records;
}

void ExpectRecords(const std::vector<fileInfo>& records, const std::vector<Listed>& expected) {
  ASSERT_EQ(records.size(), expected.size());
  for (size_t i = 0; i < records.size(); ++i) {
    const fileInfo& record = records[i];
    SCOPED_TRACE(testing::Message() << "record " << i);
    EXPECT_EQ(std::memcmp(record.method, "IfKorvo", 8), 0);
    EXPECT_EQ(record.position, expected[i].position);
    EXPECT_EQ(record.compsize, expected[i].size);
    EXPECT_EQ(record.filesize, expected[i].size);
    EXPECT_EQ(record.path[0], '\0');
    EXPECT_STREQ(record.filename, expected[i].name);
  }
}

bool SameListing(const std::vector<fileInfo>& a, const std::vector<fileInfo>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(fileInfo)) == 0);
}

struct Extracted {
  int result;  // the code a host would see
  Failure reason;
  HGLOBAL block;
};

Extracted Extract(const std::string& path, ULONG_PTR position) {
  Extracted out = {-100, Failure::kNone, kUntouched};
  out.reason = ExtractEntry(LocateOffsetTableEntry, path.c_str(), position, &out.block);
  out.result = ResultCodeOf(out.reason);
  return out;
}

// ---- Malformed and edge-case files -----------------------------------------

class OffsetTableParseTest : public ExtractorTest {};

TEST_F(OffsetTableParseTest, EveryFileGetsItsCodeAndAcceptedOnesTheirRecords) {
  const Bytes picture32 = MakeQkzPicture(3, 2, 0, 1);  // 1040 bytes
  const Bytes picture42 = MakeQkzPicture(4, 2, 0, 2);  // 1040 bytes
  const Bytes picture11 = MakeQkzPicture(1, 1, 0, 3);  // 1036 bytes
  const Bytes picture53 = MakeQkzPicture(5, 3, 0, 4);  // 1056 bytes
  const Bytes head41 = MakeQkzHead(4, 1);
  const Bytes palette41(head41.begin() + 8, head41.end());
  struct Case {
    const char* what;
    Bytes file;
    int code;
    Failure reason;
    std::vector<Listed> records;
  } cases[] = {
      {"one entry of 1048 bytes", Cat({Le32s({1, 8}), picture32}), 0, Failure::kNone,
       {{8, 1040, "00000008.QKZ"}}},
      {"the same one byte shorter", Cut(Cat({Le32s({1, 8}), picture32}), 1047), 2,
       Failure::kEntryTooSmallForPicture, {}},
      {"the last entry's head cut short", Cut(Cat({Le32s({1, 8}), picture32}), 8 + 1031), 6,
       Failure::kFileEndsEarly, {}},
      {"an earlier entry's head cut short", Cat({Le32s({2, 12, 500}), Filler(588)}), 6,
       Failure::kFileEndsEarly, {}},
      {"two entries, the first exactly its picture",
       Cat({Le32s({2, 16, 1056}), Filler(4), picture42, picture11, Filler(3)}), 0, Failure::kNone,
       {{16, 1040, "00000010.QKZ"}, {1056, 1039, "00000420.QKZ"}}},
      {"bytes between entries belong to the entry before",
       Cat({Le32s({2, 12, 12 + 1047}), picture32, Filler(7), picture53}), 0, Failure::kNone,
       {{12, 1047, "0000000C.QKZ"}, {1059, 1056, "00000423.QKZ"}}},
      {"an entry starting at its own table slot",
       Cat({Le32s({1, 4, 1}), palette41, Filler(4)}),
       0, Failure::kNone, {{4, 1036, "00000004.QKZ"}}},
      {"width 0 needs only the head", Cat({Le32s({1, 8}), MakeQkzHead(0, 7)}), 0, Failure::kNone,
       {{8, 1032, "00000008.QKZ"}}},
      {"width 65536 by height 65537", Cat({Le32s({1, 8}), MakeQkzHead(65536, 65537), Filler(4000)}),
       2, Failure::kPictureOver4GiB, {}},
      {"a width whose stride would wrap to 0", Cat({Le32s({1, 8}), MakeQkzHead(0xFFFFFFFD, 1)}), 2,
       Failure::kPictureOver4GiB,
       {}},
      // The table.
      {"an empty file", {}, 6, Failure::kFileEndsEarly, {}},
      {"a count cut short", Le32s({1}), 6, Failure::kFileEndsEarly, {}},
      {"no slot 0", Cut(Le32s({1, 8}), 6), 6, Failure::kFileEndsEarly, {}},
      {"slot 1 partly past the end", Cat({Le32s({2, 9}), Filler(2)}), 6,
       Failure::kFileEndsEarly, {}},
      {"slot 1 wholly past the end", Le32s({3, 5}), 6, Failure::kFileEndsEarly, {}},
      {"a huge count fails where the table runs out", Cat({Le32s({0xFFFFFFFF, 9}), Filler(2)}), 6,
       Failure::kFileEndsEarly,
       {}},
      // Slot 1 is the picture's width, 3: an entry before the one at 8.
      {"a huge count fails where the entries do", Cat({Le32s({0xFFFFFFFF, 8}), picture32}), 2,
       Failure::kOffsetsNotAscending, {}},
      {"offset 0 in slot 0", Cat({Le32s({1, 0}), picture32}), 2, Failure::kEntryPositionZero, {}},
      {"offset 0 in slot 1", Cat({Le32s({2, 12, 0}), picture32}), 2,
       Failure::kEntryPositionZero, {}},
      {"slot 0 at the file size", Cat({Le32s({1, 1048}), picture32}), 2,
       Failure::kEntryPositionPastEnd, {}},
      {"slot 0 past the file size", Cat({Le32s({1, 0xFFFFFFFF}), picture32}), 2,
       Failure::kEntryPositionPastEnd, {}},
      {"slot 1 at the file size", Cat({Le32s({2, 12, 1052}), picture32}), 2,
       Failure::kEntryPositionPastEnd, {}},
      {"slot 1 past the file size", Cat({Le32s({2, 12, 0x80000000}), picture32}), 2,
       Failure::kEntryPositionPastEnd, {}},
      {"an offset test comes before the previous entry's head",
       Cat({Le32s({2, 12, 0}), Filler(20)}), 2, Failure::kEntryPositionZero, {}},
      // Offsets that do not ascend make an entry smaller than its picture.
      {"offsets that descend",
       Cat({Le32s({2, 2000, 12}), picture32, Filler(2000 - 1052), picture11}), 2,
       Failure::kOffsetsNotAscending, {}},
      {"two equal offsets", Cat({Le32s({2, 12, 12}), picture32}), 2,
       Failure::kEntryTooSmallForPicture, {}},
      // A count of 0 still checks slot 0 and the picture there.
      {"count 0", Cat({Le32s({0, 8}), picture32}), 0, Failure::kNone, {}},
      {"count 0 with offset 0", Cat({Le32s({0, 0}), picture32}), 2,
       Failure::kEntryPositionZero, {}},
      {"count 0 with the offset past the end", Cat({Le32s({0, 4000}), picture32}), 2,
       Failure::kEntryPositionPastEnd, {}},
      {"count 0 with the head cut short", Cat({Le32s({0, 8}), Filler(100)}), 6,
       Failure::kFileEndsEarly, {}},
      {"count 0 with the picture cut short", Cut(Cat({Le32s({0, 8}), picture32}), 1047), 2,
       Failure::kEntryTooSmallForPicture, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = WriteScratchFile("ot-case", c.file);
    const Failure reason = Parse(path);
    ASSERT_EQ(reason, c.reason);
    ASSERT_EQ(ResultCodeOf(reason), c.code);
    if (c.code == kResultSuccess) ExpectRecords(Listing(path), c.records);
  }
}

// ---- Extraction ------------------------------------------------------------

class OffsetTableExtractTest : public ExtractorTest {};

TEST_F(OffsetTableExtractTest, ParsesAnotherArchiveFirstAndKeepsTheCacheWhenThatFails) {
  std::string cached = WriteScratchFile(
      "ot-first", BuildOffsetTableArchive({MakeQkzPicture(2, 2, 0, 1), MakeQkzPicture(9, 1, 0, 2)}));
  const Bytes otherFile = BuildOffsetTableArchive({MakeQkzPicture(4, 4, 0, 5)});
  std::string other = WriteScratchFile("ot-second", otherFile);
  std::string broken = WriteScratchFile("ot-broken", Cut(otherFile, otherFile.size() - 1));
  ASSERT_EQ(Parse(cached), Failure::kNone);
  const std::vector<fileInfo> before = Listing(cached);

  Extracted out = Extract(broken, 8);
  EXPECT_EQ(out.result, kResultBadFormat);
  EXPECT_EQ(out.reason, Failure::kEntryTooSmallForPicture);
  EXPECT_EQ(out.block, kUntouched);
  out = Extract((ScratchDirectory() + "ot-none").c_str(), 8);
  EXPECT_EQ(out.result, kResultFileError);
  EXPECT_EQ(out.reason, Failure::kCannotOpen);
  EXPECT_EQ(out.block, kUntouched);
  WriteScratchFile("ot-first", Bytes(3, 0));  // served from the cache from here on
  EXPECT_TRUE(SameListing(Listing(cached), before));

  out = Extract(other, 8);
  ASSERT_EQ(out.result, kResultSuccess);
  EXPECT_EQ(BlockBytes(out.block), Bytes(otherFile.begin() + 8, otherFile.end()));
  platform::GlobalFree(out.block);
  ExpectRecords(Listing(other), {{8, static_cast<uint32_t>(otherFile.size() - 8), "00000008.QKZ"}});
}

// The directory is read once and reused; the file may change behind it. An
// extract then fails rather than hand out a block it did not fill, or an entry
// whose head claims more rows than the block holds.
TEST_F(OffsetTableExtractTest, AFileChangedSinceItsParseNeverYieldsAPartialEntry) {
  const std::vector<Bytes> entries = {MakeQkzPicture(3, 2, 0, 1), MakeQkzPicture(5, 3, 0, 2)};
  const Bytes file = BuildOffsetTableArchive(entries);
  const uint32_t last = static_cast<uint32_t>(file.size() - entries[1].size());
  Bytes taller = file;
  PutLe32(taller, last + 4, 4);  // height 3 becomes 4: one row more than stored
  Bytes narrower = file;
  PutLe32(narrower, last, 1);  // width 5 becomes 1: the picture still fits
  struct Case {
    const char* what;
    Bytes changed;  // empty: the file is removed
    int code;
    Failure reason;
  } cases[] = {
      {"cut by one byte", Cut(file, file.size() - 1), kResultFileError, Failure::kFileEndsEarly},
      {"cut before the entry", Cut(file, last), kResultFileError, Failure::kFileEndsEarly},
      {"removed", {}, kResultFileError, Failure::kCannotOpen},
      {"a head that needs more bytes than the entry has", taller, kResultBadFormat,
       Failure::kEntryChangedOnDisk},
      {"grown behind the entry", Cat({file, Filler(100)}), kResultSuccess, Failure::kNone},
      {"a head that still fits", narrower, kResultSuccess, Failure::kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = WriteScratchFile("ot-changing", file);
    ASSERT_EQ(Parse(path), Failure::kNone);
    if (c.changed.empty())
      std::remove(path.c_str());
    else
      WriteScratchFile("ot-changing", c.changed);
    Extracted out = Extract(path, last);
    ASSERT_EQ(out.result, c.code);
    EXPECT_EQ(out.reason, c.reason);
    if (c.code != kResultSuccess) {
      EXPECT_EQ(out.block, kUntouched);
      continue;
    }
    const Bytes& now = c.changed;
    EXPECT_EQ(BlockBytes(out.block), Bytes(now.begin() + last, now.begin() + file.size()));
    platform::GlobalFree(out.block);
  }
}

// ---- Truncations -----------------------------------------------------------

// The plug-in's cache holds one directory before and after each test, so the
// count of live blocks that the fixture compares stays level.
class OffsetTableTruncationTest : public ExtractorTest {
 protected:
  void SetUp() override {
    const Bytes whole = BuildOffsetTableArchive({MakeQkzPicture(2, 2, 0, 7)});
    ASSERT_EQ(BuiltPlugin("AXKORVO").IsSupported(WriteScratchFile("ot-whole", whole).c_str(), 0),
              1);
    ExtractorTest::SetUp();
  }
};

// The archive cut at every length: below 8 bytes the table cannot be read (6);
// up to the last offset some offset lies at or past the end (2); then the last
// head cannot be read (6), the last picture does not fit (2), and from the end
// of its rows on the archive is accepted, the last entry running to the cut.
// Each with the reason of its code.
// Directly and through the loaded plug-in. Where the platform hooks can serve
// a file from memory, the cuts are served so; elsewhere each is a file.
TEST_F(OffsetTableTruncationTest, EveryLengthIsRefusedOrAcceptedByTheRules) {
  const std::vector<Bytes> entries = {MakeQkzPicture(1, 1, 0, 1), MakeQkzPicture(3, 2, 5, 2),
                                           MakeQkzPicture(5, 3, 4, 3)};
  const Bytes file = BuildOffsetTableArchive(entries);
  const uint32_t last = static_cast<uint32_t>(file.size() - entries[2].size());
  ASSERT_EQ(last, 16u + 1036 + 1045);
  const LoadedPlugin& plugin = BuiltPlugin("AXKORVO");
  const std::string served = ScratchDirectory() + "ot-cut-in-memory";
  if (kHasFullHooks) TestHooks().memoryFilePath = served.c_str();
  ScopeExit stopServing([] { TestHooks().memoryFilePath = nullptr; });
  for (size_t length = 0; length <= file.size(); ++length) {
    SCOPED_TRACE(testing::Message() << "cut at " << length);
    const int expected = length < 8                ? kResultFileError
                         : length <= last          ? kResultBadFormat
                         : length < last + 1032    ? kResultFileError
                         : length < last + 1056    ? kResultBadFormat
                                                   : kResultSuccess;
    const Failure reason = length < 8               ? Failure::kFileEndsEarly
                           : length <= last         ? Failure::kEntryPositionPastEnd
                           : length < last + 1032   ? Failure::kFileEndsEarly
                           : length < last + 1056   ? Failure::kEntryTooSmallForPicture
                                                    : Failure::kNone;
    const Bytes cut = Cut(file, length);
    TestHooks().memoryFileBytes = cut.data();
    TestHooks().memoryFileSize = cut.size();
    const std::string path =
        kHasFullHooks ? served : WriteScratchFile("ot-cut-" + std::to_string(length), cut);
    const Failure parsed = Parse(path);
    ASSERT_EQ(parsed, reason);
    ASSERT_EQ(ResultCodeOf(parsed), expected);
    ASSERT_EQ(plugin.IsSupported(path.c_str(), 0), expected == kResultSuccess ? 1 : 0);
    if (expected != kResultSuccess) continue;
    ExpectRecords(Listing(path), {{16, 1036, "00000010.QKZ"},
                                  {1052, 1045, "0000041C.QKZ"},
                                  {last, static_cast<uint32_t>(length - last), "00000831.QKZ"}});
    const Bytes lastEntry(cut.begin() + last, cut.end());
    Extracted out = Extract(path, last);
    ASSERT_EQ(out.result, kResultSuccess);
    EXPECT_EQ(BlockBytes(out.block), lastEntry);
    platform::GlobalFree(out.block);
    HGLOBAL block = nullptr;
    ASSERT_EQ(plugin.GetFile(path.c_str(), last, reinterpret_cast<LPSTR>(&block), 0x100, nullptr,
                             0),
              kResultSuccess);
    EXPECT_EQ(BlockBytes(block), lastEntry);
    platform::GlobalFree(block);
  }
}

// ---- Injected faults -------------------------------------------------------

// A file of 2.25 GiB, served from memory: only its first bytes exist, and only
// they may be read. An entry at 2^31 lies inside the file but cannot be
// reached by a seek, so its head read fails with 6 (kUnreachablePosition).
TEST_F(OffsetTableParseTest, EntriesFromTwoGibibytesOnCannotBeReached) {
  SKIP_UNLESS(Need::kFullHooks);
  const Bytes picture = MakeQkzPicture(3, 2, 0, 1);
  struct Case {
    const char* what;
    Bytes start;
  } cases[] = {
      {"the only entry", Le32s({1, 0x80000000})},
      {"a count of 0", Le32s({0, 0x80000000})},
      {"the last entry", Cat({Le32s({2, 12, 0x80000000}), picture})},
  };
  const std::string path = ScratchDirectory() + "ot-huge";
  auto& hooks = TestHooks();
  hooks.memoryFilePath = path.c_str();
  ScopeExit stopServing([&] { hooks.memoryFilePath = nullptr; });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes served = c.start;
    served.resize(3 * kReaderWindowBytes, 0);  // all that a window read may take
    hooks.memoryFileBytes = served.data();
    hooks.memoryFileSize = 0x90000000u;
    const Failure reason = Parse(path);
    EXPECT_EQ(reason, Failure::kUnreachablePosition);
    EXPECT_EQ(ResultCodeOf(reason), kResultFileError);
  }
}


struct Fault {
  platform::PlatformOperation op;
  long shortBy;  // reads only: bytes short of the request
  int code;
  Failure reason;
  const char* what;
};

const Fault kFaults[] = {
    {platform::kOpOpen, 0, kResultFileError, Failure::kCannotOpen, "open"},
    {platform::kOpSize, 0, kResultFileError, Failure::kSizeUnknown, "size"},
    {platform::kOpRead, 0, kResultFileError, Failure::kFileEndsEarly, "read of nothing"},
    {platform::kOpRead, 1, kResultFileError, Failure::kFileEndsEarly, "read one byte short"},
    {platform::kOpAlloc, 0, kResultMemoryError, Failure::kNoMemory, "allocation"},
    {platform::kOpLock, 0, kResultMemoryError, Failure::kNoMemory, "lock"},
};

// A parse of the archive the cache holds, as last written at the same time,
// only checks the file against the directory: nothing is allocated while
// they agree, and the listing is always that of the file as it now is (here
// rewritten within the same second, the time stamp set back).
TEST_F(OffsetTableParseTest, TheCachedArchiveIsCheckedRatherThanRebuilt) {
  SKIP_UNLESS(Need::kFullHooks);
  auto& hooks = TestHooks();
  std::vector<Bytes> pictures;
  for (uint8_t k = 0; k < 20; ++k) pictures.push_back(MakeQkzPicture(1 + k, 1 + k % 3, 0, k));
  std::vector<Bytes> changed = pictures;
  changed[5] = MakeQkzPicture(7, 2, 0, 99);
  struct Case {
    const char* what;
    std::vector<Bytes> now;
    bool allocates;
  } cases[] = {{"unchanged", pictures, false},
               {"fewer entries", {pictures.begin(), pictures.begin() + 12}, true},
               {"an entry of another size", changed, true},
               {"one entry", {pictures[0]}, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = WriteScratchFile("ot-reparse", BuildOffsetTableArchive(pictures));
    const auto written = std::filesystem::last_write_time(path);
    ASSERT_EQ(Parse(path), Failure::kNone);
    const ULONG_PTR stamp = Listing(path).at(0).timestamp;
    WriteScratchFile("ot-reparse", BuildOffsetTableArchive(c.now));
    std::filesystem::last_write_time(path, written);
    const long live = hooks.liveBlocks;
    platform::ResetPlatformFaults(hooks);
    ASSERT_EQ(Parse(path), Failure::kNone);
    EXPECT_EQ(hooks.calls[platform::kOpAlloc] > 0, c.allocates);
    EXPECT_EQ(hooks.liveBlocks, live) << "one directory is cached";
    std::string fresh = WriteScratchFile("ot-fresh", BuildOffsetTableArchive(c.now));
    std::vector<fileInfo> listed = Listing(path), expected = Listing(fresh);
    ASSERT_EQ(listed.size(), expected.size());
    for (size_t i = 0; i < listed.size(); ++i) {
      EXPECT_EQ(listed[i].position, expected[i].position) << i;
      EXPECT_EQ(listed[i].compsize, expected[i].compsize) << i;
      EXPECT_EQ(listed[i].timestamp, stamp) << i;
      EXPECT_STREQ(listed[i].filename, expected[i].filename) << i;
    }
  }
}

// Each operation of an extract that has to parse its archive first fails in
// turn. A fault in the parse gives the parse's code and leaves the cache with
// the archive it held; one in the extract gives the extract's code with the
// new archive cached. Nothing is handed out and no block is left behind.
TEST_F(OffsetTableExtractTest, EveryFaultOfAParseAndAnExtractGivesItsCode) {
  SKIP_UNLESS(Need::kFullHooks);
  auto& hooks = TestHooks();
  std::vector<Bytes> pictures;
  for (uint8_t k = 0; k < 20; ++k) pictures.push_back(MakeQkzPicture(1 + k, 1 + k % 3, k % 2, k));
  const Bytes file = BuildOffsetTableArchive(pictures);  // grows the array twice, spans windows
  std::string path = WriteScratchFile("ot-faults", file);
  std::string held = WriteScratchFile("ot-held", BuildOffsetTableArchive({MakeQkzPicture(2, 1, 0, 9)}));
  const uint32_t position = static_cast<uint32_t>(file.size() - pictures.back().size());
  const Bytes wanted(file.begin() + position, file.end());

  ASSERT_EQ(Parse(path), Failure::kNone);
  const std::vector<fileInfo> parsed = Listing(path);
  ASSERT_EQ(Parse(held), Failure::kNone);
  const std::vector<fileInfo> heldListing = Listing(held);
  const long live = hooks.liveBlocks;

  for (const Fault& fault : kFaults) {
    SCOPED_TRACE(fault.what);
    // Counted from the cache state of the faulted calls: a parse of the
    // archive the cache already holds only checks it and allocates nothing.
    ASSERT_EQ(Parse(held), Failure::kNone);
    platform::ResetPlatformFaults(hooks);
    ASSERT_EQ(Parse(path), Failure::kNone);
    const long parseCalls = hooks.calls[fault.op];
    ASSERT_EQ(Parse(held), Failure::kNone);
    platform::ResetPlatformFaults(hooks);
    Extracted out = Extract(path, position);
    ASSERT_EQ(out.result, kResultSuccess);
    const long calls = hooks.calls[fault.op];
    ASSERT_GT(calls, 0);
    platform::GlobalFree(out.block);

    for (long at = 1; at <= calls; ++at) {
      SCOPED_TRACE(testing::Message() << "call " << at << " of " << calls);
      ASSERT_EQ(Parse(held), Failure::kNone);
      platform::ResetPlatformFaults(hooks);
      hooks.failAt[fault.op] = at;
      hooks.readShortBy = fault.shortBy;
      out = Extract(path, position);
      platform::ResetPlatformFaults(hooks);
      const bool inParse = at <= parseCalls;
      if (out.result == kResultSuccess) {
        // A parse reads a window around each field: one that comes a byte
        // short of the window may still hold the whole field.
        EXPECT_TRUE(inParse && fault.shortBy > 0);
        EXPECT_EQ(BlockBytes(out.block), wanted);
        platform::GlobalFree(out.block);
        EXPECT_TRUE(SameListing(Listing(path), parsed));
      } else {
        EXPECT_EQ(out.result, fault.code);
        EXPECT_EQ(out.reason, fault.reason);
        EXPECT_EQ(out.block, kUntouched);
        EXPECT_EQ(hooks.liveBlocks, live);
        // The cache is what the parse left, served without opening a file.
        EXPECT_TRUE(SameListing(Listing(inParse ? held : path), inParse ? heldListing : parsed));
        EXPECT_EQ(hooks.calls[platform::kOpOpen], 0);
      }
      EXPECT_EQ(hooks.liveBlocks, live);
    }
  }
}

}  // namespace

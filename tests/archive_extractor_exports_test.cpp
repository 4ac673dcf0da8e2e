// The extractor's entry points: flag tests, layout order, result codes and
// what is written on failure. Through the test layouts where an archive must
// be recognised, and through the loaded plug-in for what it decides alone.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "archive-extractor/entry_points.h"
#include "archive-extractor/layouts.h"
#include "archive-extractor/named_entry_archive.h"
#include "archive-extractor/offset_table_archive.h"
#include "tests/support/extractor_fixture.h"
#include "tests/support/failure_print.h"
#include "tests/support/named_entry_fixture.h"
#include "tests/support/sample_archives.h"
#include "tests/support/untouched.h"

using namespace korvo;
using namespace extractor_test;

namespace {


const std::vector<TestEntry> kEntries = {{"first.QKZ", 6, 0x40}, {"SECOND.QKZ", 3, 0x80}};
const Triples kPalette = MakeTriples(7);

// What layout one and layout two hand out for an entry (see test_layouts.h).
Bytes LayoutOneBytes(const TestEntry& entry) { return TestEntryBytes(entry); }
Bytes LayoutTwoBytes(const TestEntry& entry, const Triples& palette) {
  Bytes bytes(palette.begin(), palette.end());
  Bytes data = TestEntryBytes(entry);
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

class EntryPointTest : public ExtractorTest {};

// Bit 0 refuses memory input before any probe; bit 8 chooses memory output,
// and without it the entry goes into the folder named by `dest`.
TEST_F(EntryPointTest, GetFileTestsOnlyTheInputAndOutputBits) {
  std::string path = WriteScratchFile("flags", BuildTestArchive("TLA1", kEntries));
  ULONG_PTR position = TestEntryPosition(kEntries, 1, false);
  const std::string folder = ScratchDirectory() + "flags-out";
  std::filesystem::create_directory(folder);
  const std::string written = folder + "/" + kEntries[1].name;
  struct Case {
    unsigned flag;
    int expected;
  } cases[] = {{0x0001, kResultBadFormat}, {0x0101, kResultBadFormat},
               {0xFFFF, kResultBadFormat}, {0x0000, kResultSuccess},
               {0x0200, kResultSuccess},   {0xFEFE, kResultSuccess},
               {0x0100, kResultSuccess},   {0x0300, kResultSuccess},
               {0x0180, kResultSuccess},   {0xFFFE, kResultSuccess}};
  for (const Case& c : cases) {
    ResetTestLayoutCounts();
    std::filesystem::remove(written);
    const bool toMemory = (c.flag & 0x100) != 0;
    HGLOBAL dest = kUntouched;
    std::string folderText = folder;
    LPSTR destination = toMemory ? SlotAsDest(&dest) : folderText.data();
    EXPECT_EQ(GetFileCode(ArchiveGetFile(kTestLayouts, path.c_str(), position, destination, c.flag, nullptr, 0)),
              c.expected)
        << std::hex << c.flag;
    EXPECT_EQ(dest, toMemory && c.expected == kResultSuccess ? dest : kUntouched);
    if (c.expected != kResultSuccess) {
      EXPECT_FALSE(std::filesystem::exists(written)) << std::hex << c.flag;
      EXPECT_EQ(testParses[0] + testParses[1], 0) << "probed despite flag " << std::hex << c.flag;
      continue;
    }
    if (!toMemory) {
      EXPECT_EQ(ReadBytes(written), LayoutOneBytes(kEntries[1])) << std::hex << c.flag;
      continue;
    }
    ASSERT_NE(dest, kUntouched);
    EXPECT_EQ(LockCount(dest), 0u);
    EXPECT_EQ(BlockBytes(dest), LayoutOneBytes(kEntries[1])) << std::hex << c.flag;
    platform::GlobalFree(dest);
  }
}

TEST_F(EntryPointTest, MemoryInputIsRefusedBeforeAnyProbe) {
  std::string path = WriteScratchFile("memory", BuildTestArchive("TLA1", kEntries));
  for (unsigned flag : {0x0001u, 0x0081u, 0xFFFFu}) {
    HGLOBAL listing = kUntouched;
    EXPECT_EQ(ListingCode(ArchiveGetArchiveInfo(kTestLayouts, path.c_str(), flag, &listing)), kResultNotHandled);
    EXPECT_EQ(ArchiveGetFile(kTestLayouts, path.c_str(), 0, SlotAsDest(&listing), flag, nullptr, 0).reason,
              Failure::kArchiveInMemory);
    EXPECT_EQ(listing, kUntouched);
    fileInfo record = Untouched<fileInfo>();
    EXPECT_EQ(ListingCode(ArchiveGetFileInfo(kTestLayouts, path.c_str(), "first.QKZ", flag, &record)),
              kResultNotHandled);
    EXPECT_TRUE(SameRecord(record, Untouched<fileInfo>()));
  }
  EXPECT_EQ(testParses[0] + testParses[1], 0);
  // Every other bit leaves a file input.
  HGLOBAL listing = nullptr;
  EXPECT_EQ(ListingCode(ArchiveGetArchiveInfo(kTestLayouts, path.c_str(), 0xFFFE, &listing)), kResultSuccess);
  EXPECT_EQ(platform::GlobalSize(listing), 3 * sizeof(fileInfo));
  platform::GlobalFree(listing);
}

// Which layout serves a file, and how many parses each call costs.
TEST_F(EntryPointTest, LayoutsAreTriedInOrderAndTheFirstThatFitsServes) {
  struct Case {
    const char* tag;  // nullptr: no such file
    int supported;
    int parsesOne, parsesTwo;  // by one IsSupported
    bool servedByTwo;
  } cases[] = {{"TLA1", 1, 1, 0, false},
               {"TLAB", 1, 1, 0, false},
               {"TLA2", 1, 1, 1, true},
               {"XXXX", 0, 1, 1, false},
               {nullptr, 0, 0, 0, false}};  // no parse without an open file
  for (const Case& c : cases) {
    std::string path = c.tag != nullptr
                           ? WriteScratchFile(std::string("order-") + c.tag,
                                              BuildTestArchive(c.tag, kEntries, &kPalette))
                           : ScratchDirectory() + "order-missing";
    ResetTestLayoutCounts();
    EXPECT_EQ(SupportedCode(ArchiveIsSupported(kTestLayouts, path.c_str())), c.supported) << path;
    EXPECT_EQ(testParses[0], c.parsesOne) << path;
    EXPECT_EQ(testParses[1], c.parsesTwo) << path;
    if (!c.supported) continue;

    // GetFileInfo parses only in its probe, though the file is cached.
    ResetTestLayoutCounts();
    fileInfo record = Untouched<fileInfo>();
    EXPECT_EQ(ListingCode(ArchiveGetFileInfo(kTestLayouts, path.c_str(), "second.qkz", 0x80, &record)),
              kResultSuccess);
    EXPECT_TRUE(SameRecord(record, ExpectedRecord(kEntries, 1, true))) << path;
    EXPECT_EQ(testParses[0], c.parsesOne) << path;
    EXPECT_EQ(testParses[1], c.parsesTwo) << path;

    HGLOBAL dest = nullptr;
    ASSERT_EQ(GetFileCode(ArchiveGetFile(kTestLayouts, path.c_str(), record.position, SlotAsDest(&dest), 0x100, nullptr, 0)),
              kResultSuccess);
    EXPECT_EQ(BlockBytes(dest),
              c.servedByTwo ? LayoutTwoBytes(kEntries[1], kPalette) : LayoutOneBytes(kEntries[1]))
        << path;
    EXPECT_EQ(testExtracts[c.servedByTwo ? 1 : 0], 1) << path;
    EXPECT_EQ(testExtracts[c.servedByTwo ? 0 : 1], 0) << path;
    platform::GlobalFree(dest);
  }
}

TEST_F(EntryPointTest, AFileOfNoLayoutGetsEachEntryPointsOwnCode) {
  std::string cached = WriteScratchFile("kept", BuildTestArchive("TLA1", kEntries));
  ASSERT_EQ(SupportedCode(ArchiveIsSupported(kTestLayouts, cached.c_str())), 1);
  // The refusal keeps the last layout's reason.
  const struct {
    std::string path;
    Failure reason;
  } files[] = {{WriteScratchFile("neither", BuildTestArchive("XXXX", kEntries)), Failure::kNotThisLayout},
               {WriteScratchFile("empty", {}), Failure::kFileEndsEarly},
               {ScratchDirectory() + "does-not-exist", Failure::kCannotOpen}};
  for (const auto& file : files) {
    const std::string& path = file.path;
    const Outcome refused = Refusal(file.reason);
    HGLOBAL unused = kUntouched;
    EXPECT_EQ(ArchiveIsSupported(kTestLayouts, path.c_str()), file.reason) << path;
    EXPECT_EQ(ArchiveGetArchiveInfo(kTestLayouts, path.c_str(), 0, &unused).reason, refused.reason);
    EXPECT_TRUE(ArchiveGetFile(kTestLayouts, path.c_str(), 0, SlotAsDest(&unused), 0x100, nullptr, 0).refused);
    HGLOBAL listing = kUntouched;
    EXPECT_EQ(ListingCode(ArchiveGetArchiveInfo(kTestLayouts, path.c_str(), 0, &listing)), kResultNotHandled);
    EXPECT_EQ(listing, kUntouched);
    fileInfo record = Untouched<fileInfo>();
    EXPECT_EQ(ListingCode(ArchiveGetFileInfo(kTestLayouts, path.c_str(), "first.QKZ", 0, &record)),
              kResultNotHandled);
    EXPECT_TRUE(SameRecord(record, Untouched<fileInfo>()));
    HGLOBAL dest = kUntouched;
    EXPECT_EQ(GetFileCode(ArchiveGetFile(kTestLayouts, path.c_str(), 0, SlotAsDest(&dest), 0x100, nullptr, 0)),
              kResultBadFormat);
    EXPECT_EQ(dest, kUntouched);
  }
  // The cache still holds the archive it held: no parse to serve it.
  ResetTestLayoutCounts();
  fileInfo entry;
  EXPECT_EQ(LookUpEntryForExtract(cached.c_str(), kTestLayouts[0].parse,
                                  TestEntryPosition(kEntries, 0, false), &entry, nullptr),
            Failure::kNone);
  EXPECT_EQ(testParses[0], 0);
}

TEST_F(EntryPointTest, MissingEntriesAndNullOutputsWriteNothing) {
  std::string path = WriteScratchFile("missing-entry", BuildTestArchive("TLA1", kEntries));
  HGLOBAL dest = kUntouched;
  EXPECT_EQ(GetFileCode(ArchiveGetFile(kTestLayouts, path.c_str(), 1, SlotAsDest(&dest), 0x100, nullptr, 0)),
            kResultNotHandled);
  EXPECT_EQ(GetFileCode(ArchiveGetFile(kTestLayouts, path.c_str(), -1, SlotAsDest(&dest), 0x100, nullptr, 0)),
            kResultNotHandled);
  EXPECT_EQ(dest, kUntouched);
  fileInfo record = Untouched<fileInfo>();
  EXPECT_EQ(ListingCode(ArchiveGetFileInfo(kTestLayouts, path.c_str(), "third.QKZ", 0x80, &record)),
            kResultNotHandled);
  EXPECT_TRUE(SameRecord(record, Untouched<fileInfo>()));
  // Nowhere to write the answer: refused, and nothing is left alive.
  EXPECT_EQ(ListingCode(ArchiveGetArchiveInfo(kTestLayouts, path.c_str(), 0, nullptr)), kResultNotHandled);
  EXPECT_EQ(ListingCode(ArchiveGetFileInfo(kTestLayouts, path.c_str(), "first.QKZ", 0, nullptr)),
            kResultNotHandled);
  EXPECT_EQ(ListingCode(ArchiveGetFileInfo(kTestLayouts, path.c_str(), nullptr, 0, &record)), kResultNotHandled);
  EXPECT_EQ(GetFileCode(ArchiveGetFile(kTestLayouts, path.c_str(), 0, nullptr, 0x100, nullptr, 0)),
            kResultBadFormat);
  EXPECT_EQ(SupportedCode(ArchiveIsSupported(kTestLayouts, static_cast<LPCSTR>(nullptr))), 0);
  EXPECT_EQ(ListingCode(ArchiveGetArchiveInfo(kTestLayouts, static_cast<LPCSTR>(nullptr), 0, &dest)), kResultNotHandled);
  EXPECT_EQ(GetFileCode(ArchiveGetFile(kTestLayouts, static_cast<LPCSTR>(nullptr), 0, SlotAsDest(&dest), 0x100, nullptr, 0)), kResultBadFormat);
  EXPECT_EQ(dest, kUntouched);
}

// The operation after the probe parses again (here because the path is too
// long for the cache to keep), and meanwhile the archive was spoiled: the
// second parse's code is the call's result.
TEST_F(EntryPointTest, AFailedParseAfterTheProbePassesItsCodeUp) {
  SKIP_UNLESS(Need::kPathsBeyondMaxPath);
  const std::string folder(200, 'r');
  std::filesystem::create_directories(ScratchDirectory() + folder);
  enum Operation { kList, kLookUp, kExtract };
  for (Operation operation : {kList, kLookUp, kExtract}) {
    racingArchivePath =
        WriteScratchFile(folder + "/" + std::string(80, 'p'), BuildTestArchive("TLAR", kEntries));
    ASSERT_GE(racingArchivePath.size(), static_cast<size_t>(kCachedPathBytes));
    const char* path = racingArchivePath.c_str();
    HGLOBAL slot = kUntouched;
    fileInfo record = Untouched<fileInfo>();
    int result = 0;
    switch (operation) {
      case kList:
        result = ListingCode(ArchiveGetArchiveInfo(kTestLayouts, path, 0, &slot));
        break;
      case kLookUp:
        result = ListingCode(ArchiveGetFileInfo(kTestLayouts, path, "first.QKZ", 0, &record));
        break;
      case kExtract:
        result = GetFileCode(ArchiveGetFile(kTestLayouts, path, TestEntryPosition(kEntries, 0, false),
                                SlotAsDest(&slot), 0x100, nullptr, 0));
        break;
    }
    EXPECT_EQ(result, kResultFileError) << operation;
    EXPECT_EQ(slot, kUntouched) << operation;
    EXPECT_TRUE(SameRecord(record, Untouched<fileInfo>())) << operation;
  }
  racingArchivePath.clear();
}

TEST_F(EntryPointTest, AFailedExtractHandsOutNothing) {
  SKIP_UNLESS(Need::kFullHooks);
  std::string path = WriteScratchFile("extract-fail", BuildTestArchive("TLA1", kEntries));
  // The probe's own calls; the extract's come after them.
  platform::ResetPlatformFaults(TestHooks());
  ASSERT_EQ(SupportedCode(ArchiveIsSupported(kTestLayouts, path.c_str())), 1);
  long probeCalls[platform::kOpCount];
  for (int op = 0; op < platform::kOpCount; ++op) probeCalls[op] = TestHooks().calls[op];
  // (The extract reads the file its probe opened: it opens nothing.)
  struct Case {
    platform::PlatformOperation op;
    long failAt;  // counted from after the probe's own calls
    int expected;
  } cases[] = {{platform::kOpAlloc, 1, kResultMemoryError},
               {platform::kOpLock, 1, kResultMemoryError},
               {platform::kOpRead, 1, kResultFileError}};
  for (const Case& c : cases) {
    platform::ResetPlatformFaults(TestHooks());
    long live = TestHooks().liveBlocks;
    TestHooks().failAt[c.op] = probeCalls[c.op] + c.failAt;
    TestHooks().readShortBy = 1;
    HGLOBAL dest = kUntouched;
    EXPECT_EQ(GetFileCode(ArchiveGetFile(kTestLayouts, path.c_str(), TestEntryPosition(kEntries, 0, false),
                             SlotAsDest(&dest), 0x100, nullptr, 0)),
              c.expected)
        << c.op;
    EXPECT_EQ(dest, kUntouched) << c.op;
    EXPECT_EQ(TestHooks().liveBlocks, live) << c.op;
  }
}

// ---- The loaded plug-in ------------------------------------------------------

std::atomic<int> progressCalls{0};
int KORVO_API CountProgress(int, int, LONG_PTR) {
  progressCalls += 1;
  return 0;
}

// With no layout's reader written yet, the plug-in recognises no file: what
// it answers is decided by the flags and the "no layout" codes alone.
TEST(LoadedExtractorTest, AnswersFlagsAndUnrecognisedFilesWithTheirCodes) {
  const LoadedPlugin& plugin = BuiltPlugin("AXKORVO");
  ASSERT_TRUE(plugin.IsSupported && plugin.GetArchiveInfo && plugin.GetFileInfo && plugin.GetFile);
  Bytes notAnArchive(2048, 0x5A);
  const std::string paths[] = {WriteScratchFile("plugin-neither.cg", notAnArchive),
                               ScratchDirectory() + "plugin-missing.cg"};
  for (const std::string& path : paths) {
    for (ULONG_PTR dw : {ULONG_PTR{0}, reinterpret_cast<ULONG_PTR>(notAnArchive.data())})
      EXPECT_EQ(plugin.IsSupported(path.c_str(), dw), 0) << path;
    for (unsigned flag : {0x0000u, 0x0001u, 0x0080u}) {
      HLOCAL listing = kUntouched;
      EXPECT_EQ(plugin.GetArchiveInfo(path.c_str(), 0, flag, &listing), kResultNotHandled);
      EXPECT_EQ(plugin.GetArchiveInfo(path.c_str(), 77, flag, &listing), kResultNotHandled);
      EXPECT_EQ(listing, kUntouched);
      fileInfo record = Untouched<fileInfo>();
      EXPECT_EQ(plugin.GetFileInfo(path.c_str(), 0, "00000008.QKZ", flag, &record),
                kResultNotHandled);
      EXPECT_TRUE(SameRecord(record, Untouched<fileInfo>()));
    }
    for (unsigned flag : {0x0000u, 0x0001u, 0x0101u, 0x0100u, 0x0300u}) {
      HLOCAL dest = kUntouched;
      EXPECT_EQ(plugin.GetFile(path.c_str(), 8, reinterpret_cast<LPSTR>(&dest), flag,
                               CountProgress, 42),
                kResultBadFormat)
          << path << " flag " << flag;
      EXPECT_EQ(dest, kUntouched);
    }
  }
  EXPECT_EQ(progressCalls, 0) << "GetFile reported progress";
}

// ---- Budgets -----------------------------------------------------------------

// The position of the archive's last entry, from its listing.
ULONG_PTR LastEntryPosition(const std::string& path) {
  HGLOBAL listing = nullptr;
  EXPECT_EQ(ArchiveGetArchiveInfo(kArchiveLayouts, path.c_str(), 0, &listing).reason, Failure::kNone);
  const Bytes records = BlockBytes(listing);
  platform::GlobalFree(listing);
  fileInfo last;
  std::memcpy(&last, records.data() + records.size() - 2 * sizeof last, sizeof last);
  return last.position;
}

// What one operation cost: opens (one per parse and one per extract), reads,
// bytes read and allocations.
struct Cost {
  long opens, reads;
  long long bytes;
  long allocations;
};

// The most each operation may cost, with the archive in the state it names.
// They follow what the operation must do, so a regression shows as a row
// over its budget: a parse per call where the cache holds the archive, an
// archive read whole or entry by entry where windows or single fields do,
// more of a head read than its check needs, a directory rebuilt where it is
// only checked.
struct Budget {
  std::string operation;
  std::function<void()> setUp;  // the cache state the operation finds
  std::function<void()> run;
  Cost most;
};

TEST_F(EntryPointTest, EveryOperationStaysWithinItsBudget) {
  SKIP_UNLESS(Need::kFullHooks);
  // Small pictures lie close together and are read through the windows;
  // large ones lie far apart, and their heads are read alone.
  const auto offsetTable = [](uint32_t side) {
    std::vector<Bytes> pictures;
    for (uint8_t k = 0; k < 40; ++k) pictures.push_back(MakeQkzPicture(side, side, 0, k));
    return BuildOffsetTableArchive(pictures);
  };
  const auto namedEntries = [](uint32_t side) {
    std::vector<NamedEntry> entries = {MakeNamedEntry("Palette", 2, 2, 1, true)};
    for (uint8_t k = 0; k < 40; ++k)
      entries.push_back(MakeNamedEntry("e" + std::to_string(k), side, side, k, k % 2 == 0));
    return BuildNamedEntryArchive(entries);
  };
  const Bytes files[] = {offsetTable(64), offsetTable(300), namedEntries(64), namedEntries(300)};
  const std::string paths[] = {WriteScratchFile("budget-ot-small", files[0]),
                               WriteScratchFile("budget-ot-large", files[1]),
                               WriteScratchFile("budget-ne-small", files[2]),
                               WriteScratchFile("budget-ne-large", files[3])};
  const std::string other = WriteScratchFile("budget-other", SampleOffsetTableArchive(9).bytes);
  ULONG_PTR last[4];
  for (int i = 0; i < 4; ++i) last[i] = LastEntryPosition(paths[i]);
  const auto size = [&](int i) { return static_cast<long long>(files[i].size()); };
  constexpr long long kWindow = kReaderWindowBytes;
  // The windows a parse fills to read a file whose fields lie close together.
  const auto windows = [&](int i) { return static_cast<long>(size(i) / kWindow + 2); };
  const auto probe = [&](int i) {
    return [&, i] { ASSERT_EQ(ArchiveIsSupported(kArchiveLayouts, paths[i].c_str()), Failure::kNone); };
  };
  const auto cacheOther = [&] { ASSERT_EQ(ParseWith(ParseOffsetTableArchive, other.c_str()), Failure::kNone); };
  const auto cache = probe;
  // The last entry, as memory output, and what it may read: its own bytes,
  // a named entry's stored header and palette.
  const auto extract = [&](int i, LocateOperation locate) {
    return [&, i, locate] {
      HGLOBAL block = nullptr;
      ASSERT_EQ(ExtractEntry(locate, paths[i].c_str(), last[i], &block), Failure::kNone);
      platform::GlobalFree(block);
    };
  };
  const auto getFile = [&](int i) {
    return [&, i] {
      HGLOBAL block = nullptr;
      ASSERT_EQ(ArchiveGetFile(kArchiveLayouts, paths[i].c_str(), last[i],
                               SlotAsDest(&block), 0x100, nullptr, 0).reason, Failure::kNone);
      platform::GlobalFree(block);
    };
  };
  // A head of the offset-table layout is checked by its width and height, a
  // named entry's by its stored header: 8 and 9 bytes.
  const long long headChecks[] = {8, 8, 9, 9};
  // Large pictures: the first window holds the table (or the name records)
  // and the first head; every other head is read alone.
  const auto farHeads = [&](int i, int entries) { return kWindow + (entries - 1) * headChecks[i]; };
  const long long ot300 = kQkzHeadSize + 300 * 300, ne300 = 9 + 300 * 300;
  const Budget budgets[] = {
      // A new archive: one open, the fields read once, its directory
      // allocated once, as large as the file has room for.
      {"probe of a new offset-table archive, small pictures", cacheOther, probe(0), {1, windows(0), size(0), 1}},
      {"probe of a new offset-table archive, large pictures", cacheOther, probe(1), {1, 41, farHeads(1, 40), 1}},
      {"probe of a new named-entry archive, small pictures", cacheOther, probe(2), {1, windows(2), size(2), 1}},
      // (the shared palette read once more if its window missed it)
      {"probe of a new named-entry archive, large pictures", cacheOther, probe(3), {1, 43, farHeads(3, 41) + 768, 1}},
      // The cached archive is checked against the file, not built again.
      {"probe of the cached offset-table archive", cache(1), probe(1), {1, 41, farHeads(1, 40), 0}},
      {"probe of the cached named-entry archive", cache(3), probe(3), {1, 43, farHeads(3, 41) + 768, 0}},
      // An extract of a cached archive parses nothing and reads the entry
      // and what its head needs (a named entry's own palette), never the
      // archive.
      {"extract of an offset-table entry, archive cached", cache(1), extract(1, LocateOffsetTableEntry), {1, 1, ot300, 1}},
      {"extract of a named entry, archive cached", cache(3), extract(3, LocateNamedEntry), {1, 3, ne300 + 768, 1}},
      // GetFile probes first (the file may have changed), then extracts from
      // the file the probe opened.
      {"GetFile of a named entry, archive cached", cache(3), getFile(3), {1, 46, farHeads(3, 41) + 768 + ne300 + 768, 1}},
  };
  for (const Budget& budget : budgets) {
    SCOPED_TRACE(budget.operation);
    Reload();
    budget.setUp();
    platform::ResetPlatformFaults(TestHooks());
    budget.run();
    const auto& hooks = TestHooks();
    const Cost cost = {hooks.calls[platform::kOpOpen], hooks.calls[platform::kOpRead],
                       hooks.bytesRead, hooks.calls[platform::kOpAlloc]};
    printf("[ budget   ] %-50s opens %ld/%ld reads %ld/%ld bytes %lld/%lld allocations %ld/%ld\n",
           budget.operation.c_str(), cost.opens, budget.most.opens, cost.reads, budget.most.reads,
           cost.bytes, budget.most.bytes, cost.allocations, budget.most.allocations);
    EXPECT_LE(cost.opens, budget.most.opens) << budget.operation << ": opens over budget";
    EXPECT_LE(cost.reads, budget.most.reads) << budget.operation << ": reads over budget";
    EXPECT_LE(cost.bytes, budget.most.bytes) << budget.operation << ": bytes read over budget";
    EXPECT_LE(cost.allocations, budget.most.allocations)
        << budget.operation << ": allocations over budget";
  }
}

}  // namespace

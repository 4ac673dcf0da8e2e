// The extractor's entry points: flag tests, layout order, result codes and
// what is written on failure. Through the test layouts where an archive must
// be recognised, and through the loaded plug-in for what it decides alone.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive-extractor/entry_points.h"
#include "tests/support/extractor_fixture.h"
#include "tests/support/failure_print.h"
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
  struct Case {
    platform::PlatformOperation op;
    long failAt;  // counted from after the probe's own calls
    int expected;
  } cases[] = {{platform::kOpAlloc, 1, kResultMemoryError},
               {platform::kOpLock, 1, kResultMemoryError},
               {platform::kOpRead, 1, kResultFileError},
               {platform::kOpOpen, 1, kResultFileError}};
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

}  // namespace

// Every allocation, lock, open, seek, size query and read that an export
// makes on a valid input, failed one at a time, and every read also made to
// come up one byte short. Each call must then answer the code its failure
// calls for (or, where the failure cannot matter, its fault-free answer),
// store nothing, leave no block alive and no file open, and leave the
// directory cache holding either the archive it held before or the one the
// call's own successful probe installed, with that archive's shared palette.
//
// The sample archives are smaller than a reader window: a parser's window
// read asks for more than the file holds, so one byte fewer still delivers
// every byte there is, and only the reads that ask for an exact count (the
// extracts' and the filter's) fail when they come up short.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "archive-extractor/directory_cache.h"
#include "archive-extractor/entry_points.h"
#include "tests/support/archive_checks.h"
#include "tests/support/extractor_fixture.h"
#include "tests/support/host_blocks.h"
#include "tests/support/qkz_fixture.h"
#include "tests/support/sample_archives.h"

#if KORVO_HAS_PLATFORM_HOOKS

namespace {

using korvo::fileInfo;
using platform::kOpAlloc;
using platform::kOpCount;
using platform::kOpLock;
using platform::kOpOpen;
using platform::kOpRead;
using platform::kOpSeek;
using platform::kOpSize;
using platform::PlatformOperation;

HLOCAL const kUntouched = reinterpret_cast<HLOCAL>(0x5A5A);
constexpr int kClean = 1000;  // the fault cannot matter: the fault-free answer
const char* const kOpNames[kOpCount] = {"alloc", "lock",  "open",  "seek",  "read",
                                         "size",  "create", "write", "rename"};

// What one call answered: its code, the bytes it handed out (blocks, or the
// record it filled), and whether the host's locations kept their sentinels.
struct Answer {
  int code = 0;
  Bytes output;
  bool untouched = true;
};

struct OpCounts {
  long calls[kOpCount] = {};
};

OpCounts CountOps(const std::function<void()>& run) {
  platform::ResetPlatformFaults(TestHooks());
  run();
  OpCounts counts;
  for (int op = 0; op < kOpCount; ++op) counts.calls[op] = TestHooks().calls[op];
  platform::ResetPlatformFaults(TestHooks());
  return counts;
}

// A block's bytes as the host sees them, read without the block operations
// the sweep counts (the POSIX layout of platform.h), so that the host's own
// reading never shifts the fault points.
Bytes HostBytes(HLOCAL block, size_t size) {
  const auto* header = static_cast<const platform::BlockHeader*>(block);
  EXPECT_EQ(header->size, size) << "block size";
  const auto* data = reinterpret_cast<const uint8_t*>(header) + platform::kBlockDataOffset;
  return Bytes(data, data + std::min<size_t>(size, header->size));
}

int OpenFiles() {
  int count = 0;
  if (DIR* folder = opendir("/proc/self/fd")) {
    while (readdir(folder) != nullptr) ++count;
    closedir(folder);
  }
  return count;
}

// One stage of a call (a probe, the support test, the work after it) and the
// code a failure in it calls for.
struct Stage {
  const char* name;
  OpCounts calls;
  std::function<int(PlatformOperation op, bool shortRead)> onFault;
  bool probe = false;  // a failure that counts here leaves the file unrecognised
};

struct Scenario {
  std::string name;
  std::function<void()> setUp;    // brings the cache (if any) to its starting state
  std::function<Answer()> call;   // the export, its blocks read and freed
  std::vector<Stage> stages;      // in call order; they add up to the call's operations
  // Checks the directory cache after the call, told whether the call's own
  // archive was recognised (so that its directory is the cached one).
  std::function<void(bool recognised)> checkCache;
};

// Runs the scenario once per fault point; returns the number of points.
long Sweep(const Scenario& scenario) {
  scenario.setUp();
  const Answer clean = scenario.call();
  EXPECT_NE(clean.code, kClean);
  // The call's operations alone, counted after its set-up.
  OpCounts total = CountOps([&] {
    scenario.setUp();
    platform::ResetPlatformFaults(TestHooks());
    scenario.call();
  });
  long points = 0;
  for (int op = 0; op < kOpCount; ++op) {
    long staged = 0;
    for (const Stage& stage : scenario.stages) staged += stage.calls.calls[op];
    EXPECT_EQ(staged, total.calls[op])
        << scenario.name << ": the stages do not add up for " << kOpNames[op];
  }
  for (int op = 0; op < kOpCount; ++op) {
    long first = 1;
    for (const Stage& stage : scenario.stages) {
      for (long at = first; at < first + stage.calls.calls[op]; ++at) {
        for (bool shortRead : {false, true}) {
          if (shortRead && op != kOpRead) continue;
          SCOPED_TRACE(testing::Message() << scenario.name << ", " << stage.name << ": "
                                          << kOpNames[op] << " " << at
                                          << (shortRead ? " one byte short" : " failing"));
          const int expected = stage.onFault(static_cast<PlatformOperation>(op), shortRead);
          scenario.setUp();
          const long live = LiveBlocks();
          const int files = OpenFiles();
          auto& hooks = TestHooks();
          platform::ResetPlatformFaults(hooks);
          hooks.failAt[op] = at;
          hooks.readShortBy = shortRead ? 1 : 0;
          const Answer answer = scenario.call();
          platform::ResetPlatformFaults(hooks);
          ++points;
          if (expected == kClean) {
            EXPECT_EQ(answer.code, clean.code);
            EXPECT_TRUE(answer.output == clean.output) << "another answer than without the fault";
          } else {
            EXPECT_EQ(answer.code, expected);
            EXPECT_TRUE(answer.untouched) << "a failed call stored something";
          }
          EXPECT_EQ(LiveBlocks(), live) << "a block was left alive";
          EXPECT_EQ(OpenFiles(), files) << "a file was left open";
          if (scenario.checkCache) scenario.checkCache(!(stage.probe && expected != kClean));
        }
      }
      first += stage.calls.calls[op];
    }
  }
  return points;
}

// ---- The import filter ----------------------------------------------------

const korvo::LoadedPlugin& Filter() { return BuiltPlugin("IFKORVO"); }

Answer FilterIsSupported(LPCSTR name, ULONG_PTR dw) {
  Answer answer;
  answer.code = Filter().IsSupported(name, dw);
  answer.output.push_back(static_cast<uint8_t>(answer.code));
  return answer;
}

Answer FilterGetPictureInfo(LPCSTR buf, unsigned flag) {
  Answer answer;
  korvo::PictureInfo info, untouched;
  memset(&info, 0xCC, sizeof info);
  memset(&untouched, 0xCC, sizeof untouched);
  answer.code = Filter().GetPictureInfo(buf, 0, flag, &info);
  answer.untouched = memcmp(&info, &untouched, sizeof info) == 0;
  if (answer.code == 0) answer.output.assign(reinterpret_cast<uint8_t*>(&info), reinterpret_cast<uint8_t*>(&info + 1));
  return answer;
}

Answer FilterGetPicture(LPCSTR buf, unsigned flag, size_t pixelBytes) {
  Answer answer;
  HLOCAL info = kUntouched, pixels = kUntouched;
  answer.code = Filter().GetPicture(buf, 0, flag, &info, &pixels, nullptr, 0);
  answer.untouched = info == kUntouched && pixels == kUntouched;
  if (answer.code == 0) {
    answer.output = HostBytes(info, 1064);
    Bytes rows = HostBytes(pixels, pixelBytes);
    answer.output.insert(answer.output.end(), rows.begin(), rows.end());
    FreeBlock(info);
    FreeBlock(pixels);
  }
  return answer;
}

// The support test's failures refuse the file; after it, a failing open or
// read is 6 and a failing allocation or lock 4. The size query only spares
// the rows of a file too short for them, so its failure changes nothing.
int FilterWorkFault(PlatformOperation op, bool) {
  if (op == kOpAlloc || op == kOpLock) return 4;
  if (op == kOpSize) return kClean;
  return 6;
}

TEST(FaultSweepTest, EveryOperationOfTheImportFilter) {
  REQUIRE_PLATFORM_HOOKS();
  const Bytes picture = MakeQkzPicture(7, 5, 3);
  const size_t pixelBytes = 8 * 5;
  const std::string path = WriteScratchFile("sweep.QKZ", picture);
  const LPCSTR file = path.c_str();
  const auto memory = reinterpret_cast<LPCSTR>(picture.data());
  const OpCounts support = CountOps([&] { Filter().IsSupported(file, 0); });
  auto after = [&](const std::function<void()>& run) {
    OpCounts counts = CountOps(run);
    for (int op = 0; op < kOpCount; ++op) counts.calls[op] -= support.calls[op];
    return counts;
  };
  auto refuse = [](int code) { return [code](PlatformOperation, bool) { return code; }; };
  const auto nothing = [] {};
  std::vector<Scenario> scenarios = {
      {"IsSupported(file)", nothing, [&] { return FilterIsSupported(file, 0); },
       {{"support", support, refuse(0)}}, nullptr},
      {"GetPictureInfo(file)", nothing, [&] { return FilterGetPictureInfo(file, 0); },
       {{"support", support, refuse(2)},
        {"work", after([&] { FilterGetPictureInfo(file, 0); }), FilterWorkFault}},
       nullptr},
      {"GetPicture(file)", nothing, [&] { return FilterGetPicture(file, 0, pixelBytes); },
       {{"support", support, refuse(2)},
        {"work", after([&] { FilterGetPicture(file, 0, pixelBytes); }), FilterWorkFault}},
       nullptr},
      {"IsSupported(memory)", nothing,
       [&] { return FilterIsSupported("", reinterpret_cast<ULONG_PTR>(memory)); },
       {{"work", CountOps([&] { FilterIsSupported("", reinterpret_cast<ULONG_PTR>(memory)); }),
         FilterWorkFault}},
       nullptr},
      {"GetPictureInfo(memory)", nothing, [&] { return FilterGetPictureInfo(memory, 1); },
       {{"work", CountOps([&] { FilterGetPictureInfo(memory, 1); }), FilterWorkFault}}, nullptr},
      {"GetPicture(memory)", nothing, [&] { return FilterGetPicture(memory, 1, pixelBytes); },
       {{"work", CountOps([&] { FilterGetPicture(memory, 1, pixelBytes); }), FilterWorkFault}},
       nullptr},
  };
  long points = 0;
  for (const Scenario& scenario : scenarios) points += Sweep(scenario);
  printf("[ sweep    ] import filter: %ld fault points\n", points);
  // Two opens and reads per file call, two blocks per decode, a size query:
  // a sweep that found fewer points would have missed some.
  EXPECT_GE(points, 26);
}

// ---- The archive extractor --------------------------------------------------

// The extractor's four entry points, either the loaded plug-in's exports or
// the same logic linked into this program (whose cache the test can see).
struct Extractor {
  std::function<int(LPCSTR)> isSupported;
  std::function<int(LPCSTR, HLOCAL*)> getArchiveInfo;
  std::function<int(LPCSTR, LPCSTR, unsigned, fileInfo*)> getFileInfo;
  std::function<int(LPCSTR, ULONG_PTR, HLOCAL*)> getFile;
};

Extractor PluginExtractor() {
  const korvo::LoadedPlugin& plugin = BuiltPlugin("AXKORVO");
  return {[&plugin](LPCSTR path) { return plugin.IsSupported(path, 0); },
          [&plugin](LPCSTR path, HLOCAL* listing) { return plugin.GetArchiveInfo(path, 0, 0, listing); },
          [&plugin](LPCSTR path, LPCSTR name, unsigned flag, fileInfo* record) {
            return plugin.GetFileInfo(path, 0, name, flag, record);
          },
          [&plugin](LPCSTR path, ULONG_PTR position, HLOCAL* block) {
            return plugin.GetFile(path, static_cast<LONG_PTR>(position), reinterpret_cast<LPSTR>(block),
                                  0x100, nullptr, 0);
          }};
}

Extractor LinkedExtractor() {
  using korvo::kArchiveLayouts;
  return {[](LPCSTR path) { return korvo::ArchiveIsSupported(kArchiveLayouts, path); },
          [](LPCSTR path, HLOCAL* listing) {
            return korvo::ArchiveGetArchiveInfo(kArchiveLayouts, path, 0, listing);
          },
          [](LPCSTR path, LPCSTR name, unsigned flag, fileInfo* record) {
            return korvo::ArchiveGetFileInfo(kArchiveLayouts, path, name, flag, record);
          },
          [](LPCSTR path, ULONG_PTR position, HLOCAL* block) {
            return korvo::ArchiveGetFile(kArchiveLayouts, path, static_cast<LONG_PTR>(position),
                                         korvo::MemoryOutputSlot(block), 0x100, nullptr, 0);
          }};
}

struct SweptArchive {
  std::string path;
  SampleArchive archive;
  bool namedEntry;
  Bytes sharedPalette;  // named-entry: the triples its probe installs
};

Bytes SharedPaletteOf(const SampleArchive& archive) {
  // Colour i of a shared-palette entry's picture is triple i.
  Bytes triples;
  const Bytes& picture = archive.entries[kSharedPaletteEntry].extracted;
  for (size_t i = 0; i < 256; ++i) triples.insert(triples.end(), &picture[8 + 4 * i], &picture[11 + 4 * i]);
  return triples;
}

// A parser that must never run: the cache is looked at, not refilled.
std::atomic<int> forbiddenParses{0};
int ForbiddenParse(const korvo::HostPath&) noexcept {
  ++forbiddenParses;
  return 2;
}

// The linked cache holds `expected`'s directory under its path, and
// `palette` as the shared palette; nothing is parsed to find out.
void ExpectCacheHolds(const SweptArchive& expected, const Bytes& palette) {
  forbiddenParses = 0;
  HGLOBAL listing = nullptr;
  EXPECT_EQ(korvo::ListDirectory(expected.path.c_str(), ForbiddenParse, &listing), 0)
      << "the cache does not hold " << expected.path;
  if (listing != nullptr) {
    EXPECT_TRUE(ListingIs(listing, expected.archive));
    FreeBlock(listing);
  }
  fileInfo record;
  Bytes shared(768);
  EXPECT_EQ(korvo::LookUpEntryForExtract(expected.path.c_str(), ForbiddenParse,
                                         expected.archive.entries[0].position, &record, shared.data()),
            0);
  EXPECT_TRUE(shared == palette) << "the shared palette changed";
  EXPECT_EQ(forbiddenParses, 0);
}

// What a fault in each stage of an extractor call calls for. A failed probe
// means the file is not recognised: IsSupported 0, GetArchiveInfo and
// GetFileInfo -1, GetFile 2. The listing fails with 4 for its block; an
// extract with 4 for its block and 6 for its file.
enum class Work { kNone, kListing, kLookup, kExtract };

int ProbeFault(bool decisive, int refused, bool shortRead) {
  return decisive && !shortRead ? refused : kClean;
}

int WorkFault(Work work, PlatformOperation op, bool shortRead) {
  if (work == Work::kExtract) return (op == kOpAlloc || op == kOpLock) && !shortRead ? 4 : 6;
  if (work == Work::kListing && (op == kOpAlloc || op == kOpLock)) return 4;
  ADD_FAILURE() << "unexpected " << kOpNames[op] << " in the work after the probe";
  return kClean;
}

std::vector<Scenario> ExtractorScenarios(const Extractor& extractor, const SweptArchive& swept,
                                         const SweptArchive& previous, bool seeCache) {
  const LPCSTR path = swept.path.c_str();
  auto setUp = [extractor, previous] {
    HLOCAL listing = nullptr;
    ASSERT_EQ(extractor.getArchiveInfo(previous.path.c_str(), &listing), 0);
    FreeBlock(listing);
  };
  // Probe stages as the call runs them: the offset-table probe, then, for a
  // named-entry archive, the named-entry probe. Only the probe that decides
  // can change the answer.
  // The probes are counted in the linked copy, whose cache must then hold
  // what the scenario's own does: a probe of the archive its cache holds
  // only checks the directory and allocates nothing.
  auto linkedSetUp = [previous] {
    HLOCAL listing = nullptr;
    ASSERT_EQ(korvo::ArchiveGetArchiveInfo(korvo::kArchiveLayouts, previous.path.c_str(), 0, &listing), 0);
    FreeBlock(listing);
  };
  auto probes = [&](int refused) {
    std::vector<Stage> stages;
    setUp();
    linkedSetUp();
    stages.push_back({"offset-table probe",
                      CountOps([&] { korvo::ProbeLayout(korvo::kArchiveLayouts[0], path); }),
                      [refused, named = swept.namedEntry](PlatformOperation, bool shortRead) {
                        return ProbeFault(!named, refused, shortRead);
                      },
                      true});
    if (swept.namedEntry)
      stages.push_back({"named-entry probe",
                        CountOps([&] { korvo::ProbeLayout(korvo::kArchiveLayouts[1], path); }),
                        [refused](PlatformOperation, bool shortRead) {
                          return ProbeFault(true, refused, shortRead);
                        },
                        true});
    return stages;
  };
  // The work stage: the call's operations beyond its probes.
  auto withWork = [&](std::vector<Stage> stages, Work work, const std::function<void()>& run) {
    setUp();
    OpCounts counts = CountOps(run);
    for (const Stage& stage : stages)
      for (int op = 0; op < kOpCount; ++op) counts.calls[op] -= stage.calls.calls[op];
    stages.push_back({"work", counts, [work](PlatformOperation op, bool shortRead) {
                        return WorkFault(work, op, shortRead);
                      }});
    return stages;
  };
  std::function<void(bool)> checkCache = nullptr;
  if (seeCache)
    checkCache = [swept, previous](bool recognised) {
      const SweptArchive& cached = recognised ? swept : previous;
      ExpectCacheHolds(cached, recognised && swept.namedEntry ? swept.sharedPalette
                                                              : previous.sharedPalette);
    };

  std::vector<Scenario> scenarios;
  scenarios.push_back({"IsSupported", setUp,
                       [extractor, path] {
                         Answer answer;
                         answer.code = extractor.isSupported(path);
                         return answer;
                       },
                       probes(0), checkCache});
  auto listing = [extractor, path, swept] {
    Answer answer;
    HLOCAL block = kUntouched;
    answer.code = extractor.getArchiveInfo(path, &block);
    answer.untouched = block == kUntouched;
    if (answer.code == 0) {
      EXPECT_EQ(LockCount(block), 0u);
      answer.output = HostBytes(block, (swept.archive.entries.size() + 1) * sizeof(fileInfo));
      EXPECT_TRUE(ListingBytesAre(answer.output, swept.archive));
      FreeBlock(block);
    }
    return answer;
  };
  scenarios.push_back({"GetArchiveInfo", setUp, listing,
                       withWork(probes(-1), Work::kListing, [&] { listing(); }), checkCache});
  for (unsigned flag : {0u, 0x80u}) {
    const SampleEntry& entry = swept.archive.entries.back();
    std::string name = entry.filename;
    if (flag) for (char& c : name) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c;
    auto lookup = [extractor, path, name, flag, entry] {
      Answer answer;
      fileInfo record, untouched;
      memset(&record, 0xAB, sizeof record);
      memset(&untouched, 0xAB, sizeof untouched);
      answer.code = extractor.getFileInfo(path, name.c_str(), flag, &record);
      answer.untouched = memcmp(&record, &untouched, sizeof record) == 0;
      if (answer.code == 0) {
        EXPECT_TRUE(RecordIs(record, entry));
        answer.output.assign(reinterpret_cast<uint8_t*>(&record), reinterpret_cast<uint8_t*>(&record + 1));
      }
      return answer;
    };
    scenarios.push_back({"GetFileInfo " + name, setUp, lookup,
                         withWork(probes(-1), Work::kLookup, [&] { lookup(); }), checkCache});
  }
  for (const SampleEntry& entry : swept.archive.entries) {
    auto extract = [extractor, path, entry] {
      Answer answer;
      HLOCAL block = kUntouched;
      answer.code = extractor.getFile(path, entry.position, &block);
      answer.untouched = block == kUntouched;
      if (answer.code == 0) {
        EXPECT_EQ(LockCount(block), 0u);
        answer.output = HostBytes(block, entry.extracted.size());
        EXPECT_TRUE(answer.output == entry.extracted) << "extracted bytes of " << entry.filename;
        FreeBlock(block);
      }
      return answer;
    };
    scenarios.push_back({"GetFile " + entry.filename, setUp, extract,
                         withWork(probes(2), Work::kExtract, [&] { extract(); }), checkCache});
  }
  for (Scenario& scenario : scenarios) scenario.name = swept.path + " " + scenario.name;
  return scenarios;
}

long SweepBoth(const Extractor& extractor, bool seeCache) {
    const SampleArchive offsetTable = SampleOffsetTableArchive(21);
    const SampleArchive namedEntry = SampleNamedEntryArchive(22);
    const SampleArchive previous = SampleNamedEntryArchive(23, "Previous");
    const SweptArchive sweptOffsetTable{WriteScratchFile("sweep-offset-table", offsetTable.bytes),
                                        offsetTable, false, {}};
    const SweptArchive sweptNamedEntry{WriteScratchFile("sweep-named-entry", namedEntry.bytes),
                                       namedEntry, true, SharedPaletteOf(namedEntry)};
    const SweptArchive sweptPrevious{WriteScratchFile("sweep-previous", previous.bytes), previous,
                                     true, SharedPaletteOf(previous)};
    // A failed offset-table probe of the offset-table archive hands it to the
    // named-entry probe, which must refuse it.
    EXPECT_FALSE(korvo::ProbeLayout(korvo::kArchiveLayouts[1], sweptOffsetTable.path.c_str()));
    long points = 0;
    for (const SweptArchive* swept : {&sweptOffsetTable, &sweptNamedEntry})
      for (const Scenario& scenario : ExtractorScenarios(extractor, *swept, sweptPrevious, seeCache))
        points += Sweep(scenario);
  return points;
}

class ExtractorFaultSweepTest : public extractor_test::ExtractorTest {};

TEST_F(ExtractorFaultSweepTest, EveryOperationOfTheLinkedLogicKeepsTheCacheWhole) {
  REQUIRE_PLATFORM_HOOKS();
  long points = SweepBoth(LinkedExtractor(), true);
  printf("[ sweep    ] archive extractor logic: %ld fault points\n", points);
  EXPECT_GE(points, 100);
}

// The loaded plug-in's cache cannot be seen from here; its answers, blocks
// and files can.
TEST(PlugInFaultSweepTest, EveryOperationOfTheLoadedExtractor) {
  REQUIRE_PLATFORM_HOOKS();
  long points = SweepBoth(PluginExtractor(), false);
  printf("[ sweep    ] archive extractor plug-in: %ld fault points\n", points);
  EXPECT_GE(points, 100);
}

}  // namespace

#endif  // KORVO_HAS_PLATFORM_HOOKS

// Eight threads share the directory cache for two seconds: probes, listings,
// lookups and extracts of archives of both test layouts at once, and of the
// loaded plug-in. Every answer must be the archive's own (its records, its
// bytes, its palette), and nothing may be left alive or open afterwards. Run
// under ThreadSanitizer by the tsan preset.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "archive-extractor/entry_points.h"
#include "tests/support/extractor_fixture.h"
#include "tests/support/failures.h"
#include "tests/support/host_blocks.h"

using namespace korvo;
using namespace extractor_test;

namespace {

constexpr int kThreads = 8;
constexpr int kPluginThreads = 2;  // of the eight, calling the loaded plug-in
constexpr auto kDuration = std::chrono::seconds(2);

struct StressArchive {
  std::string path;
  std::vector<TestEntry> entries;
  bool layoutTwo;
  Triples palette;
};

std::vector<StressArchive> MakeArchives() {
  std::vector<StressArchive> archives;
  const char* tags[] = {"TLA1", "TLA2", "TLA2"};
  for (int a = 0; a < 3; ++a) {
    StressArchive archive;
    for (int e = 0; e < 4 + a; ++e)
      archive.entries.push_back({"a" + std::to_string(a) + "-Entry" + std::to_string(e) + ".QKZ",
                                 static_cast<uint32_t>(100 + 37 * e + a),
                                 static_cast<uint8_t>(16 * a + e)});
    archive.layoutTwo = tags[a][3] == '2';
    archive.palette = MakeTriples(static_cast<uint8_t>(60 * a + 1));
    archive.path = WriteScratchFile("stress-" + std::to_string(a),
                                    BuildTestArchive(tags[a], archive.entries, &archive.palette));
    archives.push_back(archive);
  }
  return archives;
}

// One call of the extractor's logic on `archive`, checked against what the
// archive holds.
void CallLogic(const StressArchive& archive, unsigned step, Failures& failures) {
  const size_t entry = step / 4 % archive.entries.size();
  const TestEntry& wanted = archive.entries[entry];
  const bool palette = true;  // every stress archive carries one
  switch (step % 4) {
    case 0:
      if (SupportedCode(ArchiveIsSupported(kTestLayouts, archive.path.c_str())) != 1)
        failures.Add("IsSupported " + archive.path);
      break;
    case 1: {
      HGLOBAL listing = nullptr;
      if (ListingCode(ArchiveGetArchiveInfo(kTestLayouts, archive.path.c_str(), 0, &listing)) != 0) {
        failures.Add("GetArchiveInfo " + archive.path);
        break;
      }
      Bytes bytes = BlockBytes(listing);
      platform::GlobalFree(listing);
      size_t n = archive.entries.size();
      if (bytes.size() != (n + 1) * sizeof(fileInfo)) {
        failures.Add("listing size of " + archive.path);
        break;
      }
      for (size_t i = 0; i < n; ++i) {
        fileInfo expected = ExpectedRecord(archive.entries, i, palette);
        if (std::memcmp(&bytes[i * sizeof(fileInfo)], &expected, sizeof expected) != 0)
          failures.Add("listing record of " + archive.path);
      }
      if (bytes[n * sizeof(fileInfo)] != 0) failures.Add("listing end of " + archive.path);
      break;
    }
    case 2: {
      std::string name = wanted.name;
      for (char& letter : name) letter = static_cast<char>(std::toupper(letter));
      fileInfo record;
      if (ListingCode(ArchiveGetFileInfo(kTestLayouts, archive.path.c_str(), name.c_str(), 0x80, &record)) != 0 ||
          !SameRecord(record, ExpectedRecord(archive.entries, entry, palette)))
        failures.Add("GetFileInfo " + name);
      break;
    }
    case 3: {
      HGLOBAL dest = nullptr;
      ULONG_PTR position = TestEntryPosition(archive.entries, entry, palette);
      if (GetFileCode(ArchiveGetFile(kTestLayouts, archive.path.c_str(), position, SlotAsDest(&dest), 0x100, nullptr, 0)) !=
          0) {
        failures.Add("GetFile " + wanted.name);
        break;
      }
      Bytes expected;
      if (archive.layoutTwo) expected.assign(archive.palette.begin(), archive.palette.end());
      Bytes data = TestEntryBytes(wanted);
      expected.insert(expected.end(), data.begin(), data.end());
      if (BlockBytes(dest) != expected) failures.Add("extracted bytes of " + wanted.name);
      platform::GlobalFree(dest);
      break;
    }
  }
}

// One call of the loaded plug-in, which recognises none of these archives.
void CallPlugin(const LoadedPlugin& plugin, const StressArchive& archive, unsigned step,
                Failures& failures) {
  const char* path = archive.path.c_str();
  HLOCAL handle = nullptr;
  fileInfo record;
  bool answered = false;
  switch (step % 4) {
    case 0:
      answered = plugin.IsSupported(path, 0) == 0;
      break;
    case 1:
      answered = plugin.GetArchiveInfo(path, 0, 0, &handle) == kResultNotHandled;
      break;
    case 2:
      answered = plugin.GetFileInfo(path, 0, "x.QKZ", 0x80, &record) == kResultNotHandled;
      break;
    case 3:
      answered = plugin.GetFile(path, 8, reinterpret_cast<LPSTR>(&handle), 0x100, nullptr, 0) ==
                 kResultBadFormat;
      break;
  }
  if (!answered || handle != nullptr) failures.Add("plug-in call " + std::to_string(step % 4));
}

class DirectoryStressTest : public ExtractorTest {};

TEST_F(DirectoryStressTest, ThreadsShareTheCacheSafely) {
  const std::vector<StressArchive> archives = MakeArchives();
  const LoadedPlugin& plugin = BuiltPlugin("AXKORVO");
  ASSERT_NE(plugin.GetFile, nullptr);
  const long files = OpenFiles();
  const long blocks = LiveBlocks();

  Failures failures;
  std::atomic<long> logicCalls{0}, pluginCalls{0};
  const auto deadline = std::chrono::steady_clock::now() + kDuration;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      long made = 0;
      for (unsigned step = static_cast<unsigned>(t) * 7;
           std::chrono::steady_clock::now() < deadline; ++step, ++made) {
        // Neighbouring threads work on different archives at the same time.
        const StressArchive& archive = archives[(step / 3 + t) % archives.size()];
        if (t < kPluginThreads)
          CallPlugin(plugin, archive, step, failures);
        else
          CallLogic(archive, step, failures);
      }
      (t < kPluginThreads ? pluginCalls : logicCalls) += made;
    });
  }
  for (std::thread& thread : threads) thread.join();

  printf("[ stress   ] %ld calls of the logic by %d threads, %ld of the plug-in by %d, in %lld s\n",
         logicCalls.load(), kThreads - kPluginThreads, pluginCalls.load(), kPluginThreads,
         static_cast<long long>(kDuration.count()));
  EXPECT_EQ(failures.count, 0) << "first: " << failures.first;
  EXPECT_GT(logicCalls, (kThreads - kPluginThreads) * 4L);
  EXPECT_GT(pluginCalls, kPluginThreads * 4L);
  EXPECT_EQ(OpenFiles(), files) << "file handles left open";
  // The cached directory is the one block that may stay; unloading frees it.
  Reload();
  EXPECT_EQ(LiveBlocks(), blocks) << "blocks leaked";
}

}  // namespace

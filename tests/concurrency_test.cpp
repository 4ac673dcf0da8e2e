// Eight threads call every export of both loaded plug-ins at once, over
// archives of both layouts, valid and damaged, and over a picture file, while
// another thread keeps rewriting one archive on disk: a new version written
// under a temporary name and renamed over it, or written over it in place. No
// call may crash, hand out a wrong answer or leave a block alive or a file
// open; run under ThreadSanitizer by the tsan preset. (The directory cache
// test drives the cache's own logic the same way, over test layouts.)
//
// Every version of the rewritten archive has the same directory and differs
// from the others in one row byte per entry. A reader that meets the file
// halfway through a rewrite therefore sees each entry as one version has it
// or fails, so every successful extract must equal an entry of some version.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "host-contract/host_contract.h"
#include "tests/support/archive_checks.h"
#include "tests/support/bitmap_checks.h"
#include "tests/support/failures.h"
#include "tests/support/host_blocks.h"
#include "tests/support/sample_archives.h"
#include "tests/support/test_pictures.h"
#include "tests/support/untouched.h"

namespace {

using korvo::fileInfo;

constexpr int kWorkers = 8;
constexpr int kVersions = 3;
constexpr auto kDuration = std::chrono::milliseconds(2500);

const korvo::LoadedPlugin& Filter() { return BuiltPlugin("IFKORVO"); }
const korvo::LoadedPlugin& Extractor() { return BuiltPlugin("AXKORVO"); }

// An archive on disk and every version of it a reader may meet; a damaged
// archive has no valid version.
struct Subject {
  std::string name;
  std::string path;
  std::vector<SampleArchive> versions;  // empty: damaged, refused by every export
};

// The rewritten archive's versions: the same named-entry archive, with one
// row byte of every entry set to the version's own value.
std::vector<SampleArchive> RewrittenVersions() {
  std::vector<SampleArchive> versions;
  for (int v = 0; v < kVersions; ++v) {
    SampleArchive archive = SampleNamedEntryArchive(40, "Rewritten");
    for (size_t e = 0; e < archive.entries.size(); ++e)
      SetRowByte(&archive, e, static_cast<uint32_t>(e), static_cast<uint8_t>(0xA0 + 16 * v + e));
    versions.push_back(archive);
  }
  return versions;
}

bool WriteFile(const std::string& path, const Bytes& bytes, const char* mode) {
  FILE* file = fopen(path.c_str(), mode);
  if (file == nullptr) return false;
  bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && written;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return rename(from.c_str(), to.c_str()) == 0;
#endif
}

// Rewrites the archive until the deadline: valid versions by rename or in
// place, the damaged one (its last entry cut short) by rename only. On
// Windows a file that readers hold open can be neither replaced nor written;
// such a rewrite is skipped.
long RewriteUntil(const Subject& subject, std::chrono::steady_clock::time_point deadline) {
  Bytes damaged = subject.versions[0].bytes;
  damaged.resize(damaged.size() - 3);
  const std::string temporary = subject.path + ".new";
  long rewrites = 0;
  for (unsigned step = 0; rewrites == 0 || std::chrono::steady_clock::now() < deadline; ++step) {
    const bool broken = step % 7 == 6;
    const Bytes& bytes = broken ? damaged : subject.versions[step % kVersions].bytes;
    bool done;
    if (!broken && step % 2 == 0)
      done = WriteFile(subject.path, bytes, "r+b");
    else
      done = WriteFile(temporary, bytes, "wb") && ReplaceFile(temporary, subject.path);
    if (done) ++rewrites;
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
  // The last word is a valid version, so that the file outlives the test whole.
  WriteFile(temporary, subject.versions[0].bytes, "wb");
  ReplaceFile(temporary, subject.path);
  return rewrites;
}

// The filter decodes the picture from a file (`path`) or from memory.
void CheckDecoded(const Bytes& picture, const char* path, const std::string& what,
                  Failures& failures) {
  HLOCAL info = kUntouched, pixels = kUntouched;
  const int result = path != nullptr
                         ? Filter().GetPicture(path, 0, 0, &info, &pixels, nullptr, 0)
                         : Filter().GetPicture(reinterpret_cast<LPCSTR>(picture.data()),
                                               static_cast<LONG_PTR>(picture.size()), 1, &info,
                                               &pixels, nullptr, 0);
  if (result != 0) {
    failures.Add("decode of " + what);
    return;
  }
  if (!BitmapIs(info, pixels, picture)) failures.Add("decoded bitmap of " + what);
  FreeBlock(info);
  FreeBlock(pixels);
}

// One export of the extractor on `subject`, its answer checked.
void CallExtractor(const Subject& subject, unsigned step, Failures& failures, std::atomic<long>& successes) {
  const LPCSTR path = subject.path.c_str();
  const bool damaged = subject.versions.empty();
  static const SampleArchive kNoArchive;
  const SampleArchive& shape = damaged ? kNoArchive : subject.versions[0];
  const size_t entryCount = damaged ? 4 : shape.entries.size();
  const size_t index = step / 4 % entryCount;
  const std::string what = subject.name + " step " + std::to_string(step % 4);
  switch (step % 4) {
    case 0: {
      int supported = Extractor().IsSupported(path, 0);
      if (supported == 1) ++successes;
      if (supported != (damaged ? 0 : 1) && !(supported == 0 && subject.versions.size() > 1))
        failures.Add("IsSupported of " + what);
      break;
    }
    case 1: {
      HLOCAL listing = kUntouched;
      int result = Extractor().GetArchiveInfo(path, 0, 0, &listing);
      if (result != 0) {
        if (listing != kUntouched) failures.Add("a failed listing stored a handle: " + what);
        if (!damaged && subject.versions.size() == 1) failures.Add("listing failed: " + what);
        break;
      }
      ++successes;
      if (damaged || !ListingIs(listing, shape)) failures.Add("listing of " + what);
      FreeBlock(listing);
      break;
    }
    case 2: {
      fileInfo record = Untouched<fileInfo>();
      const std::string name = damaged ? "Palette.QKZ" : shape.entries[index].filename;
      int result = Extractor().GetFileInfo(path, 0, name.c_str(), step & 0x80, &record);
      if (result != 0) {
        if (!IsUntouched(record)) failures.Add("a failed lookup wrote: " + what);
        if (!damaged && subject.versions.size() == 1) failures.Add("lookup failed: " + what);
        break;
      }
      ++successes;
      if (damaged || !RecordIs(record, shape.entries[index])) failures.Add("record of " + what);
      break;
    }
    case 3: {
      HLOCAL block = kUntouched;
      const uint32_t position = damaged ? 40 : shape.entries[index].position;
      int result = Extractor().GetFile(path, position, reinterpret_cast<LPSTR>(&block), 0x100, nullptr, 0);
      if (result != 0) {
        if (block != kUntouched) failures.Add("a failed extract stored a handle: " + what);
        if (!damaged && subject.versions.size() == 1) failures.Add("extract failed: " + what);
        break;
      }
      ++successes;
      if (damaged) {
        failures.Add("extracted from a damaged archive: " + what);
        FreeBlock(block);
        break;
      }
      const Bytes bytes = BlockBytes(block, shape.entries[index].extracted.size());
      FreeBlock(block);
      bool known = false;
      for (const SampleArchive& version : subject.versions)
        known = known || bytes == version.entries[index].extracted;
      if (!known) failures.Add("extract equal to no version: " + what);
      CheckDecoded(bytes, nullptr, what, failures);
      break;
    }
  }
}

// One export of the filter on the picture file, or on it in memory.
void CallFilter(const std::string& path, const Bytes& picture, unsigned step, Failures& failures) {
  switch (step % 3) {
    case 0:
      if (Filter().IsSupported(path.c_str(), 0) != 1 ||
          Filter().IsSupported("", reinterpret_cast<ULONG_PTR>(picture.data())) != 1)
        failures.Add("filter IsSupported");
      break;
    case 1: {
      korvo::PictureInfo info;
      if (Filter().GetPictureInfo(path.c_str(), 0, 0, &info) != 0 || info.width != 9 || info.height != 4)
        failures.Add("filter GetPictureInfo");
      break;
    }
    case 2:
      CheckDecoded(picture, path.c_str(), "the picture file", failures);
      break;
  }
}

TEST(ConcurrencyTest, EightThreadsAndARewriterGetOnlyRightAnswers) {
  Bytes offsetTableCut = SampleOffsetTableArchive(31).bytes;
  offsetTableCut.pop_back();
  Bytes namedEntryWithoutPalette = SampleNamedEntryArchive(32).bytes;
  namedEntryWithoutPalette[4] = 'p';  // "palette" is not the Palette entry
  const std::vector<SampleArchive> rewritten = RewrittenVersions();
  const std::vector<Subject> subjects = {
      {"offset-table", WriteScratchFile("threads-offset-table", SampleOffsetTableArchive(33).bytes),
       {SampleOffsetTableArchive(33)}},
      {"named-entry", WriteScratchFile("threads-named-entry", SampleNamedEntryArchive(34).bytes),
       {SampleNamedEntryArchive(34)}},
      {"cut offset-table", WriteScratchFile("threads-offset-table-cut", offsetTableCut), {}},
      {"paletteless named-entry", WriteScratchFile("threads-no-palette", namedEntryWithoutPalette), {}},
      {"rewritten", WriteScratchFile("threads-rewritten", rewritten[0].bytes), rewritten},
  };
  const Bytes picture = MakeQkzPicture(9, 4);
  const std::string picturePath = WriteScratchFile("threads-picture.QKZ", picture);
  ASSERT_NE(Extractor().GetFile, nullptr);
  ASSERT_NE(Filter().GetPicture, nullptr);

  // The extractor's cache holds one directory before and after.
  HLOCAL listing = nullptr;
  ASSERT_EQ(Extractor().GetArchiveInfo(subjects[0].path.c_str(), 0, 0, &listing), 0);
  FreeBlock(listing);
  const long blocks = LiveBlocks();
  const long files = OpenFiles();

  Failures failures;
  std::atomic<long> calls{0}, successes{0};
  const auto deadline = std::chrono::steady_clock::now() + kDuration;
  long rewrites = 0;
  std::thread rewriter([&] { rewrites = RewriteUntil(subjects.back(), deadline); });
  std::vector<std::thread> workers;
  for (int t = 0; t < kWorkers; ++t) {
    workers.emplace_back([&, t] {
      long made = 0;
      for (unsigned step = static_cast<unsigned>(t) * 5; std::chrono::steady_clock::now() < deadline;
           ++step, ++made) {
        // One call in five goes to the filter; neighbouring threads work on
        // different archives at the same time.
        if (step % 5 == 4)
          CallFilter(picturePath, picture, step / 5, failures);
        else
          CallExtractor(subjects[(step / 3 + t) % subjects.size()], step, failures, successes);
      }
      calls += made;
    });
  }
  for (std::thread& worker : workers) worker.join();
  rewriter.join();

  printf("[ threads  ] %ld calls by %d threads (%ld extractor successes), %ld rewrites\n",
         calls.load(), kWorkers, successes.load(), rewrites);
  EXPECT_EQ(failures.count, 0) << failures.count << " wrong answers, the first: " << failures.first;
  EXPECT_GT(calls, kWorkers * 10L);
  EXPECT_GT(rewrites, 0);
  EXPECT_EQ(OpenFiles(), files) << "files left open";
  // Whatever the last successful parse was, it is the one directory held.
  ASSERT_EQ(Extractor().GetArchiveInfo(subjects[0].path.c_str(), 0, 0, &listing), 0);
  FreeBlock(listing);
  EXPECT_EQ(LiveBlocks(), blocks) << "blocks leaked";
}

}  // namespace

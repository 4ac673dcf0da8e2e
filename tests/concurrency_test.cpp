// Eight threads call every export of both loaded plug-ins at once, the
// 8-bit ones and their W twins in turn on the same archives (so that the
// directory cache keeps switching between the two kinds of path), previews
// beside pictures, and GetFile both to memory and into a folder of each
// thread's own, over archives of both layouts, valid and damaged, and over a
// picture file, while
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
#include <filesystem>
#include <mutex>
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
#include "tests/support/output_folders.h"
#include "tests/support/test_pictures.h"
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
  WideText widePath = Utf16(path);
};

// A thread's own folders for GetFile's output: one named in ASCII for the
// 8-bit export, one in Hangul for GetFileW.
struct OutputFolder {
  std::string narrow;
  WideText wide;
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

// The filter decodes the picture from a file (`path`, in UTF-16 through the
// W exports when `wide`) or from memory, through GetPicture or GetPreview.
void CheckDecoded(const Bytes& picture, const std::string* path, bool wide, bool preview,
                  const std::string& what, Failures& failures) {
  HLOCAL info = kUntouched, pixels = kUntouched;
  const WideText widePath = path != nullptr ? Utf16(*path) : WideText();
  const void* buf = path == nullptr ? static_cast<const void*>(picture.data())
                    : wide          ? static_cast<const void*>(widePath.c_str())
                                    : path->c_str();
  const LONG_PTR len = path != nullptr ? 0 : static_cast<LONG_PTR>(picture.size());
  const unsigned flag = path != nullptr ? 0 : 1;
  const int result =
      wide ? (preview ? Filter().GetPreviewW : Filter().GetPictureW)(
                 static_cast<LPCWSTR>(buf), len, flag, &info, &pixels, nullptr, 0)
           : (preview ? Filter().GetPreview : Filter().GetPicture)(
                 static_cast<LPCSTR>(buf), len, flag, &info, &pixels, nullptr, 0);
  if (result != 0) {
    failures.Add("decode of " + what);
    return;
  }
  if (!BitmapIs(info, pixels, picture)) failures.Add("decoded bitmap of " + what);
  FreeBlock(info);
  FreeBlock(pixels);
}

// One export of the extractor on `subject`, its answer checked: the 8-bit
// export or its W twin by turns, and every other extract into `folder`.
void CallExtractor(const Subject& subject, unsigned step, const OutputFolder& folder,
                   Failures& failures, std::atomic<long>& successes) {
  const bool wide = step / 4 % 2 == 1;
  const LPCSTR path = subject.path.c_str();
  const LPCWSTR widePath = subject.widePath.c_str();
  const bool damaged = subject.versions.empty();
  static const SampleArchive kNoArchive;
  const SampleArchive& shape = damaged ? kNoArchive : subject.versions[0];
  const size_t entryCount = damaged ? 4 : shape.entries.size();
  const size_t index = step / 4 % entryCount;
  const std::string what =
      subject.name + " step " + std::to_string(step % 4) + (wide ? " (W)" : "");
  switch (step % 4) {
    case 0: {
      int supported = wide ? Extractor().IsSupportedW(widePath, 0) : Extractor().IsSupported(path, 0);
      if (supported == 1) ++successes;
      if (supported != (damaged ? 0 : 1) && !(supported == 0 && subject.versions.size() > 1))
        failures.Add("IsSupported of " + what);
      break;
    }
    case 1: {
      HLOCAL listing = kUntouched;
      int result = wide ? Extractor().GetArchiveInfoW(widePath, 0, 0, &listing)
                        : Extractor().GetArchiveInfo(path, 0, 0, &listing);
      if (result != 0) {
        if (listing != kUntouched) failures.Add("a failed listing stored a handle: " + what);
        if (!damaged && subject.versions.size() == 1) failures.Add("listing failed: " + what);
        break;
      }
      ++successes;
      const bool right =
          !damaged &&
          (wide ? LockCount(listing) == 0 &&
                      WideListingBytesAre(
                          BlockBytes(listing, (shape.entries.size() + 1) * sizeof(korvo::fileInfoW)),
                          shape)
                : static_cast<bool>(ListingIs(listing, shape)));
      if (!right) failures.Add("listing of " + what);
      FreeBlock(listing);
      break;
    }
    case 2: {
      const std::string name = damaged ? "Palette.QKZ" : shape.entries[index].filename;
      const unsigned flag = step & 0x80;
      int result;
      bool right = false;
      if (wide) {
        korvo::fileInfoW record, untouched;
        memset(&record, 0xAB, sizeof record);
        memset(&untouched, 0xAB, sizeof untouched);
        result = Extractor().GetFileInfoW(widePath, 0, Utf16(name).c_str(), flag, &record);
        if (result != 0 && memcmp(&record, &untouched, sizeof record) != 0)
          failures.Add("a failed lookup wrote: " + what);
        right = result == 0 && !damaged && WideRecordIs(record, shape.entries[index], Utf16(name));
      } else {
        fileInfo record, untouched;
        memset(&record, 0xAB, sizeof record);
        memset(&untouched, 0xAB, sizeof untouched);
        result = Extractor().GetFileInfo(path, 0, name.c_str(), flag, &record);
        if (result != 0 && memcmp(&record, &untouched, sizeof record) != 0)
          failures.Add("a failed lookup wrote: " + what);
        right = result == 0 && !damaged && RecordIs(record, shape.entries[index]);
      }
      if (result != 0) {
        if (!damaged && subject.versions.size() == 1) failures.Add("lookup failed: " + what);
        break;
      }
      ++successes;
      if (!right) failures.Add("record of " + what);
      break;
    }
    case 3: {
      const uint32_t position = damaged ? 40 : shape.entries[index].position;
      const bool toFolder = step / 8 % 2 == 1;
      HLOCAL block = kUntouched;
      std::string dest = folder.narrow;
      WideText wideDest = folder.wide;
      LPSTR to = toFolder ? &dest[0] : reinterpret_cast<LPSTR>(&block);
      LPWSTR wideTo = toFolder ? &wideDest[0] : reinterpret_cast<LPWSTR>(&block);
      const unsigned flag = toFolder ? 0 : 0x100;
      int result = wide ? Extractor().GetFileW(widePath, position, wideTo, flag, nullptr, 0)
                        : Extractor().GetFile(path, position, to, flag, nullptr, 0);
      const WideText used = wide ? folder.wide : Utf16(folder.narrow);
      const std::vector<WideText> written = FolderNames(used);
      if (result != 0) {
        if (block != kUntouched) failures.Add("a failed extract stored a handle: " + what);
        if (!written.empty()) failures.Add("a failed extract left a file: " + what);
        if (!damaged && subject.versions.size() == 1) failures.Add("extract failed: " + what);
        break;
      }
      ++successes;
      if (damaged) {
        failures.Add("extracted from a damaged archive: " + what);
        if (!toFolder) FreeBlock(block);
        break;
      }
      const SampleEntry& entry = shape.entries[index];
      Bytes bytes;
      if (toFolder) {
        const WideText file = used + kWideSeparator + Utf16(entry.filename);
        if (written != std::vector<WideText>{Utf16(entry.filename)} || !ReadFileW(file, &bytes))
          failures.Add("not exactly the entry's file in the folder: " + what);
        std::error_code error;
        std::filesystem::remove(std::filesystem::path(file), error);
      } else {
        bytes = BlockBytes(block, entry.extracted.size());
        FreeBlock(block);
      }
      bool known = false;
      for (const SampleArchive& version : subject.versions)
        known = known || bytes == version.entries[index].extracted;
      if (!known) {
        failures.Add("extract equal to no version: " + what);
      } else {
        CheckDecoded(bytes, nullptr, wide, step / 16 % 2 == 1, what, failures);
      }
      break;
    }
  }
}

// One export of the filter on the picture file, or on it in memory: the
// 8-bit export or its W twin by turns, GetPicture or GetPreview.
void CallFilter(const std::string& path, const Bytes& picture, unsigned step, Failures& failures) {
  const bool wide = step / 3 % 2 == 1;
  const WideText widePath = Utf16(path);
  const std::string what = std::string("the picture file") + (wide ? " (W)" : "");
  switch (step % 3) {
    case 0: {
      const auto memory = reinterpret_cast<ULONG_PTR>(picture.data());
      const int file = wide ? Filter().IsSupportedW(widePath.c_str(), 0) : Filter().IsSupported(path.c_str(), 0);
      const int inMemory = wide ? Filter().IsSupportedW(WideText().c_str(), memory)
                                : Filter().IsSupported("", memory);
      if (file != 1 || inMemory != 1) failures.Add("filter IsSupported of " + what);
      break;
    }
    case 1: {
      korvo::PictureInfo info;
      const int result = wide ? Filter().GetPictureInfoW(widePath.c_str(), 0, 0, &info)
                              : Filter().GetPictureInfo(path.c_str(), 0, 0, &info);
      if (result != 0 || info.width != 9 || info.height != 4)
        failures.Add("filter GetPictureInfo of " + what);
      break;
    }
    case 2:
      CheckDecoded(picture, &path, wide, step / 6 % 2 == 1, what, failures);
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
  ASSERT_NE(Extractor().GetFileW, nullptr);
  ASSERT_NE(Filter().GetPreviewW, nullptr);
  // Each thread's output folder, the W ones named in Hangul.
  std::vector<OutputFolder> folders;
  for (int t = 0; t < kWorkers; ++t) {
    const std::string name = "threads-out-" + std::to_string(t);
    FreshFolder(name);
    folders.push_back({ScratchDirectory() + name, FreshFolder(name + "-\xEC\xB6\x9C\xEB\xA0\xA5")});
  }

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
          CallExtractor(subjects[(step / 3 + t) % subjects.size()], step, folders[t], failures,
                        successes);
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
  for (const OutputFolder& folder : folders) {
    EXPECT_TRUE(FolderNames(Utf16(folder.narrow)).empty()) << "a file was left in " << folder.narrow;
    EXPECT_TRUE(FolderNames(folder.wide).empty()) << "a file was left in a W output folder";
  }
  // Whatever the last successful parse was, it is the one directory held.
  ASSERT_EQ(Extractor().GetArchiveInfo(subjects[0].path.c_str(), 0, 0, &listing), 0);
  FreeBlock(listing);
  EXPECT_EQ(LiveBlocks(), blocks) << "blocks leaked";
}

// GetFile and GetFileW unpacking into one folder at once, each its half of
// the entries in turn: their temporary names come from one source, so no call
// fails on a name the other holds, and nothing but the entries' files is
// left. (Two renames over one final name at once can fail on Windows itself,
// so the two never write the same entry.)
TEST(ConcurrencyTest, GetFileAndGetFileWShareOneFolder) {
  const SampleArchive sample = SampleNamedEntryArchive(35);
  const std::string path = WriteScratchFile("threads-shared-folder", sample.bytes);
  const WideText widePath = Utf16(path);
  const std::string name = "threads-shared-out";
  const WideText wideFolder = FreshFolder(name);
  const std::string folder = ScratchDirectory() + name;
  Failures failures;
  std::atomic<long> calls{0};
  const auto deadline = std::chrono::steady_clock::now() + kDuration / 2;
  auto unpack = [&](bool wide) {
    std::string dest = folder;
    WideText wideDest = wideFolder;
    for (size_t step = 0; std::chrono::steady_clock::now() < deadline; ++step) {
      const size_t half = sample.entries.size() / 2;
      const SampleEntry& entry = sample.entries[wide ? half + step % (sample.entries.size() - half)
                                                     : step % half];
      const int result =
          wide ? Extractor().GetFileW(widePath.c_str(), entry.position, &wideDest[0], 0, nullptr, 0)
               : Extractor().GetFile(path.c_str(), entry.position, &dest[0], 0, nullptr, 0);
      if (result != 0)
        failures.Add(std::string(wide ? "GetFileW" : "GetFile") + " answered " +
                     std::to_string(result) + " for " + entry.filename);
      ++calls;
    }
  };
  std::thread narrow(unpack, false), wide(unpack, true);
  narrow.join();
  wide.join();
  printf("[ threads  ] %ld unpackings into one folder by GetFile and GetFileW\n", calls.load());
  EXPECT_EQ(failures.count, 0) << failures.count << " failed, the first: " << failures.first;
  std::vector<WideText> expected;
  for (const SampleEntry& entry : sample.entries) {
    expected.push_back(Utf16(entry.filename));
    Bytes bytes;
    EXPECT_TRUE(ReadFileW(wideFolder + kWideSeparator + Utf16(entry.filename), &bytes) &&
                bytes == entry.extracted)
        << entry.filename;
  }
  std::vector<WideText> names = FolderNames(wideFolder);
  std::sort(expected.begin(), expected.end());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, expected) << "more than the entries' files";
}

}  // namespace

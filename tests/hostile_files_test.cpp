// Files no viewer should trust, offered to both plug-ins as a host offers
// every file it browses, through the 8-bit exports and their W twins alike:
// foreign formats, scraps, random bytes, absurd counts, folders, missing
// files, long paths (UTF-16 ones of any length too) and names in code page
// 932. No call may crash, take a foreign file for its own, hand anything out
// for it or write anything into an output folder, leave a block alive, or
// (in the POSIX build, where blocks are counted) hold more memory at once
// than the file's size can justify.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#endif

#include "archive-extractor/directory_cache.h"
#include "archive-extractor/entry_points.h"
#include "host-contract/host_contract.h"
#include "tests/support/archive_checks.h"
#include "tests/support/failure_print.h"
#include "tests/support/host_blocks.h"
#include "tests/support/output_folders.h"
#include "tests/support/platform_hooks.h"
#include "tests/support/sample_archives.h"
#include "tests/support/test_pictures.h"
#include "tests/support/untouched.h"

namespace {

using korvo::fileInfo;
using korvo::PictureInfo;


const korvo::LoadedPlugin& Filter() { return BuiltPlugin("IFKORVO"); }
const korvo::LoadedPlugin& Extractor() { return BuiltPlugin("AXKORVO"); }

Bytes Text(const char* text) { return Bytes(text, text + strlen(text)); }

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Deterministic noise (xorshift32).
Bytes Noise(size_t size, uint32_t seed) {
  Bytes bytes(size);
  for (uint8_t& byte : bytes) {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    byte = static_cast<uint8_t>(seed >> 24);
  }
  return bytes;
}

Bytes Le32(uint32_t value) {
  Bytes bytes;
  AppendLe32(bytes, value);
  return bytes;
}

struct Hostile {
  std::string name;
  Bytes bytes;
};

std::vector<Hostile> HostileContents() {
  std::vector<Hostile> files = {{"empty", {}}};
  for (size_t size = 1; size <= 16; ++size)
    files.push_back({"scrap" + std::to_string(size), Noise(size, static_cast<uint32_t>(size))});
  const Bytes pad = Noise(1200, 99);
  files.push_back({"png", Concat(Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13,
                                       'I', 'H', 'D', 'R'}, pad)});
  files.push_back({"jpeg", Concat(Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0}, pad)});
  files.push_back({"zip", Concat(Bytes{'P', 'K', 3, 4, 20, 0, 0, 0, 8, 0}, pad)});
  files.push_back({"gif", Concat(Text("GIF89a"), pad)});
  files.push_back({"bmp", Concat(Bytes{'B', 'M', 0x36, 0x10, 0, 0, 0, 0, 0, 0, 0x36, 4, 0, 0}, pad)});
  files.push_back({"pdf", Concat(Text("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"), pad)});
  files.push_back({"text", Text("Pictures of the summer\r\nsee the folder next door\r\n")});
  files.push_back({"long-text", Concat(Text("<?xml version=\"1.0\"?>\n"), Bytes(3000, 'x'))});
  files.push_back({"utf16-text", Bytes{0xFF, 0xFE, 'h', 0, 'i', 0, '\r', 0, '\n', 0}});
  files.push_back({"elf", Concat(Bytes{0x7F, 'E', 'L', 'F', 2, 1, 1, 0}, pad)});
  files.push_back({"noise-100", Noise(100, 7)});
  files.push_back({"noise-5000", Noise(5000, 8)});
  files.push_back({"noise-70000", Noise(70000, 9)});
  // Archives of both layouts, damaged: their last entry a byte too short for
  // its picture (the named entry has 2 bytes to spare), or without the
  // Palette entry ("palette" does not count).
  Bytes offsetTable = SampleOffsetTableArchive(1).bytes;
  offsetTable.pop_back();
  files.push_back({"offset-table-cut", offsetTable});
  Bytes namedEntry = SampleNamedEntryArchive(2).bytes;
  namedEntry.resize(namedEntry.size() - 3);
  files.push_back({"named-entry-cut", namedEntry});
  namedEntry = SampleNamedEntryArchive(2).bytes;
  namedEntry[4] = 'p';
  files.push_back({"named-entry-lower-case-palette", namedEntry});
  // Counts that promise entries the file cannot hold, with a table or name
  // records that look right as far as they go.
  for (uint32_t count : {0x7FFFFFFFu, 0xFFFFFFFFu}) {
    const std::string tag = count == 0x7FFFFFFFu ? "7fffffff" : "ffffffff";
    files.push_back({"count-" + tag, Le32(count)});
    files.push_back({"count-" + tag + "-table", Concat(Concat(Le32(count), Le32(12)), Noise(2000, 3))});
    files.push_back({"count-" + tag + "-records",
                     Concat(Concat(Concat(Le32(count), Text("Palette")), Bytes{0, 40, 0, 0, 0}),
                            Noise(2000, 4))});
  }
  return files;
}

// What the filter must make of a ".QKZ" file with these bytes: whether its
// head passes, and GetPicture's code.
struct FilterExpectation {
  bool supported;
  int decode;
};

FilterExpectation ExpectFilter(const Bytes& bytes) {
  if (bytes.size() < 1032) return {false, 2};
  const uint64_t width = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint64_t{bytes[3]} << 24;
  const uint64_t height = bytes[4] | bytes[5] << 8 | bytes[6] << 16 | uint64_t{bytes[7]} << 24;
  const uint64_t size = 1032 + ((width + 3) & ~uint64_t{3}) * height;
  const bool valid = width != 0 && height != 0 && width < 0x80000000u && height < 0x80000000u &&
                     size <= 0xFFFFFFFFu;
  if (!valid) return {false, 2};
  return {true, bytes.size() < size ? 6 : 0};
}

// Bytes the calls of `run` held at their peak beyond what was alive before.
// 0 where the hooks keep no peak.
template <typename Run>
long long PeakBytesOf(Run run) {
  auto& hooks = TestHooks();
  hooks.peakLiveBytes = hooks.liveBytes.load();
  const long long before = hooks.liveBytes;
  run();
  return kHasFullHooks ? hooks.peakLiveBytes - before : 0;
}

// A probe may keep the directory records the file has room for (4 bytes
// each at least), in an array that doubles from 16, old and new together.
long long ProbeBudget(size_t fileSize) {
  const size_t records = fileSize / 4 + 1;
  return static_cast<long long>(3 * (records < 8 ? 16 : 2 * records) * sizeof(fileInfo));
}

// An 8-bit path as a Unicode host passes it (the test paths are ASCII or
// UTF-8; on Windows they are ASCII).
WideText WideOf(const std::string& path) { return Utf16(path); }

// The extractor's exports of one character unit: the 8-bit ones or their W
// twins, with the record they fill.
template <typename Unit>
struct ExtractorExports;
template <>
struct ExtractorExports<char> {
  using Record = fileInfo;
  static constexpr auto kIsSupported = &korvo::LoadedPlugin::IsSupported;
  static constexpr auto kGetArchiveInfo = &korvo::LoadedPlugin::GetArchiveInfo;
  static constexpr auto kGetFileInfo = &korvo::LoadedPlugin::GetFileInfo;
  static constexpr auto kGetFile = &korvo::LoadedPlugin::GetFile;
  static std::string Text(const std::string& ascii) { return ascii; }
};
template <>
struct ExtractorExports<WCHAR> {
  using Record = korvo::fileInfoW;
  static constexpr auto kIsSupported = &korvo::LoadedPlugin::IsSupportedW;
  static constexpr auto kGetArchiveInfo = &korvo::LoadedPlugin::GetArchiveInfoW;
  static constexpr auto kGetFileInfo = &korvo::LoadedPlugin::GetFileInfoW;
  static constexpr auto kGetFile = &korvo::LoadedPlugin::GetFileW;
  static WideText Text(const std::string& utf8) { return Utf16(utf8); }
};

// Every export of the extractor of one character unit refuses the file and
// hands out nothing: not to memory, and nothing into a folder (named in
// Hangul for the W twins). The probe holds no more than the file's size can
// justify.
template <typename Unit>
void ExpectExtractorRefusesIn(const std::basic_string<Unit>& path, size_t fileSize) {
  using Exports = ExtractorExports<Unit>;
  const korvo::LoadedPlugin& extractor = Extractor();
  const long live = LiveBlocks();
  long long peak =
      PeakBytesOf([&] { EXPECT_EQ((extractor.*Exports::kIsSupported)(path.c_str(), 0), 0); });
  EXPECT_LE(peak, ProbeBudget(fileSize)) << "the probe held more than the file can justify";
  HLOCAL listing = kUntouched;
  EXPECT_EQ((extractor.*Exports::kGetArchiveInfo)(path.c_str(), 0, 0, &listing), -1);
  EXPECT_EQ(listing, kUntouched);
  auto record = Untouched<typename Exports::Record>();
  EXPECT_EQ((extractor.*Exports::kGetFileInfo)(path.c_str(), 0,
                                                Exports::Text("Palette.QKZ").c_str(), 0x80, &record),
            -1);
  EXPECT_TRUE(IsUntouched(record));
  const std::string folderName = sizeof(Unit) == 1 ? "refused" : "refused-\xEC\xB6\x9C\xEB\xA0\xA5";
  const WideText folder = FreshFolder(folderName);
  std::basic_string<Unit> dest = Exports::Text(ScratchDirectory() + folderName);
  for (LONG_PTR position : {LONG_PTR{4}, LONG_PTR{12}, LONG_PTR{40}}) {
    HLOCAL entry = kUntouched;
    EXPECT_EQ((extractor.*Exports::kGetFile)(path.c_str(), position,
                                             reinterpret_cast<Unit*>(&entry), 0x100, nullptr, 0),
              2);
    EXPECT_EQ(entry, kUntouched);
    EXPECT_EQ((extractor.*Exports::kGetFile)(path.c_str(), position, &dest[0], 0, nullptr, 0), 2);
    EXPECT_TRUE(FolderNames(folder).empty()) << "a refused file wrote into the folder";
  }
  EXPECT_EQ(LiveBlocks(), live);
}

// Every export of the extractor, and every W twin with the path in UTF-16,
// refuses the file and hands out nothing.
void ExpectExtractorRefuses(const std::string& path, size_t fileSize) {
  ExpectExtractorRefusesIn(path, fileSize);
  ExpectExtractorRefusesIn(WideOf(path), fileSize);
}

// The filter's decoders of one spelling: GetPicture and GetPreview, or their
// W twins; a preview is the full picture, with the same codes.
struct Decode {
  const char* name;
  int (*call)(const std::string& path, const WideText& widePath, HLOCAL* info, HLOCAL* pixels);
};

const Decode kDecodes[] = {
    {"GetPicture",
     [](const std::string& path, const WideText&, HLOCAL* info, HLOCAL* pixels) {
       return Filter().GetPicture(path.c_str(), 0, 0, info, pixels, nullptr, 0);
     }},
    {"GetPreview",
     [](const std::string& path, const WideText&, HLOCAL* info, HLOCAL* pixels) {
       return Filter().GetPreview(path.c_str(), 0, 0, info, pixels, nullptr, 0);
     }},
    {"GetPictureW",
     [](const std::string&, const WideText& path, HLOCAL* info, HLOCAL* pixels) {
       return Filter().GetPictureW(path.c_str(), 0, 0, info, pixels, nullptr, 0);
     }},
    {"GetPreviewW",
     [](const std::string&, const WideText& path, HLOCAL* info, HLOCAL* pixels) {
       return Filter().GetPreviewW(path.c_str(), 0, 0, info, pixels, nullptr, 0);
     }},
};

// The filter's calls give what the file's bytes call for, through the 8-bit
// exports with `path` and the W ones with `widePath`; with `wideOnly` only
// the W ones (a path the 8-bit functions cannot name).
void ExpectFilterAnswers(const std::string& path, const WideText& widePath,
                         const FilterExpectation& expected, size_t fileSize, bool wideOnly = false) {
  const long live = LiveBlocks();
  if (!wideOnly) {
    EXPECT_EQ(Filter().IsSupported(path.c_str(), 0), expected.supported ? 1 : 0);
    PictureInfo info;
    EXPECT_EQ(Filter().GetPictureInfo(path.c_str(), 0, 0, &info), expected.supported ? 0 : 2);
  }
  EXPECT_EQ(Filter().IsSupportedW(widePath.c_str(), 0), expected.supported ? 1 : 0);
  PictureInfo info;
  EXPECT_EQ(Filter().GetPictureInfoW(widePath.c_str(), 0, 0, &info), expected.supported ? 0 : 2);
  for (const Decode& decode : kDecodes) {
    const bool wide = decode.name[strlen(decode.name) - 1] == 'W';
    if (wideOnly && !wide) continue;
    SCOPED_TRACE(decode.name);
    HLOCAL bitmapInfo = kUntouched, pixels = kUntouched;
    long long peak = PeakBytesOf(
        [&] { EXPECT_EQ(decode.call(path, widePath, &bitmapInfo, &pixels), expected.decode); });
    if (expected.decode == 0) {
      FreeBlock(bitmapInfo);
      FreeBlock(pixels);
    } else {
      EXPECT_EQ(bitmapInfo, kUntouched);
      EXPECT_EQ(pixels, kUntouched);
    }
    // Its BITMAPINFO block and rows the file holds, nothing more.
    EXPECT_LE(peak, static_cast<long long>(1064 + fileSize));
  }
  EXPECT_EQ(LiveBlocks(), live);
}

void ExpectFilterAnswers(const std::string& path, const FilterExpectation& expected,
                         size_t fileSize) {
  ExpectFilterAnswers(path, WideOf(path), expected, fileSize);
}

TEST(HostileFilesTest, ForeignAndBrokenFilesAreRefusedWithinTheirSize) {
  for (const Hostile& file : HostileContents()) {
    SCOPED_TRACE(file.name);
    const std::string picture = WriteScratchFile("hostile-" + file.name + ".QKZ", file.bytes);
    ExpectFilterAnswers(picture, ExpectFilter(file.bytes), file.bytes.size());
    const std::string lower = WriteScratchFile("hostile-" + file.name + ".qkz", file.bytes);
    EXPECT_EQ(Filter().IsSupported(lower.c_str(), 0), 0);
    EXPECT_EQ(Filter().IsSupportedW(WideOf(lower).c_str(), 0), 0);
    ExpectExtractorRefuses(WriteScratchFile("hostile-" + file.name, file.bytes), file.bytes.size());
  }
}

TEST(HostileFilesTest, TheHugeHeadIsRefusedBeforeItsRowsAreReserved) {
  // A regression: the filter used to reserve the rows a head claims (2 GiB
  // here) before finding that the file does not hold them.
  Bytes head = Concat(Le32(65532), Le32(32767));
  head.resize(1032 + 4096, 0x11);
  const std::string path = WriteScratchFile("claims-2-gib.QKZ", head);
  ExpectFilterAnswers(path, {true, 6}, head.size());
}

TEST(HostileFilesTest, FoldersAndMissingFilesAreNobodysPictures) {
  const std::string folders[] = {MakeFolder(ScratchDirectory() + "folder.QKZ"),
                                 MakeFolder(ScratchDirectory() + "folder"),
                                 ScratchDirectory() + "missing.QKZ", ScratchDirectory() + "missing",
                                 ScratchDirectory() + "no-such-folder/missing.QKZ", ""};
  for (const std::string& path : folders) {
    SCOPED_TRACE(path);
    ExpectFilterAnswers(path, {false, 2}, 0);
    ExpectExtractorRefuses(path, 0);
  }
}

#ifdef _WIN32
const char kSeparator = '\\';
#else
const char kSeparator = '/';
#endif

// A path of exactly `length` bytes ending in `suffix`, its folders made.
std::string PathOfLength(size_t length, const std::string& suffix) {
  std::string path = ScratchDirectory() + "long" + std::to_string(length);
  MakeFolder(path);
  path += kSeparator;
  while (length > path.size() + suffix.size() + 201) {
    path += std::string(200, 'd');
    MakeFolder(path);
    path += kSeparator;
  }
  path += std::string(length - path.size() - suffix.size(), 'f') + suffix;
  return path;
}

bool Write(const std::string& path, const Bytes& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && written;
}

TEST(HostileFilesTest, LongPathsAreServedWithoutOverrunningTheCache) {
  // 259 bytes fill the cached-path buffer with its NUL; 260 and 1000 do not
  // fit and are served uncached. Windows refuses to open such paths at all.
  const SampleArchive offsetTable = SampleOffsetTableArchive(3);
  const SampleArchive namedEntry = SampleNamedEntryArchive(4);
  const Bytes picture = MakeQkzPicture(7, 3);
  for (size_t length : {size_t{259}, size_t{260}, size_t{1000}}) {
    SCOPED_TRACE(length);
    const std::string paths[] = {PathOfLength(length, ".QKZ"), PathOfLength(length, ".ot"),
                                 PathOfLength(length, ".ne")};
    ASSERT_EQ(paths[0].size(), length);
    const bool written =
        Write(paths[0], picture) && Write(paths[1], offsetTable.bytes) && Write(paths[2], namedEntry.bytes);
#ifdef _WIN32
    if (!written || length >= 260) {
      // Windows may refuse such a path; if it serves it, it serves it right.
      const int supported = Extractor().IsSupported(paths[1].c_str(), 0);
      EXPECT_TRUE(supported == 0 || supported == 1);
      if (written && supported == 1) ExpectArchiveServed(Extractor(), paths[1], offsetTable);
      continue;
    }
#endif
    ASSERT_TRUE(written);
    ExpectFilterAnswers(paths[0], {true, 0}, picture.size());
    // Each archive after the other, twice, so that every call finds the
    // other one's directory cached.
    for (int round = 0; round < 2; ++round) {
      ExpectArchiveServed(Extractor(), paths[1], offsetTable);
      ExpectArchiveServed(Extractor(), paths[2], namedEntry);
    }
  }
}

// Folders and files named in UTF-16; on Windows through the wide file
// functions, which take paths of any length after the \\?\ prefix.
bool MakeFolderW(const WideText& path) {
#ifdef _WIN32
  return CreateDirectoryW(path.c_str(), nullptr) != 0 || GetLastError() == ERROR_ALREADY_EXISTS;
#else
  return mkdir(std::filesystem::path(path).c_str(), 0700) == 0 || errno == EEXIST;
#endif
}

bool WriteW(const WideText& path, const Bytes& bytes) {
#ifdef _WIN32
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool complete = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                                  nullptr) && written == bytes.size();
  return CloseHandle(file) && complete;
#else
  return WriteFileW(path, bytes);
#endif
}

// A UTF-16 path of exactly `units` units ending in `suffix`, its folders
// made and named in Hangul, so that its UTF-8 form is three times longer.
// On Windows it starts with the \\?\ prefix.
WideText WidePathOfUnits(size_t units, const std::string& suffix) {
#ifdef _WIN32
  WideText path = Utf16("\\\\?\\" + ScratchDirectory());
#else
  WideText path = Utf16(ScratchDirectory());
#endif
  path += Utf16("\xEA\xB8\xB4" + std::to_string(units));
  MakeFolderW(path);
  path += kWideSeparator;
  const WideText tail = Utf16(suffix);
  const auto han = static_cast<WCHAR>(0xD55C);  // one unit, three bytes of UTF-8
  // Names of at most 81 units: 243 bytes of UTF-8, within every file system's limit.
  while (units > path.size() + tail.size() + 81) {
    path += WideText(80, han);
    MakeFolderW(path);
    path += kWideSeparator;
  }
  return path + WideText(units - path.size() - tail.size(), han) + tail;
}

// The linked logic's parse of an offset-table archive, counted.
int countedParses = 0;
korvo::Failure CountedParse(korvo::ArchiveReader* reader,
                            korvo::ParsedDirectory* directory) noexcept {
  ++countedParses;
  return korvo::kArchiveLayouts[0].parse(reader, directory);
}

TEST(HostileFilesTest, LongUtf16PathsAreServedWithoutOverrunningTheCache) {
  // 259 units fill the cached path with its NUL; 260 and 1000 do not fit and
  // are served uncached, on Windows too, where the W functions open them.
  const SampleArchive offsetTable = SampleOffsetTableArchive(5);
  const SampleArchive namedEntry = SampleNamedEntryArchive(6);
  const Bytes picture = MakeQkzPicture(7, 3);
  for (size_t units : {size_t{259}, size_t{260}, size_t{1000}}) {
    SCOPED_TRACE(units);
    const WideText paths[] = {WidePathOfUnits(units, ".QKZ"), WidePathOfUnits(units, ".ot"),
                              WidePathOfUnits(units, ".ne")};
    ASSERT_EQ(paths[0].size(), units);
    ASSERT_TRUE(WriteW(paths[0], picture) && WriteW(paths[1], offsetTable.bytes) &&
                WriteW(paths[2], namedEntry.bytes));
    ExpectFilterAnswers("", paths[0], {true, 0}, picture.size(), true);
    // Each archive after the other, twice, so that every call finds the
    // other one's directory cached.
    for (int round = 0; round < 2; ++round) {
      ExpectArchiveServedW(Extractor(), paths[1], offsetTable);
      ExpectArchiveServedW(Extractor(), paths[2], namedEntry);
    }
    // The linked logic: listed once more without a parse only when it fits.
    HLOCAL listing = nullptr;
    ASSERT_EQ(korvo::ArchiveGetArchiveInfo(korvo::kArchiveLayouts, paths[1].c_str(), 0, &listing)
                  .reason,
              korvo::Failure::kNone);
    FreeBlock(listing);
    countedParses = 0;
    listing = nullptr;
    ASSERT_EQ(korvo::ListDirectory<korvo::fileInfoW>(paths[1].c_str(), CountedParse, &listing),
              korvo::Failure::kNone);
    EXPECT_TRUE(WideListingBytesAre(
        BlockBytes(listing, (offsetTable.entries.size() + 1) * sizeof(korvo::fileInfoW)),
        offsetTable));
    FreeBlock(listing);
    EXPECT_EQ(countedParses, units < 260 ? 0 : 1) << "cached a path that does not fit, or not one that does";
  }
  // The library's unload and load free what the linked calls cached.
  korvo::UnloadDirectoryCache();
  korvo::LoadDirectoryCache();
}


// Natively the test hooks give the system code page the lead bytes of 932;
// Windows runs it when its code page is 932 (under Wine, in the Japanese
// locale).
TEST(HostileFilesTest, CodePage932NamesAreKeptByteForByte) {
  SKIP_UNLESS(Need::kCodePage932);
  // Folder "ソフト" and names whose trail bytes are '\\' (0x5C) and 'A'.
  const std::string folder = MakeFolder(ScratchDirectory() + "\x83\x5C\x83\x74\x83\x67") + kSeparator;
  const Bytes picture = MakeQkzPicture(3, 2);
  const std::string picturePath = folder + "\x95\x5C\x8E\xA6.QKZ";
  ASSERT_TRUE(Write(picturePath, picture));
  const SampleArchive archive = SampleNamedEntryArchive(9, "\x83\x5C\x83\x41\x95\x5C");
  const std::string archivePath = folder + "\x8F\x91\x8C\xC9";
  ASSERT_TRUE(Write(archivePath, archive.bytes));
  // The W exports list an entry name as the system code page spells it in
  // UTF-16: "ソア表" in code page 932. Natively the system code page is
  // UTF-8, in which those bytes are no characters but U+FFFD and two
  // backslashes, so that the name is unsafe for a folder there.
  std::vector<WideText> names;
  for (const SampleEntry& entry : archive.entries) names.push_back(Utf16(entry.filename));
#ifdef _WIN32
  auto wide = [](const std::string& path) {
    WideText out(path.size() + 1, 0);
    out.resize(MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &out[0], static_cast<int>(out.size())));
    if (!out.empty()) out.pop_back();
    return out;
  };
  const WideText widePicture = wide(picturePath), wideArchive = wide(archivePath);
  names.back() = Utf16("\xE3\x82\xBD\xE3\x82\xA2\xE8\xA1\xA8.QKZ");
#else
  // Unicode hosts name the files in UTF-8 here: copies under the same names.
  MakeFolder(ScratchDirectory() + "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88");
  const WideText widePicture = WriteScratchFileW("\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/\xE8\xA1\xA8\xE7\xA4\xBA.QKZ", picture);
  const WideText wideArchive = WriteScratchFileW("\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88/\xE6\x9B\xB8\xE5\xBA\xAB", archive.bytes);
  names.back() = {0xFFFD, '\\', 0xFFFD, 'A', 0xFFFD, '\\', '.', 'Q', 'K', 'Z'};
#endif
  ExpectFilterAnswers(picturePath, widePicture, {true, 0}, picture.size());
  ExpectArchiveServed(Extractor(), archivePath, archive);
  ExpectArchiveServedW(Extractor(), wideArchive, archive, names);
  UseNoLeadBytes();
}

TEST(HostileFilesTest, AProbeOfGarbageHoldsLittle) {
  SKIP_UNLESS(Need::kFullHooks);
  // Reported for the record: what a probe of a file of noise holds at most.
  const Bytes noise = Noise(1 << 20, 12345);
  const std::string path = WriteScratchFile("noise-1mib", noise);
  long long peak = PeakBytesOf([&] { EXPECT_EQ(Extractor().IsSupported(path.c_str(), 0), 0); });
  printf("[ probe    ] peak of a probe of %zu bytes of noise: %lld bytes\n", noise.size(), peak);
  EXPECT_LE(peak, 16 * static_cast<long long>(sizeof(fileInfo)));
}

}  // namespace

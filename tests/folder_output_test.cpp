// GetFile with output to a folder, as filers and console extractors unpack:
// the entry's bytes under its name in the host's folder, names from the
// archive never taking a write outside it or to a device, and no partial or
// temporary file left by a failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif
#ifdef __linux__
#include <sys/inotify.h>
#include <unistd.h>
#endif

#include "archive-extractor/folder_output.h"
#include "tests/support/host_blocks.h"
#include "tests/support/named_entry_fixture.h"
#include "tests/support/platform_hooks.h"
#include "tests/support/sample_archives.h"

namespace {

namespace fs = std::filesystem;

const korvo::LoadedPlugin& Extractor() { return BuiltPlugin("AXKORVO"); }

// A fresh, empty folder of the scratch folder, named in UTF-8.
std::string FreshFolder(const std::string& utf8Name) {
  fs::path path = fs::u8path(ScratchDirectory() + utf8Name);
  fs::remove_all(path);
  fs::create_directories(path);
  return ScratchDirectory() + utf8Name;
}

// The names in a folder, sorted, in UTF-8.
std::vector<std::string> FolderNames(const std::string& utf8Folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(fs::u8path(utf8Folder)))
    names.push_back(entry.path().filename().u8string());
  std::sort(names.begin(), names.end());
  return names;
}

Bytes MemoryOutput(const std::string& archive, uint32_t position) {
  HLOCAL block = nullptr;
  EXPECT_EQ(Extractor().GetFile(archive.c_str(), position, reinterpret_cast<LPSTR>(&block), 0x100,
                                nullptr, 0),
            0);
  Bytes bytes = block == nullptr ? Bytes() : BlockBytes(block, platform::GlobalSize(block));
  FreeBlock(block);
  return bytes;
}

// Every name rule, the same on every platform. `codePage932`: the name is
// only safe where 0x95 leads a double-byte character.
TEST(FolderOutputTest, UnsafeNamesAreRefused) {
  struct Case {
    const char* name;
    bool safe;
  } cases[] = {
      {"plain.QKZ", true},       {"..QKZ", true},          {".QKZ", true},
      {"COM10.QKZ", true},       {"CONSOLE.QKZ", true},    {"a b.QKZ", true},
      {"", false},               {".", false},             {"..", false},
      {"..\\x.QKZ", false},      {"../x.QKZ", false},      {"a/b.QKZ", false},
      {"a\\b.QKZ", false},       {"a:b.QKZ", false},       {"C:x.QKZ", false},
      {"CON.QKZ", false},        {"con", false},           {"nul.txt.QKZ", false},
      {"Aux.QKZ", false},        {"PRN .QKZ", false},      {"COM1.QKZ", false},
      {"lpt9.QKZ", false},       {"a\x01.QKZ", false},     {"tab\t.QKZ", false},
      {"del\x7F.QKZ", false},    {"a<b.QKZ", false},       {"a>b.QKZ", false},
      {"a\"b.QKZ", false},       {"a|b.QKZ", false},       {"a?.QKZ", false},
      {"*.QKZ", false},          {"CONIN$", false},        {"conout$.QKZ", false},
      {"COM0.QKZ", false},       {"lpt0", false},          {"CONIN.QKZ", true},
      // Superscript digits, given in UTF-8 (U+00B9, U+00B2, U+00B3 in UTF-16).
      {"COM\xC2\xB9.QKZ", false}, {"Lpt\xC2\xB2", false},   {"com\xC2\xB3 .QKZ", false},
      {"COM\xC2\xBC.QKZ", true},  {"COM\xC2\xB9x.QKZ", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(korvo::IsSafeEntryName(c.name), c.safe) << c.name;
    EXPECT_EQ(korvo::IsSafeEntryName(Utf16(c.name).c_str()), c.safe) << c.name;
  }
  // The same digits as bytes of the Latin code pages, in 8-bit names.
  for (const char* name : {"COM\xB9.QKZ", "lpt\xB2", "LPT\xB3.x"})
    EXPECT_FALSE(korvo::IsSafeEntryName(name)) << name;
  EXPECT_TRUE(korvo::IsSafeEntryName("COM\xBC.QKZ"));
  EXPECT_FALSE(korvo::IsSafeEntryName(static_cast<LPCSTR>(nullptr)));
  EXPECT_FALSE(korvo::IsSafeEntryName(static_cast<LPCWSTR>(nullptr)));
}

// Every entry of both layouts goes into a folder whose name needs UTF-16,
// byte for byte what memory output hands over; a file of the entry's name
// is replaced; nothing else is left in the folder.
TEST(FolderOutputTest, EveryEntryUnpacksIntoAUnicodeFolder) {
  const SampleArchive archives[] = {SampleOffsetTableArchive(21), SampleNamedEntryArchive(22)};
  const char* const folderName = "out-\xEA\xB7\xB8\xEB\xA6\xBC-\xF0\x9F\x93\x81";  // 그림-📁
  for (size_t a = 0; a < 2; ++a) {
    const std::string archive = WriteScratchFile(a == 0 ? "unpack-t.cg" : "unpack-n.cg", archives[a].bytes);
    // Dated years back: a file dated when it was written shows.
    const fs::path archivePath = fs::u8path(archive);
    fs::last_write_time(archivePath, fs::last_write_time(archivePath) - std::chrono::hours(24 * 1000));
    const auto archiveDate = std::chrono::floor<std::chrono::seconds>(fs::last_write_time(archivePath));
    // With the UTF-16 folder, and (where the system code page is UTF-8) the
    // 8-bit one; a trailing separator on the folder adds none.
    struct Way {
      bool wide;
      const char* trailing;
    } ways[] = {{true, ""}, {true, "/"}, {false, ""}};
    for (const Way& way : ways) {
#ifdef _WIN32
      if (!way.wide) continue;  // an 8-bit host cannot name this folder
#endif
      const std::string folder = FreshFolder(folderName);
      std::vector<std::string> expectedNames;
      for (const SampleEntry& entry : archives[a].entries) {
        const std::string target = folder + "/" + entry.filename;
        WriteScratchFileW(std::string(folderName) + "/" + entry.filename, Bytes(3, 0xEE));
        const std::string dest = folder + way.trailing;
        int result = way.wide
                         ? Extractor().GetFileW(Utf16(archive).c_str(), entry.position,
                                                const_cast<WCHAR*>(Utf16(dest).c_str()), 0, nullptr, 0)
                         : Extractor().GetFile(archive.c_str(), entry.position,
                                               const_cast<char*>(dest.c_str()), 0, nullptr, 0);
        ASSERT_EQ(result, 0) << entry.filename;
        EXPECT_EQ(ReadBytes(target), entry.extracted) << entry.filename;
        EXPECT_EQ(ReadBytes(target), MemoryOutput(archive, entry.position));
        EXPECT_EQ(fs::last_write_time(fs::u8path(target)), archiveDate) << "the entry's date";
        expectedNames.push_back(entry.filename);
      }
      std::sort(expectedNames.begin(), expectedNames.end());
      EXPECT_EQ(FolderNames(folder), expectedNames) << "wide " << way.wide;
    }
  }
}

// Names from a hostile archive: each is refused with 2, and nothing is
// written, neither in the folder nor next to it.
TEST(FolderOutputTest, HostileNamesWriteNothingAnywhere) {
  const char* const names[] = {"..\\x", "../y",   "a/b",           "a:b",    "CON",
                               "nul.txt", "c\x01", "CONIN$",        "COM0.a", "LPT\xC2\xB9",
                               "com\xB3"};
  std::vector<korvo::NamedEntry> entries = {MakeNamedEntry("Palette", 1, 1, 1, true)};
  for (const char* name : names) entries.push_back(MakeNamedEntry(name, 2, 2, 5, false));
  const std::string archive =
      WriteScratchFile("hostile-names.cg", korvo::BuildNamedEntryArchive(entries));
  HLOCAL list = nullptr;
  ASSERT_EQ(Extractor().GetArchiveInfo(archive.c_str(), 0, 0, &list), 0);
  const Bytes listing = BlockBytes(list, entries.size() * sizeof(korvo::fileInfo));
  FreeBlock(list);
  const std::string folder = FreshFolder("hostile/inner");
  const std::vector<std::string> around = FolderNames(ScratchDirectory() + "hostile");
  const std::vector<std::string> scratch = FolderNames(ScratchDirectory());
  for (size_t i = 1; i < entries.size(); ++i) {
    korvo::fileInfo record;
    std::memcpy(&record, listing.data() + i * sizeof record, sizeof record);
    EXPECT_EQ(Extractor().GetFile(archive.c_str(), static_cast<LONG_PTR>(record.position),
                                  const_cast<char*>(folder.c_str()), 0, nullptr, 0),
              2)
        << record.filename;
    EXPECT_EQ(Extractor().GetFileW(Utf16(archive).c_str(), static_cast<LONG_PTR>(record.position),
                                   const_cast<WCHAR*>(Utf16(folder).c_str()), 0, nullptr, 0),
              2)
        << record.filename;
  }
  EXPECT_TRUE(FolderNames(folder).empty());
  EXPECT_EQ(FolderNames(ScratchDirectory() + "hostile"), around);
  EXPECT_EQ(FolderNames(ScratchDirectory()), scratch);
}

// A folder that is not there, or no folder at all, gives 6 and creates
// nothing; so does a name too long for the platform.
TEST(FolderOutputTest, AMissingFolderGivesSix) {
  const SampleArchive sample = SampleOffsetTableArchive(23);
  const std::string archive = WriteScratchFile("missing-folder.cg", sample.bytes);
  const uint32_t position = sample.entries[0].position;
  const std::string missing = ScratchDirectory() + "no-such-folder";
  const std::string tooLong = FreshFolder("long") + "/" + std::string(300, 'd');
  for (const std::string& dest : {missing, std::string(), tooLong}) {
    EXPECT_EQ(Extractor().GetFile(archive.c_str(), position, const_cast<char*>(dest.c_str()), 0,
                                  nullptr, 0),
              6)
        << dest;
    EXPECT_EQ(Extractor().GetFileW(Utf16(archive).c_str(), position,
                                   const_cast<WCHAR*>(Utf16(dest).c_str()), 0, nullptr, 0),
              6)
        << dest;
  }
  EXPECT_FALSE(fs::exists(fs::u8path(missing)));
  EXPECT_TRUE(FolderNames(ScratchDirectory() + "long").empty());
}

// Where 0x95 leads a character, "\x95\x5C" (the kanji for "table") is one
// character and its trail byte no separator: the entry is written under
// that name.
TEST(FolderOutputTest, ACodePage932TrailByteOf0x5CIsWritten) {
  const SampleArchive sample = SampleNamedEntryArchive(24, "\x95\x5C");
  const std::string archive = WriteScratchFile("trail-5c.cg", sample.bytes);
  const SampleEntry& entry = sample.entries.back();
  const std::string folder = FreshFolder("trail-5c");
  if (kHasFullHooks) {
    UseNoLeadBytes();
    EXPECT_EQ(Extractor().GetFile(archive.c_str(), entry.position,
                                  const_cast<char*>(folder.c_str()), 0, nullptr, 0),
              2)
        << "without lead bytes the 0x5C is a separator";
  }
  SKIP_UNLESS(Need::kCodePage932);
  EXPECT_EQ(Extractor().GetFile(archive.c_str(), entry.position, const_cast<char*>(folder.c_str()),
                                0, nullptr, 0),
            0);
  UseNoLeadBytes();
  // Windows writes the name in its own characters: "\x95\x5C" in UTF-8. Its
  // W twin writes the same file.
  const std::string written = kHasFullHooks ? "\x95\x5C.QKZ" : "\xE8\xA1\xA8.QKZ";
  if (!kHasFullHooks) {
    fs::remove(fs::u8path(folder + "/" + written));
    EXPECT_EQ(Extractor().GetFileW(Utf16(archive).c_str(), entry.position,
                                   const_cast<WCHAR*>(Utf16(folder).c_str()), 0, nullptr, 0),
              0);
  }
  EXPECT_EQ(ReadBytes(folder + "/" + written), entry.extracted);
  EXPECT_EQ(FolderNames(folder), std::vector<std::string>{written});
}

// A failure at the create, a write or the rename leaves neither the entry's
// file nor a temporary one, and an earlier file of that name is unchanged.
TEST(FolderOutputTest, InjectedFailuresLeaveNothingBehind) {
  SKIP_UNLESS(Need::kFullHooks);
  const SampleArchive sample = SampleNamedEntryArchive(25);
  const std::string archive = WriteScratchFile("faults.cg", sample.bytes);
  const SampleEntry& entry = sample.entries[kOwnPaletteEntry];
  struct Case {
    platform::PlatformOperation op;
    bool earlierFile;
  } cases[] = {{platform::kOpCreate, false}, {platform::kOpWrite, false},
               {platform::kOpRename, false}, {platform::kOpCreate, true},
               {platform::kOpWrite, true},   {platform::kOpRename, true}};
  for (const Case& c : cases) {
    const std::string folder = FreshFolder("faults");
    const Bytes earlier(5, 0x11);
    if (c.earlierFile) WriteScratchFile("faults/" + entry.filename, earlier);
    for (bool wide : {false, true}) {
      platform::ResetPlatformFaults(TestHooks());
      const long live = TestHooks().liveBlocks;
      TestHooks().failAt[c.op] = 1;
      int result = wide ? Extractor().GetFileW(Utf16(archive).c_str(), entry.position,
                                              const_cast<WCHAR*>(Utf16(folder).c_str()), 0,
                                              nullptr, 0)
                        : Extractor().GetFile(archive.c_str(), entry.position,
                                              const_cast<char*>(folder.c_str()), 0, nullptr, 0);
      platform::ResetPlatformFaults(TestHooks());
      EXPECT_EQ(result, 6) << c.op << " wide " << wide;
      EXPECT_EQ(TestHooks().liveBlocks, live) << c.op;
      const std::vector<std::string> expected =
          c.earlierFile ? std::vector<std::string>{entry.filename} : std::vector<std::string>{};
      EXPECT_EQ(FolderNames(folder), expected) << c.op << " wide " << wide;
      if (c.earlierFile) {
        EXPECT_EQ(ReadBytes(folder + "/" + entry.filename), earlier);
      }
    }
  }
}

// A folder whose name ends in a lead byte of code page 932: the separator
// added behind it would become that character's trail byte, and the file
// land beside the folder ("wl\x81\\a.QKZ" is one name). Refused with 6,
// nothing written. Natively the folder exists, so only the rule refuses.
TEST(FolderOutputTest, ACodePage932FolderEndingInALeadByteIsRefused) {
  const SampleArchive sample = SampleOffsetTableArchive(26);
  const std::string archive = WriteScratchFile("lead-folder.cg", sample.bytes);
  const std::string work = FreshFolder("work");
  const std::string dest = work + "/wl\x81";
  SKIP_UNLESS(Need::kCodePage932);
  // With the hooks' table the folder exists; on Windows the name cannot.
  if (kHasFullHooks) fs::create_directory(fs::path(dest));
  const std::vector<std::string> left =
      kHasFullHooks ? std::vector<std::string>{"wl\x81"} : std::vector<std::string>{};
  EXPECT_EQ(Extractor().GetFile(archive.c_str(), sample.entries[0].position,
                                const_cast<char*>(dest.c_str()), 0, nullptr, 0),
            6);
  UseNoLeadBytes();
  if (kHasFullHooks) {
    EXPECT_TRUE(fs::is_empty(fs::path(dest)));
  }
  EXPECT_EQ(FolderNames(work), left);
}

// Whatever exists at the next temporary names, a file, a link to a file
// outside or a folder, is passed over and left as it was. The name in use
// is watched for.
TEST(FolderOutputTest, ThingsPlantedAtTheNextTemporaryNamesArePassedOver) {
  SKIP_UNLESS(Need::kInotify);
#ifdef __linux__
  const SampleArchive sample = SampleNamedEntryArchive(27);
  const SampleEntry& entry = sample.entries[kOwnPaletteEntry];
  const std::string archive = WriteScratchFile("planted.cg", sample.bytes);
  const std::string folder = FreshFolder("planted");
  const Bytes victimBytes(4, 0x55);
  const std::string victim = WriteScratchFile("planted-victim", victimBytes);
  const int watch = inotify_init1(IN_NONBLOCK);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, folder.c_str(), IN_CREATE), 0);
  ASSERT_EQ(Extractor().GetFile(archive.c_str(), entry.position, const_cast<char*>(folder.c_str()),
                                0, nullptr, 0),
            0);
  alignas(inotify_event) char events[4096];
  const ssize_t got = read(watch, events, sizeof events);
  close(watch);
  ASSERT_GT(got, 0);
  const auto* event = reinterpret_cast<const inotify_event*>(events);
  const std::string used = event->name;  // "~korvo-<process>-<serial>.tmp"
  ASSERT_EQ(used.rfind("~korvo-", 0), 0u) << used;
  const size_t dash = used.rfind('-');
  const unsigned long serial = std::stoul(used.substr(dash + 1, 8), nullptr, 16);
  auto next = [&](unsigned long k) {
    char name[16];
    snprintf(name, sizeof name, "%08lX.tmp", serial + k);
    return used.substr(0, dash + 1) + name;
  };
  const Bytes plantedBytes(3, 0x66);
  WriteScratchFile("planted/" + next(1), plantedBytes);
  ASSERT_EQ(symlink(victim.c_str(), (folder + "/" + next(2)).c_str()), 0);
  fs::create_directory(folder + "/" + next(3));
  fs::remove(folder + "/" + entry.filename);
  ASSERT_EQ(Extractor().GetFile(archive.c_str(), entry.position, const_cast<char*>(folder.c_str()),
                                0, nullptr, 0),
            0);
  EXPECT_EQ(ReadBytes(folder + "/" + entry.filename), entry.extracted);
  EXPECT_EQ(ReadBytes(folder + "/" + next(1)), plantedBytes);
  EXPECT_EQ(ReadBytes(victim), victimBytes);
  EXPECT_TRUE(fs::is_empty(folder + "/" + next(3)));
  std::vector<std::string> expected = {entry.filename, next(1), next(2), next(3)};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FolderNames(folder), expected);
#endif
}

// A 64 MiB entry (a sparse file) goes into a folder in pieces: no block near
// its size is ever alive, and the file holds what memory output hands over.
TEST(FolderOutputTest, ALargeEntryIsWrittenInPieces) {
  SKIP_UNLESS(Need::kFullHooks);
  constexpr uint32_t kSide = 8192;  // 8192 x 8192 at 8 bits: 64 MiB of rows
  Bytes head;
  AppendLe32(head, 1);
  AppendLe32(head, 8);
  AppendLe32(head, kSide);
  AppendLe32(head, kSide);
  for (uint32_t i = 0; i < 1024; ++i) head.push_back(static_cast<uint8_t>(i * 7));
  const std::string archive = WriteScratchFile("large.cg", head);
  head.resize(head.size() + uint64_t{kSide} * kSide);
  fs::resize_file(archive, head.size());
  const std::string folder = FreshFolder("large");
  auto& hooks = TestHooks();
  const long long before = hooks.liveBytes;
  hooks.peakLiveBytes = before;
  ASSERT_EQ(Extractor().GetFile(archive.c_str(), 8, const_cast<char*>(folder.c_str()), 0, nullptr, 0),
            0);
  const long long peak = hooks.peakLiveBytes - before;
  printf("[ large    ] peak of a 64 MiB entry written to a folder: %lld bytes\n", peak);
  EXPECT_LT(peak, 8ll << 20);
  const Bytes written = ReadBytes(folder + "/00000008.QKZ");
  EXPECT_EQ(written.size(), head.size() - 8);
  EXPECT_TRUE(written == MemoryOutput(archive, 8)) << "not the bytes of memory output";
  fs::remove_all(folder);
  fs::remove(archive);
}

}  // namespace

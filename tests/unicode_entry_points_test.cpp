// The plug-ins as hosts built for Unicode call them: files whose names need
// UTF-16, the UTF-16 listing and lookup, previews, and the archive's date in
// every record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "host-contract/host_contract.h"
#include "tests/support/host_blocks.h"
#include "tests/support/named_entry_fixture.h"
#include "tests/support/platform_hooks.h"
#include "tests/support/test_pictures.h"
#include "tests/support/sample_archives.h"

namespace {

using korvo::fileInfo;
using korvo::fileInfoW;
using korvo::PictureInfo;

const korvo::LoadedPlugin& Filter() { return BuiltPlugin("IFKORVO"); }
const korvo::LoadedPlugin& Extractor() { return BuiltPlugin("AXKORVO"); }

// Names no Western or Japanese code page can spell: Hangul, and an emoji
// (a surrogate pair in UTF-16).
const char* const kForeignNames[] = {"\xEA\xB7\xB8\xEB\xA6\xBC",           // 그림
                                     "pic-\xF0\x9F\x96\xBC"};              // pic-🖼

struct Decoded {
  int result = -99;
  Bytes info, pixels;
};

// One decode through `get`, the 8-bit or UTF-16 spelling of the export.
template <typename Get, typename Name>
Decoded DecodeWith(Get get, const Name* name) {
  Decoded decoded;
  HLOCAL info = nullptr, pixels = nullptr;
  decoded.result = get(name, 0, 0, &info, &pixels, nullptr, 0);
  if (decoded.result == 0) {
    decoded.info = BlockBytes(info, 1064);
    decoded.pixels = BlockBytes(pixels, platform::GlobalSize(pixels));
  }
  FreeBlock(info);
  FreeBlock(pixels);
  return decoded;
}

Decoded Decode(korvo::Exports::GetPicture get, const char* name) { return DecodeWith(get, name); }
Decoded DecodeW(korvo::ExportsW::GetPicture get, const WCHAR* name) { return DecodeWith(get, name); }

#ifdef _WIN32
// What an 8-bit host makes of a name: the ANSI code page's best guess, in
// which the characters it cannot spell turn into '?'.
std::string AnsiGuess(const WideText& name) {
  char out[1024] = {};
  WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, out, sizeof out - 1, nullptr, nullptr);
  return out;
}
#endif

TEST(UnicodeEntryPointsTest, NamesBeyondTheCodePageOpenThroughEveryWFunction) {
  const Bytes picture = MakeQkzPicture(7, 3);
  const std::string ascii = WriteScratchFile("plain.QKZ", picture);
  const Decoded reference = Decode(Filter().GetPicture, ascii.c_str());
  ASSERT_EQ(reference.result, 0);
  const SampleArchive archives[] = {SampleOffsetTableArchive(3), SampleNamedEntryArchive(4)};
  for (const char* name : kForeignNames) {
    SCOPED_TRACE(name);
    const WideText picturePath = WriteScratchFileW(std::string(name) + ".QKZ", picture);
    EXPECT_EQ(Filter().IsSupportedW(picturePath.c_str(), 0), 1);
    PictureInfo info = {};
    ASSERT_EQ(Filter().GetPictureInfoW(picturePath.c_str(), 0, 0, &info), 0);
    EXPECT_EQ(info.width, 7);
    EXPECT_EQ(info.height, 3);
    for (korvo::ExportsW::GetPicture get : {Filter().GetPictureW, Filter().GetPreviewW}) {
      Decoded decoded = DecodeW(get, picturePath.c_str());
      EXPECT_EQ(decoded.result, 0);
      EXPECT_EQ(decoded.info, reference.info);
      EXPECT_EQ(decoded.pixels, reference.pixels);
    }
    for (size_t a = 0; a < 2; ++a) {
      const SampleArchive& archive = archives[a];
      const WideText archivePath =
          WriteScratchFileW(std::string(name) + (a == 0 ? "-table.cg" : "-named.cg"), archive.bytes);
      EXPECT_EQ(Extractor().IsSupportedW(archivePath.c_str(), 0), 1);
      HLOCAL list = nullptr;
      ASSERT_EQ(Extractor().GetArchiveInfoW(archivePath.c_str(), 0, 0, &list), 0);
      EXPECT_EQ(platform::GlobalSize(list), (archive.entries.size() + 1) * sizeof(fileInfoW));
      FreeBlock(list);
      for (const SampleEntry& entry : archive.entries) {
        fileInfoW record = {};
        EXPECT_EQ(Extractor().GetFileInfoW(archivePath.c_str(), 0, Utf16(entry.filename).c_str(),
                                           0, &record),
                  0);
        EXPECT_EQ(record.position, entry.position);
        HLOCAL block = nullptr;
        ASSERT_EQ(Extractor().GetFileW(archivePath.c_str(), entry.position,
                                       reinterpret_cast<LPWSTR>(&block), 0x100, nullptr, 0),
                  0);
        EXPECT_EQ(BlockBytes(block, platform::GlobalSize(block)), entry.extracted);
        FreeBlock(block);
      }
#ifdef _WIN32
      // An 8-bit host cannot even name the file.
      const std::string guess = AnsiGuess(archivePath);
      EXPECT_EQ(Extractor().IsSupported(guess.c_str(), 0), 0);
      HLOCAL none = nullptr;
      EXPECT_EQ(Extractor().GetArchiveInfo(guess.c_str(), 0, 0, &none), -1);
      EXPECT_EQ(none, nullptr);
#endif
    }
#ifdef _WIN32
    const std::string guess = AnsiGuess(picturePath);
    EXPECT_EQ(Filter().IsSupported(guess.c_str(), 0), 0);
    EXPECT_EQ(Filter().GetPictureInfo(guess.c_str(), 0, 0, &info), 2);
    EXPECT_EQ(Decode(Filter().GetPicture, guess.c_str()).result, 2);
#endif
  }
}

// A UTF-16 name with an unpaired surrogate names no file: every W function
// answers as for a file that is not there.
TEST(UnicodeEntryPointsTest, AnUnpairedSurrogateOpensNothing) {
  WideText missing = Utf16(ScratchDirectory() + "missing.QKZ");
  WideText broken = Utf16(ScratchDirectory() + "x.QKZ");
  broken.insert(broken.size() - 5, 1, static_cast<WCHAR>(0xD800));
#ifndef _WIN32
  // The files a careless conversion would open instead: the surrogate
  // encoded as if it were a character, or replaced by U+FFFD.
  for (const char* guess : {"\xED\xA0\x80x.QKZ", "\xEF\xBF\xBDx.QKZ", "x.QKZ"})
    WriteScratchFile(guess, MakeQkzPicture(2, 2));
#endif
  for (const WideText& name : {missing, broken}) {
    EXPECT_EQ(Filter().IsSupportedW(name.c_str(), 0), 0);
    PictureInfo info = {};
    EXPECT_EQ(Filter().GetPictureInfoW(name.c_str(), 0, 0, &info), 2);
    EXPECT_EQ(DecodeW(Filter().GetPictureW, name.c_str()).result, 2);
    EXPECT_EQ(Extractor().IsSupportedW(name.c_str(), 0), 0);
    HLOCAL list = nullptr;
    EXPECT_EQ(Extractor().GetArchiveInfoW(name.c_str(), 0, 0, &list), -1);
    EXPECT_EQ(list, nullptr);
  }
}

// The extension test on UTF-16 names takes ".QKZ" exactly, in the last
// path component.
TEST(UnicodeEntryPointsTest, TheUtf16ExtensionTestIsTheEightBitOne) {
  const Bytes picture = MakeQkzPicture(2, 2);
  struct Case {
    const char* name;
    int supported;
  } cases[] = {{"ext-a.QKZ", 1}, {"ext-b.qkz", 0}, {"ext-c.QKZ.bak", 0}, {"ext-d.QKZ ", 0}};
  for (const Case& c : cases) {
    const WideText path = WriteScratchFileW(c.name, picture);
    EXPECT_EQ(Filter().IsSupportedW(path.c_str(), 0), c.supported) << c.name;
    EXPECT_EQ(Filter().IsSupported((ScratchDirectory() + c.name).c_str(), 0), c.supported) << c.name;
  }
  // A dot in a folder's name is no extension of the file in it.
  EXPECT_EQ(Filter().IsSupportedW(Utf16(ScratchDirectory() + "dir.QKZ/file").c_str(), 0), 0);
}

// Previews are the full picture: the same codes and the same blocks as
// GetPicture, from a file and from memory.
TEST(UnicodeEntryPointsTest, PreviewsAreThePicture) {
  const Bytes picture = MakeQkzPicture(9, 5);
  const std::string good = WriteScratchFile("preview.QKZ", picture);
  const std::string foreign = WriteScratchFile("foreign.QKZ", Bytes(2000, 0));
  const std::string shortFile =
      WriteScratchFile("short.QKZ", Bytes(picture.begin(), picture.end() - 1));
  for (const std::string& path : {good, foreign, shortFile}) {
    const Decoded picture_ = Decode(Filter().GetPicture, path.c_str());
    const Decoded preview = Decode(Filter().GetPreview, path.c_str());
    const Decoded previewW = DecodeW(Filter().GetPreviewW, Utf16(path).c_str());
    EXPECT_EQ(preview.result, picture_.result) << path;
    EXPECT_EQ(previewW.result, picture_.result) << path;
    EXPECT_EQ(preview.pixels, picture_.pixels) << path;
    EXPECT_EQ(previewW.info, picture_.info) << path;
  }
  HLOCAL info = nullptr, pixels = nullptr;
  const char* memory = reinterpret_cast<const char*>(picture.data());
  ASSERT_EQ(Filter().GetPreview(memory, static_cast<LONG_PTR>(picture.size()), 1, &info, &pixels,
                                nullptr, 0),
            0);
  EXPECT_EQ(BlockBytes(pixels, platform::GlobalSize(pixels)), Decode(Filter().GetPicture, good.c_str()).pixels);
  FreeBlock(info);
  FreeBlock(pixels);
}

// GetFileInfoW compares the names of the UTF-16 listing: bit 7 folds A-Z
// only, every other unit must match, and the first of two equal names wins.
TEST(UnicodeEntryPointsTest, GetFileInfoWFoldsOnlyAsciiLetters) {
  std::vector<korvo::NamedEntry> entries = {
      MakeNamedEntry("Palette", 1, 1, 1, true), MakeNamedEntry("Mixed\xC3\x84", 2, 1, 2, false),
      MakeNamedEntry("twin", 3, 1, 3, false), MakeNamedEntry("twin", 4, 1, 4, false)};
  const std::string path = WriteScratchFile("lookup-w.cg", korvo::BuildNamedEntryArchive(entries));
  const WideText widePath = Utf16(path);
  // The names as the W listing spells them in this code page.
  HLOCAL list = nullptr;
  ASSERT_EQ(Extractor().GetArchiveInfoW(widePath.c_str(), 0, 0, &list), 0);
  std::vector<fileInfoW> listed(entries.size());
  const Bytes listing = BlockBytes(list, entries.size() * sizeof(fileInfoW));
  std::memcpy(listed.data(), listing.data(), listing.size());
  FreeBlock(list);
  const WideText mixed(listed[1].filename);
  WideText swapped = mixed;  // ASCII letters in the other case
  for (WCHAR& unit : swapped)
    if ((unit | 0x20) >= u'a' && (unit | 0x20) <= u'z') unit ^= 0x20;
  WideText beyond = mixed;  // one unit above U+007F changed
  for (WCHAR& unit : beyond)
    if (unit > 0x7F) {
      unit = static_cast<WCHAR>(unit ^ 0x20);
      break;
    }
  ASSERT_NE(beyond, mixed) << "the listing shows no character above U+007F";
  struct Case {
    WideText name;
    unsigned flag;
    int expected;
    size_t index;  // the entry whose record comes back
  } cases[] = {{mixed, 0, 0, 1},          {swapped, 0, -1, 0},        {swapped, 0x80, 0, 1},
               {beyond, 0x80, -1, 0},     {Utf16("twin.QKZ"), 0, 0, 2},
               {Utf16("TWIN.QKZ"), 0x80, 0, 2}, {Utf16("twin"), 0x80, -1, 0}};
  for (const Case& c : cases) {
    fileInfoW record;
    std::memset(&record, 0xAB, sizeof record);
    EXPECT_EQ(Extractor().GetFileInfoW(widePath.c_str(), 0, c.name.c_str(), c.flag, &record),
              c.expected)
        << c.index << " flag " << c.flag;
    if (c.expected == 0) {
      EXPECT_EQ(std::memcmp(&record, &listed[c.index], sizeof record), 0) << c.index;
    } else {
      EXPECT_EQ(reinterpret_cast<const uint8_t*>(&record)[0], 0xAB) << "written on failure";
    }
  }
}

// Every record of a parse carries the archive's last-write time, and a file
// touched since is dated anew by the next call.
TEST(UnicodeEntryPointsTest, RecordsCarryTheArchivesDate) {
  const SampleArchive archive = SampleNamedEntryArchive(6);
  const std::string path = WriteScratchFile("dated.cg", archive.bytes);
  for (int64_t date : {int64_t{1600000000}, int64_t{1700000123}}) {
    SetModificationTime(path, date);
    const auto expected = static_cast<ULONG_PTR>(date);
    HLOCAL list = nullptr, listW = nullptr;
    ASSERT_EQ(Extractor().GetArchiveInfo(path.c_str(), 0, 0, &list), 0);
    ASSERT_EQ(Extractor().GetArchiveInfoW(Utf16(path).c_str(), 0, 0, &listW), 0);
    const size_t count = archive.entries.size();
    const Bytes narrow = BlockBytes(list, count * sizeof(fileInfo));
    const Bytes wide = BlockBytes(listW, count * sizeof(fileInfoW));
    FreeBlock(list);
    FreeBlock(listW);
    for (size_t i = 0; i < count; ++i) {
      fileInfo record;
      fileInfoW recordW;
      std::memcpy(&record, narrow.data() + i * sizeof record, sizeof record);
      std::memcpy(&recordW, wide.data() + i * sizeof recordW, sizeof recordW);
      EXPECT_EQ(record.timestamp, expected) << i;
      EXPECT_EQ(recordW.timestamp, expected) << i;
      fileInfo looked;
      ASSERT_EQ(Extractor().GetFileInfo(path.c_str(), 0, record.filename, 0, &looked), 0);
      EXPECT_EQ(looked.timestamp, expected) << i;
    }
  }
}

// Under a Japanese code page the UTF-16 listing spells code page 932 names
// in their own characters; a stored name that ends in a lone lead byte
// still ends in ".QKZ", the dot never taken for its trail byte.
TEST(UnicodeEntryPointsTest, CodePage932NamesComeOutAsTheirCharacters) {
  SKIP_UNLESS(Need::kWindows);  // the system's own conversion of the names
  SKIP_UNLESS(Need::kCodePage932);
  const struct {
    const char* stored;
    const char* listed;  // UTF-8; nullptr: only its extension is known
  } cases[] = {{"\x89\xE6\x91\x9C\x31", "\xE7\x94\xBB\xE5\x83\x8F" "1.QKZ"},  // 画像1
               {"\x81", nullptr}};
  for (const auto& c : cases) {
    const SampleArchive archive = SampleNamedEntryArchive(8, c.stored);
    const WideText path = WriteScratchFileW("cp932.cg", archive.bytes);
    HLOCAL list = nullptr;
    ASSERT_EQ(Extractor().GetArchiveInfoW(path.c_str(), 0, 0, &list), 0);
    const size_t count = archive.entries.size();
    const Bytes listing = BlockBytes(list, count * sizeof(fileInfoW));
    FreeBlock(list);
    fileInfoW last;
    std::memcpy(&last, listing.data() + (count - 1) * sizeof last, sizeof last);
    const WideText name(last.filename);
    if (c.listed != nullptr) {
      EXPECT_EQ(name, Utf16(c.listed));
    }
    ASSERT_GE(name.size(), 5u);
    EXPECT_EQ(name.substr(name.size() - 4), Utf16(".QKZ"));
    fileInfoW record;
    EXPECT_EQ(Extractor().GetFileInfoW(path.c_str(), 0, name.c_str(), 0, &record), 0);
  }
}

}  // namespace

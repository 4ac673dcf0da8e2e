// The extension rule of the support test: drives, both separators, the last
// component's last dot, and double-byte characters of code page 932 whose
// trail byte is a backslash.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host-contract/host_contract.h"
#include "import-filter/file_name_extension.h"
#include "tests/support/host_blocks.h"
#include "tests/support/platform_hooks.h"
#include "tests/support/test_pictures.h"


namespace {

struct ExtensionCase {
  const char* name;
  const char* extension;
};

// Each name passes exactly when the extension taken is ".QKZ"; an ASCII name
// the same in UTF-16.
void ExpectExtensions(const ExtensionCase* cases, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const bool passes = strcmp(cases[i].extension, ".QKZ") == 0;
    EXPECT_EQ(korvo::HasQkzExtension(cases[i].name), passes) << "name \"" << cases[i].name << "\"";
    std::u16string wide(cases[i].name, cases[i].name + strlen(cases[i].name));
    bool ascii = true;
    for (char16_t unit : wide) ascii = ascii && unit < 0x80;
    if (ascii) {
      EXPECT_EQ(korvo::HasQkzExtension(reinterpret_cast<LPCWSTR>(wide.c_str())), passes)
          << "UTF-16 name \"" << cases[i].name << "\"";
    }
  }
}

TEST(FileNameExtensionTest, TakesTheLastDotOfTheLastComponent) {
  const ExtensionCase cases[] = {
      {"picture.QKZ", ".QKZ"},
      {"picture.qkz", ".qkz"},
      {"a.b.QKZ", ".QKZ"},
      {"C:\\pictures\\cat.QKZ", ".QKZ"},
      {"C:cat.QKZ", ".QKZ"},
      {"C:.QKZ", ".QKZ"},                    // the drive is skipped, not the dot
      {"/home/user/cat.QKZ", ".QKZ"},
      {"dir.QKZ\\picture", ""},              // the only dot is in a folder name
      {"dir.QKZ/picture", ""},
      {"C:\\dir.QKZ\\sub/picture", ""},
      {"picture", ""},
      {"", ""},
      {"x", ""},
      {":", ""},
      {"picture.", "."},
      {".QKZ", ".QKZ"},
      {"dir\\.QKZ", ".QKZ"},
      {"picture.QKZ ", ".QKZ "},
      {"picture.QKZ.QKZx", ".QKZx"},
      {"picture.QKZ.", "."},
  };
  ExpectExtensions(cases, sizeof cases / sizeof cases[0]);
}

// "\x95\x5C" is a character of code page 932 whose trail byte is a backslash;
// "\x81" is another lead byte.
const ExtensionCase kCodePage932Cases[] = {
    {"a.b\x95\x5C" "c", ".b\x95\x5C" "c"},       // one component: no separator inside
    {"dir\\\x95\x5C.QKZ", ".QKZ"},
    {"C:\\\x95\x5C\\\x95\x5C" "cat.QKZ", ".QKZ"},
    {"x.QKZ\x95\x5C" "picture", ".QKZ\x95\x5C" "picture"},
    {"\x81.QKZ", ""},                            // a lead byte takes the dot with it
    {"cat.QKZ\x81", ".QKZ\x81"},                 // a last lead byte ends the name
    {"\x95\x5C:cat.QKZ", ".QKZ"},
};

// With the hooks' table, or in Windows' own code page 932.
TEST(FileNameExtensionTest, CodePage932TrailBytesAreNeverSeparators) {
  SKIP_UNLESS(Need::kCodePage932);
  ExpectExtensions(kCodePage932Cases, sizeof kCodePage932Cases / sizeof kCodePage932Cases[0]);
  UseNoLeadBytes();
}

TEST(FileNameExtensionTest, WithoutLeadBytesTheSameBytesSeparate) {
  SKIP_UNLESS(Need::kFullHooks);
  UseNoLeadBytes();
  const ExtensionCase cases[] = {
      {"a.b\x95\x5C" "c", ""},
      {"\x81.QKZ", ".QKZ"},
  };
  ExpectExtensions(cases, sizeof cases / sizeof cases[0]);
}

TEST(ImportFilterCodePage932Test, IsSupportedTakesTheExtensionAfterTheLastRealSeparator) {
  SKIP_UNLESS(Need::kFullHooks);  // a file system where the backslash is a byte of a name
  SKIP_UNLESS(Need::kCodePage932);
  const korvo::LoadedPlugin& filter = BuiltPlugin("IFKORVO");
  const Bytes picture = MakeQkzPicture(3, 2);
  const std::string kanji = WriteScratchFile("\x95\x5C" "cat.QKZ", picture);
  const std::string swallowed = WriteScratchFile("\x81.QKZ", picture);
  EXPECT_EQ(filter.IsSupported(kanji.c_str(), 0), 1);
  EXPECT_EQ(filter.IsSupported(swallowed.c_str(), 0), 0);
  HLOCAL info = nullptr, pixels = nullptr;
  EXPECT_EQ(filter.GetPicture(kanji.c_str(), 0, 0, &info, &pixels, nullptr, 0), 0);
  FreeBlock(info);
  FreeBlock(pixels);
  UseNoLeadBytes();
  EXPECT_EQ(filter.IsSupported(swallowed.c_str(), 0), 1);
}

// Windows itself tells the lead bytes of its code page. Under Wine the code
// page follows the locale (LC_ALL=ja_JP.UTF-8 gives 932); the test program
// runs once more that way when the build can make the locale.
TEST(ImportFilterCodePage932Test, WindowsDecodesANameWithABackslashTrailByte) {
  SKIP_UNLESS(Need::kWindows);
  SKIP_UNLESS(Need::kCodePage932);
  const korvo::LoadedPlugin& filter = BuiltPlugin("IFKORVO");
  // "\x95\x5C" is one character here, so this file lies in the scratch folder.
  const std::string path = WriteScratchFile("\x95\x5C" "cat.QKZ", MakeQkzPicture(3, 2));
  EXPECT_EQ(filter.IsSupported(path.c_str(), 0), 1);
  HLOCAL info = nullptr, pixels = nullptr;
  EXPECT_EQ(filter.GetPicture(path.c_str(), 0, 0, &info, &pixels, nullptr, 0), 0);
  FreeBlock(info);
  FreeBlock(pixels);
  const std::string lower = WriteScratchFile("\x95\x5C" "cat.qkz", MakeQkzPicture(3, 2));
  EXPECT_EQ(filter.IsSupported(lower.c_str(), 0), 0);
}

}  // namespace

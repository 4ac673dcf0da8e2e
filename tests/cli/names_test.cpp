// Entry names through korvo: code page 932 names packed from UTF-8 file
// names, listed (table and JSON, parsed by Python's JSON parser), extracted
// to files of the right names and refused with one line where they cannot
// be converted; JSON for random name bytes; the JSON string writer itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "common/ascii.h"
#include "tests/support/korvo_runs.h"
#include "tests/support/picture_files.h"
#include "tools/archive-writer/archive_writer.h"
#include "tools/korvo/names/json_text.h"
#include "tools/korvo/names/output_names.h"

namespace {

constexpr int kFailure = 1, kUsage = 2;

std::string Hex(const std::string& bytes) {
  std::string hex;
  for (unsigned char byte : bytes) hex += std::string{korvo::HexDigit(byte >> 4, true), korvo::HexDigit(byte, true)};
  return hex;
}

// A named-entry archive of 1 x 1 pictures stored under exactly these names,
// behind the Palette entry; picture i's pixel is i + 1.
Bytes ArchiveWithNames(const std::vector<std::string>& names) {
  std::vector<korvo::NamedEntry> entries(1);
  entries[0].name = "Palette";
  entries[0].width = entries[0].height = 1;
  entries[0].ownPalette = true;
  entries[0].rows = {0, 0, 0, 0};
  for (const std::string& name : names) {
    korvo::NamedEntry entry;
    entry.name = name;
    entry.width = entry.height = 1;
    entry.rows = {static_cast<uint8_t>(entries.size()), 0, 0, 0};  // its place: 1, 2, ...
    entries.push_back(entry);
  }
  return korvo::BuildNamedEntryArchive(entries);
}

// What Python's json module makes of `korvo list --json`: for each entry its
// stored_name, its name as UTF-8 hex, decoded, method and size, one line
// each. The bytes must be strict UTF-8 and the text strict JSON.
const char kReadListing[] = R"(import json, sys
text = open(sys.argv[1], 'rb').read().decode('utf-8')
for entry in json.loads(text)['entries']:
    print(entry['stored_name'], entry['name'].encode('utf-8').hex(), entry['decoded'],
          entry['method'], entry['size'])
)";

std::vector<std::string> ParsedListing(const std::string& json) {
  std::string out;
  if (!RunPython(kReadListing, json, &out)) return {"no python"};
  return Lines(out);
}

struct JapaneseName {
  const char* utf8;
  const char* cp932;  // hex
};

// 画像1 from the report, half-width katakana, and 表 and ソ, whose trail
// byte is 0x5C, the byte of a backslash.
const JapaneseName kJapaneseNames[] = {
    {"画像1", "89e6919c31"}, {"ｱｲ表", "b1b2955c"}, {"ソース", "835c815b8358"}, {"plain", "706c61696e"}};

TEST(Names, Cp932NamesPackListAndExtractUnderTheirOwnNames) {
  const std::string folder = NewFolder("japanese");
  std::vector<std::string> pack = {"pack", "--layout", "named-entry", "-o", folder + "j.cg"};
  std::vector<TestPicture> pictures;
  for (const JapaneseName& name : kJapaneseNames) {
    pictures.push_back(MakeTestPicture(name.utf8, 6, 2, static_cast<int>(pictures.size()), 1));
    WriteBytes(folder + name.utf8 + ".QKZ", QkzFileOf(pictures.back()));
    pack.push_back(folder + name.utf8 + ".QKZ");
  }
  RunResult packed = RunKorvo(pack);
  ASSERT_EQ(packed.status, 0) << packed.err;
  // The archive stores the code page 932 bytes with their NUL.
  Bytes bytes = ReadBytes(folder + "j.cg");
  std::string archive = Hex(std::string(bytes.begin(), bytes.end()));
  for (const JapaneseName& name : kJapaneseNames)
    EXPECT_NE(archive.find(std::string(name.cp932) + "00"), std::string::npos) << name.utf8;

  RunResult list = RunKorvo({"list", folder + "j.cg"});
  ASSERT_EQ(list.status, 0) << list.err;
  for (const JapaneseName& name : kJapaneseNames)
    EXPECT_NE(list.out.find(std::string("  ") + name.utf8 + ".QKZ\n"), std::string::npos) << list.out;

  RunResult json = RunKorvo({"list", "--json", folder + "j.cg"});
  ASSERT_EQ(json.status, 0) << json.err;
  std::vector<std::string> parsed = ParsedListing(json.out);
  if (parsed == std::vector<std::string>{"no python"}) GTEST_SKIP() << "no Python to parse JSON";
  ASSERT_EQ(parsed.size(), 1 + pictures.size()) << json.out;
  EXPECT_EQ(parsed[0], Hex("Palette.QKZ") + " " + Hex("Palette.QKZ") + " True IfKorvo 1288");
  for (size_t i = 0; i < pictures.size(); ++i)
    EXPECT_EQ(parsed[1 + i], std::string(kJapaneseNames[i].cp932) + Hex(".QKZ") + " " +
                                 Hex(std::string(kJapaneseNames[i].utf8) + ".QKZ") + " True IfKorvo " +
                                 std::to_string(1032 + pictures[i].rows.size()));

  // Every entry, by name too, to files named in UTF-8 holding what went in.
  RunResult all = RunKorvo({"extract", folder + "j.cg", "-o", folder + "all", "--format", "qkz"});
  ASSERT_EQ(all.status, 0) << all.err;
  std::vector<std::string> expected = {"Palette.QKZ"};
  for (const JapaneseName& name : kJapaneseNames) expected.push_back(std::string(name.utf8) + ".QKZ");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FilesIn(folder + "all"), expected);
  for (size_t i = 0; i < pictures.size(); ++i)
    EXPECT_EQ(ReadBytes(folder + "all/" + kJapaneseNames[i].utf8 + ".QKZ"), QkzFileOf(pictures[i]));
  RunResult one = RunKorvo({"extract", folder + "j.cg", "-o", folder + "one", "--format", "bmp", "ｱｲ表"});
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(FilesIn(folder + "one"), std::vector<std::string>{"ｱｲ表.bmp"});
  EXPECT_EQ(ReadBmpContent(ReadBytes(folder + "one/ｱｲ表.bmp")), ContentOf(pictures[1]));
}

TEST(Names, Utf8ArchivesNeedTheirEncodingNamed) {
  const std::string folder = NewFolder("utf8");
  TestPicture picture = MakeTestPicture("p", 3, 3, 1, 1);
  WriteBytes(folder + "画像1.QKZ", QkzFileOf(picture));
  RunResult pack =
      RunKorvo({"pack", "--names", "utf-8", "--layout", "named-entry", "-o", folder + "u.cg", folder + "画像1.QKZ"});
  ASSERT_EQ(pack.status, 0) << pack.err;
  Bytes bytes = ReadBytes(folder + "u.cg");
  EXPECT_NE(Hex(std::string(bytes.begin(), bytes.end())).find(Hex("画像1") + "00"), std::string::npos);
  RunResult right = RunKorvo({"list", "--names=UTF-8", folder + "u.cg"});
  EXPECT_NE(right.out.find("  画像1.QKZ\n"), std::string::npos) << right.out;
  // Read as code page 932 the UTF-8 bytes end in a lead byte before '1':
  // shown as \x8F, and extracting refuses before writing anything.
  RunResult wrong = RunKorvo({"list", folder + "u.cg"});
  EXPECT_NE(wrong.out.find("\\x8F1.QKZ\n"), std::string::npos) << wrong.out;
  RunResult extract = RunKorvo({"extract", folder + "u.cg", "-o", folder + "out"});
  EXPECT_EQ(extract.status, kFailure);
  EXPECT_EQ(Lines(extract.err).size(), 1u) << extract.err;
  EXPECT_NE(extract.err.find("is not valid cp932"), std::string::npos) << extract.err;
  EXPECT_FALSE(Exists(folder + "out"));
}

// A name that cannot be converted, either way: one line naming the file, the
// exit status, and no archive or output folder.
struct NameCase {
  const char* title;
  std::vector<std::string> files;      // pictures to pack, {} for the folder
  std::vector<std::string> arguments;  // after the files are written
  int status;
  const char* error;
  const char* output;  // what must exist afterwards (status 0) or must not
};

class NameCases : public testing::TestWithParam<NameCase> {};

TEST_P(NameCases, ConvertOrRefuseWithOneLine) {
  const NameCase& c = GetParam();
  const std::string folder = NewFolder(std::string("name-") + c.title);
  TestPicture picture = MakeTestPicture("p", 3, 3, 1, 1);
  std::vector<std::string> arguments = c.arguments;
  for (const std::string& file : c.files) {
    std::string path = file;
    if (path.rfind("{}", 0) == 0) path = folder + path.substr(2);
    std::filesystem::create_directories(std::filesystem::u8path(path).parent_path());
    WriteBytes(path, QkzFileOf(picture));
  }
  // Raw archive bytes: \x89\xFF is no code page 932 text.
  WriteBytes(folder + "raw.cg", ArchiveWithNames({"ok", "\x89\xFF", "x\x81"}));
  for (std::string& argument : arguments)
    if (argument.find("{}") != std::string::npos) argument.replace(argument.find("{}"), 2, folder);
  RunResult run = RunKorvo(arguments);
  EXPECT_EQ(run.status, c.status) << run.err;
  if (c.status == 0) {
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(Exists(folder + c.output)) << c.output;
    return;
  }
  ASSERT_EQ(Lines(run.err).size(), 1u) << run.err;
  EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
  EXPECT_FALSE(Exists(folder + c.output)) << c.output;
}

const std::string kKanji15 = [] {
  std::string text;
  for (int i = 0; i < 15; ++i) text += "画";
  return text;
}();

INSTANTIATE_TEST_SUITE_P(
    Korvo, NameCases,
    testing::Values(
        NameCase{"Hangul", {"{}한글.QKZ"}, {"pack", "--layout", "named-entry", "-o", "{}n.cg", "{}한글.QKZ"},
                 kFailure, "한글.QKZ: cannot be an entry '한글': its name has no cp932 form", "n.cg"},
        NameCase{"Emoji", {"{}\xF0\x9F\x98\x80.QKZ"},
                 {"pack", "--layout", "named-entry", "-o", "{}n.cg", "{}\xF0\x9F\x98\x80.QKZ"}, kFailure,
                 "no cp932 form", "n.cg"},
#ifndef _WIN32  // Windows file names are always UTF-16
        NameCase{"NotUtf8", {"{}caf\xE9.QKZ"}, {"pack", "--layout", "named-entry", "-o", "{}n.cg", "{}caf\xE9.QKZ"},
                 kFailure, "'caf\\xE9': its name is not UTF-8", "n.cg"},
#endif
        // 16 kanji are 48 bytes of UTF-8 and 32 of code page 932; 15 are 30.
        NameCase{"Over31Bytes", {"{}" + kKanji15 + "画.QKZ"},
                 {"pack", "--layout", "named-entry", "-o", "{}n.cg", "{}" + kKanji15 + "画.QKZ"}, kFailure,
                 "longer than 31 bytes in cp932 (32)", "n.cg"},
        NameCase{"Within31Bytes", {"{}" + kKanji15 + ".QKZ"},
                 {"pack", "--layout", "named-entry", "-o", "{}n.cg", "{}" + kKanji15 + ".QKZ"}, 0, "", "n.cg"},
        NameCase{"LongerThan31", {"{}" + std::string(32, 'n') + ".QKZ"},
                 {"pack", "--layout", "named-entry", "-o", "{}n.cg", "{}" + std::string(32, 'n') + ".QKZ"},
                 kFailure, "longer than 31 bytes", "n.cg"},
        NameCase{"Palette", {"{}Palette.QKZ"}, {"pack", "--layout", "named-entry", "-o", "{}n.cg", "{}Palette.QKZ"},
                 kFailure, "taken by the archive's Palette entry", "n.cg"},
        // ¥ is 0x5C in iconv's code page 932, which hosts read as a
        // separator; Windows' code page 932 has only a best fit for it.
        NameCase{"YenSign", {"{}\u00A5yen.QKZ"}, {"pack", "--layout", "named-entry", "-o", "{}n.cg", "{}\u00A5yen.QKZ"},
                 kFailure,
#ifdef _WIN32
                 "'\u00A5yen': its name has no cp932 form",
#else
                 "its name holds the byte 0x5C in cp932, which hosts read as a folder separator",
#endif
                 "n.cg"},
#ifndef _WIN32  // a backslash is a separator in Windows paths
        NameCase{"Backslash", {"{}back\\slash.QKZ"},
                 {"pack", "--layout", "named-entry", "-o", "{}n.cg", "{}back\\slash.QKZ"}, kFailure,
                 "'back\\slash': its name holds the byte 0x5C", "n.cg"},
#endif
        NameCase{"SameName", {"{}dup.QKZ", "{}other/dup.QKZ"},
                 {"pack", "--layout", "named-entry", "-o", "{}n.cg", "{}dup.QKZ", "{}other/dup.QKZ"}, kFailure,
                 "another picture has the same name", "n.cg"},
        NameCase{"UndecodableEntry", {}, {"extract", "{}raw.cg", "-o", "{}out"}, kFailure,
                 "raw.cg: entry name '\\x89\\xFF.QKZ' is not valid cp932 (and 1 more name)", "out"},
        NameCase{"UndecodableEntryNotAsked", {}, {"extract", "{}raw.cg", "-o", "{}out", "ok"}, 0, "", "out/ok.png"},
        NameCase{"UnknownEncoding", {}, {"list", "--names", "klingon", "{}raw.cg"}, kUsage,
                 "unknown name encoding 'klingon'", "out"}),
    [](const testing::TestParamInfo<NameCase>& param) { return std::string(param.param.title); });

TEST(Names, UndecodableBytesListAsHex) {
  const std::string folder = NewFolder("hex");
  WriteBytes(folder + "raw.cg", ArchiveWithNames({"\x89\xFF", "a\x01" "b", "\x82\xA0\x82", "\x81", "\x82"}));
  RunResult list = RunKorvo({"list", folder + "raw.cg"});
  ASSERT_EQ(list.status, 0) << list.err;
  for (const char* shown : {"  \\x89\\xFF.QKZ\n", "  a\\x01b.QKZ\n", "  あ\\x82.QKZ\n"})
    EXPECT_NE(list.out.find(shown), std::string::npos) << shown << "\n" << list.out;
  RunResult info = RunKorvo({"info", folder + "raw.cg"});
  EXPECT_NE(info.out.find(" 6 entries, "), std::string::npos) << info.out;
  EXPECT_NE(info.out.find(" extracted, 4 of the names not cp932 "), std::string::npos) << info.out;
  // stored_name is the archive's bytes, whatever the system code page makes
  // of a lone lead byte and the dot behind it.
  RunResult json = RunKorvo({"list", "--json", folder + "raw.cg"});
  for (const char* stored : {"\"stored_name\": \"812e514b5a\"", "\"stored_name\": \"822e514b5a\""})
    EXPECT_NE(json.out.find(stored), std::string::npos) << stored << "\n" << json.out;
}

// Names that would steer a terminal: C1 controls and bidirectional
// controls are escaped like C0 ones, so RLO cannot make "evil\u202Egnp.QKZ"
// read as "evilZKQ.png".
TEST(Names, TerminalControlsListEscaped) {
  const std::string folder = NewFolder("controls");
  WriteBytes(folder + "c.cg", ArchiveWithNames({"evil\u202Egnp", "a\u0085b\u009F", "\u200E\u200F\u202A\u2066\u2069\u00A0"}));
  RunResult list = RunKorvo({"list", "--names", "utf-8", folder + "c.cg"});
  ASSERT_EQ(list.status, 0) << list.err;
  for (const char* shown : {"  evil\\u202Egnp.QKZ\n", "  a\\u0085b\\u009F.QKZ\n",
                            "  \\u200E\\u200F\\u202A\\u2066\\u2069\u00A0.QKZ\n"})
    EXPECT_NE(list.out.find(shown), std::string::npos) << shown << "\n" << list.out;
}

// Eight names that differ only in case beyond ASCII: on a file system that
// folds case they would overwrite each other. Every system writes the same
// eight files, the second of each pair marked "~2", each with its bytes.
TEST(Names, NamesDifferingInCaseBeyondAsciiStayApart) {
  const std::vector<std::string> names = {"\u00C4", "\u00E4", "\uFF21", "\uFF41", "\u0410", "\u0430", "\u0391", "\u03B1"};
  const std::string folder = NewFolder("case");
  WriteBytes(folder + "case.cg", ArchiveWithNames(names));
  for (const char* format : {"qkz", "bmp"}) {
    RunResult run = RunKorvo({"extract", "--names", "utf-8", folder + "case.cg", "-o", folder + format, "--format", format});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string extension = format == std::string("qkz") ? ".QKZ" : ".bmp";
    std::vector<std::string> expected = {"Palette" + extension};
    for (size_t i = 0; i < names.size(); ++i) expected.push_back(names[i] + (i % 2 ? "~2" : "") + extension);
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(FilesIn(folder + format), expected);
    for (size_t i = 0; i < names.size(); ++i) {  // the last row's first pixel is i + 1
      Bytes file = ReadBytes(folder + format + "/" + names[i] + (i % 2 ? "~2" : "") + extension);
      ASSERT_GT(file.size(), 4u) << names[i];
      EXPECT_EQ(file[file.size() - 4], i + 1) << names[i];
    }
  }
}

// The file names extract gives entries, alike for every format: separators
// and what Windows refuses become '_', the extension stays last, devices
// gain a '_'.
TEST(Names, OutputNamesAreSafeUniqueAndKeepTheirExtension) {
  const struct {
    const char* name;
    const char* extension;
    const char* file;
  } cases[] = {
      {"d.QKZ", "", "d.QKZ"},           {"D.QKZ", "", "D~2.QKZ"},
      {"d.QKZ", ".png", "d.png"},       {"d.qkz", ".png", "d~2.png"},
      {"../../etc/x", ".png", ".._.._etc_x.png"}, {"../../etc/x", "", ".._.._etc_x"},
      {"a.b/c", ".bmp", "a.b_c.bmp"},   {"a\\b.QKZ", "", "a_b.QKZ"},
      {"x:y*?.QKZ", "", "x_y__.QKZ"},   {"trail. ", "", "trail__"},
      {".QKZ", "", "_.QKZ"},            {"con.QKZ", "", "_con.QKZ"},
      {"CONIN$", ".png", "_CONIN$.png"}, {"conout$.x", "", "_conout$.x"},
      {"com0", ".png", "_com0.png"},   {"LPT\u00B9", ".png", "_LPT\u00B9.png"},
      {"com10", ".png", "com10.png"},  {"evil\u202Egnp.QKZ", "", "evil_gnp.QKZ"},
      {"\u00DF", "", "\u00DF"},           {"\u1E9E", "", "\u1E9E~2"},  // ẞ folds to ß
      {"\u03C2", "", "\u03C2"},           {"\u03A3", "", "\u03A3~2"},  {"\u03C3", "", "\u03C3~3"},
  };
  korvo::UsedNames used;
  for (const auto& c : cases) EXPECT_EQ(korvo::OutputName(c.name, c.extension, &used), c.file) << c.name;
}

// Files and folders whose names no 8-bit code page spells (Hangul and an
// emoji): korvo.exe takes them as UTF-16 arguments and opens them through
// the wide functions and the plug-ins' W entry points.
TEST(Names, FilesAndFoldersThatNeedUtf16) {
  const std::string folder = NewFolder("한글-\xF0\x9F\x98\x80");
  TestPicture picture = MakeTestPicture("p", 5, 4, 2, 2);
  const std::string file = folder + "그림\xF0\x9F\x98\x80.QKZ", archive = folder + "묶음.cg";
  WriteBytes(file, QkzFileOf(picture));
  RunResult info = RunKorvo({"info", file});
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("5 x 4"), std::string::npos) << info.out;
  RunResult pack = RunKorvo({"pack", "--names", "utf-8", "--layout", "named-entry", "-o", archive, file});
  ASSERT_EQ(pack.status, 0) << pack.err;
  RunResult list = RunKorvo({"list", "--names", "utf-8", archive});
  EXPECT_NE(list.out.find("  그림\xF0\x9F\x98\x80.QKZ\n"), std::string::npos) << list.out << list.err;
  RunResult extract = RunKorvo({"extract", "--names", "utf-8", archive, "-o", folder + "출력", "--format", "bmp"});
  ASSERT_EQ(extract.status, 0) << extract.err;
  EXPECT_EQ(FilesIn(folder + "출력"), (std::vector<std::string>{"Palette.bmp", "그림\xF0\x9F\x98\x80.bmp"}));
  EXPECT_EQ(ReadBmpContent(ReadBytes(folder + "출력/그림\xF0\x9F\x98\x80.bmp")), ContentOf(picture));
  RunResult convert = RunKorvo({"convert", file, "-o", folder + "변환.bmp"});
  ASSERT_EQ(convert.status, 0) << convert.err;
  EXPECT_EQ(ReadBmpContent(ReadBytes(folder + "변환.bmp")), ContentOf(picture));
}

// 1000 names of random bytes (seeded, so every run sees the same), half of
// them made of the bytes that trip UTF-8 and JSON writers: every listing,
// read as code page 932 and as UTF-8, is strict JSON and keeps every byte.
TEST(Names, JsonOfRandomNameBytesParses) {
  std::mt19937 random(14);
  const std::vector<uint8_t> tricky = {0x00 + 1, 0x1F, 0x22, 0x5C, 0x7F, 0x80, 0xBF, 0xC0, 0xC1, 0xC2,
                                       0xE0, 0xED, 0xA0, 0xF0, 0xF4, 0x90, 0x8F, 0xF5, 0xF8, 0xFE, 0xFF};
  std::vector<std::string> names;
  for (int i = 0; i < 1000; ++i) {
    std::string name(1 + random() % 27, ' ');
    for (char& c : name)
      c = static_cast<char>(i % 2 == 0 ? 1 + random() % 255 : tricky[random() % tricky.size()]);
    names.push_back(name);
  }
  const std::string folder = NewFolder("random-json");
  WriteBytes(folder + "random.cg", ArchiveWithNames(names));
  for (const char* encoding : {"cp932", "utf-8"}) {
    RunResult json = RunKorvo({"list", "--json", "--names", encoding, folder + "random.cg"});
    ASSERT_EQ(json.status, 0) << json.err;
    std::vector<std::string> parsed = ParsedListing(json.out);
    if (parsed == std::vector<std::string>{"no python"}) GTEST_SKIP() << "no Python to parse JSON";
    ASSERT_EQ(parsed.size(), names.size() + 1) << (parsed.empty() ? json.out : parsed[0]);
    for (size_t i = 0; i < names.size(); ++i)
      EXPECT_EQ(parsed[1 + i].substr(0, parsed[1 + i].find(' ')), Hex(names[i] + ".QKZ"))
          << encoding << " case " << i << ": " << parsed[1 + i];
  }
}

// The JSON string writer on its own: well-formed UTF-8 passes, everything
// else becomes \u00XX.
TEST(Names, JsonStringsPassOnlyWellFormedUtf8) {
  const struct {
    std::string bytes, json;
  } cases[] = {
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"\x01\x1F\x7F", "\"\\u0001\\u001f\\u007f\""},
      {"\xC3\xA9\xE7\x94\xBB\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", "\"\xC3\xA9\xE7\x94\xBB\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\""},
      {"\xC0\xAF", "\"\\u00c0\\u00af\""},              // overlong '/'
      {"\xE0\x80\xAF", "\"\\u00e0\\u0080\\u00af\""},   // overlong
      {"\xED\xA0\x80", "\"\\u00ed\\u00a0\\u0080\""},   // a surrogate
      {"\xF4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},  // past U+10FFFF
      {"\xF5\x80\x80\x80", "\"\\u00f5\\u0080\\u0080\\u0080\""},
      {"\xFF\xFE", "\"\\u00ff\\u00fe\""},
      {"\xE7\x94", "\"\\u00e7\\u0094\""},              // cut short
  };
  for (const auto& c : cases) EXPECT_EQ(korvo::JsonString(c.bytes), c.json) << Hex(c.bytes);
}

}  // namespace

// The korvo program end to end, run as a user runs it: pack pictures into
// both archive layouts, list and extract them through the plug-ins of this
// build, and compare every pixel and colour with what went in; then the
// failures, each one line, with its exit status and no file left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "tests/support/korvo_runs.h"
#include "tests/support/platform_hooks.h"
#include "qkz-picture/qkz_picture.h"
#include "tests/support/picture_files.h"
#include "tools/archive-writer/archive_writer.h"
#include "tools/host/platform/output_file.h"

namespace {

constexpr int kFailure = 1, kUsage = 2;

// Three pictures of odd widths, so every row has fill bytes; the first two
// share a palette, the third has its own.
std::vector<TestPicture> Pictures() {
  return {MakeTestPicture("alpha", 5, 3, 1, 3), MakeTestPicture("beta", 17, 9, 2, 3),
          MakeTestPicture("gamma", 30, 4, 3, 5)};
}

// Writes the pictures as .QKZ files into `folder` and returns their paths.
std::vector<std::string> WritePictures(const std::string& folder,
                                       const std::vector<TestPicture>& pictures) {
  std::vector<std::string> paths;
  for (const TestPicture& picture : pictures) {
    paths.push_back(folder + picture.name + ".QKZ");
    WriteBytes(paths.back(), QkzFileOf(picture));
  }
  return paths;
}

struct Listed {
  uint64_t position, stored, size;
  std::string name;
};

// The rows of `korvo list`'s table between its heading and its total.
std::vector<Listed> ParseTable(const std::string& out) {
  std::vector<Listed> entries;
  std::vector<std::string> lines = Lines(out);
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    std::istringstream line(lines[i]);
    Listed entry;
    line >> entry.position >> entry.stored >> entry.size >> entry.name;
    entries.push_back(entry);
  }
  return entries;
}

std::string PositionName(uint64_t position) {
  char name[16];
  snprintf(name, sizeof name, "%08X.QKZ", static_cast<unsigned>(position));
  return name;
}

// What the extractor lists for each layout: offset-table entries are the
// pictures byte for byte behind the count and table; named-entry entries
// start with the Palette entry and rebuild into whole pictures.
std::vector<Listed> ExpectedListing(const std::string& layout,
                                    const std::vector<TestPicture>& pictures) {
  std::vector<Listed> entries;
  if (layout == "offset-table") {
    uint64_t position = 4 + 4 * pictures.size();
    for (const TestPicture& picture : pictures) {
      uint64_t size = 1032 + picture.rows.size();
      entries.push_back({position, size, size, PositionName(position)});
      position += size;
    }
    return entries;
  }
  entries.push_back({0, 0, 1032 + 16 * 16, "Palette.QKZ"});
  for (const TestPicture& picture : pictures)
    entries.push_back({0, 0, 1032 + picture.rows.size(), picture.name + ".QKZ"});
  return entries;
}

// The archive `korvo pack` must write, byte for byte: what the archive
// writer lays out in memory, the Palette entry a 16 x 16 swatch of the
// first picture's palette, which the pictures of that palette do not store.
Bytes ArchiveOf(const std::string& layout, const std::vector<TestPicture>& pictures) {
  if (layout == "offset-table") {
    std::vector<Bytes> entries;
    for (const TestPicture& picture : pictures) entries.push_back(QkzFileOf(picture));
    return korvo::BuildOffsetTableArchive(entries);
  }
  const korvo::QkzTriples& shared = pictures.front().palette;
  std::vector<korvo::NamedEntry> entries = {{"Palette", 16, 16, true, shared, {}, {}}};
  for (int i = 0; i < 256; ++i) entries[0].rows.push_back(static_cast<uint8_t>(i));
  for (const TestPicture& picture : pictures)
    entries.push_back({picture.name, picture.width, picture.height, picture.palette != shared,
                       picture.palette, {}, picture.rows});
  return korvo::BuildNamedEntryArchive(entries);
}

class RoundTrip : public testing::TestWithParam<const char*> {};

TEST_P(RoundTrip, PackListExtractGiveBackEveryPixelAndColour) {
  const std::string layout = GetParam();
  const std::string folder = NewFolder(layout);
  const std::vector<TestPicture> pictures = Pictures();
  std::vector<std::string> arguments = {"pack", "--layout", layout, "-o", folder + "pictures.cg"};
  for (const std::string& path : WritePictures(folder, pictures)) arguments.push_back(path);
  RunResult pack = RunKorvo(arguments);
  ASSERT_EQ(pack.status, 0) << pack.err;
  EXPECT_EQ(ReadBytes(folder + "pictures.cg"), ArchiveOf(layout, pictures));

  RunResult list = RunKorvo({"list", folder + "pictures.cg"});
  ASSERT_EQ(list.status, 0) << list.err;
  std::vector<Listed> listed = ParseTable(list.out);
  std::vector<Listed> expected = ExpectedListing(layout, pictures);
  ASSERT_EQ(listed.size(), expected.size()) << list.out;
  for (size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(listed[i].name, expected[i].name);
    EXPECT_EQ(listed[i].size, expected[i].size) << listed[i].name;
    if (expected[i].position != 0) {
      EXPECT_EQ(listed[i].position, expected[i].position) << listed[i].name;
      EXPECT_EQ(listed[i].stored, expected[i].stored) << listed[i].name;
    }
  }
  // Only the pictures with their own palette carry one in a named-entry archive.
  if (layout == "named-entry") {
    EXPECT_EQ(listed[2].stored, 9 + pictures[1].rows.size());
    EXPECT_EQ(listed[3].stored, 9 + 768 + pictures[2].rows.size());
  }

  RunResult info = RunKorvo({"info", folder + "pictures.cg"});
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find(std::to_string(expected.size()) + " entries"), std::string::npos)
      << info.out;

  // Every format, every entry: the pixels and colours that went in.
  struct Format {
    const char* name;
    const char* extension;
    PictureContent (*read)(const Bytes&);
  };
  const std::vector<Format> formats = {
      {"bmp", ".bmp", ReadBmpContent},
#ifndef _WIN32
      {"png", ".png", ReadPngContent},
#endif
  };
  for (const Format& format : formats) {
    std::string out = folder + format.name;
    RunResult extract = RunKorvo({"extract", folder + "pictures.cg", "-o", out, "--format", format.name});
    ASSERT_EQ(extract.status, 0) << extract.err;
    for (size_t i = 0; i < pictures.size(); ++i) {
      std::string stem = layout == "named-entry" ? pictures[i].name
                                                  : PositionName(expected[i].position).substr(0, 8);
      EXPECT_EQ(format.read(ReadBytes(out + "/" + stem + format.extension)), ContentOf(pictures[i]))
          << layout << " " << format.name << " " << stem;
    }
  }
  // As QKZ, each entry is the very picture that went in, fill bytes included.
  RunResult qkz = RunKorvo({"extract", folder + "pictures.cg", "-o", folder + "qkz", "--format", "qkz"});
  ASSERT_EQ(qkz.status, 0) << qkz.err;
  for (size_t i = 0; i < pictures.size(); ++i) {
    std::string name = layout == "named-entry" ? pictures[i].name + ".QKZ" : PositionName(expected[i].position);
    EXPECT_EQ(ReadBytes(folder + "qkz/" + name), QkzFileOf(pictures[i])) << layout << " " << name;
  }
  // Through the extractor's folder output: the same files, and nothing else
  // left in the folder.
  RunResult viaFolder = RunKorvo({"extract", folder + "pictures.cg", "-o", folder + "folder-qkz", "--format", "qkz",
                                  "--via-folder-output"});
  ASSERT_EQ(viaFolder.status, 0) << viaFolder.err;
  ASSERT_EQ(FilesIn(folder + "folder-qkz"), FilesIn(folder + "qkz"));
  for (const std::string& name : FilesIn(folder + "qkz"))
    EXPECT_EQ(ReadBytes(folder + "folder-qkz/" + name), ReadBytes(folder + "qkz/" + name)) << name;
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, RoundTrip, testing::Values("offset-table", "named-entry"),
                         [](const testing::TestParamInfo<const char*>& param) {
                           return std::string(param.param) == "offset-table" ? "OffsetTable"
                                                                            : "NamedEntry";
                         });

TEST(Extract, NamedEntriesOnlyInAnyLetterCase) {
  const std::string folder = NewFolder("chosen");
  std::vector<std::string> arguments = {"pack", "--layout", "named-entry", "-o", folder + "a.cg"};
  for (const std::string& path : WritePictures(folder, Pictures())) arguments.push_back(path);
  ASSERT_EQ(RunKorvo(arguments).status, 0);
  RunResult extract =
      RunKorvo({"extract", folder + "a.cg", "-o", folder + "out", "--format", "bmp", "GAMMA", "palette.qkz"});
  ASSERT_EQ(extract.status, 0) << extract.err;
  EXPECT_EQ(FilesIn(folder + "out"), (std::vector<std::string>{"Palette.bmp", "gamma.bmp"}));
  // The Palette entry shows the archive's palette, colour i at row i / 16, column i % 16.
  PictureContent swatch = ReadBmpContent(ReadBytes(folder + "out/Palette.bmp"));
  EXPECT_EQ(swatch.palette, Pictures()[0].palette);
  ASSERT_EQ(swatch.pixels.size(), 256u);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(swatch.pixels[i], i);
}

TEST(Convert, DecodesThroughTheImportFilterToBmpAndPng) {
  const std::string folder = NewFolder("convert");
  TestPicture picture = MakeTestPicture("delta", 7, 5, 9, 11);
  WriteBytes(folder + "DELTA.QKZ", QkzFileOf(picture));
  RunResult bmp = RunKorvo({"convert", folder + "DELTA.QKZ", "-o", folder + "delta.bmp"});
  ASSERT_EQ(bmp.status, 0) << bmp.err;
  EXPECT_EQ(ReadBmpContent(ReadBytes(folder + "delta.bmp")), ContentOf(picture));
  RunResult png = RunKorvo({"convert", folder + "DELTA.QKZ"});  // DELTA.png beside it
  ASSERT_EQ(png.status, 0) << png.err;
#ifndef _WIN32
  EXPECT_EQ(ReadPngContent(ReadBytes(folder + "DELTA.png")), ContentOf(picture));
#endif
  // A PNG korvo wrote packs back into the same picture.
  RunResult pack = RunKorvo({"pack", "--layout", "offset-table", "-o", folder + "back.cg", folder + "DELTA.png"});
  ASSERT_EQ(pack.status, 0) << pack.err;
  Bytes archive = ReadBytes(folder + "back.cg");
  Bytes expected = QkzFileOf(picture);
  ASSERT_EQ(archive.size(), 8 + expected.size());
  // PNGs carry no fill bytes: those come back as 0.
  for (uint32_t y = 0; y < picture.height; ++y)
    for (uint32_t x = picture.width; x < picture.Stride(); ++x) expected[1032 + y * picture.Stride() + x] = 0;
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), archive.begin() + 8));
}

// An output that names one of the inputs, by its name or as another name of
// the same file, is refused with one line before anything is written, and
// the input keeps its bytes.
TEST(Outputs, NeverOverAnInput) {
  const std::string folder = NewFolder("over-input");
  const std::vector<std::string> pictures = WritePictures(folder, Pictures());
  ASSERT_EQ(RunKorvo({"pack", "--layout", "named-entry", "-o", folder + "alpha.png", pictures[0]}).status, 0);
  std::filesystem::create_hard_link(std::filesystem::u8path(pictures[0]), std::filesystem::u8path(folder + "alias.png"));
  const struct {
    std::vector<std::string> arguments;
    const char* input;
  } cases[] = {
      {{"convert", pictures[0], "-o", folder + "alias.png"}, "alpha.QKZ"},
      {{"thumbnail", pictures[0], folder + "alias.png"}, "alpha.QKZ"},
      {{"extract", folder + "alpha.png", "-o", folder}, "alpha.png"},  // its entry "alpha"
      {{"pack", "--layout", "named-entry", "-o", folder + "alias.png", pictures[1], pictures[0]}, "alpha.QKZ"},
      {{"pack", "--layout", "offset-table", "-o", pictures[1], pictures[1]}, "beta.QKZ"},
  };
  for (const auto& c : cases) {
    const Bytes before = ReadBytes(folder + c.input);
    const std::vector<std::string> files = FilesIn(folder);
    RunResult run = RunKorvo(c.arguments);
    EXPECT_EQ(run.status, kFailure) << c.arguments[0];
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_NE(run.err.find("is also an input"), std::string::npos) << run.err;
    EXPECT_EQ(ReadBytes(folder + c.input), before) << c.arguments[0];
    EXPECT_EQ(FilesIn(folder), files) << c.arguments[0];
  }
}

// Links planted at the names korvo writes through (the temporary and the
// final name of each output, the folder-output staging folder) before korvo
// starts: the victim and the folder behind them keep their contents, and each
// output appears as a plain file.
TEST(Outputs, NeverGoThroughAPlantedLink) {
  SKIP_UNLESS(Need::kPosixTools);
#ifndef _WIN32
  const std::string folder = NewFolder("links");
  std::vector<std::string> pack = {"pack", "--layout", "named-entry", "-o", folder + "in.cg"};
  for (const std::string& path : WritePictures(folder, Pictures())) pack.push_back(path);
  ASSERT_EQ(RunKorvo(pack).status, 0);
  const struct {
    std::vector<std::string> arguments;
    std::vector<std::string> outputs;  // in {}out/
  } cases[] = {
      {{"extract", "{}in.cg", "-o", "{}out"}, {"Palette.png", "alpha.png", "beta.png", "gamma.png"}},
      {{"extract", "{}in.cg", "-o", "{}out", "--format", "qkz", "--via-folder-output"}, {"alpha.QKZ"}},
      {{"convert", "{}alpha.QKZ", "-o", "{}out/c.bmp"}, {"c.bmp"}},
      {{"pack", "--layout", "offset-table", "-o", "{}out/p.cg", "{}alpha.QKZ"}, {"p.cg"}},
  };
  for (const auto& c : cases) {
    const std::string out = NewFolder("links/out");
    NewFolder("links/elsewhere");
    WriteBytes(folder + "victim", Bytes{'v'});
    std::vector<std::string> arguments;
    for (const std::string& word : c.arguments)
      arguments.push_back(word.rfind("{}", 0) == 0 ? folder + word.substr(2) : word);
    std::vector<PlantedLink> links = {{out + ".korvo-unpack-{pid}", "../elsewhere"}};
    for (const std::string& name : c.outputs) {
      links.push_back({out + "." + name + ".{pid}.part", "../victim"});
      links.push_back({out + name, "../victim"});
    }
    RunResult run = RunKorvo(arguments, links);
    ASSERT_EQ(run.status, 0) << c.arguments[0] << ": " << run.err;
    EXPECT_EQ(ReadBytes(folder + "victim"), Bytes{'v'}) << c.arguments[0];
    EXPECT_TRUE(FilesIn(folder + "elsewhere").empty()) << c.arguments[0];
    for (const std::string& name : c.outputs) {
      EXPECT_FALSE(std::filesystem::is_symlink(out + name)) << name;
      EXPECT_GT(ReadBytes(out + name).size(), 1u) << name;
    }
  }
#endif
}

// Inputs that would take korvo's memory or time: a PNG whose header claims
// 4 GB of rows in 0.5 MB, a device without end and a FIFO without a writer.
// Under 256 MiB of address space each is refused at once with one line and
// exit status 1, and nothing is written; a picture that fits still packs.
TEST(Inputs, HostileOnesAreRefusedWithinAMemoryLimit) {
  SKIP_UNLESS(Need::kPosixTools);
#ifndef _WIN32
#ifdef KORVO_SANITIZED
  GTEST_SKIP() << "the sanitizers reserve more address space than ulimit -v allows";
#endif
  const std::string folder = NewFolder("hostile");
  WriteBytes(folder + "bomb.png", MakeBlankPng(65535, 65519));
  ASSERT_LT(ReadBytes(folder + "bomb.png").size(), 1000000u);
  ASSERT_EQ(mkfifo((folder + "fifo").c_str(), 0600), 0);
  WriteBytes(folder + "good.QKZ", QkzFileOf(Pictures()[0]));
  const std::vector<std::string> inputs = FilesIn(folder);
  auto limited = [](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(),
                     {"-c", "ulimit -v 262144; exec timeout 60 \"$0\" \"$@\"", KorvoProgram()});
    return RunProgram("/bin/sh", arguments);
  };
  const std::string fifo = folder + "fifo";
  const struct {
    std::vector<std::string> arguments;
    std::string error;
  } cases[] = {
      {{"pack", "--layout", "offset-table", "-o", folder + "b.cg", folder + "bomb.png"},
       "bomb.png: a picture of 65535 x 65519 pixels (4293854216 bytes) does not fit in the archive"},
      {{"pack", "--layout", "named-entry", "-o", folder + "b.cg", folder + "good.QKZ", folder + "bomb.png"},
       "bomb.png: a picture of 65535 x 65519 pixels"},
      {{"pack", "--layout", "offset-table", "-o", folder + "z.cg", "/dev/zero"}, "/dev/zero: not a regular file"},
      {{"pack", "--layout", "named-entry", "-o", folder + "f.cg", fifo}, "fifo: not a regular file"},
      {{"info", fifo}, "fifo: not a regular file"},
      {{"list", fifo}, "fifo: not a regular file"},
      {{"extract", fifo, "-o", folder + "out"}, "fifo: not a regular file"},
      {{"convert", fifo, "-o", folder + "f.bmp"}, "fifo: not a regular file"},
      {{"thumbnail", fifo, folder + "t.png"}, "fifo: not a regular file"},
  };
  for (const auto& c : cases) {
    RunResult run = limited(c.arguments);
    EXPECT_EQ(run.status, kFailure) << c.arguments[0] << ": " << run.err;
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
    EXPECT_EQ(FilesIn(folder), inputs) << c.arguments[0];
  }
  RunResult good = limited({"pack", "--layout", "offset-table", "-o", folder + "g.cg", folder + "good.QKZ"});
  EXPECT_EQ(good.status, 0) << good.err;
#endif
}

// pack writes as it goes into its temporary file; SIGTERM meanwhile removes
// it, so an interrupted pack leaves nothing behind. korvo is stopped as
// soon as the temporary file appears, long before 1,000 pictures are in.
TEST(Pack, InterruptedLeavesNothingBehind) {
  SKIP_UNLESS(Need::kPosixTools);
#ifndef _WIN32
  const std::string folder = NewFolder("interrupted");
  WriteBytes(folder + "big.QKZ", QkzFileOf(MakeTestPicture("big", 640, 480, 1, 1)));
  std::vector<std::string> words = {KorvoProgram(), "pack", "--layout", "offset-table", "-o",
                                    folder + "a.cg"};
  for (int i = 0; i < 1000; ++i) words.push_back(folder + "big.QKZ");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  pid_t child = fork();
  if (child == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  ASSERT_GT(child, 0);
  bool started = false;
  for (int poll = 0; poll < 10000000 && !started; ++poll)
    for (const std::string& name : FilesIn(folder)) started = started || name.rfind(".a.cg.", 0) == 0;
  kill(child, SIGSTOP);
  kill(child, SIGTERM);
  kill(child, SIGCONT);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(started) << "no temporary file appeared";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"big.QKZ"});
#endif
}

// Each output reaches the disk before its name does, and its name after it:
// korvo flushes the temporary file before renaming it over the output, and
// then the folder, as strace sees the calls.
TEST(Outputs, ReachTheDiskBeforeTheirNameAndTheirNameAfter) {
  SKIP_UNLESS(Need::kPosixTools);
#ifndef _WIN32
  if (!Exists("/usr/bin/strace") || RunProgram("/usr/bin/strace", {"-o", "/dev/null", "/bin/true"}).status != 0)
    GTEST_SKIP() << "strace is missing (scripts/setup installs it) or may not trace here";
  const std::string folder = NewFolder("durable");
  WritePictures(folder, Pictures());
  const std::string out = NewFolder("durable/out");
  const std::string canonicalOut = std::filesystem::canonical(out).string();
  const std::vector<std::vector<std::string>> commands = {
      {"pack", "--layout", "named-entry", "-o", out + "p.cg", folder + "alpha.QKZ", folder + "beta.QKZ"},
      {"convert", folder + "alpha.QKZ", "-o", out + "c.bmp"},
      {"extract", out + "p.cg", "-o", out, "--format", "qkz", "beta"},
      {"sample-picture", out + "s.QKZ"},
  };
  const std::string log = folder + "strace.log";
  for (const std::vector<std::string>& command : commands) {
    // LeakSanitizer cannot run under a tracer; a sanitized korvo leaves it off here.
    std::vector<std::string> arguments = {"-f", "-qq", "-y", "-E", "ASAN_OPTIONS=detect_leaks=0", "-o", log,
                                          "-e", "trace=fsync,fdatasync,rename,renameat,renameat2",
                                          KorvoProgram()};
    arguments.insert(arguments.end(), command.begin(), command.end());
    RunResult run = RunProgram("/usr/bin/strace", arguments);
    ASSERT_EQ(run.status, 0) << command[0] << ": " << run.err;
    const Bytes bytes = ReadBytes(log);
    const std::vector<std::string> calls = Lines(std::string(bytes.begin(), bytes.end()));
    size_t rename = calls.size();
    std::string temporary;  // its name, without the folder
    for (size_t i = 0; i < calls.size() && rename == calls.size(); ++i) {
      size_t part = calls[i].find(".part\"");
      if (calls[i].find("rename") == std::string::npos || part == std::string::npos) continue;
      size_t start = calls[i].rfind('/', part) + 1;
      temporary = calls[i].substr(start, part + 5 - start);
      rename = i;
    }
    ASSERT_LT(rename, calls.size()) << command[0] << " renamed nothing";
    bool fileFirst = false, folderAfter = false;
    for (size_t i = 0; i < rename; ++i)
      fileFirst = fileFirst || (calls[i].find("sync(") != std::string::npos &&
                                calls[i].find("/" + temporary + ">") != std::string::npos);
    for (size_t i = rename + 1; i < calls.size(); ++i)
      folderAfter = folderAfter || (calls[i].find("fsync(") != std::string::npos &&
                                    calls[i].find("<" + canonicalOut + ">") != std::string::npos);
    EXPECT_TRUE(fileFirst) << command[0] << ": " << std::string(bytes.begin(), bytes.end());
    EXPECT_TRUE(folderAfter) << command[0] << ": " << std::string(bytes.begin(), bytes.end());
  }
#endif
}

// A thumbnailer writes into the output it is given, as the desktop holds
// it open: the same file, whatever it held, read back through the handle.
// Anything at the name but a plain file of one name is refused and keeps
// its bytes; a lower-case picture leaves nothing in the temporary folder.
TEST(Thumbnail, WritesIntoTheOutputFileItselfNeverThroughALink) {
  SKIP_UNLESS(Need::kPosixTools);
#ifndef _WIN32
  const std::string folder = NewFolder("in-place");
  WriteBytes(folder + "a.qkz", QkzFileOf(Pictures()[0]));
  WriteBytes(folder + "out.png", Bytes(100000, 'o'));  // longer than the thumbnail
  FILE* held = fopen((folder + "out.png").c_str(), "rb");
  ASSERT_NE(held, nullptr);
  NewFolder("in-place/tmp");
  setenv("TMPDIR", (folder + "tmp").c_str(), 1);
  RunResult run = RunKorvo({"thumbnail", folder + "a.qkz", folder + "out.png"});
  unsetenv("TMPDIR");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(FilesIn(folder + "tmp").empty());
  Bytes seen(200000);
  seen.resize(fread(seen.data(), 1, seen.size(), held));
  fclose(held);
  EXPECT_EQ(seen, ReadBytes(folder + "out.png"));
  EXPECT_EQ(ReadPngContent(seen), ContentOf(Pictures()[0]));

  WriteBytes(folder + "victim", Bytes{'v'});
  std::filesystem::create_symlink("victim", folder + "symbolic.png");
  std::filesystem::create_hard_link(folder + "victim", folder + "hard.png");
  ASSERT_EQ(mkfifo((folder + "fifo.png").c_str(), 0600), 0);
  std::filesystem::create_directory(folder + "folder.png");
  for (const char* output : {"symbolic.png", "hard.png", "fifo.png", "folder.png"}) {
    RunResult refused = RunKorvo({"thumbnail", folder + "a.qkz", folder + output});
    EXPECT_EQ(refused.status, kFailure) << output;
    EXPECT_NE(refused.err.find(output), std::string::npos) << refused.err;
  }
  EXPECT_EQ(ReadBytes(folder + "victim"), Bytes{'v'});
  EXPECT_TRUE(std::filesystem::is_symlink(folder + "symbolic.png"));
#endif
}

// What a thumbnail of `content` no larger than width x height holds: each
// pixel the rounded mean of the block of pixels behind it, a block of more
// than 16 rows taken through 16 of them, at the middles of 16 equal bands.
#ifndef _WIN32
Bytes AveragedRgb(const PictureContent& content, uint32_t width, uint32_t height) {
  const Bytes rgb = RgbOf(content);
  Bytes out;
  for (uint32_t ty = 0; ty < height; ++ty)
    for (uint32_t tx = 0; tx < width; ++tx) {
      uint32_t x0 = tx * content.width / width, x1 = (tx + 1) * content.width / width;
      uint32_t y0 = ty * content.height / height, y1 = (ty + 1) * content.height / height;
      std::vector<uint32_t> rows;
      for (uint32_t y = y0; y < y1; ++y) rows.push_back(y);
      if (rows.size() > 16) {
        rows.clear();
        for (uint32_t i = 0; i < 16; ++i) rows.push_back(y0 + (2 * i + 1) * (y1 - y0) / 32);
      }
      for (int c = 0; c < 3; ++c) {
        uint32_t sum = 0, count = (x1 - x0) * static_cast<uint32_t>(rows.size());
        for (uint32_t y : rows)
          for (uint32_t x = x0; x < x1; ++x) sum += rgb[3 * (y * content.width + x) + c];
        out.push_back(static_cast<uint8_t>((sum + count / 2) / count));
      }
    }
  return out;
}
#endif

// Pictures that fit come out as korvo convert writes them (indexed, the
// palette kept); larger ones shrink until the longer side is the size,
// keeping the ratio; an archive shows its first picture, never the Palette
// entry of the named-entry layout.
TEST(Thumbnail, FitsTheSizeKeepsTheRatioAndShowsAnArchivesFirstPicture) {
  SKIP_UNLESS(Need::kPosixTools);
#ifndef _WIN32
  const std::string folder = NewFolder("thumbnail");
  const std::vector<TestPicture> pictures = {MakeTestPicture("wide", 30, 4, 3, 5),
                                             MakeTestPicture("tall", 5, 23, 4, 6)};
  WritePictures(folder, pictures);
  struct Case {
    size_t picture;
    const char* size;
    uint32_t width, height;
  } cases[] = {{0, "30", 30, 4}, {0, "256", 30, 4}, {0, "10", 10, 1}, {0, "15", 15, 2}, {0, "1", 1, 1},
               {1, "23", 5, 23}, {1, "7", 2, 7}, {1, "4", 1, 4}};
  for (const Case& c : cases) {
    const TestPicture& picture = pictures[c.picture];
    SCOPED_TRACE(picture.name + " at " + c.size);
    RunResult run = RunKorvo({"thumbnail", folder + picture.name + ".QKZ", folder + "t.png", "--size", c.size});
    ASSERT_EQ(run.status, 0) << run.err;
    Bytes png = ReadBytes(folder + "t.png");
    uint32_t width = 0, height = 0;
    Bytes rgb = ReadPngRgb(png, &width, &height);
    ASSERT_EQ(width, c.width);
    ASSERT_EQ(height, c.height);
    EXPECT_EQ(rgb, AveragedRgb(ContentOf(picture), width, height));
    if (width == picture.width) {
      EXPECT_EQ(ReadPngContent(png), ContentOf(picture));
    }
  }
  // The name's letter case does not matter to the desktop, nor here.
  WriteBytes(folder + "lower.qkz", QkzFileOf(pictures[1]));
  ASSERT_EQ(RunKorvo({"thumbnail", folder + "lower.qkz", folder + "lower.png"}).status, 0);
  EXPECT_EQ(ReadPngContent(ReadBytes(folder + "lower.png")), ContentOf(pictures[1]));
  for (const char* layout : {"offset-table", "named-entry"}) {
    std::vector<std::string> pack = {"pack", "--layout", layout, "-o", folder + "a.cg"};
    for (const std::string& path : WritePictures(folder, Pictures())) pack.push_back(path);
    ASSERT_EQ(RunKorvo(pack).status, 0);
    RunResult run = RunKorvo({"thumbnail", folder + "a.cg", folder + layout + ".png"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadPngContent(ReadBytes(folder + layout + ".png")), ContentOf(Pictures()[0])) << layout;
  }
#endif
}

// A picture of 3000 rows, each unlike its neighbours, shrinks 47-fold in
// height at 64 pixels: only the sampled rows count, as the oracle takes
// them from the full decode. The same picture as an archive's first entry,
// after a Palette entry or a position table, gives the same pixels.
TEST(Thumbnail, LargePicturesAreTheMeanOfTheSampledRowsFromAPictureOrAnArchive) {
  SKIP_UNLESS(Need::kPosixTools);
#ifndef _WIN32
  const std::string folder = NewFolder("thumbnail-sampled");
  const TestPicture picture = MakeTestPicture("tall", 301, 3000, 5, 9);
  WriteBytes(folder + "tall.QKZ", QkzFileOf(picture));
  WriteBytes(folder + "small.QKZ", QkzFileOf(MakeTestPicture("small", 3, 2, 1, 2)));
  for (const char* layout : {"offset-table", "named-entry"})
    ASSERT_EQ(RunKorvo({"pack", "--layout", layout, "-o", folder + layout + ".cg", folder + "tall.QKZ",
                        folder + "small.QKZ"}).status, 0);
  for (const char* size : {"64", "256"}) {
    const uint32_t height = static_cast<uint32_t>(std::stoul(size));
    const uint32_t width = (301 * height + 1500) / 3000;
    for (const char* input : {"tall.QKZ", "offset-table.cg", "named-entry.cg"}) {
      SCOPED_TRACE(std::string(input) + " at " + size);
      RunResult run = RunKorvo({"thumbnail", folder + input, folder + "t.png", "--size", size});
      ASSERT_EQ(run.status, 0) << run.err;
      uint32_t gotWidth = 0, gotHeight = 0;
      Bytes rgb = ReadPngRgb(ReadBytes(folder + "t.png"), &gotWidth, &gotHeight);
      ASSERT_EQ(gotWidth, width);
      ASSERT_EQ(gotHeight, height);
      EXPECT_EQ(rgb, AveragedRgb(ContentOf(picture), width, height));
    }
  }
#endif
}

// Cut anywhere, a picture gives one line and status 1 whatever its letter
// case: inside the head or the rows, how far the file reaches.
TEST(Thumbnail, ACutPictureGivesOneLineInEitherLetterCase) {
  SKIP_UNLESS(Need::kPosixTools);
#ifndef _WIN32
  const std::string folder = NewFolder("thumbnail-cut");
  const Bytes whole = QkzFileOf(MakeTestPicture("cut", 17, 9, 2, 3));
  for (size_t length : {size_t{8}, size_t{100}, size_t{1031}, size_t{1032}, size_t{1100}, whole.size() - 1})
    for (const char* name : {"cut.QKZ", "cut.qkz", "cut.Qkz"}) {
      WriteBytes(folder + name, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)));
      RunResult run = RunKorvo({"thumbnail", folder + name, folder + "t.png"});
      EXPECT_EQ(run.status, kFailure) << name << " " << length;
      const std::string reach = length < 1032 ? "the file ends inside the picture's head (" + std::to_string(length) + " of 1032 bytes)"
                                              : "the file ends inside the picture (" + std::to_string(length) + " of " +
                                                    std::to_string(whole.size()) + " bytes)";
      EXPECT_EQ(run.err, "korvo: " + folder + name + ": " + reach + "\n");
      EXPECT_FALSE(Exists(folder + "t.png"));
    }
#endif
}

// Pictures whose whole decode needs gigabytes, written sparse, under an
// address-space limit of 256 MiB: the thumbnail needs only itself and a
// row. Each comes out at its size, of palette colour 0 (the rows are holes).
TEST(Thumbnail, HugePicturesNeedOnlyTheThumbnailsMemory) {
  SKIP_UNLESS(Need::kPosixTools);
#ifndef _WIN32
#ifdef KORVO_SANITIZED
  GTEST_SKIP() << "ulimit -v cannot hold the sanitizers' shadow memory";
#endif
  const std::string folder = NewFolder("thumbnail-huge");
  const struct {
    const char* name;
    uint32_t width, height, thumbnailWidth, thumbnailHeight;
    bool archive;  // as the one entry of an offset-table archive
  } cases[] = {{"entry.cg", 65535, 65519, 256, 256, true},
               {"thread.QKZ", 1, 100000000, 1, 256, false},
               {"over-2-gib.qkz", 40000, 53688, 191, 256, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestPicture head = MakeTestPicture("head", 1, 1, 0, 7);
    head.width = c.width;
    head.height = c.height;
    head.rows.clear();
    Bytes bytes = QkzFileOf(head);
    if (c.archive) bytes.insert(bytes.begin(), {1, 0, 0, 0, 8, 0, 0, 0});
    const uint64_t size = bytes.size() + uint64_t{head.Stride()} * c.height;
    WriteBytes(folder + c.name, bytes);
    std::filesystem::resize_file(folder + c.name, size);
    RunResult run = RunProgram("/bin/sh", {"-c", "ulimit -v 262144; exec \"$0\" \"$@\"", KorvoProgram(),
                                           "thumbnail", folder + c.name, folder + "t.png"});
    ASSERT_EQ(run.status, 0) << run.err;
    uint32_t width = 0, height = 0;
    Bytes rgb = ReadPngRgb(ReadBytes(folder + "t.png"), &width, &height);
    EXPECT_EQ(width, c.thumbnailWidth);
    EXPECT_EQ(height, c.thumbnailHeight);
    Bytes expected;
    for (uint32_t i = 0; i < width * height; ++i) expected.insert(expected.end(), head.palette.begin(), head.palette.begin() + 3);
    EXPECT_EQ(rgb, expected);
    std::filesystem::remove(folder + c.name);
  }
#endif
}

// Temporary names are drawn until one is free: a file or a link already at a
// name drawn is passed over and keeps its bytes, since creation is exclusive.
unsigned drawn = 0;
std::string CountingSuffix() {
  char suffix[18];
  snprintf(suffix, sizeof suffix, ".%016x", ++drawn);
  return suffix;
}

TEST(Outputs, TemporaryFilesAreCreatedNewPassingOverWhatIsThere) {
  const std::string folder = NewFolder("exclusive");
  WriteBytes(folder + ".out.0000000000000001.part", Bytes{'p'});
  WriteBytes(folder + "victim", Bytes{'v'});
#ifdef _WIN32
  WriteBytes(folder + ".out.0000000000000002.part", Bytes{'q'});
#else
  std::filesystem::create_symlink("victim", folder + ".out.0000000000000002.part");
#endif
  drawn = 0;
  std::string temporary;
  FILE* file = korvo::CreateTemporaryBeside(folder + "out", &temporary, CountingSuffix);
  ASSERT_NE(file, nullptr);
  fputs("new", file);
  fclose(file);
  EXPECT_EQ(std::filesystem::u8path(temporary), std::filesystem::u8path(folder + ".out.0000000000000003.part"));
  EXPECT_EQ(ReadBytes(temporary), (Bytes{'n', 'e', 'w'}));
  EXPECT_EQ(ReadBytes(folder + ".out.0000000000000001.part"), Bytes{'p'});
  EXPECT_EQ(ReadBytes(folder + "victim"), Bytes{'v'});
  // The names korvo draws: 16 hex digits from the system's random source.
  const std::string first = korvo::RandomSuffix(), second = korvo::RandomSuffix();
  EXPECT_EQ(first.size(), 17u);
  EXPECT_EQ(first[0], '.');
  EXPECT_EQ(first.find_first_not_of("0123456789abcdef", 1), std::string::npos) << first;
  EXPECT_NE(first, second);
}

// The command line as a table: each command with a good input, a missing
// file, a foreign file, a damaged archive or picture and an output that
// cannot be written (where the command has them), then wrong command lines.
// One case: the arguments (with {} standing for the case's folder), the exit
// status, a piece of the one-line error ("" for success, which prints no
// error) and the files the folder must hold afterwards: no partial file.
struct CommandCase {
  const char* title;
  std::vector<std::string> arguments;
  int status;
  const char* error;
  std::vector<std::string> files;
};

// The folder of each case holds: good.cg (a named-entry archive of three
// pictures), good.QKZ and lower.qkz (pictures), torn.cg (the archive's
// first half), text.cg (a file of neither layout), short.QKZ and cut.qkz (a
// picture that ends inside its rows), overrun.cg (an archive whose last
// entry claims a palette the file ends inside) and rgb.png. A
// path inside text.cg is an output that cannot be created.
const std::vector<std::string> kInputs = {"cut.qkz", "good.QKZ", "good.cg", "lower.qkz", "overrun.cg", "short.QKZ",
                                          "text.cg", "torn.cg"};

// A device, which every command must refuse to read (/dev/zero never ends).
#ifdef _WIN32
const char kDevice[] = "NUL";
#else
const char kDevice[] = "/dev/zero";
#endif

std::vector<std::string> InputsAnd(const std::string& output) {
  std::vector<std::string> files = kInputs;
  files.push_back(output);
  std::sort(files.begin(), files.end());
  return files;
}

class Commands : public testing::TestWithParam<CommandCase> {};

TEST_P(Commands, GiveTheStatusAndOneErrorLineAndLeaveNoPartialFile) {
  const CommandCase& c = GetParam();
  const std::string folder = NewFolder(std::string("case-") + c.title);
  std::vector<std::string> arguments = {"pack", "--layout", "named-entry", "-o", folder + "good.cg"};
  std::vector<TestPicture> pictures = Pictures();
  for (const std::string& path : WritePictures(folder, pictures)) arguments.push_back(path);
  ASSERT_EQ(RunKorvo(arguments).status, 0);
  for (const TestPicture& picture : pictures) std::remove((folder + picture.name + ".QKZ").c_str());
  WriteBytes(folder + "good.QKZ", QkzFileOf(pictures[0]));
  WriteBytes(folder + "lower.qkz", QkzFileOf(pictures[1]));
  Bytes good = ReadBytes(folder + "good.cg");
  WriteBytes(folder + "torn.cg", Bytes(good.begin(), good.begin() + good.size() / 2));
  WriteBytes(folder + "text.cg", Bytes(3000, 'x'));
  Bytes picture = QkzFileOf(pictures[1]);
  WriteBytes(folder + "short.QKZ", Bytes(picture.begin(), picture.end() - 1));
  WriteBytes(folder + "cut.qkz", Bytes(picture.begin(), picture.end() - 1));
  // A Palette entry and one entry of width 1, height 1 that claims its own
  // palette and holds only its rows: it lists, and its extract runs off the
  // end of the file.
  Bytes overrun = {2, 0, 0, 0, 'P', 'a', 'l', 'e', 't', 't', 'e', 0, 22, 0, 0, 0, 'x', 0, 0, 0, 0, 0};
  overrun[18] = static_cast<uint8_t>(22 + 9 + 768 + 4);
  overrun[19] = static_cast<uint8_t>((22 + 9 + 768 + 4) >> 8);
  Bytes entry = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  overrun.insert(overrun.end(), entry.begin(), entry.end());
  overrun.insert(overrun.end(), 768 + 4, 0x11);
  overrun.insert(overrun.end(), entry.begin(), entry.end());
  overrun.insert(overrun.end(), 4, 0x22);
  WriteBytes(folder + "overrun.cg", overrun);
  WriteBytes(folder + "rgb.png", MakeRgbPng(4, 4));

  std::vector<std::string> words;
  for (const std::string& argument : c.arguments) {
    size_t at = argument.find("{}");
    words.push_back(at == std::string::npos ? argument : argument.substr(0, at) + folder + argument.substr(at + 2));
  }
  RunResult run = RunKorvo(words);
  EXPECT_EQ(run.status, c.status) << run.err;
  std::vector<std::string> errors = Lines(run.err);
  if (c.status == 0) {
    EXPECT_EQ(run.err, "");
  } else {
    ASSERT_FALSE(errors.empty());
    EXPECT_NE(errors[0].find(c.error), std::string::npos) << run.err;
  }
  if (c.status == kFailure) {
    EXPECT_EQ(errors.size(), 1u) << run.err;
    EXPECT_EQ(errors[0].rfind("korvo: ", 0), 0u) << run.err;
  }
  std::vector<std::string> files = c.files;
  files.push_back("rgb.png");
  std::sort(files.begin(), files.end());
  EXPECT_EQ(FilesIn(folder), files);
  // No command writes over an input, whatever it was asked.
  EXPECT_EQ(ReadBytes(folder + "good.cg"), good);
  EXPECT_EQ(ReadBytes(folder + "good.QKZ"), QkzFileOf(pictures[0]));
}

INSTANTIATE_TEST_SUITE_P(
    Korvo, Commands,
    testing::Values(
        CommandCase{"InfoGood", {"info", "{}good.cg", "{}good.QKZ"}, 0, "", kInputs},
        CommandCase{"InfoLowerCase", {"info", "{}lower.qkz"}, 0, "", kInputs},
        CommandCase{"InfoMissing", {"info", "{}none.cg"}, kFailure, "none.cg: cannot open", kInputs},
        CommandCase{"InfoForeign", {"info", "{}text.cg"}, kFailure,
                    "GetArchiveInfo returned -1): as an offset-table archive, an entry's position lies at or past "
                    "the end of the file; as a named-entry archive, an entry name of 32 bytes has no NUL",
                    kInputs},
        CommandCase{"InfoDamaged", {"info", "{}torn.cg"}, kFailure,
                    "as a named-entry archive, an entry's position lies at or past the end of the file", kInputs},
        CommandCase{"ListGood", {"list", "{}good.cg"}, 0, "", kInputs},
        CommandCase{"ListMissing", {"list", "{}none.cg"}, kFailure, "none.cg: cannot open", kInputs},
        CommandCase{"ListForeign", {"list", "{}text.cg"}, kFailure, "text.cg: not a supported archive", kInputs},
        CommandCase{"ListDamaged", {"list", "--json", "{}torn.cg"}, kFailure,
                    "as a named-entry archive, an entry's position lies at or past the end of the file", kInputs},
        CommandCase{"ExtractGood", {"extract", "{}good.cg", "-o", "{}out"}, 0, "", InputsAnd("out")},
        CommandCase{"ExtractMissing", {"extract", "{}none.cg", "-o", "{}out"}, kFailure, "none.cg: cannot open", kInputs},
        CommandCase{"ExtractForeign", {"extract", "{}good.QKZ", "-o", "{}out"}, kFailure,
                    "good.QKZ: not a supported archive", kInputs},
        CommandCase{"ExtractDamaged", {"extract", "{}torn.cg", "-o", "{}out"}, kFailure,
                    "torn.cg: not a supported archive", kInputs},
        CommandCase{"ExtractPastTheEnd", {"extract", "{}overrun.cg", "-o", "{}", "--format", "bmp", "x"},
                    kFailure, "overrun.cg: x.QKZ: file ends inside an entry", kInputs},
        CommandCase{"ExtractUnwritable", {"extract", "{}good.cg", "-o", "{}text.cg/out"}, kFailure,
                    "text.cg/out: cannot create the output folder", kInputs},
        CommandCase{"ExtractUnknownName", {"extract", "{}good.cg", "-o", "{}", "delta"}, kFailure,
                    "good.cg: no entry named 'delta'", kInputs},
        CommandCase{"ExtractViaFolderGood", {"extract", "{}good.cg", "-o", "{}out", "--via-folder-output"}, 0, "",
                    InputsAnd("out")},
        CommandCase{"ExtractViaFolderMissing", {"extract", "--via-folder-output", "{}none.cg"}, kFailure,
                    "none.cg: cannot open", kInputs},
        CommandCase{"ExtractViaFolderForeign", {"extract", "--via-folder-output", "{}text.cg"}, kFailure,
                    "text.cg: not a supported archive", kInputs},
        CommandCase{"ExtractViaFolderDamaged",
                    {"extract", "{}overrun.cg", "-o", "{}", "--format", "qkz", "--via-folder-output", "x"}, kFailure,
                    "overrun.cg: x.QKZ: cannot write into the folder, or the file ends inside the entry", kInputs},
        CommandCase{"ExtractViaFolderUnwritable",
                    {"extract", "{}good.cg", "-o", "{}text.cg/out", "--via-folder-output"}, kFailure,
                    "text.cg/out: cannot create the output folder", kInputs},
        CommandCase{"ConvertGood", {"convert", "{}good.QKZ", "-o", "{}good.bmp"}, 0, "", InputsAnd("good.bmp")},
        CommandCase{"ConvertLowerCase", {"convert", "{}lower.qkz", "-o", "{}l.png"}, 0, "", InputsAnd("l.png")},
        CommandCase{"ConvertMissing", {"convert", "{}none.QKZ"}, kFailure, "none.QKZ: cannot open", kInputs},
        CommandCase{"ConvertForeign", {"convert", "{}good.cg", "-o", "{}good.bmp"}, kFailure,
                    "good.cg: not a supported picture", kInputs},
        CommandCase{"ConvertDamaged", {"convert", "{}short.QKZ", "-o", "{}short.bmp"}, kFailure,
                    "short.QKZ: cannot read the file, or it ends inside the picture", kInputs},
        CommandCase{"ConvertDamagedLowerCase", {"convert", "{}cut.qkz", "-o", "{}cut.bmp"}, kFailure,
                    "cut.qkz: cannot read the file, or it ends inside the picture", kInputs},
        CommandCase{"ConvertUnwritable", {"convert", "{}good.QKZ", "-o", "{}text.cg/good.bmp"}, kFailure,
                    "text.cg/good.bmp: cannot create", kInputs},
        CommandCase{"PackGood", {"pack", "--layout", "offset-table", "-o", "{}new.cg", "{}good.QKZ"}, 0, "",
                    InputsAnd("new.cg")},
        CommandCase{"PackMissing", {"pack", "--layout", "offset-table", "-o", "{}new.cg", "{}none.QKZ"},
                    kFailure, "none.QKZ: cannot open", kInputs},
        CommandCase{"PackForeign", {"pack", "--layout", "offset-table", "-o", "{}new.cg", "{}good.cg"},
                    kFailure, "good.cg: neither a QKZ picture nor a PNG", kInputs},
        CommandCase{"PackDamaged", {"pack", "--layout", "named-entry", "-o", "{}new.cg", "{}short.QKZ"},
                    kFailure, "short.QKZ: QKZ picture of 17 x 9 ends inside its rows", kInputs},
        CommandCase{"PackUnwritable", {"pack", "--layout", "named-entry", "-o", "{}text.cg/new.cg", "{}good.QKZ"},
                    kFailure, "text.cg/new.cg: cannot create", kInputs},
        CommandCase{"PackOverAnArchive", {"pack", "--layout", "named-entry", "-o", "{}good.cg", "{}short.QKZ"},
                    kFailure, "short.QKZ", kInputs},
        // Both PNG back ends refuse in the same words.
        CommandCase{"PackRgbPng", {"pack", "--layout", "named-entry", "-o", "{}new.cg", "{}rgb.png"},
                    kFailure, "rgb.png: not an indexed PNG (RGB); reduce it to 256 colours first", kInputs},
        CommandCase{"InfoDevice", {"info", kDevice}, kFailure, "not a regular file", kInputs},
        CommandCase{"ListDevice", {"list", kDevice}, kFailure, "not a regular file", kInputs},
        CommandCase{"ExtractDevice", {"extract", kDevice, "-o", "{}out"}, kFailure, "not a regular file", kInputs},
        CommandCase{"ConvertDevice", {"convert", kDevice, "-o", "{}z.bmp"}, kFailure, "not a regular file", kInputs},
        CommandCase{"PackDevice", {"pack", "--layout", "offset-table", "-o", "{}new.cg", "{}good.QKZ", kDevice},
                    kFailure, "not a regular file", kInputs},
        CommandCase{"ThumbnailDevice", {"thumbnail", kDevice, "{}t.png"}, kFailure, "not a regular file", kInputs},
        CommandCase{"SamplePictureGood", {"sample-picture", "{}s.QKZ"}, 0, "", InputsAnd("s.QKZ")},
        CommandCase{"SamplePictureUnwritable", {"sample-picture", "{}text.cg/s.QKZ"}, kFailure,
                    "text.cg/s.QKZ: cannot create", kInputs},
        CommandCase{"ThumbnailGood", {"thumbnail", "{}good.QKZ", "{}t.png"}, 0, "", InputsAnd("t.png")},
        CommandCase{"ThumbnailArchive", {"thumbnail", "{}good.cg", "{}t.png", "--size", "8"}, 0, "",
                    InputsAnd("t.png")},
        CommandCase{"ThumbnailLowerCase", {"thumbnail", "{}lower.qkz", "{}t.png"}, 0, "", InputsAnd("t.png")},
        CommandCase{"ThumbnailIntoItsPicture", {"thumbnail", "{}good.QKZ", "{}./good.QKZ"}, kFailure,
                    "good.QKZ: is also an input", kInputs},
        CommandCase{"ThumbnailMissing", {"thumbnail", "{}none.cg", "{}t.png"}, kFailure, "none.cg: cannot open", kInputs},
        CommandCase{"ThumbnailForeign", {"thumbnail", "{}text.cg", "{}t.png"}, kFailure,
                    "text.cg: not a supported archive", kInputs},
        CommandCase{"ThumbnailDamaged", {"thumbnail", "{}torn.cg", "{}t.png"}, kFailure,
                    "torn.cg: not a supported archive", kInputs},
        CommandCase{"ThumbnailDamagedPicture", {"thumbnail", "{}short.QKZ", "{}t.png"}, kFailure,
                    "short.QKZ: the file ends inside the picture (1211 of 1212 bytes)", kInputs},
        CommandCase{"ThumbnailDamagedLowerCase", {"thumbnail", "{}cut.qkz", "{}t.png"}, kFailure,
                    "cut.qkz: the file ends inside the picture (1211 of 1212 bytes)", kInputs},
        CommandCase{"ThumbnailPastTheEnd", {"thumbnail", "{}overrun.cg", "{}t.png"}, kFailure,
                    "overrun.cg: x.QKZ: file ends inside an entry", kInputs},
        CommandCase{"ThumbnailUnwritable", {"thumbnail", "{}good.QKZ", "{}text.cg/t.png"}, kFailure,
                    "text.cg/t.png: cannot open", kInputs},
        CommandCase{"ThumbnailNames", {"thumbnail", "{}good.cg", "{}t.png", "--names", "utf-8"}, 0, "",
                    InputsAnd("t.png")},
        CommandCase{"ThumbnailUnknownNames", {"thumbnail", "{}good.cg", "{}t.png", "--names", "klingon"}, kUsage,
                    "klingon", kInputs},
        CommandCase{"ThumbnailSizeZero", {"thumbnail", "{}good.QKZ", "{}t.png", "--size", "0"}, kUsage,
                    "--size takes 1 to 4096 pixels, not '0'", kInputs},
#ifdef KORVO_HAVE_MOUNT
        CommandCase{"MountMissing", {"mount", "{}none.cg", "{}"}, kFailure, "none.cg: cannot open", kInputs},
        CommandCase{"MountForeign", {"mount", "{}text.cg", "{}"}, kFailure, "text.cg: not a supported archive", kInputs},
        CommandCase{"MountDamaged", {"mount", "{}torn.cg", "{}"}, kFailure, "torn.cg: not a supported archive", kInputs},
        CommandCase{"MountOnAFile", {"mount", "{}good.cg", "{}good.QKZ"}, kFailure, "good.QKZ: not a folder", kInputs},
        // Reads are served from the archive: no cache to size any more.
        CommandCase{"MountCacheMibGone", {"mount", "{}good.cg", "{}", "--cache-mib", "1"}, kUsage,
                    "unknown option '--cache-mib'", kInputs},
        CommandCase{"MountFormatPng", {"mount", "{}good.cg", "{}", "--format", "png"}, kUsage,
                    "unknown format 'png' (qkz or bmp)", kInputs},
#endif
        CommandCase{"PluginsGood", {"plugins"}, 0, "", kInputs},
        CommandCase{"PluginsMissing", {"--plugins", "{}none", "plugins"}, kFailure,
                    "none: cannot read the plug-in folder", kInputs},
        CommandCase{"PluginsForeign", {"--plugins", "{}", "list", "{}good.cg"}, kFailure, "no plug-in", kInputs},
        CommandCase{"ConvertToJpeg", {"convert", "{}short.QKZ", "-o", "{}short.jpg"}, kUsage, ".jpg", kInputs},
        CommandCase{"UnknownFormat", {"extract", "{}good.cg", "--format", "gif"}, kUsage, "unknown format 'gif'", kInputs},
        CommandCase{"PackNoLayout", {"pack", "-o", "{}new.cg", "{}short.QKZ"}, kUsage, "--layout", kInputs},
        CommandCase{"UnknownOption", {"list", "--colour", "{}good.cg"}, kUsage, "unknown option '--colour'", kInputs},
        CommandCase{"UnknownCommand", {"unpack", "{}good.cg"}, kUsage, "unknown command 'unpack'", kInputs}),
    [](const testing::TestParamInfo<CommandCase>& param) { return std::string(param.param.title); });

TEST(Help, EveryCommandExplainsItself) {
  for (const char* command : {"info", "list", "extract", "convert", "pack", "plugins", "sample-picture",
                              "thumbnail",
#ifdef KORVO_HAVE_MOUNT
                              "mount",
#endif
                              }) {
    RunResult run = RunKorvo({command, "--help"});
    EXPECT_EQ(run.status, 0) << command;
    EXPECT_EQ(run.out.rfind(std::string("usage: korvo ") + command, 0), 0u) << run.out;
  }
  RunResult run = RunKorvo({});
  EXPECT_EQ(run.status, kUsage);
  EXPECT_NE(run.err.find("usage: korvo"), std::string::npos);
}

}  // namespace

// korvo mount end to end: archives mounted through FUSE give the files
// extract writes, as QKZ or BMP: names, sizes, dates and bytes, at any offset
// and length; reads from many threads at once are right; changes are
// refused; an archive changed or cut short on disk gives EIO rather than
// wrong bytes; unmounting leaves no process. Skipped, with the reason, where
// this machine cannot mount.
#include <gtest/gtest.h>

#ifdef KORVO_HAVE_MOUNT
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "tests/support/korvo_runs.h"
#include "tests/support/picture_files.h"
#include "tools/korvo/mount/mount_names.h"

namespace {

namespace fs = std::filesystem;

// Whether `point` is a mount point now, from the kernel's table.
bool IsMounted(const std::string& point) {
  std::ifstream table("/proc/self/mountinfo");
  std::string line, target = " " + point.substr(0, point.find_last_not_of('/') + 1) + " ";
  while (std::getline(table, line))
    if (line.find(target) != std::string::npos) return true;
  return false;
}

// Processes whose command line holds `point`: a mount of it still running.
int ProcessesServing(const std::string& point) {
  int count = 0;
  for (const auto& process : fs::directory_iterator("/proc")) {
    std::ifstream file(process.path() / "cmdline", std::ios::binary);
    std::string words((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (words.find(std::string(1, '\0') + point + std::string(1, '\0')) != std::string::npos) ++count;
  }
  return count;
}

// Waits up to thirty seconds for `done`: a loaded machine is slow to unmount.
bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 3000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done();
}

// Unmounts; true when the folder is no longer mounted and no process serves it.
bool Unmount(const std::string& point) {
  if (IsMounted(point) && system(("fusermount3 -u '" + point + "'").c_str()) != 0) return false;
  return Eventually([&] { return !IsMounted(point) && ProcessesServing(point) == 0; });
}

// Packs pictures of these names and widths into `folder`; the archive's path.
std::string Pack(const std::string& folder, const std::string& file, const std::string& layout,
                 const std::vector<std::pair<std::string, uint32_t>>& shapes) {
  std::vector<std::string> arguments = {"pack", "--layout", layout, "-o", folder + file};
  for (const auto& [name, width] : shapes) {
    int seed = static_cast<int>(arguments.size());
    WriteBytes(folder + name + ".QKZ", QkzFileOf(MakeTestPicture(name, width, width / 2 + 1, seed, seed % 3)));
    arguments.push_back(folder + name + ".QKZ");
  }
  RunResult pack = RunKorvo(arguments);
  EXPECT_EQ(pack.status, 0) << pack.err;
  return folder + file;
}

// Why this machine cannot mount: no usable /dev/fuse, or a first mount
// refused for lack of permission; "" when it can.
const std::string& CannotMount() {
  static const std::string reason = []() -> std::string {
    int fuse = open("/dev/fuse", O_RDWR);
    if (fuse < 0) return std::string("cannot open /dev/fuse: ") + strerror(errno);
    close(fuse);
    std::string archive = Pack(NewFolder("probe"), "p.cg", "offset-table", {{"p", 3}});
    std::string point = NewFolder("probe-point");
    RunResult mount = RunKorvo({"mount", archive, point});
    if (mount.status == 0) return Unmount(point) ? "" : "cannot unmount";
    bool refused = mount.err.find("ermi") != std::string::npos;  // "Operation not permitted"
    return refused ? "no permission to mount: " + mount.err : "";
  }();
  return reason;
}

class Mount : public testing::Test {
 public:
  void SetUp() override {
    if (!CannotMount().empty()) GTEST_SKIP() << CannotMount();
  }
  // A mount that a failing test leaves is undone all the same.
  void TearDown() override {
    if (!point.empty() && IsMounted(point)) {
      EXPECT_EQ(system(("fusermount3 -u -z '" + point + "'").c_str()), 0) << "still mounted: " << point;
    }
  }
  // Mounts `archive` on a new folder and extracts it beside for comparison,
  // both in `format`.
  void MountAndExtract(const std::string& archive, std::vector<std::string> mount = {},
                       const std::string& format = "qkz") {
    point = NewFolder("mounted-" + std::to_string(counter));
    extracted = NewFolder("extracted-" + std::to_string(counter++));
    RunResult extraction = RunKorvo({"extract", archive, "-o", extracted, "--format", format});
    ASSERT_EQ(extraction.status, 0) << extraction.err;
    mount.insert(mount.begin(), {"mount", archive, point, "--format", format});
    RunResult mounting = RunKorvo(mount);
    ASSERT_EQ(mounting.status, 0) << mounting.err;
    ASSERT_TRUE(IsMounted(point));
  }
  std::string point, extracted;
  static inline int counter = 0;
};

struct Layout {
  const char* title;
  const char* layout;
  const char* file;
  std::vector<std::pair<std::string, uint32_t>> shapes;
};

class MountLayouts : public Mount, public testing::WithParamInterface<Layout> {};

// Enough entries that the folder is listed in many parts, each from the
// offset where the last one stopped.
std::vector<std::pair<std::string, uint32_t>> ManyShapes() {
  std::vector<std::pair<std::string, uint32_t>> shapes;
  for (uint32_t i = 0; i < 300; ++i) shapes.push_back({"many" + std::to_string(i), 1 + i % 7});
  return shapes;
}

// Every entry: the name, size and bytes extract gives it in `format`, the
// archive's date.
void ExpectFilesAsExtractWrites(Mount* test, const Layout& c, const std::string& format) {
  const std::string archive =
      Pack(NewFolder(std::string("layout-") + c.title + "-" + format), c.file, c.layout, c.shapes);
  test->MountAndExtract(archive, {}, format);
  const std::string& point = test->point;
  const std::string& extracted = test->extracted;
  std::vector<std::string> names = FilesIn(extracted);
  ASSERT_EQ(FilesIn(point), names);
  EXPECT_GE(names.size(), c.shapes.size());
  struct stat original;
  ASSERT_EQ(stat(archive.c_str(), &original), 0);
  for (const std::string& name : names) {
    struct stat entry;
    ASSERT_EQ(stat((point + name).c_str(), &entry), 0) << name;
    Bytes bytes = ReadBytes(extracted + name);
    EXPECT_EQ(static_cast<size_t>(entry.st_size), bytes.size()) << name;
    EXPECT_TRUE(S_ISREG(entry.st_mode)) << name;
    EXPECT_EQ(entry.st_mtim.tv_sec, original.st_mtim.tv_sec) << name;
    EXPECT_EQ(entry.st_mtim.tv_nsec, original.st_mtim.tv_nsec) << name;
    EXPECT_EQ(ReadBytes(point + name), bytes) << name;
  }
  // A name the folder does not hold, also one that differs by letter case.
  for (const std::string& absent : {std::string("not-an-entry.QKZ"), names.front() + "x"}) {
    struct stat entry;
    errno = 0;
    EXPECT_NE(stat((point + absent).c_str(), &entry), 0) << absent;
    EXPECT_EQ(errno, ENOENT) << absent;
  }
  EXPECT_TRUE(Unmount(point));
}

TEST_P(MountLayouts, ListsSizesDatesAndBytesAsExtractWrites) { ExpectFilesAsExtractWrites(this, GetParam(), "qkz"); }

// As BMP: the file extract --format bmp writes, byte for byte, for stored
// heads, rebuilt ones with their own palette and with the shared one.
TEST_P(MountLayouts, BmpFilesAreTheOnesExtractWrites) { ExpectFilesAsExtractWrites(this, GetParam(), "bmp"); }

INSTANTIATE_TEST_SUITE_P(
    Korvo, MountLayouts,
    testing::Values(
        Layout{"OffsetTable", "offset-table", "o.cg", {{"a", 5}, {"b", 17}, {"c", 300}}},
        // alpha and delta share the Palette entry's palette; beta and gamma have their own.
        Layout{"NamedEntry", "named-entry", "n.cg", {{"alpha", 5}, {"beta", 17}, {"gamma", 300}, {"delta", 30}}},
        // Japanese names in code page 932, and names the safe and unique rule changes.
        Layout{"Japanese", "named-entry", "画像.cg", {{"画像1", 9}, {"ｱｲ表", 4}, {"a:b", 3}, {"a_b", 6}}},
        Layout{"ManyEntries", "offset-table", "m.cg", ManyShapes()}),
    [](const testing::TestParamInfo<Layout>& param) { return std::string(param.param.title); });

// Eight threads read every entry at random offsets and lengths, half of them
// past the kernel's page cache (O_DIRECT), so that most reads reach the
// archive while other threads build heads and read rows.
TEST_F(Mount, EightThreadsReadEveryByteRight) {
  std::vector<std::pair<std::string, uint32_t>> shapes;
  for (uint32_t i = 0; i < 40; ++i) shapes.push_back({"p" + std::to_string(i), 120 + 13 * i});
  MountAndExtract(Pack(NewFolder("threads"), "t.cg", "offset-table", shapes));
  std::vector<std::string> names = FilesIn(extracted);
  std::vector<Bytes> expected;
  uint64_t total = 0;
  for (const std::string& name : names) total += (expected.emplace_back(ReadBytes(extracted + name))).size();
  ASSERT_GT(total, uint64_t{1} << 20);
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      std::mt19937 random(t);
      for (size_t round = 0; round < 3 * names.size(); ++round) {
        size_t k = (round + t * 5) % names.size();  // every entry, threads in different orders
        int file = open((point + names[k]).c_str(), O_RDONLY | (t % 2 ? O_DIRECT : 0));
        const Bytes& bytes = expected[k];
        size_t offset = random() % (bytes.size() + 1), length = 1 + random() % 70000;
        size_t want = std::min(length, bytes.size() - offset);
        std::vector<uint8_t> got(length);
        wrong += file >= 0 && pread(file, got.data(), length, static_cast<off_t>(offset)) == static_cast<ssize_t>(want) &&
                         std::equal(got.begin(), got.begin() + static_cast<ptrdiff_t>(want),
                                    bytes.begin() + static_cast<ptrdiff_t>(offset)) ? 0 : 1;
        if (file >= 0) close(file);
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0) << "of " << 8 * 3 * names.size() << " reads";
  EXPECT_TRUE(Unmount(point));
}

// Reads past the page cache (O_DIRECT) reach korvo at the offsets and
// lengths asked: each gives the extracted file's bytes there, across the
// head and the rows, rows and their fill bytes, and the end.
TEST_F(Mount, ReadsAtAnyOffsetAndLengthGiveTheExtractedBytes) {
  const std::string archive =
      Pack(NewFolder("offsets"), "o.cg", "named-entry", {{"first", 7}, {"own", 13}, {"wide", 301}});
  for (const std::string& format : std::vector<std::string>{"qkz", "bmp"}) {
    SCOPED_TRACE(format);
    MountAndExtract(archive, {}, format);
    const std::string name = std::string("wide.") + (format == "qkz" ? "QKZ" : "bmp");
    const Bytes whole = ReadBytes(extracted + name);
    const size_t head = format == "qkz" ? 1032 : 1078, stride = 304;
    ASSERT_EQ(whole.size(), head + stride * 151);
    struct Case {
      size_t offset, length;
    };
    const Case cases[] = {
        {0, 1},          {1, 2},
        {head - 1, 2},   {head - 3, stride + 7},     // across the head's end
        {head, 1},       {head + stride - 2, 4},     // a row's fill bytes and the next row
        {head + 5, 3 * stride},                       // inside several rows
        {head - 100, 5 * stride + 11},               // head and several rows
        {17, whole.size() - 17},                     // all but the start
        {whole.size() - 1, 1}, {whole.size() - 3, 10},  // the end, and past it
        {whole.size(), 5},     {0, whole.size() + 100},
    };
    int file = open((point + name).c_str(), O_RDONLY | O_DIRECT);
    ASSERT_GE(file, 0) << strerror(errno);
    for (const Case& c : cases) {
      std::vector<uint8_t> got(c.length + 1);
      const size_t want = c.offset >= whole.size() ? 0 : std::min(c.length, whole.size() - c.offset);
      ASSERT_EQ(pread(file, got.data(), c.length, static_cast<off_t>(c.offset)), static_cast<ssize_t>(want))
          << c.offset << "+" << c.length;
      EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<ptrdiff_t>(want),
                             whole.begin() + static_cast<ptrdiff_t>(std::min(c.offset, whole.size()))))
          << c.offset << "+" << c.length;
    }
    close(file);
    EXPECT_TRUE(Unmount(point));
  }
}

// An archive cut short after mounting: reads give EIO, never bytes of
// something else, also where the rows are still there.
TEST_F(Mount, ArchiveCutShortGivesEio) {
  const std::string archive = Pack(NewFolder("cut"), "c.cg", "named-entry", {{"front", 8}, {"back", 200}});
  for (const std::string& format : std::vector<std::string>{"qkz", "bmp"}) {
    SCOPED_TRACE(format);
    const Bytes original = ReadBytes(archive);
    MountAndExtract(archive, {}, format);
    std::vector<std::string> names = FilesIn(extracted);
    ASSERT_EQ(names.size(), 3u);
    WriteBytes(archive, Bytes(original.begin(), original.end() - 1000));
    for (const std::string& name : names) {
      int file = open((point + name).c_str(), O_RDONLY | O_DIRECT);
      ASSERT_GE(file, 0) << name;
      std::vector<uint8_t> bytes(4096);
      errno = 0;
      EXPECT_EQ(pread(file, bytes.data(), bytes.size(), 0), -1) << name;
      EXPECT_EQ(errno, EIO) << name;
      close(file);
    }
    EXPECT_TRUE(Unmount(point));
    WriteBytes(archive, original);
  }
}

// Every change to the folder fails with EROFS and changes nothing.
TEST_F(Mount, ChangesFailWithReadOnly) {
  MountAndExtract(Pack(NewFolder("read-only"), "r.cg", "named-entry", {{"one", 8}, {"two", 9}}));
  const std::string file = point + "one.QKZ", other = point + "two.QKZ";
  struct Change {
    const char* title;
    std::function<int()> attempt;  // -1 with errno set on failure
  };
  const Change changes[] = {
      {"open to write", [&] { return open(file.c_str(), O_WRONLY); }},
      {"open to read and write", [&] { return open(file.c_str(), O_RDWR); }},
      {"create", [&] { return open((point + "new.QKZ").c_str(), O_WRONLY | O_CREAT, 0644); }},
      {"truncate", [&] { return truncate(file.c_str(), 0); }},
      {"rename", [&] { return rename(file.c_str(), (point + "moved.QKZ").c_str()); }},
      {"rename over", [&] { return rename(file.c_str(), other.c_str()); }},
      {"delete", [&] { return unlink(file.c_str()); }},
      {"make a folder", [&] { return mkdir((point + "folder").c_str(), 0755); }},
      {"link", [&] { return link(file.c_str(), (point + "linked").c_str()); }},
      {"symbolic link", [&] { return symlink("one.QKZ", (point + "symbolic").c_str()); }},
      {"change mode", [&] { return chmod(file.c_str(), 0666); }},
  };
  for (const Change& change : changes) {
    errno = 0;
    int result = change.attempt();
    EXPECT_EQ(result, -1) << change.title;
    EXPECT_EQ(errno, EROFS) << change.title << ": " << strerror(errno);
    if (result > 0) close(result);
  }
  EXPECT_EQ(FilesIn(point), FilesIn(extracted));
  EXPECT_EQ(ReadBytes(file), ReadBytes(extracted + "one.QKZ"));
  EXPECT_TRUE(Unmount(point));
}

// An entry read before the archive changed stays as read; one not read yet
// gives EIO, never the new archive's bytes under the old listing.
TEST_F(Mount, ArchiveChangedOnDiskGivesEioForEntriesNotRead) {
  const std::string archive = Pack(NewFolder("changed"), "c.cg", "offset-table", {{"first", 8}, {"second", 8}});
  MountAndExtract(archive);
  std::vector<std::string> names = FilesIn(extracted);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(ReadBytes(point + names[0]), ReadBytes(extracted + names[0]));
  // The same layout and sizes, other pixels, written in place.
  Bytes bytes = ReadBytes(archive);
  for (size_t i = bytes.size() - 8; i < bytes.size(); ++i) bytes[i] ^= 0xFF;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  WriteBytes(archive, bytes);
  EXPECT_EQ(ReadBytes(point + names[0]), ReadBytes(extracted + names[0]));
  int file = open((point + names[1]).c_str(), O_RDONLY);
  ASSERT_GE(file, 0);
  char byte;
  errno = 0;
  EXPECT_EQ(read(file, &byte, 1), -1);
  EXPECT_EQ(errno, EIO);
  close(file);
  EXPECT_TRUE(Unmount(point));
}

// In the foreground, Ctrl-C unmounts and the program exits 0.
TEST_F(Mount, InterruptInTheForegroundUnmounts) {
  const std::string folder = NewFolder("foreground");
  const std::string archive = Pack(folder, "f.cg", "offset-table", {{"one", 8}});
  point = folder + "mnt";
  fs::create_directory(point);
  pid_t child = fork();
  if (child == 0) {
    int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 1);
    std::string program = fs::read_symlink("/proc/self/exe").parent_path().string() + "/../bin/korvo";
    // An interrupted libfuse session still holds blocks of its own as the
    // process ends; under the sanitizers they would count as korvo's leaks.
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    execl(program.c_str(), program.c_str(), "mount", "--foreground", archive.c_str(), point.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_TRUE(Eventually([&] { return IsMounted(point); }));
  EXPECT_EQ(FilesIn(point).size(), 1u);
  kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_FALSE(IsMounted(point));
}

// korvo open, as the desktop entry runs it on a double-click: the archive
// mounted in the runtime folder under its own name and that folder handed
// to xdg-open (here a script that notes what it was asked); a second open
// reuses the mount; a damaged archive leaves no folder behind.
TEST_F(Mount, OpenMountsInTheRuntimeFolderAndShowsTheFolder) {
  const std::string folder = NewFolder("open");
  const std::string archive = Pack(folder, "pics.cg", "named-entry", {{"one", 8}, {"two", 5}});
  NewFolder("open/bin");
  std::ofstream(folder + "bin/xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$*\" >>'" << folder << "opened'\n";
  fs::permissions(folder + "bin/xdg-open", fs::perms::owner_all);
  const std::string runtime = NewFolder("open/run");
  fs::permissions(runtime, fs::perms::owner_all);
  const std::string path = getenv("PATH") == nullptr ? "/usr/bin:/bin" : getenv("PATH");
  setenv("PATH", (folder + "bin:" + path).c_str(), 1);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  RunResult first = RunKorvo({"open", archive});
  RunResult second = RunKorvo({"open", archive});
  Bytes torn = ReadBytes(archive);
  WriteBytes(folder + "torn.cg", Bytes(torn.begin(), torn.begin() + 40));
  RunResult damaged = RunKorvo({"open", folder + "torn.cg"});
  setenv("PATH", path.c_str(), 1);
  unsetenv("XDG_RUNTIME_DIR");
  ASSERT_EQ(first.status, 0) << first.err;
  ASSERT_EQ(second.status, 0) << second.err;
  const Bytes opened = ReadBytes(folder + "opened");
  const std::vector<std::string> lines = Lines(std::string(opened.begin(), opened.end()));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], lines[1]);
  point = lines[0];
  EXPECT_EQ(point.rfind(runtime + "korvo/", 0), 0u) << point;
  EXPECT_EQ(fs::path(point).filename(), "pics.cg");
  ASSERT_TRUE(IsMounted(point));
  EXPECT_EQ(ProcessesServing(point), 1);
  extracted = NewFolder("open/extracted");
  ASSERT_EQ(RunKorvo({"extract", archive, "-o", extracted, "--format", "qkz"}).status, 0);
  EXPECT_EQ(FilesIn(point), FilesIn(extracted));
  EXPECT_EQ(ReadBytes(point + "/two.QKZ"), ReadBytes(extracted + "two.QKZ"));
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.err.find("torn.cg"), std::string::npos) << damaged.err;
  EXPECT_EQ(Lines(damaged.err).size(), 1u) << damaged.err;
  // The damaged archive left neither its mount point nor its folder.
  size_t folders = 0, keys = 0;
  for (const auto& key : fs::directory_iterator(runtime + "korvo")) {
    ++keys;
    folders += FilesIn(key.path().string()).size();
  }
  EXPECT_EQ(keys, 1u);
  EXPECT_EQ(folders, 1u);
  EXPECT_TRUE(Unmount(point));
}

// The folder's names are found by a binary search over their sorted order:
// every name finds its own entry, whatever the order they came in, and a
// name that is a prefix of another, differs by letter case or is absent
// finds nothing.
TEST(MountNames, EveryNameFindsItsEntryAndNoOtherNameFindsOne) {
  const std::vector<std::string> listed = {"b.QKZ", "a.QKZ", "画像1.QKZ", "a.QKZ_1",
                                           "A.QKZ", "ab.QKZ", "0001869F.QKZ"};
  korvo::MountNames names;
  for (const std::string& name : listed) korvo::AddMountName(&names, name);
  korvo::SortMountNames(&names);
  for (uint32_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(korvo::MountName(names, i), listed[i]);
    EXPECT_EQ(korvo::FindMountName(names, listed[i]), i) << listed[i];
  }
  for (const char* absent : {"", "a", "a.QK", "a.qkz", "b.QKZ ", "c.QKZ", "0001869F"})
    EXPECT_EQ(korvo::FindMountName(names, absent), korvo::kNoMountName) << absent;
  EXPECT_EQ(korvo::FindMountName(korvo::MountNames(), "a.QKZ"), korvo::kNoMountName);
}

}  // namespace
#else
TEST(Mount, NotBuilt) { GTEST_SKIP() << "korvo has no mount command here: it serves archives through libfuse3, on Linux"; }
#endif

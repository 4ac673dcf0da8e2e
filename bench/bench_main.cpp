// korvo_bench: every operation measured through the plug-ins' exports, as a
// host calls them, interleaved with its floors (bench/floors.h); medians of the
// repetitions. Archive operations have two floors: `floor` is the physical
// limit (a mapped file for the probes and listings, one read of the whole
// archive for a host session) and `read floor` the least a safe plug-in can
// do (system reads in 64 KiB windows; in a host session, one such probe per
// GetFile). Also printed: the directory cache's bytes per entry, taken from
// the live block bytes the plug-ins' platform layer reports.
//
//   korvo_bench [--json FILE] [--repetitions N] [--quick] [--only TEXT] [--plugins DIR]
//               [--cpu-time]
//   korvo_bench --thumbnail-inputs DIR   (writes bench/thumbnail.sh's inputs)
//   korvo_bench --copy-out-inputs DIR    (writes bench/copy_out.sh's inputs)
//
// By default it loads the build's instrumented plug-ins (test-plugins/), whose
// platform layer counts the system calls and block bytes it reports.
// --plugins loads the plug-ins of DIR instead, so that two builds are
// measured by the same benchmark in one sitting (block bytes are reported
// only by plug-ins whose platform layer counts them).
// --only measures just the rows whose operation and input contain TEXT (for
// profiling one operation); the inputs are written all the same.
#include <malloc.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_inputs.h"
#include "bench/floors.h"
#include "platform/test_hooks.h"
#include "tools/host/plugin_loader.h"

// The plug-ins' platform layer reports its file operations here.
KORVO_DEFINE_PLATFORM_HOOKS

namespace {

// Wall time by default; with --cpu-time the CPU time of the measuring thread
// (user and system, page faults and copies in the kernel included), which
// other processes on a busy machine do not inflate.
bool cpuTime = false;

double Now() {
  if (cpuTime) {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

const char* onlyRows = nullptr;

bool Wanted(const std::string& operation, const std::string& input) {
  return onlyRows == nullptr || (operation + " " + input).find(onlyRows) != std::string::npos;
}

struct Row {
  std::string operation, input;
  double median = 0, floorMedian = 0, syscalls = -1;
  double readFloorMedian = -1;  // < 0: the operation has no read floor
};

// Bytes the directory cache holds per entry once a probe has installed it,
// and the most a probe had allocated on top of the previous directory.
struct CacheRow {
  std::string input;
  double heldPerEntry = 0, peakPerEntry = 0;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long FileOperations() {
  long total = 0;
  for (int op : {platform::kOpOpen, platform::kOpRead, platform::kOpSize})
    total += KorvoPlatformHooks.calls[op].load();
  return total;
}

// Runs `batch` calls of each per repetition so that short operations are
// timed over a few milliseconds, the operation and its floor alternating.
// The read floor, when there is one, is the better of `readFloors`: the
// least median.
Row Measure(const std::string& operation, const std::string& input, int repetitions,
            const std::function<void()>& run, const std::function<void()>& floor,
            const std::vector<std::function<void()>>& readFloors = {}) {
  if (!Wanted(operation, input)) return Row{};
  auto seconds = [](const std::function<void()>& f, int batch) {
    double start = Now();
    for (int i = 0; i < batch; ++i) f();
    return (Now() - start) / batch;
  };
  double once = seconds(run, 1);  // also warms the page cache
  seconds(floor, 1);
  for (const auto& readFloor : readFloors) seconds(readFloor, 1);
  int batch = std::max(1, std::min(10000, static_cast<int>(0.002 / std::max(once, 1e-9))));
  std::vector<double> runs, floors;
  std::vector<std::vector<double>> readTimes(readFloors.size());
  long operations = 0;
  for (int r = 0; r < repetitions; ++r) {
    long before = FileOperations();
    runs.push_back(seconds(run, batch));
    operations += FileOperations() - before;
    floors.push_back(seconds(floor, batch));
    for (size_t i = 0; i < readFloors.size(); ++i)
      readTimes[i].push_back(seconds(readFloors[i], batch));
  }
  Row row{operation, input, Median(runs), Median(floors), 0};
  row.syscalls = static_cast<double>(operations) / (repetitions * batch);
  for (const std::vector<double>& times : readTimes)
    if (row.readFloorMedian < 0 || Median(times) < row.readFloorMedian)
      row.readFloorMedian = Median(times);
  return row;
}

void FreeHandle(HLOCAL handle) {
  if (handle != nullptr) platform::GlobalFree(handle);
}

// Peak resident bytes above the start while `run` works (Linux: the
// high-water mark is reset through /proc/self/clear_refs).
long long PeakResidentGrowth(const std::function<void()>& run) {
  auto status = [](const char* key) {
    FILE* file = fopen("/proc/self/status", "r");
    char line[256];
    long long kib = -1;
    while (file != nullptr && fgets(line, sizeof line, file) != nullptr)
      if (strncmp(line, key, strlen(key)) == 0) kib = atoll(line + strlen(key));
    if (file != nullptr) fclose(file);
    return kib * 1024;
  };
  FILE* reset = fopen("/proc/self/clear_refs", "w");
  if (reset == nullptr) return -1;
  fputs("5", reset);
  fclose(reset);
  long long start = status("VmRSS:");
  run();
  return status("VmHWM:") - start;
}

// GetPicture of a file, as a host decodes it, the blocks freed.
void DecodeFile(const korvo::LoadedPlugin& filter, const std::string& path) {
  HLOCAL info = nullptr, bits = nullptr;
  if (filter.GetPicture(path.c_str(), 0, 0, &info, &bits, nullptr, 0) != 0) abort();
  FreeHandle(info);
  FreeHandle(bits);
}

// Peak memory of a large decode, measured in a child process. There large
// blocks always come from the system and go back to it when freed (a fixed
// allocator threshold), and a first decode brings the code in, so the growth
// measured is the decode's own. The fixed threshold stays in the child: in
// this process the allocator keeps its own policy, as in a host, so the
// timings below do not pay a fresh page for every large block.
void PrintDecodePeakMemory(const korvo::LoadedPlugin& filter, const bench::PictureInput& picture) {
  fflush(stdout);
  pid_t child = fork();
  if (child < 0) return;
  if (child > 0) {
    int status = 0;
    waitpid(child, &status, 0);
    return;
  }
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  auto decode = [&] { DecodeFile(filter, picture.path); };
  decode();
  KorvoPlatformHooks.peakLiveBytes = KorvoPlatformHooks.liveBytes.load();
  long long blocksBefore = KorvoPlatformHooks.liveBytes;
  long long growth = PeakResidentGrowth(decode);
  printf("GetPicture file 4000x3000: peak resident growth %.3f MiB, peak block bytes %.3f MiB; "
         "the two blocks handed out: %.3f MiB\n",
         static_cast<double>(growth) / 1048576.0,
         static_cast<double>(KorvoPlatformHooks.peakLiveBytes - blocksBefore) / 1048576.0,
         static_cast<double>(1064 + picture.bytes.size() - 1032) / 1048576.0);
  fflush(stdout);
  _exit(0);
}

// The directory cache's size per entry after `probe` installs a directory of
// `entries` entries (built afresh: the probe first finds another archive
// cached). Every handle the benchmark got has been freed by then, so the live
// block bytes the plug-ins report are the cache's own; the peak is the most
// the probe held on top of the directory it replaced.
CacheRow MeasureDirectoryCache(const std::string& input, uint32_t entries,
                               const std::function<void()>& probe) {
  if (!Wanted("directory cache bytes per entry", input)) return CacheRow{};
  long long before = KorvoPlatformHooks.liveBytes.load();
  KorvoPlatformHooks.peakLiveBytes = before;
  probe();
  long long held = KorvoPlatformHooks.liveBytes.load();
  long long peak = KorvoPlatformHooks.peakLiveBytes.load() - before;
  return CacheRow{input, static_cast<double>(held) / entries, static_cast<double>(peak) / entries};
}

}  // namespace

int main(int argc, char** argv) {
  const char* jsonPath = nullptr;
  int repetitions = 7;
  bool quick = false;
  std::string plugins = korvo::BuildTestPluginDirectory();
  if (argc == 3 && !strcmp(argv[1], "--thumbnail-inputs")) {
    bench::WriteThumbnailInputs(std::string(argv[2]) + "/");
    return 0;
  }
  if (argc == 3 && !strcmp(argv[1], "--copy-out-inputs")) {
    bench::WriteCopyOutInputs(std::string(argv[2]) + "/");
    return 0;
  }
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--json") && i + 1 < argc) jsonPath = argv[++i];
    else if (!strcmp(argv[i], "--repetitions") && i + 1 < argc) repetitions = atoi(argv[++i]);
    else if (!strcmp(argv[i], "--quick")) quick = true;
    else if (!strcmp(argv[i], "--only") && i + 1 < argc) onlyRows = argv[++i];
    else if (!strcmp(argv[i], "--cpu-time")) cpuTime = true;
    else if (!strcmp(argv[i], "--plugins") && i + 1 < argc) plugins = std::string(argv[++i]) + "/";
    else {
      fprintf(stderr, "usage: korvo_bench [--json FILE] [--repetitions N] [--quick] [--only TEXT] "
                      "[--plugins DIR] [--cpu-time]\n");
      return 2;
    }
  }
  repetitions = std::max(repetitions, 5);

  korvo::LoadedPlugin filter, extractor;
  if (!korvo::LoadPlugin(plugins + korvo::PluginFileName("IFKORVO"), &filter) ||
      !korvo::LoadPlugin(plugins + korvo::PluginFileName("AXKORVO"), &extractor)) {
    fprintf(stderr, "korvo_bench: cannot load the plug-ins from %s\n", plugins.c_str());
    return 1;
  }

  std::string directory = bench::MakeScratchDirectory();
  std::vector<Row> rows;  // those --only leaves out have no operation
  std::vector<CacheRow> cacheRows;

  std::vector<bench::PictureInput> pictures = bench::WritePictures(directory);
  for (const bench::PictureInput& picture : pictures)
    if (picture.label == "4000x3000" && Wanted("decode peak memory", picture.label))
      PrintDecodePeakMemory(filter, picture);
  for (const bench::PictureInput& picture : pictures) {
    auto decodeFile = [&] { DecodeFile(filter, picture.path); };
    rows.push_back(Measure("GetPicture file", picture.label, repetitions, decodeFile,
                           [&] { bench::FloorPictureFromFile(picture.path); }));
    auto decodeMemory = [&] {
      HLOCAL info = nullptr, bits = nullptr;
      if (filter.GetPicture(reinterpret_cast<LPCSTR>(picture.bytes.data()),
                            static_cast<LONG_PTR>(picture.bytes.size()), 1, &info, &bits, nullptr,
                            0) != 0)
        abort();
      FreeHandle(info);
      FreeHandle(bits);
    };
    rows.push_back(Measure("GetPicture memory", picture.label, repetitions, decodeMemory,
                           [&] { bench::FloorPictureFromMemory(picture.bytes.data()); }));
  }

  // Each archive's probes, listing and, for 1,000 entries, a host session,
  // beside their floors. Archives of real pictures lie far apart, so their
  // read floors are the better of windows and one read per entry field.
  auto measureArchive = [&](const bench::ArchiveInput& archive, bool offsetTable,
                            const std::string& input, bool largePictures) {
    const char* path = archive.path.c_str();
    using bench::EntryReads;
    std::vector<EntryReads> strategies = {EntryReads::kWindows};
    if (largePictures) strategies.push_back(EntryReads::kOneReadPerField);
    auto readFloors = [&](void (*floor)(const std::string&, bool, EntryReads)) {
      std::vector<std::function<void()>> floors;
      for (EntryReads reads : strategies)
        floors.push_back([&archive, offsetTable, floor, reads] {
          floor(archive.path, !offsetTable, reads);
        });
      return floors;
    };
    auto mappedProbe = [&] {
      offsetTable ? bench::MappedFloorOffsetTableProbe(archive.path)
                  : bench::MappedFloorNamedEntryProbe(archive.path);
    };
    rows.push_back(Measure(
        "IsSupported " + archive.layout, input, repetitions,
        [&] {
          if (extractor.IsSupported(path, 0) != 1) abort();
        },
        mappedProbe, readFloors(bench::ReadFloorProbe)));
    // The same archive under two names probed in turn: every probe finds
    // another archive cached and builds its directory, as the first probe of
    // a file a host offers does.
    const std::string twin = archive.path + ".twin";
    std::error_code ignored;
    std::filesystem::remove(twin, ignored);
    std::filesystem::create_hard_link(archive.path, twin);
    bool useTwin = false;
    rows.push_back(Measure(
        "IsSupported " + archive.layout + ", new", input, repetitions,
        [&] {
          useTwin = !useTwin;
          if (extractor.IsSupported(useTwin ? twin.c_str() : path, 0) != 1) abort();
        },
        mappedProbe, readFloors(bench::ReadFloorProbe)));
    if (extractor.IsSupported(path, 0) != 1) abort();
    cacheRows.push_back(MeasureDirectoryCache(archive.layout + " " + input, archive.entries, [&] {
      if (extractor.IsSupported(twin.c_str(), 0) != 1) abort();
    }));
    rows.push_back(Measure(
        "GetArchiveInfo " + archive.layout, input, repetitions,
        [&] {
          HLOCAL list = nullptr;
          if (extractor.GetArchiveInfo(path, 0, 0, &list) != 0) abort();
          FreeHandle(list);
        },
        [&] {
          offsetTable ? bench::MappedFloorOffsetTableListing(archive.path)
                      : bench::MappedFloorNamedEntryListing(archive.path);
        },
        readFloors(bench::ReadFloorListing)));
    if (archive.entries != 1000) return;
    auto session = [&] {
      HLOCAL list = nullptr;
      if (extractor.GetArchiveInfo(path, 0, 0, &list) != 0) abort();
      auto* records = static_cast<const korvo::fileInfo*>(platform::GlobalLock(list));
      for (const korvo::fileInfo* record = records; record->method[0] != 0; ++record) {
        HLOCAL entry = nullptr, info = nullptr, bits = nullptr;
        if (extractor.GetFile(path, static_cast<LONG_PTR>(record->position),
                              reinterpret_cast<LPSTR>(&entry), 0x100, nullptr, 0) != 0)
          abort();
        const void* bytes = platform::GlobalLock(entry);
        if (filter.GetPicture(static_cast<LPCSTR>(bytes), 0, 1, &info, &bits, nullptr, 0) != 0)
          abort();
        platform::GlobalUnlock(entry);
        FreeHandle(entry);
        FreeHandle(info);
        FreeHandle(bits);
      }
      platform::GlobalUnlock(list);
      FreeHandle(list);
    };
    rows.push_back(Measure(
        "host session " + archive.layout, input, repetitions, session,
        [&] {
          offsetTable ? bench::FloorOffsetTableSession(archive.path)
                      : bench::FloorNamedEntrySession(archive.path);
        },
        readFloors(bench::ProbeFloorSession)));
  };

  std::vector<uint32_t> sizes = quick ? std::vector<uint32_t>{1000, 10000}
                                      : std::vector<uint32_t>{1000, 100000};
  for (uint32_t entries : sizes)
    for (bool offsetTable : {true, false})
      measureArchive(offsetTable ? bench::WriteOffsetTableInput(directory, entries)
                                 : bench::WriteNamedEntryInput(directory, entries),
                     offsetTable, std::to_string(entries) + " entries", false);
  for (bool offsetTable : {true, false}) {
    const bench::ArchiveInput archive =
        bench::WriteLargePictureInput(directory, offsetTable, 1000);
    measureArchive(archive, offsetTable, "1000 x 640x480", true);
    std::filesystem::remove(archive.path);
    std::filesystem::remove(archive.path + ".twin");
  }

  rows.erase(std::remove_if(rows.begin(), rows.end(),
                            [](const Row& row) { return row.operation.empty(); }),
             rows.end());
  cacheRows.erase(std::remove_if(cacheRows.begin(), cacheRows.end(),
                                 [](const CacheRow& row) { return row.input.empty(); }),
                  cacheRows.end());
  printf("\n%-26s %-16s %11s %11s %7s %11s %7s %9s\n", "operation", "input", "median s",
         "floor s", "ratio", "read fl. s", "r.ratio", "syscalls");
  for (const Row& row : rows) {
    printf("%-26s %-16s %11.6f %11.6f %7.2f", row.operation.c_str(), row.input.c_str(),
           row.median, row.floorMedian, row.median / row.floorMedian);
    if (row.readFloorMedian >= 0)
      printf(" %11.6f %7.2f", row.readFloorMedian, row.median / row.readFloorMedian);
    else
      printf(" %11s %7s", "-", "-");
    printf(" %9.1f\n", row.syscalls);
  }
  if (!cacheRows.empty())
    printf("\n%-34s %-28s %12s %12s\n", "operation", "input", "held", "peak");
  // A probe that installs a directory allocates, so a peak of nothing means
  // the plug-ins loaded (a release build) count no blocks.
  for (const CacheRow& row : cacheRows)
    if (row.input.empty())
      continue;  // left out by --only
    else if (row.peakPerEntry > 0)
      printf("%-34s %-28s %12.1f %12.1f\n", "directory cache bytes per entry", row.input.c_str(),
             row.heldPerEntry, row.peakPerEntry);
    else
      printf("%-34s %-28s   not reported by these plug-ins\n", "directory cache bytes per entry",
             row.input.c_str());

  if (jsonPath != nullptr) {
    FILE* json = fopen(jsonPath, "w");
    if (json == nullptr) {
      perror(jsonPath);
      return 1;
    }
    fprintf(json, "[\n");
    for (const Row& row : rows) {
      fprintf(json,
              "  {\"operation\": \"%s\", \"input\": \"%s\", \"median_s\": %.9f, "
              "\"floor_median_s\": %.9f, \"ratio\": %.4f, \"syscalls\": %.1f",
              row.operation.c_str(), row.input.c_str(), row.median, row.floorMedian,
              row.median / row.floorMedian, row.syscalls);
      if (row.readFloorMedian >= 0)
        fprintf(json, ", \"read_floor_median_s\": %.9f, \"read_ratio\": %.4f",
                row.readFloorMedian, row.median / row.readFloorMedian);
      fprintf(json, "},\n");
    }
    for (size_t i = 0; i < cacheRows.size(); ++i)
      fprintf(json,
              "  {\"operation\": \"directory cache bytes per entry\", \"input\": \"%s\", "
              "\"bytes_per_entry\": %.1f, \"peak_bytes_per_entry\": %.1f}%s\n",
              cacheRows[i].input.c_str(), cacheRows[i].heldPerEntry, cacheRows[i].peakPerEntry,
              i + 1 < cacheRows.size() ? "," : "");
    fprintf(json, "]\n");
    fclose(json);
  }
  std::error_code failure;
  std::filesystem::remove_all(directory, failure);
  if (failure) fprintf(stderr, "korvo_bench: cannot remove %s\n", directory.c_str());
  return 0;
}

// korvo_bench: every operation measured through the plug-ins' exports, as a
// host calls them, interleaved with its floor; medians of the repetitions.
//
//   korvo_bench [--json FILE] [--repetitions N] [--quick]
#include <malloc.h>

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
#include "tools/plugin-loader/plugin_loader.h"

// The plug-ins' platform layer reports its file operations here.
KORVO_DEFINE_PLATFORM_HOOKS

namespace {

using Clock = std::chrono::steady_clock;

struct Row {
  std::string operation, input;
  double median = 0, floorMedian = 0, syscalls = -1;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long FileOperations() {
  long total = 0;
  for (int op : {platform::kOpOpen, platform::kOpSeek, platform::kOpRead, platform::kOpSize})
    total += KorvoPlatformHooks.calls[op].load();
  return total;
}

// Runs `batch` calls of each per repetition so that short operations are
// timed over a few milliseconds, the operation and its floor alternating.
Row Measure(const std::string& operation, const std::string& input, int repetitions,
            const std::function<void()>& run, const std::function<void()>& floor) {
  auto seconds = [](const std::function<void()>& f, int batch) {
    Clock::time_point start = Clock::now();
    for (int i = 0; i < batch; ++i) f();
    return std::chrono::duration<double>(Clock::now() - start).count() / batch;
  };
  double once = seconds(run, 1);  // also warms the page cache
  seconds(floor, 1);
  int batch = std::max(1, std::min(10000, static_cast<int>(0.002 / std::max(once, 1e-9))));
  std::vector<double> runs, floors;
  long before = FileOperations();
  for (int r = 0; r < repetitions; ++r) {
    runs.push_back(seconds(run, batch));
    floors.push_back(seconds(floor, batch));
  }
  Row row{operation, input, Median(runs), Median(floors), 0};
  row.syscalls = static_cast<double>(FileOperations() - before) / (repetitions * batch);
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

}  // namespace

int main(int argc, char** argv) {
  const char* jsonPath = nullptr;
  int repetitions = 7;
  bool quick = false;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--json") && i + 1 < argc) jsonPath = argv[++i];
    else if (!strcmp(argv[i], "--repetitions") && i + 1 < argc) repetitions = atoi(argv[++i]);
    else if (!strcmp(argv[i], "--quick")) quick = true;
    else {
      fprintf(stderr, "usage: korvo_bench [--json FILE] [--repetitions N] [--quick]\n");
      return 2;
    }
  }
  repetitions = std::max(repetitions, 5);

  std::string plugins = korvo::BuildTestPluginDirectory();
  korvo::LoadedPlugin filter, extractor;
  if (!korvo::LoadPlugin(plugins + korvo::PluginFileName("IFKORVO"), &filter) ||
      !korvo::LoadPlugin(plugins + korvo::PluginFileName("AXKORVO"), &extractor)) {
    fprintf(stderr, "korvo_bench: cannot load the plug-ins from %s\n", plugins.c_str());
    return 1;
  }

  std::string directory = bench::MakeScratchDirectory();
  std::vector<Row> rows;

  std::vector<bench::PictureInput> pictures = bench::WritePictures(directory);
  // Peak memory of a large decode. Large blocks always come from the system
  // and go back to it when freed (a fixed allocator threshold), and a first
  // decode brings the code in, so the growth measured is the decode's own.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  for (const bench::PictureInput& picture : pictures) {
    if (picture.label != "4000x3000") continue;
    auto decode = [&] {
      HLOCAL info = nullptr, bits = nullptr;
      if (filter.GetPicture(picture.path.c_str(), 0, 0, &info, &bits, nullptr, 0) != 0) abort();
      FreeHandle(info);
      FreeHandle(bits);
    };
    decode();
    KorvoPlatformHooks.peakLiveBytes = KorvoPlatformHooks.liveBytes.load();
    long long blocksBefore = KorvoPlatformHooks.liveBytes;
    long long growth = PeakResidentGrowth(decode);
    printf("GetPicture file 4000x3000: peak resident growth %.3f MiB, peak block bytes %.3f MiB; "
           "the two blocks handed out: %.3f MiB\n",
           static_cast<double>(growth) / 1048576.0,
           static_cast<double>(KorvoPlatformHooks.peakLiveBytes - blocksBefore) / 1048576.0,
           static_cast<double>(1064 + picture.bytes.size() - 1032) / 1048576.0);
  }

  for (const bench::PictureInput& picture : pictures) {
    std::vector<uint8_t> fileBuffer(picture.bytes.size());
    std::vector<uint8_t> pixels(picture.bytes.size() - 1032);
    auto decodeFile = [&] {
      HLOCAL info = nullptr, bits = nullptr;
      if (filter.GetPicture(picture.path.c_str(), 0, 0, &info, &bits, nullptr, 0) != 0) abort();
      FreeHandle(info);
      FreeHandle(bits);
    };
    rows.push_back(Measure("GetPicture file", picture.label, repetitions, decodeFile, [&] {
      bench::FloorPictureFromFile(picture.path, picture.width, picture.height, fileBuffer, pixels);
    }));
    auto decodeMemory = [&] {
      HLOCAL info = nullptr, bits = nullptr;
      if (filter.GetPicture(reinterpret_cast<LPCSTR>(picture.bytes.data()),
                            static_cast<LONG_PTR>(picture.bytes.size()), 1, &info, &bits, nullptr,
                            0) != 0)
        abort();
      FreeHandle(info);
      FreeHandle(bits);
    };
    rows.push_back(Measure("GetPicture memory", picture.label, repetitions, decodeMemory, [&] {
      bench::FloorPictureFromMemory(picture.bytes.data(), picture.width, picture.height);
    }));
  }

  std::vector<uint32_t> sizes = quick ? std::vector<uint32_t>{1000, 10000}
                                      : std::vector<uint32_t>{1000, 100000};
  for (uint32_t entries : sizes) {
    for (bool offsetTable : {true, false}) {
      bench::ArchiveInput archive = offsetTable
                                        ? bench::WriteOffsetTableInput(directory, entries)
                                        : bench::WriteNamedEntryInput(directory, entries);
      const char* path = archive.path.c_str();
      rows.push_back(Measure(
          "IsSupported " + archive.layout, std::to_string(entries) + " entries", repetitions,
          [&] {
            if (extractor.IsSupported(path, 0) != 1) abort();
          },
          [&] {
            offsetTable ? bench::FloorOffsetTableProbe(archive.path)
                        : bench::FloorNamedEntryProbe(archive.path);
          }));
      if (entries != 1000) continue;
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
      rows.push_back(Measure("host session " + archive.layout,
                             std::to_string(entries) + " entries", repetitions, session, [&] {
                               offsetTable ? bench::FloorOffsetTableSession(archive.path)
                                           : bench::FloorNamedEntrySession(archive.path);
                             }));
    }
  }

  printf("\n%-26s %-16s %12s %12s %7s %10s\n", "operation", "input", "median s", "floor s",
         "ratio", "syscalls");
  for (const Row& row : rows)
    printf("%-26s %-16s %12.6f %12.6f %7.2f %10.1f\n", row.operation.c_str(), row.input.c_str(),
           row.median, row.floorMedian, row.median / row.floorMedian, row.syscalls);

  if (jsonPath != nullptr) {
    FILE* json = fopen(jsonPath, "w");
    if (json == nullptr) {
      perror(jsonPath);
      return 1;
    }
    fprintf(json, "[\n");
    for (size_t i = 0; i < rows.size(); ++i) {
      const Row& row = rows[i];
      fprintf(json,
              "  {\"operation\": \"%s\", \"input\": \"%s\", \"median_s\": %.9f, "
              "\"floor_median_s\": %.9f, \"ratio\": %.4f, \"syscalls\": %.1f}%s\n",
              row.operation.c_str(), row.input.c_str(), row.median, row.floorMedian,
              row.median / row.floorMedian, row.syscalls, i + 1 < rows.size() ? "," : "");
    }
    fprintf(json, "]\n");
    fclose(json);
  }
  std::error_code failure;
  std::filesystem::remove_all(directory, failure);
  if (failure) fprintf(stderr, "korvo_bench: cannot remove %s\n", directory.c_str());
  return 0;
}

#include "fuzz/archive_driver.h"
#include "common/ascii.h"

#include <cstring>
#include <string>
#include <vector>

#include "archive-extractor/directory_cache.h"
#include "archive-extractor/entry_points.h"
#include "fuzz/archive_oracle.h"
#include "fuzz/filter_oracle.h"
#include "fuzz/fuzz_support.h"
#include "tests/support/untouched.h"

namespace fuzz {
namespace {

using korvo::fileInfo;

constexpr const char* kPath = "fuzz-archive.cg";
// Every lookup and extract parses the archive again, so a long directory is
// sampled: its first entries and its last.
constexpr size_t kSampled = 24;

bool SameName(const std::string& a, const std::string& b, bool ignoreCase) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (ignoreCase ? korvo::FoldAscii(x) != korvo::FoldAscii(y) : x != y) return false;
  }
  return true;
}

std::vector<size_t> SampledIndices(size_t count) {
  std::vector<size_t> indices;
  for (size_t i = 0; i < count; ++i)
    if (i < kSampled || i + kSampled / 4 >= count) indices.push_back(i);
  return indices;
}

void CheckRecord(const fileInfo& record, const ExpectedEntry& entry) {
  FUZZ_CHECK(memcmp(record.method, "IfKorvo", 8) == 0);
  FUZZ_CHECK(record.position == entry.position);
  FUZZ_CHECK(record.compsize == entry.compsize);
  FUZZ_CHECK(record.filesize == entry.filesize);
  FUZZ_CHECK(record.path[0] == '\0');
  FUZZ_CHECK(strnlen(record.filename, sizeof record.filename) < sizeof record.filename);
  FUZZ_CHECK(entry.filename == record.filename);
}

// The listing: every record as expected, then a record of zeros.
std::vector<fileInfo> CheckListing(const ExpectedArchive& archive) {
  HGLOBAL listing = kUntouched;
  int result = korvo::ResultCodeOf(
      korvo::ArchiveGetArchiveInfo(korvo::kArchiveLayouts, kPath, 0, &listing), -1);
  if (archive.layout == Layout::kNone) {
    FUZZ_CHECK(result == -1 && listing == kUntouched);
    return {};
  }
  FUZZ_CHECK(result == 0 && listing != kUntouched && LockCount(listing) == 0);
  Bytes bytes = BlockBytes(listing);
  platform::GlobalFree(listing);
  const size_t count = archive.entries.size();
  FUZZ_CHECK(bytes.size() == (count + 1) * sizeof(fileInfo));
  std::vector<fileInfo> records(count + 1);
  memcpy(records.data(), bytes.data(), bytes.size());
  for (size_t i = 0; i < count; ++i) CheckRecord(records[i], archive.entries[i]);
  const Bytes zeros(sizeof(fileInfo), 0);
  FUZZ_CHECK(memcmp(&records[count], zeros.data(), sizeof(fileInfo)) == 0);
  records.pop_back();
  return records;
}

// GetFileInfo finds the first record of the name, exactly or without case.
void CheckLookup(const ExpectedArchive& archive, const std::vector<fileInfo>& records,
                 const std::string& name, unsigned flag) {
  const bool ignoreCase = (flag & korvo::kFlagIgnoreCase) != 0;
  size_t found = archive.entries.size();
  for (size_t i = 0; i < archive.entries.size() && found == archive.entries.size(); ++i)
    if (SameName(archive.entries[i].filename, name, ignoreCase)) found = i;
  fileInfo record = Untouched<fileInfo>();
  int result = korvo::ResultCodeOf(
      korvo::ArchiveGetFileInfo(korvo::kArchiveLayouts, kPath, name.c_str(), flag, &record), -1);
  if (found == archive.entries.size()) {
    FUZZ_CHECK(result == -1);
    FUZZ_CHECK(IsUntouched(record));
    return;
  }
  FUZZ_CHECK(result == 0);
  FUZZ_CHECK(memcmp(&record, &records[found], sizeof record) == 0);
}

// GetFile hands out the entry's bytes, and the filter reads them as a picture.
void CheckExtract(const ExpectedArchive& archive, ULONG_PTR position, const uint8_t* data,
                  size_t size) {
  size_t index = 0;
  while (index < archive.entries.size() && archive.entries[index].position != position) ++index;
  HGLOBAL block = kUntouched;
  int result = korvo::ResultCodeOf(
      korvo::ArchiveGetFile(korvo::kArchiveLayouts, kPath, static_cast<LONG_PTR>(position),
                            reinterpret_cast<LPSTR>(&block), korvo::kFlagMemoryOutput, nullptr, 0),
      2);
  if (archive.layout == Layout::kNone || index == archive.entries.size()) {
    FUZZ_CHECK(result == (archive.layout == Layout::kNone ? 2 : -1));
    FUZZ_CHECK(block == kUntouched);
    return;
  }
  Bytes expected;
  if (!ExpectExtract(archive, archive.entries[index], data, size, &expected)) {
    FUZZ_CHECK(result == 6 && block == kUntouched);
    return;
  }
  FUZZ_CHECK(result == 0 && block != kUntouched && LockCount(block) == 0);
  Bytes bytes = BlockBytes(block);
  platform::GlobalFree(block);
  FUZZ_CHECK(bytes == expected);
  CheckFilterOnMemory(bytes.data(), bytes.size());
}

}  // namespace

long long ProbeBudget(uint64_t size) {
  // A record takes at least 4 bytes of the file; a doubling array holds at
  // most twice the records it has taken (16 at first), and old and new
  // blocks live together while it grows.
  const uint64_t records = size / 4 + 1;
  return static_cast<long long>(3 * (records < 8 ? 16 : 2 * records) * sizeof(fileInfo));
}

void CheckArchive(const uint8_t* data, size_t size) {
  // Each input starts from a freshly loaded library.
  static const bool loaded = (korvo::LoadDirectoryCache(), true);
  (void)loaded;
  korvo::UnloadDirectoryCache();
  korvo::LoadDirectoryCache();
  const long live = Hooks().liveBlocks;
  ServeFile(kPath, data, size);
  const ExpectedArchive archive = ExpectArchive(data, size);

  Hooks().peakLiveBytes = Hooks().liveBytes.load();
  const long long before = Hooks().liveBytes;
  FUZZ_CHECK((korvo::ArchiveIsSupported(korvo::kArchiveLayouts, kPath) == korvo::Failure::kNone) ==
             (archive.layout != Layout::kNone));
  FUZZ_CHECK(Hooks().peakLiveBytes - before <= ProbeBudget(size));

  const std::vector<fileInfo> records = CheckListing(archive);
  for (size_t i : SampledIndices(archive.entries.size())) {
    const std::string& name = archive.entries[i].filename;
    std::string upper = name;
    for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c;
    CheckLookup(archive, records, name, 0);
    CheckLookup(archive, records, upper, 0);
    CheckLookup(archive, records, upper, korvo::kFlagIgnoreCase);
    CheckExtract(archive, archive.entries[i].position, data, size);
  }
  CheckLookup(archive, records, "", korvo::kFlagIgnoreCase);
  // No entry lies at position 0: the count is there.
  CheckExtract(archive, 0, data, size);

  korvo::UnloadDirectoryCache();
  korvo::LoadDirectoryCache();
  FUZZ_CHECK(Hooks().liveBlocks == live);
}

}  // namespace fuzz

#include "tests/support/test_layouts.h"

#include <cstdio>
#include <cstring>

#include "archive-extractor/directory_cache.h"
#include "common/little_endian.h"
#include "host-contract/scope_guard.h"

using namespace korvo;

std::atomic<int> testParses[kLayoutCount];
std::atomic<int> testExtracts[kLayoutCount];
std::string racingArchivePath;

namespace {

constexpr uint32_t kHeadBytes = 12;
constexpr uint32_t kRecordBytes = 40;
constexpr uint32_t kNameBytes = 32;

// Spoils the racing archive that was just parsed, as another thread could
// before the operation after the probe reads it again.
void Race() {
  if (FILE* file = fopen(racingArchivePath.c_str(), "wb")) {
    fputs("TL", file);
    fclose(file);
  }
}

Failure ReadTestArchive(ArchiveReader* reader, int layout, ParsedDirectory* directory,
                        bool* racing) {
  uint8_t head[kHeadBytes];
  Failure failure = ReadArchiveAt(reader, 0, kHeadBytes, head);
  if (failure != Failure::kNone) return failure;
  const char* tag = reinterpret_cast<const char*>(head);
  *racing = std::memcmp(tag, "TLAR", 4) == 0;
  bool accepted = std::memcmp(tag, "TLAB", 4) == 0 ||
                  std::memcmp(tag, layout == 0 ? "TLA1" : "TLA2", 4) == 0 ||
                  (layout == 0 && *racing);
  if (!accepted) return Failure::kNotThisLayout;
  directory->entries.timestamp = 0;  // test archives list no time
  uint32_t count = ReadLe32(head + 4);
  uint32_t at = kHeadBytes;
  if (ReadLe32(head + 8) == 1) {
    failure = ReadArchiveAt(reader, at, kPaletteBytes, directory->palette);
    if (failure != Failure::kNone) return failure;
    at += kPaletteBytes;
    directory->hasPalette = layout == 1;  // installed by layout two only
  }
  for (uint32_t i = 0; i < count; ++i, at += kRecordBytes) {
    uint8_t record[kRecordBytes];
    failure = ReadArchiveAt(reader, at, kRecordBytes, record);
    if (failure != Failure::kNone) return failure;
    const char* name = reinterpret_cast<const char*>(record + 8);
    uint32_t size = ReadLe32(record + 4);
    if (!AppendDirectoryEntry(&directory->entries, ReadLe32(record), size, size,
                              name,
                              static_cast<uint32_t>(strnlen(name, kNameBytes))))
      return Failure::kNoMemory;
  }
  return Failure::kNone;
}

Failure ParseTestArchive(ArchiveReader* reader, ParsedDirectory* directory, int layout) {
  testParses[layout] += 1;
  bool racing = false;
  Failure failure = ReadTestArchive(reader, layout, directory, &racing);
  if (failure == Failure::kNone && racing) Race();
  return failure;
}

Failure ParseFirstTestLayout(ArchiveReader* reader, ParsedDirectory* directory) noexcept {
  return ParseTestArchive(reader, directory, 0);
}
Failure ParseSecondTestLayout(ArchiveReader* reader, ParsedDirectory* directory) noexcept {
  return ParseTestArchive(reader, directory, 1);
}

// Layout one hands out the entry's bytes; layout two the shared palette it
// looked up, then the entry's bytes.
Failure LocateTestEntry(const HostPath& path, ULONG_PTR position, ArchiveReader* reader,
                        EntrySource* source, int layout) noexcept {
  testExtracts[layout] += 1;
  ArchiveParser parser = layout == 0 ? ParseFirstTestLayout : ParseSecondTestLayout;
  uint8_t palette[kPaletteBytes];
  Failure failure = LookUpEntryForExtract(path, parser, position, &source->entry,
                                          layout == 1 ? palette : nullptr);
  if (failure != Failure::kNone) return failure;
  source->headBytes = layout == 1 ? kPaletteBytes : 0;
  std::memcpy(source->head, palette, source->headBytes);
  source->copyPosition = static_cast<uint32_t>(source->entry.position);
  source->copyBytes = static_cast<uint32_t>(source->entry.filesize);
  source->checkStoredHead = false;
  return OpenArchiveReader(path, nullptr, reader);
}

Failure LocateFirstTestEntry(const HostPath& path, ULONG_PTR position, ArchiveReader* reader,
                             EntrySource* source) noexcept {
  return LocateTestEntry(path, position, reader, source, 0);
}

Failure LocateSecondTestEntry(const HostPath& path, ULONG_PTR position, ArchiveReader* reader,
                              EntrySource* source) noexcept {
  return LocateTestEntry(path, position, reader, source, 1);
}

}  // namespace

const LayoutTable kTestLayouts = {
    {ParseFirstTestLayout, LocateFirstTestEntry},
    {ParseSecondTestLayout, LocateSecondTestEntry},
};

void ResetTestLayoutCounts() {
  for (int i = 0; i < kLayoutCount; ++i) {
    testParses[i] = 0;
    testExtracts[i] = 0;
  }
}

Bytes TestEntryBytes(const TestEntry& entry) {
  Bytes bytes(entry.size);
  for (uint32_t i = 0; i < entry.size; ++i) bytes[i] = static_cast<uint8_t>(entry.fill + i);
  return bytes;
}

uint32_t TestEntryPosition(const std::vector<TestEntry>& entries, size_t index,
                           bool withPalette) {
  if (entries[index].position != 0) return entries[index].position;
  size_t position = kHeadBytes + (withPalette ? kPaletteBytes : 0) + entries.size() * kRecordBytes;
  for (size_t i = 0; i < index; ++i)
    if (entries[i].position == 0) position += entries[i].size;
  return static_cast<uint32_t>(position);
}

Bytes BuildTestArchive(const char* tag, const std::vector<TestEntry>& entries,
                       const Triples* palette) {
  Bytes bytes(tag, tag + 4);
  AppendLe32(bytes, static_cast<uint32_t>(entries.size()));
  AppendLe32(bytes, palette != nullptr ? 1 : 0);
  if (palette != nullptr) bytes.insert(bytes.end(), palette->begin(), palette->end());
  for (size_t i = 0; i < entries.size(); ++i) {
    AppendLe32(bytes, TestEntryPosition(entries, i, palette != nullptr));
    AppendLe32(bytes, entries[i].size);
    // Stored without the ".QKZ" that listing adds back.
    std::string stored = entries[i].name;
    if (stored.size() >= 4 && stored.compare(stored.size() - 4, 4, ".QKZ") == 0)
      stored.resize(stored.size() - 4);
    char name[kNameBytes] = {};
    std::strncpy(name, stored.c_str(), kNameBytes - 1);
    bytes.insert(bytes.end(), name, name + kNameBytes);
  }
  for (const TestEntry& entry : entries) {
    if (entry.position != 0) continue;
    Bytes data = TestEntryBytes(entry);
    bytes.insert(bytes.end(), data.begin(), data.end());
  }
  return bytes;
}

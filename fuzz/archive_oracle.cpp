// An oracle keeps its own rules, written independently of the code it checks.
#include "fuzz/archive_oracle.h"

#include <cstdio>
#include <cstring>

#include "fuzz/fuzz_support.h"

namespace fuzz {
namespace {

constexpr uint64_t kHead = 1032;
constexpr uint64_t kStoredHeader = 9;
constexpr uint64_t kTriples = 768;
constexpr uint64_t kUnreachable = 0x80000000u;  // seeks take a signed 32-bit distance

// The file as the parsers see it: a field is there when its bytes are in the
// file and its position can be reached.
struct File {
  const uint8_t* data;
  uint64_t size;
  bool Has(uint64_t position, uint64_t count) const {
    return position < kUnreachable && position + count <= size;
  }
};

uint64_t Rows(uint32_t width, uint32_t height) {
  return ((uint64_t{width} + 3) & ~uint64_t{3}) * height;
}

// An entry's size from its offset to the next one's, or none when the next
// offset lies before it: such an entry cannot hold anything.
bool EntrySize(uint32_t from, uint64_t to, uint32_t* size) {
  if (to < from) return false;
  *size = static_cast<uint32_t>(to - from);
  return true;
}

std::string Hex8Name(uint32_t position) {
  char name[16];
  snprintf(name, sizeof name, "%08X.QKZ", position);
  return name;
}

// One name record at `at`: its name, its offset and the record's length.
bool ReadNameRecord(const File& file, uint64_t at, std::string* name, uint32_t* offset,
                    uint64_t* length) {
  name->clear();
  for (uint64_t i = 0;; ++i) {
    if (i == 32 || !file.Has(at + i, 1)) return false;
    uint8_t byte = file.data[at + i];
    if (byte == 0) break;
    name->push_back(static_cast<char>(byte));
  }
  uint64_t field = at + name->size() + 1;
  if (!file.Has(field, 4)) return false;
  *offset = ReadLe32(file.data + field);
  *length = name->size() + 5;
  return *offset != 0 && *offset < file.size;
}

// A named entry's stored header and size test; its listed size on success.
bool NamedEntryFits(const File& file, uint32_t position, uint32_t size, uint32_t* filesize) {
  if (!file.Has(position, kStoredHeader)) return false;
  uint64_t rows = Rows(ReadLe32(file.data + position), ReadLe32(file.data + position + 4));
  if (rows + kStoredHeader > size || rows + kHead > 0xFFFFFFFFu) return false;
  *filesize = static_cast<uint32_t>(rows + kHead);
  return true;
}

}  // namespace

ExpectedArchive ExpectOffsetTableArchive(const uint8_t* data, size_t size) {
  ExpectedArchive none, archive;
  const File file{data, size};
  if (size > 0xFFFFFFFEu || !file.Has(0, 8)) return none;
  const uint32_t count = ReadLe32(data);
  auto offsetAt = [&](uint64_t k, uint32_t* offset) {
    if (!file.Has(4 + 4 * k, 4)) return false;
    *offset = ReadLe32(data + 4 + 4 * k);
    return *offset != 0 && *offset < size;
  };
  auto pictureFits = [&](uint32_t position, uint32_t entrySize) {
    if (!file.Has(position, kHead)) return false;
    return Rows(ReadLe32(data + position), ReadLe32(data + position + 4)) + kHead <= entrySize;
  };
  uint32_t current;
  if (!offsetAt(0, &current)) return none;
  for (uint64_t k = 1; k < count; ++k) {
    uint32_t next, entrySize;
    if (!offsetAt(k, &next)) return none;
    if (!EntrySize(current, next, &entrySize) || !pictureFits(current, entrySize)) return none;
    archive.entries.push_back({current, entrySize, entrySize, Hex8Name(current)});
    current = next;
  }
  uint32_t lastSize = static_cast<uint32_t>(size - current);
  if (!pictureFits(current, lastSize)) return none;
  if (count > 0) archive.entries.push_back({current, lastSize, lastSize, Hex8Name(current)});
  archive.layout = Layout::kOffsetTable;
  return archive;
}

ExpectedArchive ExpectNamedEntryArchive(const uint8_t* data, size_t size) {
  ExpectedArchive none, archive;
  const File file{data, size};
  if (size > 0xFFFFFFFEu || !file.Has(0, 4)) return none;
  const uint32_t count = ReadLe32(data);
  std::string name;
  uint32_t current;
  uint64_t length;
  if (!ReadNameRecord(file, 4, &name, &current, &length)) return none;
  uint64_t nextRecord = 4 + length;
  for (uint64_t k = 1; k < count; ++k) {
    std::string nextName;
    uint32_t next, entrySize, filesize;
    if (!ReadNameRecord(file, nextRecord, &nextName, &next, &length)) return none;
    nextRecord += length;
    if (!EntrySize(current, next, &entrySize) || !NamedEntryFits(file, current, entrySize, &filesize))
      return none;
    archive.entries.push_back({current, entrySize, filesize, name + ".QKZ"});
    name = nextName;
    current = next;
  }
  uint32_t lastSize = static_cast<uint32_t>(size - current), filesize;
  if (!NamedEntryFits(file, current, lastSize, &filesize)) return none;
  if (count > 0) archive.entries.push_back({current, lastSize, filesize, name + ".QKZ"});
  for (const ExpectedEntry& entry : archive.entries) {
    if (entry.filename != "Palette.QKZ") continue;
    if (!file.Has(entry.position + kStoredHeader, kTriples)) return none;
    archive.palettePosition = entry.position;
    archive.layout = Layout::kNamedEntry;
    return archive;
  }
  return none;
}

ExpectedArchive ExpectArchive(const uint8_t* data, size_t size) {
  ExpectedArchive archive = ExpectOffsetTableArchive(data, size);
  if (archive.layout != Layout::kNone) return archive;
  return ExpectNamedEntryArchive(data, size);
}

bool ExpectExtract(const ExpectedArchive& archive, const ExpectedEntry& entry,
                   const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
  const File file{data, size};
  if (archive.layout == Layout::kOffsetTable) {
    if (!file.Has(entry.position, entry.filesize)) return false;
    out->assign(data + entry.position, data + entry.position + entry.filesize);
    return true;
  }
  const uint8_t* header = data + entry.position;
  const uint32_t width = ReadLe32(header), height = ReadLe32(header + 4);
  const uint8_t* triples = data + archive.palettePosition + kStoredHeader;
  if (header[8] != 0) {
    if (!file.Has(entry.position + kStoredHeader, kTriples)) return false;
    triples = header + kStoredHeader;
  }
  const uint64_t rows = Rows(width, height);
  out->assign(entry.filesize, 0);
  memcpy(out->data(), header, 8);
  for (size_t i = 0; i < 256; ++i) memcpy(out->data() + 8 + 4 * i, triples + 3 * i, 3);
  memcpy(out->data() + kHead, data + entry.position + entry.compsize - rows, rows);
  return true;
}

}  // namespace fuzz

#include "tests/support/sample_archives.h"

#include <cstdio>

#include "tests/support/test_pictures.h"
#include "tools/archive-writer/archive_writer.h"

namespace {

constexpr uint32_t kHeadBytes = 1032;

}  // namespace

SampleArchive SampleOffsetTableArchive(uint8_t seed) {
  struct Picture {
    uint32_t width, height, trailing;
  } pictures[] = {{5, 3, 7}, {4, 2, 0}, {9, 4, 0}};
  std::vector<korvo::ByteVector> stored;
  SampleArchive archive;
  uint32_t position = 4 + 4 * 3;
  for (size_t i = 0; i < 3; ++i) {
    const Picture& p = pictures[i];
    const Bytes picture = MakeQkzPicture(p.width, p.height, p.trailing, static_cast<uint8_t>(seed + i));
    char name[16];
    snprintf(name, sizeof name, "%08X.QKZ", position);
    const auto size = static_cast<uint32_t>(picture.size());
    archive.entries.push_back(
        {name, position, size, size, Bytes(picture.begin(), picture.end()), position + kHeadBytes});
    stored.push_back(picture);
    position += size;
  }
  korvo::ByteVector bytes = korvo::BuildOffsetTableArchive(stored);
  archive.bytes.assign(bytes.begin(), bytes.end());
  return archive;
}

SampleArchive SampleNamedEntryArchive(uint8_t seed, const std::string& name) {
  struct Entry {
    std::string name;
    uint32_t width, height;
    bool ownPalette;
    uint32_t gap;
  } entries[] = {{"Palette", 2, 1, true, 0},
                 {"Shared", 5, 3, false, 0},
                 {"Own", 3, 2, true, 11},
                 {name.empty() ? "Sample" : name, 6, 2, false, 2}};
  const Triples shared = MakeTriples(seed);
  std::vector<korvo::NamedEntry> stored;
  uint32_t position = 4;
  for (const Entry& e : entries) position += static_cast<uint32_t>(e.name.size()) + 5;
  SampleArchive archive;
  for (size_t i = 0; i < 4; ++i) {
    const Entry& e = entries[i];
    korvo::NamedEntry entry;
    entry.name = e.name;
    entry.width = e.width;
    entry.height = e.height;
    entry.ownPalette = e.ownPalette;
    entry.palette = i == 0 ? shared : MakeTriples(static_cast<uint8_t>(seed + 100 + i));
    entry.gap.assign(e.gap, 0x66);
    entry.rows = MakeRows(e.width, e.height, static_cast<uint8_t>(seed + i));
    const auto compsize = static_cast<uint32_t>(9 + (e.ownPalette ? 768 : 0) + e.gap +
                                                entry.rows.size());
    const Bytes picture =
        QkzPictureOf(e.width, e.height, e.ownPalette ? entry.palette : shared, entry.rows);
    const auto rowBytes = static_cast<uint32_t>(entry.rows.size());
    archive.entries.push_back({e.name + ".QKZ", position, compsize,
                               static_cast<uint32_t>(picture.size()),
                               Bytes(picture.begin(), picture.end()),
                               position + compsize - rowBytes});
    stored.push_back(entry);
    position += compsize;
  }
  korvo::ByteVector bytes = korvo::BuildNamedEntryArchive(stored);
  archive.bytes.assign(bytes.begin(), bytes.end());
  return archive;
}

void SetRowByte(SampleArchive* archive, size_t index, uint32_t offset, uint8_t value) {
  SampleEntry& entry = archive->entries[index];
  archive->bytes[entry.rowsPosition + offset] = value;
  entry.extracted[kHeadBytes + offset] = value;
}

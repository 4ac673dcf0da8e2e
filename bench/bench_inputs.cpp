#include "bench/bench_inputs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "archive-extractor/named_entry_archive.h"
#include "common/little_endian.h"
#include "qkz-picture/qkz_picture.h"

namespace bench {
namespace {

korvo::QkzTriples TestPalette(uint8_t seed) {
  korvo::QkzTriples palette;
  for (size_t i = 0; i < palette.size(); ++i) palette[i] = static_cast<uint8_t>(i * 7 + seed);
  return palette;
}

korvo::Bytes TestRows(uint32_t width, uint32_t height) {
  uint64_t stride = (width + 3u) & ~3u;
  korvo::Bytes rows(stride * height);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>(i * 31 + i / stride);
  return rows;
}

void WriteFile(const std::string& path, const korvo::Bytes& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    fprintf(stderr, "korvo_bench: cannot write %s\n", path.c_str());
    exit(1);
  }
  fclose(file);
}

// Entry k of an archive: small pictures of a few shapes, so the parse sees
// different sizes.
uint32_t EntryWidth(uint32_t k) { return 4 + (k % 5) * 3; }
uint32_t EntryHeight(uint32_t k) { return 2 + (k % 3); }

void AppendLe32(korvo::Bytes& bytes, uint32_t value) {
  uint8_t field[4];
  korvo::WriteLe32(field, value);
  bytes.insert(bytes.end(), field, field + 4);
}

// Writes `bytes` at `position` of the open file, or gives up.
void WriteAt(int fd, uint64_t position, const korvo::Bytes& bytes) {
  if (pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(position)) !=
      static_cast<ssize_t>(bytes.size())) {
    perror("korvo_bench: pwrite");
    exit(1);
  }
}

}  // namespace

std::string MakeScratchDirectory() {
  char pattern[] = "/tmp/korvo-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    perror("korvo_bench: mkdtemp");
    exit(1);
  }
  return std::string(pattern) + "/";
}

std::vector<PictureInput> WritePictures(const std::string& directory) {
  struct Shape {
    const char* label;
    uint32_t width, height;
  } shapes[] = {{"640x480", 640, 480}, {"4000x3000", 4000, 3000}, {"4x2000000", 4, 2000000},
                {"1x1", 1, 1}};
  std::vector<PictureInput> pictures;
  for (const Shape& shape : shapes) {
    PictureInput input{shape.label, shape.width, shape.height,
                       directory + shape.label + ".QKZ", {}};
    input.bytes = korvo::BuildQkzPicture(shape.width, shape.height, TestPalette(1),
                                         TestRows(shape.width, shape.height));
    WriteFile(input.path, input.bytes);
    pictures.push_back(std::move(input));
  }
  return pictures;
}

ArchiveInput WriteOffsetTableInput(const std::string& directory, uint32_t entries) {
  std::vector<korvo::Bytes> pictures;
  pictures.reserve(entries);
  for (uint32_t k = 0; k < entries; ++k)
    pictures.push_back(korvo::BuildQkzPicture(EntryWidth(k), EntryHeight(k), TestPalette(2),
                                              TestRows(EntryWidth(k), EntryHeight(k))));
  ArchiveInput input{"offset-table", entries,
                     directory + "offset-table-" + std::to_string(entries) + ".cg"};
  WriteFile(input.path, korvo::BuildOffsetTableArchive(pictures));
  return input;
}

ArchiveInput WriteNamedEntryInput(const std::string& directory, uint32_t entries) {
  std::vector<korvo::NamedEntry> list;
  list.reserve(entries);
  korvo::NamedEntry palette{"Palette", 1, 1, true, TestPalette(3), {}, TestRows(1, 1)};
  list.push_back(palette);
  for (uint32_t k = 1; k < entries; ++k) {
    korvo::NamedEntry entry;
    entry.name = "picture" + std::to_string(k);
    entry.width = EntryWidth(k);
    entry.height = EntryHeight(k);
    entry.ownPalette = k % 10 == 0;
    entry.palette = TestPalette(static_cast<uint8_t>(k));
    entry.rows = TestRows(entry.width, entry.height);
    list.push_back(std::move(entry));
  }
  ArchiveInput input{"named-entry", entries,
                     directory + "named-entry-" + std::to_string(entries) + ".cg"};
  WriteFile(input.path, korvo::BuildNamedEntryArchive(list));
  return input;
}

ArchiveInput WriteLargePictureInput(const std::string& directory, bool offsetTable,
                                    uint32_t entries) {
  constexpr uint32_t kWidth = 640, kHeight = 480;
  const uint32_t rows = static_cast<uint32_t>(korvo::QkzPictureSize(kWidth, kHeight)) -
                        korvo::kQkzHeadSize;
  ArchiveInput input{offsetTable ? "offset-table" : "named-entry", entries,
                     directory + (offsetTable ? "offset-table" : "named-entry") + "-640x480-" +
                         std::to_string(entries) + ".cg"};
  int fd = open(input.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    perror("korvo_bench: open");
    exit(1);
  }
  korvo::Bytes front;  // the count and the table or name records
  AppendLe32(front, entries);
  const auto palette = TestPalette(4);
  uint64_t at = 0;
  if (offsetTable) {
    at = 4 + 4ull * entries;
    korvo::Bytes head(korvo::kQkzHeadSize);
    korvo::WriteQkzHeadFromTriples(kWidth, kHeight, palette.data(), head.data());
    for (uint32_t k = 0; k < entries; ++k, at += korvo::kQkzHeadSize + rows) {
      AppendLe32(front, static_cast<uint32_t>(at));
      WriteAt(fd, at, head);
    }
  } else {
    std::vector<std::string> names = {"Palette"};
    for (uint32_t k = 1; k < entries; ++k) names.push_back("picture" + std::to_string(k));
    at = 4;
    for (const std::string& name : names) at += name.size() + 5;
    for (uint32_t k = 0; k < entries; ++k) {
      front.insert(front.end(), names[k].begin(), names[k].end());
      front.push_back(0);
      AppendLe32(front, static_cast<uint32_t>(at));
      // The Palette entry is 1x1 with its palette; every tenth picture has
      // one of its own.
      const bool ownPalette = k % 10 == 0;
      korvo::Bytes stored;
      AppendLe32(stored, k == 0 ? 1 : kWidth);
      AppendLe32(stored, k == 0 ? 1 : kHeight);
      stored.push_back(ownPalette ? 1 : 0);
      if (ownPalette) stored.insert(stored.end(), palette.begin(), palette.end());
      WriteAt(fd, at, stored);
      at += stored.size() + (k == 0 ? 4 : rows);
    }
  }
  WriteAt(fd, 0, front);
  if (ftruncate(fd, static_cast<off_t>(at)) != 0 || close(fd) != 0) {
    perror("korvo_bench: ftruncate");
    exit(1);
  }
  return input;
}

namespace {

// A picture's head at `at` of a new file of `size` bytes, the rest a hole.
void WriteSparsePicture(const std::string& path, const korvo::Bytes& front, uint32_t width,
                        uint32_t height) {
  korvo::Bytes bytes = front;
  korvo::Bytes head(korvo::kQkzHeadSize);
  korvo::WriteQkzHeadFromTriples(width, height, TestPalette(3).data(), head.data());
  bytes.insert(bytes.end(), head.begin(), head.end());
  WriteFile(path, bytes);
  if (truncate(path.c_str(), static_cast<off_t>(front.size() + korvo::QkzPictureSize(width, height))) != 0) {
    perror("korvo_bench: truncate");
    exit(1);
  }
}

}  // namespace

void WriteThumbnailInputs(const std::string& directory) {
  WriteFile(directory + "4000x3000.QKZ",
            korvo::BuildQkzPicture(4000, 3000, TestPalette(1), TestRows(4000, 3000)));
  korvo::Bytes table;
  AppendLe32(table, 1);
  AppendLe32(table, 8);
  WriteSparsePicture(directory + "entry-65535x65519.cg", table, 65535, 65519);
  WriteSparsePicture(directory + "1x100000000.QKZ", {}, 1, 100000000);
  WriteSparsePicture(directory + "2gib-40000x53688.qkz", {}, 40000, 53688);
  WriteLargePictureInput(directory, true, 1000);
  WriteLargePictureInput(directory, false, 1000);
}

void WriteCopyOutInputs(const std::string& directory) {
  WriteLargePictureInput(directory, true, 1000);
  WriteLargePictureInput(directory, false, 1000);
  WriteOffsetTableInput(directory, 1000);
  WriteOffsetTableInput(directory, 100000);
}

}  // namespace bench

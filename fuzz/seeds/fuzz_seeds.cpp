// Writes the seed corpora of the fuzz targets, built with the archive and
// picture writers: korvo_fuzz_seeds FOLDER makes FOLDER/<target>/ files.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/archive-writer/archive_writer.h"
#include "qkz-picture/qkz_picture.h"

using korvo::Bytes;
using korvo::NamedEntry;

namespace {

korvo::QkzTriples Palette(uint8_t seed) {
  korvo::QkzTriples palette;
  for (size_t i = 0; i < palette.size(); ++i) palette[i] = static_cast<uint8_t>(seed + 7 * i);
  return palette;
}

Bytes Rows(uint32_t width, uint32_t height, uint8_t seed) {
  Bytes rows(((width + 3) & ~3u) * height);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>(seed + 13 * i);
  return rows;
}

Bytes Picture(uint32_t width, uint32_t height, uint8_t seed, size_t trailing = 0) {
  Bytes picture = korvo::BuildQkzPicture(width, height, Palette(seed), Rows(width, height, seed));
  picture.insert(picture.end(), trailing, 0xEE);
  return picture;
}

Bytes Cut(Bytes bytes, size_t drop) {
  bytes.resize(bytes.size() > drop ? bytes.size() - drop : 0);
  return bytes;
}

NamedEntry Entry(const std::string& name, uint32_t width, uint32_t height, bool ownPalette,
                 uint8_t seed, size_t gap = 0) {
  NamedEntry entry;
  entry.name = name;
  entry.width = width;
  entry.height = height;
  entry.ownPalette = ownPalette;
  entry.palette = Palette(seed);
  entry.gap.assign(gap, 0x77);
  entry.rows = Rows(width, height, seed);
  return entry;
}

std::vector<Bytes> PictureSeeds() {
  return {
      Picture(1, 1, 1),  Picture(3, 2, 2),     Picture(5, 3, 3),  Picture(4, 4, 4, 9),
      Picture(17, 9, 5), Picture(640, 2, 6),   Picture(1, 300, 7), Cut(Picture(5, 3, 8), 1),
      Cut(Picture(5, 3, 9), 25), Picture(0, 3, 10), Picture(3, 0, 11),
  };
}

std::vector<Bytes> OffsetTableSeeds() {
  const auto one = korvo::BuildOffsetTableArchive({Picture(3, 2, 1)});
  const auto two = korvo::BuildOffsetTableArchive({Picture(4, 2, 2), Picture(5, 3, 3, 7)});
  const auto three =
      korvo::BuildOffsetTableArchive({Picture(1, 1, 4, 3), Picture(9, 2, 5), Picture(2, 7, 6)});
  Bytes empty = one;  // count 0: offset[0] and its picture are still checked
  empty[0] = 0;
  return {one, two, three, empty, Cut(two, 1)};
}

std::vector<Bytes> NamedEntrySeeds() {
  const auto palette = Entry("Palette", 1, 1, true, 1);
  return {
      korvo::BuildNamedEntryArchive({palette}),
      korvo::BuildNamedEntryArchive({palette, Entry("a", 5, 2, false, 2)}),
      korvo::BuildNamedEntryArchive(
          {Entry("first", 3, 3, true, 3, 5), palette, Entry("", 2, 1, false, 4),
           Entry("ThirtyOneCharactersLongNameHere", 7, 2, false, 5, 2)}),
      korvo::BuildNamedEntryArchive(
          {palette, Entry("\x95\x5C\x8E\xA6", 4, 1, false, 6), Entry("same", 1, 2, false, 7),
           Entry("SAME", 2, 2, true, 8)}),
      Cut(korvo::BuildNamedEntryArchive({palette, Entry("b", 3, 3, false, 9)}), 1),
  };
}

// The shell's thumbnail path: pictures and archives of both layouts behind
// a first byte choosing the input, a source cut short and the size.
std::vector<Bytes> ShellThumbnailSeeds() {
  std::vector<Bytes> seeds;
  auto add = [&seeds](uint8_t choice, const Bytes& file) {
    Bytes seed = {choice};
    seed.insert(seed.end(), file.begin(), file.end());
    seeds.push_back(seed);
  };
  const std::vector<Bytes> pictures = PictureSeeds();
  for (size_t i = 0; i < pictures.size(); ++i) add(static_cast<uint8_t>(4 * (i % 8)), pictures[i]);
  add(2 | 4 * 3, pictures[4]);
  for (const Bytes& archive : OffsetTableSeeds()) add(1 | 4 * 1, archive);
  for (const Bytes& archive : NamedEntrySeeds()) add(1 | 4 * 2, archive);
  add(1 | 2 | 4 * 5, NamedEntrySeeds()[1]);
  return seeds;
}

bool WriteSeeds(const std::string& folder, const std::vector<Bytes>& seeds) {
  mkdir(folder.c_str(), 0755);
  for (size_t i = 0; i < seeds.size(); ++i) {
    std::string path = folder + "/seed-" + std::to_string(i);
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool written = fwrite(seeds[i].data(), 1, seeds[i].size(), file) == seeds[i].size();
    if (fclose(file) != 0 || !written) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: korvo_fuzz_seeds FOLDER\n");
    return 2;
  }
  const std::string root = argv[1];
  mkdir(root.c_str(), 0755);
  const bool written = WriteSeeds(root + "/import_filter_memory", PictureSeeds()) &&
                       WriteSeeds(root + "/import_filter_file", PictureSeeds()) &&
                       WriteSeeds(root + "/offset_table_archive", OffsetTableSeeds()) &&
                       WriteSeeds(root + "/named_entry_archive", NamedEntrySeeds()) &&
                       WriteSeeds(root + "/shell_thumbnail", ShellThumbnailSeeds());
  if (!written) {
    fprintf(stderr, "cannot write the seeds under %s\n", root.c_str());
    return 1;
  }
  return 0;
}

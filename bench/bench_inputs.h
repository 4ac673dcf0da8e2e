// The inputs of the benchmark, written once into a scratch folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/archive-writer/archive_writer.h"

namespace bench {

struct PictureInput {
  std::string label;  // "640x480"
  uint32_t width, height;
  std::string path;            // the picture as a .QKZ file
  korvo::Bytes bytes;     // the same picture in memory
};

struct ArchiveInput {
  std::string layout;  // "offset-table" or "named-entry"
  uint32_t entries;
  std::string path;
};

std::string MakeScratchDirectory();
std::vector<PictureInput> WritePictures(const std::string& directory);
ArchiveInput WriteOffsetTableInput(const std::string& directory, uint32_t entries);
ArchiveInput WriteNamedEntryInput(const std::string& directory, uint32_t entries);
// An archive of real pictures: `entries` entries of 640x480 in a sparse file
// (the rows are holes), so that hundreds of megabytes cost no disk.
ArchiveInput WriteLargePictureInput(const std::string& directory, bool offsetTable,
                                    uint32_t entries);

// The inputs of bench/thumbnail.sh, into `directory`: a 4000x3000 picture;
// sparse, so that gigabytes cost no disk, an offset-table archive whose one
// entry is 65535x65519, a 1x100000000 picture and one of 2 GiB named in
// lower case; and both layouts' archives of 1,000 640x480 pictures.
void WriteThumbnailInputs(const std::string& directory);

// The inputs of bench/copy_out.sh, into `directory`: both layouts' archives
// of 1,000 640x480 pictures, and offset-table archives of 1,000 and 100,000
// tiny pictures for the cost of a first read.
void WriteCopyOutInputs(const std::string& directory);

}  // namespace bench

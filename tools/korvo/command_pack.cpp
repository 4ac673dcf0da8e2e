// korvo pack --layout offset-table|named-entry -o ARCHIVE PICTURE...: an
// archive of either layout from QKZ pictures and indexed PNGs.
#include <cstdio>
#include <set>

#include "qkz-picture/qkz_picture.h"
#include "tools/archive-writer/archive_writer.h"
#include "tools/korvo/commands.h"
#include "tools/korvo/output_file.h"
#include "tools/korvo/picture_input.h"
#include "tools/korvo/progress.h"

namespace korvo {
namespace {

// Entries at positions of 2^31 and above cannot be reached by the extractor,
// whose seeks take a signed 32-bit distance; every byte stays below that.
constexpr uint64_t kLargestArchive = 0x7FFFFFFFu;
constexpr size_t kLongestName = 31;  // a name record holds 32 bytes with its NUL
const char kPaletteName[] = "Palette";
constexpr uint32_t kSwatchSide = 16;

struct PackInput {
  std::string path;
  std::string name;        // file name without folder and extension, UTF-8
  std::string storedName;  // the same in the archive's name encoding
  IndexedPicture picture;
};

// The Palette entry: the archive's palette, shown as a 16 x 16 swatch of
// its 256 colours, colour 0 at the top left, so extracting it is useful too.
NamedEntry PaletteEntry(const std::array<uint8_t, 768>& palette) {
  NamedEntry entry;
  entry.name = kPaletteName;
  entry.width = entry.height = kSwatchSide;
  entry.ownPalette = true;
  entry.palette = palette;
  for (uint32_t i = 0; i < kSwatchSide * kSwatchSide; ++i) entry.rows.push_back(static_cast<uint8_t>(i));
  return entry;
}

// Named-entry entries: the Palette entry first, then the pictures, each with
// its own palette only where it differs from the archive's (the first
// picture's). Fails with a message on a name the layout cannot carry.
bool NamedEntries(std::vector<PackInput>& inputs, const NameEncoding& encoding,
                  std::vector<NamedEntry>* entries, size_t* ownPalettes) {
  std::set<std::string> names;
  NameEncoding utf8Names;
  std::string unused;
  FindNameEncoding("utf-8", &utf8Names, &unused);
  for (PackInput& input : inputs) {
    std::string problem;
    std::string utf8;
    if (!DecodeName(utf8Names, input.name, &utf8))
      problem = "its name is not UTF-8";
    else if (!EncodeName(encoding, input.name, &input.storedName))
      problem = "its name has no " + encoding.name + " form (choose another with --names)";
    else if (input.storedName.size() > kLongestName)
      problem = "its name is longer than " + std::to_string(kLongestName) + " bytes in " +
                encoding.name + " (" + std::to_string(input.storedName.size()) + ")";
    else if (int separator = SeparatorByteOf(encoding, input.name); separator != 0)
      problem = std::string("its name holds the byte ") + (separator == '/' ? "0x2F" : "0x5C") +
                " in " + encoding.name + ", which hosts read as a folder separator";
    else if (input.storedName.empty() || input.storedName.find('\0') != std::string::npos)
      problem = "an entry name can be neither empty nor hold a NUL byte";
    else if (input.storedName == kPaletteName)
      problem = "its name is taken by the archive's Palette entry";
    else if (!names.insert(input.storedName).second)
      problem = "another picture has the same name";
    if (!problem.empty()) {
      ReportFailure(input.path,
                    "cannot be an entry '" + DisplayName(utf8Names, input.name) + "': " + problem);
      return false;
    }
  }
  const std::array<uint8_t, 768>& shared = inputs.front().picture.palette;
  entries->push_back(PaletteEntry(shared));
  *ownPalettes = 0;
  for (const PackInput& input : inputs) {
    NamedEntry entry;
    entry.name = input.storedName;
    entry.width = input.picture.width;
    entry.height = input.picture.height;
    entry.ownPalette = input.picture.palette != shared;
    if (entry.ownPalette) {
      entry.palette = input.picture.palette;
      ++*ownPalettes;
    }
    entry.rows = input.picture.rows;
    entries->push_back(std::move(entry));
  }
  return true;
}

}  // namespace

int RunPack(const Arguments& arguments) {
  NameEncoding encoding;
  if (!ChooseNameEncoding(arguments, &encoding)) return kExitUsage;
  const std::string layout = arguments.Value("--layout");
  const std::string archive = arguments.Value("-o");
  if (layout != "offset-table" && layout != "named-entry") {
    fprintf(stderr, "korvo: pack: --layout must be offset-table or named-entry\n");
    return kExitUsage;
  }
  if (archive.empty()) {
    fprintf(stderr, "korvo: pack: name the archive with -o ARCHIVE\n");
    return kExitUsage;
  }

  std::vector<PackInput> inputs;
  uint64_t total = 0;
  Progress progress = StartProgress("reading", arguments.operands.size());
  for (const std::string& path : arguments.operands) {
    StepProgress(&progress, inputs.size(), path);
    PackInput input;
    input.path = path;
    input.name = FileStem(path);
    std::string error;
    if (!ReadPictureForArchive(path, &input.picture, &error)) {
      EndProgress(&progress);
      return ReportFailure(path, error);
    }
    // Either layout spends at most a head and a palette flag per picture.
    total += kQkzHeadSize + 1 + input.name.size() + 5 + input.picture.rows.size();
    if (total > kLargestArchive) {
      EndProgress(&progress);
      return ReportFailure(archive, "the pictures do not fit in one archive (2 GiB at most)");
    }
    inputs.push_back(std::move(input));
  }
  EndProgress(&progress);

  Bytes bytes;
  std::string summary;
  if (layout == "offset-table") {
    std::vector<Bytes> entries;
    for (const PackInput& input : inputs)
      entries.push_back(BuildQkzPicture(input.picture.width, input.picture.height,
                                        input.picture.palette, input.picture.rows));
    bytes = BuildOffsetTableArchive(entries);
    summary = "offset-table archive of " + std::to_string(inputs.size()) +
              (inputs.size() == 1 ? " picture" : " pictures");
  } else {
    std::vector<NamedEntry> entries;
    size_t ownPalettes = 0;
    if (!NamedEntries(inputs, encoding, &entries, &ownPalettes)) return kExitFailure;
    bytes = BuildNamedEntryArchive(entries);
    summary = "named-entry archive of the Palette entry and " + std::to_string(inputs.size()) +
              (inputs.size() == 1 ? " picture" : " pictures") + " (" +
              std::to_string(ownPalettes) + " with a palette of its own)";
  }
  std::string error;
  if (bytes.size() > kLargestArchive)
    return ReportFailure(archive, "the pictures do not fit in one archive (2 GiB at most)");
  if (!WriteFileAtomically(archive, bytes, &error)) return ReportFailure(archive, error);
  printf("%s: %s, %zu bytes\n", archive.c_str(), summary.c_str(), bytes.size());
  return 0;
}

}  // namespace korvo

// korvo pack --layout offset-table|named-entry -o ARCHIVE PICTURE...: an
// archive of either layout from QKZ pictures and indexed PNGs, written as it
// goes: one picture in memory at a time, beside the archive's table.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#include "qkz-picture/qkz_picture.h"
#include "tools/archive-writer/archive_writer.h"
#include "tools/host/platform/files.h"
#include "tools/korvo/commands/commands.h"
#include "tools/host/platform/output_file.h"
#include "tools/korvo/pictures/picture_input.h"
#include "tools/korvo/commands/progress.h"

namespace korvo {
namespace {

// Entries at positions of 2^31 and above cannot be reached by the extractor,
// whose seeks take a signed 32-bit distance; every byte stays below that.
constexpr uint64_t kLargestArchive = 0x7FFFFFFFu;
constexpr size_t kLongestName = 31;  // a name record holds 32 bytes with its NUL
const char kPaletteName[] = "Palette";
constexpr uint32_t kSwatchSide = 16;
constexpr uint64_t kPaletteEntrySize = 9 + kQkzTripleTableSize + kSwatchSide * kSwatchSide;

struct PackInput {
  std::string path;
  std::string name;        // file name without folder and extension, UTF-8
  std::string storedName;  // the same in the archive's name encoding
};

// The Palette entry: the archive's palette, shown as a 16 x 16 swatch of
// its 256 colours, colour 0 at the top left, so extracting it is useful too.
bool AppendPaletteEntry(ArchiveStream* stream, const QkzTriples& palette) {
  Bytes swatch;
  for (uint32_t i = 0; i < kSwatchSide * kSwatchSide; ++i) swatch.push_back(static_cast<uint8_t>(i));
  return StartEntry(stream) &&
         AppendNamedEntryHead(stream, kSwatchSide, kSwatchSide, palette.data()) &&
         AppendToArchive(stream, swatch);
}

// Named-entry names: each picture's stored name, checked before anything is
// read. Fails with a message on a name the layout cannot carry.
bool StoreNames(std::vector<PackInput>& inputs, const NameEncoding& encoding) {
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
  return true;
}

// The archive's bytes go into the temporary file; the table is written over
// its start at the end.
ArchiveSink FileSink(FILE* file) {
  ArchiveSink sink;
  sink.append = [file](const uint8_t* data, size_t size) {
    return fwrite(data, 1, size, file) == size;
  };
  // Every position is below 2^31, so a long holds it on every system.
  sink.rewrite = [file](uint64_t position, const uint8_t* data, size_t size) {
    return fseek(file, static_cast<long>(position), SEEK_SET) == 0 &&
           fwrite(data, 1, size, file) == size && fseek(file, 0, SEEK_END) == 0;
  };
  return sink;
}

// Reads each picture and appends it as an entry, after the Palette entry in
// the named-entry layout, each with its own palette only where it differs
// from the archive's (the first picture's). Reports a failure and returns
// its exit status.
int AppendPictures(const std::vector<PackInput>& inputs, bool named, const std::string& archive,
                   ArchiveStream* stream, size_t* ownPalettes) {
  Progress progress = StartProgress("packing", inputs.size());
  QkzTriples shared = {};
  *ownPalettes = 0;
  for (size_t i = 0; i < inputs.size(); ++i) {
    const PackInput& input = inputs[i];
    StepProgress(&progress, i, input.path);
    // The room left once the Palette entry is in, for the picture as a whole
    // QKZ picture: no entry of either layout is larger.
    const uint64_t before = stream->size + (named && i == 0 ? kPaletteEntrySize : 0);
    IndexedPicture picture;
    std::string error;
    if (!ReadPictureForArchive(input.path, kLargestArchive - std::min(before, kLargestArchive),
                               &picture, &error)) {
      EndProgress(&progress);
      return ReportFailure(input.path, error);
    }
    bool written = true;
    if (!named) {
      written = StartEntry(stream) &&
                AppendToArchive(stream, QkzHeadOf(picture.width, picture.height, picture.palette)) &&
                AppendToArchive(stream, picture.rows);
    } else {
      if (i == 0) {
        shared = picture.palette;
        written = AppendPaletteEntry(stream, shared);
      }
      const bool ownPalette = picture.palette != shared;
      *ownPalettes += ownPalette ? 1 : 0;
      written = written && StartEntry(stream) &&
                AppendNamedEntryHead(stream, picture.width, picture.height,
                                     ownPalette ? picture.palette.data() : nullptr) &&
                AppendToArchive(stream, picture.rows);
    }
    if (!written) {
      EndProgress(&progress);
      return ReportFailure(archive, std::string("cannot write: ") + strerror(errno));
    }
  }
  EndProgress(&progress);
  return 0;
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
  if (IsAnInput(archive, arguments.operands)) return kExitFailure;
  const bool named = layout == "named-entry";
  std::vector<PackInput> inputs;
  for (const std::string& path : arguments.operands) inputs.push_back({path, Utf8Of(PathOf(path).stem()), ""});
  if (named && !StoreNames(inputs, encoding)) return kExitFailure;
  std::vector<std::string> names = {kPaletteName};
  for (const PackInput& input : inputs) names.push_back(input.storedName);

  PendingOutput output;
  std::string error;
  if (!StartPendingOutput(archive, &output, &error)) return ReportFailure(archive, error);
  ArchiveStream stream;
  const bool started = named ? StartNamedEntryArchive(FileSink(output.file), names, &stream)
                             : StartOffsetTableArchive(FileSink(output.file),
                                                       static_cast<uint32_t>(inputs.size()), &stream);
  int status = 0;
  size_t ownPalettes = 0;
  if (!started)
    status = ReportFailure(archive, std::string("cannot write: ") + strerror(errno));
  else if (stream.size > kLargestArchive)
    status = ReportFailure(archive, "the pictures do not fit in one archive (2 GiB at most)");
  else
    status = AppendPictures(inputs, named, archive, &stream, &ownPalettes);
  if (status == 0 && !FinishArchive(&stream))
    status = ReportFailure(archive, std::string("cannot write: ") + strerror(errno));
  if (status != 0) {
    AbandonPendingOutput(&output);
    return status;
  }
  if (!CommitPendingOutput(&output, &error)) return ReportFailure(archive, error);
  const std::string pictures = std::to_string(inputs.size()) + (inputs.size() == 1 ? " picture" : " pictures");
  const std::string summary =
      named ? "named-entry archive of the Palette entry and " + pictures + " (" +
                  std::to_string(ownPalettes) + " with a palette of its own)"
            : "offset-table archive of " + pictures;
  printf("%s: %s, %llu bytes\n", archive.c_str(), summary.c_str(),
         static_cast<unsigned long long>(stream.size));
  return 0;
}

}  // namespace korvo

// korvo extract ARCHIVE [-o DIR] [--format png|bmp|qkz] [NAME...]: every
// entry, or the named ones, through GetFile to memory (or, when asked, to a
// folder) and, unless kept as QKZ, through an import filter to a picture
// file named after the entry in UTF-8.
#include <cstdio>
#include <filesystem>

#include "common/ascii.h"
#include "tools/host/archive_access.h"
#include "tools/host/platform/files.h"
#include "tools/host/platform/output_file.h"
#include "tools/korvo/commands/archive_operand.h"
#include "tools/korvo/commands/commands.h"
#include "tools/korvo/commands/progress.h"
#include "tools/korvo/names/archive_names.h"
#include "tools/korvo/names/output_names.h"
#include "tools/korvo/pictures/picture_formats.h"

namespace korvo {
namespace {

// An entry is asked for by its listed name or by that name without its
// extension, in any letter case (A-Z): "Palette.QKZ", "palette".
bool NameMatches(const ArchiveEntry& entry, const std::string& asked) {
  std::string wanted = FoldAsciiText(asked), stem, extension;
  SplitExtension(entry.name, &stem, &extension);
  return FoldAsciiText(entry.name) == wanted || FoldAsciiText(stem) == wanted;
}

// One entry to the file at `output`, through the plug-in's folder output
// into `staging` when that is not empty. Returns the failure's message, or "".
std::string ExtractOne(const PluginSet& set, const Plugin& extractor, const std::string& archive,
                       const ArchiveEntry& entry, PictureFormat format, const std::string& staging,
                       const std::string& output) {
  Bytes data;
  Status status = staging.empty()
                      ? FetchEntry(extractor, archive, entry, &data)
                      : FetchEntryThroughFolder(extractor, archive, entry, staging, &data);
  if (!status.ok()) return status.message;
  Bytes file;
  std::string error;
  if (format == PictureFormat::kQkz) {
    file = std::move(data);
  } else {
    DecodedBitmap bitmap;
    status = DecodeExtractedEntry(set, entry.decodedName, data, &bitmap);
    if (!status.ok()) return status.message;
    if (!EncodePicture(bitmap, format, &file, &error)) return error;
  }
  if (!WriteFileAtomically(output, file, &error)) return output + ": " + error;
  return std::string();
}

// A folder of the output folder for the plug-in's folder output, removed
// with whatever is in it when the extraction ends.
struct StagingFolder {
  std::string path;
  ~StagingFolder() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(PathOf(path), ignored);
  }
};

}  // namespace

int RunExtract(const Arguments& arguments) {
  PictureFormat format = PictureFormat::kPng;
  if (arguments.Has("--format") && !PictureFormatByName(arguments.Value("--format"), &format)) {
    fprintf(stderr, "korvo: extract: unknown format '%s' (png, bmp or qkz)\n",
            arguments.Value("--format").c_str());
    return kExitUsage;
  }
  OpenedArchive opened;
  if (int status = OpenArchiveOperand(arguments, &opened); status != 0) return status;
  const NameEncoding& encoding = opened.encoding;
  const PluginSet& set = opened.set;
  const std::vector<ArchiveEntry>& entries = opened.entries;
  const std::string& archive = opened.path;

  // The entries asked for, in archive order; every name must find one.
  std::vector<const ArchiveEntry*> chosen;
  std::vector<std::string> names(arguments.operands.begin() + 1, arguments.operands.end());
  for (const std::string& name : names) {
    bool found = false;
    for (const ArchiveEntry& entry : entries) found = found || NameMatches(entry, name);
    if (!found) return ReportFailure(archive, "no entry named '" + name + "'");
  }
  for (const ArchiveEntry& entry : entries) {
    bool wanted = names.empty();
    for (const std::string& name : names) wanted = wanted || NameMatches(entry, name);
    if (wanted) chosen.push_back(&entry);
  }
  // Every chosen name must make a file name before anything is written.
  std::vector<ArchiveEntry> undecoded;
  for (const ArchiveEntry* entry : chosen)
    if (!entry->decoded) undecoded.push_back(*entry);
  if (!undecoded.empty()) return ReportFailure(archive, UndecodableNames(encoding, undecoded));

  std::string folder = arguments.Has("-o") ? arguments.Value("-o") : ".";
  std::error_code failure;
  std::filesystem::create_directories(PathOf(folder), failure);
  if (!std::filesystem::is_directory(PathOf(folder), failure))
    return ReportFailure(folder, "cannot create the output folder");
  StagingFolder staging;
  if (arguments.Has("--via-folder-output")) {
    if (!CreateNewFolder(Utf8Of(PathOf(folder) / ".korvo-unpack"), &staging.path))
      return ReportFailure(folder, "cannot create a folder for the plug-in's output");
  }

  // Every output's name first, so that none that is the archive itself
  // can be written over it.
  UsedNames used;
  std::vector<std::string> outputs;
  const std::string extension = format == PictureFormat::kQkz ? "" : ExtensionOf(format);
  for (const ArchiveEntry* entry : chosen)
    outputs.push_back(Utf8Of(PathOf(folder) / PathOf(OutputName(entry->decodedName, extension, &used))));
  for (const std::string& output : outputs)
    if (IsAnInput(output, {archive})) return kExitFailure;
  size_t failed = 0;
  Progress progress = StartProgress("extracting", chosen.size());
  for (size_t i = 0; i < chosen.size(); ++i) {
    const ArchiveEntry& entry = *chosen[i];
    StepProgress(&progress, i, entry.name);
    std::string error =
        ExtractOne(set, *opened.extractor, archive, entry, format, staging.path, outputs[i]);
    if (!error.empty()) {
      EndProgress(&progress);
      ReportFailure(archive + ": " + entry.name, error);
      ++failed;
    }
  }
  EndProgress(&progress);
  printf("%s: %zu of %zu %s extracted to %s as %s\n", archive.c_str(), chosen.size() - failed,
         chosen.size(), chosen.size() == 1 ? "entry" : "entries", folder.c_str(),
         FormatName(format));
  return failed == 0 ? 0 : kExitFailure;
}

}  // namespace korvo

// korvo extract ARCHIVE [-o DIR] [--format png|bmp|qkz] [NAME...]: every
// entry, or the named ones, through GetFile to memory (or, when asked, to a
// folder) and, unless kept as QKZ, through an import filter to a picture
// file named after the entry in UTF-8.
#include <cstdio>
#include <filesystem>
#include <set>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "tools/korvo/archive_access.h"
#include "tools/korvo/commands.h"
#include "tools/korvo/file_system.h"
#include "tools/korvo/output_file.h"
#include "tools/korvo/progress.h"

namespace korvo {
namespace {

// An entry is asked for by its listed name or by that name without its
// extension, in any letter case (A-Z): "Palette.QKZ", "palette".
bool NameMatches(const ArchiveEntry& entry, const std::string& asked) {
  std::string wanted = LowerAscii(asked);
  return LowerAscii(entry.name) == wanted || LowerAscii(FileStem(entry.name)) == wanted;
}

// Windows opens these as devices whatever follows a dot: "con.png" is the
// console.
bool IsDeviceName(std::string stem) {
  stem = LowerAscii(stem.substr(0, stem.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul") return true;
  return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

// An entry name made safe as a file name in the output folder: separators,
// drive colons, control characters and the characters Windows refuses
// become '_', as do the dots and spaces Windows would drop from its end, and
// device names gain a leading '_', so no entry writes outside the folder or
// to a device. The same names come out on every system.
std::string SafeFileName(const std::string& name) {
  std::string safe;
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    bool refused = byte < 0x20 || byte == 0x7F || std::string("/\\:*?\"<>|").find(c) != std::string::npos;
    safe += refused ? '_' : c;
  }
  while (!safe.empty() && (safe.back() == '.' || safe.back() == ' ')) safe.back() = '_';
  if (safe.empty()) safe = "_";
  if (IsDeviceName(safe)) safe = "_" + safe;
  return safe;
}

}  // namespace

// The output file of one entry: its name, or its name without the
// extension plus the format's, made unique among this run's files (names are
// compared without case, as Windows does).
std::string OutputName(const ArchiveEntry& entry, PictureFormat format,
                       std::set<std::string>* used) {
  const std::string& decoded = entry.decodedName;
  std::string stem = decoded, extension;
  if (format != PictureFormat::kQkz) {
    stem = FileStem(decoded);
    if (stem == decoded && !stem.empty() && stem[0] == '.') stem.clear();  // ".QKZ"
    extension = ExtensionOf(format);
  }
  stem = SafeFileName(stem);
  std::string name = stem + extension;
  for (int copy = 2; !used->insert(LowerAscii(name)).second; ++copy)
    name = stem + "~" + std::to_string(copy) + extension;
  return name;
}

namespace {

// One entry to the file at `output`, through the plug-in's folder output
// into `staging` when that is not empty. Returns the failure's message, or "".
std::string ExtractOne(const PluginSet& set, const Plugin& extractor, const std::string& archive,
                       const ArchiveEntry& entry, PictureFormat format, const std::string& staging,
                       const std::string& output) {
  Bytes data;
  CallResult result = staging.empty()
                          ? ExtractEntry(extractor, archive, entry, &data)
                          : ExtractEntryThroughFolder(extractor, archive, entry, staging, &data);
  if (!result.ok()) return result.message;
  Bytes file;
  std::string error;
  if (format == PictureFormat::kQkz) {
    file = std::move(data);
  } else {
    DecodedBitmap bitmap;
    std::string failure = DecodeExtractedEntry(set, entry, data, &bitmap);
    if (!failure.empty()) return failure;
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
  NameEncoding encoding;
  if (!ChooseNameEncoding(arguments, &encoding)) return kExitUsage;
  PictureFormat format = PictureFormat::kPng;
  if (arguments.Has("--format") && !PictureFormatByName(arguments.Value("--format"), &format)) {
    fprintf(stderr, "korvo: extract: unknown format '%s' (png, bmp or qkz)\n",
            arguments.Value("--format").c_str());
    return kExitUsage;
  }
  PluginSet set;
  if (!LoadCommandPlugins(arguments, &set)) return kExitFailure;
  const std::string& archive = arguments.operands[0];
  std::vector<ArchiveEntry> entries;
  const Plugin* extractor = OpenArchive(set, archive, encoding, &entries);
  if (extractor == nullptr) return kExitFailure;

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
  if (folder.back() != '/' && folder.back() != '\\') folder += '/';
  StagingFolder staging;
  if (arguments.Has("--via-folder-output")) {
    std::string path = folder + ".korvo-unpack-" + std::to_string(getpid());
    if (!std::filesystem::create_directory(PathOf(path), failure))
      return ReportFailure(folder, "cannot create a folder for the plug-in's output");
    staging.path = path;
  }

  std::set<std::string> used;
  size_t failed = 0;
  Progress progress = StartProgress("extracting", chosen.size());
  for (size_t i = 0; i < chosen.size(); ++i) {
    const ArchiveEntry& entry = *chosen[i];
    StepProgress(&progress, i, entry.name);
    std::string error = ExtractOne(set, *extractor, archive, entry, format, staging.path,
                                   folder + OutputName(entry, format, &used));
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

#include "tools/korvo/archive_access.h"

#include "host-contract/failure_words.h"
#include "thumbnail/archive_picture.h"
#include "tools/korvo/commands.h"
#include "tools/korvo/file_system.h"

namespace korvo {

namespace {

// "as an offset-table archive, <why>; as a named-entry archive, <why>".
std::string LayoutReasons(const std::string& path) {
  static const char* const kLayoutNames[kLayoutCount] = {"an offset-table", "a named-entry"};
  Failure reasons[kLayoutCount];
#ifdef _WIN32
  const std::wstring wide = WideOf(path);
  ParseEachLayout(HostPath(wide.c_str()), reasons);
#else
  ParseEachLayout(HostPath(path.c_str()), reasons);
#endif
  std::string text;
  for (int i = 0; i < kLayoutCount; ++i)
    text += std::string(i == 0 ? "" : "; ") + "as " + kLayoutNames[i] + " archive, " + FailureWords(reasons[i]);
  return text;
}

}  // namespace

const Plugin* FindArchive(const PluginSet& set, const std::string& path, const Bytes& head,
                          std::vector<ArchiveEntry>* entries, std::string* failure) {
  std::vector<const Plugin*> extractors = FindPlugins(set, PluginKind::kArchiveExtractor, path, head);
  // No extractor takes the file by its head: those whose mask takes its name
  // are asked for the listing all the same, so that the line says what is
  // wrong with the archive rather than only that nobody took it.
  for (const Plugin& plugin : set.plugins)
    if (extractors.empty() && plugin.kind == PluginKind::kArchiveExtractor &&
        MaskTakesName(plugin.fileMask, path))
      extractors.push_back(&plugin);
  failure->clear();
  int code = 0;
  for (const Plugin* extractor : extractors) {
    CallResult result = ListArchive(*extractor, path, entries);
    if (result.ok()) return extractor;
    if (failure->empty()) {
      *failure = result.message;
      code = result.code;
    }
  }
  // A refusal says only that the file is no archive the extractor knows:
  // the layouts themselves say why, in words.
  if (code == -1) *failure += ": " + LayoutReasons(path);
  return nullptr;
}

const Plugin* OpenArchive(const PluginSet& set, const std::string& path,
                          const NameEncoding& encoding, std::vector<ArchiveEntry>* entries) {
  Bytes head;
  std::string failure;
  const Plugin* extractor = nullptr;
  if (ReadHeadBuffer(path, &head, &failure))
    extractor = FindArchive(set, path, head, entries, &failure);
  if (extractor != nullptr) {
    NameEntries(encoding, entries);
    return extractor;
  }
  ReportFailure(path, !failure.empty() ? failure
                                       : "not a supported archive (no archive extractor in " +
                                             set.directory + " takes it)");
  return nullptr;
}

int OpenArchiveOperand(const Arguments& arguments, OpenedArchive* archive) {
  if (!ChooseNameEncoding(arguments, &archive->encoding)) return kExitUsage;
  if (!LoadCommandPlugins(arguments, &archive->set)) return kExitFailure;
  archive->path = arguments.operands[0];
  archive->extractor = OpenArchive(archive->set, archive->path, archive->encoding, &archive->entries);
  return archive->extractor == nullptr ? kExitFailure : 0;
}

std::string DecodeExtractedEntry(const PluginSet& set, const ArchiveEntry& entry, const Bytes& data,
                                 DecodedBitmap* bitmap) {
  std::string failure = "no import filter in " + set.directory + " takes this entry";
  for (const Plugin* filter :
       FindPlugins(set, PluginKind::kImportFilter, entry.decodedName, HeadBufferOf(data))) {
    CallResult result = DecodePictureMemory(*filter, data, bitmap);
    if (result.ok()) return std::string();
    failure = result.message;
  }
  return failure;
}

void NameEntries(const NameEncoding& encoding, std::vector<ArchiveEntry>* entries) {
  for (ArchiveEntry& entry : *entries) {
    entry.name = DisplayName(encoding, entry.storedName);
    entry.decoded = DecodeName(encoding, entry.storedName, &entry.decodedName);
    if (!entry.decoded) entry.decodedName.clear();
  }
}

std::string UndecodableNames(const NameEncoding& encoding, const std::vector<ArchiveEntry>& entries) {
  size_t count = 0;
  std::string first;
  for (const ArchiveEntry& entry : entries)
    if (!entry.decoded && count++ == 0) first = entry.name;
  if (count == 0) return std::string();
  std::string more = count == 1 ? std::string()
                                : " (and " + std::to_string(count - 1) +
                                      (count == 2 ? " more name)" : " more names)");
  return "entry name '" + first + "' is not valid " + encoding.name + more +
         "; choose the archive's encoding with --names";
}

}  // namespace korvo

// korvo list ARCHIVE [--json]: the entries as GetArchiveInfo gives them.
#include <cstdio>

#include "tools/korvo/archive_access.h"
#include "tools/korvo/commands.h"

namespace korvo {
namespace {

// A JSON string of bytes in the system code page: valid UTF-8 passes
// through, and any other byte b is written as \u00bb so the output stays
// valid JSON and nothing is lost.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    char escape[8];
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += static_cast<char>(byte);
    } else if (byte < 0x20 || byte == 0x7F) {
      snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else if (byte < 0x80) {
      out += static_cast<char>(byte);
    } else {
      size_t length = byte >= 0xF0 && byte <= 0xF4 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 && byte < 0xE0 ? 2 : 0;
      bool valid = length != 0 && i + length <= text.size();
      for (size_t k = 1; valid && k < length; ++k)
        valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
      if (valid) {
        out.append(text, i, length);
        i += length - 1;
      } else {
        snprintf(escape, sizeof escape, "\\u%04x", byte);
        out += escape;
      }
    }
  }
  return out + "\"";
}

void PrintTable(const std::string& path, const Plugin& extractor,
                const std::vector<ArchiveEntry>& entries) {
  printf("%10s %10s %10s  %s\n", "position", "stored", "size", "name");
  uint64_t stored = 0, size = 0;
  for (const ArchiveEntry& entry : entries) {
    printf("%10llu %10llu %10llu  %s\n", static_cast<unsigned long long>(entry.position),
           static_cast<unsigned long long>(entry.storedSize),
           static_cast<unsigned long long>(entry.size), entry.name.c_str());
    stored += entry.storedSize;
    size += entry.size;
  }
  printf("%10s %10llu %10llu  %zu %s in %s (%s, %s)\n", "", static_cast<unsigned long long>(stored),
         static_cast<unsigned long long>(size), entries.size(),
         entries.size() == 1 ? "entry" : "entries", path.c_str(), extractor.typeName.c_str(),
         extractor.fileName.c_str());
}

void PrintJson(const std::string& path, const Plugin& extractor,
               const std::vector<ArchiveEntry>& entries) {
  printf("{\n  \"archive\": %s,\n  \"plugin\": %s,\n  \"type\": %s,\n  \"entries\": [",
         JsonString(path).c_str(), JsonString(extractor.fileName).c_str(),
         JsonString(extractor.typeName).c_str());
  for (size_t i = 0; i < entries.size(); ++i) {
    const ArchiveEntry& entry = entries[i];
    printf("%s\n    {\"name\": %s, \"method\": %s, \"position\": %llu, \"stored\": %llu, "
           "\"size\": %llu}",
           i == 0 ? "" : ",", JsonString(entry.name).c_str(), JsonString(entry.method).c_str(),
           static_cast<unsigned long long>(entry.position),
           static_cast<unsigned long long>(entry.storedSize),
           static_cast<unsigned long long>(entry.size));
  }
  printf("%s]\n}\n", entries.empty() ? "" : "\n  ");
}

}  // namespace

int RunList(const Arguments& arguments) {
  PluginSet set;
  if (!LoadCommandPlugins(arguments, &set)) return kExitFailure;
  const std::string& path = arguments.operands[0];
  std::vector<ArchiveEntry> entries;
  const Plugin* extractor = OpenArchive(set, path, &entries);
  if (extractor == nullptr) return kExitFailure;
  if (arguments.Has("--json"))
    PrintJson(path, *extractor, entries);
  else
    PrintTable(path, *extractor, entries);
  return 0;
}

}  // namespace korvo

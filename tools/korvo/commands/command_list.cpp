// korvo list ARCHIVE [--json]: the entries as GetArchiveInfo gives them.
#include <cstdio>

#include "tools/korvo/commands/archive_operand.h"
#include "tools/korvo/commands/commands.h"
#include "tools/korvo/names/json_text.h"

namespace korvo {
namespace {

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
    // "name" as listings show it; "stored_name" the archive's bytes in hex,
    // so that nothing of a name that does not decode is lost.
    printf("%s\n    {\"name\": %s, \"stored_name\": \"%s\", \"decoded\": %s, \"method\": %s, "
           "\"position\": %llu, \"stored\": %llu, \"size\": %llu}",
           i == 0 ? "" : ",", JsonString(entry.name).c_str(), HexOf(entry.storedName).c_str(),
           entry.decoded ? "true" : "false", JsonString(entry.method).c_str(),
           static_cast<unsigned long long>(entry.position),
           static_cast<unsigned long long>(entry.storedSize),
           static_cast<unsigned long long>(entry.size));
  }
  printf("%s]\n}\n", entries.empty() ? "" : "\n  ");
}

}  // namespace

int RunList(const Arguments& arguments) {
  OpenedArchive archive;
  if (int status = OpenArchiveOperand(arguments, &archive); status != 0) return status;
  if (arguments.Has("--json"))
    PrintJson(archive.path, *archive.extractor, archive.entries);
  else
    PrintTable(archive.path, *archive.extractor, archive.entries);
  return 0;
}

}  // namespace korvo

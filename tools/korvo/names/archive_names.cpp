#include "tools/korvo/names/archive_names.h"

namespace korvo {

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

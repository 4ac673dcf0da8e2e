#include "archive-extractor/wide_records.h"

#include <cstring>


namespace korvo {

void WideEntryName(LPCSTR name, WCHAR (&wide)[kNameUnits]) {
  std::memset(wide, 0, sizeof wide);
  size_t length = 0;
  while (name[length] != '\0' && length + 1 < kNameUnits) ++length;
  // The stored name and the ".QKZ" behind it are turned separately: a
  // stored name that ends in a lone lead byte must not take the dot as its
  // trail byte, so every listed name keeps its extension.
  const size_t stem = length >= 4 && std::memcmp(name + length - 4, ".QKZ", 4) == 0 ? length - 4 : length;
  int units = 0;
  if (stem > 0) {
    units = platform::MultiByteToWideChar(name, static_cast<int>(stem), wide,
                                          static_cast<int>(kNameUnits - 1 - (length - stem)));
    if (units <= 0) {
      std::memset(wide, 0, sizeof wide);
      return;
    }
  }
  for (size_t i = stem; i < length; ++i) wide[units++] = static_cast<WCHAR>(name[i]);
}

void FormatEntryName(const DirectoryArray& array, uint32_t index, WCHAR (&name)[kNameUnits]) {
  char listed[kEntryNameBytes];
  FormatEntryName(array, index, listed);
  WideEntryName(listed, name);
}

void BuildDirectoryRecord(const DirectoryArray& array, uint32_t index, fileInfoW* wide) {
  const DirectoryEntry& entry = array.entries[index];
  std::memset(wide, 0, sizeof *wide);
  std::memcpy(wide->method, kMethodTag, sizeof wide->method);
  wide->position = entry.position;
  wide->compsize = entry.compsize;
  wide->filesize = entry.filesize;
  wide->timestamp = array.timestamp;
  WCHAR name[kNameUnits];  // the record is packed: no reference binds to its field
  FormatEntryName(array, index, name);
  std::memcpy(wide->filename, name, sizeof name);
}

}  // namespace korvo

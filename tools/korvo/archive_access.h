// Opening an archive as list, extract and info do: the extractor that takes
// it and its entries, named in UTF-8, with a one-line error when there is
// none.
#pragma once

#include <string>
#include <vector>

#include "tools/korvo/command_line.h"
#include "tools/korvo/name_encoding.h"
#include "tools/korvo/plugin_set.h"

namespace korvo {

// The extractor of `set` that lists `path` (whose first bytes are `head`),
// with the entries as listed; nullptr with the failure's words, or with ""
// when no extractor takes the file by its head or its name.
const Plugin* FindArchive(const PluginSet& set, const std::string& path, const Bytes& head,
                          std::vector<ArchiveEntry>* entries, std::string* failure);

// Finds the extractor for `path` among `set`, lists the archive and names
// its entries from `encoding`. On failure the error has been reported and
// nullptr is returned.
const Plugin* OpenArchive(const PluginSet& set, const std::string& path,
                          const NameEncoding& encoding, std::vector<ArchiveEntry>* entries);

// What list and extract start with: the --names encoding, the plug-ins
// and the archive of the first operand, listed. 0, or the exit status once
// the failure is reported.
struct OpenedArchive {
  NameEncoding encoding;
  PluginSet set;
  std::string path;
  const Plugin* extractor = nullptr;
  std::vector<ArchiveEntry> entries;
};
int OpenArchiveOperand(const Arguments& arguments, OpenedArchive* archive);

// Decodes an extracted entry's bytes through the first import filter of
// `set` that takes them. Returns the failure's message, or "".
std::string DecodeExtractedEntry(const PluginSet& set, const ArchiveEntry& entry, const Bytes& data,
                                 DecodedBitmap* bitmap);

// Fills in each entry's shown and decoded names from its stored bytes.
void NameEntries(const NameEncoding& encoding, std::vector<ArchiveEntry>* entries);

// The entries whose names do not decode, for the one line that says so:
// "'\x89.QKZ' is not valid cp932 (and 2 more names)", or "" when all do.
std::string UndecodableNames(const NameEncoding& encoding, const std::vector<ArchiveEntry>& entries);

}  // namespace korvo

// An archive's entry names as korvo shows and writes them: decoded from the
// archive's encoding into UTF-8, undecodable bytes shown as \xNN.
#pragma once

#include <string>
#include <vector>

#include "tools/host/plugin_calls.h"
#include "tools/korvo/names/name_encoding.h"

namespace korvo {

// Fills in each entry's shown and decoded names from its stored bytes.
void NameEntries(const NameEncoding& encoding, std::vector<ArchiveEntry>* entries);

// The entries whose names do not decode, for the one line that says so:
// "'\x89.QKZ' is not valid cp932 (and 2 more names)", or "" when all do.
std::string UndecodableNames(const NameEncoding& encoding, const std::vector<ArchiveEntry>& entries);

}  // namespace korvo

// What list and extract start with: the --names encoding, the plug-ins and
// the archive of the first operand, listed and named.
#pragma once

#include <string>
#include <vector>

#include "tools/host/plugin_calls.h"
#include "tools/korvo/command_line.h"
#include "tools/korvo/names/name_encoding.h"

namespace korvo {

struct OpenedArchive {
  NameEncoding encoding;
  PluginSet set;
  std::string path;
  const Plugin* extractor = nullptr;
  std::vector<ArchiveEntry> entries;
};

// 0, or the exit status once the failure is reported.
int OpenArchiveOperand(const Arguments& arguments, OpenedArchive* archive);

// The extractor of `set` that takes `path`, its entries listed and named
// from `encoding`; nullptr once the failure is reported.
const Plugin* OpenNamedArchive(const PluginSet& set, const std::string& path,
                               const NameEncoding& encoding, std::vector<ArchiveEntry>* entries);

}  // namespace korvo

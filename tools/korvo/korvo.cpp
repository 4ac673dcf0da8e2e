// korvo: a host of the plug-in interface on the command line. It loads
// plug-ins by file name and talks to them only through their exports.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "tools/host/platform/program_entry.h"
#include "tools/korvo/commands/commands.h"
#include "tools/korvo/mount/mount_commands.h"
#include "tools/host/platform/files.h"
#include "tools/host/platform/output_file.h"

namespace korvo {
namespace {

// The table in the order help lists it, the mount's commands (where korvo
// has them) before plugins.
std::vector<Command> JoinCommands(std::vector<Command> commands) {
  const auto plugins = std::find_if(commands.begin(), commands.end(), [](const Command& command) {
    return std::string(command.name) == "plugins";
  });
  commands.insert(plugins, MountCommands().begin(), MountCommands().end());
  return commands;
}

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = JoinCommands({
    {"info", "info FILE... [--names ENC]",
     "Tells which plug-in takes each file, offered as a viewer offers it (its\n"
     "name and first 2 KB), and what it is: a picture's size and depth, an\n"
     "archive's entry count and how many of its names do not decode.\n"
     "  --names ENC  how the archive stores entry names: cp932 (the default),\n"
     "               utf-8 or any encoding the system converts; korvo shows and\n"
     "               writes them in UTF-8\n",
     {{"--names", nullptr, true}}, 1, kAnyCount, RunInfo},
    {"list", "list ARCHIVE [--json] [--names ENC]",
     "Lists the archive's entries as the archive extractor gives them: position,\n"
     "stored size, size once extracted, name. A byte of a name that does not\n"
     "decode shows as \\xNN.\n"
     "  --json       one JSON object instead of the table; each entry also\n"
     "               carries its stored name's bytes in hex (stored_name)\n"
     "  --names ENC  how the archive stores entry names: cp932 (the default),\n"
     "               utf-8 or any encoding the system converts; korvo shows and\n"
     "               writes them in UTF-8\n",
     {{"--json", nullptr, false}, {"--names", nullptr, true}}, 1, 1, RunList},
    {"extract",
     "extract ARCHIVE [-o DIR] [--format png|bmp|qkz] [--names ENC] [--via-folder-output] "
     "[NAME...]",
     "Extracts every entry, or the named ones (with or without their extension,\n"
     "any letter case), and decodes each through an import filter. Files are\n"
     "named after the entries in UTF-8, made safe and unique (name~2.png).\n"
     "  -o DIR         output folder, created if missing (default: the current one)\n"
     "  --format png   indexed PNG keeping the palette (the default)\n"
     "  --format bmp   the bitmap exactly as the host receives it\n"
     "  --format qkz   the entry's bytes as the extractor hands them out\n"
     "  --names ENC    how the archive stores entry names: cp932 (the default),\n"
     "                 utf-8 or any encoding the system converts\n"
     "  --via-folder-output\n"
     "                 have the extractor write each entry into a folder, as file\n"
     "                 managers unpack, instead of handing it over in memory\n",
     {{"-o", "--output", true},
      {"--format", nullptr, true},
      {"--names", nullptr, true},
      {"--via-folder-output", nullptr, false}},
     1, kAnyCount, RunExtract},
    {"convert", "convert PICTURE [-o OUT.png|OUT.bmp]",
     "Decodes a picture through the import filter that takes it and writes it as\n"
     "PNG or BMP, chosen by OUT's extension (default: PICTURE's name with .png).\n",
     {{"-o", "--output", true}}, 1, 1, RunConvert},
    {"pack", "pack --layout offset-table|named-entry -o ARCHIVE [--names ENC] PICTURE...",
     "Writes an archive of QKZ pictures and indexed PNGs, in the order given.\n"
     "  --layout offset-table   complete pictures, named by their position\n"
     "  --layout named-entry    pictures named after their files (at most 31 bytes,\n"
     "                          without extension), behind a Palette entry that\n"
     "                          holds the first picture's palette; pictures with\n"
     "                          that palette store none of their own\n"
     "  -o ARCHIVE              the archive to write\n"
     "  --names ENC             the encoding names are stored in: cp932 (the\n"
     "                          default), utf-8 or any the system converts\n",
     {{"--layout", nullptr, true}, {"-o", "--output", true}, {"--names", nullptr, true}}, 1, kAnyCount,
     RunPack},
    {"thumbnail", "thumbnail INPUT OUTPUT.png [--size N] [--names ENC]",
     "Writes a PNG thumbnail of a picture, or of an archive's first picture\n"
     "entry, no larger than N x N pixels (default 256), keeping the aspect\n"
     "ratio; pictures that fit are written whole, larger ones averaged down\n"
     "(beyond a 16-fold reduction through 16 rows of each block). The\n"
     "desktop's .thumbnailer files run it.\n"
     "  --names ENC  how the archive stores entry names, for the entry a\n"
     "               message names: cp932 (the default), utf-8 or any other\n",
     {{"--size", nullptr, true}, {"--names", nullptr, true}}, 2, 2, RunThumbnail},
    {"plugins", "plugins",
     "Shows every plug-in of the plug-in folder and its information strings.\n", {}, 0, 0,
     RunPlugins},
    {"sample-picture", "sample-picture [--pattern NAME] OUT.QKZ",
     "Writes a QKZ test picture. Patterns: bars (the default), arrow (same\n"
     "palette as bars), rings, checker.\n",
     {{"--pattern", nullptr, true}}, 1, 1, RunSamplePicture},
  });
  return commands;
}

const char kGlobalHelp[] =
    "Every command takes --plugins DIR to load every plug-in of DIR instead of\n"
    "KORVO's own (from the install's lib/korvo, beside korvo, or the build's\n"
    "plugins folder), and --help.\n"
    "Exit status: 0 done, 1 a file could not be handled, 2 a wrong command line.\n";

void Usage(FILE* out) {
  fprintf(out, "usage: korvo [--plugins DIR] COMMAND [ARGUMENTS]\n\ncommands:\n");
  for (const Command& command : Commands()) fprintf(out, "  korvo %s\n", command.synopsis);
  fprintf(out, "\n%sRun 'korvo COMMAND --help' for one command.\n", kGlobalHelp);
}

void CommandHelp(const Command& command) {
  printf("usage: korvo %s\n\n%s\n%s", command.synopsis, command.help, kGlobalHelp);
}

int UsageError(const Command* command, const std::string& message) {
  fprintf(stderr, "korvo: %s%s\n", command == nullptr ? "" : (std::string(command->name) + ": ").c_str(),
          message.c_str());
  if (command != nullptr)
    fprintf(stderr, "usage: korvo %s\n", command->synopsis);
  else
    Usage(stderr);
  return kExitUsage;
}

int Run(std::vector<std::string> words) {
  // --plugins DIR goes with any command, before or after it.
  std::string pluginDirectory;
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "--") break;
    bool inlineValue = words[i].compare(0, 10, "--plugins=") == 0;
    if (words[i] != "--plugins" && !inlineValue) continue;
    if (!inlineValue && i + 1 >= words.size()) return UsageError(nullptr, "--plugins needs a folder");
    pluginDirectory = inlineValue ? words[i].substr(10) : words[i + 1];
    // i indexes `words`, so it fits the iterators' distance type.
    const auto first = words.begin() + static_cast<std::ptrdiff_t>(i);
    words.erase(first, first + (inlineValue ? 1 : 2));
    --i;
  }
  if (words.empty()) return UsageError(nullptr, "no command");
  if (words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
    Usage(stdout);
    return 0;
  }
  const Command* command = nullptr;
  for (const Command& candidate : Commands())
    if (words[0] == candidate.name) command = &candidate;
  if (command == nullptr) return UsageError(nullptr, "unknown command '" + words[0] + "'");

  std::vector<std::string> rest(words.begin() + 1, words.end());
  for (const std::string& word : rest) {
    if (word == "--") break;
    if (word == "--help" || word == "-h") {
      CommandHelp(*command);
      return 0;
    }
  }
  Arguments arguments;
  arguments.pluginDirectory = pluginDirectory;
  std::string error;
  if (!ParseArguments(rest, command->options, &arguments, &error)) return UsageError(command, error);
  size_t count = arguments.operands.size();
  if (count < command->fewestOperands) return UsageError(command, "missing operand");
  if (count > command->mostOperands)
    return UsageError(command, "unexpected operand '" + arguments.operands[command->mostOperands] + "'");
  return command->run(arguments);
}

}  // namespace

// Nothing escapes main: memory running out anywhere (a vector sized from a
// file, a plug-in's blocks copied out) ends in one line and exit status 1,
// never an abort.
int RunProgram(const std::function<std::vector<std::string>()>& words) noexcept {
  try {
    return Run(words());
  } catch (const std::bad_alloc&) {
    fputs("korvo: out of memory\n", stderr);
  } catch (const std::exception& failure) {
    fprintf(stderr, "korvo: %s\n", failure.what());
  }
  return kExitFailure;
}

}  // namespace korvo

// The korvo host's commands and what they share: each parses its command
// line, calls the host library and prints. Each returns the program's exit
// status: 0 done, 1 a file could not be handled, 2 a wrong
// command line.
#pragma once

#include <string>
#include <vector>

#include "tools/korvo/command_line.h"
#include "tools/korvo/names/name_encoding.h"
#include "tools/host/plugin_set.h"
#include "tools/host/status.h"

namespace korvo {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int RunPlugins(const Arguments& arguments);
int RunInfo(const Arguments& arguments);
int RunList(const Arguments& arguments);
int RunExtract(const Arguments& arguments);
int RunConvert(const Arguments& arguments);
int RunPack(const Arguments& arguments);
int RunSamplePicture(const Arguments& arguments);
int RunThumbnail(const Arguments& arguments);
int RunMount(const Arguments& arguments);  // Linux, with libfuse3
int RunOpen(const Arguments& arguments);   // likewise

// The sample pictures' pattern names, "bars, arrow, ...".
std::string SamplePatternNames();

// "korvo: FILE: message" on standard error; returns kExitFailure.
int ReportFailure(const std::string& file, const std::string& message);
// The same line for a host operation's failure.
int ReportStatus(const std::string& file, const Status& status);

// True, once one line says so, when `output` names one of `inputs`: the
// same file (device and inode) or the same name once resolved. Commands ask
// before they write anything, so that no input is ever written over.
bool IsAnInput(const std::string& output, const std::vector<std::string>& inputs);

// Loads the plug-ins of --plugins DIR, or the default folder, reporting a
// failure.
bool LoadCommandPlugins(const Arguments& arguments, PluginSet* set);

// The encoding of --names, cp932 without it; reports an unknown one and
// fails (a wrong command line).
bool ChooseNameEncoding(const Arguments& arguments, NameEncoding* encoding);

}  // namespace korvo

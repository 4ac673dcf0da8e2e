// Running the korvo program of this build as a child process, and the files
// the command-line tests hand it and read back, named in UTF-8 as korvo
// takes them (ReadBytes reads them back).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs build/<preset>/bin/korvo with these arguments (its default plug-in
// folder is this build's), in the scratch folder, and collects its output.
// A symbolic link the child plants before it becomes korvo (POSIX only);
// "{pid}" in `at` stands for its process id, which korvo then has.
struct PlantedLink {
  std::string at;
  std::string target;
};
RunResult RunKorvo(const std::vector<std::string>& arguments, const std::vector<PlantedLink>& links = {});
// The path of this build's korvo, for running it through another program.
std::string KorvoProgram();
// Any program by its path, likewise.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const std::vector<PlantedLink>& links = {});

// A fresh folder for this test program, with a trailing '/'.
const std::string& Scratch();
// A fresh, empty folder inside it.
std::string NewFolder(const std::string& name);
// Names of the files in a folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder);

void WriteBytes(const std::string& path, const Bytes& bytes);
bool Exists(const std::string& path);

// Lines of a program's output.
std::vector<std::string> Lines(const std::string& text);

// Runs a Python 3 script with the path of a file holding `input` as its one
// argument; its standard output and error. False when there is no Python
// (under Wine), so the caller skips.
bool RunPython(const std::string& script, const std::string& input, std::string* output);

// main, or on Windows wmain: the arguments arrive there in UTF-16, so any
// file name passes; the program works in UTF-8 inside.
#include "tools/host/platform/program_entry.h"

#include "tools/host/platform/files.h"
#include "tools/host/platform/output_file.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  korvo::CleanUpOnInterrupt();
  return korvo::RunProgram([&] { return korvo::Utf8Arguments(argc, argv); });
}
#else
int main(int argc, char** argv) {
  korvo::CleanUpOnInterrupt();
  return korvo::RunProgram([&] { return std::vector<std::string>(argv + 1, argv + argc); });
}
#endif

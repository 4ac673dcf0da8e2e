#include "tests/support/korvo_runs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tools/host/plugin_loader.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace fs = std::filesystem;

// Paths are UTF-8 here as in korvo, so names that need UTF-16 on Windows work.
static fs::path PathOf(const std::string& path) { return fs::u8path(path); }
static std::string Utf8Of(const fs::path& path) { return path.u8string(); }

#ifdef _WIN32
static std::wstring Wide(const std::string& utf8) { return PathOf(utf8).wstring(); }
#endif

const std::string& Scratch() {
  static const std::string folder = [] {
    fs::path path = fs::temp_directory_path() /
#ifdef _WIN32
                    ("korvo-cli-" + std::to_string(GetCurrentProcessId()));
#else
                    ("korvo-cli-" + std::to_string(getpid()));
#endif
    fs::remove_all(path);
    fs::create_directories(path);
    static std::string removal = Utf8Of(path);
    atexit([] {
      std::error_code ignored;
      fs::remove_all(PathOf(removal), ignored);
    });
    return Utf8Of(path) + "/";
  }();
  return folder;
}

std::string NewFolder(const std::string& name) {
  std::string folder = Scratch() + name;
  fs::remove_all(PathOf(folder));
  fs::create_directories(PathOf(folder));
  return folder + "/";
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code failure;
  for (const auto& item : fs::directory_iterator(PathOf(folder), failure))
    names.push_back(Utf8Of(item.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream file(PathOf(path), std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good()) << path;
}

bool Exists(const std::string& path) {
  std::error_code failure;
  return fs::exists(PathOf(path), failure);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

namespace {

// A program's output with Windows' CRLF line ends turned into LF.
std::string ReadText(const std::string& path) {
  Bytes bytes = ReadBytes(path);
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i)
    if (bytes[i] != '\r' || i + 1 >= bytes.size() || bytes[i + 1] != '\n') text += static_cast<char>(bytes[i]);
  return text;
}

}  // namespace

std::string KorvoProgram() {
#ifdef _WIN32
  return korvo::ExecutableDirectory() + "..\\bin\\korvo.exe";
#else
  return korvo::ExecutableDirectory() + "../bin/korvo";
#endif
}

RunResult RunKorvo(const std::vector<std::string>& arguments, const std::vector<PlantedLink>& links) {
  return RunProgram(KorvoProgram(), arguments, links);
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const std::vector<PlantedLink>& links) {
  RunResult result;
  const std::string outPath = Scratch() + "stdout.txt", errPath = Scratch() + "stderr.txt";
#ifdef _WIN32
  (void)links;
  // Arguments go over in UTF-16, as a Unicode shell hands them over.
  std::wstring command = L"\"" + Wide(program) + L"\"";
  for (const std::string& argument : arguments) command += L" \"" + Wide(argument) + L"\"";
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           0, nullptr);
  HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           0, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process = {};
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(0);
  if (CreateProcessW(Wide(program).c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                     Wide(Scratch()).c_str(), &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.status = static_cast<int>(code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(out);
  CloseHandle(err);
#else
  std::vector<std::string> words = {program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  // The child plants the links under its own process id, then becomes korvo,
  // as `ln -s victim .x.$$.part; exec korvo` does; it starts in the scratch
  // folder, so relative outputs land there.
  std::vector<std::pair<std::string, std::string>> linkParts;  // around "{pid}"
  for (const PlantedLink& link : links) {
    size_t at = link.at.find("{pid}");
    if (at == std::string::npos) at = link.at.size();
    linkParts.emplace_back(link.at.substr(0, at), link.at.substr(std::min(at + 5, link.at.size())));
  }
  pid_t child = fork();
  if (child == 0) {
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(Scratch().c_str()) != 0)
      _exit(127);
    char pid[24];
    snprintf(pid, sizeof pid, "%d", static_cast<int>(getpid()));
    for (size_t i = 0; i < links.size(); ++i) {
      bool withPid = links[i].at.find("{pid}") != std::string::npos;
      std::string at = linkParts[i].first + (withPid ? pid : "") + linkParts[i].second;
      if (symlink(links[i].target.c_str(), at.c_str()) != 0) _exit(126);
    }
    execve(program.c_str(), argv.data(), environ);
    _exit(127);
  }
  int wait = 0;
  if (child > 0 && waitpid(child, &wait, 0) == child && WIFEXITED(wait))
    result.status = WEXITSTATUS(wait);
#endif
  result.out = ReadText(outPath);
  result.err = ReadText(errPath);
  return result;
}

bool RunPython(const std::string& script, const std::string& input, std::string* output) {
#ifdef _WIN32
  (void)script, (void)input, (void)output;
  return false;
#else
  const std::string inputPath = Scratch() + "python-input", scriptPath = Scratch() + "script.py";
  WriteBytes(inputPath, Bytes(input.begin(), input.end()));
  WriteBytes(scriptPath, Bytes(script.begin(), script.end()));
  std::string command = "python3 '" + scriptPath + "' '" + inputPath + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  output->clear();
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, got);
  int status = pclose(pipe);
  return WIFEXITED(status) && WEXITSTATUS(status) != 127;
#endif
}

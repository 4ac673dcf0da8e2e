#include "tools/korvo/output_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "tools/korvo/file_system.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace korvo {
namespace {

// The temporary file being written, for the interrupt handler: a fixed
// buffer, since the handler may only read plain memory (on Windows the wide
// name, which the handler removes with the wide function).
#ifdef _WIN32
wchar_t pendingTemporary[4096];
#else
char pendingTemporary[4096];
#endif
volatile sig_atomic_t havePending = 0;

void RemovePending(int signalNumber) {
#ifdef _WIN32
  if (havePending) _wremove(pendingTemporary);
#else
  if (havePending) remove(pendingTemporary);
#endif
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

std::string TemporaryNameFor(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return folder + "." + name + "." + std::to_string(getpid()) + ".part";
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const Bytes& bytes, std::string* error) {
  std::string temporary = TemporaryNameFor(path);
#ifdef _WIN32
  std::wstring pending = WideOf(temporary);
#else
  const std::string& pending = temporary;
#endif
  if (pending.size() >= sizeof pendingTemporary / sizeof pendingTemporary[0]) {
    *error = "path too long";
    return false;
  }
  memcpy(pendingTemporary, pending.c_str(), (pending.size() + 1) * sizeof pendingTemporary[0]);
  havePending = 1;
  FILE* file = OpenFile(temporary, "wb");
  if (file == nullptr) {
    havePending = 0;
    *error = std::string("cannot create: ") + strerror(errno);
    return false;
  }
  bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  int writeError = errno;
  if (fclose(file) != 0 && written) {
    written = false;
    writeError = errno;
  }
  if (written && !RenameOver(temporary, path)) {
    written = false;
    writeError = errno;
  }
  if (!written) {
    RemoveFile(temporary);
    *error = std::string("cannot write: ") + strerror(writeError);
  }
  havePending = 0;
  return written;
}

void CleanUpOnInterrupt() {
  signal(SIGINT, RemovePending);
  signal(SIGTERM, RemovePending);
}

}  // namespace korvo

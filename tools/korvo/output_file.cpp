#include "tools/korvo/output_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace korvo {
namespace {

// The temporary file being written, for the interrupt handler: a fixed
// buffer, since the handler may only read plain memory.
char pendingTemporary[4096];
volatile sig_atomic_t havePending = 0;

void RemovePending(int signalNumber) {
  if (havePending) remove(pendingTemporary);
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

std::string TemporaryNameFor(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return folder + "." + name + "." + std::to_string(getpid()) + ".part";
}

// Renames over an existing file on both systems; errno tells why not.
bool ReplaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) return true;
  errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return false;
#else
  return rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const Bytes& bytes, std::string* error) {
  std::string temporary = TemporaryNameFor(path);
  if (temporary.size() >= sizeof pendingTemporary) {
    *error = "path too long";
    return false;
  }
  memcpy(pendingTemporary, temporary.c_str(), temporary.size() + 1);
  havePending = 1;
  FILE* file = fopen(temporary.c_str(), "wb");
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
  if (written && !ReplaceFile(temporary, path)) {
    written = false;
    writeError = errno;
  }
  if (!written) {
    remove(temporary.c_str());
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

// Names as the system's file system tells them apart. Windows compares file
// names ordinally without case, by its own upper-case table, which no
// portable folding matches exactly; POSIX file systems compare bytes.
#pragma once

#include <set>
#include <string>

namespace korvo {

class FileSystemNames {
 public:
  FileSystemNames();
  // True, once it holds the UTF-8 name, when the file system would take it
  // for none of the names held so far.
  bool Take(const std::string& utf8);

 private:
#ifdef _WIN32
  std::set<std::wstring, bool (*)(const std::wstring&, const std::wstring&)> names_;
#else
  std::set<std::string> names_;
#endif
};

}  // namespace korvo

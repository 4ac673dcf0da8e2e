// A UTF-8 path as the format libraries' HostPath takes it: UTF-16 on
// Windows, so that every name opens; the bytes as they are elsewhere.
#pragma once

#include <string>

#include "host-contract/host_path.h"

namespace korvo {

class NativePath {
 public:
  explicit NativePath(const std::string& utf8);
  // Valid while this NativePath lives.
  HostPath Host() const;

 private:
#ifdef _WIN32
  std::wstring text_;
#else
  std::string text_;
#endif
};

}  // namespace korvo

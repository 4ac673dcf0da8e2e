#include "tools/host/platform/native_path.h"

#include "tools/host/platform/code_pages.h"

namespace korvo {

#ifdef _WIN32
NativePath::NativePath(const std::string& utf8) : text_(WideOf(utf8)) {}
#else
NativePath::NativePath(const std::string& utf8) : text_(utf8) {}
#endif

HostPath NativePath::Host() const { return HostPath(text_.c_str()); }

}  // namespace korvo

#include "tools/host/platform/file_system_names.h"

#ifdef _WIN32
#include <windows.h>

#include "tools/host/platform/code_pages.h"
#endif

namespace korvo {

#ifdef _WIN32

FileSystemNames::FileSystemNames()
    : names_([](const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                    static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
      }) {}

bool FileSystemNames::Take(const std::string& utf8) { return names_.insert(WideOf(utf8)).second; }

#else

FileSystemNames::FileSystemNames() = default;

bool FileSystemNames::Take(const std::string& utf8) { return names_.insert(utf8).second; }

#endif

}  // namespace korvo

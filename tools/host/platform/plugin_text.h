// The one place that chooses between a plug-in's 8-bit export and its W
// twin, and turns korvo's UTF-8 into what each takes: on Windows UTF-16 for
// the W exports and the system code page for the 8-bit ones; elsewhere the
// 8-bit exports with the bytes as they are.
#pragma once

#include <string>

#include "host-contract/host_contract.h"
#include "tools/host/platform/code_pages.h"

namespace korvo {

// A path for the 8-bit entry points: on Windows in the system code page,
// false when the path has characters that code page cannot spell.
bool EightBitPath(const std::string& path, std::string* eightBit);

// The path as the 8-bit entry points take it, whether or not it can be
// spelt: a name the code page lacks will not open.
std::string EightBitOf(const std::string& path);

// `call` gets the paths in UTF-16 when `wide` (on Windows only), else in 8
// bits, and picks the export of that character type with ExportFor.
template <typename Call, typename... Paths>
int CallWithPaths(bool wide, Call call, const Paths&... paths) {
#ifdef _WIN32
  if (wide) return call(WideOf(paths)...);
#else
  (void)wide;
#endif
  return call(EightBitOf(paths)...);
}

template <typename Narrow, typename Wide>
Narrow ExportFor(Narrow narrow, Wide, const std::string&) {
  return narrow;
}
#ifdef _WIN32
template <typename Narrow, typename Wide>
Wide ExportFor(Narrow, Wide wide, const std::wstring&) {
  return wide;
}
#endif

// The name of a listing record in the archive's bytes. A W record carries
// the name as the plug-in decoded it from the system code page; encoding it
// back gives the stored bytes where the code page round-trips them.
std::string StoredNameOf(const fileInfo& record);
std::string StoredNameOf(const fileInfoW& record);  // Windows only, where W exports are called

}  // namespace korvo

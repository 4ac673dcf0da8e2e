// Text between UTF-16 and the bytes of a Windows code page (CP_UTF8, CP_ACP,
// 932, ...): the one place the tools convert, for file names, arguments,
// the plug-ins' 8-bit paths and records, and entry names.
#pragma once

#ifdef _WIN32
#include <string>

namespace korvo {

// `bytes` of code page `codePage` in UTF-16. With `strict`, false when some
// byte does not decode (and `wide` is then empty); otherwise such bytes
// become U+FFFD or the code page's stand-in.
bool WideOfCodePage(unsigned codePage, const std::string& bytes, std::wstring* wide,
                    bool strict = false);

// UTF-16 in code page `codePage`. With `strict`, false when some character
// has no form of its own there (no best-fit or default stand-ins).
bool CodePageOfWide(unsigned codePage, const std::wstring& wide, std::string* bytes,
                    bool strict = false);

// The common cases: UTF-8 and UTF-16, as paths and arguments are converted.
std::wstring WideOf(const std::string& utf8);
std::string Utf8OfWide(const std::wstring& wide);

}  // namespace korvo
#endif

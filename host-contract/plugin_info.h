// The information-string query both plug-ins answer through GetPluginInfo.
#pragma once

#include "platform/platform.h"

namespace korvo {

// One line naming the maker, behind the description of information string 1.
#define KORVO_MAKER_NOTICE "Copyright (C) 2026 the KORVO project"

constexpr int kInformationStringCount = 4;

// The information strings of the plug-in being built: each plug-in defines
// its own (its information.cpp) beside the shared GetPluginInfo exports.
extern const char* const kPluginInformationStrings[kInformationStringCount];

// Copies information string `infono` of `strings` into buf as GetPluginInfo
// does: the whole string when buflen (taken as unsigned) holds it, else its
// first buflen bytes with the last one turned into a NUL. Returns the
// characters written before the NUL; 0 and nothing written for an infono out
// of range, a buflen of 0 or a null buf.
int CopyInformationString(const char* const (&strings)[kInformationStringCount], int infono,
                          char* buf, int buflen);

// GetPluginInfoW: the same string in UTF-16 (the strings are ASCII), with
// buflen counted in WCHARs and the same rules. A null buf gets nothing
// written and 0, as it does through the 8-bit query.
int CopyInformationStringW(const char* const (&strings)[kInformationStringCount], int infono,
                           WCHAR* buf, int buflen);

}  // namespace korvo

#include "host-contract/plugin_info.h"

#include <cstring>

namespace korvo {

namespace {

// Copies as many units of information string `infono` as the query's rules
// allow into buf, the last one a NUL; the count before the NUL.
template <typename Unit>
int CopyString(const char* const (&strings)[kInformationStringCount], int infono, Unit* buf,
               int buflen) {
  if (static_cast<unsigned>(infono) >= kInformationStringCount || buf == nullptr) return 0;
  const char* text = strings[infono];
  unsigned needed = static_cast<unsigned>(strlen(text)) + 1;
  unsigned room = static_cast<unsigned>(buflen);
  unsigned copied = room >= needed ? needed : room;
  if (copied == 0) return 0;
  for (unsigned i = 0; i + 1 < copied; ++i) buf[i] = static_cast<Unit>(static_cast<unsigned char>(text[i]));
  buf[copied - 1] = 0;
  return static_cast<int>(copied - 1);
}

}  // namespace

int CopyInformationString(const char* const (&strings)[kInformationStringCount], int infono,
                          char* buf, int buflen) {
  return CopyString(strings, infono, buf, buflen);
}

int CopyInformationStringW(const char* const (&strings)[kInformationStringCount], int infono,
                           WCHAR* buf, int buflen) {
  return CopyString(strings, infono, buf, buflen);
}

}  // namespace korvo

#include "host-contract/plugin_info.h"

#include <cstring>

namespace korvo {

int CopyInformationString(const char* const (&strings)[kInformationStringCount], int infono,
                          char* buf, int buflen) {
  if (static_cast<unsigned>(infono) >= kInformationStringCount) return 0;
  const char* text = strings[infono];
  unsigned needed = static_cast<unsigned>(strlen(text)) + 1;
  unsigned room = static_cast<unsigned>(buflen);
  unsigned copied = room >= needed ? needed : room;
  if (copied == 0) return 0;
  memcpy(buf, text, copied);
  buf[copied - 1] = '\0';
  return static_cast<int>(copied - 1);
}

}  // namespace korvo

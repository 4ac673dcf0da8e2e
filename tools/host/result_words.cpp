#include "tools/host/result_words.h"

namespace korvo {
namespace {

enum Call { kPicture, kArchive, kEntry, kEntryToFolder };

struct CodeWords {
  int code;
  const char* words[4];  // by Call
};

// Most codes read the same for every call; the ones that depend on what was
// asked for say it in the caller's terms.
const CodeWords kWords[] = {
    {-1, {"not a picture this plug-in decodes", "not a supported archive",
          "no entry at that position", "the plug-in does not write into folders"}},
    {1, {"cancelled", "cancelled", "cancelled", "cancelled"}},
    {2, {"not a supported picture", "not a supported archive", "not a supported archive",
         "the plug-in refuses the entry's name as a file name, or the archive"}},
    {3, {"damaged picture", "damaged archive", "damaged entry", "damaged entry"}},
    {4, {"out of memory", "out of memory", "out of memory", "out of memory"}},
    {5, {"memory error in the plug-in", "memory error in the plug-in",
         "memory error in the plug-in", "memory error in the plug-in"}},
    {6, {"cannot read the file, or it ends inside the picture",
         "cannot read the archive, or it ends inside its directory",
         "file ends inside an entry",
         "cannot write into the folder, or the file ends inside the entry"}},
    {8, {"internal error in the plug-in", "internal error in the plug-in",
         "internal error in the plug-in", "internal error in the plug-in"}},
};

Call CallOf(const std::string& function) {
  if (function == "GetFile") return kEntry;
  if (function == "GetFile to a folder") return kEntryToFolder;
  if (function == "GetArchiveInfo" || function == "GetFileInfo") return kArchive;
  return kPicture;
}

}  // namespace

std::string ResultWords(const std::string& function, int code) {
  for (const CodeWords& entry : kWords)
    if (entry.code == code) return entry.words[CallOf(function)];
  return "unknown result code";
}

std::string ResultMessage(const std::string& plugin, const std::string& function, int code) {
  return ResultWords(function, code) + " (" + plugin + " " + function + " returned " +
         std::to_string(code) + ")";
}

}  // namespace korvo

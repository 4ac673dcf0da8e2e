#include "tools/korvo/names/output_names.h"

#include "common/ascii.h"
#include "common/case_folding.h"
#include "common/windows_names.h"
#include "tools/korvo/names/utf8_text.h"


namespace korvo {
namespace {

// The text with every character a file name cannot carry safely as '_'.
std::string SafeCharacters(const std::string& text) {
  std::string safe;
  for (size_t at = 0; at < text.size();) {
    size_t length = Utf8SequenceLength(text, at);
    bool refused = length == 0 || IsTerminalControl(CodePointAt(text, at, length)) ||
                   IsForbiddenNameUnit(UnitValue(text[at]));
    safe += refused ? std::string("_") : text.substr(at, length);
    at += length == 0 ? 1 : length;
  }
  return safe;
}

// The name as Unicode simple case folding sees it.
std::u32string Folded(const std::string& utf8) {
  std::u32string folded;
  for (size_t at = 0; at < utf8.size();) {
    size_t length = Utf8SequenceLength(utf8, at);
    folded += length == 0 ? 0xFFFD : FoldCase(CodePointAt(utf8, at, length));
    at += length == 0 ? 1 : length;
  }
  return folded;
}

// True when the name is new under every rule, which then holds it.
bool TakeName(const std::string& name, UsedNames* used) {
  if (used->folded.count(Folded(name)) != 0) return false;
  if (!used->system.Take(name)) return false;
  used->folded.insert(Folded(name));
  return true;
}

}  // namespace


void SplitExtension(const std::string& name, std::string* stem, std::string* extension) {
  size_t part = name.find_last_of("/\\");
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (part != std::string::npos && dot < part)) dot = name.size();
  *stem = name.substr(0, dot);
  *extension = name.substr(dot);
}

std::string OutputName(const std::string& name, const std::string& extension, UsedNames* used) {
  std::string stem, own;
  SplitExtension(name, &stem, &own);
  stem = SafeCharacters(stem);
  std::string tail = SafeCharacters(extension.empty() ? own : extension);
  // Windows drops dots and spaces from a name's end.
  std::string& last = tail.empty() ? stem : tail;
  for (size_t end = last.size(); end > 0 && (last[end - 1] == '.' || last[end - 1] == ' '); --end)
    last[end - 1] = '_';
  if (stem.empty()) stem = "_";
  if (IsDeviceName((stem + tail).c_str())) stem = "_" + stem;
  std::string result = stem + tail;
  for (int copy = 2; !TakeName(result, used); ++copy)
    result = stem + "~" + std::to_string(copy) + tail;
  return result;
}

}  // namespace korvo

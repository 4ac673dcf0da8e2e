// The program's entry, where each system hands over its command line: the
// words, in UTF-8, go to the program's RunProgram.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace korvo {

// The program itself, defined by it: runs with the words of its command
// line (made by `words`, which may run out of memory) and answers its exit
// status. Nothing escapes it.
int RunProgram(const std::function<std::vector<std::string>()>& words) noexcept;

}  // namespace korvo

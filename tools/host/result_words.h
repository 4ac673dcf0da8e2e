// The plug-ins' result codes in words, for one-line error messages.
#pragma once

#include <string>

namespace korvo {

// What `code` means when `function` ("GetFile", "GetPicture"...) returns it.
// Codes of the interface that KORVO's plug-ins never return (1 cancelled,
// 3 damaged data, 5 memory error, 8 internal error) are named too, since
// korvo loads any plug-in of the interface.
std::string ResultWords(const std::string& function, int code);

// "file ends inside an entry (AXKORVO.so GetFile returned 6)"
std::string ResultMessage(const std::string& plugin, const std::string& function, int code);

}  // namespace korvo

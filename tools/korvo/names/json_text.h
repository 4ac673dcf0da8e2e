// Text for JSON output (RFC 8259).
#pragma once

#include <string>

namespace korvo {

// A JSON string holding `text`: well-formed UTF-8 passes through (no
// overlong forms, surrogates or code points past U+10FFFF), quotes,
// backslashes and control characters are escaped, and every other byte b
// becomes \u00bb, so the result is valid JSON whatever the bytes.
std::string JsonString(const std::string& text);

// The bytes as lower-case hex digits: "89e6".
std::string HexOf(const std::string& bytes);

}  // namespace korvo

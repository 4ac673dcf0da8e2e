// Text in an encoding the system converts, to and from UTF-8: iconv and its
// names on Linux; on Windows the code page functions, under the names iconv
// users type ("cp932", "utf-8", "euc-jp") or any code page by number.
#pragma once

#include <functional>
#include <string>

namespace korvo {

struct TextEncoding {
  std::string name;       // as the user spelt it: "cp932", "utf-8", "EUC-JP"
  unsigned codePage = 0;  // Windows: the code page it names
};

// Looks the encoding up; false when the system does not know it.
bool FindTextEncoding(const std::string& name, TextEncoding* encoding);

// What stands in the decoded text for a byte that starts no character.
using ByteShown = std::function<std::string(unsigned char)>;

// `stored` in UTF-8, each byte that does not decode replaced by what
// `undecodable` makes of it.
std::string DecodeText(const TextEncoding& encoding, const std::string& stored,
                       const ByteShown& undecodable);

// UTF-8 text in the encoding; false when some character has no form of its
// own there (no best-fit stand-ins).
bool EncodeText(const TextEncoding& encoding, const std::string& utf8, std::string* stored);

}  // namespace korvo

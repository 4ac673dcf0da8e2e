// Entry names as archives store them, in an encoding of the user's choice
// (code page 932 unless told otherwise), and as korvo shows and writes them:
// UTF-8.
#pragma once

#include <string>

#include "tools/host/platform/text_encoding.h"

namespace korvo {

constexpr char kDefaultNameEncoding[] = "cp932";

using NameEncoding = TextEncoding;

// Looks the encoding up; fails with a message when the system does not know it.
bool FindNameEncoding(const std::string& name, NameEncoding* encoding, std::string* error);

// The stored name in UTF-8; fails when some byte does not decode.
bool DecodeName(const NameEncoding& encoding, const std::string& stored, std::string* utf8);

// The stored name for listings: UTF-8, with every byte that does not decode,
// and every control character, written as \xNN.
std::string DisplayName(const NameEncoding& encoding, const std::string& stored);

// A UTF-8 name in the archive's encoding; fails when some character has no
// form there.
bool EncodeName(const NameEncoding& encoding, const std::string& utf8, std::string* stored);

// The separator byte ('\\' or '/') that some character of the UTF-8 name
// becomes on its own in the archive's encoding ("¥" is 0x5C in cp932), or
// 0; a trail byte of 0x5C inside a double-byte character does not count.
int SeparatorByteOf(const NameEncoding& encoding, const std::string& utf8);

}  // namespace korvo

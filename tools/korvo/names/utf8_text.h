// UTF-8 as korvo reads it in names: well-formed sequences only.
#pragma once

#include <cstdint>
#include <string>

namespace korvo {

// Length of the well-formed UTF-8 sequence at text[at] (no overlong forms,
// surrogates or code points past U+10FFFF), 1 for ASCII, 0 for none.
size_t Utf8SequenceLength(const std::string& text, size_t at);

// The code point of the sequence at text[at], `length` bytes long.
uint32_t CodePointAt(const std::string& text, size_t at, size_t length);

// Characters a terminal acts on instead of showing: C0 and C1 controls, DEL,
// and the bidirectional embeddings, overrides, isolates and marks, which
// can make a name read as another.
bool IsTerminalControl(uint32_t codePoint);

}  // namespace korvo

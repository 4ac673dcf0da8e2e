// The names under which the entries are listed: "%08X.QKZ" of an offset-table
// entry's position and "%s.QKZ" of a named entry's stored name. Built here
// byte by byte instead of through the system's formatter, which costs more
// than all the other work a parse does for an entry; the bytes are the same.
#pragma once

#include <cstdint>

namespace korvo {

constexpr uint32_t kPositionNameBytes = 13;  // eight digits, ".QKZ" and the NUL

// Eight upper-case hexadecimal digits with leading zeros, then ".QKZ".
void FormatPositionName(uint32_t position, char (&name)[kPositionNameBytes]);

// The `length` bytes of `stored`, then ".QKZ" and the NUL; `name` holds at
// least length + 5 bytes.
void FormatStoredName(const char* stored, uint32_t length, char* name);

}  // namespace korvo

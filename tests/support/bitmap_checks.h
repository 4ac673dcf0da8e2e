// The one check of a decoded bitmap against the QKZ picture it came from.
#pragma once

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/support/test_files.h"

// The two handles of a successful GetPicture hold `picture` (a complete QKZ
// picture; bytes after its rows are ignored) as a host must receive it: both
// unlocked; a 40-byte BITMAPINFOHEADER of its width and height, one plane, 8
// bits and nothing else; its palette's colours in blue, green, red order with
// 0 in the fourth byte, whatever the picture's reserved bytes hold; its rows
// bottom-up, fill bytes included. Safe to call from any thread.
testing::AssertionResult BitmapIs(HLOCAL info, HLOCAL pixels, const Bytes& picture);

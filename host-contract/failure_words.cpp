#include "host-contract/failure_words.h"

#include <cstddef>

namespace korvo {
namespace {

// By reason, in the enum's order.
const char* const kWords[] = {
    "",
    "the file cannot be opened",
    "the file's size cannot be taken",
    "a field lies at 2 GiB or beyond, where no seek reaches",
    "the file ends inside a field or the rows",
    "a field is wider than the reader's window",
    "out of memory",
    "an entry's position is 0",
    "an entry's position lies at or past the end of the file",
    "an entry starts before the one before it",
    "a picture's head claims more than 4 GiB",
    "an entry holds less than its picture's head needs",
    "an entry name of 32 bytes has no NUL",
    "no entry is named Palette",
    "the archive is of the other layout",
    "the archive changed on disk since it was listed",
    "no entry starts at that position",
    "no entry has that name",
    "no place for the result",
    "no memory image",
    "the name does not end in .QKZ",
    "the picture file cannot be opened",
    "the file is shorter than a picture's 1032-byte head",
    "not a QKZ picture head (width or height 0, a top bit set, or over 4 GiB)",
    "the image ends inside its rows",
    "archives are read from files only",
    "an entry name could leave the folder or reach a device",
    "no folder was named",
    "the folder's name ends inside a double-byte character",
    "no new file can be created in the folder",
    "writing the new file failed",
    "the new file could not take the entry's name",
};
static_assert(sizeof kWords / sizeof kWords[0] == static_cast<size_t>(kLastFailure) + 1,
              "one text for each reason");

}  // namespace

const char* FailureWords(Failure failure) {
  const auto index = static_cast<size_t>(failure);
  return index < sizeof kWords / sizeof kWords[0] ? kWords[index] : "unknown failure";
}

}  // namespace korvo

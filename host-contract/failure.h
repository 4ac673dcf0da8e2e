// Why an operation of either plug-in failed. The parsers, the archive reader,
// the extracts, the directory lookups and the import filter's decode,
// description and support test say what happened; the exports turn that into
// the host's result code in one place, ResultCodeOf. Several reasons share a
// code: a host sees only the code, a test and a debugger the reason.
#pragma once

#include <cstdint>

namespace korvo {

enum class Failure : uint8_t {
  kNone,

  // The file (6).
  kCannotOpen,            // the archive file cannot be opened
  kSizeUnknown,           // the archive's size cannot be taken
  kUnreachablePosition,   // a field at 2^31 or beyond: no seek reaches it
  kFileEndsEarly,         // fewer bytes arrived than a field or the rows need
  kFieldLargerThanWindow, // a view wider than a reader window, or without windows

  // Memory (4).
  kNoMemory,  // a block could not be allocated or locked, or is too large to ask for

  // Archive structure (2).
  kEntryPositionZero,        // a table slot or name record gives position 0
  kEntryPositionPastEnd,     // a table slot or name record gives a position at or past the end
  kOffsetsNotAscending,      // the next entry starts before this one
  kPictureOver4GiB,          // a head's width and height need more than 2^32 bytes
  kEntryTooSmallForPicture,  // the entry holds less than its head's picture needs
  kNameWithoutNul,           // 32 name bytes without a NUL
  kNoPaletteEntry,           // a named-entry archive without an entry named Palette
  kNotThisLayout,            // the cached directory for the path is another layout's
  kEntryChangedOnDisk,       // the entry no longer matches its record: the file changed

  // Lookups (-1).
  kNoEntryAtPosition,  // no entry of the directory starts at the position asked for
  kNoEntryNamed,       // no entry has the name asked for, or no name was given

  // Pictures and the host's parameters (2; see MemoryDecodeResultCodeOf).
  kNullOutput,              // no record or handle slot to store the result in
  kNullImage,               // memory input at address 0
  kWrongExtension,          // a picture file whose name does not end in ".QKZ"
  kPictureFileCannotOpen,   // a picture file that cannot be opened is not one
  kHeadTooShort,            // fewer than the head's 1032 bytes
  kNotQkzHead,              // width or height 0, a top bit set, or over 2^32 bytes
  kImageShorterThanPicture, // a memory image whose length ends inside its rows

  // The host's parameters to the extractor (the call's refusal code).
  kArchiveInMemory,  // memory input: the extractor reads archive files only

  // Output to a folder (2 for the name; 6, or 4 for the paths' block).
  kUnsafeEntryName,            // a name that could leave the folder or reach a device
  kNoFolderNamed,              // an empty folder name
  kFolderEndsInsideCharacter,  // the folder's last byte leads a double-byte character
  kCannotCreateOutput,         // no new file could be created in the folder
  kCannotWriteOutput,          // a write or the close of the new file failed
  kCannotRenameOutput,         // the new file could not take the entry's name
};

// The last reason, for code that walks them all.
constexpr Failure kLastFailure = Failure::kCannotRenameOutput;

// What an entry point answers: kNone, or why it failed and whether it
// refused the call before any work (memory input, no place for the result,
// a file no layout recognises, whatever the parse's reason). A refusal is
// answered with the call's own refusal code, any other failure with its
// reason's.
struct Outcome {
  Failure reason = Failure::kNone;
  bool refused = false;
};

inline Outcome Refusal(Failure reason) { return {reason, true}; }

// The host's code for `outcome`: `refusalCode` for a refusal, else ResultCodeOf.
int ResultCodeOf(const Outcome& outcome, int refusalCode);

// The host's result code for `failure`: 0 for kNone only, otherwise -1, 2, 4
// or 6 as listed above.
int ResultCodeOf(Failure failure);

// GetPicture and GetPreview with memory input answer -1 (not handled) for an
// image they do not take, where every other call answers 2; other codes are
// ResultCodeOf's.
int MemoryDecodeResultCodeOf(Failure failure);

}  // namespace korvo

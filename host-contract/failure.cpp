#include "host-contract/failure.h"

#include "host-contract/host_contract.h"

namespace korvo {

int ResultCodeOf(Failure failure) {
  // Every reason is listed, no default: a reason added without a code does
  // not compile (-Wswitch).
  switch (failure) {
    case Failure::kNone:
      return kResultSuccess;
    case Failure::kCannotOpen:
    case Failure::kSizeUnknown:
    case Failure::kUnreachablePosition:
    case Failure::kFileEndsEarly:
    case Failure::kFieldLargerThanWindow:
      return kResultFileError;
    case Failure::kNoMemory:
      return kResultMemoryError;
    case Failure::kEntryPositionZero:
    case Failure::kEntryPositionPastEnd:
    case Failure::kOffsetsNotAscending:
    case Failure::kPictureOver4GiB:
    case Failure::kEntryTooSmallForPicture:
    case Failure::kNameWithoutNul:
    case Failure::kNoPaletteEntry:
    case Failure::kNotThisLayout:
    case Failure::kEntryChangedOnDisk:
      return kResultBadFormat;
    case Failure::kNoEntryAtPosition:
    case Failure::kNoEntryNamed:
      return kResultNotHandled;
    case Failure::kNullOutput:
    case Failure::kNullImage:
    case Failure::kWrongExtension:
    case Failure::kPictureFileCannotOpen:
    case Failure::kHeadTooShort:
    case Failure::kNotQkzHead:
    case Failure::kImageShorterThanPicture:
    case Failure::kArchiveInMemory:
    case Failure::kUnsafeEntryName:
      return kResultBadFormat;
    case Failure::kNoFolderNamed:
    case Failure::kFolderEndsInsideCharacter:
    case Failure::kCannotCreateOutput:
    case Failure::kCannotWriteOutput:
    case Failure::kCannotRenameOutput:
      return kResultFileError;
  }
  return kResultBadFormat;  // no reason of this build: a failure all the same
}

int ResultCodeOf(const Outcome& outcome, int refusalCode) {
  return outcome.refused ? refusalCode : ResultCodeOf(outcome.reason);
}

int MemoryDecodeResultCodeOf(Failure failure) {
  const int code = ResultCodeOf(failure);
  return code == kResultBadFormat ? kResultNotHandled : code;
}

}  // namespace korvo

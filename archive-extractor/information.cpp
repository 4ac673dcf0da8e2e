// The archive extractor's information strings.
#include "archive-extractor/information.h"

namespace korvo {

const char* const kArchiveExtractorStrings[kInformationStringCount] = {
    "00AM",
    // One string: the description, a space and the notice.
    ("Brimmel Archive Extractor " KORVO_MAKER_NOTICE),
    "cg",
    "Brimmel Archives",
};

}  // namespace korvo

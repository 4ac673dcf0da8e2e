// Each failure reason in words, for a host that reaches the archive and
// picture engines directly and can say more than a result code does.
#pragma once

#include "host-contract/failure.h"

namespace korvo {

// "an entry's position lies at or past the end of the file"; "" for kNone.
const char* FailureWords(Failure failure);

}  // namespace korvo

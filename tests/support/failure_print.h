// GoogleTest shows a failure reason as its number in Failure and the result
// code a host would see for it.
#pragma once

#include <ostream>

#include "host-contract/failure.h"

namespace korvo {

inline void PrintTo(Failure failure, std::ostream* out) {
  *out << "Failure " << static_cast<int>(failure) << " (code " << ResultCodeOf(failure) << ")";
}

}  // namespace korvo

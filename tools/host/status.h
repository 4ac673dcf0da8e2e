// What a host operation came to: done, or why not, in words. The host
// library answers with it and only the commands print it, after the name
// of the file it concerns.
#pragma once

#include <string>
#include <utility>

namespace korvo {

struct Status {
  enum Kind {
    kDone,
    kNotTaken,  // no plug-in claims the file: it is not of a kind korvo knows
    kFailed,    // the file is of a kind korvo knows, and could not be handled
  };
  Kind kind = kDone;
  // The result code of the plug-in call that failed (-1 a refusal, 1 to 8 as
  // the interface numbers them); 0 when the host itself failed.
  int code = 0;
  std::string message;  // "file ends inside an entry (AXKORVO.so GetFile returned 6)"

  bool ok() const { return kind == kDone; }
};

inline Status Done() { return {}; }
inline Status Failed(std::string message, int code = 0) {
  return {Status::kFailed, code, std::move(message)};
}
inline Status NotTaken(std::string message) { return {Status::kNotTaken, 0, std::move(message)}; }

}  // namespace korvo

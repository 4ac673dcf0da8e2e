// The walk every host makes over its plug-ins for one file: the first
// plug-in that takes it and does what is asked.
#pragma once

#include <functional>
#include <string>

#include "common/bytes.h"
#include "tools/host/plugin_set.h"
#include "tools/host/status.h"

namespace korvo {

// Offers the file (`name`, as the plug-ins get it, and its head buffer) to
// the plug-ins of `kind` in folder order, and asks each one whose
// IsSupported takes it to `attempt` the work, until one succeeds. Where none
// takes it by its head, those whose file mask takes its name are asked all
// the same, so that the failure says what is wrong with the file rather than
// only that nobody took it.
//
// Answers the plug-in that succeeded, or nullptr with *status saying why:
// kFailed with the first failure of a plug-in that claims the file (its mask
// takes the name: an import filter may take any head and then refuse the
// file by name, which is no claim); else kNotTaken, with the first failure
// of any plug-in asked, or "not a supported picture (no import filter in
// DIR takes it)" and the like.
const Plugin* FirstTaker(const PluginSet& set, PluginKind kind, const std::string& name,
                         const Bytes& head, const std::function<Status(const Plugin&)>& attempt,
                         Status* status);

}  // namespace korvo

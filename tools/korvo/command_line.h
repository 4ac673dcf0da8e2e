// The command line of one korvo command: its options and its operands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace korvo {

struct OptionRule {
  const char* name;       // "--format"
  const char* shortName;  // "-o", or nullptr
  bool takesValue;
};

struct Arguments {
  std::vector<std::string> operands;
  std::map<std::string, std::string> options;  // by long name; "" for a flag
  std::string pluginDirectory;

  bool Has(const std::string& name) const { return options.count(name) != 0; }
  std::string Value(const std::string& name) const {
    auto found = options.find(name);
    return found == options.end() ? std::string() : found->second;
  }
};

// One command of korvo's table: its help, its options, how many operands it
// takes and what runs it.
struct Command {
  const char* name;
  const char* synopsis;
  const char* help;
  std::vector<OptionRule> options;
  size_t fewestOperands, mostOperands;
  int (*run)(const Arguments& arguments);
};

constexpr size_t kAnyCount = SIZE_MAX;

// Sorts `words` into options of `rules` ("--name VALUE", "--name=VALUE",
// "-o VALUE") and operands; "--" ends the options. Fails with a message on
// an unknown option, a missing value or an option given twice.
bool ParseArguments(const std::vector<std::string>& words, const std::vector<OptionRule>& rules,
                    Arguments* arguments, std::string* error);

}  // namespace korvo

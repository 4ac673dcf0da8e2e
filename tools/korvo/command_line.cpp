#include "tools/korvo/command_line.h"

namespace korvo {
namespace {

const OptionSpec* FindSpec(const std::vector<OptionSpec>& specs, const std::string& word) {
  for (const OptionSpec& spec : specs)
    if (word == spec.name || (spec.shortName != nullptr && word == spec.shortName)) return &spec;
  return nullptr;
}

}  // namespace

bool ParseArguments(const std::vector<std::string>& words, const std::vector<OptionSpec>& specs,
                    Arguments* arguments, std::string* error) {
  bool optionsEnded = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      arguments->operands.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    size_t equals = word.find('=');
    bool inlineValue = word.compare(0, 2, "--") == 0 && equals != std::string::npos;
    std::string name = inlineValue ? word.substr(0, equals) : word;
    const OptionSpec* spec = FindSpec(specs, name);
    if (spec == nullptr) {
      *error = "unknown option '" + name + "'";
      return false;
    }
    if (arguments->Has(spec->name)) {
      *error = "option '" + std::string(spec->name) + "' given twice";
      return false;
    }
    std::string value;
    if (inlineValue) {
      if (!spec->takesValue) {
        *error = "option '" + name + "' takes no value";
        return false;
      }
      value = word.substr(equals + 1);
    } else if (spec->takesValue) {
      if (i + 1 >= words.size()) {
        *error = "option '" + name + "' needs a value";
        return false;
      }
      value = words[++i];
    }
    arguments->options[spec->name] = value;
  }
  return true;
}

}  // namespace korvo

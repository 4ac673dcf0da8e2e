#include "tools/korvo/command_line.h"

namespace korvo {
namespace {

const OptionRule* FindRule(const std::vector<OptionRule>& rules, const std::string& word) {
  for (const OptionRule& rule : rules)
    if (word == rule.name || (rule.shortName != nullptr && word == rule.shortName)) return &rule;
  return nullptr;
}

}  // namespace

bool ParseArguments(const std::vector<std::string>& words, const std::vector<OptionRule>& rules,
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
    const OptionRule* rule = FindRule(rules, name);
    if (rule == nullptr) {
      *error = "unknown option '" + name + "'";
      return false;
    }
    if (arguments->Has(rule->name)) {
      *error = "option '" + std::string(rule->name) + "' given twice";
      return false;
    }
    std::string value;
    if (inlineValue) {
      if (!rule->takesValue) {
        *error = "option '" + name + "' takes no value";
        return false;
      }
      value = word.substr(equals + 1);
    } else if (rule->takesValue) {
      if (i + 1 >= words.size()) {
        *error = "option '" + name + "' needs a value";
        return false;
      }
      value = words[++i];
    }
    arguments->options[rule->name] = value;
  }
  return true;
}

}  // namespace korvo

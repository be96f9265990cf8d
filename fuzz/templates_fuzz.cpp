// The template file "SMS_tel_sablon.ini" and the classification against it:
// every template classifies a number it matches, and every line of the file
// is classified as a number too.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "IniReader.h"
#include "NumberTemplates.h"

namespace {

void Classify(const NumberTemplates& templates, const std::string& text) {
  std::string caption, description, suggestion;
  templates.ClassifyNumber(NumberTemplates::StripBlanks(text), caption, description, suggestion);
  templates.MatchesValidTemplate(suggestion);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  IniReader ini;
  ini.SetText(text);
  NumberTemplates templates;
  templates.Load(ini);
  for (const auto& [tmpl, pattern] : templates.ErrorTemplates()) {
    // A number of the template's shape, each 'A' a digit.
    std::string number = tmpl;
    int digit = 0;
    for (char& c : number)
      if (c == 'A') c = static_cast<char>('0' + digit++ % 10);
    Classify(templates, number);
    NumberTemplates::Rebuild(tmpl, pattern, number);
  }
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) Classify(templates, line);
  return 0;
}

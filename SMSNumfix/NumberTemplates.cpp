#include "NumberTemplates.h"

#include "IniReader.h"

namespace {

void ReadInto(const IniReader& ini, const char* section, NumberTemplates::TemplateMap& map)
{
    map.clear();
    for (const std::string& key : ini.ReadSection(section))
        map[key] = ini.ReadString(section, key, "");
}

} // namespace

NumberTemplates::ByLength NumberTemplates::Index(const TemplateMap& map)
{
    ByLength index;
    for (auto it = map.begin(); it != map.end(); ++it) index[it->first.size()].push_back(it);
    return index;
}

void NumberTemplates::Load(const IniReader& ini)
{
    ReadInto(ini, NumfixText::kErrorSection, errors_);
    ReadInto(ini, NumfixText::kValidSection, valid_);
    errorsByLength_ = Index(errors_);
    validByLength_ = Index(valid_);
}

std::string NumberTemplates::StripBlanks(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != ' ') out += c;
    return out;
}

bool NumberTemplates::Matches(const std::string& tmpl, const std::string& number)
{
    if (tmpl.size() != number.size()) return false;
    for (size_t i = 0; i < tmpl.size(); ++i) {
        if (tmpl[i] == 'A') {
            if (number[i] < '0' || number[i] > '9') return false;
        } else if (tmpl[i] != number[i]) {
            return false;
        }
    }
    return true;
}

std::string NumberTemplates::Rebuild(const std::string& tmpl, const std::string& pattern,
                                     const std::string& number)
{
    std::string out;
    out.reserve(pattern.size());
    size_t from = 0; // where the search for the template's next 'A' goes on
    for (char c : pattern) {
        if (c != 'A') {
            out += c;
            continue;
        }
        size_t at = from < tmpl.size() ? tmpl.find('A', from) : std::string::npos;
        if (at == std::string::npos || at >= number.size()) {
            from = tmpl.size();
            continue;
        }
        out += number[at];
        from = at + 1;
    }
    return out;
}

bool NumberTemplates::ClassifyNumber(const std::string& number, std::string& caption,
                                     std::string& description, std::string& suggestion) const
{
    if (auto group = errorsByLength_.find(number.size()); group != errorsByLength_.end()) {
        for (TemplateMap::const_iterator it : group->second) {
            if (!Matches(it->first, number)) continue;
            caption = it->first;
            description = NumfixText::kRepairable;
            suggestion = Rebuild(it->first, it->second, number);
            return true;
        }
    }
    if (MatchesValidTemplate(number)) {
        caption = NumfixText::kValidCaption;
        description = NumfixText::kValidDescription;
        suggestion = NumfixText::kValidSuggestion;
        return false;
    }
    caption = NumfixText::kUnmatchedCaption;
    description = NumfixText::kUnknownFormat;
    suggestion = NumfixText::kManualRepair;
    return true;
}

bool NumberTemplates::MatchesValidTemplate(const std::string& text) const
{
    const std::string number = StripBlanks(text);
    auto group = validByLength_.find(number.size());
    if (group == validByLength_.end()) return false;
    for (TemplateMap::const_iterator it : group->second)
        if (Matches(it->first, number)) return true;
    return false;
}

#pragma once
// The templates of "SMS_tel_sablon.ini" and the classification of a stored
// telephone number against them. In a template 'A' stands for one digit and
// every other character for itself.

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

class IniReader;

namespace NumfixText {
inline constexpr const char* kErrorSection = "HIBASABLONOK";
inline constexpr const char* kValidSection = "ERVENYES_SABLONOK";
inline constexpr const char* kRepairable = "Érvénytelen szám (javítható)";
inline constexpr const char* kValidCaption = "OK";
inline constexpr const char* kValidDescription = "Megfelelő számformátum";
inline constexpr const char* kValidSuggestion = "Rendben";
inline constexpr const char* kUnmatchedCaption = "Nincs illeszkedő sablon";
inline constexpr const char* kUnknownFormat = "Ismeretlen számformátum";
inline constexpr const char* kManualRepair = "Kézzel javítható";
} // namespace NumfixText

class NumberTemplates {
public:
    // Both maps order their templates byte by byte (unsigned), which decides
    // which of several matching templates wins.
    using TemplateMap = std::map<std::string, std::string>;

    NumberTemplates() = default;
    // The length index points into the maps, so a copy would point into ours.
    NumberTemplates(const NumberTemplates&) = delete;
    NumberTemplates& operator=(const NumberTemplates&) = delete;

    // Fills both maps from the two sections, replacing what they held.
    void Load(const IniReader& ini);

    // The number is expected without blanks. Returns whether it is listed.
    bool ClassifyNumber(const std::string& number, std::string& caption,
                        std::string& description, std::string& suggestion) const;

    // Blanks are removed from the text before it is matched.
    bool MatchesValidTemplate(const std::string& text) const;

    static std::string StripBlanks(const std::string& text);
    static bool Matches(const std::string& tmpl, const std::string& number);
    // Each 'A' of the pattern takes the number's digit under the next 'A' of
    // the template; a surplus 'A' of the pattern has no digit and adds nothing.
    static std::string Rebuild(const std::string& tmpl, const std::string& pattern,
                               const std::string& number);

    const TemplateMap& ErrorTemplates() const { return errors_; }

private:
    using ByLength = std::unordered_map<size_t, std::vector<TemplateMap::const_iterator>>;
    static ByLength Index(const TemplateMap& map);

    TemplateMap errors_;
    TemplateMap valid_;
    // Templates of one length in map order: only those can match a number.
    ByLength errorsByLength_;
    ByLength validByLength_;
};

#include "NumberTemplates.h"

#include "IniReader.h"

#include <gtest/gtest.h>

namespace {

// The template file the cases below classify against.
const char* kTemplates =
    "[HIBASABLONOK]\r\n"
    "06AA/AAAAAAA=(+36)AA/AAA-AA-AA:\r\n"
    "(36)AA/AAA-AA-AA:=(+36)AA/AAA-AA-AA:\r\n"
    "(36)1/AAA-AA-AA:=(+36)1/AAA-AA-AA:\r\n"
    "(36)A/AAA-AA-AA:=(+36)A/AAA-AA-AA:\r\n"   // 1 sorts before A: literal digit wins
    "+36AAAAAAAAA=(+36)AA/AAA-AA-AA:\r\n"
    "36AAAAAAAAa=(+36)AA/AAA-AA-A:a\r\n"       // small 'a' is a literal
    "0630/AAAAAAA=(+36)30/AAA-AA-AA:\r\n"      // both this and 06AA/... match 0630/...
    "(+36)AA/AAA-AA-AA:=WRONG\r\n"             // also a valid shape: the error wins
    "[ERVENYES_SABLONOK]\r\n"
    "(+AA)AA/AAA-AA-AA:=1\r\n"
    "(+AA)AA/AAA-AA-AA:AAAA=1\r\n"
    "(+AA)A/AAA-AA-AA:=1\r\n";

class NumberTemplatesTest : public testing::Test {
protected:
    void SetUp() override
    {
        IniReader ini;
        ini.SetText(kTemplates);
        templates.Load(ini);
    }
    NumberTemplates templates;
};

struct ClassifyCase {
    const char* number;
    const char* caption;
    const char* suggestion;
    bool listed;
};

TEST_F(NumberTemplatesTest, ClassifiesByFirstMatchingTemplateInByteOrder)
{
    using namespace NumfixText;
    const ClassifyCase cases[] = {
        {"0620/1234567", "06AA/AAAAAAA", "(+36)20/123-45-67:", true},
        {"(36)20/123-45-67:", "(36)AA/AAA-AA-AA:", "(+36)20/123-45-67:", true},
        // the literal '1' sorts before 'A' in the same place
        {"(36)1/234-56-78:", "(36)1/AAA-AA-AA:", "(+36)1/234-56-78:", true},
        {"(36)5/234-56-78:", "(36)A/AAA-AA-AA:", "(+36)5/234-56-78:", true},
        // "0630/..." sorts before "06AA/..."
        {"0630/1234567", "0630/AAAAAAA", "(+36)30/123-45-67:", true},
        {"+36201234567", "+36AAAAAAAAA", "(+36)20/123-45-67:", true},
        {"3620123456a", "36AAAAAAAAa", "(+36)20/123-45-6:a", true},
        {"3620123456A", kUnmatchedCaption, kManualRepair, true},   // small 'a' is literal
        {"(+36)20/123-45-67:", "(+36)AA/AAA-AA-AA:", "WRONG", true}, // error before valid
        {"(+36)1/234-56-78:", kValidCaption, kValidSuggestion, false},
        {"(+36)20/123-45-67:1234", kValidCaption, kValidSuggestion, false},
        {"06x0/1234567", kUnmatchedCaption, kManualRepair, true},  // letter under 'A'
        {"0620/123456", kUnmatchedCaption, kManualRepair, true},   // one digit short
        {"", kUnmatchedCaption, kManualRepair, true},
    };
    for (const ClassifyCase& c : cases) {
        std::string caption, description, suggestion;
        const bool listed = templates.ClassifyNumber(c.number, caption, description, suggestion);
        EXPECT_EQ(listed, c.listed) << c.number;
        EXPECT_EQ(caption, c.caption) << c.number;
        EXPECT_EQ(suggestion, c.suggestion) << c.number;
        const std::string expected = !c.listed                            ? kValidDescription
                                     : std::string(c.caption) == kUnmatchedCaption ? kUnknownFormat
                                                                                    : kRepairable;
        EXPECT_EQ(description, expected) << c.number;
    }
}

TEST_F(NumberTemplatesTest, ValidTemplateIgnoresBlanks)
{
    EXPECT_TRUE(templates.MatchesValidTemplate("(+36)20/123-45-67:    "));
    EXPECT_TRUE(templates.MatchesValidTemplate(" ( +36)20/123-45-67:"));
    EXPECT_TRUE(templates.MatchesValidTemplate("(+36)20/123-45-67:1234"));
    EXPECT_FALSE(templates.MatchesValidTemplate("(+36)20/123-45-6 :"));  // a digit missing
    EXPECT_FALSE(templates.MatchesValidTemplate("(+36)20/123-45-67:\t")); // only blanks go
    EXPECT_FALSE(templates.MatchesValidTemplate("(+  )  /   -  -  :    "));
}

TEST(NumberTemplates, StripBlanksRemovesOnlyCode32)
{
    EXPECT_EQ(NumberTemplates::StripBlanks(" (36) 20/123 45\t67: "), "(36)20/12345\t67:");
    EXPECT_EQ(NumberTemplates::StripBlanks("    "), "");
}

TEST(NumberTemplates, RebuildTakesDigitsInTemplateOrder)
{
    struct {
        const char* tmpl;
        const char* pattern;
        const char* number;
        const char* expected;
    } cases[] = {
        {"06AA/AAAAAAA", "(+36)AA/AAA-AA-AA:", "0620/1234567", "(+36)20/123-45-67:"},
        {"AA-AA", "AAAA", "12-34", "1234"},
        {"AA-AA", "A", "12-34", "1"},                    // fewer 'A's: the first digits
        {"AA", "(AAAA)", "12", "(12)"},                  // surplus 'A's add nothing
        {"x", "AAA", "x", ""},                           // template without 'A'
        {"AA", "a-b", "12", "a-b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NumberTemplates::Rebuild(c.tmpl, c.pattern, c.number), c.expected) << c.pattern;
}

TEST(NumberTemplates, EmptyFileListsEverythingForManualRepair)
{
    NumberTemplates templates;
    templates.Load(IniReader("/nonexistent/SMS_tel_sablon.ini"));
    std::string caption, description, suggestion;
    EXPECT_TRUE(templates.ClassifyNumber("(+36)20/123-45-67:", caption, description, suggestion));
    EXPECT_EQ(caption, NumfixText::kUnmatchedCaption);
    EXPECT_EQ(suggestion, NumfixText::kManualRepair);
}

TEST(NumberTemplates, RepeatedTemplateKeepsItsLastPattern)
{
    IniReader ini;
    ini.SetText("[HIBASABLONOK]\nAA=first\nAA=second\n");
    NumberTemplates templates;
    templates.Load(ini);
    std::string caption, description, suggestion;
    templates.ClassifyNumber("12", caption, description, suggestion);
    EXPECT_EQ(suggestion, "second");
    EXPECT_EQ(templates.ErrorTemplates().size(), 1u);
}

} // namespace

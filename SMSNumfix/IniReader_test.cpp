#include "IniReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

using Keys = std::vector<std::string>;

struct IniCase {
  const char* name;
  const char* text;
  const char* section;
  Keys keys;                                                // expected keys in file order
  std::vector<std::pair<std::string, std::string>> values;  // key -> expected value
};

// The case's name, so that the test list reads well.
void PrintTo(const IniCase& c, std::ostream* os) { *os << c.name; }

class IniReaderTable : public testing::TestWithParam<IniCase> {};

TEST_P(IniReaderTable, ReadsKeysAndValues) {
  const IniCase& c = GetParam();
  IniReader ini;
  ini.SetText(c.text);
  EXPECT_EQ(ini.ReadSection(c.section), c.keys);
  for (const auto& [key, value] : c.values)
    EXPECT_EQ(ini.ReadString(c.section, key, "<none>"), value) << "key " << key;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniReaderTable,
    testing::Values(IniCase{"CommentsAndEmptyLines",
                            "; heading\r\n[S]\r\n\r\n; 06AA=x\r\n  ;indented comment\r\nk=v\r\n",
                            "S",
                            {"k"},
                            {{"k", "v"}, {"06AA", "<none>"}}},
                    IniCase{"LinesBeforeFirstSectionIgnored",
                            "k=early\r\nnoise\r\n[S]\r\nk2=v2\r\n",
                            "S",
                            {"k2"},
                            {{"k", "<none>"}, {"k2", "v2"}}},
                    IniCase{"TrimmingOfLinesNamesKeysAndValues",
                            "\t[  S  ] \r\n  06AA/AAAAAAA \t=\t (+36)AA/AAA-AA-AA: \r\n",
                            "s",
                            {"06AA/AAAAAAA"},
                            {{"06AA/AAAAAAA", "(+36)AA/AAA-AA-AA:"}}},
                    IniCase{"SplitAtFirstEquals", "[S]\nk=a=b\n", "S", {"k"}, {{"k", "a=b"}}},
                    IniCase{"RepeatedSectionLastCounts",
                            "[S]\nold=1\n[T]\nt=1\n[s]\nnew=2\n",
                            "S",
                            {"new"},
                            {{"old", "<none>"}, {"new", "2"}}},
                    IniCase{"DuplicateKeysAnyCaseLastValue",
                            "[S]\nkey=1\nother=x\nKEY=2\nKey=3\n",
                            "S",
                            {"key", "other", "KEY", "Key"},
                            {{"key", "3"}, {"KEY", "3"}, {"kEy", "3"}, {"other", "x"}}},
                    IniCase{"LineWithoutEqualsGivesEmptyKey",
                            "[S]\njustText\nk=v\n",
                            "S",
                            {"", "k"},
                            {{"", ""}, {"k", "v"}}},
                    IniCase{"UnknownSectionIsEmpty", "[S]\nk=v\n", "NOPE", {}, {{"k", "<none>"}}},
                    IniCase{"LastLineWithoutLineEnd", "[S]\nk=v", "S", {"k"}, {{"k", "v"}}},
                    IniCase{"OnlyAsciiLettersFoldCase", "[ÁRAK]\n\xC1=1\n", "árak", {}, {}}),
    [](const testing::TestParamInfo<IniCase>& info) { return std::string(info.param.name); });

TEST(IniReader, MissingFileReadsAsNoSections) {
  IniReader ini("/nonexistent/folder/SMS_tel_sablon.ini");
  EXPECT_FALSE(ini.SectionExists("HIBASABLONOK"));
  EXPECT_TRUE(ini.ReadSection("HIBASABLONOK").empty());
}

TEST(IniReader, ReadsFileBytesAsTheyStand) {
  auto path = std::filesystem::temp_directory_path() / "IniReader_test.ini";
  {
    std::ofstream out(path, std::ios::binary);
    out << "[Szekció]\r\nkörzet=Győr\r\n";
  }
  IniReader ini(path.string());
  EXPECT_EQ(ini.ReadString("Szekció", "körzet", ""), "Győr");
  std::filesystem::remove(path);
}

TEST(IniReader, UnreadableFileThrowsAHungarianMessageNamingIt) {
  // A folder exists but cannot be read as a file.
  const std::string path = std::filesystem::temp_directory_path().string();
  try {
    IniReader reader(path);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "A fájl nem olvasható: " + path);
  }
}

}  // namespace

#include "TsvFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Values = std::vector<std::string>;

TEST(TsvFile, ReadsHeaderAndRowsWithTheirLines) {
  TsvFile f = TsvFile::Parse("\r\nID\tNEV\tMEGJ\r\n1\tKovács Éva\t\r\n\n2\t\tutolsó\n");
  EXPECT_EQ(f.headerLine, 2);
  EXPECT_EQ(f.header, (Values{"ID", "NEV", "MEGJ"}));
  ASSERT_EQ(f.rows.size(), 2u);
  EXPECT_EQ(f.rows[0].line, 3);
  EXPECT_EQ(f.rows[0].values, (Values{"1", "Kovács Éva", ""}));
  EXPECT_EQ(f.rows[1].line, 5);
  EXPECT_EQ(f.rows[1].values, (Values{"2", "", "utolsó"}));
}

TEST(TsvFile, KeepsValueBytesAsTheyStand) {
  // Blanks, quotes, backslashes and a CR inside a line belong to the value.
  TsvFile f = TsvFile::Parse("A\tB\n \"x\" \tC:\\a\rb\n");
  ASSERT_EQ(f.rows.size(), 1u);
  EXPECT_EQ(f.rows[0].values, (Values{" \"x\" ", "C:\\a\rb"}));
}

TEST(TsvFile, AHeaderWithoutRowsIsAnEmptyFile) {
  TsvFile f = TsvFile::Parse("A\tB");
  EXPECT_EQ(f.header.size(), 2u);
  EXPECT_TRUE(f.rows.empty());
}

TEST(TsvFile, RefusesBadFilesNamingTheLine) {
  struct Case {
    std::string text;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"", 0, "no header"},
      {"\r\n\n", 0, "no header"},
      {"A\t\tB\n", 1, "empty field name"},
      {"A\tB\t\n", 1, "empty field name"},
      {"A\ta\n", 1, "names a twice"},
      {"A\tB\n1\t2\n3\n", 3, "has 1 values, the header names 2"},
      {"A\tB\n1\t2\t3\n", 2, "has 3 values"},
      {std::string("A\tB\n1\t2\0\n", 10), 2, "NUL"},
      {"\xEF\xBB\xBF" "A\tB\n", 1, "UTF-8 byte-order mark"},
  };
  for (const Case& c : cases) {
    try {
      TsvFile::Parse(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const TsvFileError& e) {
      EXPECT_EQ(e.Line(), c.line) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(TsvFile, ReadFileNamesTheFileItCannotRead) {
  // A folder would otherwise read as an empty file.
  for (const std::string path : {"/nonexistent/data.tsv", "/"}) {
    try {
      TsvFile::ReadFile(path);
      ADD_FAILURE() << path;
    } catch (const TsvFileError& e) {
      EXPECT_EQ(std::string(e.what()), path + ": cannot read the file");
    }
  }
}

}  // namespace

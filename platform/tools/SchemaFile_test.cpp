#include "SchemaFile.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "ReadmeExample_testutil.h"

namespace {

TEST(SchemaFile, ReadsTheReadmeExample) {
  std::string text = ReadmeExample();
  ASSERT_FALSE(text.empty());
  SchemaFile file = SchemaFile::Parse(text);
  const qordb::SchemaDef& s = file.schema;
  EXPECT_EQ(s.name, "ALAP");
  EXPECT_EQ(file.id, 20);
  EXPECT_EQ(s.version[0], 1);
  EXPECT_EQ(s.version[1], 2);
  EXPECT_EQ(s.version[2], 0);
  EXPECT_EQ(s.version[3], 0);
  ASSERT_EQ(s.records.size(), 4u);
  EXPECT_EQ(s.records[2].name, "CIM");

  // The README's numbering: every line is a position, groups and keys too.
  const auto& cim = s.records[2].fields;
  ASSERT_EQ(cim.size(), 12u);
  EXPECT_EQ(cim[1].name, "CIM_OWNER");
  EXPECT_EQ(cim[1].keyKind, 'd');
  EXPECT_EQ(cim[0].keyKind, 'u');
  EXPECT_EQ(cim[2].keyKind, 'n');
  EXPECT_EQ(cim[4].type, 'g');
  EXPECT_EQ(cim[4].groupFields, 4);
  EXPECT_EQ(cim[5].name, "CIM_IRSZAM");
  EXPECT_EQ(cim[5].length, 11);
  EXPECT_EQ(cim[9].length, 1);
  EXPECT_TRUE(cim[9].isUnsigned);
  EXPECT_EQ(cim[10].type, 'F');
  EXPECT_EQ(cim[11].type, 'k');
  EXPECT_EQ(cim[11].keyKind, 'd');
  EXPECT_EQ(cim[11].components, (std::vector<std::string>{"CIM_OWNER", "CIM_TABLECODE", "CIMT_ID"}));

  const auto& eler = s.records[3].fields;
  std::string types;
  for (const auto& f : eler) types += f.type;
  EXPECT_EQ(types, "llslcsfdik");
  EXPECT_TRUE(eler[5].isUnsigned);
  EXPECT_EQ(eler[9].components.size(), 3u);
}

TEST(SchemaFile, ReadsEveryFormOfALine) {
  SchemaFile file = SchemaFile::Parse(
      "\t# leading comment\r\n"
      "database   demo\r\n"
      "record first   # trailing comment\r\n"
      "  a  c 1 unique unsigned\r\n"
      "  b  s unsigned\r\n"
      "  group outer\r\n"
      "    group inner\r\n"
      "      x l\r\n"
      "    end\r\n"
      "    y c 5\r\n"
      "  end\r\n"
      "  pair k(a,y) unique\r\n"
      "end\r\n");
  EXPECT_EQ(file.id, 0);
  EXPECT_EQ(file.schema.version[0], 1);
  const auto& f = file.schema.records.at(0).fields;
  ASSERT_EQ(f.size(), 7u);
  EXPECT_EQ(f[2].groupFields, 3);  // inner, x, y
  EXPECT_EQ(f[3].groupFields, 1);
  EXPECT_EQ(f[6].keyKind, 'u');
  EXPECT_EQ(f[6].components, (std::vector<std::string>{"a", "y"}));
}

TEST(SchemaFile, RefusesBadSchemasNamingTheLine) {
  struct Case {
    const char* text;
    int line;
    const char* message;  // part of the message
  };
  const std::string db = "database D\n";
  const Case cases[] = {
      {"", 0, "no \"database\" line"},
      {"\xEF\xBB\xBF" "database D\n", 1, "UTF-8 byte-order mark"},
      {"record R\n", 1, "must begin with a \"database\""},
      {"database D\n", 0, "no records"},
      {"database D\ndatabase E\n", 2, "second \"database\""},
      {"database SysDb\n", 1, "SYSDB"},
      {"database D id 19\n", 1, "19"},
      {"database D id 0\n", 1, "database id"},
      {"database D id x\n", 1, "database id"},
      {"database D version 1.2.3\n", 1, "four numbers"},
      {"database D version 1.2.3.4.5\n", 1, "four numbers"},
      {"database D version 1.2.3.\n", 1, "four numbers"},
      {"database D version 1..3.4\n", 1, "four numbers"},
      {"database D version\n", 1, "needs a value"},
      {"database D colour red\n", 1, "unknown word \"colour\""},
      {"database 9D\n", 1, "begins with a digit"},
      {"database D-1\n", 1, "only letters"},
      {"database D\nA c 5\n", 2, "outside a record"},
      {"database D\nend\n", 2, "outside a record"},
      {"database D\nrecord R\nA c 5\n", 2, "not closed"},
      {"database D\nrecord R\ngroup G\nA c 5\n", 3, "group is not closed"},
      {"database D\nrecord R\nA c 5\nrecord S\n", 4, "inside record R"},
      {"database D\nrecord R\nA c 5\nend\nrecord r\n", 5, "defined twice"},
      {"database D\nrecord R\nA c 5\na s\nend\n", 4, "defined twice"},
      {"database D\nrecord R\nA\nend\n", 3, "needs a type letter"},
      {"database D\nrecord R\nA x\nend\n", 3, "unknown type \"x\""},
      {"database D\nrecord R\nA cc 4\nend\n", 3, "unknown type"},
      {"database D\nrecord R\nA g\nend\n", 3, "unknown type"},
      {"database D\nrecord R\nA c\nend\n", 3, "needs a length"},
      {"database D\nrecord R\nA c 0\nend\n", 3, "needs a length"},
      {"database D\nrecord R\nA c 4097\nend\n", 3, "needs a length"},
      {"database D\nrecord R\nA c -4\nend\n", 3, "needs a length"},
      {"database D\nrecord R\nA s 2\nend\n", 3, "unknown word \"2\""},
      {"database D\nrecord R\nA l unique key\nend\n", 3, "key twice"},
      {"database D\nrecord R\nA i unsigned\nend\n", 3, "\"unsigned\" applies only"},
      {"database D\nrecord R\nA F unsigned\nend\n", 3, "\"unsigned\" applies only"},
      {"database D\nrecord R\nend\n", 2, "no data fields"},
      {"database D\nrecord R\ngroup G\nend\nend\n", 3, "gathers no fields"},
      {"database D\nrecord R\nA c 4096\nB c 4096\nC c 4096\nD c 4096\nE c 4096\nF c 4096\nG c 4096\n"
       "H c 4096\nend\n", 2, "longer than 32767"},
      {"database D23456789012345678901234567890AB\n", 1, "longer than 31"},
      {"database D\nrecord R\nA l\nK k A\nend\n", 4, "parentheses"},
      {"database D\nrecord R\nA l\nK k (A\nend\n", 4, "\")\" is missing"},
      {"database D\nrecord R\nA l\nK k ()\nend\n", 4, "names no fields"},
      {"database D\nrecord R\nA l\nK k (A a)\nend\n", 4, "twice"},
      {"database D\nrecord R\nA l\nK k (A B)\nend\n", 4, "does not have"},
      {"database D\nrecord R\nA l\ngroup G\nB l\nend\nK k (A G)\nend\n", 7, "group or compound key"},
      {"database D\nrecord R\nA l\ngroup G\nB l\nK k (A B)\nend\nend\n", 6, "inside a group"},
      {"database D\nrecord R\nA l\nend x\n", 4, "takes nothing"},
      {"database D\nrecord\n", 2, "exactly one name"},
      {"database D\nrecord R\ngroup\n", 3, "exactly one name"},
      {"database D\nrecord R\nA\x01 l\nend\n", 3, "only letters"},
      // The default key's number: the first record's second field may not be a key.
      {"database D\nrecord R\nA l\nB l unique\nend\n", 4, "field number 1"},
      {"database D\nrecord R\nA l\nB c 3 key\nend\n", 4, "field number 1"},
      {"database D\nrecord R\nA l\nK k (A)\nend\n", 4, "field number 1"},
  };
  for (const Case& c : cases) {
    try {
      SchemaFile::Parse(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const SchemaFileError& e) {
      EXPECT_EQ(e.Line(), c.line) << c.text << " -> " << e.what();
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.text << " -> " << e.what();
      if (c.line > 0) {
        EXPECT_EQ(std::string(e.what()).rfind("line " + std::to_string(c.line) + ": ", 0), 0u) << e.what();
      }
    }
  }
}

TEST(SchemaFile, RefusesANulByte) {
  const char text[] = "database D\nrecord R\nA l\0\nend\n";
  try {
    SchemaFile::Parse(std::string(text, sizeof text - 1));
    ADD_FAILURE();
  } catch (const SchemaFileError& e) {
    EXPECT_EQ(e.Line(), 3);
  }
}

TEST(SchemaFile, KeysAwayFromFieldNumberOneAreAccepted) {
  const char* accepted[] = {
      "database D\nrecord R\nA l unique\nB c 5\nC l key\nend\n",    // field 0 and 2 as keys
      "database D\nrecord R\nA l\nend\nrecord S\nA l\nB l unique\nend\n",  // field 1001
      "database D\nrecord R\nA l\nB l\nK k (A B) unique\nend\n",  // the compound key is field 2
  };
  for (const char* text : accepted) {
    EXPECT_NO_THROW(SchemaFile::Parse(text)) << text;
  }
}

TEST(SchemaFile, NumberingStaysWithinItsRecord) {
  auto schema = [](int fields) {
    std::ostringstream out;
    out << "database D\nrecord R\n";
    for (int i = 0; i < fields; ++i) out << "F" << i << " c 2\n";
    out << "end\n";
    return out.str();
  };
  EXPECT_NO_THROW(SchemaFile::Parse(schema(999)));
  try {
    SchemaFile::Parse(schema(1000));
    ADD_FAILURE() << "1000 fields accepted";
  } catch (const SchemaFileError& e) {
    EXPECT_EQ(e.Line(), 1002);
    EXPECT_NE(std::string(e.what()).find("more than 999 fields"), std::string::npos);
  }
  std::string records = "database D\n";
  for (int i = 0; i < 1000; ++i) records += "record R" + std::to_string(i) + "\nA l\nend\n";
  try {
    SchemaFile::Parse(records);
    ADD_FAILURE() << "1000 records accepted";
  } catch (const SchemaFileError& e) {
    EXPECT_EQ(e.Line(), 1 + 999 * 3 + 1);
  }
}

TEST(SchemaFile, ParseFileNamesTheFile) {
  try {
    SchemaFile::ParseFile("/nonexistent/schema.txt");
    ADD_FAILURE();
  } catch (const SchemaFileError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/schema.txt"), std::string::npos);
  }
  // CTest runs the cases as parallel processes: each needs a file of its own.
  std::string path = testing::TempDir() + "schemafile-XXXXXX";
  int fd = mkstemp(path.data());
  ASSERT_GE(fd, 0);
  close(fd);
  std::ofstream(path) << "database D\nrecord R\nA q\nend\n";
  try {
    SchemaFile::ParseFile(path);
    ADD_FAILURE();
  } catch (const SchemaFileError& e) {
    EXPECT_EQ(e.Line(), 3);
    EXPECT_EQ(std::string(e.what()).rfind(path + ", line 3: ", 0), 0u) << e.what();
  }
  std::remove(path.c_str());
}

// Garbage of every kind gets an error or a valid schema, never a crash.
TEST(SchemaFile, SurvivesGarbage) {
  std::mt19937 random(1250);
  const std::string words[] = {"database", "record", "group", "end", "k", "c", "s", "i", "l", "d", "f", "F",
                         "g", "unique", "key", "unsigned", "(", ")", ",", "#", "1", "0", "-1",
                         "99999", "id", "version", "1.0.0.0", "A", "B", "C", "\n", "\n", "\n", "\t",
                         "\r", "\xe1", std::string(1, '\0'), "D"};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    int n = static_cast<int>(random() % 60);
    if (round % 3 == 0) {
      for (int i = 0; i < n * 4; ++i) text += static_cast<char>(random() & 0xFF);
    } else {
      if (round % 3 == 1) text = "database D\nrecord R\n";
      for (int i = 0; i < n; ++i) {
        text += words[random() % std::size(words)];
        text += ' ';
      }
    }
    try {
      SchemaFile file = SchemaFile::Parse(text);
      EXPECT_FALSE(file.schema.records.empty());
    } catch (const SchemaFileError& e) {
      EXPECT_NE(std::string(e.what()), "");
    }
  }
}

}  // namespace

#include "WinFile.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace win {
namespace {

namespace fs = std::filesystem;

// What a database file begins with, and the rest of one.
const std::string kDatabase = std::string("SQLite format 3\0", 16) + "\x10\x00\x02\x02 pages";

std::string Bytes(const fs::path& path) {
  if (!fs::exists(fs::symlink_status(path))) return "missing";
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void Put(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct WriteCase {
  const char* name;
  const char* target;  // in a folder holding "srv" (a database) and "plain.log"
  FileWrite how;
  const char* expected;  // the target's bytes afterwards; null: refused, as it was
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class WriteFileTest : public testing::TestWithParam<WriteCase> {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/winfile-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    Put(dir / "srv", kDatabase);
    Put(dir / "srv-wal", "a log of frames");
    Put(dir / "plain.log", "earlier\r\n");
    // Not a database: the header must be whole, its NUL too.
    Put(dir / "almost", "SQLite format 3 but not really");
    fs::create_symlink(dir / "srv", dir / "link");
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir;
};

TEST_P(WriteFileTest, WritesOrLeavesTheFileAsItWas) {
  const WriteCase& c = GetParam();
  const fs::path target = dir / c.target;
  const std::string before = Bytes(target);
  EXPECT_EQ(WriteFileUnlessDatabase(target.string(), "log\r\n", c.how), c.expected != nullptr);
  EXPECT_EQ(Bytes(target), c.expected ? std::string(c.expected) : before);
  EXPECT_EQ(Bytes(dir / "srv"), kDatabase);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteFileTest,
    testing::Values(WriteCase{"NewFile", "new.log", FileWrite::Replace, "log\r\n"},
                    WriteCase{"Replaced", "plain.log", FileWrite::Replace, "log\r\n"},
                    WriteCase{"Appended", "plain.log", FileWrite::Append, "earlier\r\nlog\r\n"},
                    WriteCase{"HalfAHeader", "almost", FileWrite::Replace, "log\r\n"},
                    WriteCase{"SideNameOfAPlainFile", "plain.log-wal", FileWrite::Replace,
                              "log\r\n"},
                    WriteCase{"Database", "srv", FileWrite::Replace, nullptr},
                    WriteCase{"DatabaseAppended", "srv", FileWrite::Append, nullptr},
                    WriteCase{"ThroughALink", "link", FileWrite::Replace, nullptr},
                    WriteCase{"ItsLog", "srv-wal", FileWrite::Replace, nullptr},
                    WriteCase{"ItsMissingIndex", "srv-shm", FileWrite::Replace, nullptr},
                    WriteCase{"ItsMissingJournal", "srv-journal", FileWrite::Append, nullptr},
                    WriteCase{"TheIndexThroughALink", "link-shm", FileWrite::Replace, nullptr}),
    [](const testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

TEST(WriteFile, AFolderOrAMissingFolderFails) {
  EXPECT_FALSE(WriteFileUnlessDatabase("/tmp", "x", FileWrite::Replace));
  EXPECT_FALSE(WriteFileUnlessDatabase("/nonexistent-folder/x.log", "x", FileWrite::Replace));
}

}  // namespace
}  // namespace win

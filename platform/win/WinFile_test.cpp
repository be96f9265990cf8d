#include "WinFile.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "SqliteProcess_testutil.h"

namespace win {
namespace {

namespace fs = std::filesystem;

// What a database file begins with, and the rest of one.
const std::string kDatabase = std::string("SQLite format 3\0", 16) + "\x10\x00\x02\x02 pages";
// What a WAL begins with, its magic and version, and frames after.
const std::string kLog = std::string("\x37\x7f\x06\x82\x00\x2d\xe2\x18", 8) + " frames";

std::string Bytes(const fs::path& path) {
  if (!fs::exists(path)) return "missing";
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void Put(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

enum class Link { None, Relative, Absolute, Hard };

struct WriteCase {
  const char* name;
  const char* target;  // in a folder holding "srv" and "idle" (databases) and "plain.log"
  FileWrite how;
  const char* expected;  // the bytes written afterwards; null: refused, as they were
  Link link = Link::None;
  const char* to = nullptr;  // what the target is made a link to, in the folder
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class WriteFileTest : public testing::TestWithParam<WriteCase> {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/winfile-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    Put(dir / "srv", kDatabase);
    Put(dir / "srv-wal", kLog);
    Put(dir / "plain.log", "earlier\r\n");
    // Not a database: the header must be whole, its NUL too.
    Put(dir / "almost", "SQLite format 3 but not really");
    fs::create_symlink(dir / "srv", dir / "link");
    // A database that nobody holds, its side files missing.
    Put(dir / "idle", kDatabase);
    fs::create_symlink("idle-wal", dir / "via");
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir;
};

TEST_P(WriteFileTest, WritesOrLeavesTheFileAsItWas) {
  const WriteCase& c = GetParam();
  const fs::path target = dir / c.target;
  // Through a link, the file that it leads to is the one written.
  const fs::path written = c.to ? dir / c.to : target;
  switch (c.link) {
    case Link::None:
      break;
    case Link::Relative:
      fs::create_symlink(c.to, target);
      break;
    case Link::Absolute:
      fs::create_symlink(written, target);
      break;
    case Link::Hard:
      fs::create_hard_link(written, target);
      break;
  }
  const std::string before = Bytes(written);
  EXPECT_EQ(WriteFileUnlessDatabase(target.string(), "log\r\n", c.how), c.expected != nullptr);
  EXPECT_EQ(Bytes(written), c.expected ? std::string(c.expected) : before);
  EXPECT_EQ(Bytes(dir / "srv"), kDatabase);
  EXPECT_EQ(Bytes(dir / "idle"), kDatabase);
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
                    WriteCase{"TheIndexThroughALink", "link-shm", FileWrite::Replace, nullptr},
                    // A dangling link: open would create the file it leads to.
                    WriteCase{"ALinkToAMissingLog", "missingwal.log", FileWrite::Replace, nullptr,
                              Link::Relative, "idle-wal"},
                    WriteCase{"ALinkToAMissingIndex", "missingshm.log", FileWrite::Replace, nullptr,
                              Link::Relative, "idle-shm"},
                    WriteCase{"ALinkToAMissingJournal", "missingjournal.log", FileWrite::Append,
                              nullptr, Link::Relative, "idle-journal"},
                    WriteCase{"AnAbsoluteLinkToAMissingLog", "missingwal.log", FileWrite::Replace,
                              nullptr, Link::Absolute, "idle-wal"},
                    WriteCase{"AnAbsoluteLinkToAMissingIndex", "missingshm.log", FileWrite::Replace,
                              nullptr, Link::Absolute, "idle-shm"},
                    WriteCase{"AnAbsoluteLinkToAMissingJournal", "missingjournal.log",
                              FileWrite::Replace, nullptr, Link::Absolute, "idle-journal"},
                    WriteCase{"ALinkThroughALinkToAMissingLog", "twice.log", FileWrite::Replace,
                              nullptr, Link::Relative, "via"},
                    WriteCase{"AHardLinkToALog", "hardwal.log", FileWrite::Replace, nullptr,
                              Link::Hard, "srv-wal"},
                    // What still saves.
                    WriteCase{"ALinkToAMissingPlainFile", "dangling.log", FileWrite::Replace,
                              "log\r\n", Link::Relative, "fresh.log"},
                    WriteCase{"AnAbsoluteLinkToAMissingPlainFile", "dangling.log",
                              FileWrite::Append, "log\r\n", Link::Absolute, "fresh.log"},
                    WriteCase{"ALinkToAMissingSideNameOfNoDatabase", "dangling.log",
                              FileWrite::Replace, "log\r\n", Link::Relative, "nothing-wal"},
                    WriteCase{"ALinkToAPlainFile", "soft.log", FileWrite::Append,
                              "earlier\r\nlog\r\n", Link::Relative, "plain.log"},
                    WriteCase{"AHardLinkToAPlainFile", "hard.log", FileWrite::Replace, "log\r\n",
                              Link::Hard, "plain.log"}),
    [](const testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

// A database in WAL mode that another process holds, having committed a
// value that only its log holds so far.
class LiveDatabaseTest : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/winfile-live-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    fs::create_directory(dir / "links");
    holder = std::make_unique<SqliteProcess>(dir / "live",
                                             "db.execute('PRAGMA journal_mode=WAL')\n"
                                             "db.execute('PRAGMA wal_autocheckpoint=0')\n"
                                             "db.execute('CREATE TABLE t(v)')\n"
                                             "db.execute(\"INSERT INTO t VALUES('committed')\")\n"
                                             "print('held', flush=True)\n",
                                             true);
    ASSERT_EQ(holder->Answer(), "held");
  }
  void TearDown() override {
    if (holder) {
      EXPECT_TRUE(holder->Stop());
    }
    fs::remove_all(dir);
  }
  // What a reader that starts now sees.
  std::string Committed() {
    return SqliteProcess(dir / "live",
                         "print(db.execute('SELECT v FROM t').fetchone()[0], flush=True)\n", false)
        .Answer();
  }
  fs::path dir;
  std::unique_ptr<SqliteProcess> holder;
};

// Whatever its name, a live log or index is known by its first bytes: a
// hard link to it elsewhere is refused and the file left byte for byte.
TEST_P(LiveDatabaseTest, AHardLinkToItsSideFileIsRefused) {
  const fs::path side = dir / (std::string("live") + GetParam());
  const fs::path link = dir / "links" / "hard.log";
  ASSERT_TRUE(fs::exists(side));
  fs::create_hard_link(side, link);
  const std::string before = Bytes(side);
  ASSERT_GT(before.size(), 32u);
  EXPECT_FALSE(WriteFileUnlessDatabase(link.string(), "log\r\n", FileWrite::Replace));
  EXPECT_FALSE(WriteFileUnlessDatabase(link.string(), "log\r\n", FileWrite::Append));
  const std::string after = Bytes(side);
  EXPECT_TRUE(after == before) << before.size() << " bytes before, " << after.size() << " after";
  EXPECT_EQ(Committed(), "committed");
}

INSTANTIATE_TEST_SUITE_P(SideFiles, LiveDatabaseTest, testing::Values("-wal", "-shm"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param + 1);
                         });

TEST(WriteFile, AFolderOrAMissingFolderFails) {
  EXPECT_FALSE(WriteFileUnlessDatabase("/tmp", "x", FileWrite::Replace));
  EXPECT_FALSE(WriteFileUnlessDatabase("/nonexistent-folder/x.log", "x", FileWrite::Replace));
}

}  // namespace
}  // namespace win

// Holds every dictionary image a server made by qorserver hands out against
// the schema it was made from, read with our own reading of the layout.
#include "DictionaryImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <map>
#include <utility>

#include "ReadmeExample_testutil.h"
#include "SchemaFile.h"
#include "ServerAdmin.h"
#include "TestServer.h"
#include "DictModel.h"

using qordb::UpperAscii;

namespace {

int ValueSize(const qordb::FieldDef& f) {
  switch (f.type) {
    case 'c': return f.length;
    case 's': return 2;
    case 'F': return 8;
    default: return 4;
  }
}

// Every type letter, unsigned flags, nested groups, unique and non-unique
// keys, and compound keys of both kinds in more than one record.
const char kEveryKind[] = R"(
database MINDEN id 33 version 2.7.1.9
record ELSO
  AZON     l unique
  NEV      c 31
  EGY      c 1 unsigned
  KOD      c 1 key
end
record MASODIK
  M_ID     i unique
  M_S      s key unsigned
  M_SS     s
  group CSOPORT
    M_L    l unsigned
    group BELSO
      M_D  d key
      M_F  f
    end
    M_FF   F
  end
  M_SZOVEG c 4096
  M_PAR    k (M_SS, M_L) unique
  M_HARMAS k (M_D M_F M_SZOVEG)
end
record HARMADIK
  H_ID     l
  H_KULCS  k (H_ID)
end
)";

void ExpectImageMatches(const std::vector<char>& image, const qordb::SchemaDef& schema) {
  SCOPED_TRACE("database " + schema.name);
  DictionaryImage d;
  ASSERT_NO_THROW(d = DictionaryImage::Parse(image));
  size_t fieldTotal = 0, keyTotal = 0;
  for (const auto& r : schema.records) {
    fieldTotal += r.fields.size();
    for (const auto& f : r.fields) keyTotal += f.components.size();
  }
  ASSERT_EQ(d.recordCount, static_cast<int>(schema.records.size()));
  ASSERT_EQ(d.fieldCount, static_cast<int>(fieldTotal));
  ASSERT_EQ(d.keyCount, static_cast<int>(keyTotal));
  EXPECT_EQ(d.setCount, 0);
  EXPECT_EQ(d.memberCount, 0);
  EXPECT_EQ(d.sortCount, 0);
  EXPECT_LE(d.namesEnd, image.size());

  int first = 0;
  for (size_t r = 0; r < schema.records.size(); ++r) {
    const qordb::RecordDef& want = schema.records[r];
    const DictionaryImage::Record& got = d.records[r];
    SCOPED_TRACE("record " + want.name);
    EXPECT_EQ(UpperAscii(got.name), UpperAscii(want.name));
    EXPECT_EQ(d.RecordByName(want.name), static_cast<int>(r));
    EXPECT_EQ(got.firstField, first);
    EXPECT_EQ(got.totalFields, static_cast<int>(want.fields.size()));
    EXPECT_GE(got.dataOffset, 0);

    // The client finds a record's fields by walking from its first-field
    // index while the record index holds: that walk must give exactly these.
    std::vector<int> walk = d.FieldsOf(static_cast<int>(r));
    ASSERT_EQ(walk.size(), want.fields.size());
    std::vector<std::pair<int, int>> spans;
    int dataBytes = 0;
    for (size_t p = 0; p < want.fields.size(); ++p) {
      const qordb::FieldDef& wf = want.fields[p];
      const DictionaryImage::Field& gf = d.fields[first + p];
      SCOPED_TRACE("field " + wf.name + ", number " + std::to_string(r * 1000 + p));
      EXPECT_EQ(walk[p], static_cast<int>(first + p));
      EXPECT_EQ(UpperAscii(gf.name), UpperAscii(wf.name));
      EXPECT_EQ(gf.type, wf.type);
      EXPECT_EQ(gf.recordIndex, static_cast<int>(r));
      EXPECT_EQ((gf.flags & 4) != 0, wf.isUnsigned);
      if (wf.keyKind == 'u' || wf.keyKind == 'n') {
        EXPECT_EQ(gf.keyKind, wf.keyKind);
      } else {
        EXPECT_TRUE(gf.keyKind != 'u' && gf.keyKind != 'n') << "key kind " << gf.keyKind;
      }
      if (wf.IsData()) {
        EXPECT_EQ(gf.length, ValueSize(wf));
        EXPECT_GE(gf.offset, got.dataOffset);
        EXPECT_LE(gf.offset + gf.length, got.slotLength);
        spans.emplace_back(gf.offset, gf.offset + gf.length);
        dataBytes += gf.length;
      }
      if (wf.type == 'k') {
        std::vector<int> expected;
        for (const std::string& c : wf.components) {
          auto it = std::find_if(want.fields.begin(), want.fields.end(),
                                 [&](const qordb::FieldDef& o) { return UpperAscii(o.name) == UpperAscii(c); });
          expected.push_back(first + static_cast<int>(it - want.fields.begin()));
        }
        EXPECT_EQ(d.ComponentsOf(first + static_cast<int>(p)), expected);
      }
    }
    EXPECT_GE(got.slotLength - got.dataOffset, dataBytes);
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); ++i) {
      EXPECT_LE(spans[i - 1].second, spans[i].first) << "data fields overlap at slot offset " << spans[i].first;
    }
    first += static_cast<int>(want.fields.size());
  }
}

TEST(DictionaryImage, EveryDatabaseOfAServerMatchesItsSchema) {
  QorTestServer server;
  std::map<std::string, qordb::SchemaDef> schemas{{"SYSDB", qordb::SysdbSchema()}};
  for (const std::string& text : {std::string(kEveryKind), ReadmeExample()}) {
    SchemaFile file = SchemaFile::Parse(text);
    int32_t id = server.AddDatabase(text);
    if (file.id) {
      EXPECT_EQ(id, file.id);
    }
    schemas[UpperAscii(file.schema.name)] = file.schema;
  }
  qordb::ServerAdmin admin(server.Path());
  std::vector<std::string> names = admin.Databases();
  ASSERT_EQ(names.size(), 3u);
  for (const std::string& name : names) {
    ASSERT_EQ(schemas.count(UpperAscii(name)), 1u) << name;
    ExpectImageMatches(admin.DictionaryImage(name), schemas[UpperAscii(name)]);
  }
}

// The demo servers are made by qorserver from the schema files in demo/.
TEST(DictionaryImage, EveryDemoSchemaIsServedAsWritten) {
  std::filesystem::path demo = std::filesystem::path(QORTOOLS_SOURCE_DIR) / ".." / ".." / "demo";
  if (!std::filesystem::is_directory(demo)) GTEST_SKIP() << "no demo folder";
  int seen = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(demo)) {
    if (entry.path().extension() != ".schema") continue;
    SCOPED_TRACE(entry.path().string());
    ++seen;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    SchemaFile file = SchemaFile::Parse(text.str());
    QorTestServer server;  // one each: the demo's servers may reuse ids
    server.AddDatabase(text.str());
    qordb::ServerAdmin admin(server.Path());
    ExpectImageMatches(admin.DictionaryImage(file.schema.name), file.schema);
  }
  if (seen == 0) GTEST_SKIP() << "no schema files under " << demo;
}

// The catalogue must hold what the login, the database map and the sequence
// statements read, whatever the server's own definition says.
TEST(DictionaryImage, TheCatalogueHoldsWhatTheClientReads) {
  QorTestServer server;
  qordb::ServerAdmin admin(server.Path());
  DictionaryImage d = DictionaryImage::Parse(admin.DictionaryImage("SYSDB"));
  struct Want {
    const char* record;
    const char* field;
    const char* types;  // type letters the client can read it as
    int length;         // 0: any
  };
  const Want wants[] = {
      {"tablespace", "name", "c", 0},      {"tablespace", "dbid", "lid", 0},
      {"tablespace", "vermajor", "lid", 0}, {"tablespace", "verminor", "lid", 0},
      {"tablespace", "versub", "lid", 0},  {"tablespace", "verbuild", "lid", 0},
      {"dbuser", "NAME", "c", 32},         {"dbuser", "psw", "c", 32},
      {"dbuser", "userid", "lid", 0},      {"dbuser", "enabled", "c", 1},
      {"dbuser", "type", "c", 1},          {"sequencies", "seq_name", "c", 0},
      {"sequencies", "seq_id", "lid", 0},  {"sequencies", "seq_step", "lid", 0},
      {"sequencies", "seq_max", "lid", 0}, {"sequencies", "seq_min", "lid", 0},
      {"sequencies", "seq_recycle", "slid", 0}, {"sequencies", "seq_chace", "lid", 0},
  };
  for (const Want& w : wants) {
    int r = d.RecordByName(w.record);
    ASSERT_GE(r, 0) << w.record;
    const DictionaryImage::Field* found = nullptr;
    for (int i : d.FieldsOf(r)) {
      if (UpperAscii(d.fields[i].name) == UpperAscii(w.field)) found = &d.fields[i];
    }
    ASSERT_NE(found, nullptr) << w.record << "." << w.field;
    EXPECT_NE(std::string(w.types).find(found->type), std::string::npos) << w.record << "." << w.field;
    if (w.length) {
      EXPECT_EQ(found->length, w.length) << w.record << "." << w.field;
    }
  }
  // The database map finds a database's row by "name"; the login's user check
  // and DROP USER find users by name.
  auto keyKind = [&](const char* record, const char* field) {
    for (int i : d.FieldsOf(d.RecordByName(record))) {
      if (UpperAscii(d.fields[i].name) == UpperAscii(field)) return d.fields[i].keyKind;
    }
    return '?';
  };
  EXPECT_NE(keyKind("tablespace", "name"), 'n');
  EXPECT_NE(keyKind("dbuser", "name"), 'n');
  EXPECT_NE(keyKind("sequencies", "seq_name"), 'n');
}

TEST(DictionaryImage, ACutImageIsRefusedNeverOverread) {
  QorTestServer server;
  server.AddDatabase(kEveryKind);
  qordb::ServerAdmin admin(server.Path());
  std::vector<char> image = admin.DictionaryImage("MINDEN");
  size_t end = DictionaryImage::Parse(image).namesEnd;
  for (size_t length = 0; length < end; ++length) {
    std::vector<char> cut(image.begin(), image.begin() + static_cast<long>(length));
    EXPECT_THROW(DictionaryImage::Parse(cut), std::runtime_error) << "length " << length;
  }
  // The tables the reading skips count too: a header announcing one file,
  // set, member or sort entry and no more bytes is cut off.
  struct Skipped {
    size_t countAt, entrySize;
  };
  for (const Skipped& t : {Skipped{8, 60}, {14, 12}, {16, 8}, {18, 4}}) {
    SCOPED_TRACE(t.countAt);
    std::vector<char> header(22, 0);
    header[t.countAt] = 1;
    EXPECT_THROW(DictionaryImage::Parse(header), std::runtime_error);
    header.resize(22 + t.entrySize);
    EXPECT_NO_THROW(DictionaryImage::Parse(header));
  }
  // A negative count is refused rather than read as a huge table.
  std::vector<char> negative = image;
  negative[12] = '\xff';
  negative[13] = '\xff';
  EXPECT_THROW(DictionaryImage::Parse(negative), std::runtime_error);
}

}  // namespace

#include "SchemaDef.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "ServerAdmin.h"
#include "TestServer_testutil.h"

namespace {

int Size(char type) { return type == 's' ? 2 : type == 'F' ? 8 : 4; }

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c -= 32;
  return s;
}

// Checks an image the server stores against the schema it was made from.
void ExpectImageMatches(const std::vector<char>& image, const qordb::SchemaDef& schema) {
  SCOPED_TRACE(schema.name);
  TestDictionary d;
  ASSERT_TRUE(d.Read(image.data(), image.size()));
  EXPECT_EQ(d.namesEnd, image.size()) << "nothing follows the last name";
  size_t nFields = 0, nComponents = 0;
  for (const auto& r : schema.records) {
    nFields += r.fields.size();
    for (const auto& f : r.fields) nComponents += f.components.size();
  }
  EXPECT_EQ(d.counts[1], static_cast<int>(schema.records.size()));
  EXPECT_EQ(d.counts[2], static_cast<int>(nFields));
  EXPECT_EQ(d.counts[6], static_cast<int>(nComponents));
  EXPECT_EQ(d.counts[3] + d.counts[4] + d.counts[5], 0);

  int first = 0;
  for (size_t r = 0; r < schema.records.size(); ++r) {
    const qordb::RecordDef& def = schema.records[r];
    const TestRecord& rec = d.records[r];
    SCOPED_TRACE(def.name);
    EXPECT_EQ(rec.name, def.name);
    EXPECT_EQ(rec.firstField, first);
    EXPECT_EQ(rec.total, static_cast<int>(def.fields.size()));
    const int imageLength = rec.slot - rec.dataOffset;
    ASSERT_GT(imageLength, 0);
    std::vector<int> owner(imageLength, -1);  // which data field covers each byte
    for (size_t p = 0; p < def.fields.size(); ++p) {
      const qordb::FieldDef& fd = def.fields[p];
      const TestField& f = d.fields[first + p];
      SCOPED_TRACE(fd.name);
      EXPECT_EQ(f.name, fd.name);
      EXPECT_EQ(f.record, static_cast<int>(r));
      EXPECT_EQ(f.type, fd.type);
      EXPECT_EQ(f.keyKind, fd.keyKind);
      EXPECT_EQ((f.flags & 4) != 0, fd.isUnsigned);
      if (fd.IsData()) {
        EXPECT_EQ(f.length, fd.type == 'c' ? fd.length : Size(fd.type));
        const int at = f.offset - rec.dataOffset;
        ASSERT_GE(at, 0);
        ASSERT_LE(at + f.length, imageLength);
        for (int b = at; b < at + f.length; ++b) {
          EXPECT_EQ(owner[b], -1) << "fields overlap at byte " << b;
          owner[b] = static_cast<int>(p);
        }
      } else if (fd.type == 'g') {
        // The group covers exactly the fields it gathers.
        const TestField& firstMember = d.fields[first + p + 1];
        const TestField& lastMember = d.fields[first + p + fd.groupFields];
        EXPECT_EQ(f.offset, firstMember.offset);
        EXPECT_EQ(f.offset + f.length, lastMember.offset + lastMember.length);
      } else {
        ASSERT_GE(f.offset, 0);
        ASSERT_LE(f.offset + fd.components.size(), d.keys.size());
        for (size_t c = 0; c < fd.components.size(); ++c) {
          const TestKey& k = d.keys[f.offset + c];
          EXPECT_EQ(k.owner, first + static_cast<int>(p));
          EXPECT_EQ(Upper(d.fields[k.component].name), Upper(fd.components[c]));
          EXPECT_EQ(d.fields[k.component].record, static_cast<int>(r));
        }
        if (f.offset + fd.components.size() < d.keys.size()) {
          EXPECT_NE(d.keys[f.offset + fd.components.size()].owner, first + static_cast<int>(p))
              << "the key's entries end with its last component";
        }
      }
    }
    first += static_cast<int>(def.fields.size());
  }
}

TEST(DictionaryImage, EveryServedImageMatchesItsSchema) {
  TestServer server;
  qordb::ServerAdmin admin(server.path);
  ExpectImageMatches(admin.DictionaryImage("SYSDB"), qordb::SysdbSchema());
  ExpectImageMatches(admin.DictionaryImage("shop"), ShopSchema());
  ExpectImageMatches(admin.DictionaryImage("LOG"), LogSchema());
}

TEST(DictionaryImage, SysdbHoldsWhatTheLoginAndCatalogueRead) {
  TestDictionary d;
  std::vector<char> image = qordb::BuildDictionaryImage(qordb::SysdbSchema());
  ASSERT_TRUE(d.Read(image.data(), image.size()));
  // Read by name (in upper case) by the client's database map and login.
  for (const char* f : {"NAME", "DBID", "VERMAJOR", "VERMINOR", "VERSUB", "VERBUILD"})
    EXPECT_NO_THROW(d.Field("TABLESPACE", f)) << f;
  for (const char* f : {"NAME", "PSW", "USERID", "ENABLED", "TYPE"}) EXPECT_NO_THROW(d.Field("DBUSER", f)) << f;
  for (const char* f : {"SEQ_NAME", "SEQ_ID", "SEQ_STEP", "SEQ_MAX", "SEQ_MIN", "SEQ_RECYCLE", "SEQ_CHACE"})
    EXPECT_NO_THROW(d.Field("SEQUENCIES", f)) << f;
  EXPECT_EQ(d.Field("TABLESPACE", "NAME").keyKind, 'u');  // found by key "name"
  EXPECT_NE(d.Field("DBUSER", "NAME").keyKind, 'n');      // DROP USER deletes by "name"
  EXPECT_NE(d.Field("SEQUENCIES", "SEQ_NAME").keyKind, 'n');
  EXPECT_EQ(d.Field("DBUSER", "ENABLED").length, 1);
}

struct BadSchema {
  const char* what;
  std::function<void(qordb::SchemaDef&)> spoil;
  const char* message;  // a part of the error text
};

TEST(SchemaDef, RefusesWhatCannotBeServed) {
  const BadSchema cases[] = {
      {"empty database name", [](auto& s) { s.name = ""; }, "database name"},
      {"no records", [](auto& s) { s.records.clear(); }, "no record types"},
      {"duplicate record in other case", [](auto& s) { s.records[1].name = "customer"; }, "defined twice"},
      {"duplicate field", [](auto& s) { s.records[0].fields[3].name = "name"; }, "defined twice"},
      {"line feed in a name", [](auto& s) { s.records[0].fields[1].name = "NO\nTE"; }, "line feed"},
      {"unknown type", [](auto& s) { s.records[0].fields[1].type = 'x'; }, "unknown type letter"},
      {"character without length", [](auto& s) { s.records[0].fields[1].length = 0; }, "length from 1"},
      {"wrong number length", [](auto& s) { s.records[0].fields[0].length = 2; }, "4 bytes long"},
      {"group past the end", [](auto& s) { s.records[1].fields[4].groupFields = 9; }, "past the end"},
      {"group as key", [](auto& s) { s.records[1].fields[4].keyKind = 'u'; }, "cannot be a key"},
      {"compound over unknown field", [](auto& s) { s.records[0].fields[5].components[1] = "NOPE"; },
       "NOPE is not a field"},
      {"compound over a group", [](auto& s) { s.records[1].fields[7].components[1] = "ADDR"; }, "no value of its own"},
      {"compound without components", [](auto& s) { s.records[0].fields[5].components.clear(); }, "needs components"},
      {"key numbered 1", [](auto& s) { s.records[0].fields[1].keyKind = 'd'; }, "default key"},
      {"record without data",
       [](auto& s) {
         s.records[1].fields = {s.records[1].fields[4]};
         s.records[1].fields[0].groupFields = 0;
       },
       "no field with a value"},
      {"record too long",
       [](auto& s) {
         s.records[0].fields[1].length = 4096 * 1;
         s.records[0].fields[3].length = 4096;
         for (int i = 0; i < 8; ++i) {
           qordb::FieldDef f = s.records[0].fields[3];
           f.name = "BIG" + std::to_string(i);
           s.records[0].fields.push_back(f);
         }
       },
       "longer than the dictionary allows"},
  };
  for (const BadSchema& c : cases) {
    SCOPED_TRACE(c.what);
    qordb::SchemaDef s = ShopSchema();
    c.spoil(s);
    try {
      s.Validate();
      ADD_FAILURE() << "accepted";
    } catch (const qordb::SchemaError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  EXPECT_NO_THROW(ShopSchema().Validate());
  EXPECT_NO_THROW(qordb::SysdbSchema().Validate());
}

}  // namespace

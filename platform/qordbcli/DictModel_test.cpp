// The server's reading of dictionary images it did not make itself.
#include "DictModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "SchemaDef.h"
#include "TestServer_testutil.h"

namespace {

qordb::FieldDef Field(const std::string& name, char type, int length = 0) {
  qordb::FieldDef f;
  f.name = name;
  f.type = type;
  f.length = length;
  return f;
}

void Set16(std::vector<char>& image, size_t at, int16_t v) { std::memcpy(&image[at], &v, 2); }

bool Refused(const std::vector<char>& image) {
  try {
    qordb::DictModel::Parse(image.data(), image.size());
  } catch (const std::runtime_error&) {
    return true;
  }
  return false;
}

TEST(DictModel, AFieldNarrowerThanItsTypeIsRefused) {
  struct Case {
    char type;
    int width;
  };
  for (const Case c : {Case{'s', 2}, {'i', 4}, {'l', 4}, {'d', 4}, {'f', 4}, {'F', 8}}) {
    SCOPED_TRACE(c.type);
    qordb::SchemaDef s;
    s.name = "D";
    s.records.push_back({"R", {Field("ID", 'l'), Field("V", c.type)}});
    std::vector<char> image = qordb::BuildDictionaryImage(s);
    EXPECT_FALSE(Refused(image));
    // A key read of the value's width would run past the caller's record.
    Set16(image, FieldEntryAt(image, "R", "V") + 2, static_cast<int16_t>(c.width - 1));
    EXPECT_TRUE(Refused(image));
  }
}

TEST(DictModel, ARecordOfMoreThan999FieldsIsRefused) {
  // WIDE has 999 fields, NEXT one; giving NEXT's field to WIDE makes 1000.
  qordb::SchemaDef s;
  s.name = "D";
  qordb::RecordDef wide{"WIDE", {}};
  for (int i = 0; i < 999; ++i) wide.fields.push_back(Field("F" + std::to_string(i), 'c', 1));
  s.records.push_back(wide);
  s.records.push_back({"NEXT", {Field("N", 'c', 1)}});
  std::vector<char> image = qordb::BuildDictionaryImage(s);
  qordb::DictModel m = qordb::DictModel::Parse(image.data(), image.size());
  EXPECT_EQ(m.records[0].fields.size(), 999u);
  Set16(image, FieldEntryAt(image, "NEXT", "N") + 16, 0);
  EXPECT_TRUE(Refused(image));
}

TEST(DictModel, FloatValuesReadAsIntegersStayInRange) {
  qordb::FieldModel f;
  f.type = 'F';
  f.length = 8;
  struct Case {
    double value;
    int64_t integer;
  };
  const Case cases[] = {{2.9, 2},
                        {-2.9, -2},
                        {1e300, INT64_MAX},
                        {-1e300, INT64_MIN},
                        {9223372036854775807.0, INT64_MAX},
                        {std::numeric_limits<double>::infinity(), INT64_MAX},
                        {std::nan(""), 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    char image[8];
    std::memcpy(image, &c.value, 8);
    EXPECT_EQ(qordb::FieldInteger(f, image), c.integer);
  }
  f.type = 'f';
  f.length = 4;
  const float big = 1e30f;
  char image[4];
  std::memcpy(image, &big, 4);
  EXPECT_EQ(qordb::FieldInteger(f, image), INT64_MAX);
}

}  // namespace

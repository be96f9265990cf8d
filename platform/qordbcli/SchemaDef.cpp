#include "SchemaDef.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "DictModel.h"

namespace qordb {

namespace {

// Every record slot starts with a small header of the engine's own, so the
// record image is the slot from this offset on.
constexpr int kDataOffset = 8;
constexpr int kMax16 = 32767;

bool KnownType(char t) { return std::strchr("csildfFgk", t) != nullptr && t != 0; }

int DataLength(const FieldDef& f) { return f.type == 'c' ? f.length : TypeSize(f.type); }

struct Layout {
  std::vector<int> offset;  // image offset of each data field and group
  std::vector<int> length;  // value length of each field as the dictionary gives it
  int imageLength = 0;
};

Layout LayOut(const RecordDef& r) {
  Layout l;
  const size_t n = r.fields.size();
  l.offset.assign(n, 0);
  l.length.assign(n, 0);
  int off = 0, maxAlign = 1;
  for (size_t p = 0; p < n; ++p) {
    const FieldDef& f = r.fields[p];
    if (!f.IsData()) continue;
    int size = DataLength(f);
    int align = f.type == 'c' ? 1 : size;
    maxAlign = std::max(maxAlign, align);
    off = (off + align - 1) / align * align;
    l.offset[p] = off;
    l.length[p] = size;
    off += size;
  }
  l.imageLength = (off + maxAlign - 1) / maxAlign * maxAlign;
  // A group spans the data fields it gathers; an empty one sits where the next field would.
  for (size_t p = n; p-- > 0;) {
    const FieldDef& f = r.fields[p];
    if (f.type == 'g') {
      int lo = -1, hi = -1;
      for (size_t q = p + 1; q <= p + f.groupFields && q < n; ++q) {
        if (r.fields[q].type == 'k' || (r.fields[q].type == 'g' && l.length[q] == 0)) continue;
        lo = lo < 0 ? l.offset[q] : std::min(lo, l.offset[q]);
        hi = std::max(hi, l.offset[q] + l.length[q]);
      }
      if (lo < 0) {
        l.offset[p] = p + 1 < n ? l.offset[p + 1] : off;
        l.length[p] = 0;
      } else {
        l.offset[p] = lo;
        l.length[p] = hi - lo;
      }
    }
  }
  for (size_t p = 0; p < n; ++p) {
    const FieldDef& f = r.fields[p];
    if (f.type != 'k') continue;
    int sum = 0;
    for (const std::string& c : f.components) {
      int q = FieldPosition(r, c);
      if (q >= 0) sum += l.length[q];
    }
    l.length[p] = sum;
  }
  return l;
}

void Put16(std::vector<char>& out, int v) {
  uint16_t u = static_cast<uint16_t>(v);
  out.push_back(static_cast<char>(u & 0xff));
  out.push_back(static_cast<char>(u >> 8));
}

bool BadName(const std::string& s) {
  return s.empty() || s.find('\n') != std::string::npos || s.find('\0') != std::string::npos;
}

}  // namespace

int FieldPosition(const RecordDef& r, const std::string& name) {
  std::string wanted = UpperAscii(name);
  for (size_t i = 0; i < r.fields.size(); ++i) {
    if (UpperAscii(r.fields[i].name) == wanted) return static_cast<int>(i);
  }
  return -1;
}

void SchemaDef::Validate() const {
  auto fail = [](const std::string& m) { throw SchemaError(m); };
  if (BadName(name)) fail("database name is empty or holds a line feed");
  if (name.size() > 31) fail("database name " + name + " is longer than 31 characters");
  if (records.empty()) fail("database " + name + " has no record types");
  if (records.size() > 999) fail("database " + name + " has more than 999 record types");
  std::set<std::string> recNames;
  size_t totalFields = 0, totalKeys = 0;
  for (size_t r = 0; r < records.size(); ++r) {
    const RecordDef& rec = records[r];
    if (BadName(rec.name))
      fail("record " + std::to_string(r) + " has an empty name or one with a line feed");
    if (!recNames.insert(UpperAscii(rec.name)).second)
      fail("record " + rec.name + " is defined twice");
    if (rec.fields.empty()) fail("record " + rec.name + " has no fields");
    if (rec.fields.size() > 999) fail("record " + rec.name + " has more than 999 fields");
    std::set<std::string> fieldNames;
    bool hasData = false;
    for (size_t p = 0; p < rec.fields.size(); ++p) {
      const FieldDef& f = rec.fields[p];
      const std::string where =
          rec.name + "." + (f.name.empty() ? "#" + std::to_string(p) : f.name);
      if (BadName(f.name)) fail("field " + where + " has an empty name or one with a line feed");
      if (!fieldNames.insert(UpperAscii(f.name)).second)
        fail("field " + where + " is defined twice");
      if (!KnownType(f.type))
        fail("field " + where + " has the unknown type letter '" + std::string(1, f.type) + "'");
      if (f.keyKind == 0 || f.keyKind == '\n') fail("field " + where + " has no key kind");
      if (f.type == 'c' && (f.length < 1 || f.length > 4096))
        fail("field " + where + ": a character field needs a length from 1 to 4096");
      if (f.IsData() && f.type != 'c' && f.length != 0 && f.length != TypeSize(f.type))
        fail("field " + where + ": type '" + std::string(1, f.type) + "' is " +
             std::to_string(TypeSize(f.type)) + " bytes long");
      if (f.type == 'g') {
        if (f.IsKey()) fail("field " + where + ": a group cannot be a key");
        if (f.groupFields < 0 ||
            p + f.groupFields >= rec.fields.size() + (f.groupFields == 0 ? 1 : 0))
          fail("field " + where + ": the group reaches past the end of the record");
      } else if (f.groupFields != 0) {
        fail("field " + where + ": only a group gathers fields");
      }
      if (f.type == 'k') {
        if (f.components.empty()) fail("field " + where + ": a compound key needs components");
        std::set<std::string> seen;
        for (const std::string& c : f.components) {
          int q = FieldPosition(rec, c);
          if (q < 0) fail("field " + where + ": component " + c + " is not a field of " + rec.name);
          if (!rec.fields[q].IsData())
            fail("field " + where + ": component " + c + " has no value of its own");
          if (!seen.insert(UpperAscii(c)).second)
            fail("field " + where + ": component " + c + " is named twice");
        }
      } else if (!f.components.empty()) {
        fail("field " + where + ": only a compound key has components");
      }
      if (r == 0 && p == 1 && f.IsKey())
        fail("field " + where +
             " would be key number 1, which clients read as the default key; "
             "move it or put another field before it");
      if (f.IsData()) hasData = true;
      if (f.IsKey()) ++totalKeys;
    }
    if (!hasData) fail("record " + rec.name + " has no field with a value");
    Layout l = LayOut(rec);
    if (l.imageLength + kDataOffset > kMax16)
      fail("record " + rec.name + " is longer than the dictionary allows");
    totalFields += rec.fields.size();
  }
  if (totalFields > static_cast<size_t>(kMax16) || totalKeys > static_cast<size_t>(kMax16))
    fail("database " + name + " has more fields than the dictionary allows");
}

SchemaDef SysdbSchema() {
  auto c = [](const char* n, int len, char key = 'n') {
    FieldDef f;
    f.name = n;
    f.type = 'c';
    f.length = len;
    f.keyKind = key;
    return f;
  };
  auto num = [](const char* n, char type, char key = 'n') {
    FieldDef f;
    f.name = n;
    f.type = type;
    f.keyKind = key;
    return f;
  };
  SchemaDef s;
  s.name = "SYSDB";
  s.records.push_back({"tablespace",
                       {c("name", 32, 'u'), num("dbid", 'l'), num("vermajor", 'l'),
                        num("verminor", 'l'), num("versub", 'l'), num("verbuild", 'l')}});
  s.records.push_back(
      {"dbuser",
       {num("userid", 'l', 'u'), c("type", 1), c("name", 32, 'u'), c("psw", 32), c("enabled", 1)}});
  s.records.push_back(
      {"sequencies",
       {c("seq_name", 32, 'u'), num("seq_id", 'l'), num("seq_step", 'l'), num("seq_max", 'l'),
        num("seq_min", 'l'), num("seq_recycle", 's'), num("seq_chace", 'l')}});
  return s;
}

std::vector<char> BuildDictionaryImage(const SchemaDef& schema) {
  schema.Validate();
  const int nRec = static_cast<int>(schema.records.size());
  std::vector<Layout> layouts;
  std::vector<int> firstField;
  int nFld = 0, nKey = 0;
  for (const RecordDef& r : schema.records) {
    layouts.push_back(LayOut(r));
    firstField.push_back(nFld);
    nFld += static_cast<int>(r.fields.size());
    for (const FieldDef& f : r.fields)
      if (f.type == 'k') nKey += static_cast<int>(f.components.size());
  }

  std::vector<char> out;
  out.reserve(22 + 60 * nRec + 12 * nRec + 20 * nFld + 8 * nKey + 32 * (nRec + nFld));
  for (char c : {'Q', 'O', 'R', 'D', '\1', '\0', '\0', '\0'}) out.push_back(c);
  for (int count : {nRec, nRec, nFld, 0, 0, 0, nKey}) Put16(out, count);

  // One data file per record type.
  for (int r = 0; r < nRec; ++r) {
    char entry[60] = {};
    std::string file = UpperAscii(schema.records[r].name).substr(0, 43) + ".DAT";
    std::memcpy(entry, file.data(), file.size());
    entry[48] = 'd';
    uint16_t slot = static_cast<uint16_t>(layouts[r].imageLength + kDataOffset);
    std::memcpy(entry + 50, &slot, 2);
    out.insert(out.end(), entry, entry + 60);
  }
  for (int r = 0; r < nRec; ++r) {
    Put16(out, r);
    Put16(out, layouts[r].imageLength + kDataOffset);
    Put16(out, kDataOffset);
    Put16(out, firstField[r]);
    Put16(out, static_cast<int>(schema.records[r].fields.size()));
    Put16(out, 0);
  }
  int keyNumber = 0, keyIndex = 0;
  for (int r = 0; r < nRec; ++r) {
    const RecordDef& rec = schema.records[r];
    for (size_t p = 0; p < rec.fields.size(); ++p) {
      const FieldDef& f = rec.fields[p];
      out.push_back(f.keyKind);
      out.push_back(f.type);
      Put16(out, layouts[r].length[p]);
      Put16(out, 0);
      Put16(out, 0);
      Put16(out, 0);
      Put16(out, f.IsKey() ? r : 0);
      Put16(out, f.IsKey() ? keyNumber++ : 0);
      if (f.type == 'k') {
        Put16(out, keyIndex);
        keyIndex += static_cast<int>(f.components.size());
      } else {
        Put16(out, layouts[r].offset[p] + kDataOffset);
      }
      Put16(out, r);
      Put16(out, f.isUnsigned ? 4 : 0);
    }
  }
  for (int r = 0; r < nRec; ++r) {
    const RecordDef& rec = schema.records[r];
    for (size_t p = 0; p < rec.fields.size(); ++p) {
      const FieldDef& f = rec.fields[p];
      if (f.type != 'k') continue;
      for (size_t c = 0; c < f.components.size(); ++c) {
        int q = FieldPosition(rec, f.components[c]);
        Put16(out, firstField[r] + static_cast<int>(p));
        Put16(out, firstField[r] + q);
        Put16(out, static_cast<int>(c));
        Put16(out, 0);
      }
    }
  }
  for (const RecordDef& r : schema.records) {
    out.insert(out.end(), r.name.begin(), r.name.end());
    out.push_back('\n');
  }
  for (const RecordDef& r : schema.records)
    for (const FieldDef& f : r.fields) {
      out.insert(out.end(), f.name.begin(), f.name.end());
      out.push_back('\n');
    }
  return out;
}

}  // namespace qordb

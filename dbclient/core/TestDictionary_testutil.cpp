#include "TestDictionary_testutil.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

void Put16(std::vector<char>& out, int16_t v) {
  char b[2];
  std::memcpy(b, &v, 2);
  out.insert(out.end(), b, b + 2);
}

}  // namespace

TestDictionary& TestDictionary::Record(const std::string& name) {
  m_records.push_back(name);
  return *this;
}

TestDictionary& TestDictionary::Field(const std::string& name, char type, int16_t length,
                                      char keyKind, int16_t flags) {
  if (m_records.empty()) throw std::logic_error("field before any record");
  m_fields.push_back({name, type, length, keyKind, flags, int(m_records.size()) - 1, {}, ""});
  return *this;
}

TestDictionary& TestDictionary::LaidOver(const std::string& field) {
  if (m_fields.empty()) throw std::logic_error("no field to lay over " + field);
  m_fields.back().over = field;
  return *this;
}

TestDictionary& TestDictionary::Group(const std::string& name) { return Field(name, 'g', 0); }

TestDictionary& TestDictionary::CompoundKey(const std::string& name,
                                            std::vector<std::string> components, char keyKind) {
  Field(name, 'k', 0, keyKind);
  m_fields.back().components = std::move(components);
  return *this;
}

std::vector<char> TestDictionary::Image() const {
  std::vector<RECORD_ENTRY_S> records(m_records.size());
  std::vector<FIELD_ENTRY_S> fields(m_fields.size());
  std::vector<KEY_ENTRY_S> keys;
  for (size_t r = 0; r < m_records.size(); ++r) {
    RECORD_ENTRY_S& rec = records[r];
    rec = RECORD_ENTRY_S{};
    rec.fileNumber = int16_t(r);
    rec.dataOffset = kDataOffset;
    rec.firstField = int16_t(m_fields.size());
    int16_t end = kDataOffset;  // past the last byte of the fields so far
    int16_t total = 0;
    for (size_t f = 0; f < m_fields.size(); ++f) {
      const FieldDef& d = m_fields[f];
      if (d.record != int(r)) continue;
      if (rec.firstField == int16_t(m_fields.size())) rec.firstField = int16_t(f);
      FIELD_ENTRY_S& fe = fields[f];
      fe = FIELD_ENTRY_S{};
      fe.keyKind = d.keyKind;
      fe.type = d.type;
      fe.length = d.length;
      fe.recordIndex = int16_t(r);
      fe.flags = d.flags;
      ++total;
      if (d.type == 'k') {
        fe.offset = int16_t(keys.size());
        for (const std::string& c : d.components) {
          size_t comp = 0;
          while (comp < m_fields.size() && !(m_fields[comp].record == int(r) && m_fields[comp].name == c))
            ++comp;
          if (comp == m_fields.size()) throw std::logic_error("unknown key component " + c);
          keys.push_back(KEY_ENTRY_S{int16_t(f), int16_t(comp), {0, 0}});
        }
      } else if (!d.over.empty()) {
        size_t under = 0;
        while (under < f && !(m_fields[under].record == int(r) && m_fields[under].name == d.over))
          ++under;
        if (under == f) throw std::logic_error("no earlier field " + d.over);
        fe.offset = fields[under].offset;
        end = std::max(end, int16_t(fe.offset + d.length));
      } else {
        fe.offset = end;
        end = int16_t(end + d.length);
      }
    }
    rec.slotLength = end;
    rec.fieldTotal = total;
  }

  std::vector<char> out(8, 'H');
  Put16(out, 0);                         // files
  Put16(out, int16_t(records.size()));   // records
  Put16(out, int16_t(fields.size()));    // fields
  Put16(out, 0);                         // sets
  Put16(out, 0);                         // members
  Put16(out, 0);                         // sorts
  Put16(out, int16_t(keys.size()));      // keys
  auto append = [&](const void* p, size_t n) {
    const char* c = static_cast<const char*>(p);
    out.insert(out.end(), c, c + n);
  };
  append(records.data(), records.size() * sizeof(RECORD_ENTRY_S));
  append(fields.data(), fields.size() * sizeof(FIELD_ENTRY_S));
  append(keys.data(), keys.size() * sizeof(KEY_ENTRY_S));
  for (const std::string& n : m_records) {
    append(n.data(), n.size());
    out.push_back('\n');
  }
  for (const FieldDef& d : m_fields) {
    append(d.name.data(), d.name.size());
    out.push_back('\n');
  }
  return out;
}

DbDescription TestDictionary::Load(const std::string& dbName, int dbId, int handle) const {
  const std::vector<char> image = Image();
  DbDescription d;
  d.SetHandle(handle);
  d.Load(image.data(), int(image.size()), dbName, dbId);
  return d;
}

TestDictionary TestDictionary::Sample() {
  TestDictionary d;
  d.Record("person")
      .Field("id", 'l', 4, 'u')
      .Field("sex", 'c', 1)
      .Field("name", 'c', 10, 'd')
      .Field("age", 's', 2);
  d.Record("item")
      .Field("code", 'c', 4)
      .Group("g")
      .Field("qty", 's', 2, 'n', kFieldUnsigned)
      .Field("price", 'F', 8)
      .Field("w", 'f', 4)
      .Field("big", 'd', 4)
      .Field("ul", 'l', 4, 'n', kFieldUnsigned)
      .Field("i", 'i', 4)
      .CompoundKey("k", {"code", "qty"});
  d.Record("empty");
  return d;
}

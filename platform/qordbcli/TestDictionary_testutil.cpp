#include "TestDictionary_testutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

namespace {

int16_t I16(const char* p) {
  return static_cast<int16_t>(static_cast<uint8_t>(p[0]) | (static_cast<uint8_t>(p[1]) << 8));
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c -= 32;
  return s;
}

}  // namespace

bool TestDictionary::Read(const char* image, size_t length) {
  if (length < 22) {
    ADD_FAILURE() << "image of " << length << " bytes has no header";
    return false;
  }
  for (int i = 0; i < 7; ++i) counts[i] = I16(image + 8 + 2 * i);
  const size_t sizes[7] = {60, 12, 20, 12, 8, 4, 8};
  size_t at = 22, tables[7];
  for (int i = 0; i < 7; ++i) {
    tables[i] = at;
    at += sizes[i] * static_cast<size_t>(counts[i] < 0 ? 0 : counts[i]);
  }
  if (at > length) {
    ADD_FAILURE() << "image shorter than its tables";
    return false;
  }
  for (int r = 0; r < counts[1]; ++r) {
    const char* e = image + tables[1] + 12 * r;
    records.push_back({I16(e), I16(e + 2), I16(e + 4), I16(e + 6), I16(e + 8), I16(e + 10), ""});
  }
  for (int f = 0; f < counts[2]; ++f) {
    const char* e = image + tables[2] + 20 * f;
    fields.push_back({e[0], e[1], I16(e + 2), I16(e + 10), I16(e + 12), I16(e + 14), I16(e + 16), I16(e + 18), ""});
  }
  for (int k = 0; k < counts[6]; ++k) {
    const char* e = image + tables[6] + 8 * k;
    keys.push_back({I16(e), I16(e + 2), I16(e + 4), I16(e + 6)});
  }
  auto name = [&]() {
    std::string s;
    while (at < length && image[at] != '\n') s.push_back(image[at++]);
    if (at < length) ++at;
    return s;
  };
  for (auto& r : records) r.name = name();
  for (auto& f : fields) f.name = name();
  namesEnd = at;
  return true;
}

int TestDictionary::Rt(const std::string& record) const {
  for (size_t i = 0; i < records.size(); ++i)
    if (Upper(records[i].name) == Upper(record)) return 10000 + static_cast<int>(i);
  return -1;
}

int TestDictionary::ImageLength(const std::string& record) const {
  int rt = Rt(record);
  if (rt < 0) throw std::runtime_error("no record " + record);
  const TestRecord& r = records[rt - 10000];
  return r.slot - r.dataOffset;
}

std::vector<const TestField*> TestDictionary::FieldsOf(const std::string& record) const {
  int rt = Rt(record);
  if (rt < 0) throw std::runtime_error("no record " + record);
  std::vector<const TestField*> out;
  for (size_t f = records[rt - 10000].firstField; f < fields.size() && fields[f].record == rt - 10000; ++f)
    out.push_back(&fields[f]);
  return out;
}

int TestDictionary::FieldNumber(const std::string& record, const std::string& field) const {
  auto fs = FieldsOf(record);
  for (size_t p = 0; p < fs.size(); ++p)
    if (Upper(fs[p]->name) == Upper(field)) return (Rt(record) - 10000) * 1000 + static_cast<int>(p);
  throw std::runtime_error("no field " + record + "." + field);
}

const TestField& TestDictionary::Field(const std::string& record, const std::string& field) const {
  return *FieldsOf(record)[FieldNumber(record, field) % 1000];
}

int TestDictionary::ImageOffset(const std::string& record, const TestField& f) const {
  return f.offset - records[Rt(record) - 10000].dataOffset;
}

void TestDictionary::SetText(std::vector<char>& image, const std::string& record, const std::string& field,
                             const std::string& text) const {
  const TestField& f = Field(record, field);
  char* p = image.data() + ImageOffset(record, f);
  if (f.length == 1) {
    p[0] = text.empty() ? 0 : text[0];
    return;
  }
  std::memset(p, 0, f.length);
  std::memcpy(p, text.data(), std::min<size_t>(text.size(), f.length - 1));
}

void TestDictionary::SetInt(std::vector<char>& image, const std::string& record, const std::string& field,
                            int64_t value) const {
  const TestField& f = Field(record, field);
  char* p = image.data() + ImageOffset(record, f);
  for (int i = 0; i < f.length; ++i) p[i] = static_cast<char>(value >> (8 * i));
}

void TestDictionary::SetDouble(std::vector<char>& image, const std::string& record, const std::string& field,
                               double v) const {
  const TestField& f = Field(record, field);
  char* p = image.data() + ImageOffset(record, f);
  if (f.type == 'f') {
    float x = static_cast<float>(v);
    std::memcpy(p, &x, 4);
  } else {
    std::memcpy(p, &v, 8);
  }
}

std::string TestDictionary::Text(const char* image, const std::string& record, const std::string& field) const {
  const TestField& f = Field(record, field);
  const char* p = image + ImageOffset(record, f);
  if (f.length == 1) return std::string(1, p[0]);
  return std::string(p, strnlen(p, f.length));
}

int64_t TestDictionary::Int(const char* image, const std::string& record, const std::string& field) const {
  const TestField& f = Field(record, field);
  const unsigned char* p = reinterpret_cast<const unsigned char*>(image + ImageOffset(record, f));
  uint64_t v = 0;
  for (int i = 0; i < f.length; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
  bool isUnsigned = f.type == 'd' || (f.flags & 4) || f.type == 'c';
  if (!isUnsigned && f.length < 8 && (v >> (8 * f.length - 1)) & 1) v |= ~uint64_t(0) << (8 * f.length);
  return static_cast<int64_t>(v);
}

double TestDictionary::Double(const char* image, const std::string& record, const std::string& field) const {
  const TestField& f = Field(record, field);
  const char* p = image + ImageOffset(record, f);
  if (f.type == 'f') {
    float x;
    std::memcpy(&x, p, 4);
    return x;
  }
  double d;
  std::memcpy(&d, p, 8);
  return d;
}

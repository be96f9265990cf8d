#include "DictModel.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace qordb {

namespace {

template <typename T>
T ReadLe(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);  // the host is little-endian, as the images are
  return v;
}

template <typename T>
void WriteLe(char* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

constexpr size_t kHeader = 22;
constexpr size_t kMaxFields = 999;
constexpr size_t kFileEntry = 60, kRecordEntry = 12, kFieldEntry = 20, kSetEntry = 12,
                 kMemberEntry = 8, kSortEntry = 4, kKeyEntry = 8;

// A floating-point value as a 64-bit integer: dropped fraction, clamped to the
// range, NaN as 0 (a plain cast of such values is undefined).
int64_t SaturatedInteger(double d) {
  if (!(d == d)) return 0;
  if (d >= 9223372036854775807.0) return INT64_MAX;
  if (d <= -9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(d);
}

bool ParseInteger(std::string_view text, int64_t& out) {
  // Leading blanks are tolerated as the client's own parsing does; the rest
  // must be a whole number.
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) {
    out = 0;
    return true;
  }
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && p == text.data() + text.size();
}

}  // namespace

std::string UpperAscii(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = UpperAscii(c);
  return s;
}

const std::vector<int>& RecordModel::KeyParts(int position) const {
  static const std::vector<int> none;
  if (position < 0 || position >= static_cast<int>(keyParts.size())) return none;
  return keyParts[position];
}

int RecordModel::FieldByName(std::string_view upperName) const {
  for (size_t i = 0; i < fields.size(); ++i)
    if (fields[i].name == upperName) return static_cast<int>(i);
  return -1;
}

int DictModel::RecordByName(std::string_view upperName) const {
  for (size_t i = 0; i < records.size(); ++i)
    if (records[i].name == upperName) return static_cast<int>(i);
  return -1;
}

DictModel DictModel::Parse(const char* image, size_t length) {
  auto fail = [](const char* what) {
    throw std::runtime_error(std::string("dictionary image: ") + what);
  };
  if (length < kHeader) fail("shorter than its header");
  int counts[7];
  for (int i = 0; i < 7; ++i) counts[i] = ReadLe<int16_t>(image + 8 + 2 * i);
  // Header order: files, records, fields, sets, members, sorts, keys.
  for (int c : counts)
    if (c < 0) fail("negative count");
  const size_t sizes[7] = {kFileEntry,   kRecordEntry, kFieldEntry, kSetEntry,
                           kMemberEntry, kSortEntry,   kKeyEntry};
  size_t at[7];
  size_t pos = kHeader;
  for (int i = 0; i < 7; ++i) {
    at[i] = pos;
    pos += sizes[i] * static_cast<size_t>(counts[i]);
  }
  if (pos > length) fail("shorter than its tables");
  const int nRec = counts[1], nFld = counts[2], nKey = counts[6];

  auto readName = [&]() {
    std::string s;
    while (pos < length && image[pos] != '\n') s.push_back(image[pos++]);
    if (pos < length) ++pos;
    return UpperAscii(s);
  };

  DictModel m;
  m.records.resize(nRec);
  std::vector<int> firstField(nRec), dataOffset(nRec);
  for (int r = 0; r < nRec; ++r) {
    const char* e = image + at[1] + kRecordEntry * r;
    int slot = ReadLe<int16_t>(e + 2);
    dataOffset[r] = ReadLe<int16_t>(e + 4);
    firstField[r] = ReadLe<int16_t>(e + 6);
    m.records[r].imageLength = slot - dataOffset[r];
    if (m.records[r].imageLength < 0) fail("record slot shorter than its data offset");
  }
  for (int r = 0; r < nRec; ++r) m.records[r].name = readName();
  std::vector<std::string> fieldNames(nFld);
  for (int f = 0; f < nFld; ++f) fieldNames[f] = readName();

  for (int r = 0; r < nRec; ++r) {
    RecordModel& rec = m.records[r];
    for (int f = firstField[r]; f >= 0 && f < nFld; ++f) {
      const char* e = image + at[2] + kFieldEntry * f;
      if (ReadLe<int16_t>(e + 16) != r) break;
      // Field numbers give a record 1000 positions; a 1000th field would be
      // numbered as the first field of the next record.
      if (rec.fields.size() == kMaxFields) fail("record with more than 999 fields");
      FieldModel fm;
      fm.name = fieldNames[f];
      fm.keyKind = e[0];
      fm.type = e[1];
      fm.length = ReadLe<int16_t>(e + 2);
      int off = ReadLe<int16_t>(e + 14);
      fm.flags = ReadLe<uint16_t>(e + 18);
      if (fm.type == 'k') {
        for (int k = off; k >= 0 && k < nKey; ++k) {
          const char* ke = image + at[6] + kKeyEntry * k;
          if (ReadLe<int16_t>(ke) != f) break;
          int comp = ReadLe<int16_t>(ke + 2) - firstField[r];
          if (comp < 0) fail("compound key component outside its record");
          fm.components.push_back(comp);
        }
      } else {
        fm.offset = off - dataOffset[r];
        if (fm.IsData() &&
            (fm.length <= 0 || fm.offset < 0 || fm.offset + fm.length > rec.imageLength))
          fail("field outside its record");
        if (fm.IsData() && fm.length < TypeSize(fm.type)) fail("field narrower than its type");
      }
      rec.fields.push_back(std::move(fm));
    }
    for (size_t p = 0; p < rec.fields.size(); ++p) {
      const FieldModel& f = rec.fields[p];
      std::vector<int>& parts = rec.keyParts.emplace_back();
      if (f.IsKey() && f.type == 'k') parts = f.components;
      if (f.IsKey() && f.IsData()) parts = {static_cast<int>(p)};
    }
    rec.keyColumn.assign(rec.fields.size(), -1);
    int next = 0;
    for (size_t p = 0; p < rec.fields.size(); ++p) {
      for (int c : rec.KeyParts(static_cast<int>(p))) {
        if (c < 0 || c >= static_cast<int>(rec.fields.size()) || !rec.fields[c].IsData())
          fail("compound key component is not a data field");
        if (rec.keyColumn[c] < 0) rec.keyColumn[c] = next++;
      }
    }
  }
  return m;
}

void CopyBytes(char* to, const void* from, size_t n) {
  if (n > 0) std::memcpy(to, from, n);
}

void NormaliseImage(const RecordModel& rec, const char* in, char* out) {
  if (rec.imageLength == 0) return;  // an empty vector's data() may be null
  std::memset(out, 0, rec.imageLength);
  for (const FieldModel& f : rec.fields) {
    if (!f.IsData()) continue;
    if (f.type == 'c' && f.length > 1) {
      const void* nul = std::memchr(in + f.offset, 0, f.length);
      size_t n = nul ? static_cast<const char*>(nul) - (in + f.offset) : f.length;
      std::memcpy(out + f.offset, in + f.offset, n);
    } else {
      std::memcpy(out + f.offset, in + f.offset, f.length);
    }
  }
}

int64_t FieldInteger(const FieldModel& f, const char* image) {
  const char* p = image + f.offset;
  switch (f.type) {
    case 'c':
      return static_cast<uint8_t>(p[0]);
    case 's':
      return f.IsUnsigned() ? static_cast<int64_t>(ReadLe<uint16_t>(p)) : ReadLe<int16_t>(p);
    case 'i':
      return ReadLe<int32_t>(p);
    case 'l':
      return f.IsUnsigned() ? static_cast<int64_t>(ReadLe<uint32_t>(p)) : ReadLe<int32_t>(p);
    case 'd':
      return ReadLe<uint32_t>(p);
    case 'f':
      return SaturatedInteger(ReadLe<float>(p));
    case 'F':
      return SaturatedInteger(ReadLe<double>(p));
    default:
      return 0;
  }
}

void SetFieldInteger(const FieldModel& f, int64_t v, char* image) {
  char* p = image + f.offset;
  switch (f.type) {
    case 'c':
      p[0] = static_cast<char>(v);
      break;
    case 's':
      WriteLe<uint16_t>(p, static_cast<uint16_t>(v));
      break;
    case 'i':
    case 'l':
    case 'd':
      WriteLe<uint32_t>(p, static_cast<uint32_t>(v));
      break;
    case 'f':
      WriteLe<float>(p, static_cast<float>(v));
      break;
    case 'F':
      WriteLe<double>(p, static_cast<double>(v));
      break;
    default:
      break;
  }
}

std::string FieldText(const FieldModel& f, const char* image) {
  const char* p = image + f.offset;
  char buf[64];
  switch (f.type) {
    case 'c':
      if (f.length == 1) {
        if (p[0] == 0 && !f.IsUnsigned()) return "";
        return std::string(1, p[0]);
      } else {
        const void* nul = std::memchr(p, 0, f.length);
        return std::string(p, nul ? static_cast<const char*>(nul) - p : f.length);
      }
    case 's':
    case 'i':
    case 'l':
    case 'd':
      return std::to_string(FieldInteger(f, image));
    case 'f':
    case 'F': {
      double d = f.type == 'f' ? static_cast<double>(ReadLe<float>(p)) : ReadLe<double>(p);
      auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
      return ec == std::errc() ? std::string(buf, end) : std::string();
    }
    default:
      return "";
  }
}

bool SetFieldText(const FieldModel& f, std::string_view text, char* image, std::string& why) {
  char* p = image + f.offset;
  switch (f.type) {
    case 'c':
      if (f.length == 1) {
        if (text.empty()) {
          p[0] = 0;
        } else if (text.size() == 1) {
          p[0] = text[0];
        } else if (text.size() == 4 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
          unsigned v = 0;
          auto [e, ec] = std::from_chars(text.data() + 2, text.data() + 4, v, 16);
          if (ec != std::errc() || e != text.data() + 4) {
            why = "not a character or 0xNN";
            return false;
          }
          p[0] = static_cast<char>(v);
        } else {
          why = "not a character or 0xNN";
          return false;
        }
        return true;
      }
      if (text.find('\0') != std::string_view::npos ||
          text.size() > static_cast<size_t>(f.length - 1)) {
        why = "longer than " + std::to_string(f.length - 1) + " characters";
        return false;
      }
      std::memset(p, 0, f.length);
      CopyBytes(p, text.data(), text.size());
      return true;
    case 's':
    case 'i':
    case 'l':
    case 'd': {
      int64_t v;
      if (!ParseInteger(text, v)) {
        why = "not a whole number";
        return false;
      }
      int64_t lo, hi;
      if (f.type == 's') {
        lo = f.IsUnsigned() ? 0 : INT16_MIN;
        hi = f.IsUnsigned() ? UINT16_MAX : INT16_MAX;
      } else if (f.type == 'd' || (f.type == 'l' && f.IsUnsigned())) {
        lo = 0;
        hi = UINT32_MAX;
      } else {
        lo = INT32_MIN;
        hi = INT32_MAX;
      }
      if (v < lo || v > hi) {
        why = "out of range";
        return false;
      }
      SetFieldInteger(f, v, image);
      return true;
    }
    case 'f':
    case 'F': {
      double d = 0;
      std::string_view t = text;
      while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
      if (!t.empty() && t.front() == '+') t.remove_prefix(1);
      if (!t.empty()) {
        auto [e, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
        if (ec != std::errc() || e != t.data() + t.size()) {
          why = "not a number";
          return false;
        }
      }
      if (f.type == 'f')
        WriteLe<float>(p, static_cast<float>(d));
      else
        WriteLe<double>(p, d);
      return true;
    }
    default:
      why = "a group or compound key, which holds no value";
      return false;
  }
}

int TypeSize(char type) {
  switch (type) {
    case 's':
      return 2;
    case 'i':
    case 'l':
    case 'd':
    case 'f':
      return 4;
    case 'F':
      return 8;
    default:
      return 0;
  }
}

}  // namespace qordb

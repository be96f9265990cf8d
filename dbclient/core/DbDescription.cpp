// The description as an object: construction, copying, the dictionary image
// and every lookup by name and number.
#include "DbDescription.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "DbDescription_Internal.h"

namespace {

constexpr int kHeaderSize = 22;
constexpr int kMaxFieldsPerRecord = 999;

bool IsDataField(const FIELD_ENTRY_S& f) { return f.type != 'g' && f.type != 'k'; }

// The fewest bytes the conversions read and write for a type. Every data
// field holds at least one byte, also one of a type no conversion knows: a
// field without a byte would have no value buffer.
int StoredSize(const FIELD_ENTRY_S& f) {
  switch (f.type) {
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
      return 1;
  }
}

[[noreturn]] void RefuseImage() { throw DbDescError(2001); }

}  // namespace

RdmTableOptions DefaultTableOptions() { return RdmTableOptions{rtoClearOnFailedFind}; }

DbDescription::DbDescription() = default;

DbDescription::DbDescription(const DbDescription& other) = default;

// Member by member: buffers and fetched records are values, so a copy owns
// its own bytes.
DbDescription& DbDescription::operator=(const DbDescription& other) = default;

DbDescription::DbDescription(DbDescription&& other) noexcept { Swap(other); }

DbDescription& DbDescription::operator=(DbDescription&& other) noexcept {
  DbDescription taken(std::move(other));
  Swap(taken);
  return *this;
}

void DbDescription::Swap(DbDescription& other) noexcept {
  using std::swap;
  swap(m_version, other.m_version);
  swap(m_header, other.m_header);
  swap(m_files, other.m_files);
  swap(m_records, other.m_records);
  swap(m_fields, other.m_fields);
  swap(m_keys, other.m_keys);
  swap(m_sets, other.m_sets);
  swap(m_members, other.m_members);
  swap(m_sorts, other.m_sorts);
  swap(m_recordNames, other.m_recordNames);
  swap(m_fieldNames, other.m_fieldNames);
  swap(m_values, other.m_values);
  swap(m_fetched, other.m_fetched);
  swap(m_info, other.m_info);
  swap(m_infoOf, other.m_infoOf);
  swap(m_keyImage, other.m_keyImage);
  swap(m_lastRecordName, other.m_lastRecordName);
  swap(m_lastRecord, other.m_lastRecord);
  swap(m_dbId, other.m_dbId);
  swap(m_name, other.m_name);
  swap(m_handle, other.m_handle);
}

DbDescription::~DbDescription() = default;

void DbDescription::Load(const char* image, int length, const std::string& name, int dbId) {
  try {
    ParseDictionary(image, length);
  } catch (const DbDescError& e) {
    throw DbDescError(e.GetCode(), StringVector(name));
  }
  m_dbId = dbId;
  m_name = ToUpper(name);
}

void DbDescription::ParseDictionary(const char* image, int length) {
  Clear();
  if (!image || length < kHeaderSize) RefuseImage();
  std::memcpy(m_header, image, kHeaderSize);

  int counts[7];
  for (int t = 0; t < 7; ++t) {
    const int16_t c = qor_detail::LoadAs<int16_t>(image + 8 + 2 * t);
    counts[t] = c > 0 ? c : 0;
  }
  // Header order: files, records, fields, sets, members, sorts, keys.
  const int sizes[7] = {60, 12, 20, 12, 8, 4, 8};
  int64_t pos = kHeaderSize;
  for (int t = 0; t < 7; ++t) pos += int64_t(counts[t]) * sizes[t];
  if (pos > length) RefuseImage();

  int at = kHeaderSize;
  auto readTable = [&](auto& table, int count) {
    using Entry = typename std::decay_t<decltype(table)>::value_type;
    table.resize(size_t(count));
    if (count > 0) std::memcpy(table.data(), image + at, size_t(count) * sizeof(Entry));
    at += count * int(sizeof(Entry));
  };
  readTable(m_files, counts[0]);
  readTable(m_records, counts[1]);
  readTable(m_fields, counts[2]);
  readTable(m_sets, counts[3]);
  readTable(m_members, counts[4]);
  readTable(m_sorts, counts[5]);
  readTable(m_keys, counts[6]);

  int namePos = at;
  m_info.resize(m_records.size());
  for (size_t r = 0; r < m_records.size(); ++r) {
    m_recordNames.push_back(ReadName(image, length, namePos));
    // Records of one name share the first one's entry.
    const auto first = std::find(m_recordNames.begin(), m_recordNames.end(), m_recordNames.back());
    m_infoOf.push_back(size_t(first - m_recordNames.begin()));
  }
  for (size_t f = 0; f < m_fields.size(); ++f) m_fieldNames.push_back(ReadName(image, length, namePos));

  m_values.resize(m_records.size());
  m_fetched.resize(m_records.size());
  for (size_t r = 0; r < m_records.size(); ++r) {
    const RECORD_ENTRY_S& rec = m_records[r];
    const int recordLength = rec.slotLength - rec.dataOffset;
    if (rec.dataOffset < 0 || recordLength < 0 || rec.firstField < 0) {
      Clear();
      RefuseImage();
    }
    const int end = FieldsEnd(int(r));
    // Field numbers give a record 1000 positions: a 1000th field would be
    // numbered as the next record's first.
    if (end - rec.firstField > kMaxFieldsPerRecord) {
      Clear();
      RefuseImage();
    }
    RecordValues& values = m_values[r];
    std::vector<bool> covered(size_t(recordLength), false);
    int ownLength = 0;  // the data fields' lengths together
    for (int f = rec.firstField; f < end; ++f) {
      const FIELD_ENTRY_S& fe = m_fields[size_t(f)];
      FieldSlot slot;
      if (IsDataField(fe)) {
        // Every data field must lie inside the record image and be wide
        // enough for its type, so that packing and conversions stay in bounds.
        const int start = fe.offset - rec.dataOffset;
        if (fe.length < StoredSize(fe) || start < 0 || start + fe.length > recordLength) {
          Clear();
          RefuseImage();
        }
        slot = {start, fe.length, start};
        const auto bytes = covered.begin() + start;
        if (std::find(bytes, bytes + fe.length, true) != bytes + fe.length)
          values.overlapping = true;
        std::fill_n(bytes, fe.length, true);
        ownLength += fe.length;
      }
      values.fields.push_back(slot);
    }
    // Decided once per record type: only one whose data fields share bytes
    // keeps them apart.
    if (values.overlapping) {
      int at = 0;
      for (FieldSlot& slot : values.fields) {
        slot.offset = at;
        at += slot.length;
      }
    }
    values.bytes.assign(size_t(values.overlapping ? ownLength : recordLength), 0);
    for (int at = 0; at < recordLength;) {
      int next = at;
      while (next < recordLength && covered[size_t(next)] == covered[size_t(at)]) ++next;
      if (!covered[size_t(at)]) values.gaps.emplace_back(at, next - at);
      at = next;
    }
    m_fetched[r].recordLength = recordLength;
  }
}

std::string DbDescription::ReadName(const char* image, int length, int& position) const {
  if (position >= length) {
    position = length + 1;
    return "";
  }
  const char* start = image + position;
  const void* lf = std::memchr(start, '\n', size_t(length - position));
  size_t n = lf ? size_t(static_cast<const char*>(lf) - start) : size_t(length - position);
  position += int(n) + 1;
  return ToUpper(std::string(start, n));
}

void DbDescription::Clear() {
  m_files.clear();
  m_records.clear();
  m_fields.clear();
  m_keys.clear();
  m_sets.clear();
  m_members.clear();
  m_sorts.clear();
  m_recordNames.clear();
  m_fieldNames.clear();
  m_values.clear();
  m_lastRecord = -1;
  m_fetched.clear();
  m_info.clear();
  m_infoOf.clear();
  m_name.clear();
  m_dbId = -1;
}

void DbDescription::SetVersion(int major, int minor, int sub, int build) {
  m_version[0] = major;
  m_version[1] = minor;
  m_version[2] = sub;
  m_version[3] = build;
}

void DbDescription::GetVersion(int32_t& major, int32_t& minor, int32_t& sub, int32_t& build) const {
  major = m_version[0];
  minor = m_version[1];
  sub = m_version[2];
  build = m_version[3];
}

void DbDescription::SetHandle(int handle) { m_handle = handle; }
int DbDescription::GetHandle() const { return m_handle; }
const char* DbDescription::GetName() const { return m_name.c_str(); }
int DbDescription::GetDbId() const { return m_dbId; }

// ---- Private navigation over the tables ----

namespace {

// Whether ToUpper(name) is upper, without making that copy: letters are
// upper-cased up to the first NUL, as ToUpper does.
bool IsUpperOf(const std::string& upper, const std::string& name) {
  const size_t size = name.size();
  if (upper.size() != size) return false;
  if (upper == name) return true;  // the usual case: a name given in upper case
  size_t i = 0;
  for (; i < size && name[i] != '\0'; ++i)
    if (UpperAscii(name[i]) != upper[i]) return false;
  return std::memcmp(upper.data() + i, name.data() + i, size - i) == 0;
}

}  // namespace

int DbDescription::IndexOfRecord(const std::string& name) const {
  // Callers ask for one record many times in a row: the answer to the name
  // asked for last is kept.
  if (m_lastRecord >= 0 && name == m_lastRecordName) return m_lastRecord;
  for (size_t i = 0; i < m_recordNames.size(); ++i) {
    if (IsUpperOf(m_recordNames[i], name)) {
      m_lastRecordName = name;
      m_lastRecord = int(i);
      return int(i);
    }
  }
  return -1;
}

int DbDescription::ResolveRecord(const std::string& record) const {
  int index = IndexOfRecord(record);
  if (index < 0) throw DbDescError(2002, StringVector(record));
  return index;
}

int DbDescription::FieldsEnd(int recordIndex) const {
  int f = m_records[size_t(recordIndex)].firstField;
  while (f < int(m_fields.size()) && m_fields[size_t(f)].recordIndex == recordIndex) ++f;
  return f;
}

int DbDescription::FieldTableIndex(int fieldNumber) const {
  if (fieldNumber < 0) return -1;
  const size_t recordIndex = size_t(fieldNumber / 1000);
  const size_t position = size_t(fieldNumber % 1000);
  // Only a field of the record itself: one slot per field was made at loading.
  if (recordIndex >= m_values.size() || position >= m_values[recordIndex].fields.size()) return -1;
  return m_records[recordIndex].firstField + int(position);
}

const DbDescription::FieldSlot* DbDescription::SlotOf(int fieldNumber) const {
  if (fieldNumber < 0) return nullptr;
  const size_t recordIndex = size_t(fieldNumber / 1000);
  const size_t position = size_t(fieldNumber % 1000);
  if (recordIndex >= m_values.size() || position >= m_values[recordIndex].fields.size())
    return nullptr;
  return &m_values[recordIndex].fields[position];
}

char* DbDescription::ValueAt(int fieldNumber, const FieldSlot& slot) {
  return m_values[size_t(fieldNumber / 1000)].bytes.data() + slot.offset;
}

const char* DbDescription::ValueAt(int fieldNumber, const FieldSlot& slot) const {
  return m_values[size_t(fieldNumber / 1000)].bytes.data() + slot.offset;
}

int DbDescription::RecordLength(int recordIndex) const {
  return m_fetched[size_t(recordIndex)].recordLength;
}

DbDescription::_RecInfoType& DbDescription::InfoOf(int recordIndex) {
  return m_info[m_infoOf[size_t(recordIndex)]];
}

const DbDescription::_RecInfoType& DbDescription::InfoOf(int recordIndex) const {
  return m_info[m_infoOf[size_t(recordIndex)]];
}

DbDescription::_RecInfoType& DbDescription::InfoByName(const std::string& record) {
  return const_cast<_RecInfoType&>(std::as_const(*this).InfoByName(record));
}

const DbDescription::_RecInfoType& DbDescription::InfoByName(const std::string& record) const {
  const int index = IndexOfRecord(record);
  if (index < 0) throw QoMapExcept();
  return InfoOf(index);
}

// ---- Lookups ----

int DbDescription::GetRecordType(const std::string& record) const {
  int index = IndexOfRecord(record);
  return index < 0 ? -1 : 10000 + index;
}

RECORD_ENTRY_S DbDescription::GetRecordEntryByIndex(int index) const {
  if (index < 0 || index >= int(m_recordNames.size()) || index >= int(m_records.size()))
    throw DbDescError(2002);
  return m_records[size_t(index)];
}

RECORD_ENTRY_S DbDescription::GetRecordEntry(int recordType) const {
  return GetRecordEntryByIndex(recordType - 10000);
}

RECORD_ENTRY_S DbDescription::GetRecordEntryByName(const std::string& record) const {
  try {
    return GetRecordEntry(GetRecordType(record));
  } catch (const DbDescError& e) {
    throw DbDescError(e.GetCode(), StringVector(record));
  }
}

int DbDescription::IndexOfType(int recordType) const {
  const int index = recordType - RecordType(0);
  return index >= 0 && index < int(m_records.size()) ? index : -1;
}

std::string DbDescription::GetRecordName(int recordType) const {
  const int index = IndexOfType(recordType);
  return index < 0 ? "" : m_recordNames[size_t(index)];
}

int DbDescription::GetFieldNumber(const std::string& record, const std::string& field) const {
  const int index = IndexOfRecord(record);
  return index < 0 ? -1 : FieldNumberAt(index, field);
}

int DbDescription::FieldNumberAt(int index, const std::string& field) const {
  const int first = m_records[size_t(index)].firstField;
  for (int f = first, end = FieldsEnd(index); f < end; ++f)
    if (IsUpperOf(m_fieldNames[size_t(f)], field)) return index * 1000 + (f - first);
  return -1;
}

FIELD_ENTRY_S DbDescription::GetFieldEntry(int fieldNumber) const {
  const int index = FieldTableIndex(fieldNumber);
  if (index < 0) throw DbDescError(2003);
  return m_fields[size_t(index)];
}

FIELD_ENTRY_S DbDescription::GetFieldEntryByName(const std::string& record,
                                                 const std::string& field) const {
  const int number = GetFieldNumber(record, field);
  if (number < 0) throw DbDescError(2003, StringVector(record) << field);
  return GetFieldEntry(number);
}

std::string DbDescription::GetFieldName(int fieldNumber) const {
  const int index = FieldTableIndex(fieldNumber);
  return index < 0 ? "" : m_fieldNames[size_t(index)];
}

void DbDescription::GetFieldEntries(int recordType, std::vector<FIELD_ENTRY_S>& out,
                                    bool all) const {
  out.clear();
  const int index = IndexOfType(recordType);
  if (index < 0) return;
  for (int f = m_records[size_t(index)].firstField, end = FieldsEnd(index); f < end; ++f)
    if (all || IsDataField(m_fields[size_t(f)])) out.push_back(m_fields[size_t(f)]);
}

void DbDescription::GetFieldEntriesByName(const std::string& record,
                                          std::vector<FIELD_ENTRY_S>& out, bool all) const {
  GetFieldEntries(GetRecordType(record), out, all);
}

void DbDescription::GetFieldNames(int recordType, StringVector& out, bool all) const {
  out.clear();
  const int index = IndexOfType(recordType);
  if (index < 0) return;
  for (int f = m_records[size_t(index)].firstField, end = FieldsEnd(index); f < end; ++f)
    if (all || IsDataField(m_fields[size_t(f)])) out.push_back(m_fieldNames[size_t(f)]);
}

void DbDescription::GetFieldNamesByName(const std::string& record, StringVector& out,
                                        bool all) const {
  GetFieldNames(GetRecordType(record), out, all);
}

int DbDescription::GetUniqueKeyField(int recordType) const {
  const int index = IndexOfType(recordType);
  if (index < 0) return -1;
  const int first = m_records[size_t(index)].firstField;
  for (int f = first, end = FieldsEnd(index); f < end; ++f)
    if (m_fields[size_t(f)].keyKind == 'u') return index * 1000 + (f - first);
  return -1;
}

int DbDescription::GetUniqueKeyFieldByName(const std::string& record) const {
  return GetUniqueKeyField(GetRecordType(record));
}

bool DbDescription::IsUniqueKey(const std::string& record, const std::string& field) const {
  if (field.empty()) return false;
  return GetFieldEntryByName(record, field).keyKind == 'u';
}

bool DbDescription::IsCompoundKey(int fieldNumber) const {
  return GetFieldEntry(fieldNumber).type == 'k';
}

bool DbDescription::IsCompoundKeyByName(const std::string& record, const std::string& field) const {
  return GetFieldEntryByName(record, field).type == 'k';
}

void DbDescription::GetCompoundKeyEntries(int fieldNumber, std::vector<KEY_ENTRY_S>& out) const {
  out.clear();
  const int index = FieldTableIndex(fieldNumber);
  if (index < 0 || m_fields[size_t(index)].type != 'k') return;
  for (int k = m_fields[size_t(index)].offset;
       k >= 0 && k < int(m_keys.size()) && m_keys[size_t(k)].keyField == index; ++k)
    out.push_back(m_keys[size_t(k)]);
}

void DbDescription::GetCompoundKeyFields(int fieldNumber, StringVector& out) const {
  const int index = FieldTableIndex(fieldNumber);
  if (index < 0) {
    out.clear();
    return;
  }
  // A component is a field of the key's own record.
  const int first = m_records[size_t(fieldNumber / 1000)].firstField;
  const int end = first + int(m_values[size_t(fieldNumber / 1000)].fields.size());
  std::vector<KEY_ENTRY_S> entries;
  GetCompoundKeyEntries(fieldNumber, entries);
  for (const KEY_ENTRY_S& k : entries) {
    if (k.component < first || k.component >= end) {
      out.clear();
      return;
    }
    out.push_back(m_fieldNames[size_t(k.component)]);
  }
}

void DbDescription::GetCompoundKeyFieldsByName(const std::string& record, const std::string& field,
                                               StringVector& out) const {
  const int number = GetFieldNumber(record, field);
  if (number < 0) throw DbDescError(2003, StringVector(record) << field);
  GetCompoundKeyFields(number, out);
}

bool DbDescription::CompoundKeyContains(int fieldNumber, const std::string& field) const {
  const int index = FieldTableIndex(fieldNumber);
  if (index < 0 || m_fields[size_t(index)].type != 'k') return false;
  StringVector names;
  GetCompoundKeyFields(fieldNumber, names);
  for (const std::string& n : names)
    if (n == field) return true;
  return false;
}

bool DbDescription::CompoundKeyContainsByName(const std::string& record,
                                              const std::string& keyField,
                                              const std::string& field) const {
  const int number = GetFieldNumber(record, keyField);
  if (number < 0) return false;
  return CompoundKeyContains(number, ToUpper(field));
}

bool DbDescription::IsInUniqueKey(const std::string& record, const std::string& field) const {
  const int unique = GetUniqueKeyFieldByName(record);
  if (unique < 0) return false;
  if (GetFieldEntry(unique).type == 'k') return CompoundKeyContains(unique, field);
  return GetFieldName(unique) == field;
}

void DbDescription::GetKeyFieldList(const std::string& record, const std::string& field,
                                    StringVector& out) const {
  const int number = GetFieldNumber(record, field);
  if (number < 0) throw DbDescError(2003);
  if (GetFieldEntry(number).type == 'k')
    GetCompoundKeyFields(number, out);
  else
    out.push_back(field);
}

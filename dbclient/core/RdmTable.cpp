#include "RdmTable.h"

#include <utility>

namespace {

// name as ToUpper gives it, copied into room only when a letter changes.
const std::string& UpperName(const std::string& name, std::string& room) {
  for (char c : name) {
    if (c == '\0') break;
    if (UpperAscii(c) != c) return room = ToUpper(name);
  }
  return name;
}

}  // namespace

RdmTable::RdmTable() = default;

RdmTable::RdmTable(DbDescription* description, std::string recordName) {
  if (description == nullptr) throw DbDescError(2011);
  int type = description->GetRecordType(recordName);
  if (type == -1) throw DbDescError(2002, StringVector(description->GetName()) << recordName);
  m_description = description;
  m_name = ToUpper(recordName);
  m_recordEntry = description->GetRecordEntry(type);
  // Groups and compound keys have no value of their own, so no field.
  StringVector names;
  description->GetFieldNames(type, names, false);
  SetFldList(std::move(names));
}

RdmTable::RdmTable(const RdmTable& other) = default;
RdmTable& RdmTable::operator=(const RdmTable& other) = default;
RdmTable::~RdmTable() = default;

DbDescription* RdmTable::RequireDescription() const {
  if (m_description == nullptr) throw DbDescError(2011);
  return m_description;
}

// ---- Names ----

std::string RdmTable::ThroughAlias(const std::string& name) const {
  std::string room;
  const std::string& upper = UpperName(name, room);
  // Without a renamed field every visible name stands for itself: an
  // upper-case name is the answer whether it is a field or not.
  if (m_namesAreDictionaryNames && &upper == &name) return name;
  auto it = m_aliases.find(upper);
  return it != m_aliases.end() ? it->second : name;
}

std::string RdmTable::ThroughField(const std::string& name) { return GetField(name).GetFieldName(); }

RdmFld& RdmTable::GetField(std::string name) {
  UpperInPlace(name);
  auto alias = m_aliases.find(name);
  if (alias != m_aliases.end()) {
    auto field = m_fields.find(alias->second);
    if (field != m_fields.end()) return field->second;
  }
  throw DbDescError(2003, StringVector(name));
}

RdmFld& RdmTable::GetFieldAt(short index) {
  return const_cast<RdmFld&>(std::as_const(*this).GetFieldAt(index));
}

const RdmFld& RdmTable::GetFieldAt(short index) const {
  // The bound is the field map's count; the name list can be longer after a
  // SetFldList that failed half-way.
  if (index < 0 || static_cast<size_t>(index) >= m_fields.size() ||
      static_cast<size_t>(index) >= m_fieldNames.size())
    throw DbDescError(2003);
  auto field = m_fields.find(m_fieldNames[index]);
  if (field == m_fields.end()) throw DbDescError(2003);
  return field->second;
}

bool RdmTable::HasField(std::string name, bool dictionary) const {
  UpperInPlace(name);
  return dictionary ? m_fields.count(name) != 0 : m_aliases.count(name) != 0;
}

void RdmTable::GetFldEntries(std::vector<FIELD_ENTRY_S>& out) const {
  RequireDescription()->GetFieldEntriesByName(m_name, out, true);
}

void RdmTable::GetFldNames(std::vector<std::string>& out) const {
  out.assign(m_fieldNames.begin(), m_fieldNames.end());
}

void RdmTable::SetFldList(std::vector<std::string> names) {
  m_fields.clear();
  m_aliases.clear();
  m_namesAreDictionaryNames = true;
  m_fieldNames.assign(names.begin(), names.end());
  // A value refuses an unknown field, and any field on an unbound table, with 2003.
  for (const std::string& field : names) {
    m_fields.Insert(field, RdmFld(m_description, m_name, field, false));
    m_aliases.Insert(field, field);
  }
}

void RdmTable::CopyFields(const RdmTable& source) {
  // Its own fields already: emptying the maps first would lose them.
  if (&source == this) return;
  unsigned n = source.GetFldCount();
  m_fields.clear();
  m_fieldNames = source.m_fieldNames;
  m_aliases = source.m_aliases;
  m_namesAreDictionaryNames = source.m_namesAreDictionaryNames;
  for (unsigned i = 0; i < n; ++i) {
    const RdmFld& value = source.GetFieldAt(static_cast<short>(i));
    std::string field = value.GetFieldName();
    if (value.IsDetached()) {
      FIELD_ENTRY_S entry = value.GetFieldEntry();
      m_fields.Insert(field, RdmFld(m_name, field, entry.type, entry.length, entry.flags == 4));
    } else {
      m_fields.Insert(field, RdmFld(m_description, m_name, field, false));
    }
  }
}

short RdmTable::GetFieldIndex(std::string name) {
  UpperInPlace(name);
  auto alias = m_aliases.find(name);
  if (alias != m_aliases.end()) {
    short index = 0;
    for (const auto& entry : m_fields) {
      if (entry.first == alias->second) return index;
      ++index;
    }
  }
  throw DbDescError(2003, StringVector(name));
}

// ---- Aliases ----

bool RdmTable::SetFieldAlias(std::string alias, std::string field) {
  UpperInPlace(alias);
  UpperInPlace(field);
  if (alias == field) return true;
  // The dictionary name behind field: an alias of an alias must still reach
  // a field of the map.
  auto visible = m_aliases.find(field);
  const std::string dictionary = visible != m_aliases.end() ? visible->second : field;
  auto taken = m_aliases.find(alias);
  if (taken != m_aliases.end()) {
    if (taken->second == dictionary) return true;
    throw DbDescError(2015, StringVector(alias));
  }
  if (visible == m_aliases.end()) throw DbDescError(2003, StringVector(field));
  m_aliases.erase(visible);
  m_namesAreDictionaryNames = false;
  return m_aliases.Insert(alias, dictionary);
}

std::string RdmTable::GetFieldAlias(std::string field, bool mustExist) {
  UpperInPlace(field);
  for (const auto& [visible, dictionary] : m_aliases)
    if (dictionary == field) return visible;
  if (mustExist) throw DbDescError(2003, StringVector(m_name) << field);
  return "";
}

void RdmTable::GetFieldAliases(QoMap<std::string, std::string>& out) {
  for (const auto& [visible, dictionary] : m_aliases) out.Insert(dictionary, visible);
}

// ---- Keys ----

void RdmTable::DefineKey(std::string keyField) {
  std::string field = ThroughAlias(keyField);
  RequireDescription()->DefineKey(m_name, field);
}

std::string RdmTable::GetKeyName() {
  std::string key = RequireDescription()->GetKeyName(m_name);
  if (key.empty()) return key;
  if (m_fields.count(key) != 0) return GetFieldAlias(key, false);
  return key;
}

std::string RdmTable::GetUniqueKeyName() { return RequireDescription()->GetUniqueKeyName(m_name); }

bool RdmTable::DefineUniqueKey() { return RequireDescription()->DefineUniqueKey(m_name); }

bool RdmTable::IsInUniqueKey(std::string field) {
  std::string name = ThroughField(field);
  return RequireDescription()->IsInUniqueKey(m_name, name);
}

bool RdmTable::IsUniqueKey(std::string field) {
  std::string name = ThroughAlias(field);
  return RequireDescription()->IsUniqueKey(m_name, name);
}

bool RdmTable::IsCompoundKey(std::string field) {
  std::string name = ThroughAlias(field);
  return RequireDescription()->IsCompoundKeyByName(m_name, name);
}

bool RdmTable::CompoundKeyContains(std::string key, std::string field) {
  std::string name = ThroughAlias(key);
  return RequireDescription()->CompoundKeyContainsByName(m_name, name, field);
}

void RdmTable::GetCompoundKeyFields(std::string key, StringVector& out) {
  std::string name = ThroughAlias(key);
  RequireDescription()->GetCompoundKeyFieldsByName(m_name, name, out);
  for (std::string& entry : out) entry = GetFieldAlias(entry, true);
}

void RdmTable::GetKeyFieldList(std::string key, StringVector& out) {
  std::string name = ThroughAlias(key);
  RequireDescription()->GetKeyFieldList(m_name, name, out);
  for (std::string& entry : out) entry = GetFieldAlias(entry, true);
}

void RdmTable::GetFieldTexts(const std::vector<std::string>& names, StringVector& out) {
  StringVector dictionary;
  for (const std::string& name : names) dictionary << ThroughField(name);
  RequireDescription()->GetFieldTexts(m_name, dictionary, out);
}

// ---- Sequence, count, cache ----

void RdmTable::SetSequenceName(std::string name) { m_sequenceName = std::move(name); }

int32_t RdmTable::GetNextId() { return RequireDescription()->GetNextId(m_sequenceName); }

int32_t RdmTable::GetCount() { return RequireDescription()->GetCount(m_name); }

bool RdmTable::WriteCache() { throw DbDescError(10038); }

// ---- Transactions, options, locks ----

void RdmTable::BeginTransaction(std::string name) { RequireDescription()->BeginTransaction(name); }

void RdmTable::EndTransaction(byte commit) { RequireDescription()->EndTransaction(commit != 0); }

void RdmTable::SetTableOptions(const RdmTableOptions& options) {
  RequireDescription()->SetTableOptions(m_name, options);
}

RdmTableOptions RdmTable::GetTableOptions() const {
  return RequireDescription()->GetTableOptions(m_name);
}

void RdmTable::AddTableOption(byte option) { RequireDescription()->AddTableOption(m_name, option); }

bool RdmTable::UnlockRecord(int recordReference) {
  return RequireDescription()->UnlockRecord(m_name, recordReference);
}

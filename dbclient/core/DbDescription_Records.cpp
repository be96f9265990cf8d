// Record operations through the client library: navigation, keys, finds,
// inserts, changes, deletes and re-reads, and the record types' options.
#include <optional>

#include "DbDescription.h"
#include "DbDescription_Internal.h"

using qor_detail::ClientBuffer;
using qor_detail::KeyRestorer;

bool DbDescription::Navigate(unsigned char direction, const std::string& record) {
  const int index = ResolveRecord(record);
  if (direction > 4) throw DbDescError(2005, StringVector(record));
  using Fn = int (*)(int32_t, int32_t, int32_t, int32_t, char**);
  Fn fn = nullptr;
  switch (direction) {
    case 0: fn = QOR_ENTRY(FirstRec); break;
    case 1: fn = QOR_ENTRY(PrevRec); break;
    case 2: fn = QOR_ENTRY(NextRec); break;
    case 3: fn = QOR_ENTRY(LastRec); break;
    default: fn = QOR_ENTRY(ReadCurrentRec); break;
  }
  ClientBuffer image;
  const int length = RecordLength(index);
  const int status = fn(m_handle, m_dbId, RecordType(index), length, image.Address());
  if (status == 0) {
    if (!image.Get()) throw DbDescError(10050);
    StoreFetched(index, image.Get(), length);
    image.Release();
    UnpackFetched(index, 0);
    return true;
  }
  if (status == 10002) {
    if (direction == 0 || direction == 3) {
      ZeroFields(index);
      ResetFetched(index);
    }
    return false;
  }
  throw DbDescError(status);
}

void DbDescription::DefineKeyNumber(int recordIndex, int32_t key) {
  auto fn = QOR_ENTRY(DefineKey);
  const int status = fn(m_handle, m_dbId, RecordType(recordIndex), key);
  if (status != 0) throw DbDescError(status);
  InfoOf(recordIndex).key = key;
}

void DbDescription::DefineKey(const std::string& record, const std::string& keyField) {
  const int index = ResolveRecord(record);
  int32_t key = kDefaultKey;
  if (!keyField.empty()) {
    key = GetFieldNumber(record, keyField);
    if (key < 0) throw DbDescError(2003, StringVector(record) << keyField);
    if (GetFieldEntry(key).keyKind == 'n') throw DbDescError(2009, StringVector(record) << keyField);
  }
  DefineKeyNumber(index, key);
}

std::string DbDescription::GetKeyName(const std::string& record) const {
  return KeyNameAt(ResolveRecord(record));
}

std::string DbDescription::KeyNameAt(int recordIndex) const {
  const int32_t key = InfoOf(recordIndex).key;
  return key == kDefaultKey ? "" : GetFieldName(key);
}

std::string DbDescription::GetUniqueKeyName(const std::string& record) const {
  const int number = GetUniqueKeyFieldByName(record);
  return number < 0 ? "" : GetFieldName(number);
}

bool DbDescription::DefineUniqueKey(const std::string& record) {
  const std::string name = GetUniqueKeyName(record);
  if (name.empty()) return false;
  DefineKey(record, name);
  return true;
}

bool DbDescription::FindCommon(const std::string& record, bool next) {
  const int index = ResolveRecord(record);
  Bytes image = PackAt(index);
  ResetFetched(index);
  auto fn = next ? QOR_ENTRY(FindRecNext) : QOR_ENTRY(FindRec);
  // The entry writes the record found into our own block.
  char* block = image.data();
  const int length = RecordLength(index);
  const int status = fn(m_handle, m_dbId, RecordType(index), length, &block);
  if (status != 0 && InfoOf(index).options.Contains(rtoClearOnFailedFind)) {
    ResetFetched(index);
    ZeroFields(index);
  }
  if (status == 0) {
    KeepFetched(index, std::move(image));
    UnpackFetched(index, 0);
    return true;
  }
  if (status == 10002) return false;
  throw DbDescError(status, StringVector(record));
}

bool DbDescription::FindRec(const std::string& record) { return FindCommon(record, false); }
bool DbDescription::FindRecNext(const std::string& record) { return FindCommon(record, true); }

bool DbDescription::FindRecByKey(const std::string& record, const std::string& keyField) {
  DefineKey(record, keyField);
  return FindCommon(record, false);
}

bool DbDescription::FindRecNextByKey(const std::string& record, const std::string& keyField) {
  DefineKey(record, keyField);
  return FindCommon(record, true);
}

void DbDescription::NewRec(const std::string& record) {
  const int index = ResolveRecord(record);
  Bytes image = PackAt(index);
  auto fn = QOR_ENTRY(NewRec);
  char* block = image.data();
  const int status = fn(m_handle, m_dbId, RecordType(index), RecordLength(index), &block);
  if (status != 0) throw DbDescError(status, StringVector(record));
  UnpackAt(index, image.data());
}

bool DbDescription::WriteCommon(const std::string& record, bool throwIfMissing, bool modify) {
  const int index = ResolveRecord(record);
  std::optional<KeyRestorer> restorer;
  if (InfoOf(index).options.Contains(rtoUniqueKeyWrites)) {
    std::string previousKey = KeyNameAt(index);
    if (!DefineUniqueKey(record)) throw DbDescError(10028, StringVector(record));
    restorer.emplace(*this, record, std::move(previousKey));
  }
  Bytes image = PackAt(index);
  auto fn = modify ? QOR_ENTRY(ModRec) : QOR_ENTRY(DelRec);
  char* block = image.data();
  const int status = fn(m_handle, m_dbId, RecordType(index), RecordLength(index), &block);
  if (modify && status == 0) UnpackAt(index, image.data());
  if (restorer) restorer->Restore();

  if (status == 0) return true;
  if (status == 10002 && !throwIfMissing) return false;
  throw DbDescError(status, StringVector(record));
}

bool DbDescription::ModRec(const std::string& record, bool throwIfMissing) {
  return WriteCommon(record, throwIfMissing, true);
}

bool DbDescription::DelRec(const std::string& record, bool throwIfMissing) {
  return WriteCommon(record, throwIfMissing, false);
}

bool DbDescription::ReadCurrentRec(const std::string& record, bool throwIfMissing) {
  const int index = ResolveRecord(record);
  auto fn = QOR_ENTRY(ReadCurrentRec);
  ClientBuffer image;
  const int status = fn(m_handle, m_dbId, RecordType(index), RecordLength(index), image.Address());
  if (status != 0) {
    if (status == 10002 && !throwIfMissing) return false;
    throw DbDescError(status, StringVector(record));
  }
  if (!image.Get()) throw DbDescError(10050, StringVector(record));
  UnpackAt(index, image.Get());
  image.Release();
  return true;
}

void DbDescription::AddTableOption(const std::string& record, unsigned char option) {
  InfoByName(record).options.Add(static_cast<tagRdmTableOption>(option));
}

void DbDescription::SetTableOptions(const std::string& record, const RdmTableOptions& options) {
  InfoByName(record).options = options;
}

RdmTableOptions DbDescription::GetTableOptions(const std::string& record) const {
  return InfoByName(record).options;
}

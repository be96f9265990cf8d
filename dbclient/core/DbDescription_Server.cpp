// Services of the connection: transactions, sequences, counts, record locks
// and bookmarks. The description keeps no state for them.
#include "DbDescription.h"
#include "DbDescription_Internal.h"

void DbDescription::BeginTransaction(const std::string& name) {
  auto fn = QOR_ENTRY(BeginTransaction);
  const int status = fn(m_handle, name.c_str(), 0, 0);
  if (status != 0) throw DbDescError(status, StringVector(name));
}

void DbDescription::EndTransaction(bool commit) {
  auto fn = QOR_ENTRY(EndTransaction);
  const int status = fn(m_handle, commit ? 1 : 0);
  if (status != 0) throw DbDescError(status);
}

int32_t DbDescription::GetNextId(const std::string& sequence) {
  auto fn = QOR_ENTRY(GetNextId);
  int32_t id = 0;
  const int status = fn(m_handle, sequence.c_str(), &id);
  if (status != 0) throw DbDescError(status, StringVector(sequence));
  return id;
}

int DbDescription::GetCount(const std::string& record) {
  const int index = ResolveRecord(record);
  auto fn = QOR_ENTRY(GetCount);
  QOR_ENTRY(FreePtr);
  int32_t count = 0;
  const int status = fn(m_handle, m_dbId, RecordType(index), &count);
  if (status == 0) return count;
  if (status == 10002) return 0;
  throw DbDescError(status);
}

bool DbDescription::UnlockRecord(const std::string& record, int32_t recordReference) {
  auto fn = QOR_ENTRY(UnlockRecord);
  // An unknown name goes on as -1 and the client library answers for it.
  const int status = fn(m_handle, m_dbId, GetRecordType(record), recordReference);
  if (status == 0) return true;
  if (status == 10002) return false;
  throw DbDescError(status, StringVector(record));
}

int DbDescription::BookmarkCreate(int32_t& bookmarkId, const std::string& record) {
  bookmarkId = -1;
  const int index = ResolveRecord(record);
  auto fn = QOR_ENTRY(BookmarkCreate);
  return fn(m_handle, m_dbId, RecordType(index), &bookmarkId);
}

int DbDescription::BookmarkDrop(int32_t bookmarkId) {
  auto fn = QOR_ENTRY(BookmarkDrop);
  return fn(m_handle, bookmarkId);
}

int DbDescription::BookmarkOperation(int32_t bookmarkId, unsigned char operation) {
  auto fn = QOR_ENTRY(BookmarkOperation);
  return fn(m_handle, bookmarkId, operation);
}

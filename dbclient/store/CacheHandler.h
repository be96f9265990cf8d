// The write cache of a store table: per record id the pending server
// operations, OR-ed, with a copy of the record image to write.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "QorUtils.h"

// Pending operations of a cache entry.
enum : uint8_t { kCacheDelete = 1, kCacheAppend = 2, kCacheUpdate = 4 };

struct _RecCacheType {
  int32_t id = 0;  // id of a record of the store
  uint8_t flags = 0;
  std::vector<char> record;  // the image to write, record-length bytes
};

class CacheHandler {
 public:
  using EntryMap = QoMap<long, std::unique_ptr<_RecCacheType>>;

  CacheHandler();
  ~CacheHandler();
  CacheHandler(const CacheHandler&) = delete;
  CacheHandler& operator=(const CacheHandler&) = delete;

  void SetRecordLength(int length) { m_recordLength = length; }
  int GetRecordLength() const { return m_recordLength; }

  // For an id without an entry (see Contains and Merge).
  _RecCacheType* Add(uint8_t flags, long id, const char* image);
  void AddCopy(const _RecCacheType* entry);
  // ORs the flags into the id's entry and overwrites its copy; null when
  // the id has no entry.
  _RecCacheType* Merge(uint8_t flags, long id, const char* image);
  _RecCacheType* Find(long id) const;
  bool Contains(long id) const { return m_entries.count(id) != 0; }
  // Hands the entry to the caller, out of the cache; null when absent.
  std::unique_ptr<_RecCacheType> Take(long id);
  void Remove(long id);
  void Clear();
  void Assign(const CacheHandler& other);

  bool IsEmpty() const { return m_entries.empty(); }
  const EntryMap& Entries() const { return m_entries; }

 private:
  std::vector<char> Copy(const char* image) const;

  EntryMap m_entries;
  int m_recordLength = 0;
};

#include "CacheHandler.h"

#include <algorithm>

CacheHandler::CacheHandler() = default;

CacheHandler::~CacheHandler() { Clear(); }

std::vector<char> CacheHandler::Copy(const char* image) const {
  return std::vector<char>(image, image + m_recordLength);
}

_RecCacheType* CacheHandler::Add(uint8_t flags, long id, const char* image) {
  auto entry = std::make_unique<_RecCacheType>();
  entry->id = int32_t(id);
  entry->flags = flags;
  entry->record = Copy(image);
  _RecCacheType* kept = entry.get();
  m_entries[id] = std::move(entry);
  return kept;
}

void CacheHandler::AddCopy(const _RecCacheType* entry) {
  auto copy = std::make_unique<_RecCacheType>(*entry);
  copy->record.resize(size_t(m_recordLength));
  m_entries[entry->id] = std::move(copy);
}

_RecCacheType* CacheHandler::Merge(uint8_t flags, long id, const char* image) {
  _RecCacheType* entry = Find(id);
  if (entry == nullptr) return nullptr;
  entry->flags |= flags;
  std::copy(image, image + m_recordLength, entry->record.begin());
  return entry;
}

_RecCacheType* CacheHandler::Find(long id) const {
  auto it = m_entries.find(id);
  return it == m_entries.end() ? nullptr : it->second.get();
}

std::unique_ptr<_RecCacheType> CacheHandler::Take(long id) {
  auto it = m_entries.find(id);
  if (it == m_entries.end()) return nullptr;
  std::unique_ptr<_RecCacheType> entry = std::move(it->second);
  m_entries.erase(it);
  return entry;
}

void CacheHandler::Remove(long id) { Take(id); }

void CacheHandler::Clear() { m_entries.clear(); }

void CacheHandler::Assign(const CacheHandler& other) {
  Clear();
  m_recordLength = other.m_recordLength;
  for (const auto& [id, entry] : other.m_entries) AddCopy(entry.get());
}

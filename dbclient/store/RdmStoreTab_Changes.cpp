// Appends, updates and deletes, the write cache and re-reading from the server.
#include <algorithm>
#include <deque>
#include <exception>
#include <optional>
#include <set>

#include "RdmStoreTab.h"

namespace {

QorErrPos At(const char* operation, int line) { return QorErrPos("RdmStoreTab", operation, line); }

// Puts the key that was current when it was made back on the server when
// it goes, also when a call it guards fails: a write or a re-read that
// fails part-way must not leave later finds and moves on another key.
class KeyScope {
 public:
  explicit KeyScope(RdmTable& table)
      : m_table(table), m_saved(table.GetKeyName()), m_uncaught(std::uncaught_exceptions()) {}
  // Passes on a failure of its own unless another exception is unwinding.
  ~KeyScope() noexcept(false) {
    try {
      m_table.DefineKey(m_saved);
    } catch (...) {
      if (std::uncaught_exceptions() > m_uncaught) return;
      throw;
    }
  }
  KeyScope(const KeyScope&) = delete;
  KeyScope& operator=(const KeyScope&) = delete;

 private:
  RdmTable& m_table;
  std::string m_saved;
  int m_uncaught;
};

}  // namespace

// ---- Rules for changing a child ----

bool RdmStoreTab::LinkKeyCoversUniqueKey() {
  if (m_linkKey.empty()) return false;
  const std::string unique = GetUniqueKeyName();
  if (m_linkKey == unique) return true;
  return IsCompoundKey(m_linkKey) && CompoundKeyContains(m_linkKey, unique);
}

bool RdmStoreTab::ChangeAllowed() {
  return !(GetTableOptions().Contains(rtoLinkValues) && LinkKeyCoversUniqueKey());
}

bool RdmStoreTab::IsLinkKeyUnique() { return IsUniqueKey(m_linkKey); }

bool RdmStoreTab::ChildBlocksDelete() {
  const _RecItemType* item = CurrentItem();
  if (item == nullptr) return false;
  // The child's records of this record, whatever the child's mode and
  // wherever it stands.
  for (auto& [alias, child] : m_children) {
    const _MapItemType* group = child->m_store.FindGroup(item->id);
    if (group != nullptr && !group->items.empty() && !child->IsLinkKeyUnique()) return true;
  }
  return false;
}

void RdmStoreTab::TakeBackup() {
  if (!m_cachedMode || m_backupExists) return;
  m_backupStore.Assign(m_store);
  m_backupExists = true;
}

// ---- Changes ----

void RdmStoreTab::Append() {
  // The new record belongs to the parent's current record, which need not
  // be the one this table stands under (SetPosition leaves it there).
  const _RecItemType* parent = m_parent != nullptr ? m_parent->CurrentItem() : nullptr;
  if (m_parent != nullptr && parent == nullptr)
    throw DbDescError(2013, At("RdmStoreTab::Append", 1348), StringVector(m_alias));
  const int parentKey = parent != nullptr ? parent->id : -1;
  // A refused insert leaves the caller's values in the fields and the table
  // in its group, on its record.
  const DbDescription::Bytes callerValues = PackCurrent();
  // The link values of that record as it is stored, not what the parent's
  // fields may hold meanwhile.
  if (GetTableOptions().Contains(rtoLinkValues)) {
    if (parent != nullptr)
      LinkSetter(*this, false).Apply(parent);
    else
      SetLinkValues();
  }
  // Taken before the insert: what the server writes back into the buffers
  // stays out of the stored copy.
  const DbDescription::Bytes image = PackCurrent();
  if (!m_cachedMode) {
    try {
      RdmTable::Append();
    } catch (...) {
      Unpack(callerValues.data());
      throw;
    }
  }
  TakeBackup();
  if (parent != nullptr && m_masterDepMode) m_currentGroupKey = parentKey;
  _RecItemType* item = m_store.Add(parentKey, image.data());
  if (m_cachedMode) m_cache.Add(kCacheAppend, item->id, item->record);
  GoTo(GetRecordCount() - 1, 5);
}

bool RdmStoreTab::Update(byte throwIfMissing) {
  if (!ChangeAllowed()) {
    if (throwIfMissing)
      throw DbDescError(2012, At("RdmStoreTab::Update", 1380), StringVector(m_alias));
    return false;
  }
  _RecItemType* item = CurrentItem();
  if (item == nullptr)
    throw DbDescError(2012, At("RdmStoreTab::Update", 1388), StringVector(m_alias));
  TakeBackup();
  const bool result = m_cachedMode ? true : RdmTable::Update(throwIfMissing);
  if (!result) return false;
  StoreInto(item);
  if (m_cachedMode && !m_cache.Merge(kCacheUpdate, item->id, item->record))
    m_cache.Add(kCacheUpdate, item->id, item->record);
  return true;
}

bool RdmStoreTab::Delete(byte throwIfMissing) {
  if (!ChangeAllowed() || ChildBlocksDelete()) {
    if (throwIfMissing)
      throw DbDescError(2012, At("RdmStoreTab::Delete", 1428), StringVector(m_alias));
    return false;
  }
  RecListType* list = nullptr;
  int* position = nullptr;
  if (!GetCurrentList(list, position) || *position < 0 || *position >= int(list->size()))
    throw DbDescError(2012, At("RdmStoreTab::Delete", 1436), StringVector(m_alias));
  TakeBackup();
  _RecItemType* item = (*list)[size_t(*position)];
  if (m_cachedMode) {
    if (!m_cache.Merge(kCacheDelete, item->id, item->record))
      m_cache.Add(kCacheDelete, item->id, item->record);
  } else {
    // The server finds the record by the key values in the fields, which
    // the caller may have changed since (a refused insert leaves its own
    // there): they name the current record.
    Unpack(item);
    if (!RdmTable::Delete(throwIfMissing)) return false;
  }
  // The record before the deleted one becomes current, so that Next makes
  // current the record that followed it; its values, not the deleted
  // record's, stand in the fields, so that an update cannot write the
  // deleted record over it.
  const int index = *position;
  if (m_cachedMode) m_deletedKeys[item->id] = item->parentKey;
  ShiftOtherPosition(item);
  m_store.Remove(item->id);
  GoToIndex(index - 1, *list, 5, *position);
  return true;
}

// ---- Writing the cache ----

bool RdmStoreTab::WriteCache() {
  RefuseOrphanWrite();
  // Writing loads each record it writes into the fields of its table.
  std::vector<RdmStoreTab*> tables;
  CollectTreeTables(tables);
  std::deque<CurrentKeeper> keepers;
  for (RdmStoreTab* table : tables) keepers.emplace_back(table);
  std::optional<KeyScope> key;
  if (GetTableOptions().Contains(rtoUniqueKeyWrites)) {
    if (GetUniqueKeyName().empty())
      throw DbDescError(10028, At("RdmStoreTab::WriteCache", 2006), StringVector(m_name));
    key.emplace(*this);
    DefineUniqueKey();
  }
  const bool result = WriteGroup(m_currentGroupKey);
  key.reset();
  if (result) EndBackup(true);
  return result;
}

void RdmStoreTab::RefuseOrphanWrite() const {
  // A child's group can be written on its own only once the records above
  // it are on the server: the server would keep its records without them.
  int key = m_currentGroupKey;
  for (const RdmStoreTab* table = this; table->m_parent != nullptr; table = table->m_parent) {
    RdmStoreTab& parent = *table->m_parent;
    if (const _RecCacheType* entry = parent.m_cache.Find(key);
        entry != nullptr && (entry->flags & kCacheAppend) != 0)
      throw DbDescError(2014, At("RdmStoreTab::WriteCache", 1998), StringVector(parent.m_alias));
    const _RecItemType* item = parent.m_store.Find(key);
    if (item == nullptr) return;
    key = item->parentKey;
  }
}

bool RdmStoreTab::WriteGroup(int parentKey) {
  RecSentry sentry(this);
  WriteCachedDeletes(parentKey);
  _MapItemType* group = m_store.FindGroup(parentKey);
  if (group == nullptr) return false;
  const RecListType items = group->items;
  bool result = true;
  for (const _RecItemType* item : items) {
    if (!result) break;
    if (_RecCacheType* entry = m_cache.Find(item->id)) {
      WriteCachedRecord(entry);
      Written(*entry);
    }
    result = ImplicitProcessCacheList(item->id);
  }
  return result;
}

void RdmStoreTab::WriteCachedDeletes(int parentKey) {
  // Deleted records have left the store, so the group no longer reaches
  // their entries; they are written before the records that remain. What is
  // queued below a deleted record reaches the server before its delete: a
  // refusal down there leaves the record on the server, with the records
  // under it not yet deleted, and its delete queued.
  for (auto it = m_deletedKeys.begin(); it != m_deletedKeys.end();) {
    if (it->second != parentKey) {
      ++it;
      continue;
    }
    const long id = it->first;
    ImplicitProcessCacheList(int(id));
    if (_RecCacheType* entry = m_cache.Find(id)) {
      WriteCachedRecord(entry);
      Written(*entry);
    }
    it = m_deletedKeys.erase(it);
  }
}

void RdmStoreTab::Written(const _RecCacheType& entry) {
  // A backup that outlives this write (other groups still wait) holds what
  // the server now holds for this record, so that restoring it undoes only
  // the changes not yet written.
  if (m_backupExists) {
    const int id = int(entry.id);
    const bool append = (entry.flags & kCacheAppend) != 0;
    const bool remove = (entry.flags & kCacheDelete) != 0;
    if (remove) {
      m_backupStore.Remove(id);
    } else if (_RecItemType* kept = m_backupStore.Find(id)) {
      std::copy_n(entry.record.data(), m_recordLength, kept->record);
    } else if (const _RecItemType* item = m_store.Find(id); append && item != nullptr) {
      m_backupStore.AddCopy(item);
    }
  }
  m_cache.Remove(entry.id);
}

bool RdmStoreTab::WriteCachedRecord(_RecCacheType* entry) {
  Unpack(entry->record.data());
  const bool append = (entry->flags & kCacheAppend) != 0;
  const bool remove = (entry->flags & kCacheDelete) != 0;
  if (append && !remove) {
    SetQueuedLinkValues(entry->id);
    RdmTable::Append();
  } else if (remove && !append) {
    RdmTable::Delete(1);
  } else if (!append && !remove && (entry->flags & kCacheUpdate) != 0) {
    SetQueuedLinkValues(entry->id);
    RdmTable::Update(1);
  }
  return true;
}

void RdmStoreTab::SetQueuedLinkValues(long id) {
  if (!GetTableOptions().Contains(rtoLinkValues)) return;
  if (m_parent == nullptr) {
    SetLinkValues();
    return;
  }
  // From the parent record that the change was queued under, as it is
  // stored, wherever the parent stands now; without that record the link
  // values stay as the queued copy holds them.
  const _RecItemType* item = m_store.Find(int(id));
  if (const _RecItemType* parent = item ? m_parent->m_store.Find(item->parentKey) : nullptr)
    LinkSetter(*this, false).Apply(parent);
}

bool RdmStoreTab::ImplicitProcessCacheList(int recordId) {
  const bool uniqueWrites = GetTableOptions().Contains(rtoUniqueKeyWrites);
  for (auto& [alias, child] : m_children) {
    if (uniqueWrites && child->GetUniqueKeyName().empty())
      throw DbDescError(10028, At("RdmStoreTab::ImplicitProcessCacheList", 1549),
                        StringVector(m_name));
    // A subtree with nothing queued needs no key switched on the server.
    if (!child->HasPendingWrites()) continue;
    std::optional<KeyScope> key;
    if (uniqueWrites) {
      key.emplace(*child);
      child->DefineUniqueKey();
    }
    child->WriteGroup(recordId);
  }
  return true;
}

bool RdmStoreTab::HasPendingWrites() const {
  if (!m_cache.IsEmpty() || !m_deletedKeys.empty()) return true;
  for (const auto& [alias, child] : m_children)
    if (child->HasPendingWrites()) return true;
  return false;
}

void RdmStoreTab::EndBackup(bool discard) {
  if (m_backupExists) {
    if (!discard) {
      RecSentry sentry(this);
      CurrentKeeper keeper(this);  // by its id, which the backup keeps
      m_store.Restore(m_backupStore);
      // The changes are undone: none of them may reach the server later.
      m_cache.Clear();
      m_deletedKeys.clear();
    }
    // Changes that a write of one group left queued keep their backup.
    if (!discard || (m_cache.IsEmpty() && m_deletedKeys.empty())) {
      m_backupStore.Clear();
      m_backupExists = false;
    }
  }
  for (auto& [alias, child] : m_children) {
    child->EndBackup(discard);
    if (!discard) child->ForgetOrphans();
  }
}

void RdmStoreTab::ForgetOrphans() {
  // A restore may take a record away from the parent, or bring back records
  // under one whose delete has been written, or that a child read under a
  // record the restore took away.
  std::vector<bool> held(size_t(m_parent->m_store.GetNextId()));
  for (const _RecItemType* item : m_parent->m_store.Items()) held[size_t(item->id)] = true;
  const auto orphan = [&](int key) {
    return key < 0 || size_t(key) >= held.size() || !held[size_t(key)];
  };
  std::set<int> keys;
  m_store.ForEachGroup([&](int key, const _MapItemType&) {
    if (orphan(key)) keys.insert(key);
  });
  for (const auto& [id, key] : m_deletedKeys)
    if (orphan(key)) keys.insert(key);
  for (int key : keys) ForgetGroup(key);
}

void RdmStoreTab::ForgetGroup(int key) {
  if (const _MapItemType* group = m_store.FindGroup(key))
    for (const _RecItemType* item : group->items) {
      m_cache.Remove(item->id);
      for (auto& [alias, child] : m_children) child->ForgetGroup(item->id);
    }
  for (auto it = m_deletedKeys.begin(); it != m_deletedKeys.end();) {
    if (it->second != key) {
      ++it;
      continue;
    }
    m_cache.Remove(it->first);
    for (auto& [alias, child] : m_children) child->ForgetGroup(int(it->first));
    it = m_deletedKeys.erase(it);
  }
  ClearGroup(key, true, true);
}

// ---- Re-reading ----

bool RdmStoreTab::ReRead(byte throwIfMissing) {
  // The groups reloaded below would take the changes queued in them along.
  if (HasPendingWrites())
    throw DbDescError(2014, At("RdmStoreTab::ReRead", 1225), StringVector(m_alias));
  RecSentry sentry(this);
  if (m_parent == nullptr) {
    // Re-reading reloads the children's groups of the record, which keeps
    // each child on its record; the groups of a record that the server no
    // longer has go, and the fields, which the find cleared, show its
    // stored copy again.
    bool found = false;
    try {
      found = ReReadRecord(throwIfMissing);
    } catch (...) {
      ShowCurrent();
      throw;
    }
    if (found) return true;
    ClearChildGroupsOfCurrent();
    ShowCurrent();
    return false;
  }
  if (m_currentGroupKey == -1) return true;
  LoadGroup(m_currentGroupKey);  // which clears the group first
  return true;
}

bool RdmStoreTab::ReReadRecord(byte throwIfMissing) {
  RecListType* list = nullptr;
  int* position = nullptr;
  if (!GetCurrentList(list, position))
    throw DbDescError(2012, At("RdmStoreTab::ReReadRecord", 1270), StringVector(m_alias));
  if (*position < 0 || *position >= int(list->size())) return true;
  _RecItemType* item = (*list)[size_t(*position)];
  Unpack(item);
  std::string sortText;
  if (!m_sortField.empty()) sortText = GetField(m_sortField).AsString();
  const std::string unique = GetUniqueKeyName();
  std::optional<KeyScope> key;
  if (GetKeyName() != unique) {
    key.emplace(*this);
    DefineKey(unique);
  }
  const bool found = RdmTable::Find();
  key.reset();
  if (!found) return false;
  StoreInto(item);
  // The sort keeps the re-read record current, whose values the children's
  // link values come from.
  if (!m_sortField.empty() && GetField(m_sortField).AsString() != sortText) Sort(m_sortField, 0, 1);
  return RefreshChildren(throwIfMissing, item->id);
}

#include "RecHandler.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_set>

// ---- RecListType ----

RecListType& RecListType::operator=(const RecListType& other) {
  if (this != &other) {
    clear();
    m_slots.reserve(other.size() > 1 ? other.size() : 0);
    for (_RecItemType* item : other) push_back(item);
  }
  return *this;
}

void RecListType::push_back(_RecItemType* item) {
  if (InBlock()) {
    m_slots.push_back(item);
  } else if (m_one == nullptr) {
    m_one = item;
  } else {
    m_slots.reserve(2);
    m_slots.push_back(m_one);
    m_slots.push_back(item);
    m_one = nullptr;
  }
}

void RecListType::pop_back() {
  if (!InBlock()) {
    m_one = nullptr;
    return;
  }
  m_slots.pop_back();
  if (empty()) clear();
}

void RecListType::clear() {
  m_slots.clear();
  m_first = 0;
  m_one = nullptr;
}

RecListType::iterator RecListType::erase(iterator position) {
  const size_t index = size_t(position - begin());
  if (!InBlock()) {
    m_one = nullptr;
    return begin();
  }
  if (index < size() / 2) {
    std::move_backward(begin(), position, position + 1);
    ++m_first;
    // The free slots are given back once they outnumber the entries.
    if (m_first > size()) {
      m_slots.erase(m_slots.begin(), m_slots.begin() + std::ptrdiff_t(m_first));
      m_first = 0;
    }
  } else {
    std::move(position + 1, end(), position);
    m_slots.pop_back();
  }
  if (empty()) clear();
  return begin() + index;
}

namespace {

// The entry of the list that matches, looked for from both ends at once:
// a search costs as much as the distance to the nearer end.
template <class Match>
RecListType::iterator FindFromBothEnds(RecListType& list, Match match) {
  auto front = list.begin();
  auto back = list.end();
  while (front < back) {
    if (match(*front)) return front;
    --back;
    if (match(*back)) return back;
    ++front;
  }
  return list.end();
}

// The records of a store's first block; each further block holds twice as
// many as the one before, up to kMaxBlockBytes.
constexpr size_t kFirstBlockRecords = 8;
constexpr size_t kMaxBlockBytes = size_t(1) << 16;
constexpr size_t kMaxDoublings = 16;

}  // namespace

// ---- RecHandler ----

RecHandler::RecHandler() = default;

RecHandler::~RecHandler() = default;

void RecHandler::SetRecordLength(int length) {
  m_recordLength = std::max(length, 0);
  // Slots already made keep their size; the next record starts a block.
  m_free.clear();
  m_slotsLeft = 0;
}

_RecItemType* RecHandler::NewItem(int id, int parentKey) {
  _MapItemType& group = GroupOf(parentKey);
  _RecItemType* item = nullptr;
  if (!m_free.empty()) {
    item = m_free.back();
    m_free.pop_back();
  } else {
    if (m_slotsLeft == 0) {
      // An item and its image, rounded up so that the next item is aligned.
      const size_t align = alignof(_RecItemType);
      m_slotSize = (sizeof(_RecItemType) + size_t(m_recordLength) + align - 1) / align * align;
      const size_t most = std::max<size_t>(1, kMaxBlockBytes / m_slotSize);
      const size_t records =
          std::min(most, kFirstBlockRecords << std::min(m_blocks.size(), kMaxDoublings));
      m_blocks.push_back(std::make_unique_for_overwrite<char[]>(records * m_slotSize));
      m_nextSlot = m_blocks.back().get();
      m_slotsLeft = records;
    }
    item = new (m_nextSlot) _RecItemType;
    item->record = m_nextSlot + sizeof(_RecItemType);
    m_nextSlot += m_slotSize;
    --m_slotsLeft;
  }
  item->id = id;
  item->parentKey = parentKey;
  m_items.push_back(item);
  try {
    group.items.push_back(item);
  } catch (...) {
    m_items.pop_back();  // in both lists or in neither
    Free(item);
    throw;
  }
  return item;
}

_RecItemType* RecHandler::Add(int parentKey, const char* image) {
  _RecItemType* item = Add(parentKey);
  // An empty image may come without bytes at all.
  if (m_recordLength > 0) std::memcpy(item->record, image, size_t(m_recordLength));
  return item;
}

_RecItemType* RecHandler::Add(int parentKey) {
  _RecItemType* item = NewItem(m_nextId, parentKey);
  ++m_nextId;
  return item;
}

void RecHandler::AddCopy(const _RecItemType* item) {
  _RecItemType* copy = NewItem(item->id, item->parentKey);
  if (m_recordLength > 0) std::memcpy(copy->record, item->record, size_t(m_recordLength));
}

_MapItemType& RecHandler::GroupOf(int key) {
  if (_MapItemType* group = FindGroup(key)) return *group;
  while (GroupSlot(key) == nullptr)
    m_groupChunks.push_back(std::make_unique<std::optional<_MapItemType>[]>(kGroupChunk));
  ++m_groupCount;
  return GroupSlot(key)->emplace();
}

void RecHandler::EraseGroup(int key) {
  if (FindGroup(key) == nullptr) return;
  GroupSlot(key)->reset();
  --m_groupCount;
}

void RecHandler::Remove(int id) {
  auto it = FindFromBothEnds(m_items, [id](const _RecItemType* item) { return item->id == id; });
  if (it == m_items.end()) return;
  _RecItemType* item = *it;
  m_items.erase(it);
  if (_MapItemType* group = FindGroup(item->parentKey)) {
    auto& list = group->items;
    list.erase(FindFromBothEnds(list, [&](const _RecItemType* entry) { return entry == item; }));
  }
  Free(item);
}

void RecHandler::RemoveItems(const RecListType& items) {
  const std::unordered_set<const _RecItemType*> gone(items.begin(), items.end());
  const auto isGone = [&](const _RecItemType* item) { return gone.count(item) != 0; };
  QoSet<int> keys;
  m_items.EraseIf([&](_RecItemType* item) {
    if (!isGone(item)) return false;
    keys.insert(item->parentKey);
    Free(item);
    return true;
  });
  for (int key : keys)
    if (_MapItemType* group = FindGroup(key)) group->items.EraseIf(isGone);
}

void RecHandler::Clear() {
  m_items.clear();
  m_groupChunks.clear();
  m_groupCount = 0;
  m_blocks.clear();
  m_nextSlot = nullptr;
  m_slotsLeft = 0;
  m_free.clear();
  m_nextId = 0;
}

void RecHandler::Assign(const RecHandler& other) {
  Clear();
  m_recordLength = other.m_recordLength;
  QoMap<int, _RecItemType*> byId;
  for (const _RecItemType* item : other.m_items) {
    AddCopy(item);
    byId[item->id] = m_items.back();
  }
  // A group sorted on its own has an order of its own, and an emptied group
  // still counts: each group is copied as it stands, key by key.
  other.ForEachGroup([&](int key, const _MapItemType& from) {
    _MapItemType& to = GroupOf(key);
    to.sortField = from.sortField;
    to.items.clear();
    for (const _RecItemType* item : from.items) to.items.push_back(byId.Get(item->id));
  });
  m_nextId = other.m_nextId;
}

void RecHandler::Restore(const RecHandler& backup) {
  const int nextId = m_nextId;
  Assign(backup);
  m_nextId = std::max(m_nextId, nextId);
}

_RecItemType* RecHandler::Find(int id) {
  if (id >= 0 && size_t(id) < m_items.size() && m_items[size_t(id)]->id == id)
    return m_items[size_t(id)];
  auto it = FindFromBothEnds(m_items, [id](const _RecItemType* item) { return item->id == id; });
  return it == m_items.end() ? nullptr : *it;
}

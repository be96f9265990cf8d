#include "RecHandler.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

// ---- RecListType ----

RecListType& RecListType::operator=(const RecListType& other) {
  if (this != &other) {
    m_slots.assign(other.begin(), other.end());
    m_first = 0;
  }
  return *this;
}

void RecListType::pop_back() {
  m_slots.pop_back();
  if (empty()) clear();
}

void RecListType::clear() {
  m_slots.clear();
  m_first = 0;
}

RecListType::iterator RecListType::erase(iterator position) {
  const size_t index = size_t(position - begin());
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

}  // namespace

// ---- RecHandler ----

RecHandler::RecHandler() = default;

RecHandler::~RecHandler() { Clear(); }

_RecItemType* RecHandler::Add(int parentKey, const char* image) {
  return Add(parentKey, std::vector<char>(image, image + m_recordLength));
}

_RecItemType* RecHandler::Add(int parentKey, std::vector<char>&& image) {
  auto item = std::make_unique<_RecItemType>();
  item->id = m_nextId;
  item->parentKey = parentKey;
  item->record = std::move(image);
  item->record.resize(size_t(m_recordLength));
  AddItem(item.get());
  ++m_nextId;
  return item.release();
}

void RecHandler::AddCopy(const _RecItemType* item) {
  auto copy = std::make_unique<_RecItemType>(*item);
  copy->record.resize(size_t(m_recordLength));
  AddItem(copy.get());
  copy.release();
}

void RecHandler::AddItem(_RecItemType* item) {
  _MapItemType& group = GroupOf(item->parentKey);
  m_items.push_back(item);
  try {
    group.items.push_back(item);
  } catch (...) {
    m_items.pop_back();  // in both lists or in neither
    throw;
  }
}

_MapItemType& RecHandler::GroupOf(int key) {
  if (_MapItemType* group = FindGroup(key)) return *group;
  const size_t slot = size_t(key) + 1;
  if (slot >= m_groupsByKey.size()) m_groupsByKey.resize(slot + 1);
  std::unique_ptr<_MapItemType>& group = m_groups[key];
  group = std::make_unique<_MapItemType>();
  m_groupsByKey[slot] = group.get();
  return *group;
}

void RecHandler::EraseGroup(int key) {
  if (FindGroup(key) == nullptr) return;
  m_groupsByKey[size_t(key) + 1] = nullptr;
  m_groups.erase(key);
}

void RecHandler::Remove(int id) {
  auto it = FindFromBothEnds(m_items, [id](const _RecItemType* item) { return item->id == id; });
  if (it == m_items.end()) return;
  std::unique_ptr<_RecItemType> item(*it);
  m_items.erase(it);
  if (_MapItemType* group = FindGroup(item->parentKey)) {
    auto& list = group->items;
    list.erase(
        FindFromBothEnds(list, [&](const _RecItemType* entry) { return entry == item.get(); }));
  }
}

void RecHandler::RemoveItems(const RecListType& items) {
  const std::unordered_set<const _RecItemType*> gone(items.begin(), items.end());
  std::vector<std::unique_ptr<_RecItemType>> freed;
  freed.reserve(gone.size());
  m_items.EraseIf([&](_RecItemType* item) {
    if (gone.count(item) == 0) return false;
    freed.emplace_back(item);
    return true;
  });
  const auto isGone = [&](const _RecItemType* item) { return gone.count(item) != 0; };
  QoSet<int> keys;
  for (const auto& item : freed) keys.insert(item->parentKey);
  for (int key : keys)
    if (_MapItemType* group = FindGroup(key)) group->items.EraseIf(isGone);
}

void RecHandler::Clear() {
  for (_RecItemType* item : m_items) delete item;
  m_items.clear();
  m_groups.clear();
  m_groupsByKey.clear();
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
  for (const auto& [key, from] : other.m_groups) {
    _MapItemType& to = GroupOf(key);
    to.sortField = from->sortField;
    to.items.clear();
    for (const _RecItemType* item : from->items) to.items.push_back(byId.Get(item->id));
  }
  m_nextId = other.m_nextId;
}

#include "RecHandler.h"

#include <algorithm>
#include <cstring>

RecHandler::RecHandler() = default;

RecHandler::~RecHandler() { Clear(); }

_RecItemType* RecHandler::Add(int parentKey, const char* image) {
  auto item = std::make_unique<_RecItemType>();
  item->id = m_nextId;
  item->parentKey = parentKey;
  item->record.assign(image, image + m_recordLength);
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
  std::unique_ptr<_MapItemType>& group = m_groups[item->parentKey];
  if (!group) group = std::make_unique<_MapItemType>();
  m_items.push_back(item);
  try {
    group->items.push_back(item);
  } catch (...) {
    m_items.pop_back();  // in both lists or in neither
    throw;
  }
}

void RecHandler::Remove(int id) {
  auto it = std::find_if(m_items.begin(), m_items.end(),
                         [id](const _RecItemType* item) { return item->id == id; });
  if (it == m_items.end()) return;
  std::unique_ptr<_RecItemType> item(*it);
  m_items.erase(it);
  if (_MapItemType* group = FindGroup(item->parentKey)) {
    auto& list = group->items;
    list.erase(std::find(list.begin(), list.end(), item.get()));
  }
}

void RecHandler::Clear() {
  for (_RecItemType* item : m_items) delete item;
  m_items.clear();
  m_groups.clear();
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
    std::unique_ptr<_MapItemType>& to = m_groups[key];
    if (!to) to = std::make_unique<_MapItemType>();
    to->sortField = from->sortField;
    to->items.clear();
    for (const _RecItemType* item : from->items) to->items.push_back(byId.Get(item->id));
  }
  m_nextId = other.m_nextId;
}

_MapItemType* RecHandler::FindGroup(int key) const {
  auto it = m_groups.find(key);
  return it == m_groups.end() ? nullptr : it->second.get();
}

// Sorting, finding, totals and removal on the records in memory.
#include <map>

#include "RdmStoreTab.h"

namespace {

QorErrPos At(const char* operation, int line) { return QorErrPos("RdmStoreTab", operation, line); }

// A value of its own holding the field's current text.
RdmFld DetachedCopy(const RdmFld& bound) {
  RdmFld copy = bound;
  copy.GetText();  // a bound value reads its buffer only when asked
  copy.Detach();
  return copy;
}

// Orders detached values by their field type.
struct ValueLess {
  bool operator()(const RdmFld& a, const RdmFld& b) const { return a < b; }
};

}  // namespace

// ---- Sorting ----

void RdmStoreTab::Sort(std::string field, byte descending, byte allGroups) {
  UpperInPlace(field);
  // The table stays on its record wherever the sort puts it.
  if (!m_masterDepMode) {
    RecSentry sentry(this);
    CurrentKeeper keeper(this);
    SortItems(field, m_store.Items(), descending != 0);
    m_sortField = field;
    return;
  }
  if (allGroups == 0) {
    _MapItemType* group = m_store.FindGroup(m_currentGroupKey);
    if (group == nullptr) return;
    RecSentry sentry(this);
    CurrentKeeper keeper(this);
    SortItems(field, group->items, descending != 0);
    group->sortField = field;
    return;
  }
  RecSentry sentry(this);
  CurrentKeeper keeper(this);
  m_store.ForEachGroup([&](int, _MapItemType& group) {
    SortItems(field, group.items, descending != 0);
    group.sortField = field;
  });
}

void RdmStoreTab::SortItems(std::string field, RecListType& list, bool descending) {
  RdmFld& bound = GetField(field);
  RdmFld value = DetachedCopy(bound);
  // A multimap keeps equal values in insertion order: the sort is stable.
  std::multimap<RdmFld, _RecItemType*, ValueLess> sorted;
  for (_RecItemType* item : list) {
    Unpack(item);
    value.SetString(bound.AsString());
    sorted.emplace(value, item);
  }
  list.clear();
  if (descending)
    for (auto it = sorted.rbegin(); it != sorted.rend(); ++it) list.push_back(it->second);
  else
    for (auto& [key, item] : sorted) list.push_back(item);
}

std::string RdmStoreTab::GetSortField() {
  if (!m_masterDepMode) return m_sortField;
  _MapItemType* group = m_store.FindGroup(m_currentGroupKey);
  return group != nullptr ? group->sortField : std::string();
}

// ---- Finding ----

int RdmStoreTab::IndexOfFrom(std::string field, std::string value, int start, RecListType& list) {
  if (start < 0 || start >= int(list.size())) return -1;
  RdmFld& bound = GetField(field);
  const DbDescription::Bytes saved = PackCurrent();
  int found = -1;
  for (int index = start; index < int(list.size()) && found == -1; ++index) {
    Unpack(list[size_t(index)]);
    if (bound.EqualsText(value)) found = index;
  }
  Unpack(saved.data());
  return found;
}

int RdmStoreTab::IndexOf(std::string field, std::string value, int start) {
  RecListType* list = nullptr;
  int* position = nullptr;
  if (!GetCurrentList(list, position)) return -1;
  return IndexOfFrom(field, value, start, *list);
}

bool RdmStoreTab::LocateIn(std::string field, std::string value, int start, RecListType& list,
                           int& position) {
  const int index = IndexOfFrom(field, value, start, list);
  if (index == -1) return false;
  GoToIndex(index, list, 0, position);
  return true;
}

bool RdmStoreTab::Locate(std::string field, std::string value, int start) {
  RecListType* list = nullptr;
  int* position = nullptr;
  if (!GetCurrentList(list, position)) return false;
  return LocateIn(field, value, start, *list, *position);
}

// ---- Removing ----

bool RdmStoreTab::_Drop(int index, RecListType& list, int& position) {
  // The records below go too, and with them the changes queued for them.
  if (HasPendingWrites())
    throw DbDescError(2014, At("RdmStoreTab::_Drop", 2047), StringVector(m_alias));
  if (index < 0 || index >= int(list.size())) return false;
  const _RecItemType* item = list[size_t(index)];
  const int id = item->id;
  for (auto& [alias, child] : m_children) child->DropGroupTree(id);
  ShiftOtherPosition(item);
  m_store.Remove(id);
  if (index < position) {
    // The current record stays current one place up.
    --position;
  } else if (index == position) {
    // The record before it, as after Delete.
    GoToIndex(index - 1, list, 5, position);
  }
  return true;
}

bool RdmStoreTab::DropGroupTree(int key) {
  _MapItemType* group = m_store.FindGroup(key);
  if (group == nullptr) return true;
  CurrentKeeper keeper(this);
  for (const _RecItemType* item : group->items)
    for (auto& [alias, child] : m_children) child->DropGroupTree(item->id);
  m_store.RemoveItems(group->items);
  return true;
}

bool RdmStoreTab::RemoveAt(int index) {
  RecListType* list = nullptr;
  int* position = nullptr;
  if (!GetCurrentList(list, position)) return false;
  return _Drop(index, *list, *position);
}

int RdmStoreTab::RemoveFirstIn(std::string field, std::string value, int start, RecListType& list,
                               int& position) {
  const int index = IndexOfFrom(field, value, start, list);
  if (index != -1) _Drop(index, list, position);
  return index;
}

int RdmStoreTab::RemoveFirst(std::string field, std::string value, int start) {
  RecListType* list = nullptr;
  int* position = nullptr;
  if (!GetCurrentList(list, position)) return -1;
  return RemoveFirstIn(field, value, start, *list, *position);
}

void RdmStoreTab::RemoveAllIn(std::string field, std::string value, int start, RecListType& list,
                              int& position) {
  for (int index = IndexOfFrom(field, value, start, list); index != -1;
       index = IndexOfFrom(field, value, index, list))
    _Drop(index, list, position);
}

void RdmStoreTab::RemoveAll(std::string field, std::string value, int start) {
  RecListType* list = nullptr;
  int* position = nullptr;
  if (!GetCurrentList(list, position)) return;
  RemoveAllIn(field, value, start, *list, *position);
}

// ---- Totals ----

std::string RdmStoreTab::_DoAggregate(std::string field, byte operation, RecListType& list,
                                      int& /*position*/) {
  if (operation > 4)
    throw DbDescError(2007, At("RdmStoreTab::_DoAggregate", 1079), StringVector(m_alias));
  if (operation == 0) return std::to_string(list.size());
  if (list.empty()) return "0";
  RdmFld& bound = GetField(field);
  const DbDescription::Bytes saved = PackCurrent();
  std::string result;
  if (operation == 1 || operation == 2) {
    double sum = 0;
    for (const _RecItemType* item : list) {
      Unpack(item);
      sum += bound.AsDouble();
    }
    if (operation == 2) sum /= double(list.size());
    result = GcvtText(sum, 6);  // "%g"
  } else {
    Unpack(list.front());
    RdmFld best = DetachedCopy(bound);
    for (size_t i = 1; i < list.size(); ++i) {
      Unpack(list[i]);
      if (operation == 3 ? best < bound : best > bound) best = DetachedCopy(bound);
    }
    result = best.GetText();
  }
  Unpack(saved.data());
  return result;
}

std::string RdmStoreTab::Aggregate(std::string field, byte operation) {
  RecListType* list = nullptr;
  int* position = nullptr;
  RecListType none;
  int nowhere = -1;
  if (!GetCurrentList(list, position)) return _DoAggregate(field, operation, none, nowhere);
  return _DoAggregate(field, operation, *list, *position);
}

// Construction, the tree, loading the stores and the logical record.
#include "RdmStoreTab.h"

#include <algorithm>
#include <exception>
#include <functional>

namespace {

QorErrPos At(const char* operation, int line) { return QorErrPos("RdmStoreTab", operation, line); }

}  // namespace

RdmStoreTab::RdmStoreTab(RdmStoreTab* parent, DbDescription* description, std::string table,
                         std::string alias, bool noClone)
    : RdmTable(description, table), m_parent(parent), m_alias(ToUpper(alias)), m_noClone(noClone) {
  m_recordType = description->GetRecordType(m_name);
  m_recordLength = m_recordEntry.slotLength - m_recordEntry.dataOffset;
  m_store.SetRecordLength(m_recordLength);
  m_backupStore.SetRecordLength(m_recordLength);
  m_cache.SetRecordLength(m_recordLength);
  if (parent != nullptr) parent->AddChild(this);
}

RdmStoreTab::~RdmStoreTab() {
  ClearStore();
  DeleteChildren();
  // A parent that outlives this table must not reach it.
  if (m_parent != nullptr) {
    auto it = m_parent->m_children.find(m_alias);
    if (it != m_parent->m_children.end() && it->second == this) m_parent->m_children.erase(it);
  }
}

// ---- The tree ----

void RdmStoreTab::AddChild(RdmStoreTab* child) {
  if (m_children.count(child->m_alias) != 0) throw DbDescError(2017, StringVector(child->m_alias));
  m_children.Insert(child->m_alias, child);
}

void RdmStoreTab::RemoveChild(std::string alias) {
  UpperInPlace(alias);
  if (m_children.erase(alias) == 0) throw DbDescError(2015, StringVector(alias));
}

void RdmStoreTab::SetParent(RdmStoreTab* parent) {
  if (m_parent != nullptr) m_parent->RemoveChild(m_alias);
  m_parent = parent;
  if (parent != nullptr) parent->AddChild(this);
}

void RdmStoreTab::DeleteChildren() {
  // Taken out first, so that a child's destructor finds nothing to leave.
  ChildMap children;
  children.swap(m_children);
  for (auto& [alias, child] : children) {
    if (child->m_noClone)
      child->m_parent = nullptr;
    else
      delete child;
  }
}

void RdmStoreTab::SetLink(std::string parentField, std::string childField, std::string keyName) {
  m_linkPairs.emplace_back(std::move(parentField), std::move(childField));
  m_linkKey = std::move(keyName);
}

void RdmStoreTab::SetLinkConstant(std::string field, std::string value) {
  m_linkConstants[field] = std::move(value);
}

void RdmStoreTab::SetLinkFilters(const std::vector<LinkFilter>& filters) {
  m_linkFilters = filters;
}

RdmStoreTab* RdmStoreTab::FindTable(std::string name, std::string prefix) {
  UpperInPlace(name);
  UpperInPlace(prefix);
  if (m_alias == prefix + name) return this;
  std::function<RdmStoreTab*(RdmStoreTab*)> search = [&](RdmStoreTab* table) -> RdmStoreTab* {
    if (table->m_alias == name) return table;
    for (auto& [alias, child] : table->m_children) {
      if (child->m_noClone) continue;
      if (RdmStoreTab* found = search(child)) return found;
    }
    return nullptr;
  };
  return search(this);
}

void RdmStoreTab::CountTreeTables(int& count) {
  ++count;
  for (auto& [alias, child] : m_children) child->CountTreeTables(count);
}

void RdmStoreTab::CollectTreeTables(std::vector<RdmStoreTab*>& out) {
  out.push_back(this);
  for (auto& [alias, child] : m_children) child->CollectTreeTables(out);
}

void RdmStoreTab::AddTreeTableOption(byte option) {
  AddTableOption(option);
  for (auto& [alias, child] : m_children) child->AddTreeTableOption(option);
}

void RdmStoreTab::SetTreeMasterDepMode(byte mode) {
  SetMasterDepMode(mode);
  for (auto& [alias, child] : m_children) child->SetTreeMasterDepMode(mode);
}

bool RdmStoreTab::MasterDepMode() { return m_masterDepMode; }

void RdmStoreTab::SetMasterDepMode(byte mode) {
  if ((mode != 0) == m_masterDepMode) return;
  CurrentKeeper keeper(this);
  m_masterDepMode = mode != 0;
  // Without a current record the new list's position is -1 too, not an
  // index left there from before.
  if (keeper.Id() == -1) CurrentPosition() = -1;
}

void RdmStoreTab::SaveTreePositions(QoMap<std::string, _TableInfo>& out) {
  out.Insert(m_alias, _TableInfo{m_storePosition, m_groupPosition, m_masterDepMode});
  for (auto& [alias, child] : m_children) child->SaveTreePositions(out);
}

void RdmStoreTab::RestoreTreePositions(const QoMap<std::string, _TableInfo>& saved) {
  auto it = saved.find(m_alias);
  if (it != saved.end()) {
    const _TableInfo& info = it->second;
    SetMasterDepMode(info.masterDepMode);
    if (m_masterDepMode) {
      GoTo(info.groupPosition, 5);
      m_storePosition = info.storePosition;
    } else {
      GoTo(info.storePosition, 5);
      m_groupPosition = info.groupPosition;
    }
  }
  for (auto& [alias, child] : m_children) child->RestoreTreePositions(saved);
}

void RdmStoreTab::CopyState(const RdmStoreTab& other) {
  m_store.Assign(other.m_store);
  m_backupStore.Assign(other.m_backupStore);
  m_cache.Assign(other.m_cache);
  m_deletedKeys = other.m_deletedKeys;
  m_storePosition = other.m_storePosition;
  m_groupPosition = other.m_groupPosition;
  m_sortField = other.m_sortField;
  m_currentGroupKey = other.m_currentGroupKey;
  m_linkPairs = other.m_linkPairs;
  m_linkKey = other.m_linkKey;
  m_linkConstants = other.m_linkConstants;
  // A copy without the filters would load other rows on its next re-read.
  m_linkFilters = other.m_linkFilters;
  m_cachedMode = other.m_cachedMode;
  m_backupExists = other.m_backupExists;
  m_masterDepMode = other.m_masterDepMode;
  m_noClone = other.m_noClone;
}

void RdmStoreTab::CloneChildren(const RdmStoreTab& other, const DescriptionMap& descriptions) {
  for (const auto& [alias, child] : other.m_children) {
    if (child->m_noClone) continue;
    DbDescription* description = descriptions.Get(child->GetDescription()->GetName());
    auto* copy = new RdmStoreTab(this, description, child->GetName(), child->m_alias, false);
    copy->CopyState(*child);
    copy->CopyFields(*child);
    copy->CloneChildren(*child, descriptions);
  }
}

bool RdmStoreTab::SetFieldAlias(std::string alias, std::string field) {
  if (!RdmTable::SetFieldAlias(alias, field)) return false;
  for (auto& [name, child] : m_children)
    for (LinkPair& pair : child->m_linkPairs)
      if (pair.first == field) pair.first = alias;
  return true;
}

// ---- Loading and groups ----

DbDescription::Bytes RdmStoreTab::PackCurrent() const {
  DbDescription::Bytes image(static_cast<size_t>(m_recordLength));
  RequireDescription()->PackRecordOfType(m_recordType, image.data());
  return image;
}

void RdmStoreTab::StoreCurrent(int parentKey) { StoreInto(m_store.Add(parentKey)); }

void RdmStoreTab::StoreInto(_RecItemType* item) const {
  RequireDescription()->PackRecordOfType(m_recordType, item->record);
}

void RdmStoreTab::Unpack(const _RecItemType* item) { Unpack(item->record); }

void RdmStoreTab::Unpack(const char* image) {
  RequireDescription()->UnpackRecordOfType(m_recordType, image);
}

void RdmStoreTab::ClearOwnFields() { RequireDescription()->ClearFieldsOfType(m_recordType); }

void RdmStoreTab::ClearStore() {
  m_store.Clear();
  m_cache.Clear();
  m_deletedKeys.clear();
  m_backupExists = false;
  m_storePosition = -1;
  m_groupPosition = -1;
  m_currentGroupKey = -1;
  m_sortField.clear();
}

void RdmStoreTab::LoadSelection() {
  ClearStore();
  while (RdmTable::Next()) StoreCurrent(-1);
  SetPosition(-1);
}

void RdmStoreTab::LoadCurrent() {
  ClearStore();
  StoreCurrent(-1);
  SetPosition(-1);
}

void RdmStoreTab::ClearTree(bool includeSelf) {
  if (includeSelf) ClearStore();
  for (auto& [alias, child] : m_children) child->ClearTree(true);
}

void RdmStoreTab::ClearFieldsTree() {
  ClearOwnFields();
  for (auto& [alias, child] : m_children) child->ClearFieldsTree();
}

void RdmStoreTab::LoadChildren() {
  if (m_parent != nullptr) LoadChildRecords();
  for (auto& [alias, child] : m_children) child->LoadChildren();
}

namespace {

bool IsInteger(const RdmFld& field) {
  const char type = field.GetFieldEntry().type;
  return type == 's' || type == 'i' || type == 'l' || type == 'd';
}

}  // namespace

RdmStoreTab::LinkSetter::LinkSetter(RdmStoreTab& table, bool onlyUncovered) {
  RdmStoreTab& parent = *table.m_parent;
  for (const LinkPair& pair : table.m_linkPairs) {
    Source source{parent.GetField(pair.first)};
    // A bound field is read from the stored images.
    if (!source.value.IsDetached()) {
      source.offset = source.value.GetFieldEntry().offset - parent.m_recordEntry.dataOffset;
      source.value.Detach();
    }
    source.linked = &table.GetField(pair.second);
    // An integer goes from an integer field to another as a number: its text
    // would give the same bytes.
    source.asNumber = IsInteger(source.value) && IsInteger(*source.linked);
    m_sources.push_back(std::move(source));
  }
  for (const auto& [field, value] : table.m_linkConstants)
    if (!onlyUncovered || !parent.HasField(field, false))
      m_constants.emplace_back(&table.GetField(field), &value);
}

void RdmStoreTab::LinkSetter::Apply(const _RecItemType* parent) {
  for (Source& source : m_sources) {
    if (source.offset >= 0) source.value.SetRaw(parent->record + source.offset);
    if (source.asNumber)
      source.linked->SetLong(source.value.AsLong());
    else
      source.linked->SetString(source.value.AsString());
  }
  for (const auto& [field, value] : m_constants) field->SetString(*value);
}

void RdmStoreTab::LoadChildRecords() {
  ClearStore();
  // Each parent record's group takes its id as the key.
  const RecListType& parents = m_parent->m_store.Items();
  LinkSetter links(*this, true);
  for (const _RecItemType* parent : parents) {
    links.Apply(parent);
    if (!RdmTable::Select(m_linkKey, 5)) continue;
    while (RdmTable::Next())
      if (PassesLinkFilters()) StoreCurrent(parent->id);
  }
  ClearOwnFields();
}

bool RdmStoreTab::PassesLinkFilters() {
  for (const LinkFilter& filter : m_linkFilters)
    if (CompareNoCase(GetField(filter.first).GetText(), filter.second) != 0) return false;
  return true;
}

void RdmStoreTab::SetLinkValues() {
  for (const LinkPair& pair : m_linkPairs)
    GetField(pair.second).SetString(m_parent->GetField(pair.first).AsString());
  for (const auto& [field, value] : m_linkConstants) GetField(field).SetString(value);
}

void RdmStoreTab::LoadGroup(int parentRecordId) {
  CurrentKeeper keeper(this);
  // A current record of the group is read again under a new id: it is found
  // again by its unique key.
  const _RecItemType* current = CurrentItem();
  const bool reread = current != nullptr && current->parentKey == parentRecordId;
  const StringVector key = reread ? UniqueKeyTexts(current) : StringVector();
  if (reread) keeper.Follow(-1);
  ClearGroup(parentRecordId, true, true);
  // The link values are those of the group's own parent record, which need
  // not be the parent's current one.
  const _RecItemType* parent = m_parent->m_store.Find(parentRecordId);
  if (parent == nullptr) return;
  LinkSetter(*this, false).Apply(parent);
  if (!RdmTable::Select(m_linkKey, 5)) return;
  // The filters hold for a re-read group as they held when the tree loaded.
  while (RdmTable::Next())
    if (PassesLinkFilters()) StoreCurrent(parentRecordId);
  _MapItemType* group = m_store.FindGroup(parentRecordId);
  if (group == nullptr) return;
  const RecListType items = group->items;
  for (const _RecItemType* item : items) {
    if (!key.empty() && keeper.Id() == -1 && UniqueKeyTexts(item) == key) keeper.Follow(item->id);
    Unpack(item);
    RefreshChildren(1, item->id);
  }
}

bool RdmStoreTab::RefreshChildren(byte throwIfMissing, int recordId) {
  bool result = true;
  for (auto& [alias, child] : m_children) {
    if (child->m_currentGroupKey == recordId) {
      if (result) result = child->ReRead(throwIfMissing);
    } else {
      child->LoadGroup(recordId);
    }
  }
  return result;
}

void RdmStoreTab::ClearGroup(int key, bool remove, bool recurse) {
  _MapItemType* group = m_store.FindGroup(key);
  if (group == nullptr) return;
  CurrentKeeper keeper(this);
  FClearByThisBuffer(group->items, remove, recurse);
  if (remove) m_store.EraseGroup(key);
}

void RdmStoreTab::FClearByThisBuffer(const RecListType& list, bool remove, bool recurse) {
  if (remove && !recurse)
    throw DbDescError(2012, At("RdmStoreTab::FClearByThisBuffer", 238), StringVector(m_alias));
  if (recurse)
    for (const _RecItemType* item : list) ClearChildGroups(item->id);
  if (remove) m_store.RemoveItems(list);
}

void RdmStoreTab::ClearChildGroups(int recordId) {
  for (auto& [alias, child] : m_children) child->ClearGroup(recordId, true, true);
}

void RdmStoreTab::ClearChildGroupsOfCurrent() {
  if (const _RecItemType* item = CurrentItem()) ClearChildGroups(item->id);
}

_RecItemType* RdmStoreTab::CurrentItem() {
  RecListType* list = nullptr;
  int* position = nullptr;
  if (!GetCurrentList(list, position) || *position < 0 || *position >= int(list->size()))
    return nullptr;
  return (*list)[size_t(*position)];
}

void RdmStoreTab::StandOn(int id) {
  RecListType* list = nullptr;
  int* position = nullptr;
  if (GetCurrentList(list, position)) {
    auto it = std::find_if(list->begin(), list->end(),
                           [id](const _RecItemType* item) { return item->id == id; });
    if (it != list->end()) {
      LoadAt(int(it - list->begin()), *list, *position);
      return;
    }
  }
  StandOnNothing();
}

void RdmStoreTab::StandOnNothing() {
  CurrentPosition() = -1;
  ClearOwnFields();
  for (auto& [alias, child] : m_children) {
    if (!child->m_masterDepMode) continue;
    child->m_currentGroupKey = -1;
    child->StandOnNothing();
  }
}

void RdmStoreTab::ShiftForRemoval(const RecListType& list, int& position,
                                  const _RecItemType* item) {
  if (position < 0) return;
  if (size_t(position) < list.size() && list[size_t(position)] == item) {
    --position;
    return;
  }
  auto it = std::find(list.begin(), list.end(), item);
  if (it != list.end() && it - list.begin() < position) --position;
}

void RdmStoreTab::ShiftOtherPosition(const _RecItemType* item) {
  if (m_masterDepMode) {
    ShiftForRemoval(m_store.Items(), m_storePosition, item);
  } else if (_MapItemType* group = m_store.FindGroup(m_currentGroupKey)) {
    ShiftForRemoval(group->items, m_groupPosition, item);
  }
}

StringVector RdmStoreTab::UniqueKeyTexts(const _RecItemType* item) {
  StringVector texts;
  const std::string unique = GetUniqueKeyName();
  if (unique.empty()) return texts;
  StringVector names;
  GetKeyFieldList(unique, names);
  Unpack(item);
  GetFieldTexts(std::vector<std::string>(names.begin(), names.end()), texts);
  return texts;
}

RdmStoreTab::CurrentKeeper::CurrentKeeper(RdmStoreTab* table) : m_table(table) {
  const _RecItemType* item = table->CurrentItem();
  m_stoodOn = item != nullptr;
  m_id = m_stoodOn ? item->id : -1;
  if (!m_stoodOn) m_values = table->PackCurrent();
}

RdmStoreTab::CurrentKeeper::~CurrentKeeper() {
  if (!m_stoodOn) {
    m_table->Unpack(m_values.data());
    return;
  }
  m_table->StandOn(m_id);
  if (m_followed && m_table->CurrentItem() != nullptr) m_table->SetChilds(5, m_id);
}

bool RdmStoreTab::GetCurrentList(RecListType*& list, int*& position) {
  if (!m_masterDepMode) {
    list = &m_store.Items();
    position = &m_storePosition;
    return true;
  }
  _MapItemType* group = m_store.FindGroup(m_currentGroupKey);
  if (group == nullptr) return false;
  list = &group->items;
  position = &m_groupPosition;
  return true;
}

// ---- The logical record ----

bool RdmStoreTab::RefindRecord(const std::vector<std::string>& names, const StringVector& texts) {
  RecListType& items = m_store.Items();
  for (size_t index = 0; index < items.size(); ++index) {
    Unpack(items[index]);
    StringVector now;
    GetFieldTexts(names, now);
    if (now != texts) continue;
    m_storePosition = int(index);
    m_groupPosition = -1;
    if (_MapItemType* group = m_store.FindGroup(m_currentGroupKey)) {
      RecListType& list = group->items;
      auto it = std::find(list.begin(), list.end(), items[index]);
      if (it != list.end()) m_groupPosition = int(it - list.begin());
    }
    // The fields show what the position now names: in master-dependency
    // mode, a record found outside the current group is no current record.
    if (GetPosition() == -1) ClearOwnFields();
    return true;
  }
  // The last record searched is in the fields: the table stands on none.
  if (!SetPosition(-1)) {
    m_groupPosition = -1;
    ClearOwnFields();
  }
  return false;
}

RecSentry::RecSentry(RdmStoreTab* table) : m_table(table), m_uncaught(std::uncaught_exceptions()) {
  m_active = table->GetTableOptions().Contains(rtoKeepRecord) && table->GetPosition() != -1;
  if (!m_active) return;
  const std::string unique = table->GetUniqueKeyName();
  if (unique.empty()) return;
  StringVector names;
  table->GetKeyFieldList(unique, names);
  m_names.assign(names.begin(), names.end());
  table->GetFieldTexts(m_names, m_texts);
}

RecSentry::~RecSentry() noexcept(false) {
  if (!m_active || m_names.empty()) return;
  try {
    m_table->RefindRecord(m_names, m_texts);
  } catch (...) {
    if (std::uncaught_exceptions() > m_uncaught) return;
    throw;
  }
}

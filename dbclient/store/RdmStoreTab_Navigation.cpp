// Server operations of the root, movements inside the stores and the joined walk.
#include "RdmStoreTab.h"

namespace {

QorErrPos At(const char* operation, int line) { return QorErrPos("RdmStoreTab", operation, line); }

}  // namespace

// ---- Server operations ----

void RdmStoreTab::RefuseServerOperation(const char* operation, int line) const {
  // A reload would drop the changes that wait in a backup below too.
  if (m_parent == nullptr && !TreeHasBackup()) return;
  throw DbDescError(2012, At(operation, line), StringVector(m_alias));
}

bool RdmStoreTab::TreeHasBackup() const {
  if (m_backupExists) return true;
  for (const auto& [alias, child] : m_children)
    if (child->TreeHasBackup()) return true;
  return false;
}

void RdmStoreTab::ShowCurrent() {
  if (const _RecItemType* item = CurrentItem())
    Unpack(item);
  else
    ClearOwnFields();
}

template <class Read>
bool RdmStoreTab::ReadAndReload(Read read, bool selection, byte move, byte childMode) {
  // The base operations clear the fields when they find nothing, and may
  // when they fail; the stores are not touched then, so the fields show the
  // record the position names again.
  bool readSome = false;
  try {
    readSome = read();
  } catch (...) {
    ShowCurrent();
    throw;
  }
  if (!readSome) {
    if (selection) {
      // Nothing found: no row of the previous selection may stay.
      ClearTree(true);
      ClearFieldsTree();
    } else {
      ShowCurrent();
    }
    return false;
  }
  ReloadTree(selection, move, childMode);
  return true;
}

void RdmStoreTab::ReloadTree(bool selection, byte move, byte childMode) {
  ClearTree(true);
  if (selection)
    LoadSelection();
  else
    LoadCurrent();
  LoadChildren();
  SetPosition(0);
  // A move that cannot be made (prior from the first record, next from the
  // only one) leaves the first record current: its children go to their
  // first record under it, as after any other server operation, instead of
  // standing under no record at all.
  if (!Step(move, childMode) && GetPosition() == 0) {
    RecListType* list = nullptr;
    int* position = nullptr;
    if (GetCurrentList(list, position)) SetChilds(0, (*list)[0]->id);
  }
}

bool RdmStoreTab::Go(byte direction, byte childMode) {
  RefuseServerOperation("RdmStoreTab::Go", 336);
  return ReadAndReload([&] { return RdmTable::Go(direction, 5); }, false, 0, childMode);
}

bool RdmStoreTab::Find(std::string keyField, byte childMode) {
  RefuseServerOperation("RdmStoreTab::Find", 356);
  return ReadAndReload([&] { return RdmTable::Find(keyField, childMode); }, false, 0, childMode);
}

bool RdmStoreTab::Find(byte childMode) {
  RefuseServerOperation("RdmStoreTab::Find", 374);
  return ReadAndReload([&] { return RdmTable::Find(childMode); }, false, 0, childMode);
}

bool RdmStoreTab::FindNext(std::string keyField, byte childMode) {
  RefuseServerOperation("RdmStoreTab::FindNext", 392);
  return ReadAndReload([&] { return RdmTable::FindNext(keyField, childMode); }, false, 0,
                       childMode);
}

bool RdmStoreTab::FindNext(byte childMode) {
  RefuseServerOperation("RdmStoreTab::FindNext", 410);
  return ReadAndReload([&] { return RdmTable::FindNext(childMode); }, false, 0, childMode);
}

bool RdmStoreTab::Select(std::string keyField, byte move) {
  RefuseServerOperation("RdmStoreTab::Select", 428);
  return ReadAndReload([&] { return RdmTable::Select(keyField, 5); }, true, move, move);
}

bool RdmStoreTab::SelectGe(std::string keyField, byte move) {
  RefuseServerOperation("RdmStoreTab::SelectGe", 446);
  return ReadAndReload([&] { return RdmTable::SelectGe(keyField, 5); }, true, move, move);
}

bool RdmStoreTab::SelectNe(std::string field, byte move) {
  RefuseServerOperation("RdmStoreTab::SelectNe", 464);
  return ReadAndReload([&] { return RdmTable::SelectNe(field, 5); }, true, move, move);
}

bool RdmStoreTab::GoCursor(std::string name, byte direction, byte childMode) {
  RefuseServerOperation("RdmStoreTab::GoCursor", 2436);
  return ReadAndReload([&] { return RdmTable::GoCursor(name, direction, childMode); }, false, 0,
                       childMode);
}

bool RdmStoreTab::GoBookmark(std::string name, byte childMode) {
  // A reload would drop the pending changes of a child or of a backup.
  if (m_parent != nullptr || TreeHasBackup()) throw DbDescError(2012, StringVector(m_alias));
  // Going to a bookmark positions the server only; the record is read here.
  return ReadAndReload([&] { return RdmTable::GetBookmark(name) && RdmTable::ReRead(1); }, false, 0,
                       childMode);
}

bool RdmStoreTab::JumpToBookmark(std::string name, byte childMode) {
  return GoBookmark(name, childMode);
}

// ---- Store movements ----

bool RdmStoreTab::Step(byte move, byte childMode) {
  RecListType* list = nullptr;
  int* position = nullptr;
  if (!GetCurrentList(list, position)) {
    StandOnNothing();
    return move == 5 && childMode == 5;
  }
  return _Step(move, *list, childMode, *position);
}

bool RdmStoreTab::_Step(byte move, RecListType& list, byte childMode, int& position) {
  if (list.empty()) {
    // Not on a record of another list, nor its children under one.
    StandOnNothing();
    return move == 5 && childMode == 5;
  }
  int target = position;
  switch (move) {
    case 0:
      target = 0;
      break;
    case 1:
      if (position < 1) return false;
      target = position - 1;
      break;
    case 2:
      if (position + 1 >= int(list.size())) return false;
      target = position + 1;
      break;
    case 3:
      target = int(list.size()) - 1;
      break;
    case 5:
      target = -1;
      break;
    default:
      throw DbDescError(2005, At("RdmStoreTab::_Step", 1163), StringVector(m_alias));
  }
  return GoToIndex(target, list, childMode, position);
}

bool RdmStoreTab::GoToIndex(int index, RecListType& list, byte childMode, int& position) {
  if (!LoadAt(index, list, position)) return false;
  SetChilds(childMode, position == -1 ? -1 : list[size_t(position)]->id);
  return true;
}

bool RdmStoreTab::LoadAt(int index, RecListType& list, int& position) {
  if (index != -1 && (index < 0 || index >= int(list.size()))) return false;
  position = index;
  if (index == -1)
    ClearOwnFields();
  else
    Unpack(list[size_t(index)]);
  return true;
}

bool RdmStoreTab::StepNextIn(RecListType& list, int& position) {
  if (position + 1 >= int(list.size())) return false;
  return GoToIndex(position + 1, list, 5, position);
}

bool RdmStoreTab::SetChilds(byte childMode, int recordId) {
  if (childMode != 0 && childMode != 5)
    throw DbDescError(2005, At("RdmStoreTab::SetChilds", 882), StringVector(m_alias));
  for (auto& [alias, child] : m_children) PositionChild(child, recordId, childMode);
  return true;
}

void RdmStoreTab::PositionChild(RdmStoreTab* child, int recordId, byte childMode) {
  if (!child->m_masterDepMode) return;
  child->m_currentGroupKey = recordId;
  child->Step(childMode, childMode);
}

bool RdmStoreTab::GoTo(int index, byte childMode) {
  RecListType* list = nullptr;
  int* position = nullptr;
  if (!GetCurrentList(list, position)) {
    StandOnNothing();
    return index == -1 && childMode == 5;
  }
  return GoToIndex(index, *list, childMode, *position);
}

bool RdmStoreTab::Next() {
  RecListType* list = nullptr;
  int* position = nullptr;
  if (!GetCurrentList(list, position)) return false;
  return StepNextIn(*list, *position);
}

int RdmStoreTab::GetPosition() { return CurrentPosition(); }

bool RdmStoreTab::SetPosition(int index) {
  RecListType* list = nullptr;
  int* position = nullptr;
  if (!GetCurrentList(list, position)) return false;
  return LoadAt(index, *list, *position);
}

int RdmStoreTab::GetRecordCount() {
  RecListType* list = nullptr;
  int* position = nullptr;
  return GetCurrentList(list, position) ? int(list->size()) : 0;
}

// ---- The joined walk ----

void RdmStoreTab::NextJoined(int parentKey, bool& found) {
  // A table outside master-dependency mode that the walk moves stays on the
  // record the walk made current; one that it leaves, or that it leaves on
  // no record of the group, stays where it stood, its fields untouched.
  struct RestoreMode {
    RdmStoreTab* table;
    bool mode;
    int key;
    int position;
    ~RestoreMode() {
      if (mode) return;
      if ((table->m_currentGroupKey == key && table->m_groupPosition == position) ||
          table->m_groupPosition == -1)
        table->m_masterDepMode = false;
      else
        table->SetMasterDepMode(0);
    }
  } restore{this, m_masterDepMode, m_currentGroupKey, m_groupPosition};
  m_masterDepMode = true;

  _MapItemType* group = m_store.FindGroup(parentKey);
  if (group == nullptr) {
    found = false;
    return;
  }
  // A table outside master-dependency mode is left where it was when its
  // parent moved, its position in another parent record's group: it starts
  // this group before its first record, as its parent's move would have
  // placed it.
  if (m_currentGroupKey != parentKey) {
    m_currentGroupKey = parentKey;
    m_groupPosition = -1;
  }
  if (m_groupPosition == -1) {
    found = AdvanceJoined(group->items);
    return;
  }
  // A position past the end of its group has no row left there.
  if (m_groupPosition >= int(group->items.size())) {
    found = false;
    return;
  }
  const int id = group->items[size_t(m_groupPosition)]->id;
  for (auto child = m_children.rbegin(); child != m_children.rend() && !found; ++child) {
    child->second->NextJoined(id, found);
    if (!found) child->second->Step(0, 0);
  }
  if (!found) found = AdvanceJoined(group->items);
}

bool RdmStoreTab::AdvanceJoined(RecListType& list) {
  bool childrenFound = true;
  bool moved = false;
  do {
    moved = StepNextIn(list, m_groupPosition);
    if (!moved) break;
    const int id = list[size_t(m_groupPosition)]->id;
    for (auto& [alias, child] : m_children) child->NextJoined(id, childrenFound);
    // Option 4 is looked up only for a record whose children give no row.
  } while (!childrenFound && !GetTableOptions().Contains(rtoKeepMasterRows));
  return moved;
}

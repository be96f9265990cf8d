// Navigation, finds, selections, fetched records and changes: each forwards
// to the description after turning visible names into dictionary names.
#include "RdmTable.h"

bool RdmTable::Go(byte direction, byte /*childMode*/) {
  return RequireDescription()->Navigate(direction, m_name);
}

bool RdmTable::Step(byte move, byte /*childMode*/) {
  return RequireDescription()->StepFetched(move, m_name);
}

bool RdmTable::GoTo(int position, byte /*childMode*/) { return SetPosition(position); }

bool RdmTable::Find(std::string keyField, byte /*childMode*/) {
  std::string key = ThroughAlias(keyField);
  return RequireDescription()->FindRecByKey(m_name, key);
}

bool RdmTable::Find(byte /*childMode*/) { return RequireDescription()->FindRec(m_name); }

bool RdmTable::FindNext(std::string keyField, byte /*childMode*/) {
  std::string key = ThroughAlias(keyField);
  return RequireDescription()->FindRecNextByKey(m_name, key);
}

bool RdmTable::FindNext(byte /*childMode*/) { return RequireDescription()->FindRecNext(m_name); }

bool RdmTable::Select(std::string keyField, byte move) {
  std::string key = ThroughAlias(keyField);
  return RequireDescription()->FindList(m_name, key, move);
}

bool RdmTable::SelectGe(std::string keyField, byte move) {
  std::string key = ThroughAlias(keyField);
  return RequireDescription()->FindGreater(m_name, key, move);
}

bool RdmTable::SelectNe(std::string field, byte move) {
  std::string name = ThroughAlias(field);
  return RequireDescription()->GetAllRecNotEqual(m_name, name, move);
}

bool RdmTable::Next() { return RequireDescription()->NextFetched(m_name); }

std::string RdmTable::Aggregate(std::string field, byte code) {
  std::string name = ThroughField(field);
  return RequireDescription()->Aggregate(m_name, name, code);
}

void RdmTable::Append() { RequireDescription()->NewRec(m_name); }

bool RdmTable::Update(byte throwIfMissing) {
  return RequireDescription()->ModRec(m_name, throwIfMissing != 0);
}

bool RdmTable::Delete(byte throwIfMissing) {
  return RequireDescription()->DelRec(m_name, throwIfMissing != 0);
}

int RdmTable::GetPosition() { return RequireDescription()->GetFetchedPos(m_name); }

bool RdmTable::SetPosition(int position) {
  return RequireDescription()->SetFetchedPos(m_name, position);
}

bool RdmTable::ClearFields() { return RequireDescription()->ClearFields(m_name); }

bool RdmTable::ReRead(byte throwIfMissing) {
  return RequireDescription()->ReadCurrentRec(m_name, throwIfMissing != 0);
}

int RdmTable::GetRecordCount() { return RequireDescription()->GetFetchedCount(m_name); }

bool RdmTable::IsEmpty() { return GetRecordCount() == 0; }

void RdmTable::Sort(std::string field, byte descending, byte /*allGroups*/) {
  std::string name = ThroughField(field);
  RequireDescription()->SortFetched(m_name, name, descending != 0);
}

std::string RdmTable::GetSortField() { return RequireDescription()->GetSortField(m_name); }

bool RdmTable::Locate(std::string field, std::string value, int start) {
  std::string name = ThroughField(field);
  return RequireDescription()->LocateFetched(m_name, name, value, start);
}

int RdmTable::IndexOf(std::string field, std::string value, int start) {
  std::string name = ThroughField(field);
  return RequireDescription()->FindFetched(m_name, name, value, start);
}

bool RdmTable::RemoveAt(int position) { return RequireDescription()->RemoveFetched(m_name, position); }

int RdmTable::RemoveFirst(std::string field, std::string value, int start) {
  std::string name = ThroughField(field);
  return RequireDescription()->RemoveFetchedMatch(m_name, name, value, start);
}

void RdmTable::RemoveAll(std::string field, std::string value, int start) {
  std::string name = ThroughField(field);
  RequireDescription()->RemoveFetchedMatches(m_name, name, value, start);
}

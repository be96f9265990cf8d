#include "RdmView.h"

#include <utility>

RdmView::RdmView() = default;

RdmView::RdmView(DbDescMap* map, std::string name, const RdmTableOptions& options) {
  Init(map, std::move(name), options);
}

RdmView::RdmView(const RdmView& other) { *this = other; }

RdmView::RdmView(RdmView&& other) noexcept { Swap(other); }

RdmView& RdmView::operator=(RdmView&& other) noexcept {
  RdmView taken(std::move(other));
  Swap(taken);
  return *this;
}

RdmView::~RdmView() { Clear(); }

// The tables refer to descriptions on the heap, so the pointers move as they are.
void RdmView::Swap(RdmView& other) noexcept {
  std::swap(m_name, other.m_name);
  std::swap(m_master, other.m_master);
  std::swap(m_descriptions, other.m_descriptions);
  std::swap(m_prepared, other.m_prepared);
  std::swap(m_ended, other.m_ended);
  std::swap(m_tables, other.m_tables);
}

RdmView& RdmView::operator=(const RdmView& other) {
  if (this == &other) return *this;
  m_name = other.m_name;
  m_prepared = other.m_prepared;
  m_ended = other.m_ended;
  Clear();
  for (const auto& [database, description] : other.m_descriptions)
    m_descriptions[database] = new DbDescription(*description);
  if (other.m_master) {
    const RdmStoreTab& source = *other.m_master;
    m_master = new RdmStoreTab(nullptr, m_descriptions.Get(source.GetDescription()->GetName()),
                               source.GetName(), source.GetAlias(), false);
    m_master->CopyFields(source);
    m_master->CopyState(source);
    m_master->CloneChildren(source, m_descriptions);
    m_master->SetTableOptions(source.GetTableOptions());
  }
  m_tables.clear();
  return *this;
}

bool RdmView::Init(DbDescMap* map, std::string name, const RdmTableOptions&) {
  if (!m_descriptions.empty()) return false;
  m_name = ToUpper(name);
  m_prepared = false;
  m_ended = false;
  m_master = nullptr;
  for (unsigned i = 0; i < map->Count(); ++i) {
    auto* copy = new DbDescription(map->GetDescriptionAt(static_cast<int>(i)));
    m_descriptions[copy->GetName()] = copy;
  }
  m_tables.clear();
  return true;
}

void RdmView::AddTable(std::string alias, std::string database, std::string table,
                       std::string childField, std::string parentAlias, std::string parentField,
                       std::string keyName) {
  if (m_master && parentAlias.empty()) throw DbDescError(2002, StringVector(m_name));
  if (alias.empty()) alias = table;
  if (keyName.empty()) keyName = childField;
  database = ToUpper(database);
  if (!m_master) {
    auto it = m_descriptions.find(database);
    if (it == m_descriptions.end()) throw DbDescError(2000, StringVector(database));
    m_master = new RdmStoreTab(nullptr, it->second, table, alias, true);
  } else {
    RdmStoreTab* parent = m_master->FindTable(parentAlias, "");
    if (!parent) throw DbDescError(2002, StringVector(m_name) << parentAlias);
    if (m_master->FindTable(alias, "")) throw DbDescError(2002, StringVector(m_name) << alias);
    // The child registers itself under its parent, which owns it from then on.
    auto* child = new RdmStoreTab(parent, m_descriptions.Get(database), table, alias, false);
    child->SetLink(parentField, childField, keyName);
  }
  m_tables.clear();
}

RdmTable* RdmView::GetTable(std::string name) {
  if (!m_master) throw DbDescError(2011, StringVector(m_name));
  RdmStoreTab* table = m_master->FindTable(name, "");
  if (!table) throw DbDescError(2002, StringVector(m_name) << name);
  return table;
}

bool RdmView::Next() {
  if (!m_master) return false;
  if (!m_prepared) Prepare();
  if (m_ended) return false;
  bool found = false;
  m_master->NextJoined(-1, found);
  m_ended = !found;
  return found;
}

int RdmView::Size() {
  RequireMaster("RdmView::Size", 596);
  QoMap<std::string, _TableInfo> positions;
  m_master->SaveTreePositions(positions);
  bool prepared = m_prepared;
  bool ended = m_ended;
  m_prepared = false;
  int count = 0;
  while (Next()) ++count;
  m_master->RestoreTreePositions(positions);
  m_prepared = prepared;
  m_ended = ended;
  return count;
}

bool RdmView::Select(std::string key, unsigned char mode) {
  if (!m_master) throw DbDescError(2008, QOR_ERRPOS("RdmView::Select", 614), StringVector(m_name));
  m_ended = false;
  return m_master->Select(std::move(key), mode);
}

bool RdmView::SelectGe(std::string key, unsigned char mode) {
  if (!m_master)
    throw DbDescError(2008, QOR_ERRPOS("RdmView::SelectGe", 624), StringVector(m_name));
  m_ended = false;
  return m_master->SelectGe(std::move(key), mode);
}

bool RdmView::SelectNe(std::string key, unsigned char mode) {
  if (!m_master)
    throw DbDescError(2008, QOR_ERRPOS("RdmView::SelectNe", 632), StringVector(m_name));
  m_ended = false;
  return m_master->SelectNe(std::move(key), mode);
}

void RdmView::SetMasterDepMode(unsigned char mode) {
  RequireMaster("RdmView::SetMasterDepMode", 815);
  m_master->SetTreeMasterDepMode(mode);
  m_master->Step(0, 0);
}

int RdmView::GetTableCount() {
  RequireMaster("RdmView::GetTableCount", 881);
  int count = 0;
  m_master->CountTreeTables(count);
  return count;
}

RdmTable* RdmView::operator[](int index) {
  RequireMaster("RdmView::operator []", 891);
  if (m_tables.empty()) {
    std::vector<RdmStoreTab*> tree;
    m_master->CollectTreeTables(tree);
    m_tables.assign(tree.begin(), tree.end());
  }
  if (static_cast<unsigned>(index) < m_tables.size()) return m_tables[static_cast<unsigned>(index)];
  throw DbDescError(2002, QOR_ERRPOS("RdmView::operator []", 903), StringVector(m_name) << index);
}

void RdmView::AddTableOption(const char* option) {
  RequireMaster("RdmView::AddTableOption", 1043);
  m_master->AddTreeTableOption(static_cast<unsigned char>(option[0]));
}

void RdmView::Prepare() {
  m_prepared = true;
  m_ended = false;
  SetMasterDepMode(1);
  m_master->Step(5, 5);
}

void RdmView::Clear() {
  DeleteMaster();
  ClearDescriptions();
}

void RdmView::DeleteMaster() {
  delete m_master;
  m_master = nullptr;
  m_tables.clear();
}

void RdmView::ClearDescriptions() {
  for (auto& [database, description] : m_descriptions) delete description;
  m_descriptions.clear();
}

void RdmView::RequireMaster(const char* operation, int line) const {
  if (!m_master) throw DbDescError(2011, QOR_ERRPOS(operation, line), StringVector(m_name));
}

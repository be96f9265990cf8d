#include "RdmSqlBase.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <tuple>
#include <utility>

#include "FncLoader.h"

namespace {

// What ResolveField's outputs hold before its search: the name's own parts.
void NameParts(const StringVector& parts, std::string& database, std::string& table,
               std::string& field) {
  if (parts.size() == 3) {
    database = parts[0];
    table = parts[1];
    field = parts[2];
  } else if (parts.size() == 2) {
    table = parts[0];
    field = parts[1];
  } else if (parts.size() == 1) {
    field = parts[0];
  }
}

}  // namespace

RdmSqlBase::RdmSqlBase() = default;
RdmSqlBase::~RdmSqlBase() = default;

bool RdmSqlBase::Accept(TokenPos& position, const std::string& word) {
  if (position == m_end) return false;
  if (position->IsQuoted() || CompareNoCase(position->text, word) != 0) return false;
  ++position;
  return position != m_end;
}

void RdmSqlBase::Advance(TokenPos& position) {
  if (position == m_end) throw DbDescError(2020);
  ++position;
  if (position == m_end) throw DbDescError(2020);
}

void RdmSqlBase::SplitName(const std::string& name, StringVector& parts) {
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t dot = name.find('.', start);
    if (dot == std::string::npos) dot = name.size();
    if (dot > start) parts.Append(ToUpper(name.substr(start, dot - start)));
    start = dot + 1;
  }
}

void RdmSqlBase::ResolveTable(const std::string& name, std::string& database, std::string& table) {
  StringVector parts;
  SplitName(name, parts);
  if (parts.size() == 1) {
    table = parts[0];
    int hits = 0;
    for (const auto& [dbName, description] : m_descriptions) {
      if (description->GetRecordType(table) == -1) continue;
      database = description->GetName();
      if (++hits == 2) break;
    }
    if (hits == 0) throw DbDescError(2002, StringVector(table));
    if (hits == 2) throw DbDescError(2002, StringVector(table) << "Nem egyértelmű táblanév!");
  } else if (parts.size() == 2) {
    if (m_descriptions.Get(parts[0])->GetRecordType(parts[1]) == -1)
      throw DbDescError(2002, StringVector(parts[0]) << parts[1]);
    database = parts[0];
    table = parts[1];
  } else {
    throw DbDescError(2002, StringVector("Empty from clausure!"));
  }
}

void RdmSqlBase::ResolveField(const std::string& name, std::string& database, std::string& table,
                              std::string& field) {
  StringVector parts;
  SplitName(name, parts);
  NameParts(parts, database, table, field);
  int hits = 0;
  if (parts.size() == 1) {
    for (const auto& [pairDb, pairTable] : m_tablePairs) {
      if (m_descriptions.Get(pairDb)->GetFieldNumber(pairTable, field) == -1) continue;
      database = pairDb;
      table = pairTable;
      if (++hits == 2) break;
    }
    if (hits == 0) throw DbDescError(2003, StringVector(field));
  } else if (parts.size() == 2) {
    for (const auto& [dbName, description] : m_descriptions) {
      if (description->GetFieldNumber(table, field) == -1) continue;
      database = description->GetName();
      if (++hits == 2) break;
    }
    if (hits == 0) throw DbDescError(2003, StringVector(table) << field);
  } else if (parts.size() == 3) {
    if (m_descriptions.Get(database)->GetFieldNumber(table, field) == -1)
      throw DbDescError(2003, StringVector(database) << table << field);
  } else {
    throw DbDescError(2003, StringVector(name));
  }
  if (hits == 2) throw DbDescError(2003, StringVector(field) << "Nem egyértelmű mezőnév!");
}

int RdmSqlBase::ParseOperand(const RdmSqlToken& token, tFldAddr& operand) {
  operand = tFldAddr{};
  if (token.IsLiteral()) {
    StringVector parts;
    SplitName(token.text, parts);
    NameParts(parts, operand.database, operand.table, operand.field);
    operand.text = token.text;
    return 1;
  }
  try {
    ResolveField(token.text, operand.database, operand.table, operand.field);
    return 0;
  } catch (const QorExceptBase&) {
    operand.text = token.text;
    return 1;
  }
}

std::string RdmSqlBase::ConditionText(const tWhereElem& condition) {
  return condition.left.field + condition.op.text + condition.right.field;
}

void RdmSqlBase::ParseWhere(TokenPos first, TokenPos end) {
  m_conditions.clear();
  m_joins.clear();
  m_filters.clear();
  TokenPos position = first;
  while (position != end) {
    tWhereElem condition;
    bool leftConstant = ParseOperand(*position, condition.left) != 0;
    Advance(position);
    // A condition cut short by the end of the WHERE part.
    if (position == end) throw DbDescError(2020);
    condition.op.text = position->text;
    Advance(position);
    if (position == end) throw DbDescError(2020);
    bool rightConstant = ParseOperand(*position, condition.right) != 0;
    Advance(position);
    if (leftConstant && rightConstant)
      throw DbDescError(2021, StringVector(ConditionText(condition)));
    if (leftConstant) std::swap(condition.left, condition.right);
    condition.kind = leftConstant || rightConstant ? 3 : 2;
    m_conditions.push_back(condition);
    if (position == end) break;
    // Only AND joins conditions: an OR read as AND, or a stray word, would
    // make the statement act on something other than it says.
    if (position->kind != RdmSqlTokenKind::Keyword || position->text != "AND")
      throw DbDescError(2027, StringVector(position->text));
    Advance(position);
    if (position == end) throw DbDescError(2020);
  }
  for (const tWhereElem& condition : m_conditions)
    (condition.kind == 2 ? m_joins : m_filters).push_back(condition);
}

void RdmSqlBase::RequireAppliedConditions() const {
  auto refuse = [](const tWhereElem& c) {
    throw DbDescError(2021, StringVector(ConditionText(c)));
  };
  auto inStatement = [&](const tFldAddr& f) {
    return std::find(m_tablePairs.begin(), m_tablePairs.end(), TablePair(f.database, f.table)) !=
           m_tablePairs.end();
  };
  bool mainFiltered = false;
  for (const tWhereElem& c : m_conditions) {
    if (!inStatement(c.left) || (c.kind == 2 && !inStatement(c.right))) refuse(c);
    const bool main = c.left.database == m_databaseName && c.left.table == m_tableName;
    if (c.kind == 3 && main && std::exchange(mainFiltered, true)) refuse(c);
  }
  if (!m_joins.empty()) refuse(m_joins.front());
}

void RdmSqlBase::ApplyFilters() {
  auto filter = std::find_if(m_filters.begin(), m_filters.end(), [&](const tWhereElem& c) {
    return c.left.database == m_databaseName && c.left.table == m_tableName;
  });
  if (filter == m_filters.end()) {
    m_resultView.Select("", 5);
    return;
  }
  RdmTable* table = m_resultView.GetTable(m_tableName);
  table->GetField(filter->left.field).SetString(filter->right.text);
  const std::string& op = filter->op.text;
  if (op == "=")
    m_resultView.Select(filter->left.field, 5);
  else if (op == "LIKE")
    m_resultView.SelectGe(filter->left.field, 5);
  else if (op == "<>")
    m_resultView.SelectNe(filter->left.field, 5);
  else
    throw DbDescError(2024, StringVector(op));
}

int RdmSqlBase::ConnectionHandle() const {
  return m_descriptions.empty() ? kNoConnection : m_descriptions.begin()->second->GetHandle();
}

std::string RdmSqlBase::EvalValue(const RdmSqlToken& token) {
  std::string value = token.text;
  if (token.IsQuoted()) return value;
  if (value == "SYSDATE") {
    time_t now = 0;
    int status = QOR_ENTRY(GetServerTime)(ConnectionHandle(), &now);
    if (status != 0) throw DbDescError(status);
    return std::to_string(static_cast<long long>(now));
  }
  if (IsNextval(value)) {
    int32_t id = 0;
    int status = QOR_ENTRY(GetNextId)(ConnectionHandle(), value.c_str(), &id);
    if (status != 0) throw DbDescError(status);
    return std::to_string(id);
  }
  return value;
}

bool RdmSqlBase::IsNextval(std::string& value) {
  std::size_t dot = value.find('.');
  if (dot == std::string::npos || CompareNoCase(value.substr(dot + 1), "nextval") != 0)
    return false;
  value.resize(dot);
  return true;
}

RdmSqlBase::TokenPos RdmSqlBase::FindToken(TokenPos first, TokenPos end, const char* text) {
  return std::find_if(first, end,
                      [&](const RdmSqlToken& t) { return !t.IsQuoted() && t.text == text; });
}

void RdmSqlBase::RequireEquals(const tWhereElem& condition) {
  if (condition.op.text != "=") throw DbDescError(2024, StringVector(condition.op.text));
}

// ---- The joined view of a SELECT ----

void RdmSqlBase::BuildFrom(TokenPos first, TokenPos fromEnd, TokenPos whereFirst,
                           TokenPos whereEnd) {
  m_tablePairs.clear();
  for (TokenPos position = first; position != fromEnd;) {
    std::string database, table;
    ResolveTable(position->text, database, table);
    m_tablePairs.emplace_back(database, table);
    ++position;
    if (position != fromEnd && !position->IsQuoted() && position->text == ",") ++position;
  }
  if (m_tablePairs.size() > 1 && whereFirst == whereEnd) throw DbDescError(2023);
  ParseWhere(whereFirst, whereEnd);
  TablePairs remaining = m_tablePairs;
  if (m_tablePairs.size() == 1) {
    std::tie(m_databaseName, m_tableName) = m_tablePairs[0];
    remaining.clear();
  } else {
    FindMainTable(remaining);
  }
  m_resultView.AddTable("", m_databaseName, m_tableName, "", "", "", "");
  BuildJoinTree(m_databaseName, m_tableName, remaining);
  RequireAppliedConditions();
  ApplyFilters();
}

void RdmSqlBase::FindMainTable(TablePairs& list) {
  TablePairs free = list;
  for (const tWhereElem& join : m_joins) {
    auto it = std::find(free.begin(), free.end(), TablePair(join.left.database, join.left.table));
    if (it != free.end()) free.erase(it);
  }
  if (free.size() != 1) throw DbDescError(2025);
  m_databaseName = free[0].first;
  m_tableName = free[0].second;
  RemoveTablePair(m_databaseName, m_tableName, list);
}

void RdmSqlBase::RemoveTablePair(const std::string& database, const std::string& table,
                                 TablePairs& list) {
  auto it = std::find(list.begin(), list.end(), TablePair(database, table));
  if (it != list.end()) list.erase(it);
}

void RdmSqlBase::BuildJoinTree(const std::string& database, const std::string& table,
                               TablePairs& remaining) {
  while (!remaining.empty()) {
    auto join = std::find_if(m_joins.begin(), m_joins.end(), [&](const tWhereElem& c) {
      return c.right.database == database && c.right.table == table;
    });
    if (join == m_joins.end()) return;
    RequireEquals(*join);
    const std::string childDb = join->left.database;
    const std::string childTable = join->left.table;
    const std::string joinField = join->left.field;
    const std::string parentField = join->right.field;
    FieldValues list{{joinField, ""}};
    for (const tWhereElem& filter : m_filters) {
      if (filter.left.database != childDb || filter.left.table != childTable) continue;
      RequireEquals(filter);
      list.emplace_back(filter.left.field, filter.right.text);
    }
    if (list.size() == 1) {
      m_resultView.AddTable("", childDb, childTable, joinField, table, parentField, "");
    } else {
      std::string key = FindLinkingIndex(childDb, childTable, joinField, list);
      m_resultView.AddTable("", childDb, childTable, joinField, table, parentField, key);
      ApplyKeyConstants(childTable, key, joinField, list);
    }
    m_joins.erase(join);
    RemoveTablePair(childDb, childTable, remaining);
    BuildJoinTree(childDb, childTable, remaining);
  }
}

const char* RdmSqlBase::FindLinkingIndex(const std::string& database, const std::string& table,
                                         const std::string& joinField, const FieldValues& list) {
  m_linkingIndex.clear();
  bool found = false;
  std::multimap<std::size_t, std::string> candidates;
  DbDescription* description = m_descriptions.Get(database);
  std::vector<FIELD_ENTRY_S> entries;
  StringVector names;
  description->GetFieldEntriesByName(table, entries, true);
  description->GetFieldNamesByName(table, names, true);
  for (std::size_t i = 0; i < entries.size() && i < names.size() && !found; ++i) {
    const std::string& name = names[i];
    if (entries[i].type == 'k' && entries[i].keyKind != 'n') {
      StringVector components;
      description->GetCompoundKeyFieldsByName(table, name, components);
      if (components.size() > list.size()) continue;
      std::size_t count = 0;
      while (count < list.size() &&
             std::find(components.begin(), components.end(), list[count].first) != components.end())
        ++count;
      if (count == 0) continue;
      if (list.size() == components.size() && count == list.size()) {
        m_linkingIndex = name;
        found = true;
      }
      candidates.emplace(count, name);
    } else if (std::any_of(list.begin(), list.end(), [&](const auto& entry) {
                 return CompareNoCase(entry.first, name) == 0;
               })) {
      candidates.emplace(1, name);
    }
  }
  if (candidates.empty()) {
    std::string text = "Nincs kapcsolóindex a következő oszlopokra: ";
    for (const auto& entry : list) text += entry.first + " ";
    throw DbDescError(2021, StringVector(text));
  }
  if (!found) {
    const auto& [count, key] = *candidates.begin();
    m_linkingIndex = count == 1 ? joinField : key;
  }
  return m_linkingIndex.c_str();
}

void RdmSqlBase::ApplyKeyConstants(const std::string& table, const std::string& keyName,
                                   const std::string& joinField, FieldValues& list) {
  auto* child = static_cast<RdmStoreTab*>(m_resultView.GetTable(table));
  StringVector components;
  if (child->RequireDescription()->GetFieldEntryByName(child->GetName(), keyName).type == 'k')
    child->GetCompoundKeyFields(keyName, components);
  else
    components.Append(keyName);
  for (const std::string& component : components) {
    auto entry = std::find_if(list.begin(), list.end(), [&](const auto& e) {
      return CompareNoCase(e.first, component) == 0;
    });
    if (entry == list.end()) throw DbDescError(2021, StringVector(component));
    if (CompareNoCase(component, joinField) != 0) child->SetLinkConstant(component, entry->second);
    list.erase(entry);
  }
  child->SetLinkFilters(list);
}

void RdmSqlBase::SelectColumns(TokenPos first, TokenPos fromToken) {
  if (Accept(first, "*") && first == fromToken) return;
  QoMap<std::string, std::vector<std::string>> columns;
  for (TokenPos position = first; position != fromToken; ++position) {
    if (!position->IsQuoted() && position->text == ",") continue;
    std::string database, table, field;
    ResolveField(position->text, database, table, field);
    columns[table].push_back(field);
  }
  for (int i = 0, n = m_resultView.GetTableCount(); i < n; ++i) m_resultView[i]->SetFldList({});
  for (const auto& [table, fields] : columns) m_resultView.GetTable(table)->SetFldList(fields);
}

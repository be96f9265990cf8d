#include "RdmSqlExec.h"

#include <vector>

#include "RdmSqlSelect.h"
#include "SecurityCode.h"

namespace {

bool IsNull(const RdmSqlToken& token) {
  return !token.IsQuoted() && CompareNoCase(token.text, "NULL") == 0;
}

bool IsSeparator(const RdmSqlToken& token, const char* text) {
  return token.kind == RdmSqlTokenKind::Separator && token.text == text;
}

std::string Scrambled(std::string text) {
  SecurityCode code;
  code.Encode(static_cast<unsigned>(text.size()), text.data());
  return text;
}

}  // namespace

RdmSqlExec::RdmSqlExec() = default;
RdmSqlExec::~RdmSqlExec() = default;

void RdmSqlExec::Execute(const DescriptionMap& descriptions, const RdmSqlStatement& tokens) {
  m_rowCount = 0;
  m_message.clear();
  m_resultView = RdmView();
  m_tokens = tokens;
  m_descriptions = descriptions;
  try {
    if (m_descriptions.empty()) throw DbDescError(2008);
    TokenPos position = m_tokens.begin();
    m_end = m_tokens.end();
    TokenPos remembered = position;
    // One command per statement: after it only a SELECT's ORDER BY and the
    // ";" may follow, so that a word left over never starts a second command.
    bool selected = false;
    for (bool first = true; position != m_end; first = false) {
      if (first) {
        selected = RunCommand(position);
      } else if (selected && Accept(position, "ORDER")) {
        if (Accept(position, "BY")) OrderBy(position);
      } else {
        Accept(position, ";");
      }
      if (position == remembered) throw DbDescError(2027, StringVector(position->text));
      remembered = position;
    }
  } catch (const QorExceptBase& e) {
    m_message = e.what();
  }
}

bool RdmSqlExec::RunCommand(TokenPos& position) {
  if (Accept(position, "INSERT")) {
    if (Accept(position, "INTO")) Insert(position);
  } else if (Accept(position, "DELETE")) {
    if (Accept(position, "FROM")) Delete(position);
  } else if (Accept(position, "UPDATE")) {
    Update(position);
  } else if (Accept(position, "COMMIT")) {
    RequireEnd(position);
    Commit();
  } else if (Accept(position, "ROLLBACK")) {
    RequireEnd(position);
    Rollback();
  } else if (Accept(position, "SELECT")) {
    Select(position);
    return true;
  } else if (Accept(position, "ORDER")) {
    if (Accept(position, "BY")) OrderBy(position);
  } else if (Accept(position, "CREATE")) {
    Create(position);
  } else if (Accept(position, "ALTER")) {
    Alter(position);
  } else if (Accept(position, "DROP")) {
    Drop(position);
  } else if (Accept(position, "DESCRIBE") || Accept(position, "DESC")) {
    Describe(position);
  } else {
    Accept(position, ";");
  }
  return false;
}

bool RdmSqlExec::AtEnd(TokenPos position) const {
  return position == m_end || IsSeparator(*position, ";");
}

void RdmSqlExec::RequireEnd(TokenPos position) const {
  if (!AtEnd(position)) throw DbDescError(2027, StringVector(position->text));
}

// ---- Views and the implicit transaction ----

RdmView& RdmSqlExec::PrepareStatementView() {
  m_resultView = RdmView();
  m_tablePairs.clear();
  const std::string written = m_tableName;
  ResolveTable(written, m_databaseName, m_tableName);
  m_tablePairs.emplace_back(m_databaseName, m_tableName);
  PrepareSelectView();
  m_resultView.AddTable("", m_databaseName, m_tableName, "", "", "", "");
  return m_resultView;
}

// The WHERE of a DELETE or UPDATE, applied as the one filter of the main table.
void RdmSqlExec::ApplyMainTableWhere(TokenPos where, TokenPos end) {
  Advance(where);
  ParseWhere(where, end);
  if (m_conditions.empty()) throw DbDescError(2023);
  RequireAppliedConditions();
  ApplyFilters();
}

void RdmSqlExec::PrepareSelectView() {
  DbDescMap local;
  local.SetHandle(ConnectionHandle());
  for (const auto& [name, description] : m_descriptions) local.Insert(description);
  m_resultView = RdmView(&local, "SQLEXEC", DefaultTableOptions());
}

void RdmSqlExec::BeginImplicitTransaction(RdmTable& table) {
  if (m_transactionOpen) return;
  try {
    table.BeginTransaction("SQL");
    m_transactionOpen = true;
  } catch (const QorExceptBase& e) {
    // Active already: the statement still fails, the next one goes on in it.
    m_transactionOpen = e.GetCode() == 10023;
    throw;
  }
}

void RdmSqlExec::EndImplicitTransaction(bool commit) {
  if (!m_transactionOpen) return;
  m_transactionOpen = false;
  m_descriptions.begin()->second->EndTransaction(commit);
  m_message = commit ? "Transaction commited." : "Transaction aborted.";
}

void RdmSqlExec::CommitConnection() {
  m_descriptions.begin()->second->EndTransaction(true);
  m_transactionOpen = false;
}

// ---- Data statements ----

void RdmSqlExec::Insert(TokenPos& position) {
  m_tableName = position->text;
  PrepareStatementView();
  // A plain table: the record goes to the server directly, not through the store.
  RdmTable table = *m_resultView.GetTable(m_tableName);
  BeginImplicitTransaction(table);
  table.ClearFields();
  m_message = "%i record inserted.";
  m_rowCount = 1;
  ++position;
  // The whole statement is read before a value is evaluated or the record written.
  auto atValues = [&] {
    return position != m_end && !position->IsQuoted() && position->text == "VALUES";
  };
  const bool named = !atValues();
  std::vector<TokenPos> columns;
  if (named) columns = ReadList(position);
  if (!atValues()) throw DbDescError(2029);
  ++position;
  const std::vector<TokenPos> values = ReadList(position);
  RequireEnd(position);
  std::vector<RdmFld*> fields;
  if (named) {
    for (TokenPos column : columns) fields.push_back(&table.GetField(column->text));
  } else {
    // The record's fields in dictionary order, up to its first compound key or group.
    std::vector<FIELD_ENTRY_S> entries;
    std::vector<std::string> names;
    table.GetFldEntries(entries);
    table.GetFldNames(names);
    for (std::size_t i = 0;
         i < entries.size() && i < names.size() && entries[i].type != 'k' && entries[i].type != 'g';
         ++i)
      fields.push_back(&table.GetField(names[i]));
  }
  if (fields.size() != values.size()) throw DbDescError(2028);
  for (std::size_t i = 0; i < values.size(); ++i)
    if (!IsNull(*values[i])) fields[i]->SetString(EvalValue(*values[i]));
  table.Append();
}

std::vector<RdmSqlExec::TokenPos> RdmSqlExec::ReadList(TokenPos& position) {
  if (AtEnd(position) || !IsSeparator(*position, "(")) throw DbDescError(2029);
  std::vector<TokenPos> items;
  do {
    ++position;
    if (AtEnd(position)) throw DbDescError(2029);
    if (position->kind == RdmSqlTokenKind::Separator || position->kind == RdmSqlTokenKind::Operator)
      throw DbDescError(2028);
    items.push_back(position++);
    if (AtEnd(position)) throw DbDescError(2029);
  } while (IsSeparator(*position, ","));
  if (!IsSeparator(*position, ")")) throw DbDescError(2028);
  ++position;
  return items;
}

void RdmSqlExec::DefineWriteKey(RdmTable& table) {
  std::string key = table.GetUniqueKeyName();
  table.DefineKey(key.empty() ? m_conditions.front().left.field : key);
}

void RdmSqlExec::Delete(TokenPos& position) {
  m_tableName = position->text;
  ++position;
  PrepareStatementView();
  RdmTable* table = m_resultView.GetTable(m_tableName);
  BeginImplicitTransaction(*table);
  m_message = "%i record deleted.";
  const TokenPos end = FindToken(position, m_end, ";");
  TokenPos where = FindToken(position, end, "WHERE");
  RequireWhereOrEnd(position, where);
  if (where != end) {
    ApplyMainTableWhere(where, end);
    DefineWriteKey(*table);
    while (table->Next() && table->Delete(0)) ++m_rowCount;
  } else {
    table->DefineKey("");
    while (table->Go(0, 5) && table->Delete(0)) ++m_rowCount;
  }
  position = end;
}

void RdmSqlExec::Update(TokenPos& position) {
  m_tableName = position->text;
  PrepareStatementView();
  RdmTable* table = m_resultView.GetTable(m_tableName);
  BeginImplicitTransaction(*table);
  ++position;
  if (!Accept(position, "SET")) throw DbDescError(2030);
  m_message = "%i record updated.";
  const TokenPos end = FindToken(position, m_end, ";");
  TokenPos where = FindToken(position, end, "WHERE");
  const TokenPos setList = position;
  TokenPos listEnd = setList;
  ApplySetList(*table, listEnd, false);
  RequireWhereOrEnd(listEnd, where);
  // Every record reads the list afresh, so SYSDATE and nextval are evaluated per record.
  auto setValues = [&] {
    TokenPos item = setList;
    return ApplySetList(*table, item, true);
  };
  if (where == end) {
    table->DefineKey("");
    unsigned char direction = 0;
    while (table->Go(direction, 5) && setValues() && table->Update(0)) {
      direction = 2;
      ++m_rowCount;
    }
  } else {
    ApplyMainTableWhere(where, end);
    // The server finds each record by the key value in its buffer: only a
    // unique key that the SET list leaves alone names the record just read.
    const std::string key = table->GetUniqueKeyName();
    if (key.empty()) throw DbDescError(10028, StringVector(m_tableName));
    table->DefineKey(key);
    int saved = table->GetPosition();
    while (m_resultView.Next() && setValues() && table->Update(0)) ++m_rowCount;
    table->SetPosition(saved);
  }
  position = end;
}

void RdmSqlExec::RequireWhereOrEnd(TokenPos position, TokenPos where) const {
  if (position != where) throw DbDescError(2027, StringVector(position->text));
}

bool RdmSqlExec::ApplySetList(RdmTable& table, TokenPos& position, bool store) {
  do {
    if (position == m_end) throw DbDescError(2031);
    const std::string& field = position->text;
    if (table.IsInUniqueKey(field)) throw DbDescError(2031, StringVector(field));
    ++position;
    // The value must follow: not a separator, nor a keyword other than SYSDATE.
    if (!Accept(position, "=") || position->kind == RdmSqlTokenKind::Separator ||
        (position->kind == RdmSqlTokenKind::Keyword && position->text != "SYSDATE"))
      throw DbDescError(2031);
    if (store) table.GetField(field).SetString(EvalValue(*position));
    ++position;
  } while (Accept(position, ","));
  return true;
}

void RdmSqlExec::Select(TokenPos& position) {
  PrepareSelectView();
  RdmSqlSelect select(position, m_end, &m_resultView);
  select.Execute();
  m_message = select.GetMessage();
  m_tableName = select.GetTableName();
  position = select.GetPosition();
  m_rowCount = select.GetRowCount();
  // The select ends here, so its view is taken over rather than copied.
  m_resultView = std::move(*select.GetResultView());
}

void RdmSqlExec::OrderBy(TokenPos& position) {
  m_resultView.GetTable(m_tableName)->Sort(position->text, 0, 1);
  ++position;
}

// ---- Sequences, users and roles ----

void RdmSqlExec::Create(TokenPos& position) {
  CommitConnection();
  if (Accept(position, "SEQUENCE"))
    CreateSequence(position);
  else if (Accept(position, "ROLE"))
    CreateUser(position, true);
  else if (Accept(position, "USER"))
    CreateUser(position, false);
  else
    throw DbDescError(2012);
}

void RdmSqlExec::Alter(TokenPos& position) {
  CommitConnection();
  if (!Accept(position, "SEQUENCE")) throw DbDescError(2012);
  AlterSequence(position);
}

void RdmSqlExec::Drop(TokenPos& position) {
  CommitConnection();
  if (Accept(position, "SEQUENCE"))
    DropSequence(position);
  else if (Accept(position, "ROLE"))
    DropUser(position, true);
  else if (Accept(position, "USER"))
    DropUser(position, false);
  else
    throw DbDescError(2012);
}

std::string RdmSqlExec::NameAt(TokenPos& position, const StringVector& missing) {
  if (position == m_end || IsSeparator(*position, ";")) throw DbDescError(2020, missing);
  return ToUpper((position++)->text);
}

void RdmSqlExec::ParseSequenceOptions(TokenPos& position, RdmTable& sequencies) {
  sequencies.EndTransaction(1);
  TokenPos remembered = position;
  auto take = [&](const char* field) {
    sequencies.GetField(field).SetString(position->text);
    ++position;
  };
  while (position != m_end) {
    Accept(position, ";");
    if (Accept(position, "INCREMENT")) {
      if (!Accept(position, "BY"))
        throw DbDescError(2020, StringVector("Hiányzik az INCREMENT után a BY"));
      take("seq_step");
    }
    if (Accept(position, "START")) {
      if (!Accept(position, "WITH"))
        throw DbDescError(2020, StringVector("Hiányzik az START után a WITH"));
      take("seq_id");
    }
    if (Accept(position, "MAXVALUE")) take("seq_max");
    if (Accept(position, "NOMAXVALUE")) sequencies.GetField("seq_max").SetInt(0);
    if (Accept(position, "MINVALUE")) take("seq_min");
    if (Accept(position, "NOMINVALUE")) sequencies.GetField("seq_min").SetInt(0);
    if (Accept(position, "CYCLE")) sequencies.GetField("seq_recycle").SetInt(1);
    if (Accept(position, "NOCYCLE")) sequencies.GetField("seq_recycle").SetInt(0);
    if (Accept(position, "CACHE")) take("seq_chace");
    if (Accept(position, "NOCACHE")) sequencies.GetField("seq_chace").SetInt(0);
    if (position == remembered) throw DbDescError(2027, StringVector(position->text));
    remembered = position;
  }
}

void RdmSqlExec::CreateSequence(TokenPos& position) {
  m_message = "Sequence creation failed!";
  RdmTable table(SysDb(), "sequencies");
  const std::string name = NameAt(position, StringVector());
  // The server draws a name from whichever row has it in any case, so one
  // that differs from a stored name only in case is refused as that name
  // itself would be.
  for (bool more = table.Go(0); more; more = table.Go(2))
    if (ToUpper(table.GetField("seq_name").AsString()) == name)
      throw DbDescError(10005, StringVector("sequencies"));
  table.ClearFields();
  table.GetField("seq_step").SetInt(1);
  table.GetField("seq_id").SetInt(1);
  table.GetField("seq_name").SetString(name);
  ParseSequenceOptions(position, table);
  table.Append();
  m_message = table.GetField("seq_name").AsString() + " sequence created.";
}

void RdmSqlExec::AlterSequence(TokenPos& position) {
  m_message = "Sequence alteration failed!";
  RdmTable table(SysDb(), "sequencies");
  const std::string name = NameAt(position, StringVector());
  // The stored record first, so that what the statement does not name keeps its value.
  table.DefineKey("seq_name");
  table.GetField("seq_name").SetString(name);
  bool found = table.Find();
  table.GetField("seq_name").SetString(name);
  ParseSequenceOptions(position, table);
  bool altered = found && table.Update(0);
  m_message = table.GetField("seq_name").AsString() +
              (altered ? " sequence altered." : " sequence not found.");
}

void RdmSqlExec::DropSequence(TokenPos& position) {
  m_message = "Sequence drop failed!";
  RdmTable table(SysDb(), "sequencies");
  table.GetField("seq_name").SetString(NameAt(position, StringVector()));
  const std::string name = table.GetField("seq_name").AsString();
  RequireEnd(position);
  table.DefineKey("seq_name");
  bool dropped = table.Delete(0);
  m_message = name + (dropped ? " sequence dropped." : " sequence not found.");
}

void RdmSqlExec::CreateUser(TokenPos& position, bool role) {
  std::string enabled = "0x01";
  RdmTable table(SysDb(), "dbuser");
  m_message = role ? "Cannot create role!" : "Cannot create user!";
  // The whole statement is read before an id is drawn or anything written.
  if (position == m_end || IsSeparator(*position, ";"))
    throw DbDescError(2020, StringVector("Nincs megadva a felhasználó vagy szerepkör neve!"));
  const std::string name = ToUpper(position->text);
  Advance(position);
  std::string password;
  if (!role) {
    if (Accept(position, "IDENTIFIED")) {
      if (!Accept(position, "BY")) throw DbDescError(2032);
      // The login upper-cases the password it checks.
      password = ToUpper(position->text);
      Advance(position);
    }
    if (Accept(position, "ACCOUNT")) {
      if (Accept(position, "LOCK"))
        enabled = "0x00";
      else if (Accept(position, "UNLOCK"))
        enabled = "0x01";
      else
        throw DbDescError(2020,
                          StringVector("Az ACCOUNT után nem a LOCK vagy az UNLOCK szerepel!"));
    }
  }
  RequireEnd(position);
  table.SetSequenceName("sysdb_dbuser");
  table.GetField("userid").SetLong(table.GetNextId());
  table.GetField("type").SetText(role ? "0x01" : "0x00");
  table.GetField("name").SetString(Scrambled(name));
  table.GetField("psw").SetString(Scrambled(password));
  table.GetField("enabled").SetText(enabled.c_str());
  table.Append();
  table.EndTransaction(1);
  m_message = (role ? "Role " : "User ") + name + " created succesfuly!";
}

void RdmSqlExec::DropUser(TokenPos& position, bool role) {
  m_message = role ? "Cannot drop role!" : "Cannot drop user!";
  const std::string name = NameAt(position, StringVector());
  RequireEnd(position);
  RdmTable table(SysDb(), "dbuser");
  table.DefineKey("name");
  table.GetField("name").SetString(Scrambled(name));
  table.Delete(0);
  table.EndTransaction(1);
  m_message = (role ? "Role " : "User ") + name + " dropped!";
}

// ---- DESCRIBE ----

void RdmSqlExec::Describe(TokenPos& position) {
  m_message = "Invalid object name";
  m_tableName = position->text;
  PrepareStatementView();
  RdmTable table = *m_resultView.GetTable(m_tableName);
  ++position;
  std::vector<std::string> names;
  table.GetFldNames(names);
  std::string text = "create table " + m_tableName + "(\r\n";
  for (std::size_t i = 0; i < names.size(); ++i) {
    // Each name with its own entry: the name list holds no groups or keys.
    FIELD_ENTRY_S entry = table.GetField(names[i]).GetFieldEntry();
    text += "  " + names[i] + " ";
    switch (entry.type) {
      case 'c':
        text += " VARCHAR2(" + std::to_string(entry.length) + ")";
        break;
      case 's':
        text += " NUMBER(5)";
        break;
      case 'i':
      case 'l':
        text += " NUMBER(10)";
        break;
      case 'f':
        text += " NUMBER(10,5)";
        break;
      case 'F':
        text += " NUMBER(20,10)";
        break;
      case 'g':
      case 'k':
        break;
      default:
        text += "invalid field";
    }
    text += i + 1 < names.size() ? ",\r\n" : ");\r\n";
  }
  m_message = text;
}

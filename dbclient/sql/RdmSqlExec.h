// Executes one statement of a client-side script over the library's own
// objects: a one-table view "SQLEXEC" for INSERT, DELETE, UPDATE and
// DESCRIBE, the joined view of a SELECT, plain tables for the SYSDB
// sequences and users, and the server's transaction calls. The data
// statements of a script share one server transaction "SQL", begun before
// the first change and ended only by COMMIT or ROLLBACK (or by the commit
// that CREATE, ALTER and DROP make first).
#pragma once

#include <string>
#include <vector>

#include "RdmSqlBase.h"

class RdmSqlExec : public RdmSqlBase {
 public:
  RdmSqlExec();
  // Neither commits nor aborts an open "SQL" transaction.
  ~RdmSqlExec() override;

  // Runs one statement. Every library failure becomes the message; work done
  // before it stays done.
  void Execute(const DescriptionMap& descriptions, const RdmSqlStatement& tokens);

 private:
  // The statement's command from its first token; true for a SELECT, which
  // an ORDER BY may follow.
  bool RunCommand(TokenPos& position);
  // At the statement's ";" (or past its last token).
  bool AtEnd(TokenPos position) const;
  // What a command has read must end the statement: 2027 for the token that
  // follows. A command checks it before it changes anything.
  void RequireEnd(TokenPos position) const;
  void Insert(TokenPos& position);
  // "(" item, item ... ")" from position to behind it, each item one token:
  // 2029 without the "(" or when the statement ends inside, 2028 when items
  // and commas do not alternate (so that a list pairs one to one with another).
  std::vector<TokenPos> ReadList(TokenPos& position);
  void Delete(TokenPos& position);
  void Update(TokenPos& position);
  void Commit() { EndImplicitTransaction(true); }
  void Rollback() { EndImplicitTransaction(false); }
  void Select(TokenPos& position);
  void OrderBy(TokenPos& position);
  void Create(TokenPos& position);
  void Alter(TokenPos& position);
  void Drop(TokenPos& position);
  void CreateSequence(TokenPos& position);
  void AlterSequence(TokenPos& position);
  void DropSequence(TokenPos& position);
  void ParseSequenceOptions(TokenPos& position, RdmTable& sequencies);
  void CreateUser(TokenPos& position, bool role);
  void DropUser(TokenPos& position, bool role);
  void Describe(TokenPos& position);

  // The one-table view of the statement's table (m_tableName as written).
  RdmView& PrepareStatementView();
  // An empty "SQLEXEC" view over copies of every database.
  void PrepareSelectView();
  void BeginImplicitTransaction(RdmTable& table);
  void EndImplicitTransaction(bool commit);
  // The schema statements' commit, which ends the "SQL" transaction too.
  void CommitConnection();
  // Walks the SET list from position to behind it, storing each value when
  // store is set (without it only the list's form is checked). A field of
  // the unique key may not be set (2031): with WHERE the server finds the
  // record to rewrite by that key's value, and without it every record would
  // get the one value.
  bool ApplySetList(RdmTable& table, TokenPos& position, bool store);
  // What follows a DELETE's table or an UPDATE's SET list must be its WHERE,
  // or the ";" when there is none (where is then that ";"): a mistyped WHERE
  // would otherwise make the statement act on every record. 2027 otherwise.
  void RequireWhereOrEnd(TokenPos position, TokenPos where) const;
  // The key by which the server finds each record DELETE selected: the unique
  // key, or for a table without one the condition's key field (the default
  // key would name the server's current record, which the store does not
  // move); every record with a selected key value goes, so the set is right.
  void DefineWriteKey(RdmTable& table);
  // DELETE and UPDATE act only on what their one condition names: a filter
  // of the main table by a constant (2023 without any, 2021 for another).
  void ApplyMainTableWhere(TokenPos where, TokenPos end);
  // A sequence, user or role name; 2020 when the statement ends first.
  std::string NameAt(TokenPos& position, const StringVector& missing);
  DbDescription* SysDb() { return m_descriptions.Get("SYSDB"); }

  RdmSqlStatement m_tokens;
  bool m_transactionOpen = false;
};

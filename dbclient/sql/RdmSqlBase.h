// The state and the shared operations of one tokenized SQL statement: token
// matching, dotted names resolved against the databases of a description
// map, WHERE conditions split into joins and filters, the main table's filter
// applied as a selection, the special values SYSDATE and SEQ.nextval, and the
// joined view that a SELECT builds from its FROM list and its joins.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "RdmSqlParser.h"
#include "RdmView.h"

class RdmSqlBase {
 public:
  using TokenPos = RdmSqlStatement::const_iterator;
  using DescriptionMap = QoMap<std::string, DbDescription*>;
  using TablePair = std::pair<std::string, std::string>;  // (database, table)
  using TablePairs = std::vector<TablePair>;
  using FieldValues = std::vector<std::pair<std::string, std::string>>;  // (field, value)

  // One operand of a condition: a field (database, table, field) or a constant (text).
  struct tFldAddr {
    std::string database;
    std::string table;
    std::string field;
    std::string text;
  };
  // One condition: kind 2 field against field (a join), 3 field against a constant (a filter).
  struct tWhereElem {
    unsigned char kind = 3;
    tFldAddr left;
    tFldAddr op;  // its text is the operator token
    tFldAddr right;
  };

  RdmSqlBase();
  virtual ~RdmSqlBase();
  RdmSqlBase(const RdmSqlBase&) = delete;
  RdmSqlBase& operator=(const RdmSqlBase&) = delete;

  // True when the token equals word (case ignored; a quoted token never
  // does): the position moves on, and the answer is whether tokens remain.
  virtual bool Accept(TokenPos& position, const std::string& word);
  // Moves to the next token; 2020 at the end or onto it.
  virtual void Advance(TokenPos& position);
  // The name cut at every ".", empty pieces dropped, each upper-cased.
  virtual void SplitName(const std::string& name, StringVector& parts);
  // TABLE or DB.TABLE against the description map; 2002 when unknown or ambiguous.
  virtual void ResolveTable(const std::string& name, std::string& database, std::string& table);
  // FIELD among the statement's tables, TABLE.FIELD in any database,
  // DB.TABLE.FIELD; 2003 when unknown or ambiguous.
  virtual void ResolveField(const std::string& name, std::string& database, std::string& table,
                            std::string& field);

  // 0 for a field, 1 for a constant: a quoted text or a name that does not resolve.
  int ParseOperand(const RdmSqlToken& token, tFldAddr& operand);
  // The conditions from first to end, joined by AND.
  void ParseWhere(TokenPos first, TokenPos end);
  // Refuses (2021) a condition that the statement would not apply: one that
  // names a table outside the statement, a second filter of the main table,
  // a join left out of the view (every join of a one-table statement).
  void RequireAppliedConditions() const;
  // Selects the result view's master by the first filter of the main table.
  void ApplyFilters();
  // The value a token stands for: SYSDATE the server's clock in seconds,
  // SEQ.nextval the sequence's next id; a quoted text stays as written.
  std::string EvalValue(const RdmSqlToken& token);
  // SEQ.nextval (any case) becomes SEQ; false and unchanged otherwise.
  static bool IsNextval(std::string& value);

  // ---- The joined view of a SELECT ----
  void BuildFrom(TokenPos first, TokenPos fromEnd, TokenPos whereFirst, TokenPos whereEnd);
  void FindMainTable(TablePairs& list);
  static void RemoveTablePair(const std::string& database, const std::string& table,
                              TablePairs& list);
  void BuildJoinTree(const std::string& database, const std::string& table, TablePairs& remaining);
  // The key by which a child's records are selected for its join field and
  // constant conditions.
  const char* FindLinkingIndex(const std::string& database, const std::string& table,
                               const std::string& joinField, const FieldValues& list);
  void ApplyKeyConstants(const std::string& table, const std::string& keyName,
                         const std::string& joinField, FieldValues& list);
  void SelectColumns(TokenPos first, TokenPos fromToken);

  const std::string& GetMessage() const { return m_message; }
  const std::string& GetTableName() const { return m_tableName; }
  TokenPos GetPosition() const { return m_position; }
  int GetRowCount() const { return m_rowCount; }
  RdmView* GetResultView() { return &m_resultView; }
  const std::vector<tWhereElem>& GetConditions() const { return m_conditions; }
  const std::vector<tWhereElem>& GetJoins() const { return m_joins; }
  const std::vector<tWhereElem>& GetFilters() const { return m_filters; }

 protected:
  // The first unquoted token equal to text (exactly) from first up to end; end when none.
  static TokenPos FindToken(TokenPos first, TokenPos end, const char* text);
  // A condition written back as its three field parts, for 2021.
  static std::string ConditionText(const tWhereElem& condition);
  // An operator other than "=" in a join or child condition: 2024.
  static void RequireEquals(const tWhereElem& condition);
  // The connection of the first description; 10014 without one.
  int ConnectionHandle() const;

  TokenPos m_end;
  DescriptionMap m_descriptions;  // not owned
  TablePairs m_tablePairs;
  std::vector<tWhereElem> m_conditions;
  std::vector<tWhereElem> m_joins;
  std::vector<tWhereElem> m_filters;
  RdmView m_resultView;
  TokenPos m_position;
  std::string m_message;
  std::string m_tableName;
  std::string m_databaseName;
  int m_rowCount = 0;
  std::string m_linkingIndex;
};

// Runs an SQL script against the databases of one connection. In client
// mode the library's own engine executes it over copies of the connection's
// descriptions, and the view of the last statement (for a SELECT, its
// joined view) is what the caller walks; in server mode each statement goes
// to the server as text.
//
//   RdmFileImport runner;
//   runner.Attach(&map, false);
//   runner.Run("select * from KELVADO.UGYFEL;");
//   RdmView* view = runner.GetResultView();  // owned by the runner
#pragma once

#include <string>
#include <vector>

#include "DbDescMap.h"
#include "RdmSqlExec.h"
#include "RdmSqlParser.h"

class RdmFileImport {
 public:
  RdmFileImport();
  ~RdmFileImport();
  RdmFileImport(const RdmFileImport&) = delete;
  RdmFileImport& operator=(const RdmFileImport&) = delete;

  void Attach(DbDescMap* map, bool serverMode);
  void CopyDescriptions(DbDescMap* map);
  void ClearDescriptions();
  void SetText(const char* text);
  // The tokenizer's refusals (2018, 2019, 2033) leave here; nothing runs.
  void Parse();
  void LoadText(const char* text);
  // Client mode goes past a failing statement; server mode stops at the
  // first refused one with its status (10038 without the SqlOperation entry).
  void Execute();
  void Run(const char* text);
  // The view of the last statement, valid until the next Execute; 10038 in
  // server mode.
  RdmView* GetResultView();
  // The outcome text of the last statement executed in client mode.
  const std::string& GetMessage() const { return m_executor.GetMessage(); }

 private:
  RdmSqlBase::DescriptionMap m_descriptions;  // owned copies
  int m_handle = 0;
  bool m_serverMode = false;
  std::string m_text;
  std::vector<RdmSqlStatement> m_statements;
  RdmSqlParser m_parser;
  RdmSqlExec m_executor;
};

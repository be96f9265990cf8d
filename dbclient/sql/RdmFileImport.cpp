#include "RdmFileImport.h"

#include "FncLoader.h"

RdmFileImport::RdmFileImport() = default;

RdmFileImport::~RdmFileImport() { ClearDescriptions(); }

void RdmFileImport::Attach(DbDescMap* map, bool serverMode) {
  m_handle = map->GetHandle();
  m_serverMode = serverMode;
  CopyDescriptions(map);
}

void RdmFileImport::CopyDescriptions(DbDescMap* map) {
  ClearDescriptions();
  for (unsigned i = 0; i < map->Count(); ++i) {
    auto* copy = new DbDescription(map->GetDescriptionAt(static_cast<int>(i)));
    m_descriptions[copy->GetName()] = copy;
  }
}

void RdmFileImport::ClearDescriptions() {
  for (auto& [name, description] : m_descriptions) delete description;
  m_descriptions.clear();
}

void RdmFileImport::SetText(const char* text) {
  m_statements.clear();
  m_text = text;
}

void RdmFileImport::Parse() {
  m_statements.clear();
  m_parser.Parse(m_text.data(), static_cast<unsigned>(m_text.size()), m_statements);
}

void RdmFileImport::LoadText(const char* text) {
  SetText(text);
  Parse();
}

void RdmFileImport::Execute() {
  if (!m_serverMode) {
    for (const RdmSqlStatement& statement : m_statements)
      m_executor.Execute(m_descriptions, statement);
    return;
  }
  auto sqlOperation = QOR_ENTRY(SqlOperation);
  for (const RdmSqlStatement& statement : m_statements) {
    std::string text;
    for (const RdmSqlToken& token : statement) text += token.text + " ";
    int status = sqlOperation(m_handle, text.c_str(), 71);
    if (status != 0) throw DbDescError(status);
  }
}

void RdmFileImport::Run(const char* text) {
  LoadText(text);
  Execute();
}

RdmView* RdmFileImport::GetResultView() {
  if (m_serverMode) throw DbDescError(10038);
  return m_executor.GetResultView();
}

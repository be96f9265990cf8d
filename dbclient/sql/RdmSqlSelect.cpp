#include "RdmSqlSelect.h"

RdmSqlSelect::RdmSqlSelect(TokenPos first, TokenPos end, RdmView* view) {
  m_rowCount = 0;
  m_end = end;
  m_resultView = *view;
  m_position = first;
}

RdmSqlSelect::~RdmSqlSelect() = default;

void RdmSqlSelect::Execute() {
  m_message = "SELECT FAILED";
  TokenPos stop = FindToken(m_position, m_end, "ORDER");
  if (stop == m_end) stop = FindToken(m_position, m_end, ";");
  const TokenPos fromToken = FindToken(m_position, stop, "FROM");
  TokenPos from = fromToken;
  if (!Accept(from, "FROM")) throw DbDescError(2026);
  const TokenPos fromEnd = FindToken(from, stop, "WHERE");
  const TokenPos whereFirst = fromEnd == stop ? stop : fromEnd + 1;
  m_descriptions = m_resultView.GetDescriptionMap();
  BuildFrom(from, fromEnd, whereFirst, stop);
  SelectColumns(m_position, fromToken);
  m_position = stop;
  m_message = "%i row selected.";
}

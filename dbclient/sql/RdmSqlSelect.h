// One SELECT of a client-side script: its FROM list and WHERE conditions
// become a joined view whose master is the query's main table and whose
// children follow the join conditions; the master is selected by the main
// table's filter and the tables offer only the selected columns. No SQL text
// reaches the server: the caller walks the view.
#pragma once

#include "RdmSqlBase.h"

class RdmSqlSelect : public RdmSqlBase {
 public:
  // first is the token after SELECT; the result view starts as a copy of *view.
  RdmSqlSelect(TokenPos first, TokenPos end, RdmView* view);
  ~RdmSqlSelect() override;

  // Builds and selects the view; stops in front of ORDER or at the ";".
  // Errors propagate with the message still "SELECT FAILED".
  void Execute();
};

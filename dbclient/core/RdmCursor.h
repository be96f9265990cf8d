// A client-side cursor: steps through a record type along a chosen key.
#pragma once

#include <cstdint>
#include <string>

#include "RdmSrvObject.h"

class RdmCursor : public RdmSrvObject {
 public:
  RdmCursor();
  RdmCursor(const RdmCursor& source) = default;
  RdmCursor& operator=(const RdmCursor& source) = default;
  ~RdmCursor();

  int Open(DbDescription* owner, std::string record, std::string keyField);
  // 0 first, 1 prior, 2 next, 3 last, 4 the current record again: 0 when a
  // record was reached, 10002 otherwise. The record type's key is the
  // cursor's only for the step.
  int Step(unsigned char direction);

  // Nothing lives on the server.
  int CreateServerObject(_SrvData* data) override;
  int DropServerObject(int32_t serverId) override;

 private:
  std::string m_keyField;
  std::string m_record;
};

#include "RdmCursor.h"

#include "DbDescription.h"
#include "DbDescription_Internal.h"

RdmCursor::RdmCursor() = default;

RdmCursor::~RdmCursor() {
  try {
    Release();
  } catch (...) {
  }
}

int RdmCursor::Open(DbDescription* owner, std::string record, std::string keyField) {
  m_record = std::move(record);
  m_keyField = std::move(keyField);
  return Create(owner);
}

int RdmCursor::Step(unsigned char direction) {
  DbDescription& owner = Owner();
  const std::string previousKey = owner.GetKeyName(m_record);
  owner.DefineKey(m_record, m_keyField);
  qor_detail::KeyRestorer restorer(owner, m_record, previousKey);
  const bool found = owner.Navigate(direction, m_record);
  restorer.Restore();
  return found ? 0 : 10002;
}

int RdmCursor::CreateServerObject(_SrvData*) { return 0; }

int RdmCursor::DropServerObject(int32_t) { return 0; }

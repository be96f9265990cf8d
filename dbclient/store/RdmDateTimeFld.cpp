#include "RdmDateTimeFld.h"

#include <cstdlib>
#include <ctime>

#include "FncLoader.h"

RdmDateTimeFld::RdmDateTimeFld(const RdmFld& field, bool detached) {
  Bind(field);
  m_detached = detached;
}

RdmDateTimeFld::~RdmDateTimeFld() = default;

void RdmDateTimeFld::Bind(const RdmFld& field) {
  m_owner = field.GetDescription();
  m_recordName = field.GetRecordName();
  m_fieldName = field.GetFieldName();
  m_fieldNumber = field.GetFieldNumber();
  AssignDouble(field.AsDouble(), false);
}

QorDateTime& RdmDateTimeFld::SetServerTime() { return GetServerTime(*this, m_owner); }

bool RdmDateTimeFld::AfterSet() {
  if (m_detached) return true;
  if (!m_owner) return false;
  // Formatted from a plain copy, so that making the text does not reload
  // the value from the field it is about to replace.
  QorDateTime parts(*this);
  m_owner->SetFieldText(m_fieldNumber, parts.Format("%Y%m%d%H%M%S", true));
  return true;
}

bool RdmDateTimeFld::BeforeGet() {
  if (m_detached) return true;
  if (!m_owner) return false;
  const double stored = std::strtod(m_owner->GetFieldText(m_fieldNumber).c_str(), nullptr);
  // The field holds local wall-clock digits: read them back as such, so that
  // a value written and read again is the value written. The parse runs on a
  // plain value, which writes nothing back into the field.
  QorDateTime parts;
  if (!parts.SetFromDouble(stored, true, true)) return false;
  QorDateTime::operator=(parts);
  return true;
}

QorDateTime& GetServerTime(QorDateTime& value, DbDescription* description) {
  if (description) return ReadServerClock(value, description->GetHandle());
  return value.SetNow();
}

QorDateTime& ReadServerClock(QorDateTime& value, int connectionHandle) {
  time_t now = 0;
  const int status = QOR_ENTRY(GetServerTime)(connectionHandle, &now);
  if (status != 0) throw DbDescError(status);
  return value.SetUnixTime(now);
}

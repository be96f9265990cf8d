// A calendar date-time tied to one field of a record type: a bound value
// writes the field's buffer whenever it is set and reloads itself from the
// buffer whenever it is read; a detached value lives only in the object.
// The field holds the 14-digit number yyyymmddhhmmss in local wall-clock
// time, while the value keeps its parts as UTC.
#pragma once

#include <string>

#include "DbDescription.h"
#include "QorDateTime.h"
#include "RdmFld.h"

class RdmDateTimeFld : public QorDateTime {
 public:
  // Binds to the field, then takes the detached flag from the argument.
  RdmDateTimeFld(const RdmFld& field, bool detached);
  ~RdmDateTimeFld() override;
  RdmDateTimeFld(const RdmDateTimeFld&) = default;
  RdmDateTimeFld& operator=(const RdmDateTimeFld&) = default;

  // The current time of the server that holds the field's database; the
  // local clock when the field came without a description.
  QorDateTime& SetServerTime();

  bool AfterSet() override;
  bool BeforeGet() override;

 private:
  void Bind(const RdmFld& field);

  DbDescription* m_owner = nullptr;  // not owned
  std::string m_recordName;
  std::string m_fieldName;
  int m_fieldNumber = -1;
  bool m_detached = false;
};

// The server's clock through the description's connection, or the local
// clock without a description.
QorDateTime& GetServerTime(QorDateTime& value, DbDescription* description);
// The client library's GetServerTime on the connection: DbDescError 10038
// without the entry, the status as DbDescError when it is not 0.
QorDateTime& ReadServerClock(QorDateTime& value, int connectionHandle);

// A server-side object shared by copies: the last copy to let go drops it.
#pragma once

#include <cstdint>

class DbDescription;

class RdmSrvObject {
 public:
  // The record every copy of one object shares.
  struct _SrvData {
    int32_t serverId = -1;
    short count = 0;
  };

  RdmSrvObject();
  RdmSrvObject& operator=(const RdmSrvObject& source);

  // Creates the server object for owner. A failure returns its status and
  // leaves this object holding nothing.
  int Create(DbDescription* owner);
  // Lets go of the shared record; the last holder drops the server object.
  int Release();

  virtual int CreateServerObject(_SrvData* data) = 0;
  virtual int DropServerObject(int32_t serverId) = 0;

 protected:
  RdmSrvObject(const RdmSrvObject& source);
  // Derived destructors call Release first, while their drop still works.
  ~RdmSrvObject();

  // The owner, or DbDescError 2011 when the object was never created.
  DbDescription& Owner() const;

  DbDescription* m_owner = nullptr;
  _SrvData* m_shared = nullptr;
};

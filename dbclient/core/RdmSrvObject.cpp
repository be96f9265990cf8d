#include "RdmSrvObject.h"

#include "DbDescError.h"

RdmSrvObject::RdmSrvObject() = default;

RdmSrvObject::RdmSrvObject(const RdmSrvObject& source) { *this = source; }

RdmSrvObject::~RdmSrvObject() = default;

DbDescription& RdmSrvObject::Owner() const {
  if (!m_owner) throw DbDescError(2011);
  return *m_owner;
}

RdmSrvObject& RdmSrvObject::operator=(const RdmSrvObject& source) {
  if (this == &source) return *this;
  Release();
  m_owner = source.m_owner;
  m_shared = source.m_shared;
  if (m_shared) ++m_shared->count;
  return *this;
}

int RdmSrvObject::Create(DbDescription* owner) {
  // The old share goes first, through the description that made it.
  Release();
  m_owner = owner;
  m_shared = new _SrvData();
  int status;
  try {
    status = CreateServerObject(m_shared);
  } catch (...) {
    delete m_shared;
    m_shared = nullptr;
    throw;
  }
  if (status == 0) {
    m_shared->count = 1;
  } else {
    // Nothing was made on the server: hold nothing, so no copy can drop an
    // id that the failed call may have written.
    delete m_shared;
    m_shared = nullptr;
  }
  return status;
}

int RdmSrvObject::Release() {
  if (!m_shared || m_shared->count <= 0) return 0;
  _SrvData* shared = m_shared;
  m_shared = nullptr;
  if (--shared->count > 0) return 0;
  const int32_t serverId = shared->serverId;
  delete shared;
  return DropServerObject(serverId);
}

#include "RdmBookmark.h"

#include "DbDescription.h"

RdmBookmark::RdmBookmark() = default;

RdmBookmark::~RdmBookmark() {
  // A destructor must not throw; a drop that fails leaves the bookmark to
  // the end of the connection.
  try {
    Release();
  } catch (...) {
  }
}

int RdmBookmark::Open(DbDescription* owner, std::string record) {
  m_record = std::move(record);
  return Create(owner);
}

int RdmBookmark::Mark() {
  const int32_t id = GetServerId();
  if (id == -1) return 2034;
  return GetDescription()->BookmarkOperation(id, 0);
}

int RdmBookmark::GoTo() {
  const int32_t id = GetServerId();
  if (id == -1) return 2034;
  return GetDescription()->BookmarkOperation(id, 1);
}

int32_t RdmBookmark::GetServerId() const { return m_shared ? m_shared->serverId : -1; }

DbDescription* RdmBookmark::GetDescription() const { return &Owner(); }

int RdmBookmark::CreateServerObject(_SrvData* data) {
  return GetDescription()->BookmarkCreate(data->serverId, m_record);
}

int RdmBookmark::DropServerObject(int32_t serverId) {
  return GetDescription()->BookmarkDrop(serverId);
}

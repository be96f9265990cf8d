// A server bookmark on one record of a record type.
#pragma once

#include <cstdint>
#include <string>

#include "RdmSrvObject.h"

class RdmBookmark : public RdmSrvObject {
 public:
  RdmBookmark();
  RdmBookmark(const RdmBookmark& source) = default;
  RdmBookmark& operator=(const RdmBookmark& source) = default;
  ~RdmBookmark();

  int Open(DbDescription* owner, std::string record);
  // Sets the bookmark to the record type's current record; 2034 without a
  // server bookmark.
  int Mark();
  // Makes the bookmarked record current on the server; 2034 without one.
  int GoTo();
  int32_t GetServerId() const;
  // The owner, or DbDescError 2011.
  DbDescription* GetDescription() const;

  int CreateServerObject(_SrvData* data) override;
  int DropServerObject(int32_t serverId) override;

 private:
  std::string m_record;
};

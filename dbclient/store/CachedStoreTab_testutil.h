// A store table whose changes go to its write cache, for tests and
// benchmarks: nothing in the library turns cached mode on.
#pragma once

#include "RdmStoreTab.h"

class CachedStoreTab : public RdmStoreTab {
 public:
  CachedStoreTab(RdmStoreTab* parent, DbDescription* d, const char* table, const char* alias)
      : RdmStoreTab(parent, d, table, alias) {
    m_cachedMode = true;
  }
  const CacheHandler& Cache() const { return m_cache; }
};

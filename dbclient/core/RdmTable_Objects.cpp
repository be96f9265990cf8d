// Named bookmarks and cursors of a table. Names are kept as written.
#include "RdmTable.h"

namespace {
QorErrPos At(const char* operation, int line) { return QorErrPos("RdmTable", operation, line); }
}  // namespace

bool RdmTable::CreateBookmark(std::string name) {
  if (m_bookmarks.count(name) != 0)
    throw DbDescError(2036, At("RdmTable::CreateBookmark", 774), StringVector(name));
  RdmBookmark bookmark;
  int status = bookmark.Open(RequireDescription(), m_name);
  if (status != 0)
    throw DbDescError(status, At("RdmTable::CreateBookmark", 780), StringVector(name));
  m_bookmarks.Insert(name, bookmark);
  return true;
}

void RdmTable::DropBookmark(std::string name) { m_bookmarks.erase(name); }

bool RdmTable::GetBookmark(std::string name) {
  auto it = m_bookmarks.find(name);
  if (it == m_bookmarks.end()) throw DbDescError(2034, StringVector(name));
  int status = it->second.GoTo();
  if (status != 0) throw DbDescError(status, At("RdmTable::GetBookmark", 803), StringVector(name));
  return true;
}

bool RdmTable::SetBookmark(std::string name) {
  auto it = m_bookmarks.find(name);
  if (it == m_bookmarks.end()) throw DbDescError(2034, StringVector(name));
  int status = it->second.Mark();
  if (status != 0) throw DbDescError(status, At("RdmTable::SetBookmark", 817), StringVector(name));
  return true;
}

bool RdmTable::CreateCursor(std::string name, std::string keyField) {
  if (m_cursors.count(name) != 0)
    throw DbDescError(2038, At("RdmTable::CreateCursor", 827), StringVector(name));
  RdmCursor cursor;
  int status = cursor.Open(RequireDescription(), m_name, ThroughAlias(keyField));
  if (status != 0)
    throw DbDescError(status, At("RdmTable::CreateCursor", 833), StringVector(name));
  m_cursors.Insert(name, cursor);
  return true;
}

void RdmTable::DropCursor(std::string name) { m_cursors.erase(name); }

bool RdmTable::GoCursor(std::string name, byte direction, byte /*childMode*/) {
  auto it = m_cursors.find(name);
  if (it == m_cursors.end()) throw DbDescError(2037, StringVector(name));
  int status = it->second.Step(direction);
  if (status == 0) return true;
  if (status == 10002) return false;
  throw DbDescError(status);
}

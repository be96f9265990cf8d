// The record store of a store table: copies of record images, each with an
// id and the id of the parent record it belongs to, kept in one list in
// store order and at the same time in groups by parent key.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "QorUtils.h"

// One stored record.
struct _RecItemType {
  int32_t id = 0;
  int32_t parentKey = -1;    // id of the parent table's record; -1 without a parent table
  std::vector<char> record;  // the record image, record-length bytes
};

// The records of a list or a group, in order; the handler owns them.
using RecListType = QoVector<_RecItemType*>;

// One group: the records of one parent key.
struct _MapItemType {
  RecListType items;      // the same objects as in the record list
  std::string sortField;  // the field of the group's last sort; empty until then
};

class RecHandler {
 public:
  using GroupMap = QoMap<int, std::unique_ptr<_MapItemType>>;

  RecHandler();
  ~RecHandler();
  RecHandler(const RecHandler&) = delete;
  RecHandler& operator=(const RecHandler&) = delete;

  void SetRecordLength(int length) { m_recordLength = length; }
  int GetRecordLength() const { return m_recordLength; }
  int GetNextId() const { return m_nextId; }

  // A new record with the next id and a copy of record-length bytes of image;
  // the handler keeps it.
  _RecItemType* Add(int parentKey, const char* image);
  // A copy of another handler's record under the same id; the next id stays.
  void AddCopy(const _RecItemType* item);
  // Takes the item into the record list and into the group of its parent key.
  void AddItem(_RecItemType* item);
  // Frees the first record with the id; its group stays, even when empty.
  void Remove(int id);
  // Frees every record and group; ids start again at 0, the length stays.
  void Clear();
  // A deep copy of other; each group takes the sort field of other's group
  // of the same rank in key order.
  void Assign(const RecHandler& other);

  RecListType& Items() { return m_items; }
  const RecListType& Items() const { return m_items; }
  GroupMap& Groups() { return m_groups; }
  const GroupMap& Groups() const { return m_groups; }
  // The group of the key, null when there is none.
  _MapItemType* FindGroup(int key) const;

 private:
  RecListType m_items;
  GroupMap m_groups;
  int m_recordLength = 0;
  int m_nextId = 0;
};

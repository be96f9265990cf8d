// The record store of a store table: copies of record images, each with an
// id and the id of the parent record it belongs to, kept in one list in
// store order and at the same time in groups by parent key.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "QorUtils.h"

// One stored record.
struct _RecItemType {
  int32_t id = 0;
  int32_t parentKey = -1;  // id of the parent table's record; -1 without a parent table
  char* record = nullptr;  // the record image, record-length bytes kept by the handler
};

// The records of a list or a group, in order; the handler owns them. A
// removal shifts the shorter side of the list, so a list emptied from either
// end takes time in proportion to its length. A list of one record keeps it
// in place of a block of its own: most groups hold one record, and a block
// each would cost an allocation per group.
class RecListType {
 public:
  using value_type = _RecItemType*;
  using iterator = _RecItemType**;
  using const_iterator = _RecItemType* const*;

  RecListType() = default;
  RecListType(const RecListType& other) { *this = other; }
  RecListType& operator=(const RecListType& other);

  size_t size() const { return InBlock() ? m_slots.size() - m_first : m_one != nullptr; }
  bool empty() const { return size() == 0; }
  iterator begin() { return InBlock() ? m_slots.data() + m_first : &m_one; }
  iterator end() { return InBlock() ? m_slots.data() + m_slots.size() : &m_one + size(); }
  const_iterator begin() const { return const_cast<RecListType*>(this)->begin(); }
  const_iterator end() const { return const_cast<RecListType*>(this)->end(); }
  _RecItemType*& operator[](size_t index) { return begin()[index]; }
  _RecItemType* operator[](size_t index) const { return begin()[index]; }
  _RecItemType* front() const { return *begin(); }
  _RecItemType* back() const { return end()[-1]; }

  void push_back(_RecItemType* item);
  void pop_back();
  void clear();
  // Takes out the entry at position; returns where the entry that followed it now stands.
  iterator erase(iterator position);
  // Takes out the entries for which drop answers true, keeping the order of the others.
  template <class Drop>
  void EraseIf(Drop drop);

 private:
  // The entries are in m_slots from m_first on; otherwise m_one, when not
  // null, is the only one.
  bool InBlock() const { return !m_slots.empty(); }

  std::vector<_RecItemType*> m_slots;
  size_t m_first = 0;  // the slots before it are free
  _RecItemType* m_one = nullptr;
};

// One group: the records of one parent key.
struct _MapItemType {
  RecListType items;      // the same objects as in the record list
  std::string sortField;  // the field of the group's last sort; empty until then
};

class RecHandler {
 public:
  RecHandler();
  ~RecHandler();
  RecHandler(const RecHandler&) = delete;
  RecHandler& operator=(const RecHandler&) = delete;

  // Records already stored keep their length; set it before the first Add.
  void SetRecordLength(int length);
  int GetRecordLength() const { return m_recordLength; }
  int GetNextId() const { return m_nextId; }

  // A new record with the next id and a copy of record-length bytes of image;
  // the handler keeps it.
  _RecItemType* Add(int parentKey, const char* image);
  // The same with the image left for the caller to write.
  _RecItemType* Add(int parentKey);
  // A copy of the record of a handler of the same record length under the
  // same id; the next id stays.
  void AddCopy(const _RecItemType* item);
  // Frees the record with the id; its group stays, even when empty. The
  // record is looked for from both ends of the lists, so removing the
  // newest or the oldest records one by one takes linear time.
  void Remove(int id);
  // Frees the records of the list (records of this handler) in one pass
  // over the record list and their groups; the groups stay.
  void RemoveItems(const RecListType& items);
  // Frees every record and group; ids start again at 0, the length stays.
  void Clear();
  // A deep copy of other; each group takes the sort field of other's group
  // of the same rank in key order.
  void Assign(const RecHandler& other);
  // Assign from a copy taken earlier, keeping the next id: an id given out
  // since the copy was taken is not given again, so that a key kept from
  // then cannot name a record added later.
  void Restore(const RecHandler& backup);
  // The record with the id, null when there is none. Right after a load the
  // ids are the record-list positions, which are tried first.
  _RecItemType* Find(int id);

  RecListType& Items() { return m_items; }
  const RecListType& Items() const { return m_items; }
  size_t GroupCount() const { return m_groupCount; }
  // f(key, group) for every group in key order; the lists may be reordered.
  template <class F>
  void ForEachGroup(F f) {
    ForEachGroupOf(*this, f);
  }
  template <class F>
  void ForEachGroup(F f) const {
    ForEachGroupOf(*this, f);
  }
  // The group of the key, null when there is none.
  _MapItemType* FindGroup(int key) {
    std::optional<_MapItemType>* slot = GroupSlot(key);
    return slot != nullptr && *slot ? &**slot : nullptr;
  }
  // Takes the group of the key out; its records must be gone already.
  void EraseGroup(int key);

 private:
  // A record slot with the next id, taken into the record list and into the
  // group of its parent key; its image is left to the caller.
  _RecItemType* NewItem(int id, int parentKey);
  // The place of the key's group, null beyond the places made so far.
  std::optional<_MapItemType>* GroupSlot(int key) {
    const size_t slot = size_t(key) + 1;  // -1, the key of a table without parent, first
    if (slot >= m_groupChunks.size() * kGroupChunk) return nullptr;
    return &m_groupChunks[slot / kGroupChunk][slot % kGroupChunk];
  }
  // The group of the key, created when missing.
  _MapItemType& GroupOf(int key);
  template <class Handler, class F>
  static void ForEachGroupOf(Handler& handler, F& f);
  void Free(_RecItemType* item) { m_free.push_back(item); }

  RecListType m_items;
  // The groups by key + 1: the keys are record ids of the parent table,
  // numbered from 0, so a group is found without a search at every step. In
  // chunks, so that a group stays where it is while others are added; of a
  // power of two places, so that a group is found without a division.
  static constexpr size_t kGroupChunk = 64;
  std::vector<std::unique_ptr<std::optional<_MapItemType>[]>> m_groupChunks;
  size_t m_groupCount = 0;
  // The records, each an item with its image after it, live in blocks that
  // grow with the store, so that a record costs no allocation of its own;
  // the slot of a freed record is taken by the next one. Everything goes
  // with Clear.
  std::vector<std::unique_ptr<char[]>> m_blocks;
  char* m_nextSlot = nullptr;
  size_t m_slotsLeft = 0;
  size_t m_slotSize = 0;
  std::vector<_RecItemType*> m_free;
  int m_recordLength = 0;
  int m_nextId = 0;
};

template <class Handler, class F>
void RecHandler::ForEachGroupOf(Handler& handler, F& f) {
  // A const handler's groups are handed out const.
  using Group = std::conditional_t<std::is_const_v<Handler>, const _MapItemType, _MapItemType>;
  const auto& chunks = handler.m_groupChunks;
  for (size_t slot = 0; slot < chunks.size() * kGroupChunk; ++slot)
    if (auto& group = chunks[slot / kGroupChunk][slot % kGroupChunk])
      f(int(slot) - 1, static_cast<Group&>(*group));
}

template <class Drop>
void RecListType::EraseIf(Drop drop) {
  if (!InBlock()) {
    if (m_one != nullptr && drop(m_one)) m_one = nullptr;
    return;
  }
  auto kept = std::remove_if(begin(), end(), drop);
  m_slots.resize(size_t(kept - m_slots.data()));
  if (empty()) clear();
}

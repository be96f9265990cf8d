// A table that keeps the records it reads from the server in memory and
// steps, sorts, counts and changes them there. Store tables form trees: a
// child table is linked to its parent by pairs of fields, and its records
// are held in groups by the parent record they belong to. In
// master-dependency mode every position, step, count and aggregate of a
// child works inside the group of its parent's current record.
//
// Server operations (Go, the finds, the selections, cursors and bookmarks)
// are allowed only on the root of a tree; they reload the whole tree.
// Moves: 0 first, 1 prior, 2 next, 3 last, 5 before the first record.
// Child modes: 0 the children go to their first record, 5 before it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "CacheHandler.h"
#include "RdmTable.h"
#include "RecHandler.h"

// The saved position state of one table of a tree.
struct _TableInfo {
  int storePosition = -1;
  int groupPosition = -1;
  bool masterDepMode = true;
};

class RdmStoreTab : public RdmTable {
 public:
  using LinkPair = std::pair<std::string, std::string>;    // (parent field, child field)
  using LinkFilter = std::pair<std::string, std::string>;  // (field, value text)
  using ChildMap = QoMap<std::string, RdmStoreTab*>;
  using DescriptionMap = QoMap<std::string, DbDescription*>;  // by database name

  // With a parent, the table registers itself there under its alias (2017
  // when the alias is taken). An unknown table name fails in RdmTable.
  RdmStoreTab(RdmStoreTab* parent, DbDescription* description, std::string table, std::string alias,
              bool noClone = false);
  RdmStoreTab(const RdmStoreTab&) = delete;
  RdmStoreTab& operator=(const RdmStoreTab&) = delete;
  // Destroys the children (except no-clone ones) and leaves the parent.
  ~RdmStoreTab() override;

  // ---- Server operations (root only; 2012 on a child or while a table of
  // the tree has a backup). One that reads nothing leaves the stores and the
  // positions as they were, the fields showing the current record again. ----
  bool Go(byte direction, byte childMode = 0) override;
  bool Find(std::string keyField, byte childMode = 0) override;
  bool Find(byte childMode = 0) override;
  bool FindNext(std::string keyField, byte childMode = 0) override;
  bool FindNext(byte childMode = 0) override;
  // The move also serves as the children's mode: moves 2 and 3, which are
  // no child modes, fail with 2005 once the stores are loaded.
  bool Select(std::string keyField, byte move) override;
  bool SelectGe(std::string keyField, byte move) override;
  bool SelectNe(std::string field, byte move) override;
  bool GoCursor(std::string name, byte direction, byte childMode = 0) override;

  // ---- Store movements (no server call) ----
  // A table whose list is empty, or that has none, stands before its first
  // record, and so, under no record, does every child in master-dependency
  // mode; a child outside it stays on its record.
  bool Step(byte move, byte childMode = 0) override;
  bool GoTo(int index, byte childMode = 0) override;
  // The next record of the current list; the children go before their first.
  bool Next() override;
  int GetPosition() override;
  // Moves this table only; the children stay where they were.
  bool SetPosition(int index) override;
  int GetRecordCount() override;

  // ---- Sort, locate, aggregates and removal (no server call; a removal is
  // refused with 2014 while this table or one below it has changes queued,
  // which would go with the records) ----
  std::string Aggregate(std::string field, byte operation) override;
  void Sort(std::string field, byte descending, byte allGroups = 0) override;
  std::string GetSortField() override;
  bool Locate(std::string field, std::string value, int start) override;
  int IndexOf(std::string field, std::string value, int start) override;
  bool RemoveAt(int index) override;
  int RemoveFirst(std::string field, std::string value, int start) override;
  void RemoveAll(std::string field, std::string value, int start) override;

  // ---- Changes, write cache, re-reading ----
  // A child's new record belongs to its parent's current record (2013
  // without one); in master-dependency mode the child goes under it.
  void Append() override;
  bool Update(byte throwIfMissing) override;
  bool Delete(byte throwIfMissing) override;
  // 2014 while this table or one below it has changes queued. A child
  // re-reads its group by the link values of the group's own parent record.
  // A record that the server no longer has keeps its stored copy, which the
  // fields show, and loses its children's records.
  bool ReRead(byte throwIfMissing) override;
  // Writes the current group and everything below it; a child's link
  // values come from the parent record each change was queued under.
  bool WriteCache() override;

  // Renames a field and follows the rename in the children's link pairs.
  bool SetFieldAlias(std::string alias, std::string field) override;

  // ---- Added virtual operations ----
  virtual bool MasterDepMode();
  // The table stays on its record: its position in the list of the new mode
  // is that record's; when the list does not hold it, the table stands
  // before its first record with its fields cleared.
  virtual void SetMasterDepMode(byte mode);
  // Moves to a bookmark and reloads the tree with that record.
  virtual bool GoBookmark(std::string name, byte childMode);
  virtual bool JumpToBookmark(std::string name, byte childMode);
  virtual void ClearStore();
  virtual void LoadSelection();
  virtual void LoadCurrent();

  // ---- The tree ----
  void AddChild(RdmStoreTab* child);
  void RemoveChild(std::string alias);
  void SetParent(RdmStoreTab* parent);
  RdmStoreTab* GetParent() const { return m_parent; }
  const char* GetAlias() const { return m_alias.c_str(); }
  bool IsNoClone() const { return m_noClone; }
  void DeleteChildren();
  void SetLink(std::string parentField, std::string childField, std::string keyName);
  void SetLinkConstant(std::string field, std::string value);
  void SetLinkFilters(const std::vector<LinkFilter>& filters);
  RdmStoreTab* FindTable(std::string name, std::string prefix);
  void CountTreeTables(int& count);
  void CollectTreeTables(std::vector<RdmStoreTab*>& out);
  void AddTreeTableOption(byte option);
  void SetTreeMasterDepMode(byte mode);
  void SaveTreePositions(QoMap<std::string, _TableInfo>& out);
  void RestoreTreePositions(const QoMap<std::string, _TableInfo>& saved);
  // This table's stores, cache, positions and links become a copy of other's.
  void CopyState(const RdmStoreTab& other);
  // Copies other's children (not the no-clone ones) under this table, each
  // on the description that descriptions holds under its database name.
  void CloneChildren(const RdmStoreTab& other, const DescriptionMap& descriptions);

  // ---- Loading and groups ----
  void ClearTree(bool includeSelf);
  void ClearFieldsTree();
  void LoadChildren();
  void LoadChildRecords();
  void SetLinkValues();
  // Reloads the group of the parent's record with the id, by that record's
  // link values; without that record in the parent's store the group is
  // only cleared. A current record of the group is found again by its
  // unique key and its children go before their first record under it.
  void LoadGroup(int parentRecordId);
  bool RefreshChildren(byte throwIfMissing, int recordId);
  // Whatever the mode, which decides what positions and steps see, never
  // what the store holds: outside master-dependency mode the records of a
  // reloaded group, or of a removed parent record, would otherwise stay
  // beside the new ones.
  void ClearGroup(int key, bool remove, bool recurse);
  void FClearByThisBuffer(const RecListType& list, bool remove, bool recurse);
  void ClearChildGroups(int recordId);
  void ClearChildGroupsOfCurrent();
  // The current list and position: the group of the current group key in
  // master-dependency mode (false when it does not exist), else the store.
  bool GetCurrentList(RecListType*& list, int*& position);

  // ---- Navigation inside the store ----
  bool _Step(byte move, RecListType& list, byte childMode, int& position);
  bool GoToIndex(int index, RecListType& list, byte childMode, int& position);
  bool LoadAt(int index, RecListType& list, int& position);
  bool StepNextIn(RecListType& list, int& position);
  bool SetChilds(byte childMode, int recordId);
  void PositionChild(RdmStoreTab* child, int recordId, byte childMode);
  // Advances this subtree to its next joined row within the group of
  // parentKey; the caller passes found false.
  void NextJoined(int parentKey, bool& found);
  bool AdvanceJoined(RecListType& list);

  // ---- Changes ----
  bool ReReadRecord(byte throwIfMissing);
  bool ImplicitProcessCacheList(int recordId);
  bool WriteGroup(int parentKey);
  bool WriteCachedRecord(_RecCacheType* entry);
  // Writes the cached deletes of the records of the group that left the store,
  // each after what is queued below the record.
  void WriteCachedDeletes(int parentKey);
  // 2014 [the parent's alias] for a child's own write while a record above
  // its group waits in a parent's cache to be inserted.
  void RefuseOrphanWrite() const;
  // The entry has been written: it leaves the cache, and a backup that
  // stays takes the record as the server now holds it.
  void Written(const _RecCacheType& entry);
  // Option 3: the link values of the record with the id from the parent
  // record it was queued under.
  void SetQueuedLinkValues(long id);
  // Restoring keeps the ids given out since the backup from being given
  // again. Without restoring, a table that still has changes queued (a
  // child's write covers one group) keeps its backup.
  void EndBackup(bool discard);
  // The records under the parent record with the key leave the store with
  // their changes queued and everything below them.
  void ForgetGroup(int key);
  // After a restore: ForgetGroup of every group whose parent record the
  // parent does not hold.
  void ForgetOrphans();
  bool ChangeAllowed();
  bool LinkKeyCoversUniqueKey();
  // Whether a child, in whatever mode, holds records under the current
  // record through a link key that is not unique: the server would keep
  // them without their parent.
  bool ChildBlocksDelete();
  bool IsLinkKeyUnique();

  // ---- Sort, find, totals and removal on a list ----
  void SortItems(std::string field, RecListType& list, bool descending);
  int IndexOfFrom(std::string field, std::string value, int start, RecListType& list);
  bool LocateIn(std::string field, std::string value, int start, RecListType& list, int& position);
  int RemoveFirstIn(std::string field, std::string value, int start, RecListType& list,
                    int& position);
  void RemoveAllIn(std::string field, std::string value, int start, RecListType& list,
                   int& position);
  bool _Drop(int index, RecListType& list, int& position);
  bool DropGroupTree(int key);
  std::string _DoAggregate(std::string field, byte operation, RecListType& list, int& position);

  // ---- The logical record (RecSentry) ----
  // Makes current the first stored record whose fields names hold texts;
  // false without one. Its values are in the fields when the current list
  // holds it; otherwise the table stands before its first record with its
  // fields cleared.
  bool RefindRecord(const std::vector<std::string>& names, const StringVector& texts);

 protected:
  // Keeps a table on the record it stands on, found again by its id, across
  // an operation that reorders, reloads or removes records or loads other
  // records' values into the fields, so that the position and the fields
  // never name different records: afterwards the table stands on that
  // record with its values in the fields or, when it has gone, before the
  // first record with the fields cleared; a table that stood on no record
  // gets its field values back.
  class CurrentKeeper {
   public:
    explicit CurrentKeeper(RdmStoreTab* table);
    ~CurrentKeeper();
    CurrentKeeper(const CurrentKeeper&) = delete;
    CurrentKeeper& operator=(const CurrentKeeper&) = delete;
    // The id of the record stood on, or -1.
    int Id() const { return m_id; }
    // The record stood on was read again under another id (-1: it has
    // gone); its children go before their first record under the new one.
    void Follow(int id) {
      m_id = id;
      m_followed = true;
    }

   private:
    RdmStoreTab* m_table;
    bool m_stoodOn;
    bool m_followed = false;
    int m_id;
    DbDescription::Bytes m_values;  // the field values, when no record was stood on
  };

  // Refuses a server operation on a child or while a table of the tree has a backup.
  void RefuseServerOperation(const char* operation, int line) const;
  // Whether this table or one below it has a backup.
  bool TreeHasBackup() const;
  // A server operation once it is allowed: read reads the record or records
  // into the description; when it reads nothing, or fails, the fields show
  // the current record again (a selection that finds nothing empties the
  // tree instead); otherwise the tree is reloaded with them.
  template <class Read>
  bool ReadAndReload(Read read, bool selection, byte move, byte childMode);
  // Steps 3 to 8 of a server operation that has read its records.
  void ReloadTree(bool selection, byte move, byte childMode);
  // The current record's stored copy into the fields, or cleared fields
  // without a current record.
  void ShowCurrent();
  // The record at the current position, or null.
  _RecItemType* CurrentItem();
  // The group position in master-dependency mode, the store position outside it.
  int& CurrentPosition() { return m_masterDepMode ? m_groupPosition : m_storePosition; }
  // Makes the record with the id current in the current list, its values in
  // the fields; without it there, the table stands on no record (below).
  void StandOn(int id);
  // Before the first record with the fields cleared, and so, under no
  // record, every child in master-dependency mode.
  void StandOnNothing();
  // Moves a position in list as the item's removal from the list requires:
  // a later position one place up, the item's own to the record before it.
  static void ShiftForRemoval(const RecListType& list, int& position, const _RecItemType* item);
  // Keeps the position in the list that is not current in line with the
  // removal of the item from the store (before it is removed).
  void ShiftOtherPosition(const _RecItemType* item);
  // The texts of the unique key's fields of the record (loaded into the
  // fields for it); empty when the table has no unique key.
  StringVector UniqueKeyTexts(const _RecItemType* item);
  // Whether this table or a descendant has changes queued for the server.
  bool HasPendingWrites() const;
  // Whether the current values meet every link filter (case ignored).
  bool PassesLinkFilters();
  // The first step of every change in cached mode.
  void TakeBackup();
  // The image of the current field values.
  DbDescription::Bytes PackCurrent() const;
  // Sets this table's link fields from a record of the parent as its stored
  // image holds them, so that the parent's field buffers keep their values,
  // and the link constants: all of them, or with onlyUncovered those that
  // no visible field of the parent covers.
  class LinkSetter {
   public:
    LinkSetter(RdmStoreTab& table, bool onlyUncovered);
    void Apply(const _RecItemType* parent);

   private:
    // A parent's field; a detached one gives its own text for every record.
    struct Source {
      RdmFld value;
      int offset = -1;  // in a stored image; -1: the value is detached
      RdmFld* linked = nullptr;
      bool asNumber = false;  // between integer fields: no text in between
    };
    std::vector<Source> m_sources;
    std::vector<std::pair<RdmFld*, const std::string*>> m_constants;
  };
  // Stores the current field values as a new record under the parent key.
  void StoreCurrent(int parentKey);
  // The current field values become the stored image of the record.
  void StoreInto(_RecItemType* item) const;
  // Loads a record image (the record's stored copy) into the fields.
  void Unpack(const _RecItemType* item);
  void Unpack(const char* image);
  // RdmTable::ClearFields on this table's record type, found without its name.
  void ClearOwnFields();

  int m_recordType = -1;  // of the description, for the field operations by type
  int m_recordLength = 0;
  int m_storePosition = -1;
  int m_groupPosition = -1;
  int m_currentGroupKey = -1;
  bool m_masterDepMode = true;
  RecHandler m_store;
  RecHandler m_backupStore;
  RdmStoreTab* m_parent = nullptr;
  ChildMap m_children;
  std::string m_alias;
  std::vector<LinkPair> m_linkPairs;
  std::string m_linkKey;
  QoMap<std::string, std::string> m_linkConstants;
  std::vector<LinkFilter> m_linkFilters;
  std::string m_sortField;
  CacheHandler m_cache;
  // Changes go to the store and the cache; nothing in the library turns it on.
  bool m_cachedMode = false;
  // Parent keys of the records deleted in cached mode, by id: the records
  // have left the store, their cache entries wait for WriteCache.
  QoMap<long, int> m_deletedKeys;
  bool m_backupExists = false;
  bool m_noClone = false;
};

// Keeps a table with option 2 on the same logical record (by its unique
// key's texts) across an operation that reloads or reorders its store.
class RecSentry {
 public:
  explicit RecSentry(RdmStoreTab* table);
  // Passes on a failure of the search unless another exception is unwinding.
  ~RecSentry() noexcept(false);
  RecSentry(const RecSentry&) = delete;
  RecSentry& operator=(const RecSentry&) = delete;

 private:
  RdmStoreTab* m_table;
  bool m_active = false;
  int m_uncaught = 0;
  std::vector<std::string> m_names;
  StringVector m_texts;
};

// One record type (a table) of an open database: its fields by visible name,
// its keys, navigation, fetched records, changes, transactions, bookmarks and
// cursors. The values and fetched records live in the description, so every
// table on one description and record type shares them.
//
// The virtual operations are what the store table overrides; the ones that
// call others (GoTo, IsEmpty, GetKeyName, the key-list operations) call them
// virtually, so an override answers them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DbDescription.h"
#include "QorUtils.h"
#include "RdmBookmark.h"
#include "RdmCursor.h"
#include "RdmFld.h"

class RdmTable {
 public:
  using byte = unsigned char;

  // Unbound: every operation that needs the description fails with 2011.
  RdmTable();
  // Binds to a record type; an unknown record gives 2002 [database, recordName].
  RdmTable(DbDescription* description, std::string recordName);
  RdmTable(const RdmTable& other);
  // Copies everything; bookmarks and cursors are then shared with the source.
  RdmTable& operator=(const RdmTable& other);
  virtual ~RdmTable();

  // ---- Navigation (directions 0 first, 1 prior, 2 next, 3 last, 4 current) ----
  virtual bool Go(byte direction, byte childMode = 0);
  // Moves in the fetched records: 0 first, 1 prior, 2 next, 3 last, 5 before the first.
  virtual bool Step(byte move, byte childMode = 0);
  virtual bool GoTo(int position, byte childMode = 0);

  // ---- Keys ----
  virtual void DefineKey(std::string keyField);
  virtual std::string GetKeyName();
  virtual std::string GetUniqueKeyName();
  virtual bool DefineUniqueKey();
  virtual bool IsInUniqueKey(std::string field);
  virtual bool IsUniqueKey(std::string field);

  // ---- Finds and selections ----
  virtual bool Find(std::string keyField, byte childMode = 0);
  virtual bool Find(byte childMode = 0);
  virtual bool FindNext(std::string keyField, byte childMode = 0);
  virtual bool FindNext(byte childMode = 0);
  // The records whose key equals the key field's value, or all for "".
  virtual bool Select(std::string keyField, byte move);
  virtual bool SelectGe(std::string keyField, byte move);
  virtual bool SelectNe(std::string field, byte move);
  virtual bool Next();
  // 0 count, 1 sum, 2 average, 3 maximum, 4 minimum, as text.
  virtual std::string Aggregate(std::string field, byte code);

  // ---- Changes ----
  virtual void Append();
  virtual bool Update(byte throwIfMissing);
  virtual bool Delete(byte throwIfMissing);

  // ---- Fetched records ----
  virtual int GetPosition();
  virtual bool SetPosition(int position);
  virtual bool ClearFields();
  virtual bool ReRead(byte throwIfMissing);
  virtual int GetRecordCount();
  virtual bool IsEmpty();
  // allGroups is for the store table; the fetched records are one list.
  virtual void Sort(std::string field, byte descending, byte allGroups = 0);
  virtual std::string GetSortField();

  // ---- Key structure and texts ----
  virtual void GetCompoundKeyFields(std::string key, StringVector& out);
  virtual bool IsCompoundKey(std::string field);
  virtual bool CompoundKeyContains(std::string key, std::string field);
  virtual void GetKeyFieldList(std::string key, StringVector& out);
  virtual void GetFieldTexts(const std::vector<std::string>& names, StringVector& out);

  // ---- Searching and removing fetched records ----
  virtual bool Locate(std::string field, std::string value, int start);
  virtual int IndexOf(std::string field, std::string value, int start);
  virtual bool RemoveAt(int position);
  virtual int RemoveFirst(std::string field, std::string value, int start);
  virtual void RemoveAll(std::string field, std::string value, int start);

  // ---- Sequence and count ----
  virtual void SetSequenceName(std::string name);
  virtual int32_t GetNextId();
  virtual int32_t GetCount();

  // ---- Aliases ----
  virtual bool SetFieldAlias(std::string alias, std::string field);
  virtual std::string GetFieldAlias(std::string field, bool mustExist);
  // Only the store table has a write cache: 10038 here.
  virtual bool WriteCache();
  virtual void GetFieldAliases(QoMap<std::string, std::string>& out);
  // Position in the field map, whose order is the byte order of the names.
  virtual short GetFieldIndex(std::string name);

  // ---- Bookmarks and cursors (names compared as written) ----
  virtual bool CreateBookmark(std::string name);
  virtual void DropBookmark(std::string name);
  virtual bool GetBookmark(std::string name);
  virtual bool SetBookmark(std::string name);
  virtual bool CreateCursor(std::string name, std::string keyField);
  virtual void DropCursor(std::string name);
  virtual bool GoCursor(std::string name, byte direction, byte childMode = 0);

  // ---- Not virtual ----
  DbDescription* RequireDescription() const;
  DbDescription* GetDescription() const { return m_description; }
  const char* GetName() const { return m_name.c_str(); }

  // The value of the field with this visible name; 2003 [upper-cased name]
  // otherwise. The reference stays valid until the field set changes.
  RdmFld& GetField(std::string name);
  // The index-th name of the field-name list; 2003 when out of range.
  RdmFld& GetFieldAt(short index);
  const RdmFld& GetFieldAt(short index) const;
  // dictionary true: a field-map key; false: a visible name.
  bool HasField(std::string name, bool dictionary) const;
  unsigned GetFldCount() const { return static_cast<unsigned>(m_fields.size()); }
  // Every field entry, groups and compound keys included.
  void GetFldEntries(std::vector<FIELD_ENTRY_S>& out) const;
  void GetFldNames(std::vector<std::string>& out) const;
  const std::string& GetSequenceName() const { return m_sequenceName; }

  // Restricts the table to these dictionary names, in this order.
  void SetFldList(std::vector<std::string> names);
  // Takes the field set of another table.
  void CopyFields(const RdmTable& source);

  // Transactions belong to the connection: any table may begin or end one.
  void BeginTransaction(std::string name);
  void EndTransaction(byte commit);
  void SetTableOptions(const RdmTableOptions& options);
  RdmTableOptions GetTableOptions() const;
  void AddTableOption(byte option);
  bool UnlockRecord(int recordReference);

 protected:
  // A name given through the alias map: the dictionary name it stands for,
  // or the name unchanged.
  std::string ThroughAlias(const std::string& name) const;
  // A name given through GetField: the dictionary name, or 2003.
  std::string ThroughField(const std::string& name);

  std::string m_name;
  DbDescription* m_description = nullptr;
  QoMap<std::string, RdmFld> m_fields;
  RECORD_ENTRY_S m_recordEntry{};
  StringVector m_fieldNames;
  std::string m_sequenceName;
  QoMap<std::string, std::string> m_aliases;  // visible name -> dictionary name
  // No field has been renamed: every visible name is its dictionary name.
  bool m_namesAreDictionaryNames = true;
  QoMap<std::string, RdmBookmark> m_bookmarks;
  QoMap<std::string, RdmCursor> m_cursors;
};

// One open database of a connection: its dictionary, the current field values
// and fetched records of every record type, and the record operations on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DbDescError.h"
#include "QorUtils.h"

namespace qor_detail {
class ClientBuffer;
}

// Dictionary entries exactly as the server's image lays them out
// (little-endian, no padding).
#pragma pack(push, 1)
struct V3_FILE_ENTRY_S {
  char bytes[60];
};
struct RECORD_ENTRY_S {
  int16_t fileNumber;
  int16_t slotLength;
  int16_t dataOffset;  // where the record's data begins within the slot
  int16_t firstField;  // field-table index of the record's first field
  int16_t fieldTotal;
  int16_t flags;
};
struct FIELD_ENTRY_S {
  char keyKind;  // 'u' unique key, 'n' no key, other letters a non-unique key
  char type;     // c s i l d f F g k
  int16_t length;
  int16_t dims[3];
  int16_t keyFile;
  int16_t keyNumber;
  int16_t offset;  // within the slot; for 'k' the key-table index of its first component
  int16_t recordIndex;
  int16_t flags;  // bit value 4: unsigned
};
struct KEY_ENTRY_S {
  int16_t keyField;   // field-table index of the compound key
  int16_t component;  // field-table index of one of its fields
  int16_t extra[2];
};
struct SET_ENTRY_S {
  char bytes[12];
};
struct MEMBER_ENTRY_S {
  char bytes[8];
};
struct SORT_ENTRY_S {
  char bytes[4];
};
#pragma pack(pop)

static_assert(sizeof(V3_FILE_ENTRY_S) == 60 && sizeof(RECORD_ENTRY_S) == 12 &&
              sizeof(FIELD_ENTRY_S) == 20 && sizeof(KEY_ENTRY_S) == 8 &&
              sizeof(SET_ENTRY_S) == 12 && sizeof(MEMBER_ENTRY_S) == 8 &&
              sizeof(SORT_ENTRY_S) == 4);

// The flag bit of unsigned 's', 'l' and one-byte 'c' values.
constexpr int16_t kFieldUnsigned = 4;
// The key value that stands for a record type's default key.
constexpr int32_t kDefaultKey = 1;
// The connection handle of "no connection".
constexpr int32_t kNoConnection = 10014;

// Options of a record type, shared by every table on one description.
enum tagRdmTableOption : unsigned char {
  rtoUniqueKeyWrites = 0,  // modify and delete (and a store's cache) use the unique key
  rtoKeepRecord = 2,       // a store table keeps its logical record across reloads
  rtoLinkValues = 3,       // link values set before writes; unique links unchangeable
  rtoKeepMasterRows = 4,   // a joined view keeps masters without child rows
  rtoClearOnFailedFind = 5 // a failed find empties the fetched records and zeroes the values
};
using RdmTableOptions = QoSet<tagRdmTableOption>;

// {5}: what every record type starts with.
RdmTableOptions DefaultTableOptions();

class DbDescription {
 public:
  // A byte block the library owns.
  using Bytes = std::vector<char>;

  // Per record type: the current key, the sort field of the fetched records
  // and the table options.
  struct _RecInfoType {
    int32_t key = kDefaultKey;
    std::string sortField;
    RdmTableOptions options = DefaultTableOptions();
  };

  // Per record type: the fetched record images back to back and the
  // position in them (-1 before the first, count or more after the last).
  struct tRbf {
    Bytes data;
    int32_t size = 0;
    int32_t recordLength = 0;
    int32_t current = -1;
    int32_t Count() const { return recordLength > 0 ? size / recordLength : 0; }
  };

  DbDescription();
  DbDescription(const DbDescription& other);
  DbDescription& operator=(const DbDescription& other);
  // A moved-from description is as a new one: empty, without a connection.
  DbDescription(DbDescription&& other) noexcept;
  DbDescription& operator=(DbDescription&& other) noexcept;
  ~DbDescription();

  // ---- Object and dictionary ----
  // Parses the image and keeps the id and the upper-cased name. A truncated
  // or inconsistent image is refused with DbDescError 2001 [name] and leaves
  // the description empty.
  void Load(const char* image, int length, const std::string& name, int dbId);
  void ParseDictionary(const char* image, int length);
  void Clear();
  void SetVersion(int major, int minor, int sub, int build);
  void GetVersion(int32_t& major, int32_t& minor, int32_t& sub, int32_t& build) const;
  void SetHandle(int handle);
  int GetHandle() const;
  const char* GetName() const;
  int GetDbId() const;

  // ---- Lookups (names compared upper-cased) ----
  int GetRecordType(const std::string& record) const;
  RECORD_ENTRY_S GetRecordEntryByIndex(int index) const;
  RECORD_ENTRY_S GetRecordEntry(int recordType) const;
  RECORD_ENTRY_S GetRecordEntryByName(const std::string& record) const;
  std::string GetRecordName(int recordType) const;
  int GetFieldNumber(const std::string& record, const std::string& field) const;
  FIELD_ENTRY_S GetFieldEntry(int fieldNumber) const;
  FIELD_ENTRY_S GetFieldEntryByName(const std::string& record, const std::string& field) const;
  std::string GetFieldName(int fieldNumber) const;
  void GetFieldEntries(int recordType, std::vector<FIELD_ENTRY_S>& out, bool all) const;
  void GetFieldEntriesByName(const std::string& record, std::vector<FIELD_ENTRY_S>& out,
                             bool all) const;
  void GetFieldNames(int recordType, StringVector& out, bool all) const;
  void GetFieldNamesByName(const std::string& record, StringVector& out, bool all) const;
  int GetUniqueKeyField(int recordType) const;
  int GetUniqueKeyFieldByName(const std::string& record) const;
  bool IsUniqueKey(const std::string& record, const std::string& field) const;
  bool IsCompoundKey(int fieldNumber) const;
  bool IsCompoundKeyByName(const std::string& record, const std::string& field) const;
  void GetCompoundKeyEntries(int fieldNumber, std::vector<KEY_ENTRY_S>& out) const;
  void GetCompoundKeyFields(int fieldNumber, StringVector& out) const;
  void GetCompoundKeyFieldsByName(const std::string& record, const std::string& field,
                                  StringVector& out) const;
  // CompoundKeyContains, IsInUniqueKey and GetKeyFieldList compare the field
  // name exactly: they expect upper-case (dictionary) names.
  bool CompoundKeyContains(int fieldNumber, const std::string& field) const;
  // Upper-cases every name it is given.
  bool CompoundKeyContainsByName(const std::string& record, const std::string& keyField,
                                 const std::string& field) const;
  bool IsInUniqueKey(const std::string& record, const std::string& field) const;
  void GetKeyFieldList(const std::string& record, const std::string& field,
                       StringVector& out) const;

  // ---- Field buffers and record images ----
  std::string GetFieldText(int fieldNumber) const;
  std::string GetFieldTextByName(const std::string& record, const std::string& field) const;
  void GetFieldTexts(const std::string& record, const StringVector& names,
                     StringVector& out) const;
  bool SetFieldText(int fieldNumber, const std::string& text);
  // SetFieldText of the value's decimal text for a field of type 's', 'i',
  // 'l' or 'd'; false, with nothing written, for a field of another type.
  bool SetFieldInteger(int fieldNumber, int64_t value);
  // buffer holds at least the field's length in bytes.
  bool FieldToText(const char* buffer, std::string& out, int fieldNumber) const;
  bool TextToField(char* buffer, const std::string& text, int fieldNumber) const;
  static unsigned char TextToChar(const std::string& text);
  // image holds the record length of the record type.
  bool UnpackRecord(const char* image, const std::string& record);
  // out becomes a new zero-filled image holding the current values.
  bool PackRecord(const std::string& record, Bytes& out) const;
  bool ClearFields(const std::string& record);
  // The same for a record type (GetRecordType), for callers that load one
  // record after another and need not look its name up each time.
  bool UnpackRecordOfType(int recordType, const char* image);
  // out holds the record length of the record type.
  bool PackRecordOfType(int recordType, char* out) const;
  bool ClearFieldsOfType(int recordType);

  // ---- Record operations ----
  bool Navigate(unsigned char direction, const std::string& record);
  void DefineKey(const std::string& record, const std::string& keyField);
  std::string GetKeyName(const std::string& record) const;
  std::string GetUniqueKeyName(const std::string& record) const;
  bool DefineUniqueKey(const std::string& record);
  bool FindRec(const std::string& record);
  bool FindRecNext(const std::string& record);
  bool FindRecByKey(const std::string& record, const std::string& keyField);
  bool FindRecNextByKey(const std::string& record, const std::string& keyField);
  void NewRec(const std::string& record);
  bool ModRec(const std::string& record, bool throwIfMissing);
  bool DelRec(const std::string& record, bool throwIfMissing);
  bool ReadCurrentRec(const std::string& record, bool throwIfMissing);
  void AddTableOption(const std::string& record, unsigned char option);
  void SetTableOptions(const std::string& record, const RdmTableOptions& options);
  RdmTableOptions GetTableOptions(const std::string& record) const;

  // ---- Fetched records ----
  void StoreFetched(int recordIndex, const char* bytes, int length);
  void ResetFetched(int recordIndex);
  bool FindList(const std::string& record, const std::string& keyField, unsigned char move);
  bool FindGreater(const std::string& record, const std::string& keyField, unsigned char move);
  bool GetAllRecNotEqual(const std::string& record, const std::string& field,
                         unsigned char move);
  bool StepFetched(unsigned char move, const std::string& record);
  bool NextFetched(const std::string& record);
  int GetFetchedPos(const std::string& record) const;
  bool SetFetchedPos(const std::string& record, int index);
  int GetFetchedCount(const std::string& record) const;
  int FindFetched(const std::string& record, const std::string& field, const std::string& value,
                  int start);
  bool LocateFetched(const std::string& record, const std::string& field,
                     const std::string& value, int start);
  bool RemoveFetched(const std::string& record, int index);
  int RemoveFetchedMatch(const std::string& record, const std::string& field,
                         const std::string& value, int start);
  void RemoveFetchedMatches(const std::string& record, const std::string& field,
                            const std::string& value, int start);
  void SortFetched(const std::string& record, const std::string& field, bool descending);
  std::string GetSortField(const std::string& record) const;
  std::string Aggregate(const std::string& record, const std::string& field, int code);

  // ---- Transactions, ids, counts, locks and bookmarks ----
  void BeginTransaction(const std::string& name);
  void EndTransaction(bool commit);
  int32_t GetNextId(const std::string& sequence);
  int GetCount(const std::string& record);
  bool UnlockRecord(const std::string& record, int32_t recordReference);
  int BookmarkCreate(int32_t& bookmarkId, const std::string& record);
  int BookmarkDrop(int32_t bookmarkId);
  int BookmarkOperation(int32_t bookmarkId, unsigned char operation);

 private:
  // Where a field's value lies in its record's values, and where it goes in
  // the record image; none (length 0) for groups and compound keys.
  struct FieldSlot {
    int32_t offset = 0;
    int32_t length = 0;
    int32_t imageOffset = 0;
  };
  // The current values of one record type. Usually a block of the record
  // length in which every data field's bytes lie where the record image has
  // them, so that loading, packing and clearing a record are one copy each;
  // the bytes that no field covers stay zero. A dictionary made elsewhere
  // may lay two data fields over the same bytes: then each field keeps a
  // value of its own, one after another in the block, so that writing one
  // leaves the other as it was, and packing lays them into the image in
  // dictionary order.
  struct RecordValues {
    Bytes bytes;
    std::vector<FieldSlot> fields;          // by position in the record
    std::vector<std::pair<int, int>> gaps;  // (offset, length) of the bytes no field covers
    bool overlapping = false;
  };

  // RdmFld reads numbers straight from the buffers.
  friend class RdmFld;
  // The buffer of a field number and its length (0 for a field without one);
  // DbDescError 2003 when the number is out of range.
  const char* FieldBuffer(int fieldNumber, size_t& length) const;
  // GetFieldText into out, whose room is reused.
  void FieldTextInto(int fieldNumber, std::string& out) const;

  void Swap(DbDescription& other) noexcept;
  std::string ReadName(const char* image, int length, int& position) const;
  // Record index of a name, upper-cased as ToUpper does; -1 when absent.
  int IndexOfRecord(const std::string& name) const;
  // Record index of a name, or DbDescError 2002 [record].
  int ResolveRecord(const std::string& record) const;
  // GetFieldNumber for a record index.
  int FieldNumberAt(int recordIndex, const std::string& field) const;
  // One past the field-table index of a record's last field: its fields are
  // those from its first-field index on that carry its record index.
  int FieldsEnd(int recordIndex) const;
  // Field-table index of a field number, -1 when out of range.
  int FieldTableIndex(int fieldNumber) const;
  // The slot of a field number, null when out of range.
  const FieldSlot* SlotOf(int fieldNumber) const;
  // The bytes of the value of a field number whose slot is given.
  char* ValueAt(int fieldNumber, const FieldSlot& slot);
  const char* ValueAt(int fieldNumber, const FieldSlot& slot) const;
  int RecordLength(int recordIndex) const;
  int RecordType(int recordIndex) const { return 10000 + recordIndex; }
  // The record index of a record type, -1 for a type of no record.
  int IndexOfType(int recordType) const;
  _RecInfoType& InfoOf(int recordIndex);
  const _RecInfoType& InfoOf(int recordIndex) const;
  // The entry of a record name; QoMapExcept when no record has the name.
  _RecInfoType& InfoByName(const std::string& record);
  const _RecInfoType& InfoByName(const std::string& record) const;
  // The current key's field name, empty for the default key.
  std::string KeyNameAt(int recordIndex) const;
  void ZeroFields(int recordIndex);
  void UnpackAt(int recordIndex, const char* image);
  Bytes PackAt(int recordIndex) const;
  // The same into image, whose room is reused.
  void PackAt(int recordIndex, Bytes& image) const;
  // The same into out, which holds the record length.
  void PackInto(int recordIndex, char* out) const;
  void UnpackFetched(int recordIndex, int index);
  // Unpacks the current fetched record into the buffers; false, with them
  // zeroed, when the position is on no record.
  bool UnpackCurrent(int recordIndex);
  bool FindCommon(const std::string& record, bool next);
  bool WriteCommon(const std::string& record, bool throwIfMissing, bool modify);
  bool StepAt(int recordIndex, unsigned char move, const std::string& record);
  // A failure other than 10002 is raised with [record, field].
  bool ListResult(int recordIndex, int status, qor_detail::ClientBuffer& list, int32_t size,
                  const std::string& record, const std::string& field, unsigned char move);
  // As StoreFetched, taking the bytes over instead of copying them.
  void KeepFetched(int recordIndex, Bytes&& bytes);
  void DefineKeyNumber(int recordIndex, int32_t key);

  int32_t m_version[4] = {-1, -1, -1, -1};
  char m_header[22] = {};
  std::vector<V3_FILE_ENTRY_S> m_files;
  std::vector<RECORD_ENTRY_S> m_records;
  std::vector<FIELD_ENTRY_S> m_fields;
  std::vector<KEY_ENTRY_S> m_keys;
  std::vector<SET_ENTRY_S> m_sets;
  std::vector<MEMBER_ENTRY_S> m_members;
  std::vector<SORT_ENTRY_S> m_sorts;
  StringVector m_recordNames;
  StringVector m_fieldNames;
  std::vector<RecordValues> m_values;
  std::vector<tRbf> m_fetched;
  std::vector<_RecInfoType> m_info;  // by record index
  std::vector<size_t> m_infoOf;      // the entry of each record index
  int32_t m_dbId = -1;
  std::string m_name;
  int32_t m_handle = kNoConnection;
  // The name IndexOfRecord found last and its index (-1: none).
  mutable std::string m_lastRecordName;
  mutable int m_lastRecord = -1;
  // The key image of the last list request, kept so that a request per
  // parent record does not allocate one each time.
  Bytes m_keyImage;
};

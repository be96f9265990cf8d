// The entries of the client library qordbcli, in slot order.
//
// Each entry returns a status, 0 for success. h is a connection handle, db a
// database id, rt a record type (10000 + record index), len a record length.
// Every buffer an entry hands back (image, list, text, output) belongs to the
// caller, who releases it with FreePtr.
//
// QORDBCLI_ENTRIES(X) calls X(name, argument bytes, (parameters)) once per
// entry; the argument bytes complete the entry's decorated name
// ("_" name "@" bytes) that the client resolves.
#pragma once

#include <cstdint>
#include <ctime>

#define QORDBCLI_ENTRIES(X)                                                                   \
  X(FreePtr, 4, (void* buffer))                                                               \
  X(CreateDbHandler, 4, (int32_t* h))                                                         \
  X(InitUserEx, 8, (int32_t h, const void* userBlock))                                        \
  X(SetCode, 12, (int32_t h, int32_t length, const char* code))                               \
  X(FreeDbHandler, 4, (int32_t h))                                                            \
  X(ArchiveDb, 4, (int32_t h))                                                                \
  X(RestoreArchive, 8, (int32_t h, const char* name))                                         \
  X(CreateDatabase, 16, (int32_t h, const char* name, int32_t a, int32_t b))                  \
  X(Connect, 8, (int32_t h, const char* name))                                                \
  X(DropDatabase, 8, (int32_t h, const char* name))                                           \
  X(CreateTablespace, 8, (int32_t h, const char* name))                                       \
  X(Reindex, 4, (int32_t h))                                                                  \
  X(GetServiceNames, 16, (int32_t h, char** list, int32_t* size, int32_t a))                  \
  X(FindRecNext, 20, (int32_t h, int32_t db, int32_t rt, int32_t len, char** buffer))         \
  X(StepToRelative, 16, (int32_t h, int32_t db, int32_t rt, int32_t steps))                   \
  X(ReadCurrentRec, 20, (int32_t h, int32_t db, int32_t rt, int32_t len, char** image))       \
  X(SetEventPtr, 8, (int32_t h, void* callback))                                              \
  X(SetEventCookie, 8, (int32_t h, void* cookie))                                             \
  X(SqlGetResult, 24, (int32_t h, int32_t a, int32_t b, int32_t c, char** out, int32_t* size)) \
  X(SqlGetResultText, 8, (int32_t h, char** text))                                            \
  X(OpenExtPackage, 8, (int32_t h, const char* package))                                      \
  X(CloseExtPackage, 8, (int32_t h, const char* package))                                     \
  X(CallExtFnc, 24, (int32_t h, const char* package, const char* function, const void* input, \
                     void** output, int32_t* size))                                           \
  X(CloseDb, 8, (int32_t h, int32_t db))                                                      \
  X(OpenDbEx, 12, (int32_t h, int32_t db, const char* name))                                  \
  X(OpenDbExA, 16, (int32_t h, int32_t db, const char* name, char mode))                      \
  X(GetQorVersion, 12, (int32_t h, int32_t* major, int32_t* minor))                           \
  X(GetDbDescription, 16, (int32_t h, int32_t db, char** image, int32_t* size))               \
  X(BeginTransaction, 16, (int32_t h, const char* name, int32_t a, int32_t b))                \
  X(AddToTransaction, 12, (int32_t h, int32_t db, int32_t rt))                                \
  X(EndTransaction, 8, (int32_t h, int32_t commit))                                           \
  X(GetServerParam, 12, (int32_t h, const char* name, char** text))                           \
  X(FindBlob, 16, (int32_t h, int32_t id, char** data, int32_t* size))                        \
  X(NewBlob, 16, (int32_t h, const char* data, int32_t size, int32_t* id))                    \
  X(DelBlob, 8, (int32_t h, int32_t id))                                                      \
  X(FirstRec, 20, (int32_t h, int32_t db, int32_t rt, int32_t len, char** image))             \
  X(PrevRec, 20, (int32_t h, int32_t db, int32_t rt, int32_t len, char** image))              \
  X(NextRec, 20, (int32_t h, int32_t db, int32_t rt, int32_t len, char** image))              \
  X(LastRec, 20, (int32_t h, int32_t db, int32_t rt, int32_t len, char** image))              \
  X(DefineKey, 16, (int32_t h, int32_t db, int32_t rt, int32_t keyField))                     \
  X(FindRec, 20, (int32_t h, int32_t db, int32_t rt, int32_t len, char** buffer))             \
  X(NewRec, 20, (int32_t h, int32_t db, int32_t rt, int32_t len, char** buffer))              \
  X(ModRec, 20, (int32_t h, int32_t db, int32_t rt, int32_t len, char** buffer))              \
  X(DelRec, 20, (int32_t h, int32_t db, int32_t rt, int32_t len, char** buffer))              \
  X(FindData, 28, (int32_t h, int32_t db, int32_t rt, int32_t field, const char* value,       \
                   char** list, int32_t* size))                                               \
  X(WriteData, 24, (int32_t h, int32_t db, int32_t rt, int32_t field, const char* value,      \
                    int32_t size))                                                            \
  X(LockRecord, 16, (int32_t h, int32_t db, int32_t rt, int32_t ref))                         \
  X(UnlockRecord, 16, (int32_t h, int32_t db, int32_t rt, int32_t ref))                       \
  X(WhoMadeLock, 20, (int32_t h, int32_t db, int32_t rt, int32_t ref, char** who))            \
  X(GetNextId, 12, (int32_t h, const char* sequence, int32_t* id))                            \
  X(GetServerTime, 8, (int32_t h, time_t* now))                                               \
  X(GetStatuses, 12, (int32_t h, char** list, int32_t* size))                                 \
  X(EngineStatistic, 16, (int32_t h, int32_t what, char** out, int32_t* size))                \
  X(KillUser, 8, (int32_t h, int32_t user))                                                   \
  X(GetMaxuser, 4, (int32_t * count))                                                         \
  X(GetCompanyDataFile, 12, (int32_t h, const char* name, char** path))                       \
  X(CursorCreate, 20, (int32_t h, int32_t db, int32_t rt, int32_t keyField, int32_t* id))     \
  X(CursorDrop, 8, (int32_t h, int32_t id))                                                   \
  X(CursorOperation, 20, (int32_t h, int32_t id, int32_t op, int32_t len, char** image))      \
  X(BookmarkCreate, 16, (int32_t h, int32_t db, int32_t rt, int32_t* id))                     \
  X(BookmarkDrop, 8, (int32_t h, int32_t id))                                                 \
  X(BookmarkOperation, 12, (int32_t h, int32_t id, int32_t op))                               \
  X(GetCount, 16, (int32_t h, int32_t db, int32_t rt, int32_t* count))                        \
  X(GetConditionedCount, 32, (int32_t h, int32_t db, int32_t rt, int32_t field, int32_t op,   \
                              const char* value, int32_t len, int32_t* count))                \
  X(FindList, 28, (int32_t h, int32_t* size, char** keyImage, char** list, int32_t db,        \
                   int32_t rt, int32_t keyField))                                             \
  X(FindGreater, 28, (int32_t h, int32_t* size, char** keyImage, char** list, int32_t db,     \
                      int32_t rt, int32_t keyField))                                          \
  X(FindLess, 28, (int32_t h, int32_t* size, char** keyImage, char** list, int32_t db,        \
                   int32_t rt, int32_t keyField))                                             \
  X(GetAllRec, 20, (int32_t h, int32_t db, int32_t rt, int32_t* size, char** list))           \
  X(SqlOperation, 12, (int32_t h, const char* statement, int32_t kind))                       \
  X(FindListOr, 28, (int32_t h, int32_t* size, char** keyImage, char** list, int32_t db,      \
                     int32_t rt, int32_t keyField))                                           \
  X(GetRecLocks, 12, (int32_t h, char** list, int32_t* size))

// Pointer types for the client's entry table: QorFn_FirstRec and so on.
#define QORDBCLI_DECLARE_FN_TYPE(name, bytes, params) using QorFn_##name = int(*) params;
QORDBCLI_ENTRIES(QORDBCLI_DECLARE_FN_TYPE)
#undef QORDBCLI_DECLARE_FN_TYPE

// The exported entries themselves, for the library that implements them.
#define QORDBCLI_DECLARE_ENTRY(name, bytes, params) int name params;
extern "C" {
QORDBCLI_ENTRIES(QORDBCLI_DECLARE_ENTRY)
}
#undef QORDBCLI_DECLARE_ENTRY

// The statement of the last selection by a key value, left where that
// selection stopped: on the first record past the value, or at its end. A
// selection of a later value on the same record type and key, up to the
// record it stands on, goes on from there instead of looking its first record
// up anew, and one of the same value again is answered as before. It reads
// the session's held snapshot, so the session keeps it only outside a
// transaction and drops it before that snapshot ends.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "DictModel.h"

namespace qordb {

class KeptSelection {
 public:
  // What a selection selects: a record type of an open database, by a key.
  struct Source {
    int32_t db = 0;
    int index = 0;
    int32_t keyField = 0;
    bool operator==(const Source&) const = default;
  };

  // The records of source whose key (made of parts of rec) has key's value,
  // back to back for the caller, when the kept statement can answer them;
  // nullopt, with nothing handed out, when it cannot. Throws StatusError.
  std::optional<int> Continue(const Source& source, const RecordModel& rec,
                              const std::vector<int>& parts, const char* key, int32_t* size,
                              char** list);
  // The same, by stepping s anew: s selects the image and then the key
  // columns of every record from its bound key value on, in key order (ties
  // by insertion). s is kept afterwards only when keep is true.
  int Start(const Source& source, sqlite3_stmt* s, bool keep, const RecordModel& rec,
            const std::vector<int>& parts, const char* key, int32_t* size, char** list);
  // Resets the kept statement, if any; never throws.
  void Drop();
  // Whether a statement on database db is kept.
  bool Reads(int32_t db) const { return stmt_ && source_.db == db; }

 private:
  // The largest answer kept for the same value asked again.
  static constexpr size_t kAnswerBytes = 16 * 1024;

  // How the record the statement stands on compares with key's value; past
  // its end, as a record above every value.
  int Order(const RecordModel& rec, const std::vector<int>& parts, const char* key) const;
  // Hands out the records from the one the statement stands on while they
  // carry key's value (at, that record's order), and keeps the answer.
  int Answer(int at, bool keep, const RecordModel& rec, const std::vector<int>& parts,
             const char* key, int32_t* size, char** list);

  sqlite3_stmt* stmt_ = nullptr;  // null when none is kept
  Source source_;
  bool onRow_ = false;       // it stands on a record not handed out yet
  std::vector<char> bound_;  // the image whose key value it started from
  std::vector<char> last_;   // the image whose key value was asked for last
  bool answered_ = false;    // answer_ holds the records of that value
  std::vector<char> answer_;
};

}  // namespace qordb

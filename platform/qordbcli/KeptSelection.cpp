#include "KeptSelection.h"

#include <new>

#include "BufferRegistry.h"
#include "ServerFile.h"

namespace qordb {

std::optional<int> KeptSelection::Continue(const Source& source, const RecordModel& rec,
                                           const std::vector<int>& parts, const char* key,
                                           int32_t* size, char** list) {
  if (!stmt_ || !(source_ == source)) return std::nullopt;
  try {
    const int since = CompareKey(rec, parts, key, last_.data());
    if (since == 0 && answered_) {
      // The same value again: nothing has changed in this snapshot since.
      *size = static_cast<int32_t>(answer_.size());
      *list = answer_.empty() ? nullptr : AllocCopy(answer_.data(), answer_.size());
      return answer_.empty() ? kNotFound : 0;
    }
    // The records from the value asked for last up to the record the
    // statement stands on were all handed out or passed over, so none of
    // them carries a value in between.
    const int at = since > 0 ? Order(rec, parts, key) : -1;
    if (at < 0) return std::nullopt;
    return Answer(at, true, rec, parts, key, size, list);
  } catch (...) {
    Drop();
    throw;
  }
}

int KeptSelection::Start(const Source& source, sqlite3_stmt* s, bool keep, const RecordModel& rec,
                         const std::vector<int>& parts, const char* key, int32_t* size,
                         char** list) {
  Drop();
  try {
    // Bound without a copy: bound_ stays as it is until the statement is reset.
    bound_.assign(key, key + rec.imageLength);
    BindParts(s, 1, rec, parts, bound_.data());
    stmt_ = s;
    source_ = source;
    onRow_ = StepRow(s);
    return Answer(Order(rec, parts, key), keep, rec, parts, key, size, list);
  } catch (...) {
    Drop();
    throw;
  }
}

void KeptSelection::Drop() {
  if (!stmt_) return;
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
  stmt_ = nullptr;
  answered_ = false;
}

int KeptSelection::Order(const RecordModel& rec, const std::vector<int>& parts,
                         const char* key) const {
  return onRow_ ? CompareStoredKey(stmt_, 1, rec, parts, key) : 1;
}

int KeptSelection::Answer(int at, bool keep, const RecordModel& rec, const std::vector<int>& parts,
                          const char* key, int32_t* size, char** list) {
  answered_ = false;
  BufferBuilder out;
  for (; at == 0; at = Order(rec, parts, key)) {
    AppendImage(out, stmt_, rec);
    onRow_ = StepRow(stmt_);
  }
  last_.assign(key, key + rec.imageLength);
  const size_t bytes = out.Size();
  const int status = HandOut(out, size, list);
  if (!keep) {
    Drop();
  } else if (bytes <= kAnswerBytes) {
    // The answer is the caller's already: one that cannot be kept is not.
    try {
      answer_.assign(*list, *list + bytes);
      answered_ = true;
    } catch (const std::bad_alloc&) {
    }
  }
  return status;
}

}  // namespace qordb

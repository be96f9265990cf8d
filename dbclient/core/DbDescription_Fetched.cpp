// The fetched-record buffer: list requests, moves, searches, removal,
// sorting and aggregates over the records a request returned.
#include <algorithm>
#include <numeric>

#include "DbDescription.h"
#include "DbDescription_Internal.h"
#include "RdmFld.h"

using qor_detail::ClientBuffer;

namespace {

// The slack a refilled fetched-record block may keep beyond twice its data.
constexpr size_t kKeptFetchedBytes = 4096;

}  // namespace

void DbDescription::StoreFetched(int recordIndex, const char* bytes, int length) {
  if (recordIndex < 0 || recordIndex >= int(m_fetched.size())) throw DbDescError(2002);
  tRbf& rbf = m_fetched[size_t(recordIndex)];
  const size_t kept = bytes && length > 0 ? size_t(length) : 0;
  // Refilled in place: a request per parent record would otherwise allocate
  // and free a block each time. A block far larger than what it now holds is
  // given back.
  if (rbf.data.capacity() > 2 * kept + kKeptFetchedBytes) Bytes().swap(rbf.data);
  rbf.data.assign(bytes, bytes + kept);
  rbf.size = int32_t(kept);
  rbf.current = 0;
  InfoOf(recordIndex).sortField.clear();
}

void DbDescription::KeepFetched(int recordIndex, Bytes&& bytes) {
  ResetFetched(recordIndex);
  tRbf& rbf = m_fetched[size_t(recordIndex)];
  rbf.data = std::move(bytes);
  rbf.size = int32_t(rbf.data.size());
  rbf.current = 0;
}

void DbDescription::ResetFetched(int recordIndex) {
  if (recordIndex < 0 || recordIndex >= int(m_fetched.size())) throw DbDescError(2002);
  tRbf& rbf = m_fetched[size_t(recordIndex)];
  Bytes().swap(rbf.data);
  rbf.size = 0;
  rbf.current = -1;
  InfoOf(recordIndex).sortField.clear();
}

void DbDescription::UnpackFetched(int recordIndex, int index) {
  const tRbf& rbf = m_fetched[size_t(recordIndex)];
  UnpackAt(recordIndex, rbf.data.data() + size_t(index) * size_t(rbf.recordLength));
}

bool DbDescription::StepAt(int index, unsigned char move, const std::string& record) {
  tRbf& rbf = m_fetched[size_t(index)];
  const int count = rbf.Count();
  bool moved = count > 0;
  if (moved) {
    switch (move) {
      case 0:
        rbf.current = 0;
        break;
      case 1:
        moved = rbf.current >= 1;
        if (moved) --rbf.current;
        break;
      case 2:
        moved = rbf.current < count - 1;
        if (moved) ++rbf.current;
        break;
      case 3:
        rbf.current = count - 1;
        break;
      case 5:
        rbf.current = -1;
        break;
      default:
        ZeroFields(index);
        throw DbDescError(2005, StringVector(record));
    }
  }
  if (!moved) {
    ZeroFields(index);
    return false;
  }
  return UnpackCurrent(index);
}

bool DbDescription::UnpackCurrent(int index) {
  const tRbf& rbf = m_fetched[size_t(index)];
  // Unpacking writes every buffer; a position on no record zeroes them.
  if (rbf.current < 0 || rbf.current >= rbf.Count()) {
    ZeroFields(index);
    return false;
  }
  UnpackFetched(index, rbf.current);
  return true;
}

bool DbDescription::ListResult(int index, int status, ClientBuffer& list, int32_t size,
                               const std::string& record, const std::string& field,
                               unsigned char move) {
  if (status != 0) {
    ResetFetched(index);
    ZeroFields(index);
    if (status == 10002) return false;
    throw DbDescError(status, StringVector(record) << field);
  }
  StoreFetched(index, list.Get(), size);
  list.Release();
  StepAt(index, move, record);
  return true;
}

bool DbDescription::FindList(const std::string& record, const std::string& keyField,
                             unsigned char move) {
  auto findList = QOR_ENTRY(FindList);
  QOR_ENTRY(FreePtr);
  auto getAllRec = QOR_ENTRY(GetAllRec);
  const int index = ResolveRecord(record);
  int key = -1;
  if (!keyField.empty()) {
    key = FieldNumberAt(index, keyField);
    if (key < 0) throw DbDescError(2003, StringVector(record) << keyField);
  }
  ClientBuffer list;
  int32_t size = RecordLength(index);
  int status;
  if (!keyField.empty()) {
    PackAt(index, m_keyImage);
    char* keyImage = m_keyImage.data();
    status = findList(m_handle, &size, &keyImage, list.Address(), m_dbId, RecordType(index), key);
  } else {
    status = getAllRec(m_handle, m_dbId, RecordType(index), &size, list.Address());
  }
  return ListResult(index, status, list, size, record, keyField, move);
}

bool DbDescription::FindGreater(const std::string& record, const std::string& keyField,
                                unsigned char move) {
  const int index = ResolveRecord(record);
  const int key = keyField.empty() ? -1 : GetFieldNumber(record, keyField);
  if (key < 0) throw DbDescError(2003, StringVector(record) << keyField);
  ResetFetched(index);
  Bytes image = PackAt(index);
  auto fn = QOR_ENTRY(FindGreater);
  ClientBuffer list;
  int32_t size = RecordLength(index);
  char* keyImage = image.data();
  const int status = fn(m_handle, &size, &keyImage, list.Address(), m_dbId, RecordType(index), key);
  return ListResult(index, status, list, size, record, keyField, move);
}

bool DbDescription::GetAllRecNotEqual(const std::string& record, const std::string& field,
                                      unsigned char move) {
  RdmFld value(this, record, field, false);
  const int index = ResolveRecord(record);
  auto fn = QOR_ENTRY(GetAllRec);
  ClientBuffer list;
  const int length = RecordLength(index);
  int32_t size = length;
  const int status = fn(m_handle, m_dbId, RecordType(index), &size, list.Address());
  if (status != 0) {
    ResetFetched(index);
    ZeroFields(index);
    if (status == 10002) return false;
    throw DbDescError(status, StringVector(record) << field);
  }
  // The reference is the value before any returned record is unpacked.
  const std::string reference = value.AsString();
  Bytes kept;
  const int count = (list.Get() && length > 0 && size > 0) ? size / length : 0;
  for (int k = 0; k < count; ++k) {
    const char* image = list.Get() + size_t(k) * size_t(length);
    UnpackAt(index, image);
    if (!value.EqualsText(reference)) kept.insert(kept.end(), image, image + length);
  }
  KeepFetched(index, std::move(kept));
  list.Release();
  StepAt(index, move, record);
  return true;
}

bool DbDescription::StepFetched(unsigned char move, const std::string& record) {
  return StepAt(ResolveRecord(record), move, record);
}

bool DbDescription::NextFetched(const std::string& record) {
  const int index = ResolveRecord(record);
  tRbf& rbf = m_fetched[size_t(index)];
  if (rbf.current < INT32_MAX) ++rbf.current;
  return UnpackCurrent(index);
}

int DbDescription::GetFetchedPos(const std::string& record) const {
  return m_fetched[size_t(ResolveRecord(record))].current;
}

bool DbDescription::SetFetchedPos(const std::string& record, int index) {
  if (index < -1) return false;
  const int r = ResolveRecord(record);
  tRbf& rbf = m_fetched[size_t(r)];
  if (index >= rbf.Count()) return false;
  rbf.current = index;
  if (index == -1)
    ZeroFields(r);
  else
    UnpackFetched(r, index);
  return true;
}

int DbDescription::GetFetchedCount(const std::string& record) const {
  return m_fetched[size_t(ResolveRecord(record))].Count();
}

int DbDescription::FindFetched(const std::string& record, const std::string& field,
                               const std::string& value, int start) {
  if (start < 0) return -1;
  const int r = ResolveRecord(record);
  ZeroFields(r);
  const tRbf& rbf = m_fetched[size_t(r)];
  const int count = rbf.Count();
  if (count == 0 || start >= count) return -1;
  const int number = GetFieldNumber(record, field);
  int found = -1;
  for (int k = start; k < count; ++k) {
    UnpackFetched(r, k);
    if (GetFieldText(number) == value) {
      found = k;
      break;
    }
  }
  if (rbf.current >= 0 && rbf.current < count) UnpackFetched(r, rbf.current);
  return found;
}

bool DbDescription::LocateFetched(const std::string& record, const std::string& field,
                                  const std::string& value, int start) {
  const int found = FindFetched(record, field, value, start);
  if (found < 0) return false;
  SetFetchedPos(record, found);
  return true;
}

bool DbDescription::RemoveFetched(const std::string& record, int index) {
  if (index < 0) return false;
  const int r = ResolveRecord(record);
  tRbf& rbf = m_fetched[size_t(r)];
  const int count = rbf.Count();
  if (count == 0 || index >= count) return false;

  // Bytes past the last whole record may stay: nothing reads beyond Count().
  const auto first = rbf.data.begin() + std::ptrdiff_t(size_t(index) * size_t(rbf.recordLength));
  rbf.data.erase(first, first + rbf.recordLength);
  rbf.size -= rbf.recordLength;

  const int n = count - 1;
  const int c = rbf.current;
  if (n == 0) {
    ZeroFields(r);
  } else if (c == n) {
    rbf.current = n - 1;
    UnpackFetched(r, rbf.current);
    return true;
  } else if (c == index) {
    UnpackFetched(r, c);
    return true;
  }
  if (c > n)
    rbf.current = n;
  else if (c < n && c > index)
    rbf.current = c - 1;
  return true;
}

int DbDescription::RemoveFetchedMatch(const std::string& record, const std::string& field,
                                      const std::string& value, int start) {
  const int found = FindFetched(record, field, value, start);
  if (found >= 0) RemoveFetched(record, found);
  return found;
}

void DbDescription::RemoveFetchedMatches(const std::string& record, const std::string& field,
                                         const std::string& value, int start) {
  int found = FindFetched(record, field, value, start);
  while (found >= 0) {
    RemoveFetched(record, found);
    found = FindFetched(record, field, value, found);
  }
}

void DbDescription::SortFetched(const std::string& record, const std::string& field,
                                bool descending) {
  const std::string name = ToUpper(field.empty() ? InfoByName(record).sortField : field);
  const int r = ResolveRecord(record);
  const int number = GetFieldNumber(record, name);
  if (number < 0) throw DbDescError(2003, StringVector(record) << name);

  tRbf& rbf = m_fetched[size_t(r)];
  const int count = rbf.Count();
  if (count > 0) {
    RdmFld proto(this, record, name, false);
    proto.Detach();
    std::vector<RdmFld> values;
    values.reserve(size_t(count));
    for (int k = 0; k < count; ++k) {
      UnpackFetched(r, k);
      values.push_back(proto);
      values.back().SetString(GetFieldText(number));
    }
    // Equal values keep their order; descending is the exact reverse.
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return values[size_t(a)] < values[size_t(b)]; });
    if (descending) std::reverse(order.begin(), order.end());
    const size_t length = size_t(rbf.recordLength);
    Bytes sorted;
    sorted.reserve(size_t(count) * length);
    for (int k : order) {
      auto from = rbf.data.begin() + std::ptrdiff_t(size_t(k) * length);
      sorted.insert(sorted.end(), from, from + std::ptrdiff_t(length));
    }
    std::copy(sorted.begin(), sorted.end(), rbf.data.begin());
  }
  if (rbf.current >= 0 && rbf.current < count)
    UnpackFetched(r, rbf.current);
  else
    ZeroFields(r);
  InfoOf(r).sortField = name;
}

std::string DbDescription::GetSortField(const std::string& record) const {
  const int index = IndexOfRecord(record);
  if (index < 0) throw DbDescError(2002, StringVector(record));
  return InfoOf(index).sortField;
}

std::string DbDescription::Aggregate(const std::string& record, const std::string& field,
                                     int code) {
  const int r = ResolveRecord(record);
  const int number = GetFieldNumber(record, field);
  if (number < 0) throw DbDescError(2003, StringVector(record) << field);
  RdmFld best(this, record, field, false);
  best.Detach();
  RdmFld next = best;

  const tRbf& rbf = m_fetched[size_t(r)];
  const int count = rbf.Count();
  const FIELD_ENTRY_S entry = GetFieldEntry(number);
  // Groups and compound keys have no bytes; SetRaw refuses them unread.
  const bool hasBytes = entry.type != 'g' && entry.type != 'k';
  const size_t start = hasBytes ? size_t(entry.offset - m_records[size_t(r)].dataOffset) : 0;
  auto raw = [&](int k) { return rbf.data.data() + size_t(k) * size_t(rbf.recordLength) + start; };

  switch (code) {
    case 0:
      return qor_detail::DecimalText(count);
    case 1:
    case 2: {
      if (count == 0) return "0";
      double sum = 0;
      for (int k = 0; k < count; ++k) sum += next.SetRaw(raw(k)).AsDouble();
      return GcvtText(code == 1 ? sum : sum / count, 6);
    }
    case 3:
    case 4:
      if (count == 0) return best.SetInt(0).AsString();
      best.SetRaw(raw(0));
      for (int k = 1; k < count; ++k) {
        next.SetRaw(raw(k));
        if (code == 3 ? best < next : best > next) best = next;
      }
      return best.AsString();
    default:
      throw DbDescError(2007, StringVector(record));
  }
}

// The client's dictionary image, opened as the programs open it (DbDescMap
// with a fake client library that hands the input out as SYSDB's image),
// then every lookup, field buffer and value, record image, list, sort and
// aggregate of every record type, over fetched records made of the input's
// bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "DbDescMap.h"
#include "FakeEntries_testutil.h"
#include "RdmFld.h"
#include "ScriptedUi.h"

namespace {

// Bounds the work per input; the records and fields past them are like those before.
constexpr int kMaxRecords = 32;
constexpr size_t kMaxFields = 64;

void Exercise(DbDescription& d, FakeEntries& fake, const std::vector<char>& bytes) {
  for (int r = 0; r < kMaxRecords; ++r) {
    RECORD_ENTRY_S entry;
    try {
      entry = d.GetRecordEntryByIndex(r);
    } catch (const DbDescError&) {
      return;
    }
    const std::string record = d.GetRecordName(10000 + r);
    StringVector names;
    d.GetFieldNames(10000 + r, names, true);
    if (names.size() > kMaxFields) names.resize(kMaxFields);
    // Three records of the input's bytes as the list the server returns.
    const int length = entry.slotLength - entry.dataOffset;
    std::vector<char> list(3 * size_t(length));
    for (size_t i = 0; i < list.size(); ++i) list[i] = bytes[i % bytes.size()];
    try {
      fake.ScriptBytes("GetAllRec", list);
      d.FindList(record, "", 0);
      d.StepFetched(3, record);
    } catch (const QorExceptBase&) {
    }
    for (const std::string& name : names) {
      try {
        const int number = d.GetFieldNumber(record, name);
        d.GetFieldEntry(number);
        d.GetFieldText(number);
        // The field value reads the buffer itself, by the field's type.
        const RdmFld value(&d, record, name, false);
        value.AsLong();
        value.AsDouble();
        value.GetText();
        d.SetFieldText(number, "12");
        StringVector keys;
        d.GetKeyFieldList(record, name, keys);
        d.IsInUniqueKey(record, name);
        for (int code = 0; code <= 4; ++code) d.Aggregate(record, name, code);
        d.FindFetched(record, name, "12", 0);
        d.SortFetched(record, name, true);
      } catch (const QorExceptBase&) {
        // Values that do not compare or convert are the library's errors.
      }
    }
    DbDescription::Bytes image;
    if (d.PackRecord(record, image) && !image.empty()) d.UnpackRecord(image.data(), record);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::vector<char> bytes(data, data + size);
  FakeEntries fake;
  win::ScriptedUi ui;  // answers the box of a catalogue that cannot be read
  win::ScopedUiBackend installed(ui);
  fake.ScriptBytes("GetDbDescription", bytes);
  fake.SetStatus("FindRec", 10002);
  DbDescMap map;
  map.SetHandle(55);
  if (!map.OpenDb("SYSDB", 19, 0, true)) return 0;
  DbDescription d = map.GetDescription("SYSDB");
  Exercise(d, fake, bytes);
  return 0;
}

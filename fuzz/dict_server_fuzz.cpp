// The server's readings of a dictionary image it did not make: the model the
// client entries serve from, with its record tables and key columns on an
// in-memory database, and the independent reading of qorserver load.
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "DictModel.h"
#include "DictionaryImage.h"
#include "ServerFile.h"

namespace {

// Records of the model: stored, normalised, read back field by field and
// compared on every key, as the client entries do.
void Serve(const qordb::DictModel& model, const uint8_t* data, size_t size) {
  sqlite3* db = nullptr;
  if (sqlite3_open(":memory:", &db) != SQLITE_OK) std::abort();
  for (size_t r = 0; r < model.records.size(); ++r) {
    const qordb::RecordModel& rec = model.records[r];
    // One record of the input's bytes over and over, one of zeros.
    std::vector<char> raw(rec.imageLength), stored(rec.imageLength), zero(rec.imageLength);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<char>(data[i % size]);
    qordb::NormaliseImage(rec, raw.data(), stored.data());
    for (const qordb::FieldModel& f : rec.fields) {
      if (!f.IsData()) continue;
      qordb::FieldText(f, stored.data());
      qordb::FieldInteger(f, stored.data());
      std::string why;
      qordb::SetFieldText(f, "7", zero.data(), why);
    }
    for (size_t p = 0; p < rec.fields.size(); ++p)
      qordb::CompareKey(rec, rec.KeyParts(static_cast<int>(p)), stored.data(), zero.data());
    try {
      qordb::CreateRecordTable(db, 20, static_cast<int>(r), rec);
      qordb::Stmt insert(db, qordb::InsertSql(20, static_cast<int>(r), rec));
      qordb::InsertRecord(db, insert.get(), rec, stored.data());
      qordb::InsertRecord(db, insert.get(), rec, zero.data());
    } catch (const qordb::StatusError&) {
      // Two equal unique keys: the duplicate status.
    }
  }
  sqlite3_close(db);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* image = reinterpret_cast<const char*>(data);
  try {
    Serve(qordb::DictModel::Parse(image, size), data, size);
  } catch (const std::runtime_error&) {
    // Refused: no database is served from it.
  }
  try {
    const DictionaryImage reading = DictionaryImage::Parse(std::vector<char>(image, image + size));
    for (size_t r = 0; r < reading.records.size(); ++r)
      for (int f : reading.FieldsOf(static_cast<int>(r))) reading.ComponentsOf(f);
    reading.RecordByName("SEQUENCIES");
  } catch (const std::runtime_error&) {
  }
  return 0;
}

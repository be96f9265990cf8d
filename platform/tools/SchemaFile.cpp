#include "SchemaFile.h"

#include <charconv>
#include <sstream>
#include <vector>

#include "DictModel.h"

using qordb::UpperAscii;

namespace {

using qordb::FieldDef;
using qordb::FieldPosition;
using qordb::RecordDef;

// Limits that the dictionary image, the client's numbering and the server impose.
constexpr int kMaxFieldsPerRecord = 999;  // positions stay below 1000, the next record's numbers
constexpr int kMaxRecords = 999;
constexpr int kMaxEntries = 32767;        // table counts and indexes are signed 16-bit
constexpr int kMaxRecordBytes = 32767;    // slot lengths are signed 16-bit
constexpr int kMaxTextLength = 4096;
constexpr size_t kMaxDatabaseName = 31;

bool IsNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c >= 0x80;
}

int DataSize(const FieldDef& f) {
  switch (f.type) {
    case 'c': return f.length;
    case 's': return 2;
    case 'F': return 8;
    case 'g': case 'k': return 0;
    default: return 4;
  }
}

std::vector<std::string> Tokens(const std::string& line) {
  std::vector<std::string> out;
  std::string current;
  auto flush = [&] {
    if (!current.empty()) out.push_back(std::move(current));
    current.clear();
  };
  for (char ch : line) {
    if (ch == '#') break;
    if (ch == ' ' || ch == '\t') {
      flush();
    } else if (ch == '(' || ch == ')' || ch == ',') {
      flush();
      out.emplace_back(1, ch);
    } else {
      current += ch;
    }
  }
  flush();
  return out;
}

bool ParseInt(const std::string& text, int64_t low, int64_t high, int64_t& out) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end && out >= low && out <= high;
}

class Parser {
 public:
  SchemaFile Run(const std::string& text) {
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
      Fail(1, "the file begins with a UTF-8 byte-order mark; a schema is read as Windows-1250 text");
    }
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      ++lineNo_;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.find('\0') != std::string::npos) Fail("the line holds a NUL byte");
      Statement(Tokens(line));
    }
    if (record_) {
      if (!groups_.empty()) Fail(Line(groups_.back()), "group is not closed with \"end\"");
      Fail(recordLines_.back(), "record " + record_->name + " is not closed with \"end\"");
    }
    if (out_.schema.name.empty()) Fail(0, "no \"database\" line");
    if (out_.schema.records.empty()) Fail(0, "the database has no records");
    CheckDefaultKey();
    try {
      out_.schema.Validate();
    } catch (const qordb::SchemaError& e) {
      Fail(0, e.what());
    }
    return std::move(out_);
  }

 private:
  [[noreturn]] void Fail(const std::string& message) { Fail(lineNo_, message); }
  [[noreturn]] void Fail(int line, const std::string& message) { throw SchemaFileError(line, message); }

  int Line(int position) const { return fieldLines_.back()[position]; }

  void Statement(const std::vector<std::string>& t) {
    if (t.empty()) return;
    if (t[0] == "database") return Database(t);
    if (out_.schema.name.empty()) Fail("the schema must begin with a \"database\" line");
    if (t[0] == "record") return Record(t);
    if (!record_) Fail("\"" + t[0] + "\" outside a record");
    if (t[0] == "end") return End(t);
    if (t[0] == "group") return Group(t);
    Field(t);
  }

  void CheckName(const std::string& name, const std::string& what) {
    if (name.size() > 64) Fail(what + " name \"" + name + "\" is longer than 64 characters");
    for (unsigned char c : name) {
      if (!IsNameByte(c)) Fail(what + " name \"" + name + "\" may hold only letters, digits and _");
    }
    if (name[0] >= '0' && name[0] <= '9') Fail(what + " name \"" + name + "\" begins with a digit");
  }

  void Database(const std::vector<std::string>& t) {
    if (!out_.schema.name.empty()) Fail("a second \"database\" line; a schema holds one database");
    if (t.size() < 2) Fail("\"database\" needs a name");
    CheckName(t[1], "database");
    if (t[1].size() > kMaxDatabaseName) Fail("database name \"" + t[1] + "\" is longer than 31 characters");
    if (UpperAscii(t[1]) == "SYSDB") Fail("SYSDB is the server's own catalogue and cannot be added");
    out_.schema.name = t[1];
    for (size_t i = 2; i < t.size(); i += 2) {
      if (i + 1 >= t.size()) Fail("\"" + t[i] + "\" needs a value");
      int64_t v = 0;
      if (t[i] == "id") {
        if (!ParseInt(t[i + 1], 1, INT32_MAX, v)) Fail("the database id must be a number from 1 to 2147483647");
        if (v == 19) Fail("database id 19 belongs to SYSDB");
        out_.id = static_cast<int32_t>(v);
      } else if (t[i] == "version") {
        std::istringstream parts(t[i + 1]);
        std::string part;
        int n = 0;
        while (std::getline(parts, part, '.')) {
          if (n == 4 || !ParseInt(part, 0, INT32_MAX, v)) {
            n = 5;
            break;
          }
          out_.schema.version[n++] = static_cast<int32_t>(v);
        }
        if (n != 4 || t[i + 1].back() == '.') Fail("the version must be four numbers joined by dots, like 1.0.0.0");
      } else {
        Fail("unknown word \"" + t[i] + "\" on the database line (expected id or version)");
      }
    }
  }

  void Record(const std::vector<std::string>& t) {
    if (record_) Fail("\"record\" inside record " + record_->name + "; close that with \"end\" first");
    if (t.size() != 2) Fail("\"record\" takes exactly one name");
    CheckName(t[1], "record");
    for (const RecordDef& r : out_.schema.records) {
      if (UpperAscii(r.name) == UpperAscii(t[1])) Fail("record " + t[1] + " is defined twice");
    }
    if (static_cast<int>(out_.schema.records.size()) >= kMaxRecords) Fail("a database holds at most 999 records");
    out_.schema.records.push_back({t[1], {}});
    record_ = &out_.schema.records.back();
    recordLines_.push_back(lineNo_);
    fieldLines_.emplace_back();
  }

  void End(const std::vector<std::string>& t) {
    if (t.size() != 1) Fail("\"end\" takes nothing after it");
    if (!groups_.empty()) {
      int position = groups_.back();
      groups_.pop_back();
      FieldDef& group = record_->fields[position];
      group.groupFields = static_cast<int>(record_->fields.size()) - position - 1;
      if (group.groupFields == 0) Fail(Line(position), "group " + group.name + " gathers no fields");
      return;
    }
    FinishRecord();
    record_ = nullptr;
  }

  void Group(const std::vector<std::string>& t) {
    if (t.size() != 2) Fail("\"group\" takes exactly one name");
    FieldDef& f = AddField(t[1]);
    f.type = 'g';
    groups_.push_back(static_cast<int>(record_->fields.size()) - 1);
  }

  FieldDef& AddField(const std::string& name) {
    CheckName(name, "field");
    if (FieldPosition(*record_, name) >= 0) Fail("field " + name + " is defined twice in record " + record_->name);
    if (static_cast<int>(record_->fields.size()) >= kMaxFieldsPerRecord) {
      Fail("record " + record_->name + " has more than 999 fields; field numbers would run into the next record's");
    }
    if (++fieldTotal_ > kMaxEntries) Fail("too many fields in the database (at most 32767)");
    record_->fields.push_back({});
    fieldLines_.back().push_back(lineNo_);
    FieldDef& f = record_->fields.back();
    f.name = name;
    return f;
  }

  void Field(const std::vector<std::string>& t) {
    if (t.size() < 2) Fail("field " + t[0] + " needs a type letter (c s i l d f F k)");
    const std::string& type = t[1];
    if (type.size() != 1 || std::string("csildfFk").find(type[0]) == std::string::npos) {
      Fail("unknown type \"" + type + "\" for field " + t[0] + " (expected c s i l d f F k)");
    }
    FieldDef& f = AddField(t[0]);
    f.type = type[0];
    size_t i = 2;
    if (f.type == 'c') {
      int64_t len = 0;
      if (i >= t.size() || !ParseInt(t[i], 1, kMaxTextLength, len)) {
        Fail("character field " + f.name + " needs a length from 1 to 4096");
      }
      f.length = static_cast<int>(len);
      ++i;
    } else if (f.type == 'k') {
      if (!groups_.empty()) Fail("compound key " + f.name + " cannot stand inside a group");
      if (i >= t.size() || t[i] != "(") Fail("compound key " + f.name + " needs its fields in parentheses");
      for (++i; i < t.size() && t[i] != ")"; ++i) {
        if (t[i] == ",") continue;
        if (t[i] == "(") Fail("compound key " + f.name + ": \"(\" inside the list");
        CheckName(t[i], "field");
        for (const std::string& c : f.components) {
          if (UpperAscii(c) == UpperAscii(t[i])) Fail("compound key " + f.name + " names " + t[i] + " twice");
        }
        f.components.push_back(t[i]);
      }
      if (i >= t.size()) Fail("compound key " + f.name + ": \")\" is missing");
      if (f.components.empty()) Fail("compound key " + f.name + " names no fields");
      ++i;
      f.keyKind = 'd';
    }
    bool marked = false;
    for (; i < t.size(); ++i) {
      const std::string& a = t[i];
      if (a == "unique" || a == "key") {
        if (marked) Fail("field " + f.name + " is marked as a key twice");
        marked = true;
        f.keyKind = a == "unique" ? 'u' : 'd';
      } else if (a == "unsigned") {
        if (f.type != 's' && f.type != 'l' && f.type != 'c') {
          Fail("\"unsigned\" applies only to types s, l and c (field " + f.name + ")");
        }
        f.isUnsigned = true;
      } else {
        Fail("unknown word \"" + a + "\" after field " + f.name + " (expected unique, key or unsigned)");
      }
    }
  }

  void FinishRecord() {
    const RecordDef& r = *record_;
    int bytes = 0;
    for (const FieldDef& f : r.fields) bytes += DataSize(f);
    if (bytes == 0) Fail(recordLines_.back(), "record " + r.name + " has no data fields");
    if (bytes > kMaxRecordBytes) Fail(recordLines_.back(), "record " + r.name + " is longer than 32767 bytes");
    for (size_t k = 0; k < r.fields.size(); ++k) {
      const FieldDef& f = r.fields[k];
      if (f.type != 'k') continue;
      for (const std::string& c : f.components) {
        int pos = FieldPosition(r, c);
        if (pos < 0) {
          Fail(Line(static_cast<int>(k)), "compound key " + f.name + " names " + c + ", which record " + r.name +
                                              " does not have");
        }
        if (!r.fields[pos].IsData()) {
          Fail(Line(static_cast<int>(k)), "compound key " + f.name + ": " + c + " is a group or compound key");
        }
        if (++keyTotal_ > kMaxEntries) Fail(Line(static_cast<int>(k)), "too many compound-key components");
      }
    }
  }

  // The client uses key value 1 for a record type's default key, and field
  // number 1 is the first record's second field: as a key it could never be
  // told apart from the default key.
  void CheckDefaultKey() {
    const RecordDef& first = out_.schema.records.front();
    if (first.fields.size() < 2 || !first.fields[1].IsKey()) return;
    Fail(fieldLines_.front()[1], "field " + first.fields[1].name + " of the first record " + first.name +
                                     " would be field number 1, which stands for the default key, so it cannot "
                                     "be a key; put a field that is not a key second, or another record first");
  }

  SchemaFile out_;
  RecordDef* record_ = nullptr;
  std::vector<int> groups_;  // positions of the open groups, innermost last
  std::vector<int> recordLines_;
  std::vector<std::vector<int>> fieldLines_;
  int lineNo_ = 0;
  int fieldTotal_ = 0;
  int keyTotal_ = 0;
};

}  // namespace

SchemaFile SchemaFile::Parse(const std::string& text) { return Parser().Run(text); }

SchemaFile SchemaFile::ParseFile(const std::string& path) {
  return ParseTextFile<SchemaFileError>(path, "cannot read the schema file", SchemaFile::Parse);
}

#include "QorServerTool.h"

#include <charconv>
#include <ostream>

#include "DictionaryImage.h"
#include "SchemaFile.h"
#include "SecurityCode.h"
#include "TsvFile.h"
#include "DictModel.h"

using qordb::UpperAscii;

namespace {

constexpr size_t kMaxUserText = 31;  // the 32-byte "dbuser" fields keep a NUL

const char kUsage[] =
    "usage: qorserver create SERVER\n"
    "       qorserver add-database SERVER SCHEMA-FILE\n"
    "       qorserver add-user SERVER NAME PASSWORD [--disabled]\n"
    "       qorserver add-sequence SERVER NAME START STEP\n"
    "       qorserver set-param SERVER NAME VALUE\n"
    "       qorserver load SERVER DB RECORD FILE\n"
    "       qorserver dump SERVER [DB [RECORD]]\n"
    "SERVER is an absolute path, or a name under the folder in $QORDB_ROOT.\n";

int32_t ParseInt32(const std::string& text, const char* what) {
  int32_t v = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || ptr != end || text.empty()) {
    throw ToolError(std::string(what) + " must be a whole number from -2147483648 to 2147483647, not \"" + text + "\"");
  }
  return v;
}

DictionaryImage ReadDictionary(const qordb::ServerAdmin& admin, const std::string& db) {
  try {
    return DictionaryImage::Parse(admin.DictionaryImage(db));
  } catch (const qordb::ServerError&) {
    throw;
  } catch (const std::exception& e) {
    throw ToolError("database " + db + ": " + e.what());
  }
}

std::vector<int> DataFields(const DictionaryImage& d, int record) {
  std::vector<int> out;
  for (int i : d.FieldsOf(record)) {
    if (d.fields[i].IsData()) out.push_back(i);
  }
  return out;
}

void Expect(const std::vector<std::string>& args, size_t low, size_t high) {
  if (args.size() < low || args.size() > high) throw ToolError(std::string("wrong number of arguments\n") + kUsage);
}

}  // namespace

std::string QorServerTool::AddUser(qordb::ServerAdmin& admin, const std::string& name, const std::string& password,
                                   bool enabled) {
  if (name.empty()) throw ToolError("a user needs a name");
  if (name.size() > kMaxUserText) throw ToolError("a user name has at most 31 characters");
  if (password.size() > kMaxUserText) throw ToolError("a password has at most 31 characters");
  qordb::UserDef user;
  user.name = UpperAscii(name);
  user.password = password;
  user.enabled = enabled;
  SecurityCode code;
  code.Encode(static_cast<unsigned>(user.name.size()), user.name.data());
  code.Encode(static_cast<unsigned>(user.password.size()), user.password.data());
  admin.AddUser(user);
  for (char c : password) {
    if (c >= 'a' && c <= 'z') {
      return "warning: the login upper-cases the password it is given, so a password with small letters never "
             "matches";
    }
  }
  return "";
}

size_t QorServerTool::Load(qordb::ServerAdmin& admin, const std::string& db, const std::string& record,
                           const TsvFile& file, const std::string& source) {
  auto fail = [&](int line, const std::string& message) -> ToolError {
    return ToolError(source + (line > 0 ? ", line " + std::to_string(line) : "") + ": " + message);
  };
  DictionaryImage d = ReadDictionary(admin, db);
  int r = d.RecordByName(record);
  if (r < 0) throw fail(0, "database " + db + " has no record " + record);
  std::vector<int> fields = d.FieldsOf(r);
  std::vector<int> data = DataFields(d, r);

  // column of each header name among the data fields
  std::vector<size_t> column;
  for (const std::string& name : file.header) {
    int found = -1;
    for (int i : fields) {
      if (UpperAscii(d.fields[i].name) == UpperAscii(name)) found = i;
    }
    if (found < 0) throw fail(file.headerLine, "record " + record + " has no field " + name);
    if (!d.fields[found].IsData()) {
      throw fail(file.headerLine, name + " is a group or compound key and holds no value of its own");
    }
    for (size_t c = 0; c < data.size(); ++c) {
      if (data[c] == found) column.push_back(c);
    }
  }

  // Fields the file leaves out, and empty values, are zero.
  std::vector<std::string> zero;
  for (int i : data) zero.push_back(d.fields[i].type == 'c' ? "" : "0");
  std::vector<std::vector<std::string>> rows;
  rows.reserve(file.rows.size());
  for (const TsvFile::Row& row : file.rows) {
    std::vector<std::string> values = zero;
    for (size_t c = 0; c < row.values.size(); ++c) {
      if (!row.values[c].empty()) values[column[c]] = row.values[c];
    }
    rows.push_back(std::move(values));
  }
  try {
    return admin.LoadRecords(db, record, rows);
  } catch (const qordb::ServerError& e) {
    // The server counts the rows it was given; the operator needs the file's line.
    if (e.Row() >= 0 && static_cast<size_t>(e.Row()) < file.rows.size()) {
      throw fail(file.rows[e.Row()].line, e.Reason());
    }
    throw fail(0, e.what());
  }
}

void QorServerTool::Dump(const qordb::ServerAdmin& admin, const std::string& db, const std::string& record,
                         std::ostream& out) {
  admin.Dump(out, db, record);
}

int QorServerTool::Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    if (args.empty()) throw ToolError(std::string("no command\n") + kUsage);
    const std::string& command = args[0];
    if (command == "--help" || command == "-h") {
      out << kUsage;
      return 0;
    }
    if (args.size() < 2) throw ToolError(std::string("no server named\n") + kUsage);
    const std::string path = qordb::ServerAdmin::ResolveServerPath(args[1]);
    if (command == "create") {
      Expect(args, 2, 2);
      qordb::ServerAdmin::Create(path);
      out << "created server " << path << '\n';
    } else if (command == "add-database") {
      Expect(args, 3, 3);
      SchemaFile file = SchemaFile::ParseFile(args[2]);
      qordb::ServerAdmin admin(path);
      int32_t id = admin.AddDatabase(file.schema, file.id);
      out << "added database " << file.schema.name << " with id " << id << '\n';
    } else if (command == "add-user") {
      Expect(args, 4, 5);
      if (args.size() == 5 && args[4] != "--disabled") throw ToolError("unknown option " + args[4]);
      qordb::ServerAdmin admin(path);
      std::string warning = AddUser(admin, args[2], args[3], args.size() == 4);
      if (!warning.empty()) err << "qorserver: " << warning << '\n';
      out << "added user " << UpperAscii(args[2]) << (args.size() == 5 ? " (disabled)" : "") << '\n';
    } else if (command == "add-sequence") {
      Expect(args, 5, 5);
      int32_t start = ParseInt32(args[3], "START");
      int32_t step = ParseInt32(args[4], "STEP");
      qordb::ServerAdmin admin(path);
      admin.AddSequence(args[2], start, step);
      out << "added sequence " << args[2] << '\n';
    } else if (command == "set-param") {
      Expect(args, 4, 4);
      qordb::ServerAdmin admin(path);
      admin.SetParam(args[2], args[3]);
      out << "set server parameter " << args[2] << '\n';
    } else if (command == "load") {
      Expect(args, 5, 5);
      TsvFile file = TsvFile::ReadFile(args[4]);
      qordb::ServerAdmin admin(path);
      size_t n = Load(admin, args[2], args[3], file, args[4]);
      out << "loaded " << n << " records into " << args[2] << '.' << args[3] << '\n';
    } else if (command == "dump") {
      Expect(args, 2, 4);
      qordb::ServerAdmin admin(path);
      Dump(admin, args.size() > 2 ? args[2] : "", args.size() > 3 ? args[3] : "", out);
    } else {
      throw ToolError("unknown command " + command + "\n" + kUsage);
    }
    return 0;
  } catch (const std::exception& e) {
    err << "qorserver: " << e.what() << '\n';
    return 1;
  }
}

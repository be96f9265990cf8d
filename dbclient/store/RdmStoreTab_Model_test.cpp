// A model-based random test of the store tables on a real server: random
// sequences of the public operations on a tree MASTER -> CHILD -> GRAND,
// with a second login changing the server underneath. After every step the
// tables are compared with a model of what the server and each store hold
// and where each table stands: the outcome, every table's mode, position,
// fields, store, groups, cache and backup, and the server's records. A
// failing sequence is shrunk and printed as a case for the table of
// sequences at the end of this file.
//
// CI runs a fixed set of seeds. For a longer search:
//   QOR_STORE_MODEL_RUNS=5000 dbclient_store_tests --gtest_filter='StoreModelTest.*'
// with QOR_STORE_MODEL_SEED the first seed (1) and QOR_STORE_MODEL_STEPS the
// length of a sequence (40); QOR_STORE_MODEL_TRACE=1 prints every step.
// QOR_STORE_MODEL_WEIGHTED=1 weights the search towards writes of the cache
// that the server refuses part-way, because the other login has changed a
// record with a change queued in it or below it, and restores after them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "DbDescMap.h"
#include "LiveClient_testutil.h"
#include "Raised_testutil.h"
#include "RdmStoreTab.h"

namespace {

using byte = unsigned char;

const char* kSchema = R"(database SHOP id 20
record MASTER
  ID    l unique
  QTY   l
  TAG   c 5
end
record CHILD
  ID    l unique
  LINK  l key
  QTY   l
  TAG   c 5
end
record GRAND
  ID    l unique
  LINK  l key
  QTY   l
  TAG   c 5
end
)";

// The levels of the tree; a table's parent is the level before it.
enum Level { M = 0, C = 1, G = 2 };
constexpr int kLevels = 3;
const char* const kRecords[kLevels] = {"MASTER", "CHILD", "GRAND"};
const char* const kLevelNames[kLevels] = {"M", "C", "G"};

// One record's values; all zero are a table's cleared fields.
struct Row {
  int id = 0;
  int link = 0;  // the parent record's ID; MASTER has none
  int qty = 0;
  std::string tag;
  bool operator==(const Row&) const = default;
};

std::string Show(const Row& r) {
  return "{" + std::to_string(r.id) + "|" + std::to_string(r.link) + "|" + std::to_string(r.qty) +
         "|" + r.tag + "}";
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// ---- Operations ----

enum class Kind {
  Select,       // a: move
  SelectNe,     // a: move, b: the QTY that the records selected do not hold
  Go,           // a: direction (0 first, 3 last), b: child mode
  Step,         // a: move, b: child mode
  Next,         //
  GoTo,         // a: index, b: child mode
  SetPosition,  // a: index
  Locate,       // a: the ID looked for
  Append,       // a: ID, b: QTY, s: TAG; LINK from the parent's fields
  Update,       // b: QTY, s: TAG, c: throwIfMissing
  Delete,       // c: throwIfMissing
  ReRead,       // c: throwIfMissing
  Sort,         // s: field, a: descending, b: all groups
  Mode,         // a: master-dependency mode
  RemoveAt,     // a: index
  WriteCache,   // the table's
  Restore,      // the root's EndBackup(false)
  Walk,         // a: rows at most; the joined view's walk
  RawWalk,      // a: rows at most; the walk on the tables as they stand
  OInsert,      // the other login: a: ID, b: parent ID, c: QTY, s: TAG
  OUpdate,      // the other login: a: ID, c: QTY, s: TAG
  ODelete,      // the other login: a: ID, with the records below it
};

struct Op {
  Op(Kind k, int level, int x = 0, int y = 0, int z = 0, std::string text = "")
      : kind(k), t(level), a(x), b(y), c(z), s(std::move(text)) {}
  Kind kind;
  int t;  // the level of the table
  int a, b, c;
  std::string s;
};

Op Select(int move) { return Op(Kind::Select, M, move); }
Op SelectNe(int move, int qty) { return Op(Kind::SelectNe, M, move, qty); }
Op Go(int direction, int childMode) { return Op(Kind::Go, M, direction, childMode); }
Op Step(int t, int move, int childMode) { return Op(Kind::Step, t, move, childMode); }
Op Next(int t) { return Op(Kind::Next, t); }
Op GoTo(int t, int index, int childMode) { return Op(Kind::GoTo, t, index, childMode); }
Op SetPosition(int t, int index) { return Op(Kind::SetPosition, t, index); }
Op Locate(int t, int id) { return Op(Kind::Locate, t, id); }
Op Append(int t, int id, int qty, std::string tag) {
  return Op(Kind::Append, t, id, qty, 0, std::move(tag));
}
Op Update(int t, int qty, std::string tag, int throwIfMissing = 1) {
  return Op(Kind::Update, t, 0, qty, throwIfMissing, std::move(tag));
}
Op Delete(int t, int throwIfMissing = 1) { return Op(Kind::Delete, t, 0, 0, throwIfMissing); }
Op ReRead(int t, int throwIfMissing = 1) { return Op(Kind::ReRead, t, 0, 0, throwIfMissing); }
Op Sort(int t, std::string field, int descending, int allGroups) {
  return Op(Kind::Sort, t, descending, allGroups, 0, std::move(field));
}
Op Mode(int t, int mode) { return Op(Kind::Mode, t, mode); }
Op RemoveAt(int t, int index) { return Op(Kind::RemoveAt, t, index); }
Op WriteCache(int t = M) { return Op(Kind::WriteCache, t); }
Op Restore() { return Op(Kind::Restore, M); }
Op Walk(int rows) { return Op(Kind::Walk, M, rows); }
Op RawWalk(int rows) { return Op(Kind::RawWalk, M, rows); }
Op OInsert(int t, int id, int parent, int qty, std::string tag) {
  return Op(Kind::OInsert, t, id, parent, qty, std::move(tag));
}
Op OUpdate(int t, int id, int qty, std::string tag) {
  return Op(Kind::OUpdate, t, id, 0, qty, std::move(tag));
}
Op ODelete(int t, int id) { return Op(Kind::ODelete, t, id); }

// The operation as the builder call above that makes it.
std::string Show(const Op& op) {
  const std::string t = kLevelNames[op.t];
  const std::string a = std::to_string(op.a), b = std::to_string(op.b), c = std::to_string(op.c);
  switch (op.kind) {
    case Kind::Select:
      return "Select(" + a + ")";
    case Kind::SelectNe:
      return "SelectNe(" + a + ", " + b + ")";
    case Kind::Go:
      return "Go(" + a + ", " + b + ")";
    case Kind::Step:
      return "Step(" + t + ", " + a + ", " + b + ")";
    case Kind::Next:
      return "Next(" + t + ")";
    case Kind::GoTo:
      return "GoTo(" + t + ", " + a + ", " + b + ")";
    case Kind::SetPosition:
      return "SetPosition(" + t + ", " + a + ")";
    case Kind::Locate:
      return "Locate(" + t + ", " + a + ")";
    case Kind::Append:
      return "Append(" + t + ", " + a + ", " + b + ", " + Quoted(op.s) + ")";
    case Kind::Update:
      return "Update(" + t + ", " + b + ", " + Quoted(op.s) + ", " + c + ")";
    case Kind::Delete:
      return "Delete(" + t + ", " + c + ")";
    case Kind::ReRead:
      return "ReRead(" + t + ", " + c + ")";
    case Kind::Sort:
      return "Sort(" + t + ", " + Quoted(op.s) + ", " + a + ", " + b + ")";
    case Kind::Mode:
      return "Mode(" + t + ", " + a + ")";
    case Kind::RemoveAt:
      return "RemoveAt(" + t + ", " + a + ")";
    case Kind::WriteCache:
      return op.t == M ? "WriteCache()" : "WriteCache(" + t + ")";
    case Kind::Restore:
      return "Restore()";
    case Kind::Walk:
      return "Walk(" + a + ")";
    case Kind::RawWalk:
      return "RawWalk(" + a + ")";
    case Kind::OInsert:
      return "OInsert(" + t + ", " + a + ", " + b + ", " + c + ", " + Quoted(op.s) + ")";
    case Kind::OUpdate:
      return "OUpdate(" + t + ", " + a + ", " + c + ", " + Quoted(op.s) + ")";
    case Kind::ODelete:
      return "ODelete(" + t + ", " + a + ")";
  }
  return "?";
}

// The settings of one sequence: every table in cached mode or none, and
// the table options besides 0 (writes by the unique key), which all have.
struct Setting {
  bool cached = false;
  bool keepRecord = false;      // option 2
  bool linkValues = false;      // option 3
  bool keepMasterRows = false;  // option 4
};

struct Sequence {
  Setting setting;
  std::vector<Op> ops;
};

std::string Show(const Sequence& sequence) {
  const Setting& s = sequence.setting;
  std::ostringstream out;
  out << "Setting{" << s.cached << ", " << s.keepRecord << ", " << s.linkValues << ", "
      << s.keepMasterRows << "}, {";
  for (size_t i = 0; i < sequence.ops.size(); ++i)
    out << (i == 0 ? "" : ", ") << (i % 4 == 0 ? "\n    " : "") << Show(sequence.ops[i]);
  out << "}";
  return out.str();
}

// What an operation answered: the code it raised (0: none), its result, and
// for a walk the rows it gave. The model answers kUnsettled where the
// contracts leave the outcome open.
constexpr int kUnsettled = -1;
struct Outcome {
  int code = 0;
  int value = 0;
  std::vector<std::string> rows;
  bool operator==(const Outcome&) const = default;
};

std::string Show(const Outcome& o) {
  std::string text = o.code != 0 ? "raised " + std::to_string(o.code) : std::to_string(o.value);
  for (const std::string& row : o.rows) text += " " + row;
  return text;
}

// ---- The model ----

// What the server and each store table should hold and where each table
// stands, by the contracts of the store tables and the record store.
class Model {
 public:
  struct Item {
    int id = 0;
    int parentKey = -1;
    Row row;
  };
  struct Store {
    std::vector<int> order;  // ids in store order
    std::map<int, Item> items;
    std::map<int, std::vector<int>> groups;  // by parent key; a group stays when emptied
    int nextId = 0;
  };
  struct Entry {
    int flags = 0;
    Row row;
    bool operator==(const Entry&) const = default;
  };
  struct Table {
    bool mode = true;  // master-dependency mode
    int key = -1;      // the current group key
    int cur = -1;      // the id of the current record
    Row fields;
    bool edited = false;  // the caller's values, left by a change that failed
    Store store, backup;
    bool backupExists = false;
    std::map<int, Entry> cache;
    std::map<int, int> deleted;  // parent keys of the records deleted in cached mode
    std::string sortField;
  };

  explicit Model(const Setting& setting) : m_setting(setting) {}

  Outcome Apply(const Op& op);
  // After an operation whose outcome is unsettled: the table stands where
  // the library put it.
  void Adopt(int t, bool mode, int key, int cur, const Row& fields) {
    Table& table = T(t);
    table.mode = mode;
    table.key = key;
    table.cur = cur;
    if (fields != table.fields) SetFields(t, fields);
  }

  const Table& At(int t) const { return m_tables[t]; }
  const std::vector<Row>& Server(int t) const { return m_server[t]; }
  // The current list of the table; null when it has none.
  const std::vector<int>* List(int t) const;
  // The current position: the index of the current record in the current list.
  int Position(int t) const;
  // Whether the server holds a record of the level with the ID.
  bool OnServer(int t, int id) const { return FindServer(t, id) != nullptr; }
  int Count(int t) const {
    const std::vector<int>* list = List(t);
    return list ? int(list->size()) : 0;
  }

 private:
  // A DbDescError that the library raises.
  struct Raise {
    int code;
  };
  // As the library's CurrentKeeper: the table stays on the record it stood
  // on, found again by id; a table on no record gets its fields back.
  class Keep {
   public:
    Keep(Model& model, int t);
    ~Keep();
    void Follow(int id) {
      m_id = id;
      m_followed = true;
    }
    int Id() const { return m_id; }

   private:
    Model& m_model;
    int m_t;
    bool m_stoodOn;
    bool m_followed = false;
    int m_id;
    Row m_fields;
    bool m_edited;
  };
  // As RecSentry: with option 2, the table's record is found again by its
  // unique key.
  class Sentry {
   public:
    Sentry(Model& model, int t);
    ~Sentry();

   private:
    Model& m_model;
    int m_t;
    bool m_active = false;
    int m_id = 0;
  };

  Table& T(int t) { return m_tables[t]; }
  void SetFields(int t, const Row& row) {
    T(t).fields = row;
    T(t).edited = false;
  }
  void LoadAt(int t, int id);
  void StandOnNothing(int t);
  void StandOn(int t, int id);
  void SetChilds(int t, int childMode, int id);
  void GoToIndex(int t, int index, int childMode);
  bool Step(int t, int move, int childMode);
  bool GoTo(int t, int index, int childMode);
  bool Next(int t);
  bool SetPosition(int t, int index);
  bool Locate(int t, int id);
  void SetMode(int t, bool mode);
  void Sort(int t, const std::string& field, bool descending, bool allGroups);
  void SortList(int t, std::vector<int>& list, const std::string& field, bool descending);
  // Without qty every record; with it those whose QTY differs.
  bool Select(int move, std::optional<int> qty = std::nullopt);
  bool Go(int direction, int childMode);
  void RefuseServerOperation(int t) const;
  void ClearStore(int t);
  void ReloadTree(const std::vector<Row>& records, int move, int childMode);
  void Append(int t);
  bool Update(int t, int throwIfMissing);
  bool Delete(int t, int throwIfMissing);
  bool ReRead(int t, int throwIfMissing);
  void LoadGroup(int t, int key);
  bool RefreshChildren(int t, int throwIfMissing, int id);
  // The records of the group and those below them; erase: the groups too.
  void ClearGroup(int t, int key, bool erase = true);
  bool RemoveAt(int t, int index);
  bool WriteCache(int t);
  void WriteGroup(int t, int parentKey);
  void WriteCachedRecord(int t, const Entry& entry, int parentKey);
  void Written(int t, int id);
  void ImplicitProcessCacheList(int t, int id);
  void EndBackup(int t, bool discard);
  void ForgetGroup(int t, int key);
  std::vector<std::string> Walk(int rows);
  std::vector<std::string> Rows(int rows);
  bool NextJoined(int t, int parentKey);
  bool AdvanceJoined(int t);
  void TakeBackup(int t);
  bool Pending(int t) const;
  bool HasBackupBelow(int t) const;
  void Remove(Store& store, int id);
  int Add(int t, int parentKey, const Row& row);
  const Row* FindServer(int t, int id) const;
  Row* FindServer(int t, int id) {
    return const_cast<Row*>(static_cast<const Model*>(this)->FindServer(t, id));
  }
  void ServerInsert(int t, const Row& row);
  void ServerUpdate(int t, const Row& row, bool throwIfMissing, bool& found);
  void ServerDelete(int t, int id, bool throwIfMissing, bool& found);
  void OtherDelete(int t, int id);
  std::string RowText() const;

  Setting m_setting;
  Table m_tables[kLevels];
  std::vector<Row> m_server[kLevels];  // in the order the server keeps them (insertion)
};

const std::vector<int>* Model::List(int t) const {
  const Table& table = m_tables[t];
  if (!table.mode) return &table.store.order;
  auto it = table.store.groups.find(table.key);
  return it == table.store.groups.end() ? nullptr : &it->second;
}

int Model::Position(int t) const {
  const Table& table = m_tables[t];
  const std::vector<int>* list = List(t);
  if (table.cur == -1 || list == nullptr) return -1;
  auto it = std::find(list->begin(), list->end(), table.cur);
  return it == list->end() ? -2 : int(it - list->begin());  // -2: the model lost its record
}

Model::Keep::Keep(Model& model, int t) : m_model(model), m_t(t) {
  const Table& table = model.m_tables[t];
  m_stoodOn = table.cur != -1;
  m_id = table.cur;
  m_fields = table.fields;
  m_edited = table.edited;
}

Model::Keep::~Keep() {
  Table& table = m_model.T(m_t);
  if (!m_stoodOn) {
    table.fields = m_fields;
    table.edited = m_edited;
    return;
  }
  m_model.StandOn(m_t, m_id);
  if (m_followed && table.cur != -1) m_model.SetChilds(m_t, 5, m_id);
}

Model::Sentry::Sentry(Model& model, int t) : m_model(model), m_t(t) {
  m_active = model.m_setting.keepRecord && model.m_tables[t].cur != -1;
  m_id = model.m_tables[t].fields.id;
}

Model::Sentry::~Sentry() {
  if (!m_active) return;
  Table& table = m_model.T(m_t);
  for (int id : table.store.order) {
    if (table.store.items.at(id).row.id != m_id) continue;
    const std::vector<int>* list = m_model.List(m_t);
    const bool inList = list != nullptr && std::find(list->begin(), list->end(), id) != list->end();
    m_model.LoadAt(m_t, inList ? id : -1);
    return;
  }
  m_model.LoadAt(m_t, -1);
}

void Model::LoadAt(int t, int id) {
  T(t).cur = id;
  SetFields(t, id == -1 ? Row{} : T(t).store.items.at(id).row);
}

void Model::StandOnNothing(int t) {
  LoadAt(t, -1);
  if (t + 1 < kLevels && T(t + 1).mode) {
    T(t + 1).key = -1;
    StandOnNothing(t + 1);
  }
}

void Model::StandOn(int t, int id) {
  const std::vector<int>* list = List(t);
  if (list != nullptr && std::find(list->begin(), list->end(), id) != list->end())
    LoadAt(t, id);
  else
    StandOnNothing(t);
}

void Model::SetChilds(int t, int childMode, int id) {
  if (childMode != 0 && childMode != 5) throw Raise{2005};
  if (t + 1 == kLevels || !T(t + 1).mode) return;
  T(t + 1).key = id;
  Step(t + 1, childMode, childMode);
}

void Model::GoToIndex(int t, int index, int childMode) {
  const int id = index == -1 ? -1 : (*List(t))[size_t(index)];
  LoadAt(t, id);
  SetChilds(t, childMode, id);
}

bool Model::Step(int t, int move, int childMode) {
  const std::vector<int>* list = List(t);
  if (list == nullptr || list->empty()) {
    StandOnNothing(t);
    return move == 5 && childMode == 5;
  }
  // Where each move goes from the position; none where it cannot be made.
  const int position = Position(t), last = int(list->size()) - 1;
  const std::map<int, std::optional<int>> targets = {
      {0, 0},
      {1, position >= 1 ? std::optional(position - 1) : std::nullopt},
      {2, position < last ? std::optional(position + 1) : std::nullopt},
      {3, last},
      {5, -1}};
  auto target = targets.find(move);
  if (target == targets.end()) throw Raise{2005};
  if (!target->second) return false;
  GoToIndex(t, *target->second, childMode);
  return true;
}

bool Model::GoTo(int t, int index, int childMode) {
  const std::vector<int>* list = List(t);
  if (list == nullptr) {
    StandOnNothing(t);
    return index == -1 && childMode == 5;
  }
  if (index != -1 && (index < 0 || index >= int(list->size()))) return false;
  GoToIndex(t, index, childMode);
  return true;
}

bool Model::Next(int t) {
  const std::vector<int>* list = List(t);
  if (list == nullptr || Position(t) + 1 >= int(list->size())) return false;
  GoToIndex(t, Position(t) + 1, 5);
  return true;
}

bool Model::SetPosition(int t, int index) {
  const std::vector<int>* list = List(t);
  if (list == nullptr) return false;
  if (index != -1 && (index < 0 || index >= int(list->size()))) return false;
  LoadAt(t, index == -1 ? -1 : (*list)[size_t(index)]);
  return true;
}

bool Model::Locate(int t, int id) {
  const std::vector<int>* list = List(t);
  if (list == nullptr) return false;
  for (size_t i = 0; i < list->size(); ++i) {
    if (T(t).store.items.at((*list)[i]).row.id != id) continue;
    GoToIndex(t, int(i), 0);
    return true;
  }
  return false;
}

void Model::SetMode(int t, bool mode) {
  if (T(t).mode == mode) return;
  Keep keep(*this, t);
  T(t).mode = mode;
}

void Model::SortList(int t, std::vector<int>& list, const std::string& field, bool descending) {
  const Store& store = T(t).store;
  std::stable_sort(list.begin(), list.end(), [&](int a, int b) {
    const Row& x = store.items.at(a).row;
    const Row& y = store.items.at(b).row;
    return field == "QTY" ? x.qty < y.qty : x.tag < y.tag;
  });
  if (descending) std::reverse(list.begin(), list.end());
}

void Model::Sort(int t, const std::string& field, bool descending, bool allGroups) {
  Table& table = T(t);
  if (table.mode && !allGroups && table.store.groups.count(table.key) == 0) return;
  Sentry sentry(*this, t);
  Keep keep(*this, t);
  if (!table.mode) {
    SortList(t, table.store.order, field, descending);
    table.sortField = field;
  } else if (!allGroups) {
    SortList(t, table.store.groups.at(table.key), field, descending);
  } else {
    for (auto& [key, list] : table.store.groups) SortList(t, list, field, descending);
  }
}

void Model::RefuseServerOperation(int t) const {
  if (t != M || HasBackupBelow(M)) throw Raise{2012};
}

void Model::ClearStore(int t) {
  Table& table = T(t);
  table.store = Store{};
  table.cache.clear();
  table.deleted.clear();
  table.backupExists = false;
  table.cur = -1;
  table.key = -1;
  table.sortField.clear();
}

void Model::ReloadTree(const std::vector<Row>& records, int move, int childMode) {
  for (int t = 0; t < kLevels; ++t) ClearStore(t);
  for (const Row& row : records) Add(M, -1, row);
  LoadAt(M, -1);
  for (int t = C; t < kLevels; ++t) {
    const Store& parents = T(t - 1).store;
    for (int parent : parents.order)
      for (const Row& row : m_server[t])
        if (row.link == parents.items.at(parent).row.id) Add(t, parent, row);
    SetFields(t, Row{});
  }
  SetPosition(M, 0);
  if (!Step(M, move, childMode) && Position(M) == 0) SetChilds(M, 0, (*List(M))[0]);
}

bool Model::Select(int move, std::optional<int> qty) {
  RefuseServerOperation(M);
  if (m_server[M].empty()) {
    for (int t = 0; t < kLevels; ++t) {
      ClearStore(t);
      SetFields(t, Row{});
    }
    return false;
  }
  std::vector<Row> records = m_server[M];
  if (qty) std::erase_if(records, [&](const Row& row) { return row.qty == *qty; });
  ReloadTree(records, move, move);
  return true;
}

bool Model::Go(int direction, int childMode) {
  RefuseServerOperation(M);
  if (m_server[M].empty()) {
    const Table& table = T(M);
    SetFields(M, table.cur == -1 ? Row{} : table.store.items.at(table.cur).row);
    return false;
  }
  ReloadTree({direction == 0 ? m_server[M].front() : m_server[M].back()}, 0, childMode);
  return true;
}

int Model::Add(int t, int parentKey, const Row& row) {
  Store& store = T(t).store;
  const int id = store.nextId++;
  store.order.push_back(id);
  store.items[id] = Item{id, parentKey, row};
  store.groups[parentKey].push_back(id);
  return id;
}

void Model::Remove(Store& store, int id) {
  auto it = store.items.find(id);
  if (it == store.items.end()) return;
  std::erase(store.order, id);
  auto group = store.groups.find(it->second.parentKey);
  if (group != store.groups.end()) std::erase(group->second, id);
  store.items.erase(it);
}

void Model::TakeBackup(int t) {
  Table& table = T(t);
  if (!m_setting.cached || table.backupExists) return;
  table.backup = table.store;
  table.backupExists = true;
}

bool Model::Pending(int t) const {
  for (int level = t; level < kLevels; ++level)
    if (!m_tables[level].cache.empty() || !m_tables[level].deleted.empty()) return true;
  return false;
}

bool Model::HasBackupBelow(int t) const {
  for (int level = t; level < kLevels; ++level)
    if (m_tables[level].backupExists) return true;
  return false;
}

void Model::Append(int t) {
  Table& table = T(t);
  int parentKey = -1;
  if (t > M) {
    const Table& parent = T(t - 1);
    if (parent.cur == -1) throw Raise{2013};
    parentKey = parent.cur;
  }
  // Option 3: the link from the parent's current record.
  Row row = table.fields;
  if (m_setting.linkValues && t > M) row.link = T(t - 1).store.items.at(parentKey).row.id;
  // A refused insert changes nothing, the caller's values left in the fields.
  if (!m_setting.cached) ServerInsert(t, row);
  TakeBackup(t);
  if (t > M && table.mode) table.key = parentKey;
  table.fields = row;
  const int id = Add(t, parentKey, row);
  if (m_setting.cached) table.cache[id] = Entry{2, row};
  GoTo(t, Count(t) - 1, 5);
}

bool Model::Update(int t, int throwIfMissing) {
  Table& table = T(t);
  if (table.cur == -1) throw Raise{2012};
  TakeBackup(t);
  if (!m_setting.cached) {
    bool found = false;
    ServerUpdate(t, table.fields, throwIfMissing != 0, found);
    if (!found) return false;
  }
  table.store.items.at(table.cur).row = table.fields;
  table.edited = false;
  if (m_setting.cached) {
    Entry& entry = table.cache[table.cur];
    entry.flags |= 4;
    entry.row = table.fields;
  }
  return true;
}

bool Model::Delete(int t, int throwIfMissing) {
  Table& table = T(t);
  if (t + 1 < kLevels && table.cur != -1) {
    auto group = T(t + 1).store.groups.find(table.cur);
    if (group != T(t + 1).store.groups.end() && !group->second.empty()) {
      if (throwIfMissing) throw Raise{2012};
      return false;
    }
  }
  if (table.cur == -1) throw Raise{2012};
  TakeBackup(t);
  const Item item = table.store.items.at(table.cur);
  if (m_setting.cached) {
    Entry& entry = table.cache[item.id];
    entry.flags |= 1;
    entry.row = item.row;
  } else {
    // The fields name the current record for the server.
    SetFields(t, item.row);
    bool found = false;
    ServerDelete(t, item.row.id, throwIfMissing != 0, found);
    if (!found) return false;
  }
  const int position = Position(t);
  if (m_setting.cached) table.deleted[item.id] = item.parentKey;
  Remove(table.store, item.id);
  GoToIndex(t, position - 1, 5);
  return true;
}

bool Model::ReRead(int t, int throwIfMissing) {
  if (Pending(t)) throw Raise{2014};
  Sentry sentry(*this, t);
  Table& table = T(t);
  if (t == M) {
    // A read that fails leaves the fields showing the current record.
    if (List(M) == nullptr) {
      SetFields(M, Row{});
      throw Raise{2012};
    }
    if (table.cur == -1) return true;
    Item& item = table.store.items.at(table.cur);
    SetFields(M, item.row);
    const Row* found = FindServer(M, item.row.id);
    if (found == nullptr) {
      ClearGroup(C, item.id);
      SetFields(M, item.row);
      return false;
    }
    const auto sortText = [&](const Row& row) {
      return table.sortField == "QTY" ? std::to_string(row.qty) : row.tag;
    };
    const std::string before = sortText(item.row);
    item.row = *found;
    SetFields(M, item.row);
    if (!table.sortField.empty() && sortText(item.row) != before) Sort(M, table.sortField, 0, 1);
    return RefreshChildren(M, throwIfMissing, item.id);
  }
  if (table.key == -1) return true;
  LoadGroup(t, table.key);
  return true;
}

bool Model::RefreshChildren(int t, int throwIfMissing, int id) {
  if (t + 1 == kLevels) return true;
  if (T(t + 1).key == id) return ReRead(t + 1, throwIfMissing);
  LoadGroup(t + 1, id);
  return true;
}

void Model::LoadGroup(int t, int key) {
  Keep keep(*this, t);
  Table& table = T(t);
  const bool reread = table.cur != -1 && table.store.items.at(table.cur).parentKey == key;
  const int id = reread ? table.store.items.at(table.cur).row.id : 0;
  if (reread) keep.Follow(-1);
  ClearGroup(t, key);
  const Store& parents = T(t - 1).store;
  auto parent = parents.items.find(key);
  if (parent == parents.items.end()) return;
  std::vector<int> added;
  for (const Row& row : m_server[t])
    if (row.link == parent->second.row.id) added.push_back(Add(t, key, row));
  for (int item : added) {
    if (reread && keep.Id() == -1 && table.store.items.at(item).row.id == id) keep.Follow(item);
    RefreshChildren(t, 1, item);
  }
}

void Model::ClearGroup(int t, int key, bool erase) {
  Store& store = T(t).store;
  auto group = store.groups.find(key);
  if (group == store.groups.end()) return;
  Keep keep(*this, t);
  const std::vector<int> items = group->second;
  if (t + 1 < kLevels)
    for (int id : items) ClearGroup(t + 1, id, erase);
  for (int id : items) Remove(store, id);
  if (erase) store.groups.erase(key);
}

bool Model::RemoveAt(int t, int index) {
  const std::vector<int>* list = List(t);
  if (list == nullptr) return false;
  if (Pending(t)) throw Raise{2014};
  if (index < 0 || index >= int(list->size())) return false;
  const int id = (*list)[size_t(index)];
  const int position = Position(t);
  // The records below go, their groups stay.
  if (t + 1 < kLevels) ClearGroup(t + 1, id, false);
  Remove(T(t).store, id);
  if (index == position) GoToIndex(t, index - 1, 5);
  return true;
}

bool Model::WriteCache(int t) {
  // A child's own write waits for every record above its group to be on
  // the server.
  int key = T(t).key;
  for (int level = t - 1; level >= M; --level) {
    const Table& parent = T(level);
    auto entry = parent.cache.find(key);
    if (entry != parent.cache.end() && (entry->second.flags & 2)) throw Raise{2014};
    auto item = parent.store.items.find(key);
    if (item == parent.store.items.end()) break;
    key = item->second.parentKey;
  }
  std::deque<Keep> keep;
  for (int level = t; level < kLevels; ++level) keep.emplace_back(*this, level);
  const bool exists = T(t).store.groups.count(T(t).key) != 0;
  WriteGroup(t, T(t).key);
  if (!exists) return false;
  EndBackup(t, true);
  return true;
}

void Model::WriteGroup(int t, int parentKey) {
  Sentry sentry(*this, t);
  Table& table = T(t);
  for (auto it = table.deleted.begin(); it != table.deleted.end();) {
    if (it->second != parentKey) {
      ++it;
      continue;
    }
    // What waits below a deleted record goes first, deepest first.
    const int id = it->first;
    ImplicitProcessCacheList(t, id);
    auto entry = table.cache.find(id);
    if (entry != table.cache.end()) {
      WriteCachedRecord(t, entry->second, parentKey);
      Written(t, id);
    }
    it = table.deleted.erase(it);
  }
  auto group = table.store.groups.find(parentKey);
  if (group == table.store.groups.end()) return;
  const std::vector<int> items = group->second;
  for (int id : items) {
    auto entry = table.cache.find(id);
    if (entry != table.cache.end()) {
      WriteCachedRecord(t, entry->second, parentKey);
      Written(t, id);
    }
    ImplicitProcessCacheList(t, id);
  }
}

void Model::WriteCachedRecord(int t, const Entry& entry, int parentKey) {
  SetFields(t, entry.row);
  Row& fields = T(t).fields;
  const bool append = entry.flags & 2, remove = entry.flags & 1;
  // Option 3: the link from the parent record the change was queued under.
  if (m_setting.linkValues && t > M && !remove) {
    const auto& parents = T(t - 1).store.items;
    if (auto parent = parents.find(parentKey); parent != parents.end())
      fields.link = parent->second.row.id;
  }
  bool found = false;
  if (append && !remove)
    ServerInsert(t, fields);
  else if (remove && !append)
    ServerDelete(t, fields.id, true, found);
  else if (!append && !remove && (entry.flags & 4))
    ServerUpdate(t, fields, true, found);
}

void Model::Written(int t, int id) {
  Table& table = T(t);
  const Entry entry = table.cache.at(id);
  table.cache.erase(id);
  // A backup that stays holds what the server now holds.
  if (!table.backupExists) return;
  Store& backup = table.backup;
  if (entry.flags & 1) {
    Remove(backup, id);
  } else if (auto kept = backup.items.find(id); kept != backup.items.end()) {
    kept->second.row = entry.row;
  } else if ((entry.flags & 2) && table.store.items.count(id)) {
    const Item& item = table.store.items.at(id);
    backup.order.push_back(id);
    backup.items[id] = item;
    backup.groups[item.parentKey].push_back(id);
  }
}

void Model::ImplicitProcessCacheList(int t, int id) {
  if (t + 1 < kLevels && Pending(t + 1)) WriteGroup(t + 1, id);
}

void Model::EndBackup(int t, bool discard) {
  Table& table = T(t);
  if (table.backupExists) {
    if (!discard) {
      Sentry sentry(*this, t);
      Keep keep(*this, t);
      const int nextId = std::max(table.store.nextId, table.backup.nextId);
      table.store = table.backup;
      table.store.nextId = nextId;
      table.cache.clear();
      table.deleted.clear();
    }
    if (!discard || (table.cache.empty() && table.deleted.empty())) {
      table.backup = Store{};
      table.backupExists = false;
    }
  }
  if (t + 1 == kLevels) return;
  EndBackup(t + 1, discard);
  if (discard) return;
  // After a restore nothing stays below a record that the table does not hold.
  std::set<int> orphans;
  for (const auto& [key, ids] : T(t + 1).store.groups)
    if (!table.store.items.count(key)) orphans.insert(key);
  for (const auto& [id, key] : T(t + 1).deleted)
    if (!table.store.items.count(key)) orphans.insert(key);
  for (int key : orphans) ForgetGroup(t + 1, key);
}

void Model::ForgetGroup(int t, int key) {
  Table& table = T(t);
  if (auto group = table.store.groups.find(key); group != table.store.groups.end())
    for (int id : group->second) {
      table.cache.erase(id);
      if (t + 1 < kLevels) ForgetGroup(t + 1, id);
    }
  for (auto it = table.deleted.begin(); it != table.deleted.end();) {
    if (it->second != key) {
      ++it;
      continue;
    }
    table.cache.erase(it->first);
    if (t + 1 < kLevels) ForgetGroup(t + 1, it->first);
    it = table.deleted.erase(it);
  }
  ClearGroup(t, key);
}

std::vector<std::string> Model::Walk(int rows) {
  for (int t = 0; t < kLevels; ++t) SetMode(t, true);
  Step(M, 0, 0);
  return Rows(rows);
}

std::vector<std::string> Model::Rows(int rows) {
  Step(M, 5, 5);
  std::vector<std::string> out;
  while (int(out.size()) < rows && NextJoined(M, -1)) out.push_back(RowText());
  return out;
}

bool Model::NextJoined(int t, int parentKey) {
  Table& table = T(t);
  if (table.store.groups.count(parentKey) == 0) return false;
  if (table.key != parentKey) {
    table.key = parentKey;
    table.cur = -1;
  }
  if (table.cur == -1) return AdvanceJoined(t);
  bool found = false;
  if (t + 1 < kLevels) {
    found = NextJoined(t + 1, table.cur);
    if (!found) Step(t + 1, 0, 0);
  }
  return found || AdvanceJoined(t);
}

bool Model::AdvanceJoined(int t) {
  bool childrenFound = true;
  bool moved = false;
  do {
    moved = Next(t);
    if (!moved) break;
    if (t + 1 < kLevels) childrenFound = NextJoined(t + 1, T(t).cur);
  } while (!childrenFound && !m_setting.keepMasterRows);
  return moved;
}

std::string Model::RowText() const {
  std::string text;
  for (int t = 0; t < kLevels; ++t) text += (t ? "/" : "") + std::to_string(m_tables[t].fields.id);
  return text;
}

const Row* Model::FindServer(int t, int id) const {
  for (const Row& row : m_server[t])
    if (row.id == id) return &row;
  return nullptr;
}

void Model::ServerInsert(int t, const Row& row) {
  if (OnServer(t, row.id)) throw Raise{10005};  // ID is unique
  Row stored = row;
  if (t == M) stored.link = 0;
  m_server[t].push_back(stored);
}

void Model::ServerUpdate(int t, const Row& row, bool throwIfMissing, bool& found) {
  Row* stored = FindServer(t, row.id);
  found = stored != nullptr;
  if (!found) {
    if (throwIfMissing) throw Raise{10002};
    return;
  }
  *stored = row;
  if (t == M) stored->link = 0;
}

void Model::ServerDelete(int t, int id, bool throwIfMissing, bool& found) {
  const Row* stored = FindServer(t, id);
  found = stored != nullptr;
  if (!found) {
    if (throwIfMissing) throw Raise{10002};
    return;
  }
  std::erase_if(m_server[t], [id](const Row& row) { return row.id == id; });
}

void Model::OtherDelete(int t, int id) {
  // The records below go even when the record itself has gone.
  if (t + 1 < kLevels) {
    std::vector<int> below;
    for (const Row& row : m_server[t + 1])
      if (row.link == id) below.push_back(row.id);
    for (int child : below) OtherDelete(t + 1, child);
  }
  bool found = false;
  ServerDelete(t, id, false, found);
}

Outcome Model::Apply(const Op& op) {
  Outcome outcome;
  const int t = op.t;
  try {
    switch (op.kind) {
      case Kind::Select:
        outcome.value = Select(op.a);
        break;
      case Kind::SelectNe:
        T(M).fields.qty = op.b;
        T(M).edited = true;
        outcome.value = Select(op.a, op.b);
        break;
      case Kind::Go:
        outcome.value = Go(op.a, op.b);
        break;
      case Kind::Step:
        outcome.value = Step(t, op.a, op.b);
        break;
      case Kind::Next:
        outcome.value = Next(t);
        break;
      case Kind::GoTo:
        outcome.value = GoTo(t, op.a, op.b);
        break;
      case Kind::SetPosition:
        outcome.value = SetPosition(t, op.a);
        break;
      case Kind::Locate:
        outcome.value = Locate(t, op.a);
        break;
      case Kind::Append: {
        // The caller's values, the link from what the parent shows.
        Table& table = T(t);
        table.fields = Row{op.a, t > M ? T(t - 1).fields.id : 0, op.b, op.s};
        table.edited = true;
        Append(t);
        break;
      }
      case Kind::Update: {
        Table& table = T(t);
        table.fields.qty = op.b;
        table.fields.tag = op.s;
        table.edited = true;
        outcome.value = Update(t, op.c);
        break;
      }
      case Kind::Delete:
        outcome.value = Delete(t, op.c);
        break;
      case Kind::ReRead:
        outcome.value = ReRead(t, op.c);
        break;
      case Kind::Sort:
        Sort(t, op.s, op.a != 0, op.b != 0);
        break;
      case Kind::Mode:
        SetMode(t, op.a != 0);
        break;
      case Kind::RemoveAt:
        outcome.value = RemoveAt(t, op.a);
        break;
      case Kind::WriteCache:
        outcome.value = WriteCache(t);
        break;
      case Kind::Restore:
        EndBackup(M, false);
        break;
      case Kind::Walk:
        outcome.rows = Walk(op.a);
        break;
      case Kind::RawWalk:
        // Outside master-dependency mode a table's place in the walk is
        // left open; inside it the walk is the joined view's.
        if (T(M).mode && T(C).mode && T(G).mode)
          outcome.rows = Rows(op.a);
        else
          outcome.code = kUnsettled;
        break;
      case Kind::OInsert:
        if (t == M || OnServer(t - 1, op.b)) ServerInsert(t, Row{op.a, op.b, op.c, op.s});
        break;
      case Kind::OUpdate:
        if (Row* row = FindServer(t, op.a)) {
          row->qty = op.c;
          row->tag = op.s;
        }
        break;
      case Kind::ODelete:
        OtherDelete(t, op.a);
        break;
    }
  } catch (const Raise& raise) {
    outcome.code = raise.code;
  }
  return outcome;
}

// ---- The tables on the server ----

// A store table whose state the checks read.
class ProbedTab : public RdmStoreTab {
 public:
  ProbedTab(RdmStoreTab* parent, DbDescription* description, const char* table, const char* alias,
            bool cached)
      : RdmStoreTab(parent, description, table, alias) {
    m_cachedMode = cached;
  }
  RecHandler& Store() { return m_store; }
  const CacheHandler& Cache() const { return m_cache; }
  int GroupKey() const { return m_currentGroupKey; }
  bool BackupExists() const { return m_backupExists; }
  const _RecItemType* Current() { return CurrentItem(); }
  // Parent keys of the records whose deletes wait, by store id.
  const QoMap<long, int>& DeletedKeys() const { return m_deletedKeys; }
};

class StoreModelTest : public LiveClientTest {
 protected:
  StoreModelTest() : LiveClientTest("SHOP") {}
  void Fill(QorTestServer& s) override { s.AddDatabase(kSchema); }
  void SetUp() override {
    LiveClientTest::SetUp();
    if (!Ready()) return;
    desc = map.GetDescription("SHOP");
    scratch = map.GetDescription("SHOP");
    // The second login, which changes the server underneath.
    ASSERT_TRUE(otherLogin.Login("SHOP", "ADMIN", "SECRET", false, ""));
    otherMap.SetHandle(otherLogin.GetHandle());
    ASSERT_TRUE(otherMap.OpenAll(0));
    other = otherMap.GetDescription("SHOP");
  }
  void TearDown() override {
    tree.reset();
    if (other) otherLogin.Logout();
    LiveClientTest::TearDown();
  }

  // What a search ran into.
  struct Figures {
    size_t steps = 0;
    int failedWrites = 0;         // writes of the cache that the server refused part-way
    int failedAfterStoring = 0;   // ... after the server had taken some of it
    int restoresAfterFailed = 0;  // restores between a failed write and the next write
  };
  // Runs the sequence from an empty server; the first difference from the
  // model, with the step it came at, or nothing.
  std::optional<std::string> Run(const Sequence& sequence, Figures* figures = nullptr);
  // The sequence cut down to a shorter one that still fails.
  Sequence Shrink(Sequence sequence);

 protected:
  void Reset(const Setting& setting);
  Outcome Perform(const Op& op);
  void OtherChange(const Op& op);
  std::vector<int> OtherIds(int t, const char* key, int value);
  Row Fields(RdmTable& table) const;
  Row Decode(int t, const char* image);
  std::vector<Row> ServerRows(int t);
  std::string Differences(const Model& model);
  // The IDs of the records that the table's store holds.
  std::set<int> StoredIds(int t);
  // What a step's invariants compare with: each table's queued changes, each
  // with the ID of the parent record it was queued under (0 for none), and
  // the ID of each table's current record.
  struct Queued {
    Model::Entry entry;
    int parentId = 0;
  };
  struct Snapshot {
    std::array<std::map<int, Queued>, kLevels> caches;  // by store id
    std::array<int, kLevels> currentIds{};
  };
  Snapshot Take();
  // What holds whatever the model says: no record on the server or in a
  // store without its parent record, option 3's link values naming the
  // parent record a change was queued under, and no queued change gone
  // from a cache unless it was written or undone by a restore.
  std::string Invariants(const Setting& setting, const Op& op, int code, const Snapshot& before);

  std::optional<DbDescription> desc, scratch, other;
  TQoLogin otherLogin;
  DbDescMap otherMap;
  std::unique_ptr<ProbedTab> tree;
  ProbedTab* tables[kLevels] = {};
  // The IDs of the records that the other login deleted, by level: a record
  // stored under one of them is the other login's doing.
  std::set<int> otherDeleted[kLevels];
  // ... and so is one that the store does not see: inserted by the other
  // login, or taken out of the store by a removal, which leaves the server.
  std::set<int> unseen[kLevels];
};

void StoreModelTest::Reset(const Setting& setting) {
  tree.reset();
  for (std::set<int>& ids : otherDeleted) ids.clear();
  for (std::set<int>& ids : unseen) ids.clear();
  for (int t = kLevels - 1; t >= 0; --t)
    for (int id : OtherIds(t, "", 0)) {
      RdmTable table(&*other, kRecords[t]);
      table.GetField("ID").SetLong(id);
      if (table.Find("ID")) table.Delete(1);
    }
  tree = std::make_unique<ProbedTab>(nullptr, &*desc, "MASTER", "M", setting.cached);
  tables[M] = tree.get();
  for (int t = C; t < kLevels; ++t) {
    tables[t] = new ProbedTab(tables[t - 1], &*desc, kRecords[t], kLevelNames[t], setting.cached);
    tables[t]->SetLink("ID", "LINK", "LINK");
  }
  // Nothing of the sequence before: the options, the current key, the fields.
  for (ProbedTab* table : tables) {
    table->DefineKey("");
    table->SetTableOptions(DefaultTableOptions());
    table->AddTableOption(rtoUniqueKeyWrites);
    if (setting.keepRecord) table->AddTableOption(rtoKeepRecord);
    if (setting.linkValues) table->AddTableOption(rtoLinkValues);
    if (setting.keepMasterRows) table->AddTableOption(rtoKeepMasterRows);
    table->ClearFields();
  }
}

// The IDs of the records whose key holds the value (every record for an empty key).
std::vector<int> StoreModelTest::OtherIds(int t, const char* key, int value) {
  RdmTable table(&*other, kRecords[t]);
  if (*key) table.GetField(key).SetLong(value);
  std::vector<int> ids;
  if (!table.Select(key, 5)) return ids;
  while (table.Next()) ids.push_back(int(table.GetField("ID").AsLong()));
  return ids;
}

void StoreModelTest::OtherChange(const Op& op) {
  RdmTable table(&*other, kRecords[op.t]);
  switch (op.kind) {
    case Kind::OInsert:
      if (op.t > M && OtherIds(op.t - 1, "ID", op.b).empty()) return;
      table.ClearFields();
      table.GetField("ID").SetLong(op.a);
      if (op.t > M) table.GetField("LINK").SetLong(op.b);
      table.GetField("QTY").SetLong(op.c);
      table.GetField("TAG").SetString(op.s);
      table.Append();
      unseen[op.t].insert(op.a);
      return;
    case Kind::OUpdate:
      table.GetField("ID").SetLong(op.a);
      if (!table.Find("ID")) return;
      table.GetField("QTY").SetLong(op.c);
      table.GetField("TAG").SetString(op.s);
      table.Update(1);
      return;
    case Kind::ODelete: {
      if (op.t + 1 < kLevels)
        for (int below : OtherIds(op.t + 1, "LINK", op.a)) OtherChange(ODelete(op.t + 1, below));
      table.GetField("ID").SetLong(op.a);
      if (table.Find("ID")) table.Delete(1);
      otherDeleted[op.t].insert(op.a);
      return;
    }
    default:
      return;
  }
}

Outcome StoreModelTest::Perform(const Op& op) {
  Outcome outcome;
  ProbedTab& table = *tables[op.t];
  ProbedTab& root = *tables[M];
  const Raised raised = RaisedBy([&] {
    switch (op.kind) {
      case Kind::Select:
        outcome.value = root.Select("", byte(op.a));
        break;
      case Kind::SelectNe:
        root.GetField("QTY").SetLong(op.b);
        outcome.value = root.SelectNe("QTY", byte(op.a));
        break;
      case Kind::Go:
        outcome.value = root.Go(byte(op.a), byte(op.b));
        break;
      case Kind::Step:
        outcome.value = table.Step(byte(op.a), byte(op.b));
        break;
      case Kind::Next:
        outcome.value = table.Next();
        break;
      case Kind::GoTo:
        outcome.value = table.GoTo(op.a, byte(op.b));
        break;
      case Kind::SetPosition:
        outcome.value = table.SetPosition(op.a);
        break;
      case Kind::Locate:
        outcome.value = table.Locate("ID", std::to_string(op.a), 0);
        break;
      case Kind::Append:
        table.GetField("ID").SetLong(op.a);
        if (op.t > M) table.GetField("LINK").SetLong(tables[op.t - 1]->GetField("ID").AsLong());
        table.GetField("QTY").SetLong(op.b);
        table.GetField("TAG").SetString(op.s);
        table.Append();
        break;
      case Kind::Update:
        table.GetField("QTY").SetLong(op.b);
        table.GetField("TAG").SetString(op.s);
        outcome.value = table.Update(byte(op.c));
        break;
      case Kind::Delete:
        outcome.value = table.Delete(byte(op.c));
        break;
      case Kind::ReRead:
        outcome.value = table.ReRead(byte(op.c));
        break;
      case Kind::Sort:
        table.Sort(op.s, byte(op.a), byte(op.b));
        break;
      case Kind::Mode:
        table.SetMasterDepMode(byte(op.a));
        break;
      case Kind::RemoveAt:
        outcome.value = table.RemoveAt(op.a);
        break;
      case Kind::WriteCache:
        outcome.value = table.WriteCache();
        break;
      case Kind::Restore:
        root.EndBackup(false);
        break;
      case Kind::Walk:
      case Kind::RawWalk: {
        // As the joined view walks: every table in master-dependency mode.
        if (op.kind == Kind::Walk) {
          root.SetTreeMasterDepMode(1);
          root.Step(0, 0);
        }
        root.Step(5, 5);
        bool found = false;
        while (int(outcome.rows.size()) < op.a &&
               (found = false, root.NextJoined(-1, found), found))
          outcome.rows.push_back(std::to_string(Fields(*tables[M]).id) + "/" +
                                 std::to_string(Fields(*tables[C]).id) + "/" +
                                 std::to_string(Fields(*tables[G]).id));
        break;
      }
      case Kind::OInsert:
      case Kind::OUpdate:
      case Kind::ODelete:
        OtherChange(op);
        break;
    }
  });
  outcome.code = raised.code;
  return outcome;
}

Row StoreModelTest::Fields(RdmTable& table) const {
  Row row;
  row.id = int(table.GetField("ID").AsLong());
  if (table.HasField("LINK", false)) row.link = int(table.GetField("LINK").AsLong());
  row.qty = int(table.GetField("QTY").AsLong());
  row.tag = table.GetField("TAG").AsString();
  return row;
}

Row StoreModelTest::Decode(int t, const char* image) {
  scratch->UnpackRecord(image, kRecords[t]);
  RdmTable table(&*scratch, kRecords[t]);
  return Fields(table);
}

std::vector<Row> StoreModelTest::ServerRows(int t) {
  RdmTable table(&*other, kRecords[t]);
  std::vector<Row> rows;
  if (!table.Select("", 5)) return rows;
  while (table.Next()) rows.push_back(Fields(table));
  return rows;
}

std::string StoreModelTest::Differences(const Model& model) {
  std::ostringstream out;
  for (int t = 0; t < kLevels; ++t) {
    ProbedTab& table = *tables[t];
    const Model::Table& expected = model.At(t);
    const std::string name = std::string(kLevelNames[t]) + ": ";
    // What holds whatever the model says: the fields name the record at the
    // position, unless a change that failed left the caller's values there.
    const _RecItemType* current = table.Current();
    if (table.GetPosition() != -1 && current == nullptr)
      out << name << "position " << table.GetPosition() << " past its list\n";
    if (!expected.edited) {
      const Row stored = current ? Decode(t, current->record) : Row{};
      if (Fields(table) != stored)
        out << name << "the fields " << Show(Fields(table)) << " are not those of the record at "
            << table.GetPosition() << ", " << Show(stored) << "\n";
    }
    if (table.MasterDepMode() != expected.mode)
      out << name << "mode " << table.MasterDepMode() << ", model " << expected.mode << "\n";
    if (table.GroupKey() != expected.key)
      out << name << "group key " << table.GroupKey() << ", model " << expected.key << "\n";
    if (table.GetPosition() != model.Position(t))
      out << name << "position " << table.GetPosition() << ", model " << model.Position(t) << "\n";
    if (Fields(table) != expected.fields)
      out << name << "fields " << Show(Fields(table)) << ", model " << Show(expected.fields)
          << "\n";
    // The store, its groups and its next id.
    std::ostringstream store, modelStore;
    for (const _RecItemType* item : table.Store().Items())
      store << " " << item->id << "<" << item->parentKey << Show(Decode(t, item->record));
    table.Store().ForEachGroup([&](int key, const _MapItemType& group) {
      store << " [" << key << ":";
      for (const _RecItemType* item : group.items) store << " " << item->id;
      store << "]";
    });
    store << " next " << table.Store().GetNextId();
    for (int id : expected.store.order) {
      const Model::Item& item = expected.store.items.at(id);
      modelStore << " " << id << "<" << item.parentKey << Show(item.row);
    }
    for (const auto& [key, ids] : expected.store.groups) {
      modelStore << " [" << key << ":";
      for (int id : ids) modelStore << " " << id;
      modelStore << "]";
    }
    modelStore << " next " << expected.store.nextId;
    if (store.str() != modelStore.str())
      out << name << "store" << store.str() << "\n" << name << "model" << modelStore.str() << "\n";
    std::map<int, Model::Entry> cache;
    for (const auto& [id, entry] : table.Cache().Entries())
      cache[int(id)] = Model::Entry{entry->flags, Decode(t, entry->record.data())};
    if (cache != expected.cache) {
      out << name << "cache";
      for (const auto& [id, entry] : cache)
        out << " " << id << ":" << entry.flags << Show(entry.row);
      out << ", model";
      for (const auto& [id, entry] : expected.cache)
        out << " " << id << ":" << entry.flags << Show(entry.row);
      out << "\n";
    }
    if (table.BackupExists() != expected.backupExists)
      out << name << "backup " << table.BackupExists() << ", model " << expected.backupExists
          << "\n";
  }
  for (int t = 0; t < kLevels; ++t) {
    const std::vector<Row> rows = ServerRows(t);
    if (rows != model.Server(t)) {
      out << kRecords[t] << " on the server:";
      for (const Row& row : rows) out << " " << Show(row);
      out << "\n" << kRecords[t] << " in the model: ";
      for (const Row& row : model.Server(t)) out << " " << Show(row);
      out << "\n";
    }
  }
  return out.str();
}

std::set<int> StoreModelTest::StoredIds(int t) {
  std::set<int> ids;
  for (const _RecItemType* item : tables[t]->Store().Items())
    ids.insert(Decode(t, item->record).id);
  return ids;
}

StoreModelTest::Snapshot StoreModelTest::Take() {
  Snapshot snapshot;
  for (int t = 0; t < kLevels; ++t) {
    ProbedTab& table = *tables[t];
    const _RecItemType* current = table.Current();
    snapshot.currentIds[size_t(t)] = current ? Decode(t, current->record).id : 0;
    for (const auto& [id, entry] : table.Cache().Entries()) {
      Queued& queued = snapshot.caches[size_t(t)][int(id)];
      queued.entry = Model::Entry{entry->flags, Decode(t, entry->record.data())};
      const _RecItemType* item = table.Store().Find(int(id));
      const _RecItemType* parent =
          t > M && item ? tables[t - 1]->Store().Find(item->parentKey) : nullptr;
      if (parent) queued.parentId = Decode(t - 1, parent->record).id;
    }
  }
  return snapshot;
}

std::string StoreModelTest::Invariants(const Setting& setting, const Op& op, int code,
                                       const Snapshot& before) {
  std::ostringstream out;
  const Snapshot now = Take();
  std::vector<Row> server[kLevels];
  for (int t = 0; t < kLevels; ++t) server[t] = ServerRows(t);
  const auto serverRow = [&](int t, int id) -> const Row* {
    for (const Row& row : server[t])
      if (row.id == id) return &row;
    return nullptr;
  };
  for (int t = C; t < kLevels; ++t) {
    // Without option 3 the link values are the caller's: an orphan counts
    // when it names a record of the parent's store.
    std::set<int> parentIds;
    for (const _RecItemType* item : tables[t - 1]->Store().Items())
      parentIds.insert(Decode(t - 1, item->record).id);
    for (const Row& row : server[t])
      if (!serverRow(t - 1, row.link) && !otherDeleted[t - 1].count(row.link) &&
          !unseen[t].count(row.id) && (setting.linkValues || parentIds.count(row.link)))
        out << kRecords[t] << " " << Show(row) << " has no parent on the server\n";
    for (const _RecItemType* item : tables[t]->Store().Items())
      if (!tables[t - 1]->Store().Find(item->parentKey))
        out << kLevelNames[t] << ": " << item->id << Show(Decode(t, item->record))
            << " stored under " << item->parentKey << ", which " << kLevelNames[t - 1]
            << " does not hold\n";
    // A waiting delete is written under its parent record, which is stored
    // or itself waits to be deleted.
    for (const auto& [id, key] : tables[t]->DeletedKeys())
      if (!tables[t - 1]->Store().Find(key) && !tables[t - 1]->DeletedKeys().count(key))
        out << kLevelNames[t] << ": the delete of " << id << " waits under " << key
            << ", which no write reaches\n";
  }
  // Option 3: what this step inserted or changed on the server is linked to
  // the parent record it was appended or queued under.
  const auto linkedTo = [&](int t, int id, int parentId) {
    const Row* row = serverRow(t, id);
    if (setting.linkValues && t > M && parentId != 0 && row && row->link != parentId)
      out << kRecords[t] << " " << Show(*row) << " written under " << parentId << "\n";
  };
  if (op.kind == Kind::Append && op.t > M && code == 0 && !setting.cached)
    linkedTo(op.t, op.a, before.currentIds[size_t(op.t - 1)]);
  if (op.kind == Kind::Restore) return out.str();
  for (int t = 0; t < kLevels; ++t) {
    // Changes of two records with one ID (the server refuses the second
    // insert) are checked by the model alone.
    std::map<int, int> sharing;
    for (const auto& [id, queued] : before.caches[size_t(t)]) ++sharing[queued.entry.row.id];
    for (const auto& [id, queued] : before.caches[size_t(t)]) {
      if (now.caches[size_t(t)].count(id) || sharing[queued.entry.row.id] > 1) continue;
      const Model::Entry& entry = queued.entry;
      const Row* stored = serverRow(t, entry.row.id);
      const bool append = entry.flags & 2, remove = entry.flags & 1;
      // Written: an insert and a delete of one record leave nothing.
      bool written = op.kind == Kind::WriteCache;
      if (written && remove && !append)
        written = stored == nullptr;
      else if (written && !remove)
        written = stored != nullptr && stored->qty == entry.row.qty && stored->tag == entry.row.tag;
      if (!written)
        out << kLevelNames[t] << ": the change " << entry.flags << Show(entry.row)
            << " left the cache unwritten\n";
      else if (!remove)
        linkedTo(t, entry.row.id, queued.parentId);
    }
  }
  return out.str();
}

std::optional<std::string> StoreModelTest::Run(const Sequence& sequence, Figures* figures) {
  Reset(sequence.setting);
  Model model(sequence.setting);
  bool failedWrite = false;
  for (size_t i = 0; i < sequence.ops.size(); ++i) {
    const Op& op = sequence.ops[i];
    std::array<std::vector<Row>, kLevels> server;
    if (op.kind == Kind::WriteCache)
      for (int t = 0; t < kLevels; ++t) server[size_t(t)] = model.Server(t);
    const Outcome expected = model.Apply(op);
    bool took = false;  // the server took some of the write
    if (op.kind == Kind::WriteCache)
      for (int t = 0; t < kLevels; ++t) took = took || server[size_t(t)] != model.Server(t);
    const Snapshot before = Take();
    std::set<int> stored[kLevels];
    if (op.kind == Kind::RemoveAt)
      for (int t = op.t; t < kLevels; ++t) stored[t] = StoredIds(t);
    const Outcome got = Perform(op);
    if (op.kind == Kind::RemoveAt)
      for (int t = op.t; t < kLevels; ++t) {
        const std::set<int> after = StoredIds(t);
        for (int id : stored[t])
          if (!after.count(id)) unseen[t].insert(id);
      }
    if (expected.code == kUnsettled)
      for (int t = 0; t < kLevels; ++t) {
        const _RecItemType* current = tables[t]->Current();
        model.Adopt(t, tables[t]->MasterDepMode(), tables[t]->GroupKey(),
                    current ? current->id : -1, Fields(*tables[t]));
      }
    if (figures) {
      ++figures->steps;
      if (op.kind == Kind::Restore && failedWrite) ++figures->restoresAfterFailed;
      if (op.kind == Kind::Restore || op.kind == Kind::WriteCache) failedWrite = false;
      if (op.kind == Kind::WriteCache && got.code >= 10000) {
        failedWrite = true;
        ++figures->failedWrites;
        if (took) ++figures->failedAfterStoring;
      }
    }
    if (std::getenv("QOR_STORE_MODEL_TRACE"))
      std::printf("%s -> %s\n", Show(op).c_str(), Show(got).c_str());
    std::string differences;
    if (got.code != 0 && got.code < 2000) differences = "not a library error\n";
    if (expected.code != kUnsettled && !(got == expected))
      differences += "outcome " + Show(got) + ", model " + Show(expected) + "\n";
    differences += Differences(model);
    differences += Invariants(sequence.setting, op, got.code, before);
    if (!differences.empty())
      return "step " + std::to_string(i) + " " + Show(op) + ":\n" + differences;
  }
  return std::nullopt;
}

Sequence StoreModelTest::Shrink(Sequence sequence) {
  const auto fails = [&](const Sequence& candidate) { return Run(candidate).has_value(); };
  // Settings first, then ever smaller pieces of the operations.
  for (bool Setting::*flag :
       {&Setting::cached, &Setting::keepRecord, &Setting::linkValues, &Setting::keepMasterRows}) {
    if (!(sequence.setting.*flag)) continue;
    Sequence candidate = sequence;
    candidate.setting.*flag = false;
    if (fails(candidate)) sequence = candidate;
  }
  for (size_t chunk = std::max<size_t>(sequence.ops.size() / 2, 1); chunk > 0; chunk /= 2) {
    for (size_t start = 0; start < sequence.ops.size();) {
      Sequence candidate = sequence;
      const size_t end = std::min(start + chunk, candidate.ops.size());
      candidate.ops.erase(candidate.ops.begin() + std::ptrdiff_t(start),
                          candidate.ops.begin() + std::ptrdiff_t(end));
      if (fails(candidate))
        sequence = candidate;
      else
        start += chunk;
    }
  }
  return sequence;
}

// ---- Random sequences ----

// How often the generator reaches for the steps that make a write of the
// cache fail part-way, in percent.
struct Weights {
  int cached = 40;               // of the sequences in cached mode
  int other = 8;                 // of the steps the other login's
  int conflicts = 40;            // of those that meet a queued change
  int subtreeDeletes = 2;        // of the steps that delete a record with all below it
  int writeAfterConflict = 20;   // the step after a conflict writes the cache
  int restoreAfterFailure = 30;  // the step after a failed write restores
};

// Cached mode always, conflicts and the writes and restores after them often.
constexpr Weights kWeightedSearch{100, 15, 80, 8, 30, 50};

// Random operations whose arguments the model's state makes likely to matter.
class Generator {
 public:
  explicit Generator(uint32_t seed, const Weights& weights = {})
      : m_random(seed), m_weights(weights) {}
  Sequence Make(int steps);

 private:
  int Pick(int n) { return int(m_random() % uint32_t(n)); }
  bool Chance(int percent) { return Pick(100) < percent; }
  std::string Tag() {
    static const char* const kTags[] = {"", "a", "b", "ab", "ba", "c"};
    return kTags[Pick(6)];
  }
  int Move() {
    static const int kMoves[] = {0, 1, 2, 3, 5};
    return kMoves[Pick(5)];
  }
  int ChildMode() { return Chance(60) ? 0 : 5; }
  int Index(const Model& model, int t) { return Pick(model.Count(t) + 2) - 1; }
  // An ID of a record of the level that the server holds, 0 without one.
  int ServerId(const Model& model, int t) {
    const std::vector<Row>& rows = model.Server(t);
    return rows.empty() ? 0 : rows[size_t(Pick(int(rows.size())))].id;
  }
  Op TableOp(const Model& model, const Setting& setting);
  Op OtherOp(const Model& model);
  // The other login meets a queued change: it deletes the record or one
  // above it, or inserts the ID of a queued insert; none without a change.
  std::optional<Op> ConflictOp(const Model& model);

  std::mt19937 m_random;
  Weights m_weights;
  int m_nextId = 1;
};

// The ID of the record with the store id, stored or waiting to be deleted; 0
// for none.
int RecordId(const Model& model, int t, int storeId) {
  const Model::Table& table = model.At(t);
  if (auto item = table.store.items.find(storeId); item != table.store.items.end())
    return item->second.row.id;
  if (auto entry = table.cache.find(storeId); entry != table.cache.end())
    return entry->second.row.id;
  return 0;
}

// The store id of its parent record; -1 for none.
int ParentKey(const Model& model, int t, int storeId) {
  const Model::Table& table = model.At(t);
  if (auto item = table.store.items.find(storeId); item != table.store.items.end())
    return item->second.parentKey;
  if (auto deleted = table.deleted.find(storeId); deleted != table.deleted.end())
    return deleted->second;
  return -1;
}

std::optional<Op> Generator::ConflictOp(const Model& model) {
  std::vector<std::pair<int, int>> queued;  // (level, store id)
  for (int t = 0; t < kLevels; ++t)
    for (const auto& [id, entry] : model.At(t).cache) queued.emplace_back(t, id);
  if (queued.empty()) return std::nullopt;
  // The later of two: a write that meets it has more often stored some of
  // its entries before.
  auto [t, id] =
      std::max(queued[size_t(Pick(int(queued.size())))], queued[size_t(Pick(int(queued.size())))]);
  const Model::Entry& entry = model.At(t).cache.at(id);
  if ((entry.flags & 3) == 2 && Chance(40)) {
    int parent = 0;
    if (t > M) {
      parent = RecordId(model, t - 1, ParentKey(model, t, id));
      if (!model.OnServer(t - 1, parent)) parent = ServerId(model, t - 1);
    }
    return OInsert(t, entry.row.id, parent, Pick(20), Tag());
  }
  for (int up = Pick(t + 1); up > 0; --up) {
    const int key = ParentKey(model, t, id);
    if (key < 0) break;
    id = key;
    --t;
  }
  return ODelete(t, RecordId(model, t, id));
}

Op Generator::TableOp(const Model& model, const Setting& setting) {
  const int t = Pick(100) < 30 ? M : Pick(2) ? C : G;
  const int kind = Pick(100);
  if (kind < 14) return Step(t, Move(), ChildMode());
  if (kind < 19) return Next(t);
  if (kind < 24) return GoTo(t, Index(model, t), ChildMode());
  if (kind < 28) return SetPosition(t, Index(model, t));
  if (kind < 31) {
    const std::vector<int>* list = model.List(t);
    const int id = list && !list->empty() && Chance(80)
                       ? model.At(t).store.items.at((*list)[size_t(Pick(int(list->size())))]).row.id
                       : m_nextId + 7;
    return Locate(t, id);
  }
  // Now and then an ID that the server holds already, which it refuses.
  if (kind < 39) return Append(t, Chance(8) ? ServerId(model, t) : m_nextId++, Pick(20), Tag());
  if (kind < 47) return Update(t, Pick(20), Tag(), Chance(80));
  if (kind < 53) return Delete(t, Chance(80));
  if (kind < 59) return ReRead(t, Chance(80));
  if (kind < 64) return Sort(t, Chance(50) ? "QTY" : "TAG", Pick(2), Pick(2));
  if (kind < 71) return Mode(t, Pick(2));
  if (kind < 74) return RemoveAt(t, Index(model, t));
  if (kind < 80) {
    const int move = Chance(70) ? Pick(2) * 5 : Move();
    if (Chance(15)) return Go(Pick(2) * 3, ChildMode());
    if (Chance(15)) return SelectNe(move, Chance(70) ? model.At(M).fields.qty : Pick(20));
    return Select(move);
  }
  if (kind < 83) return Walk(1 + Pick(8));
  if (kind < 85) return RawWalk(1 + Pick(8));
  if (setting.cached && kind < 93) return Chance(75) ? WriteCache(Chance(50) ? M : t) : Restore();
  return Step(t, Move(), ChildMode());
}

Op Generator::OtherOp(const Model& model) {
  if (Chance(m_weights.conflicts))
    if (std::optional<Op> op = ConflictOp(model)) return *op;
  const int t = Pick(kLevels);
  const int kind = Pick(3);
  if (kind == 0 || model.Server(t).empty()) {
    const int parent = t == M ? 0 : ServerId(model, t - 1);
    return OInsert(t, m_nextId++, parent, Pick(20), Tag());
  }
  if (kind == 1) return OUpdate(t, ServerId(model, t), Pick(20), Tag());
  return ODelete(t, ServerId(model, t));
}

Sequence Generator::Make(int steps) {
  Sequence sequence;
  Setting& s = sequence.setting;
  s.cached = Chance(m_weights.cached);
  s.keepRecord = Chance(40);
  s.linkValues = Chance(50);
  s.keepMasterRows = Chance(30);
  Model model(s);
  const auto room = [&] { return int(sequence.ops.size()) < steps; };
  const auto add = [&](Op op) {
    const Outcome outcome = model.Apply(op);
    sequence.ops.push_back(std::move(op));
    return outcome;
  };
  // A few masters, each with up to three children with up to two grandchildren.
  for (int m = 1 + Pick(3); m > 0; --m) {
    const int master = m_nextId++;
    add(OInsert(M, master, 0, Pick(20), Tag()));
    for (int c = Pick(4); c > 0; --c) {
      const int child = m_nextId++;
      add(OInsert(C, child, master, Pick(20), Tag()));
      for (int g = Pick(3); g > 0; --g) add(OInsert(G, m_nextId++, child, Pick(20), Tag()));
    }
  }
  add(Select(Chance(50) ? 0 : 5));
  // The current record of the level with everything below it, deepest first.
  std::function<void(int)> deleteSubtree = [&](int t) {
    if (t + 1 < kLevels) {
      if (room()) add(Mode(t + 1, 1));
      for (int i = 0; i < 4 && model.Count(t + 1) > 0 && room(); ++i) {
        add(GoTo(t + 1, 0, 0));
        deleteSubtree(t + 1);
      }
    }
    if (room()) add(Delete(t));
  };
  bool conflicted = false, failed = false;
  while (room()) {
    if (failed && Chance(m_weights.restoreAfterFailure)) {
      add(Restore());
      failed = false;
      continue;
    }
    Op op = TableOp(model, s);
    if (s.cached && conflicted && Chance(m_weights.writeAfterConflict)) {
      op = WriteCache(Chance(70) ? M : Pick(kLevels));
    } else if (Chance(m_weights.other)) {
      op = OtherOp(model);
      conflicted = conflicted || op.kind != Kind::OUpdate;
    } else if (s.cached && Chance(m_weights.subtreeDeletes)) {
      deleteSubtree(Pick(kLevels - 1));
      continue;
    }
    const bool write = op.kind == Kind::WriteCache, restore = op.kind == Kind::Restore;
    const Outcome outcome = add(std::move(op));
    if (write) conflicted = false;
    if (write || restore) failed = write && outcome.code >= 10000;
  }
  return sequence;
}

int EnvNumber(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::atoi(text) : fallback;
}

TEST_F(StoreModelTest, RandomSequencesAgreeWithTheModel) {
  const int runs = EnvNumber("QOR_STORE_MODEL_RUNS", 40);
  const int firstSeed = EnvNumber("QOR_STORE_MODEL_SEED", 1);
  const int length = EnvNumber("QOR_STORE_MODEL_STEPS", 40);
  const Weights weights = EnvNumber("QOR_STORE_MODEL_WEIGHTED", 0) ? kWeightedSearch : Weights{};
  Figures figures;
  int failures = 0;
  int run = 0;
  for (; run < runs; ++run) {
    const uint32_t seed = uint32_t(firstSeed + run);
    const Sequence sequence = Generator(seed, weights).Make(length);
    if (!Run(sequence, &figures)) continue;
    ++failures;
    const Sequence shrunk = Shrink(sequence);
    ADD_FAILURE() << "seed " << seed << ", " << sequence.ops.size() << " steps, shrunk to "
                  << shrunk.ops.size() << ":\n"
                  << Show(shrunk) << "\n"
                  << Run(shrunk).value_or("(passes when shrunk)");
    if (failures >= 3) break;
  }
  std::printf(
      "store model: %d sequences, %zu steps, %d writes failed part-way (%d after the server took "
      "some of it), %d restores after them, %d failing\n",
      run, figures.steps, figures.failedWrites, figures.failedAfterStoring,
      figures.restoresAfterFailed, failures);
}

// ---- The shortest sequences of the faults found, and of the decisions ----

// The shop of the other store tests: masters 1, 2 and 3; children 10 and 11
// of 1, 12 of 2; grandchildren 100 and 101 of 10, 102 of 12.
Sequence Shop(Setting setting, std::vector<Op> ops) {
  Sequence sequence{
      setting,
      {OInsert(M, 1, 0, 1, "a"), OInsert(M, 2, 0, 2, "b"), OInsert(M, 3, 0, 3, "c"),
       OInsert(C, 10, 1, 10, "a"), OInsert(C, 11, 1, 9, "b"), OInsert(C, 12, 2, 5, "a"),
       OInsert(G, 100, 10, 0, "a"), OInsert(G, 101, 10, 0, "b"), OInsert(G, 102, 12, 0, "c")}};
  sequence.ops.insert(sequence.ops.end(), ops.begin(), ops.end());
  return sequence;
}

const Setting kDirect{};
const Setting kCached{true, false, false, false};
const Setting kKeepRecord{false, true, false, false};
const Setting kLinkValues{false, false, true, false};
const Setting kCachedLinkValues{true, false, true, false};

struct SequenceCase {
  const char* name;
  Sequence sequence;
};

void PrintTo(const SequenceCase& c, std::ostream* out) { *out << c.name; }

class StoreSequenceTest : public StoreModelTest,
                          public ::testing::WithParamInterface<SequenceCase> {};

TEST_P(StoreSequenceTest, AgreesWithTheModelAtEveryStep) {
  const std::optional<std::string> failure = Run(GetParam().sequence);
  EXPECT_FALSE(failure) << *failure;
}

const SequenceCase kSequences[] = {
    // The joined walk passes over a group that a delete emptied...
    {"WalkOverAGroupEmptiedByADelete",
     Shop(kDirect, {Select(0), Step(M, 2, 0), Delete(G, 1), Walk(9)})},
    // ... and over one emptied under a child outside master-dependency mode,
    // whose position in the group the delete moves too.
    {"WalkOverAGroupEmptiedOutsideMasterDependency",
     Shop(kDirect, {Select(0), GoTo(C, 1, 0), Mode(C, 0), Delete(C, 1), RawWalk(9)})},
    // A table below a parent on a record without child records stands on no
    // record: an update is refused, and an append.
    {"GrandchildOfARecordWithoutChildren",
     Shop(kDirect, {Select(0), Step(M, 3, 0), Update(G, 7, "x", 1)})},
    {"AppendBelowARecordWithoutChildren",
     Shop(kLinkValues, {Select(0), Step(M, 3, 0), Append(G, 200, 0, "uj")})},
    {"AppendBelowAParentOnNoRecord",
     Shop(kLinkValues, {Select(0), SetPosition(M, -1), Append(C, 200, 0, "uj")})},
    // A mode switch on no record stands on no record in the other list.
    {"ModeSwitchOnNoRecord",
     Shop(kDirect, {Select(0), Mode(C, 0), Step(C, 5, 5), Mode(C, 1), Update(C, 7, "x", 1)})},
    {"ModeSwitchOnNoRecordWithTheCache",
     Shop(kCached,
          {Select(0), Mode(C, 0), Step(C, 5, 5), Mode(C, 1), Update(C, 7, "x", 1), WriteCache()})},
    // A failed search of option 2 leaves the fields of the record the
    // position names.
    {"FailedSearchOfTheLogicalRecord",
     Shop(kKeepRecord, {Select(0), Sort(C, "QTY", 0, 0), Step(M, 3, 0), Sort(C, "QTY", 0, 1),
                        Mode(C, 0), Update(C, 77, "q", 1)})},
    // A child's re-read reloads its group by that group's own parent record.
    {"ChildReReadUnderAParentMovedBySetPosition",
     Shop(kDirect, {Select(0), SetPosition(M, 1), ReRead(C, 1), Mode(C, 0), GoTo(C, 0, 0),
                    Update(C, 77, "a"), GoTo(C, 1, 0), Update(C, 5, "q")})},
    {"GrandchildReReadAfterItsParentsReRead",
     Shop(kDirect, {Select(0), ReRead(C, 1), ReRead(G, 1), Walk(9)})},
    // A failed root read leaves the fields showing the record it stands on.
    {"FailedReReadOfARecordDeletedBehindTheStore",
     Shop(kLinkValues,
          {Select(0), GoTo(M, 2, 0), ODelete(M, 3), ReRead(M, 1), Append(C, 200, 0, "uj")})},
    {"GoOnAnEmptiedRecordType",
     Shop(kLinkValues, {Select(0), ODelete(M, 1), ODelete(M, 2), ODelete(M, 3), Go(0, 0),
                        Append(C, 200, 0, "uj")})},
    // A write of the cache that fails part-way leaves the key it found
    // current, which the navigation follows.
    {"WriteThatFailsPartWay",
     Shop(kCached, {Select(0), Update(M, 7, "x"), ODelete(M, 1), WriteCache(), Restore(),
                    ODelete(M, 2), OInsert(M, 2, 0, 0, "b"), Go(3, 0)})},
    // Decided: a reload, re-read or removal of a parent is refused while a
    // table below it has changes queued, which would go with the records...
    {"ChildChangesQueuedBelowAParentsReReadRemovalAndReload",
     Shop(kCached, {Select(0), Update(C, 7, "x"), ReRead(M, 1), RemoveAt(M, 0), Select(0),
                    WriteCache(), ReRead(M, 1)})},
    // ... a parent whose child outside master-dependency mode holds records
    // under it is not deleted, so the server keeps no child without its parent...
    {"DeleteOfAParentOfAChildOutsideMasterDependency",
     Shop(kDirect, {Select(0), Mode(C, 0), Delete(M, 1), Step(M, 3, 0), Delete(M, 1)})},
    // ... and restoring the backup gives no id out again.
    {"RestoredBackupGivesNoIdAgain",
     Shop(kCached, {Select(0), Append(M, 200, 0, "u"), Step(M, 3, 0), Append(C, 300, 0, "v"),
                    Restore(), Append(M, 201, 0, "w"), WriteCache()})},
    // A child's own write is refused while a record above its group waits
    // to be inserted...
    {"ChildWriteUnderAQueuedParent",
     {kCached, {Append(M, 1, 0, "b"), Append(C, 101, 2, "a"), WriteCache(C)}}},
    {"GrandchildWriteUnderAQueuedChild",
     Shop(kCached, {Select(0), Append(C, 200, 0, "u"), Append(G, 300, 0, "v"), WriteCache(G)})},
    // ... links each record to the parent record it was queued under...
    {"ChildWriteAfterItsParentMoved",
     Shop(kCachedLinkValues,
          {Select(0), Mode(M, 0), Mode(C, 0), Mode(G, 0), Append(M, 5, 0, "e"), GoTo(M, 0, 0),
           Append(C, 200, 0, "a"), Step(M, 2, 0), WriteCache(C)})},
    // ... keeps the backup of a table whose changes in other groups wait,
    // so that no reload drops them and a restore undoes them...
    {"ReloadAfterAChildWroteAnotherGroup",
     Shop(kCached, {Select(0), Update(G, 7, "k"), Step(M, 2, 0), WriteCache(C), SelectNe(0, 99)})},
    {"RestoreAfterAChildWroteAnotherGroup",
     Shop(kCached, {Select(0), Append(M, 4, 0, "b"), Append(C, 105, 2, "b"), RawWalk(1),
                    WriteCache(C), Restore()})},
    // ... of which the written records are part.
    {"RestoreKeepsWhatAChildWrote",
     Shop(kCached, {Select(0), Update(C, 7, "x"), Step(M, 2, 0), Update(C, 8, "y"), WriteCache(C),
                    Restore(), Walk(9)})},
    // A restore takes away the records read under a record it removes.
    {"RestoreOfARecordWithChildrenReadUnderIt",
     Shop(kCached, {Select(0), Append(C, 10, 0, "d"), ReRead(G, 1), Restore()})},
    // A refused insert leaves a child in its group, on its record, whatever
    // its parent stands on.
    {"RefusedChildAppendUnderAParentWithoutChildren",
     Shop(kDirect,
          {Select(0), GoTo(C, 1, 0), SetPosition(M, 2), Append(C, 11, 0, "x"), Update(C, 4, "y")})},
    {"RefusedChildAppendUnderAParentWithAChild",
     Shop(kDirect,
          {Select(0), GoTo(C, 1, 0), SetPosition(M, 1), Append(C, 11, 0, "x"), Update(C, 4, "y")})},
    // A delete after a refused insert deletes the record the table stands
    // on, not the one the caller's values name.
    {"DeleteAfterARefusedInsert",
     Shop(kDirect, {Select(0), GoTo(C, 1, 0), Append(C, 10, 0, "x"), Delete(C, 1)})},
    // A restore after a write that failed below a delete it had stored
    // brings back nothing under the deleted record.
    {"RestoreAfterAWriteThatFailedBelowAStoredDelete",
     Shop(kCached, {Select(0), Delete(G, 1), Delete(G, 1), Delete(C, 1), ODelete(G, 101),
                    WriteCache(), Restore()})},
    // A write refused below a queued delete has not stored that delete, so
    // the record stays on the server and its delete within a write's reach.
    {"RefusedChildDeleteBelowAQueuedParentDelete",
     {kCached,
      {OInsert(M, 7, 0, 3, "b"), OInsert(C, 10, 7, 10, "c"), Select(0), Delete(C, 1), Delete(M, 1),
       ODelete(C, 10), WriteCache(), Restore()}}},
    {"RefusedChildAppendOnTheFirstChild",
     Shop(kDirect,
          {Select(0), GoTo(C, 0, 0), SetPosition(M, 1), Append(C, 11, 0, "x"), Update(C, 4, "y")})},
};

INSTANTIATE_TEST_SUITE_P(Faults, StoreSequenceTest, ::testing::ValuesIn(kSequences),
                         [](const ::testing::TestParamInfo<SequenceCase>& info) {
                           return std::string(info.param.name);
                         });

// ---- Writes that the server refuses part-way ----

// The other login has removed a record whose delete waits below a queued
// delete; the write must leave no record on the server or in a store
// without its parent, and the refused delete queued with what follows it.
struct PartWayCase {
  const char* name;
  std::vector<Op> ops;  // the server's records, then the steps; one of them the write
  int code;             // what the write raised
  std::array<std::vector<int>, kLevels> server;                  // the IDs on the server afterwards
  std::array<std::vector<int>, kLevels> stored;                  // the IDs in each store
  std::array<std::vector<std::pair<int, int>>, kLevels> queued;  // (ID, flags) in each cache
};

void PrintTo(const PartWayCase& c, std::ostream* out) { *out << c.name; }

class PartWayWriteTest : public StoreModelTest, public ::testing::WithParamInterface<PartWayCase> {
 protected:
  // The orphans on the server, in the stores and among the waiting deletes.
  std::string Orphans() {
    std::ostringstream out;
    for (int t = C; t < kLevels; ++t) {
      std::set<int> parents;
      for (const Row& row : ServerRows(t - 1)) parents.insert(row.id);
      for (const Row& row : ServerRows(t))
        if (!parents.count(row.link))
          out << kRecords[t] << " " << Show(row) << " has no parent on the server\n";
      RecHandler& parentStore = tables[t - 1]->Store();
      for (const _RecItemType* item : tables[t]->Store().Items())
        if (!parentStore.Find(item->parentKey))
          out << kLevelNames[t] << ": " << Show(Decode(t, item->record)) << " has no parent\n";
      // A waiting delete is written under its parent record, stored or
      // itself waiting to be deleted.
      for (const auto& [id, key] : tables[t]->DeletedKeys())
        if (!parentStore.Find(key) && !tables[t - 1]->DeletedKeys().count(key)) {
          const _RecCacheType* entry = tables[t]->Cache().Find(id);
          out << kLevelNames[t] << ": the delete of "
              << (entry ? Show(Decode(t, entry->record.data())) : std::to_string(id))
              << " waits where no write reaches\n";
        }
    }
    return out.str();
  }
};

TEST_P(PartWayWriteTest, LeavesNoOrphanAndTheRestQueued) {
  const PartWayCase& c = GetParam();
  Reset(kCached);
  int code = 0;
  for (const Op& op : c.ops) {
    const Outcome outcome = Perform(op);
    if (op.kind == Kind::WriteCache)
      code = outcome.code;
    else
      ASSERT_EQ(outcome.code, 0) << Show(op);
  }
  EXPECT_EQ(code, c.code);
  for (int t = 0; t < kLevels; ++t) {
    SCOPED_TRACE(kRecords[t]);
    std::vector<int> server;
    for (const Row& row : ServerRows(t)) server.push_back(row.id);
    std::sort(server.begin(), server.end());
    EXPECT_EQ(server, c.server[size_t(t)]);
    const std::set<int> stored = StoredIds(t);
    EXPECT_EQ(std::vector<int>(stored.begin(), stored.end()), c.stored[size_t(t)]);
    std::vector<std::pair<int, int>> queued;
    for (const auto& [id, entry] : tables[t]->Cache().Entries())
      queued.emplace_back(Decode(t, entry->record.data()).id, entry->flags);
    std::sort(queued.begin(), queued.end());
    EXPECT_EQ(queued, c.queued[size_t(t)]);
  }
  EXPECT_EQ(Orphans(), "");
}

// MASTER 1 with CHILD 101 and 102; MASTER 2; CHILD 10 with GRAND 100 and 101.
const Op kM1 = OInsert(M, 1, 0, 1, "a"), kM2 = OInsert(M, 2, 0, 2, "b");
const Op kC101 = OInsert(C, 101, 1, 1, "a"), kC102 = OInsert(C, 102, 1, 2, "b");
const Op kC10 = OInsert(C, 10, 1, 1, "a");
const Op kG100 = OInsert(G, 100, 10, 1, "a"), kG101 = OInsert(G, 101, 10, 2, "b");

const PartWayCase kPartWayWrites[] = {
    // The first child's delete is refused: its parent's delete has not gone
    // before it, and the second child stays on the server with its parent.
    {"TwoChildDeletesTheFirstGone",
     {kM1, kC101, kC102, Select(0), Delete(C), GoTo(C, 0, 0), Delete(C), Delete(M), ODelete(C, 101),
      WriteCache()},
     10002,
     {{{1}, {102}, {}}},
     {{{}, {}, {}}},
     {{{{1, 1}}, {{101, 1}, {102, 1}}, {}}}},
    // A restore after it brings every record back; nothing stays queued.
    {"OneChildDeleteGoneThenRestore",
     {kM1, kM2, kC101, Select(0), Delete(C), Delete(M), ODelete(C, 101), WriteCache(), Restore()},
     10002,
     {{{1, 2}, {}, {}}},
     {{{1, 2}, {101}, {}}},
     {{{}, {}, {}}}},
    {"TwoChildDeletesTheFirstGoneThenRestore",
     {kM1, kC101, kC102, Select(0), Delete(C), GoTo(C, 0, 0), Delete(C), Delete(M), ODelete(C, 101),
      WriteCache(), Restore()},
     10002,
     {{{1}, {102}, {}}},
     {{{1}, {101, 102}, {}}},
     {{{}, {}, {}}}},
    // One level down: the child's delete waits for its grandchildren's.
    {"TwoGrandchildDeletesTheFirstGone",
     {kM1, kC10, kG100, kG101, Select(0), Delete(G), GoTo(G, 0, 0), Delete(G), Delete(C),
      ODelete(G, 100), WriteCache()},
     10002,
     {{{1}, {10}, {101}}},
     {{{1}, {}, {}}},
     {{{}, {{10, 1}}, {{100, 1}, {101, 1}}}}},
};

INSTANTIATE_TEST_SUITE_P(Deletes, PartWayWriteTest, ::testing::ValuesIn(kPartWayWrites),
                         [](const ::testing::TestParamInfo<PartWayCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace

// Client-side SQL scripts: the tokenizer, then every statement through the
// statement executor (dispatch, name resolution, WHERE conditions, the
// joined view of a SELECT, the data and schema statements) over a small test
// dictionary, with a fake client library answering every server call, and a
// bounded walk of each result view.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FakeEntries_testutil.h"
#include "RdmSqlExec.h"
#include "RdmSqlParser.h"
#include "TestDictionary_testutil.h"

namespace {

// Bounds the work per input: statements run and rows walked.
constexpr size_t kMaxStatements = 16;
constexpr int kMaxRows = 16;

// DB1: the sample (PERSON, ITEM, EMPTY); SYSDB: the catalogue records that
// the schema statements write; SHOP: a second PERSON and an ORDERS table to join.
struct Databases {
  FakeEntries fake;
  DbDescription db1 = TestDictionary::Sample().Load("DB1", 7, 55);
  DbDescription sysdb = TestDictionary()
                            .Record("dbuser")
                            .Field("userid", 'l', 4, 'u')
                            .Field("type", 'c', 1)
                            .Field("name", 'c', 32, 'u')
                            .Field("psw", 'c', 32)
                            .Field("enabled", 'c', 1)
                            .Record("sequencies")
                            .Field("seq_name", 'c', 32, 'u')
                            .Field("seq_id", 'l', 4)
                            .Field("seq_step", 'l', 4)
                            .Field("seq_max", 'l', 4)
                            .Field("seq_min", 'l', 4)
                            .Field("seq_recycle", 's', 2)
                            .Field("seq_chace", 'l', 4)
                            .Load("SYSDB", 19, 55);
  DbDescription shop = TestDictionary()
                           .Record("PERSON")
                           .Field("ID", 'l', 4, 'u')
                           .Field("NAME", 'c', 21, 'k')
                           .Record("ORDERS")
                           .Field("O_ID", 'l', 4, 'u')
                           .Field("ID", 'l', 4, 'k')
                           .Field("KIND", 's', 2)
                           .CompoundKey("IDKIND", {"ID", "KIND"}, 'k')
                           .Load("SHOP", 20, 55);
  RdmSqlBase::DescriptionMap map{{"DB1", &db1}, {"SHOP", &shop}, {"SYSDB", &sysdb}};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Databases* databases = new Databases;
  RdmSqlParser parser;
  std::vector<RdmSqlStatement> statements;
  try {
    parser.Parse(reinterpret_cast<const char*>(data), static_cast<unsigned>(size), statements);
  } catch (const DbDescError&) {
    return 0;  // 2018, 2019 or 2033
  }
  RdmSqlExec executor;
  for (size_t i = 0; i < statements.size() && i < kMaxStatements; ++i) {
    executor.Execute(databases->map, statements[i]);
    RdmView* view = executor.GetResultView();
    try {
      for (int row = 0; row < kMaxRows && view->Next(); ++row) {
      }
    } catch (const QorExceptBase&) {
      // A store table's refusal while walking is the library's answer.
    }
  }
  databases->fake.ClearLog();
  return 0;
}

// The fetched-record buffer: list requests, moves, removal, sorting, aggregates.
#include <gtest/gtest.h>

#include <cstring>

#include "DbDescription.h"
#include "FakeEntries_testutil.h"
#include "Raised_testutil.h"
#include "TestDictionary_testutil.h"

namespace {

// Records of ROW: N 'i', TAG 'c' 4, D 'd'; 12 bytes each.
struct Row {
  int32_t n;
  std::string tag;
  uint32_t d = 0;
};

std::vector<char> Rows(const std::vector<Row>& rows) {
  std::vector<char> out;
  for (const Row& r : rows) {
    char image[12] = {};
    std::memcpy(image, &r.n, 4);
    std::memcpy(image + 4, r.tag.data(), std::min<size_t>(r.tag.size(), 3));
    std::memcpy(image + 8, &r.d, 4);
    out.insert(out.end(), image, image + 12);
  }
  return out;
}

class FetchedTest : public ::testing::Test {
 protected:
  FakeEntries fake;
  DbDescription d = [] {
    TestDictionary t;
    t.Record("row").Field("n", 'i', 4, 'd').Field("tag", 'c', 4).Field("d", 'd', 4);
    return t.Load("db", 7, 55);
  }();

  void Fetch(const std::vector<Row>& rows, unsigned char move = 5) {
    fake.ScriptBytes("GetAllRec", Rows(rows));
    ASSERT_TRUE(d.FindList("row", "", move));
  }
  std::string N() { return d.GetFieldText(0); }
  std::string Tag() { return d.GetFieldText(1); }
  // The tags of the buffer in order, walked with SetFetchedPos.
  std::string Tags() {
    std::string out;
    for (int i = 0; i < d.GetFetchedCount("row"); ++i) {
      const int keep = d.GetFetchedPos("row");
      d.SetFetchedPos("row", i);
      out += Tag();
      d.SetFetchedPos("row", keep);
    }
    return out;
  }
};

TEST_F(FetchedTest, AllRecordsThenNextToTheEnd) {
  d.SetFieldText(0, "99");
  Fetch({{1, "a"}, {2, "b"}, {3, "c"}});
  EXPECT_EQ(d.GetFetchedPos("row"), -1);
  EXPECT_EQ(N(), "0");
  EXPECT_EQ(fake.Last("GetAllRec").ints, (std::vector<int64_t>{55, 7, 10000, 12}));
  EXPECT_EQ(fake.Outstanding(), 0);

  for (const char* n : {"1", "2", "3"}) {
    EXPECT_TRUE(d.NextFetched("row"));
    EXPECT_EQ(N(), n);
  }
  EXPECT_FALSE(d.NextFetched("row"));
  EXPECT_EQ(N(), "0");
  EXPECT_FALSE(d.NextFetched("row"));
  EXPECT_EQ(d.GetFetchedPos("row"), 4);  // count + 1
  // From past the end, prior lands on count, which is no record; last works.
  EXPECT_FALSE(d.StepFetched(1, "row"));
  EXPECT_EQ(d.GetFetchedPos("row"), 3);
  EXPECT_TRUE(d.StepFetched(3, "row"));
  EXPECT_EQ(N(), "3");
}

TEST_F(FetchedTest, Moves) {
  Fetch({{1, "a"}, {2, "b"}}, 3);
  EXPECT_EQ(N(), "2");
  EXPECT_FALSE(d.StepFetched(2, "row"));  // already on the last
  EXPECT_EQ(d.GetFetchedPos("row"), 1);
  EXPECT_EQ(N(), "0");
  EXPECT_TRUE(d.StepFetched(1, "row"));
  EXPECT_EQ(N(), "1");
  EXPECT_FALSE(d.StepFetched(1, "row"));
  EXPECT_EQ(d.GetFetchedPos("row"), 0);
  EXPECT_TRUE(d.StepFetched(0, "row"));
  EXPECT_FALSE(d.StepFetched(5, "row"));
  EXPECT_EQ(d.GetFetchedPos("row"), -1);
  Raised e = RaisedBy([&] { d.StepFetched(4, "row"); });
  EXPECT_EQ(e.code, 2005);
  EXPECT_EQ(e.args, StringVector("row"));

  EXPECT_TRUE(d.SetFetchedPos("row", 1));
  EXPECT_EQ(N(), "2");
  EXPECT_TRUE(d.SetFetchedPos("row", -1));
  EXPECT_EQ(N(), "0");
  EXPECT_FALSE(d.SetFetchedPos("row", 2));
  EXPECT_FALSE(d.SetFetchedPos("row", -2));
  EXPECT_EQ(d.GetFetchedPos("row"), -1);

  d.ResetFetched(0);
  EXPECT_FALSE(d.StepFetched(4, "row"));  // empty: no move is checked
}

TEST_F(FetchedTest, KeyListsSendTheKeyValue) {
  d.SetFieldText(0, "7");
  fake.ScriptBytes("FindList", Rows({{7, "x"}, {7, "y"}}));
  EXPECT_TRUE(d.FindList("row", "n", 0));
  auto call = fake.Last("FindList");
  EXPECT_EQ(call.ints, (std::vector<int64_t>{55, 12, 7, 10000, 0}));
  EXPECT_EQ(call.bytes, Rows({{7, ""}}));
  EXPECT_EQ(Tag(), "x");
  EXPECT_EQ(d.GetFetchedCount("row"), 2);

  fake.ScriptBytes("FindGreater", Rows({{8, "z"}}));
  EXPECT_TRUE(d.FindGreater("row", "n", 0));
  EXPECT_EQ(Tag(), "z");
  EXPECT_EQ(fake.Outstanding(), 0);

  Raised e = RaisedBy([&] { d.FindGreater("row", "", 0); });
  EXPECT_EQ(e.code, 2003);
  EXPECT_EQ(e.args, (StringVector() << "row" << ""));
}

TEST_F(FetchedTest, WithoutFreePtrAGreaterListKeepsACopyAndSaysSo) {
  fake.Remove("FreePtr");
  fake.ScriptBytes("FindGreater", Rows({{8, "z"}, {9, "y"}}));
  Raised e = RaisedBy([&] { d.FindGreater("row", "n", 0); });
  EXPECT_EQ(e.code, 10038);
  EXPECT_EQ(e.args, StringVector("pfFreePtr"));
  EXPECT_EQ(d.GetFetchedCount("row"), 2) << "stored before the entry is missed";
}

TEST_F(FetchedTest, AFailedListEmptiesTheBufferAndZeroesTheValues) {
  struct Case {
    int status;
    bool throws;
  } cases[] = {{10002, false}, {10010, true}};
  for (const Case& c : cases) {
    Fetch({{1, "a"}}, 0);
    fake.Script("FindList", FakeEntries::Reply{c.status, std::vector<char>(12, 1), {}});
    if (c.throws) {
      Raised e = RaisedBy([&] { d.FindList("row", "n", 0); });
      EXPECT_EQ(e.code, c.status);
      EXPECT_EQ(e.args, (StringVector() << "row" << "n"));
    } else {
      EXPECT_FALSE(d.FindList("row", "n", 0));
    }
    EXPECT_EQ(d.GetFetchedCount("row"), 0);
    EXPECT_EQ(N(), "0");
    // A buffer handed out with a failure is released too.
    EXPECT_EQ(fake.Outstanding(), 0);
  }
}

TEST(FetchedEntriesTest, ListEntriesAreCheckedBeforeAnything) {
  DbDescription d = TestDictionary::Sample().Load();
  for (const char* entry : {"FindList", "FreePtr", "GetAllRec"}) {
    FakeEntries fake;
    fake.Remove(entry);
    // the record alone would give 2002
    Raised e = RaisedBy([&] { d.FindList("nobody", "", 0); });
    EXPECT_EQ(e.code, 10038);
    EXPECT_EQ(e.args, StringVector(std::string("pf") + entry));
  }
}

TEST_F(FetchedTest, GetAllRecNotEqualKeepsTheOthers) {
  d.SetFieldText(0, "2");
  fake.ScriptBytes("GetAllRec", Rows({{1, "a"}, {2, "b"}, {3, "c"}, {2, "d"}}));
  EXPECT_TRUE(d.GetAllRecNotEqual("row", "n", 0));
  EXPECT_EQ(d.GetFetchedCount("row"), 2);
  EXPECT_EQ(Tags(), "ac");
  EXPECT_EQ(fake.Outstanding(), 0);
  EXPECT_EQ(fake.Calls("FreePtr"), 1);
}

TEST_F(FetchedTest, FindLocateAndRemove) {
  Fetch({{1, "a"}, {2, "b"}, {2, "c"}, {3, "d"}}, 0);
  EXPECT_EQ(d.FindFetched("row", "n", "2", 0), 1);
  EXPECT_EQ(d.FindFetched("row", "n", "2", 2), 2);
  EXPECT_EQ(d.FindFetched("row", "n", "2", 3), -1);
  EXPECT_EQ(d.FindFetched("row", "n", "2", -1), -1);
  EXPECT_EQ(Tag(), "a");  // the current record is unpacked again
  EXPECT_TRUE(d.LocateFetched("row", "tag", "d", 0));
  EXPECT_EQ(d.GetFetchedPos("row"), 3);
  EXPECT_FALSE(d.LocateFetched("row", "tag", "D", 0));  // exact text
  EXPECT_EQ(d.RemoveFetchedMatch("row", "n", "2", 0), 1);
  EXPECT_EQ(Tags(), "acd");
  EXPECT_EQ(d.GetFetchedPos("row"), 2);  // followed its record
  EXPECT_EQ(Tag(), "d");
}

TEST_F(FetchedTest, RemovingMovesTheCurrentRecordSensibly) {
  struct Case {
    const char* what;
    int current, remove;
    int expectPos;
    const char* expectTag;  // current values afterwards ("" for zero)
    const char* expectTags;
  } cases[] = {
      {"current in the middle", 1, 1, 1, "c", "ac"},
      {"current last", 2, 2, 1, "b", "ab"},
      {"before current", 2, 0, 1, "c", "bc"},
      {"after current", 0, 2, 0, "a", "ab"},
  };
  for (const Case& c : cases) {
    Fetch({{1, "a"}, {2, "b"}, {3, "c"}});
    d.SetFetchedPos("row", c.current);
    EXPECT_TRUE(d.RemoveFetched("row", c.remove)) << c.what;
    EXPECT_EQ(d.GetFetchedPos("row"), c.expectPos) << c.what;
    EXPECT_EQ(Tag(), c.expectTag) << c.what;
    EXPECT_EQ(Tags(), c.expectTags) << c.what;
  }
  Fetch({{1, "a"}}, 0);
  EXPECT_FALSE(d.RemoveFetched("row", 1));
  EXPECT_FALSE(d.RemoveFetched("row", -1));
  EXPECT_TRUE(d.RemoveFetched("row", 0));
  EXPECT_EQ(d.GetFetchedCount("row"), 0);
  EXPECT_EQ(N(), "0");
  EXPECT_FALSE(d.StepFetched(0, "row"));
}

TEST_F(FetchedTest, RemoveAllMatchesIncludingAdjacentOnes) {
  Fetch({{1, "a"}, {2, "b"}, {2, "c"}, {2, "d"}, {3, "e"}, {2, "f"}});
  d.RemoveFetchedMatches("row", "n", "2", 0);
  EXPECT_EQ(Tags(), "ae");
}

TEST_F(FetchedTest, SortIsStableAndDescendingIsItsExactReverse) {
  Fetch({{2, "a"}, {1, "b"}, {2, "c"}}, 0);
  d.SortFetched("row", "n", false);
  EXPECT_EQ(Tags(), "bac");
  EXPECT_EQ(Tag(), "b");  // position 0 stays current, now another record
  EXPECT_EQ(d.GetSortField("row"), "N");

  Fetch({{2, "a"}, {1, "b"}, {2, "c"}});
  d.SortFetched("row", "n", true);
  EXPECT_EQ(Tags(), "cab");
  EXPECT_EQ(N(), "0");  // no current record
  // Without a field name the last sort field is used again.
  d.SortFetched("row", "", false);
  EXPECT_EQ(Tags(), "bca");

  // A list request empties the sort field.
  Fetch({{1, "x"}});
  EXPECT_EQ(d.GetSortField("row"), "");
  EXPECT_THROW(d.SortFetched("row", "zz", false), DbDescError);
}

TEST_F(FetchedTest, SortingByACharacterFieldIgnoresCase) {
  Fetch({{1, "b"}, {2, "A"}, {3, "a"}, {4, "C"}});
  d.SortFetched("row", "tag", false);
  EXPECT_EQ(Tags(), "AabC");
}

TEST_F(FetchedTest, Aggregates) {
  struct Case {
    int code;
    const char* onEmpty;
    const char* onRows;
  } cases[] = {{0, "0", "3"}, {1, "0", "6"}, {2, "0", "2"}, {3, "0", "3"}, {4, "0", "1"}};
  for (const Case& c : cases) {
    d.ResetFetched(0);
    EXPECT_EQ(d.Aggregate("row", "n", c.code), c.onEmpty) << c.code;
    Fetch({{2, "a"}, {3, "b"}, {1, "c"}});
    EXPECT_EQ(d.Aggregate("row", "n", c.code), c.onRows) << c.code;
    EXPECT_EQ(d.GetFetchedPos("row"), -1);  // aggregates do not move
  }
  Fetch({{1, "a"}, {2, "b"}});
  EXPECT_EQ(d.Aggregate("row", "n", 2), "1.5");
  Raised e = RaisedBy([&] { d.Aggregate("row", "n", 5); });
  EXPECT_EQ(e.code, 2007);
  EXPECT_EQ(e.args, StringVector("row"));
}

TEST_F(FetchedTest, UnsignedAggregatesStayUnsigned) {
  Fetch({{1, "a", 4000000000u}, {2, "b", 1000000000u}});
  EXPECT_EQ(d.Aggregate("row", "d", 1), "5e+09");
  // 'd' values are not comparable.
  EXPECT_THROW(d.Aggregate("row", "d", 3), DbDescError);
}

TEST_F(FetchedTest, CopiesKeepTheirOwnFetchedRecords) {
  Fetch({{1, "a"}, {2, "b"}}, 0);
  DbDescription copy(d);
  d.RemoveFetched("row", 0);
  EXPECT_EQ(copy.GetFetchedCount("row"), 2);
  EXPECT_TRUE(copy.StepFetched(2, "row"));
  EXPECT_EQ(copy.GetFieldText(1), "b");
}

}  // namespace

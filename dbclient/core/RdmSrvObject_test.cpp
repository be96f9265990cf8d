// Bookmarks and cursors: shared server objects and the cursor's key switch.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "FakeEntries_testutil.h"
#include "Raised_testutil.h"
#include "RdmBookmark.h"
#include "RdmCursor.h"
#include "TestDictionary_testutil.h"

namespace {

class SrvObjectTest : public ::testing::Test {
 protected:
  FakeEntries fake;
  DbDescription d = TestDictionary::Sample().Load("db", 7, 55);
};

TEST_F(SrvObjectTest, CopiesOfABookmarkDropItOnce) {
  fake.ScriptValue("BookmarkCreate", 17);
  std::optional<RdmBookmark> first(std::in_place);
  ASSERT_EQ(first->Open(&d, "item"), 0);
  EXPECT_EQ(fake.Last("BookmarkCreate").ints, (std::vector<int64_t>{55, 7, 10001}));
  std::optional<RdmBookmark> second(*first);
  RdmBookmark third;
  third = *second;
  EXPECT_EQ(third.GetServerId(), 17);

  first.reset();
  second.reset();
  EXPECT_EQ(fake.Calls("BookmarkDrop"), 0);
  EXPECT_EQ(third.Release(), 0);
  EXPECT_EQ(fake.Calls("BookmarkDrop"), 1);
  EXPECT_EQ(fake.Last("BookmarkDrop").ints, (std::vector<int64_t>{55, 17}));
  EXPECT_EQ(third.Release(), 0);
  EXPECT_EQ(fake.Calls("BookmarkDrop"), 1);
}

TEST_F(SrvObjectTest, AssigningReleasesTheOldShare) {
  fake.ScriptValue("BookmarkCreate", 1);
  fake.ScriptValue("BookmarkCreate", 2);
  RdmBookmark a, b;
  a.Open(&d, "item");
  b.Open(&d, "person");
  a = b;
  EXPECT_EQ(fake.Calls("BookmarkDrop"), 1);
  EXPECT_EQ(fake.Last("BookmarkDrop").ints[1], 1);
  a = a;
  EXPECT_EQ(a.GetServerId(), 2);
  // Reopening lets go of the old bookmark first.
  fake.ScriptValue("BookmarkCreate", 3);
  b.Open(&d, "person");
  EXPECT_EQ(fake.Calls("BookmarkDrop"), 1);  // a still holds 2
  EXPECT_EQ(b.GetServerId(), 3);
  // Reopened on another connection, a drops its old bookmark on the first.
  DbDescription other = TestDictionary::Sample().Load("db2", 8, 66);
  fake.ScriptValue("BookmarkCreate", 4);
  a.Open(&other, "person");
  EXPECT_EQ(fake.Last("BookmarkDrop").ints, (std::vector<int64_t>{55, 2}));
  EXPECT_EQ(fake.Last("BookmarkCreate").ints, (std::vector<int64_t>{66, 8, 10000}));
}

TEST_F(SrvObjectTest, AFailedCreationHoldsNothing) {
  // The failing call still wrote an id: it must not be dropped later.
  fake.ScriptValue("BookmarkCreate", 44, 10016);
  {
    RdmBookmark b;
    EXPECT_EQ(b.Open(&d, "item"), 10016);
    EXPECT_EQ(b.GetServerId(), -1);
    RdmBookmark copy(b);
    EXPECT_EQ(copy.GetServerId(), -1);
    EXPECT_EQ(b.Mark(), 2034);
    EXPECT_EQ(copy.GoTo(), 2034);
  }
  EXPECT_EQ(fake.Calls("BookmarkDrop"), 0);

  // A creation that throws leaves nothing behind either.
  RdmBookmark b;
  EXPECT_THROW(b.Open(&d, "nobody"), DbDescError);
  EXPECT_EQ(b.GetServerId(), -1);
  fake.Remove("BookmarkCreate");
  EXPECT_THROW(b.Open(&d, "item"), DbDescError);
  EXPECT_EQ(b.Release(), 0);
}

TEST_F(SrvObjectTest, AnUnopenedCursorRefusesToStepWith2011) {
  RdmCursor c;
  EXPECT_EQ(RaisedBy([&] { c.Step(2); }).code, 2011);
}

TEST_F(SrvObjectTest, MarkAndGoTo) {
  RdmBookmark empty;
  EXPECT_EQ(empty.Mark(), 2034);
  EXPECT_EQ(RaisedBy([&] { empty.GetDescription(); }).code, 2011);

  fake.ScriptValue("BookmarkCreate", 9);
  RdmBookmark b;
  b.Open(&d, "item");
  EXPECT_EQ(b.GetDescription(), &d);
  EXPECT_EQ(b.Mark(), 0);
  fake.SetStatus("BookmarkOperation", 10062);
  EXPECT_EQ(b.GoTo(), 10062);
  auto ops = fake.CallsOf("BookmarkOperation");
  ASSERT_EQ(ops.size(), 2u);
  EXPECT_EQ(ops[0].ints, (std::vector<int64_t>{55, 9, 0}));
  EXPECT_EQ(ops[1].ints, (std::vector<int64_t>{55, 9, 1}));
}

TEST_F(SrvObjectTest, ADropThatFailsDoesNotEscapeTheDestructor) {
  fake.ScriptValue("BookmarkCreate", 9);
  {
    RdmBookmark b;
    b.Open(&d, "item");
    fake.Remove("BookmarkDrop");
  }
  SUCCEED();
}

class CursorTest : public SrvObjectTest {
 protected:
  // PERSON's image with the id given.
  std::vector<char> Person(int32_t id) {
    std::vector<char> image(17, 0);
    std::memcpy(image.data(), &id, 4);
    return image;
  }
  std::vector<int64_t> KeysDefined() {
    std::vector<int64_t> keys;
    for (const auto& c : fake.CallsOf("DefineKey")) keys.push_back(c.ints[3]);
    return keys;
  }
};

TEST_F(CursorTest, StepsAlongItsKeyAndPutsTheKeyBack) {
  d.DefineKey("person", "id");
  fake.ClearLog();
  RdmCursor c;
  EXPECT_EQ(c.Open(&d, "person", "name"), 0);
  EXPECT_TRUE(fake.Log().empty());

  fake.ScriptBytes("NextRec", Person(5));
  EXPECT_EQ(c.Step(2), 0);
  EXPECT_EQ(d.GetFieldText(0), "5");
  fake.SetStatus("NextRec", 10002);
  EXPECT_EQ(c.Step(2), 10002);
  // NAME (2) for each step, then ID (0) again.
  EXPECT_EQ(KeysDefined(), (std::vector<int64_t>{2, 0, 2, 0}));
  EXPECT_EQ(d.GetKeyName("person"), "ID");
}

TEST_F(CursorTest, TheKeyComesBackWhenTheStepThrows) {
  RdmCursor c;
  c.Open(&d, "person", "name");
  EXPECT_THROW(c.Step(7), DbDescError);  // no such direction
  fake.SetStatus("FirstRec", 10015);
  EXPECT_THROW(c.Step(0), DbDescError);
  EXPECT_EQ(d.GetKeyName("person"), "");
  EXPECT_EQ(KeysDefined(), (std::vector<int64_t>{2, 1, 2, 1}));
}

TEST_F(CursorTest, ACursorLivesOnlyOnTheClient) {
  {
    RdmCursor c;
    c.Open(&d, "person", "name");
    RdmCursor copy(c);
    RdmCursor other;
    other = copy;
    EXPECT_EQ(copy.Release(), 0);
  }
  EXPECT_TRUE(fake.Log().empty());
  RdmCursor unopened;
  EXPECT_THROW(unopened.Step(0), DbDescError);
}

}  // namespace

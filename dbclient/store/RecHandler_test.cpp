// The record store and the write cache: ids, groups, copies and merging.
#include "RecHandler.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "CacheHandler.h"

namespace {

// The record-length (4) bytes of a stored record.
std::string Bytes(const _RecItemType* item) { return std::string(item->record, 4); }

std::vector<int> Ids(const RecListType& list) {
  std::vector<int> ids;
  for (const _RecItemType* item : list) ids.push_back(item->id);
  return ids;
}

// Every operation of a list, from empty and one record (kept in place) to
// many, against a vector holding the same records.
TEST(RecListTest, BehavesAsAVectorOfItsRecords) {
  _RecItemType items[8];
  RecListType list;
  std::vector<_RecItemType*> model;
  auto same = [&](const char* step) {
    ASSERT_EQ(list.size(), model.size()) << step;
    EXPECT_EQ(list.empty(), model.empty()) << step;
    EXPECT_EQ(std::vector<_RecItemType*>(list.begin(), list.end()), model) << step;
    const RecListType copy = list;
    EXPECT_EQ(std::vector<_RecItemType*>(copy.begin(), copy.end()), model) << step;
    if (!model.empty()) {
      EXPECT_EQ(list.front(), model.front()) << step;
      EXPECT_EQ(list.back(), model.back()) << step;
      EXPECT_EQ(list[model.size() - 1], model.back()) << step;
    }
  };
  auto push = [&](int i) {
    list.push_back(&items[i]);
    model.push_back(&items[i]);
  };
  auto erase = [&](size_t index) {
    const auto at = list.erase(list.begin() + index);
    model.erase(model.begin() + std::ptrdiff_t(index));
    EXPECT_EQ(at - list.begin(), std::ptrdiff_t(index));
  };
  same("empty");
  push(0);
  same("one");
  erase(0);
  same("one erased");
  push(1);
  list.pop_back();
  model.pop_back();
  same("one popped");
  for (int i = 0; i < 8; ++i) push(i);
  same("eight");
  erase(0);
  erase(6);
  erase(2);
  same("erased at both ends and inside");
  list.EraseIf([&](const _RecItemType* item) { return item == &items[3] || item == &items[5]; });
  model.erase(std::remove(model.begin(), model.end(), &items[3]), model.end());
  model.erase(std::remove(model.begin(), model.end(), &items[5]), model.end());
  same("dropped");
  while (model.size() > 1) erase(0);
  same("down to one");
  list.EraseIf([](const _RecItemType*) { return false; });
  same("none dropped");
  list.EraseIf([](const _RecItemType*) { return true; });
  model.clear();
  same("all dropped");
  push(4);
  list.EraseIf([](const _RecItemType*) { return true; });
  model.clear();
  same("the one dropped");
  push(2);
  push(3);
  list.clear();
  model.clear();
  same("cleared");
  push(6);
  same("one again");
}

class RecHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store.SetRecordLength(4);
    store.Add(5, "aaaaXX");
    store.Add(-1, "bbbbXX");
    store.Add(5, "ccccXX");
  }
  RecHandler store;
};

TEST_F(RecHandlerTest, IdsFollowTheOrderOfAddAndGroupsFollowTheParentKey) {
  EXPECT_EQ(Ids(store.Items()), (std::vector<int>{0, 1, 2}));
  ASSERT_EQ(store.GroupCount(), 2u);
  EXPECT_EQ(Ids(store.FindGroup(-1)->items), (std::vector<int>{1}));
  EXPECT_EQ(Ids(store.FindGroup(5)->items), (std::vector<int>{0, 2}));
  // Exactly the record length is copied.
  EXPECT_EQ(Bytes(store.Items()[2]), "cccc");
  EXPECT_EQ(store.Items()[2]->parentKey, 5);
}

TEST_F(RecHandlerTest, AGroupOutlivesItsLastRecord) {
  store.Remove(0);
  store.Remove(2);
  store.Remove(42);
  EXPECT_EQ(Ids(store.Items()), (std::vector<int>{1}));
  ASSERT_NE(store.FindGroup(5), nullptr);
  EXPECT_TRUE(store.FindGroup(5)->items.empty());
  EXPECT_EQ(store.Add(5, "dddd")->id, 3);
}

TEST_F(RecHandlerTest, RemovalFromEitherEndOrTheMiddleKeepsTheOrderOfTheRest) {
  for (int i = 3; i < 12; ++i) store.Add(i % 2 == 0 ? 5 : -1, "zzzz");
  // Oldest and newest alternately, then one from the middle.
  for (int id : {0, 11, 1, 10, 6}) store.Remove(id);
  EXPECT_EQ(Ids(store.Items()), (std::vector<int>{2, 3, 4, 5, 7, 8, 9}));
  EXPECT_EQ(Ids(store.FindGroup(5)->items), (std::vector<int>{2, 4, 8}));
  EXPECT_EQ(Ids(store.FindGroup(-1)->items), (std::vector<int>{3, 5, 7, 9}));
  // Emptied from the front and filled again.
  for (int id : {2, 3, 4, 5, 7, 8, 9}) store.Remove(id);
  EXPECT_TRUE(store.Items().empty());
  store.Add(5, "yyyy");
  EXPECT_EQ(Ids(store.Items()), (std::vector<int>{12}));
  EXPECT_EQ(Ids(store.FindGroup(5)->items), (std::vector<int>{12}));
}

TEST_F(RecHandlerTest, EveryRecordKeepsItsOwnBytesAcrossBlocksAndFreedSlots) {
  auto image = [](int id) { return std::to_string(1000 + id); };  // four bytes naming the id
  for (int id = 3; id < 300; ++id) store.Add(id % 7, image(id).c_str());
  for (int id = 3; id < 300; id += 3) store.Remove(id);
  store.RemoveItems(store.FindGroup(2)->items);
  // These take the freed slots first.
  for (int id = 300; id < 400; ++id) store.Add(id % 7, image(id).c_str());
  std::vector<int> expected = {0, 1, 2};
  for (int id = 3; id < 400; ++id) {
    const bool removed = id < 300 && (id % 3 == 0 || id % 7 == 2);
    if (!removed) expected.push_back(id);
  }
  EXPECT_EQ(Ids(store.Items()), expected);
  for (const _RecItemType* item : store.Items())
    if (item->id >= 3) {
      EXPECT_EQ(Bytes(item), image(item->id));
    }
}

TEST_F(RecHandlerTest, RemoveItemsTakesAGroupOutInOnePass) {
  store.Add(-1, "dddd");
  store.RemoveItems(store.FindGroup(5)->items);
  EXPECT_EQ(Ids(store.Items()), (std::vector<int>{1, 3}));
  ASSERT_NE(store.FindGroup(5), nullptr);
  EXPECT_TRUE(store.FindGroup(5)->items.empty());
  EXPECT_EQ(Ids(store.FindGroup(-1)->items), (std::vector<int>{1, 3}));
}

TEST_F(RecHandlerTest, ClearRestartsTheIdsAndKeepsTheLength) {
  store.Clear();
  EXPECT_TRUE(store.Items().empty());
  EXPECT_EQ(store.GroupCount(), 0u);
  EXPECT_EQ(store.Add(1, "eeee")->id, 0);
  EXPECT_EQ(store.GetRecordLength(), 4);
}

TEST_F(RecHandlerTest, AssignCopiesDeeplyWithEachGroupsOwnOrderAndSortField) {
  store.Remove(1);  // group -1 stays, empty
  _MapItemType* group = store.FindGroup(5);
  std::swap(group->items[0], group->items[1]);  // as a sort of that group leaves it
  group->sortField = "NAME";
  RecHandler copy;
  copy.Assign(store);
  EXPECT_EQ(Ids(copy.Items()), (std::vector<int>{0, 2}));
  EXPECT_EQ(copy.GetNextId(), 3);
  EXPECT_EQ(copy.GetRecordLength(), 4);
  ASSERT_EQ(copy.GroupCount(), 2u);
  EXPECT_TRUE(copy.FindGroup(-1)->items.empty());
  EXPECT_EQ(Ids(copy.FindGroup(5)->items), (std::vector<int>{2, 0}));
  EXPECT_EQ(copy.FindGroup(5)->sortField, "NAME");
  EXPECT_EQ(copy.FindGroup(-1)->sortField, "");
  // Own buffers, same bytes.
  EXPECT_NE(copy.Items()[0], store.Items()[0]);
  EXPECT_EQ(Bytes(copy.Items()[0]), Bytes(store.Items()[0]));
  copy.Items()[0]->record[0] = 'z';
  EXPECT_EQ(store.Items()[0]->record[0], 'a');
  EXPECT_EQ(copy.FindGroup(5)->items[1], copy.Items()[0]);
}

TEST(CacheHandlerTest, MergeOrsTheFlagsAndTakesTheNewerCopy) {
  CacheHandler cache;
  cache.SetRecordLength(3);
  cache.Add(kCacheAppend, 7, "old!");
  _RecCacheType* merged = cache.Merge(kCacheUpdate, 7, "new!");
  ASSERT_NE(merged, nullptr);
  EXPECT_EQ(merged->flags, kCacheAppend | kCacheUpdate);
  EXPECT_EQ(merged->record, (std::vector<char>{'n', 'e', 'w'}));
  EXPECT_EQ(cache.Merge(kCacheDelete, 8, "xxx"), nullptr);
  EXPECT_FALSE(cache.Contains(8));
  EXPECT_EQ(cache.Entries().size(), 1u);
}

TEST(CacheHandlerTest, TakeHandsTheEntryOverAndAssignCopiesInIdOrder) {
  CacheHandler cache;
  cache.SetRecordLength(2);
  cache.Add(kCacheDelete, 9, "ab");
  cache.Add(kCacheAppend, 3, "cd");
  CacheHandler copy;
  copy.Assign(cache);
  std::vector<long> ids;
  for (const auto& [id, entry] : copy.Entries()) ids.push_back(entry->id);
  EXPECT_EQ(ids, (std::vector<long>{3, 9}));
  EXPECT_NE(copy.Find(9), cache.Find(9));
  EXPECT_EQ(copy.Find(9)->record, cache.Find(9)->record);

  std::unique_ptr<_RecCacheType> taken = cache.Take(9);
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(taken->flags, kCacheDelete);
  EXPECT_FALSE(cache.Contains(9));
  EXPECT_EQ(cache.Take(9), nullptr);
  cache.Remove(3);
  cache.Remove(3);
  EXPECT_TRUE(cache.IsEmpty());
  EXPECT_EQ(copy.Entries().size(), 2u);
}

}  // namespace

#include "QoContainers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(QoMapTest, GetOfAMissingKeyThrowsCode8) {
  QoMap<std::string, int> map;
  map.Insert("A", 1);
  EXPECT_EQ(map.Get("A"), 1);
  try {
    map.Get("B");
    FAIL() << "no exception";
  } catch (const QoMapExcept& e) {
    EXPECT_EQ(e.GetCode(), 8);
  }
  const auto& constMap = map;
  EXPECT_THROW(constMap.Get("B"), QoMapExcept);
  EXPECT_EQ(map.count("B"), 0u) << "a failed lookup must not insert";
}

TEST(QoMapTest, GetGivesTheStoredValueAndInsertKeepsTheFirst) {
  QoMap<std::string, int> map;
  EXPECT_TRUE(map.Insert("A", 1));
  EXPECT_FALSE(map.Insert("A", 2));
  EXPECT_EQ(map.Get("A"), 1);
  map.Get("A") = 5;
  EXPECT_EQ(map.at("A"), 5);
}

TEST(QoMapTest, StringKeysAscendInByteOrder) {
  QoMap<std::string, int> map;
  for (const char* key : {"á", "a", "B", "Z", "_"}) map.Insert(key, 0);
  std::vector<std::string> keys;
  for (const auto& [key, value] : map) keys.push_back(key);
  // 'á' is 0xE1 in Windows-1250, after every ASCII letter.
  EXPECT_EQ(keys, (std::vector<std::string>{"B", "Z", "_", "a", "á"}));
}

TEST(QoSetTest, AddAndContains) {
  QoSet<int> set;
  set.Add(5).Add(3).Add(5);
  EXPECT_EQ(set.size(), 2u);
  EXPECT_TRUE(set.Contains(5));
  EXPECT_TRUE(set.Contains(3));
  EXPECT_FALSE(set.Contains(0));
  QoSet<int> init{5};
  EXPECT_TRUE(init.Contains(5));
}

}  // namespace

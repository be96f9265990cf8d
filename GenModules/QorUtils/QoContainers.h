// The library's containers: the standard ones with a few checked helpers.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "QoMapExcept.h"

template <class T, class Alloc = std::allocator<T>>
class QoVector : public std::vector<T, Alloc> {
 public:
  using std::vector<T, Alloc>::vector;
};

template <class Key, class Value, class Less = std::less<Key>,
          class Alloc = std::allocator<std::pair<const Key, Value>>>
class QoMap : public std::map<Key, Value, Less, Alloc> {
 public:
  using std::map<Key, Value, Less, Alloc>::map;

  // The value under key; a missing key throws QoMapExcept.
  Value& Get(const Key& key) {
    auto it = this->find(key);
    if (it == this->end()) throw QoMapExcept();
    return it->second;
  }
  const Value& Get(const Key& key) const {
    auto it = this->find(key);
    if (it == this->end()) throw QoMapExcept();
    return it->second;
  }
  // True when the key was new; an existing value is left as it was.
  bool Insert(const Key& key, const Value& value) { return this->emplace(key, value).second; }
};

template <class T, class Less = std::less<T>, class Alloc = std::allocator<T>>
class QoSet : public std::set<T, Less, Alloc> {
 public:
  using std::set<T, Less, Alloc>::set;

  QoSet& Add(const T& value) {
    this->insert(value);
    return *this;
  }
  bool Contains(const T& value) const { return this->find(value) != this->end(); }
};

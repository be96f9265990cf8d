// A stand-in for the client library in unit tests. While an instance lives,
// every entry of GlobalFncLoader is one of its fakes; the destructor puts
// the previous entries back. Only one instance may live at a time.
//
// Each fake logs its call (integer arguments, texts, input bytes), takes the
// next scripted reply of its entry or else the entry's fixed status (0 by
// default), and hands out what the reply holds:
//  - reply bytes become a buffer it allocates for every char** / void** output
//    (for FindRec, FindRecNext, NewRec, ModRec and DelRec they are written
//    into the caller's image instead, at most len bytes); list and image
//    entries report the byte count through their size output; GetServerParam
//    adds a NUL;
//  - a reply value is written to every other integer output (ids, counts,
//    handles, the server time).
// Buffers are counted, and FreePtr counts what comes back.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "FncLoader.h"

class FakeEntries {
 public:
  struct Reply {
    int status = 0;
    std::optional<std::vector<char>> bytes;
    std::optional<int64_t> value;
  };
  struct Call {
    std::string entry;
    std::vector<int64_t> ints;       // integer arguments in order
    std::vector<std::string> texts;  // text arguments in order
    std::vector<char> bytes;         // the image or block passed in
  };

  FakeEntries();
  ~FakeEntries();
  FakeEntries(const FakeEntries&) = delete;
  FakeEntries& operator=(const FakeEntries&) = delete;

  // The status an entry answers when nothing is scripted for it.
  void SetStatus(const std::string& entry, int status);
  // Replies taken one per call, in order, before the fixed status.
  void Script(const std::string& entry, Reply reply);
  void ScriptBytes(const std::string& entry, std::vector<char> bytes, int status = 0);
  void ScriptValue(const std::string& entry, int64_t value, int status = 0);
  // The entry becomes null, as in a library that lacks it.
  void Remove(const std::string& entry);

  int Calls(const std::string& entry) const;
  std::vector<Call> CallsOf(const std::string& entry) const;
  // The entry's last call; an empty call when there was none.
  Call Last(const std::string& entry) const;
  const std::vector<Call>& Log() const { return m_log; }
  void ClearLog() { m_log.clear(); }

  // FreePtr calls, buffers handed out and not freed yet, and frees of
  // pointers this fake never handed out (or handed out and freed already).
  int Frees() const { return m_frees; }
  int Outstanding() const { return int(m_live.size()); }
  int BadFrees() const { return m_badFrees; }

  // For the fakes themselves.
  static FakeEntries& Current();
  Reply Take(const std::string& entry);
  void Record(Call call) { m_log.push_back(std::move(call)); }
  char* Hand(const std::vector<char>& bytes, bool addNul = false);
  void Free(void* p);

 private:
  struct Saved;
  std::unique_ptr<Saved> m_saved;
  bool m_madeLoader = false;
  std::map<std::string, int> m_status;
  std::map<std::string, std::deque<Reply>> m_script;
  std::vector<Call> m_log;
  std::set<void*> m_live;
  int m_frees = 0;
  int m_badFrees = 0;
};

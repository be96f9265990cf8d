#include "FakeEntries_testutil.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <type_traits>

namespace {

FakeEntries* g_current = nullptr;

using Reply = FakeEntries::Reply;
using Call = FakeEntries::Call;

template <class T>
void Note(Call& call, Reply& reply, FakeEntries& fake, T arg) {
  if constexpr (std::is_integral_v<T>) {
    call.ints.push_back(int64_t(arg));
  } else if constexpr (std::is_same_v<T, const char*>) {
    call.texts.push_back(arg ? arg : "");
  } else if constexpr (std::is_same_v<T, char**> || std::is_same_v<T, void**>) {
    if (arg && reply.bytes) *arg = fake.Hand(*reply.bytes);
  } else if constexpr (std::is_same_v<T, int32_t*> || std::is_same_v<T, time_t*>) {
    if (arg && reply.value) *arg = std::remove_pointer_t<T>(*reply.value);
  }
  // Other pointers (callbacks, cookies, blocks) are passed through unread.
}

template <const char* Name, class Fn>
struct Generic;

template <const char* Name, class... A>
struct Generic<Name, int (*)(A...)> {
  static int Fn(A... args) {
    FakeEntries& fake = FakeEntries::Current();
    Reply reply = fake.Take(Name);
    Call call;
    call.entry = Name;
    (Note(call, reply, fake, args), ...);
    fake.Record(std::move(call));
    return reply.status;
  }
};

#define QOR_FAKE_NAME(name, bytes, params) constexpr char kName_##name[] = #name;
QORDBCLI_ENTRIES(QOR_FAKE_NAME)
#undef QOR_FAKE_NAME

std::vector<char> Block(const void* p, int64_t n) {
  if (!p || n <= 0) return {};
  const char* c = static_cast<const char*>(p);
  return std::vector<char>(c, c + n);
}

// The reply's bytes as a new buffer at out, their count at size.
template <class Out>
void HandOut(FakeEntries& fake, const Reply& reply, Out** out, int32_t* size) {
  if (!reply.bytes || !out) return;
  *out = fake.Hand(*reply.bytes);
  if (size) *size = int32_t(reply.bytes->size());
}

int FakeFreePtr(void* buffer) {
  FakeEntries& fake = FakeEntries::Current();
  Reply reply = fake.Take("FreePtr");
  fake.Free(buffer);
  fake.Record(Call{"FreePtr", {}, {}, {}});
  return reply.status;
}

// The caller's image in, the record found or stored back into it.
template <const char* Name>
int FakeImageInOut(int32_t h, int32_t db, int32_t rt, int32_t len, char** buffer) {
  FakeEntries& fake = FakeEntries::Current();
  Reply reply = fake.Take(Name);
  Call call{Name, {h, db, rt, len}, {}, {}};
  if (buffer && *buffer) {
    call.bytes = Block(*buffer, len);
    if (reply.bytes)
      std::memcpy(*buffer, reply.bytes->data(), std::min<size_t>(size_t(std::max(len, 0)), reply.bytes->size()));
  }
  fake.Record(std::move(call));
  return reply.status;
}

template <const char* Name>
int FakeKeyList(int32_t h, int32_t* size, char** keyImage, char** list, int32_t db, int32_t rt,
                int32_t keyField) {
  FakeEntries& fake = FakeEntries::Current();
  Reply reply = fake.Take(Name);
  Call call{Name, {h, size ? *size : -1, db, rt, keyField}, {}, {}};
  if (keyImage && size) call.bytes = Block(*keyImage, *size);
  HandOut(fake, reply, list, size);
  fake.Record(std::move(call));
  return reply.status;
}

int FakeGetAllRec(int32_t h, int32_t db, int32_t rt, int32_t* size, char** list) {
  FakeEntries& fake = FakeEntries::Current();
  Reply reply = fake.Take("GetAllRec");
  Call call{"GetAllRec", {h, db, rt, size ? *size : -1}, {}, {}};
  HandOut(fake, reply, list, size);
  fake.Record(std::move(call));
  return reply.status;
}

int FakeGetDbDescription(int32_t h, int32_t db, char** image, int32_t* size) {
  FakeEntries& fake = FakeEntries::Current();
  Reply reply = fake.Take("GetDbDescription");
  HandOut(fake, reply, image, size);
  fake.Record(Call{"GetDbDescription", {h, db}, {}, {}});
  return reply.status;
}

int FakeGetServerParam(int32_t h, const char* name, char** text) {
  FakeEntries& fake = FakeEntries::Current();
  Reply reply = fake.Take("GetServerParam");
  if (reply.bytes && text) *text = fake.Hand(*reply.bytes, true);
  fake.Record(Call{"GetServerParam", {h}, {name ? name : ""}, {}});
  return reply.status;
}

int FakeCallExtFnc(int32_t h, const char* package, const char* function, const void* input,
                   void** output, int32_t* size) {
  FakeEntries& fake = FakeEntries::Current();
  Reply reply = fake.Take("CallExtFnc");
  Call call{"CallExtFnc", {h, size ? *size : -1}, {package ? package : "", function ? function : ""},
            Block(input, size ? *size : 0)};
  HandOut(fake, reply, output, size);
  // A value overrides the reported size, for lengths that do not match.
  if (reply.value && size) *size = int32_t(*reply.value);
  fake.Record(std::move(call));
  return reply.status;
}

int FakeInitUserEx(int32_t h, const void* userBlock) {
  FakeEntries& fake = FakeEntries::Current();
  Reply reply = fake.Take("InitUserEx");
  Call call{"InitUserEx", {h}, {}, {}};
  // The block states its own size in its first four bytes.
  if (userBlock) {
    int32_t n;
    std::memcpy(&n, userBlock, sizeof n);
    if (n >= 4 && n <= 4096) call.bytes = Block(userBlock, n);
  }
  fake.Record(std::move(call));
  return reply.status;
}

int FakeSetCode(int32_t h, int32_t length, const char* code) {
  FakeEntries& fake = FakeEntries::Current();
  Reply reply = fake.Take("SetCode");
  fake.Record(Call{"SetCode", {h, length}, {}, Block(code, length)});
  return reply.status;
}

}  // namespace

struct FakeEntries::Saved {
#define QOR_FAKE_SAVED(name, bytes, params) QorFn_##name pf##name;
  QORDBCLI_ENTRIES(QOR_FAKE_SAVED)
#undef QOR_FAKE_SAVED
};

FakeEntries::FakeEntries() {
  if (g_current) throw std::logic_error("one FakeEntries at a time");
  m_saved = std::make_unique<Saved>();
  if (!GlobalFncLoader) {
    GlobalFncLoader = new FncLoader(false);
    m_madeLoader = true;
  }
  FncLoader& l = *GlobalFncLoader;
#define QOR_FAKE_INSTALL(name, bytes, params) \
  m_saved->pf##name = l.pf##name;             \
  l.pf##name = &Generic<kName_##name, QorFn_##name>::Fn;
  QORDBCLI_ENTRIES(QOR_FAKE_INSTALL)
#undef QOR_FAKE_INSTALL
  l.pfFreePtr = &FakeFreePtr;
  l.pfFindRec = &FakeImageInOut<kName_FindRec>;
  l.pfFindRecNext = &FakeImageInOut<kName_FindRecNext>;
  l.pfNewRec = &FakeImageInOut<kName_NewRec>;
  l.pfModRec = &FakeImageInOut<kName_ModRec>;
  l.pfDelRec = &FakeImageInOut<kName_DelRec>;
  l.pfFindList = &FakeKeyList<kName_FindList>;
  l.pfFindGreater = &FakeKeyList<kName_FindGreater>;
  l.pfFindLess = &FakeKeyList<kName_FindLess>;
  l.pfFindListOr = &FakeKeyList<kName_FindListOr>;
  l.pfGetAllRec = &FakeGetAllRec;
  l.pfGetDbDescription = &FakeGetDbDescription;
  l.pfGetServerParam = &FakeGetServerParam;
  l.pfCallExtFnc = &FakeCallExtFnc;
  l.pfInitUserEx = &FakeInitUserEx;
  l.pfSetCode = &FakeSetCode;
  g_current = this;
}

FakeEntries::~FakeEntries() {
  FncLoader& l = *GlobalFncLoader;
#define QOR_FAKE_RESTORE(name, bytes, params) l.pf##name = m_saved->pf##name;
  QORDBCLI_ENTRIES(QOR_FAKE_RESTORE)
#undef QOR_FAKE_RESTORE
  if (m_madeLoader) {
    delete GlobalFncLoader;
    GlobalFncLoader = nullptr;
  }
  for (void* p : m_live) std::free(p);
  g_current = nullptr;
}

FakeEntries& FakeEntries::Current() {
  if (!g_current) throw std::logic_error("no FakeEntries installed");
  return *g_current;
}

void FakeEntries::SetStatus(const std::string& entry, int status) { m_status[entry] = status; }

void FakeEntries::Script(const std::string& entry, Reply reply) {
  m_script[entry].push_back(std::move(reply));
}

void FakeEntries::ScriptBytes(const std::string& entry, std::vector<char> bytes, int status) {
  Reply r;
  r.status = status;
  r.bytes = std::move(bytes);
  Script(entry, std::move(r));
}

void FakeEntries::ScriptValue(const std::string& entry, int64_t value, int status) {
  Reply r;
  r.status = status;
  r.value = value;
  Script(entry, std::move(r));
}

void FakeEntries::Remove(const std::string& entry) {
#define QOR_FAKE_REMOVE(name, bytes, params) \
  if (entry == #name) {                      \
    GlobalFncLoader->pf##name = nullptr;     \
    return;                                  \
  }
  QORDBCLI_ENTRIES(QOR_FAKE_REMOVE)
#undef QOR_FAKE_REMOVE
  throw std::invalid_argument("no such entry: " + entry);
}

int FakeEntries::Calls(const std::string& entry) const {
  int n = 0;
  for (const Call& c : m_log) n += c.entry == entry;
  return n;
}

std::vector<FakeEntries::Call> FakeEntries::CallsOf(const std::string& entry) const {
  std::vector<Call> out;
  for (const Call& c : m_log)
    if (c.entry == entry) out.push_back(c);
  return out;
}

FakeEntries::Call FakeEntries::Last(const std::string& entry) const {
  for (auto it = m_log.rbegin(); it != m_log.rend(); ++it)
    if (it->entry == entry) return *it;
  return Call{};
}

FakeEntries::Reply FakeEntries::Take(const std::string& entry) {
  auto queued = m_script.find(entry);
  if (queued != m_script.end() && !queued->second.empty()) {
    Reply r = std::move(queued->second.front());
    queued->second.pop_front();
    return r;
  }
  Reply r;
  auto fixed = m_status.find(entry);
  if (fixed != m_status.end()) r.status = fixed->second;
  return r;
}

char* FakeEntries::Hand(const std::vector<char>& bytes, bool addNul) {
  const size_t n = bytes.size() + (addNul ? 1 : 0);
  char* p = static_cast<char*>(std::malloc(n ? n : 1));
  if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
  if (addNul) p[bytes.size()] = 0;
  m_live.insert(p);
  return p;
}

void FakeEntries::Free(void* p) {
  ++m_frees;
  auto it = m_live.find(p);
  if (it == m_live.end()) {
    ++m_badFrees;
    return;
  }
  std::free(p);
  m_live.erase(it);
}

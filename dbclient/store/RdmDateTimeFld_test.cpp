// The date-time field against the real client library and a server made for
// the test: binding, the field written on every set and read on every get,
// and the server's clock.
#include "RdmDateTimeFld.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "DbDescMap.h"
#include "FncLoader.h"
#include "Raised_testutil.h"
#include "TQoLogin.h"
#include "TestServer.h"

namespace {

const char* kStamp = R"(database STAMP id 30
record EVENT
  EV_ID  l unique
  AT     F
end
)";

// A server with STAMP, logged in and opened; the process time zone is
// Central European for the test and put back afterwards.
class DateTimeFldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!GlobalFncLoader || !GlobalFncLoader->hModule)
      GTEST_SKIP() << "the client library is not next to the tests";
    const char* tz = std::getenv("TZ");
    if (tz) m_oldTz = tz;
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    server.emplace();
    server->AddDatabase(kStamp);
    server->AddUser("ADMIN", "ADMIN");
    QorClientConfig client;
    client.name = "STAMP";
    server->AddClient(client);
    ASSERT_TRUE(login.Login("STAMP", "ADMIN", "ADMIN", false, ""));
    map.SetHandle(login.GetHandle());
    map.OpenAll(0);
    stamp = map.GetDescription("STAMP");
  }
  void TearDown() override {
    if (m_oldTz) {
      setenv("TZ", m_oldTz->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

  // The buffer's number; its text is the double's text ("20240115120000.").
  double Stored() const {
    return std::strtod(stamp.GetFieldTextByName("EVENT", "AT").c_str(), nullptr);
  }
  RdmFld At(bool detached = false) { return RdmFld(&stamp, "EVENT", "AT", detached); }

  std::optional<QorTestServer> server;
  TQoLogin login;
  DbDescMap map;
  DbDescription stamp;

 private:
  std::optional<std::string> m_oldTz;
};

// The UTC parts of t as yyyymmddhhmmss.
double UtcDigits(time_t t) {
  QorDateTime value;
  value.SetUnixTime(t);
  return value.ToDouble();
}

TEST_F(DateTimeFldTest, BindingTakesTheFieldsNumberWithoutWritingIt) {
  At().SetDouble(20240315103000.0);
  RdmDateTimeFld bound(At(), true);
  EXPECT_EQ(bound.ToDouble(), 20240315103000.0);
  // A field holding 0 binds to an empty value.
  At().SetDouble(0);
  RdmDateTimeFld empty(At(), true);
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_EQ(empty.ToDouble(), 0.0);
}

TEST_F(DateTimeFldTest, DetachedServerTimeIsTheServersClockInUtcPartsAndLeavesTheBuffer) {
  At().SetDouble(19991231235959.0);
  RdmDateTimeFld now(At(), true);
  const time_t before = std::time(nullptr);
  now.SetServerTime();
  const time_t after = std::time(nullptr);
  const double value = now.ToDouble();
  EXPECT_GE(value, UtcDigits(before));
  EXPECT_LE(value, UtcDigits(after));
  EXPECT_EQ(Stored(), 19991231235959.0);
}

TEST_F(DateTimeFldTest, BoundServerTimeWritesLocalWallClockDigitsAndReadsBackTheSameInstant) {
  RdmDateTimeFld bound(At(), false);
  const time_t before = std::time(nullptr);
  bound.SetServerTime();
  const time_t after = std::time(nullptr);
  // The buffer holds the local wall-clock text: one or two hours ahead here.
  QorDateTime local;
  local.SetUnixTime(before);
  const double wallBefore = local.ToDoubleEx(true);
  local.SetUnixTime(after);
  const double wallAfter = local.ToDoubleEx(true);
  const double stored = Stored();
  EXPECT_GE(stored, wallBefore);
  EXPECT_LE(stored, wallAfter);
  // Read back, the value is the instant it was given, not shifted by the offset.
  EXPECT_GE(bound.ToDouble(), UtcDigits(before));
  EXPECT_LE(bound.ToDouble(), UtcDigits(after));
  const time_t read = bound.ToUnixTime();
  EXPECT_GE(read, before);
  EXPECT_LE(read, after);
}

TEST_F(DateTimeFldTest, EverySetWritesTheFieldAndEveryGetReloadsIt) {
  struct Case {
    double field;  // local wall-clock digits in the buffer
    double utc;    // the value read from them
  };
  const Case cases[] = {
      {20240115120000.0, 20240115110000.0},  // winter: UTC+1
      {20240715120000.0, 20240715100000.0},  // summer: UTC+2
      {20240101003000.0, 20231231233000.0},  // across the year's end
      {0.0, 0.0},                            // no date
  };
  RdmDateTimeFld bound(At(), false);
  for (const Case& c : cases) {
    At().SetDouble(c.field);
    EXPECT_EQ(bound.ToDouble(), c.utc) << c.field;
    // Written back from the value, the buffer holds what it held.
    At().SetDouble(1);
    EXPECT_TRUE(bound.AssignDouble(c.utc, true));
    EXPECT_EQ(Stored(), c.field) << c.field;
    EXPECT_EQ(bound.ToDouble(), c.utc) << c.field;
  }
}

TEST_F(DateTimeFldTest, AValueReadAndWrittenBackLeavesTheFieldAsItWas) {
  At().SetDouble(20240715120000.0);
  RdmDateTimeFld bound(At(), false);
  EXPECT_TRUE(bound.AssignDouble(bound.ToDouble(), true));
  EXPECT_EQ(Stored(), 20240715120000.0);
  // The instant read is the one the field's wall-clock digits name.
  EXPECT_EQ(bound.ToUnixTime(), time_t(1721037600));  // 2024-07-15 10:00 UTC
  EXPECT_TRUE(bound.FromUnixTime(bound.ToUnixTime(), false, true));
  EXPECT_EQ(Stored(), 20240715120000.0);
}

TEST_F(DateTimeFldTest, DetachedValuesNeitherWriteNorRead) {
  At().SetDouble(20240115120000.0);
  RdmDateTimeFld detached(At(), true);
  detached.SetUnixTime(0);
  EXPECT_EQ(Stored(), 20240115120000.0);
  At().SetDouble(20250101000000.0);
  EXPECT_EQ(detached.ToDouble(), 19700101000000.0);
}

TEST_F(DateTimeFldTest, AnInvalidNumberInTheFieldRaises18AndKeepsTheValue) {
  At().SetDouble(20240115120000.0);
  RdmDateTimeFld bound(At(), false);
  EXPECT_EQ(bound.ToDouble(), 20240115110000.0);
  At().SetDouble(20241399000000.0);
  EXPECT_EQ(RaisedBy([&] { bound.ToDouble(); }).code, 18);
  EXPECT_EQ(RaisedBy([&] { RdmDateTimeFld again(At(), false); }).code, 18);
  At().SetDouble(20240115120000.0);
  bound.SetDate(2030, 1, 1, true);  // no hook: stays in the object only
  EXPECT_EQ(bound.ToDouble(), 20240115110000.0);
}

TEST_F(DateTimeFldTest, ServerClockFailuresLeaveTheValue) {
  RdmDateTimeFld detached(At(), true);
  detached.AssignDouble(20200202020202.0, false);
  const QorFn_GetServerTime saved = GlobalFncLoader->pfGetServerTime;
  GlobalFncLoader->pfGetServerTime = nullptr;
  const Raised missing = RaisedBy([&] { detached.SetServerTime(); });
  GlobalFncLoader->pfGetServerTime = saved;
  EXPECT_EQ(missing.code, 10038);
  EXPECT_EQ(missing.args, StringVector("pfGetServerTime"));
  const Raised refused = RaisedBy([&] { ReadServerClock(detached, 4711); });
  EXPECT_EQ(refused.code, 10015);
  EXPECT_TRUE(refused.args.empty());
  EXPECT_EQ(detached.ToDouble(), 20200202020202.0);
}

// Without a description: bound reads fail, and the clock is the local one.
TEST(DateTimeFldWithoutOwnerTest, BoundReadsFailAndTheServerTimeIsTheLocalClock) {
  const RdmFld loose("EVENT", "AT", 'F', 8, false);
  RdmDateTimeFld bound(loose, false);
  EXPECT_EQ(bound.ToDouble(), -1.0);
  EXPECT_EQ(bound.ToUnixTime(), -1);
  EXPECT_FALSE(bound.FromUnixTime(0, false, false));
  EXPECT_FALSE(bound.AssignDouble(20240101000000.0, true));

  RdmDateTimeFld detached(loose, true);
  const time_t before = std::time(nullptr);
  detached.SetServerTime();
  const time_t after = std::time(nullptr);
  EXPECT_GE(detached.ToUnixTime(), before);
  EXPECT_LE(detached.ToUnixTime(), after);
}

}  // namespace

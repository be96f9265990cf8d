#include "LoginFixture_testutil.h"

#include <gtest/gtest.h>

#include <string>

#include "TRdmLogin.h"

TestDictionary SysDbCatalogue(bool withBuild) {
  TestDictionary d;
  d.Record("tablespace")
      .Field("dbid", 'l', 4)
      .Field("name", 'c', 32, 'u')
      .Field("vermajor", 'l', 4)
      .Field("verminor", 'l', 4)
      .Field("versub", 'l', 4);
  if (withBuild) d.Field("verbuild", 'l', 4);
  d.Record("dbuser")
      .Field("NAME", 'c', 32, 'u')
      .Field("psw", 'c', 32)
      .Field("userid", 'l', 4)
      .Field("enabled", 'c', 1);
  return d;
}

std::array<int32_t, 4> VersionOf(const DbDescription& d) {
  std::array<int32_t, 4> v{};
  d.GetVersion(v[0], v[1], v[2], v[3]);
  return v;
}

std::function<void(win::DialogDriver&)> TypeLogin(const char* user, const char* password,
                                                  const char* database) {
  const std::string u = user, p = password, db = database;
  return [=](win::DialogDriver& d) {
    d.Backspace(TRdmLogin::kUserEdit);
    d.Type(TRdmLogin::kUserEdit, u);
    d.Backspace(TRdmLogin::kPasswordEdit);
    d.Type(TRdmLogin::kPasswordEdit, p);
    d.Choose(TRdmLogin::kDatabaseList, db);
    EXPECT_TRUE(d.Press(win::IDOK));
  };
}

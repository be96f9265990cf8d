#include "WinModule.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace win {
namespace {

TEST(WinModule, PlainEntryNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"_FindRec@20", "FindRec"}, {"_FreePtr@4", "FreePtr"}, {"FindRec", "FindRec"},
      {"_Plain", "Plain"},        {"Name@x", "Name@x"},      {"_@8", "_"},
      {"__x@0", "_x"},            {"", ""},
  };
  for (const auto& [decorated, plain] : cases) EXPECT_EQ(PlainEntryName(decorated), plain) << decorated;
}

TEST(WinModule, ExecutableFolderIsWhereThisProgramLies) {
  const std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(std::filesystem::equivalent(folder, std::filesystem::canonical("/proc/self/exe").parent_path()));
}

// The test module is built next to this program, which is not on the search
// path: finding it proves the program's folder is searched.
TEST(WinModule, LoadsFromTheProgramFolderUnderEveryNameForm) {
  for (const char* name : {"qorwintestmod", "qorwintestmod.dll", "qorwintestmod.DLL", "QorWinTestMod.dll",
                           "libqorwintestmod.so"}) {
    HMODULE module = LoadModule(name);
    ASSERT_NE(module, nullptr) << name;
    auto findRec = reinterpret_cast<int (*)(int, int, int, int, int)>(GetEntry(module, "_FindRec@20"));
    ASSERT_NE(findRec, nullptr);
    EXPECT_EQ(findRec(1, 2, 3, 4, 5), 15);
    auto plain = reinterpret_cast<int (*)()>(GetEntry(module, "Plain"));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain(), 42);
    FreeModule(module);
  }
  HMODULE byPath = LoadModule((ExecutableFolder() + "/libqorwintestmod.so").c_str());
  EXPECT_NE(byPath, nullptr);
  FreeModule(byPath);
}

TEST(WinModule, MissingModulesAndEntriesAreSilentNulls) {
  EXPECT_EQ(LoadModule("no_such_module_anywhere"), nullptr);
  EXPECT_EQ(LoadModule(""), nullptr);
  EXPECT_EQ(LoadModule(nullptr), nullptr);
  EXPECT_EQ(LoadModule("/nonexistent/libx.so"), nullptr);
  HMODULE module = LoadModule("qorwintestmod");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetEntry(module, "_GetServerParam@12"), nullptr);
  EXPECT_EQ(GetEntry(module, ""), nullptr);
  EXPECT_EQ(GetEntry(module, nullptr), nullptr);
  // Defined by the C library the module depends on, not by the module.
  EXPECT_EQ(GetEntry(module, "_malloc@4"), nullptr);
  EXPECT_EQ(GetEntry(nullptr, "_FindRec@20"), nullptr);
  FreeModule(module);
  FreeModule(nullptr);
}

TEST(WinModule, FallsBackToTheSearchPath) {
  HMODULE libc = LoadModule("libc.so.6");
  ASSERT_NE(libc, nullptr);
  auto pid = reinterpret_cast<pid_t (*)()>(GetEntry(libc, "_getpid@0"));
  ASSERT_NE(pid, nullptr);
  EXPECT_EQ(pid(), getpid());
  FreeModule(libc);
}

}  // namespace
}  // namespace win

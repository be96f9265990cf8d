#include "WinHost.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "WinMemory.h"

namespace win {
namespace {

TEST(WinHost, RealFactsUnlessReplaced) {
  EXPECT_EQ(ProcessId(), static_cast<DWORD>(getpid()));
  EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
  EXPECT_FALSE(ComputerName().empty());
  SetProcessIdForTesting(4711);
  SetComputerNameForTesting("PC-17");
  EXPECT_EQ(GetCurrentProcessId(), 4711u);
  EXPECT_EQ(ComputerName(), "PC-17");
  SetProcessIdForTesting(std::nullopt);
  SetComputerNameForTesting(std::nullopt);
  EXPECT_EQ(ProcessId(), static_cast<DWORD>(getpid()));
}

// The login asks with a 15-byte buffer, so 14 characters fit and 15 do not.
TEST(WinHost, GetComputerNameFailsWhenTheNameDoesNotFit) {
  struct Case {
    const char* name;
    BOOL ok;
    DWORD sizeAfter;
  } cases[] = {
      {"ABCDEFGHIJKLMN", TRUE, 14},
      {"ABCDEFGHIJKLMNO", FALSE, 16},
      {"", TRUE, 0},
  };
  for (const auto& c : cases) {
    SetComputerNameForTesting(c.name);
    char buffer[15];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    DWORD size = sizeof buffer;
    EXPECT_EQ(GetComputerNameA(buffer, &size), c.ok) << c.name;
    EXPECT_EQ(size, c.sizeAfter) << c.name;
    if (c.ok) {
      EXPECT_STREQ(buffer, c.name);
    }
  }
  SetComputerNameForTesting(std::nullopt);
  EXPECT_FALSE(GetComputerNameA(nullptr, nullptr));
}

TEST(WinMemory, BlocksAreZeroFilledLockableAndBounded) {
  HLOCAL block = LocalAlloc(LHND, 64);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(LocalSize(block), 64u);
  auto* p = static_cast<unsigned char*>(LocalLock(block));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(p[i], 0) << i;
  EXPECT_EQ(LocalBytesFrom(p), 64u);
  EXPECT_EQ(LocalBytesFrom(p + 60), 4u);
  EXPECT_EQ(LocalBytesFrom(p + 64), 0u);
  int onStack = 0;
  EXPECT_EQ(LocalBytesFrom(&onStack), 0u);
  EXPECT_FALSE(LocalUnlock(block));  // last lock released
  EXPECT_FALSE(LocalUnlock(block));  // not locked any more
  EXPECT_EQ(LocalFree(block), nullptr);
  EXPECT_EQ(LocalBytesFrom(p), 0u);
  EXPECT_EQ(LocalLock(block), nullptr);
  EXPECT_EQ(LocalFree(block), block);  // no longer a block
  EXPECT_EQ(LocalFree(nullptr), nullptr);
}

TEST(WinMemory, FailureHooksFailOnce) {
  FailNextLocalAllocForTesting();
  EXPECT_EQ(LocalAlloc(LHND, 8), nullptr);
  HLOCAL block = LocalAlloc(LHND, 8);
  ASSERT_NE(block, nullptr);
  FailNextLocalLockForTesting();
  EXPECT_EQ(LocalLock(block), nullptr);
  EXPECT_NE(LocalLock(block), nullptr);
  LocalUnlock(block);
  LocalFree(block);
}

}  // namespace
}  // namespace win

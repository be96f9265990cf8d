// The buffers handed to callers: a builder's bytes arrive whole, in order,
// as one buffer that FreePtr accepts; every buffer stays its caller's until
// released, however many come and go meanwhile.
#include "BufferRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(BufferBuilder, GrowsThroughManyPiecesIntoOneRegisteredBuffer) {
  const int64_t before = qordb::OutstandingBuffers();
  qordb::BufferBuilder builder;
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    const std::string piece = std::to_string(i) + ";";
    builder.Append(piece.data(), piece.size());
    expected += piece;
  }
  ASSERT_EQ(builder.Size(), expected.size());
  char* p = builder.Release();
  EXPECT_EQ(builder.Size(), 0u);
  EXPECT_EQ(std::string(p, expected.size()), expected);
  EXPECT_EQ(qordb::OutstandingBuffers(), before + 1);
  EXPECT_TRUE(qordb::FreeBuffer(p));
  EXPECT_EQ(qordb::OutstandingBuffers(), before);
}

TEST(BufferBuilder, BytesNeverReleasedAreNotHandedOut) {
  const int64_t before = qordb::OutstandingBuffers();
  {
    qordb::BufferBuilder builder;
    builder.Append("abc", 3);
  }
  EXPECT_EQ(qordb::OutstandingBuffers(), before);
}

TEST(BufferRegistry, ManyBuffersStayIntactAndAreReleasedOnceEach) {
  const int64_t before = qordb::OutstandingBuffers();
  std::mt19937 rng(19);
  struct Held {
    char* p;
    std::string bytes;
  };
  std::vector<Held> held;
  // Buffers come and go in a shuffled order, so that the released ones are
  // handed out again while others are still held.
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 500; ++i) {
      std::string bytes(1 + rng() % 5000, char('a' + i % 26));
      held.push_back({qordb::AllocCopy(bytes.data(), bytes.size()), bytes});
    }
    std::shuffle(held.begin(), held.end(), rng);
    for (size_t i = 0; i < held.size() / 2; ++i) {
      EXPECT_EQ(std::string(held.back().p, held.back().bytes.size()), held.back().bytes);
      char* p = held.back().p;
      EXPECT_TRUE(qordb::FreeBuffer(p));
      EXPECT_FALSE(qordb::FreeBuffer(p)) << "released twice";
      held.pop_back();
    }
  }
  EXPECT_EQ(qordb::OutstandingBuffers(), before + static_cast<int64_t>(held.size()));
  char foreign[8];
  EXPECT_FALSE(qordb::FreeBuffer(foreign));
  EXPECT_FALSE(qordb::FreeBuffer(nullptr));
  for (const Held& h : held) {
    EXPECT_EQ(std::string(h.p, h.bytes.size()), h.bytes);
    EXPECT_TRUE(qordb::FreeBuffer(h.p));
  }
  EXPECT_EQ(qordb::OutstandingBuffers(), before);
}

}  // namespace

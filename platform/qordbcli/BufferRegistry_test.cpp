// The buffers handed to callers: a builder's bytes arrive whole, in order,
// as one buffer that FreePtr accepts.
#include "BufferRegistry.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace

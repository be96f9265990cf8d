#include "SecurityCode.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Encoded(const Code& code, std::string text) {
  code.Encode(static_cast<unsigned>(text.size()), text.data());
  return Bytes(text.begin(), text.end());
}

TEST(SecurityCode, ScramblesKnownNames) {
  struct Case {
    const char* text;
    Bytes expected;
  };
  const Case cases[] = {
      {"ADMIN", {0x05, 0x88, 0x4D, 0x92, 0x27}},
      {"SYSADM", {0x4D, 0x2B, 0x53, 0x82, 0x22, 0xA6}},
      // Longer than the key: the ninth byte takes the first digit again.
      {"AAAAAAAAA", {0x05, 0x28, 0x41, 0x82, 0xA0, 0xA0, 0x0A, 0x14, 0x05}},
      {"", {}},
  };
  SecurityCode code;
  for (const Case& c : cases) {
    EXPECT_EQ(Encoded(code, c.text), c.expected) << c.text;
  }
}

TEST(SecurityCode, DecodeInvertsEncodeForEveryLength) {
  std::mt19937 random(20261210);
  SecurityCode fixed;
  Code odd(5, "9x0-8");  // digits that rotate by 1 and 0, and characters below '0'
  Code wide(3, "~Z7");   // characters far above '9' rotate by their remainder
  const Code* codes[] = {&fixed, &odd, &wide};
  for (const Code* code : codes) {
    for (unsigned length = 0; length <= 40; ++length) {
      std::string original(length, '\0');
      for (char& c : original) c = static_cast<char>(random() & 0xFF);
      std::string buffer = original;
      code->Encode(length, buffer.data());
      code->Decode(length, buffer.data());
      EXPECT_EQ(buffer, original) << "length " << length;
    }
  }
}

TEST(SecurityCode, NeverTurnsAByteIntoNul) {
  SecurityCode code;
  for (unsigned position = 0; position < 8; ++position) {
    for (int b = 1; b < 256; ++b) {
      std::string buffer(position + 1, 'A');
      buffer[position] = static_cast<char>(b);
      code.Encode(static_cast<unsigned>(buffer.size()), buffer.data());
      EXPECT_NE(buffer[position], '\0') << "byte " << b << " at " << position;
    }
  }
}

TEST(Code, RotatesByTheDigitAtEachPosition) {
  struct Case {
    short keyLength;
    const char* key;
    Bytes input;
    Bytes expected;
  };
  const Case cases[] = {
      // Digit 1: the lowest bit becomes the highest.
      {1, "1", {0x01, 0x03}, {0x80, 0x81}},
      // Digits 0 and 8 leave a byte as it is; 9 acts as 1.
      {3, "089", {0x5A, 0x5A, 0x01}, {0x5A, 0x5A, 0x80}},
      // A key text shorter than its length is zero-filled: those positions do not rotate.
      {4, "1", {0x01, 0x01, 0x01, 0x01, 0x01}, {0x80, 0x01, 0x01, 0x01, 0x80}},
      // No key at all, an empty key and a negative length: nothing changes.
      {0, "123", {0x01, 0x02}, {0x01, 0x02}},
      {-1, "123", {0x01, 0x02}, {0x01, 0x02}},
      {-32768, "123", {0x01, 0x02}, {0x01, 0x02}},
      {2, nullptr, {0x01, 0x02}, {0x01, 0x02}},
  };
  for (const Case& c : cases) {
    Code code(c.keyLength, c.key);
    std::string buffer(c.input.begin(), c.input.end());
    code.Encode(static_cast<unsigned>(buffer.size()), buffer.data());
    EXPECT_EQ(Bytes(buffer.begin(), buffer.end()), c.expected) << "key length " << c.keyLength;
    code.Decode(static_cast<unsigned>(buffer.size()), buffer.data());
    EXPECT_EQ(Bytes(buffer.begin(), buffer.end()), c.input) << "key length " << c.keyLength;
  }
}

TEST(Code, SetKeyReplacesTheKey) {
  Code code(1, "1");
  EXPECT_EQ(code.SetKey(1, "2"), 0);
  std::string buffer(1, '\x04');
  code.Encode(1, buffer.data());
  EXPECT_EQ(static_cast<unsigned char>(buffer[0]), 0x01);

  EXPECT_EQ(code.SetKey(-5, "2"), 0);
  code.Encode(1, buffer.data());
  EXPECT_EQ(static_cast<unsigned char>(buffer[0]), 0x01);
}

TEST(Code, NullBufferIsIgnored) {
  SecurityCode code;
  code.Encode(5, nullptr);
  code.Decode(5, nullptr);
}

}  // namespace

#include "UserInfoBlock.h"

#include <cstring>

void UserInfoBlock::Clear() { std::memset(bytes, 0, Size); }

void UserInfoBlock::PutByte(std::size_t at, unsigned char value) { bytes[at] = value; }

void UserInfoBlock::PutUInt32(std::size_t at, uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t UserInfoBlock::GetUInt32(std::size_t at) const {
  uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
  return value;
}

void UserInfoBlock::PutText(std::size_t at, const char* text) {
  std::memset(bytes + at, 0, TextFieldSize);
  if (text == nullptr) return;
  std::size_t n = strnlen(text, TextFieldSize - 1);
  std::memcpy(bytes + at, text, n);
}

std::string UserInfoBlock::GetText(std::size_t at) const {
  const char* start = reinterpret_cast<const char*>(bytes + at);
  return std::string(start, strnlen(start, TextFieldSize));
}

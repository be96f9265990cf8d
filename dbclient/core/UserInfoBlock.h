// The user-information record that a login sends to the client library.
//
// The client library reads it as 211 raw bytes, so it is kept as bytes and
// every value is written byte by byte (integers little-endian, texts
// NUL-terminated inside their 32-byte field); every byte not written is 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct UserInfoBlock {
  static constexpr std::size_t Size = 211;
  static constexpr std::size_t TextFieldSize = 32;

  // Offsets of the values.
  static constexpr std::size_t SizeAt = 0;
  static constexpr std::size_t VersionAt = 4;
  static constexpr std::size_t UserAt = 8;
  static constexpr std::size_t ComputerAt = 40;
  static constexpr std::size_t ServerAt = 72;
  static constexpr std::size_t ServiceAt = 104;
  static constexpr std::size_t ReservedAt = 136;  // always the empty text
  static constexpr std::size_t OpenmodeAt = 168;
  static constexpr std::size_t UseBlobAt = 200;
  static constexpr std::size_t UseLockAt = 201;
  static constexpr std::size_t EnableEventsAt = 202;
  static constexpr std::size_t ProcessIdAt = 203;
  static constexpr std::size_t TimeoutAt = 207;

  unsigned char bytes[Size];

  void Clear();
  void PutByte(std::size_t at, unsigned char value);
  void PutUInt32(std::size_t at, uint32_t value);
  uint32_t GetUInt32(std::size_t at) const;
  // Writes at most 31 characters and the NUL; a longer text is cut, so the
  // field always stays terminated.
  void PutText(std::size_t at, const char* text);
  // The text of a 32-byte field, up to its NUL (or the field's end).
  std::string GetText(std::size_t at) const;
};

static_assert(sizeof(UserInfoBlock) == UserInfoBlock::Size, "the client library reads 211 bytes");

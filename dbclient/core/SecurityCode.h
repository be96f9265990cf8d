// Scrambling of the user names and passwords that SYSDB "dbuser" stores.
//
// Code rotates every byte by the key digit at its position (right to
// encode, left to decode), reusing the key from its first digit when the
// text is longer. A rotation never turns a non-zero byte into 0, so a
// scrambled text stays a NUL-ended text of the same length.
#pragma once

#include <memory>

class Code {
 public:
  Code(short keyLength, const char* key);
  Code(const Code&) = delete;
  Code& operator=(const Code&) = delete;
  ~Code();

  // Replaces the key with a zero-filled copy of at most length characters.
  // A length of 0 or less leaves no key, so Encode and Decode change nothing.
  // Returns 0, or 10016 when the key cannot be allocated.
  int SetKey(short length, const char* key);

  void Encode(unsigned length, char* buffer) const;
  void Decode(unsigned length, char* buffer) const;

 private:
  // Rotation of the byte at position i, 0 to 7; 0 when the digit asks for none.
  unsigned Rotation(unsigned i) const;
  // Rotates every byte by its key digit, right for Encode, left for Decode.
  void Rotate(unsigned length, char* buffer, bool right) const;

  std::unique_ptr<char[]> key_;
  short keyLength_ = 0;
};

// Code with the system's fixed key, as the catalogue's user rows use it.
class SecurityCode : public Code {
 public:
  SecurityCode();
};

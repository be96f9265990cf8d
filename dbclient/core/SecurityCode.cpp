#include "SecurityCode.h"

#include <cstring>
#include <new>

Code::Code(short keyLength, const char* key) { SetKey(keyLength, key); }

Code::~Code() = default;

int Code::SetKey(short length, const char* key) {
  key_.reset();
  keyLength_ = 0;
  if (length <= 0) return 0;
  key_.reset(new (std::nothrow) char[static_cast<size_t>(length) + 1]());
  if (!key_) return 10016;
  if (key) std::memcpy(key_.get(), key, strnlen(key, static_cast<size_t>(length)));
  keyLength_ = length;
  return 0;
}

unsigned Code::Rotation(unsigned i) const {
  int r = static_cast<unsigned char>(key_[i % static_cast<unsigned>(keyLength_)]) - '0';
  // Rotating eight times is no rotation, so only the remainder matters.
  return r <= 0 ? 0u : static_cast<unsigned>(r) % 8u;
}

void Code::Encode(unsigned length, char* buffer) const { Rotate(length, buffer, true); }

void Code::Decode(unsigned length, char* buffer) const { Rotate(length, buffer, false); }

void Code::Rotate(unsigned length, char* buffer, bool right) const {
  if (!key_ || keyLength_ <= 0 || !buffer) return;
  for (unsigned i = 0; i < length; ++i) {
    unsigned r = Rotation(i);
    if (r == 0) continue;
    // A right rotation by r is a left rotation by 8 - r.
    unsigned left = right ? 8 - r : r;
    auto b = static_cast<unsigned char>(buffer[i]);
    buffer[i] = static_cast<char>(static_cast<unsigned char>((b << left) | (b >> (8 - left))));
  }
}

SecurityCode::SecurityCode() : Code(8, "63071954") {}

#include "DictionaryImage.h"

#include <stdexcept>

#include "DictModel.h"

using qordb::UpperAscii;

namespace {

constexpr size_t kHeaderSize = 22;
constexpr size_t kFileEntry = 60, kRecordEntry = 12, kFieldEntry = 20, kSetEntry = 12, kMemberEntry = 8,
                 kSortEntry = 4, kKeyEntry = 8;

class Reader {
 public:
  explicit Reader(const std::vector<char>& image) : image_(image) {}

  int16_t Int16At(size_t offset) const {
    Need(offset, 2);
    auto lo = static_cast<unsigned char>(image_[offset]);
    auto hi = static_cast<unsigned char>(image_[offset + 1]);
    return static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)));
  }
  char CharAt(size_t offset) const {
    Need(offset, 1);
    return image_[offset];
  }
  void Need(size_t offset, size_t size) const {
    if (offset > image_.size() || image_.size() - offset < size) {
      throw std::runtime_error("dictionary image of " + std::to_string(image_.size()) + " bytes is cut off at byte " +
                               std::to_string(offset));
    }
  }
  // A name ended by a line feed; the position moves past it.
  std::string Name(size_t& pos, const char* what, size_t index) const {
    for (size_t end = pos; end < image_.size(); ++end) {
      if (image_[end] == '\n') {
        std::string name(image_.begin() + static_cast<long>(pos), image_.begin() + static_cast<long>(end));
        pos = end + 1;
        return name;
      }
    }
    throw std::runtime_error(std::string("dictionary image ends before the line feed of ") + what + " name " +
                             std::to_string(index));
  }

 private:
  const std::vector<char>& image_;
};

}  // namespace

DictionaryImage DictionaryImage::Parse(const std::vector<char>& image) {
  Reader r(image);
  DictionaryImage d;
  r.Need(0, kHeaderSize);
  d.fileCount = r.Int16At(8);
  d.recordCount = r.Int16At(10);
  d.fieldCount = r.Int16At(12);
  d.setCount = r.Int16At(14);
  d.memberCount = r.Int16At(16);
  d.sortCount = r.Int16At(18);
  d.keyCount = r.Int16At(20);
  for (int16_t n : {d.fileCount, d.recordCount, d.fieldCount, d.setCount, d.memberCount, d.sortCount, d.keyCount}) {
    if (n < 0) throw std::runtime_error("dictionary image has a negative count");
  }

  // The tables this reading skips must be whole too.
  size_t pos = kHeaderSize;
  r.Need(pos, d.fileCount * kFileEntry);
  pos += d.fileCount * kFileEntry;
  for (int i = 0; i < d.recordCount; ++i, pos += kRecordEntry) {
    r.Need(pos, kRecordEntry);
    d.records.push_back({r.Int16At(pos), r.Int16At(pos + 2), r.Int16At(pos + 4), r.Int16At(pos + 6),
                         r.Int16At(pos + 8), r.Int16At(pos + 10), ""});
  }
  for (int i = 0; i < d.fieldCount; ++i, pos += kFieldEntry) {
    r.Need(pos, kFieldEntry);
    Field f{};
    f.keyKind = r.CharAt(pos);
    f.type = r.CharAt(pos + 1);
    f.length = r.Int16At(pos + 2);
    for (int k = 0; k < 3; ++k) f.dimensions[k] = r.Int16At(pos + 4 + 2 * k);
    f.keyFile = r.Int16At(pos + 10);
    f.keyNumber = r.Int16At(pos + 12);
    f.offset = r.Int16At(pos + 14);
    f.recordIndex = r.Int16At(pos + 16);
    f.flags = r.Int16At(pos + 18);
    d.fields.push_back(f);
  }
  const size_t skipped =
      d.setCount * kSetEntry + d.memberCount * kMemberEntry + d.sortCount * kSortEntry;
  r.Need(pos, skipped);
  pos += skipped;
  for (int i = 0; i < d.keyCount; ++i, pos += kKeyEntry) {
    r.Need(pos, kKeyEntry);
    d.keys.push_back({r.Int16At(pos), r.Int16At(pos + 2), {r.Int16At(pos + 4), r.Int16At(pos + 6)}});
  }
  for (size_t i = 0; i < d.records.size(); ++i) d.records[i].name = r.Name(pos, "record", i);
  for (size_t i = 0; i < d.fields.size(); ++i) d.fields[i].name = r.Name(pos, "field", i);
  d.namesEnd = pos;
  return d;
}

std::vector<int> DictionaryImage::FieldsOf(int recordIndex) const {
  std::vector<int> out;
  if (recordIndex < 0 || recordIndex >= static_cast<int>(records.size())) return out;
  for (int i = records[recordIndex].firstField; i >= 0 && i < static_cast<int>(fields.size()); ++i) {
    if (fields[i].recordIndex != recordIndex) break;
    out.push_back(i);
  }
  return out;
}

std::vector<int> DictionaryImage::ComponentsOf(int fieldIndex) const {
  std::vector<int> out;
  if (fieldIndex < 0 || fieldIndex >= static_cast<int>(fields.size()) || fields[fieldIndex].type != 'k') return out;
  for (int k = fields[fieldIndex].offset; k >= 0 && k < static_cast<int>(keys.size()); ++k) {
    if (keys[k].compoundField != fieldIndex) break;
    out.push_back(keys[k].componentField);
  }
  return out;
}

int DictionaryImage::RecordByName(const std::string& name) const {
  std::string wanted = UpperAscii(name);
  for (size_t i = 0; i < records.size(); ++i) {
    if (UpperAscii(records[i].name) == wanted) return static_cast<int>(i);
  }
  return -1;
}

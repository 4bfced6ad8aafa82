#include "util/coding.h"

namespace olvix {

void ByteWriter::PutU16(uint16_t v) {
  PutU8(static_cast<uint8_t>(v & 0xFF));
  PutU8(static_cast<uint8_t>(v >> 8));
}

void ByteWriter::PutU32(uint32_t v) {
  PutU16(static_cast<uint16_t>(v & 0xFFFF));
  PutU16(static_cast<uint16_t>(v >> 16));
}

void ByteWriter::PutFixedText(std::string_view text, size_t width) {
  if (width == 0) return;
  PutFixedBytes(text.substr(0, width - 1), width);
}

void ByteWriter::PutFixedBytes(std::string_view text, size_t width) {
  std::string_view cut = text.substr(0, width);
  out_->append(cut.data(), cut.size());
  PutZeros(width - cut.size());
}

bool ByteReader::Need(size_t count) {
  if (failed_ || data_.size() - pos_ < count) {
    failed_ = true;
    return false;
  }
  return true;
}

bool ByteReader::GetU8(uint8_t* v) {
  if (!Need(1)) return false;
  *v = static_cast<uint8_t>(data_[pos_++]);
  return true;
}

bool ByteReader::GetU16(uint16_t* v) {
  if (!Need(2)) return false;
  uint8_t lo = static_cast<uint8_t>(data_[pos_]);
  uint8_t hi = static_cast<uint8_t>(data_[pos_ + 1]);
  pos_ += 2;
  *v = static_cast<uint16_t>(lo | (hi << 8));
  return true;
}

bool ByteReader::GetU32(uint32_t* v) {
  if (!Need(4)) return false;
  uint16_t lo = 0, hi = 0;
  (void)GetU16(&lo);  // both halves are within the checked range
  (void)GetU16(&hi);
  *v = static_cast<uint32_t>(lo) | (static_cast<uint32_t>(hi) << 16);
  return true;
}

bool ByteReader::GetFixedText(size_t width, size_t max_length, std::string* text) {
  if (!Need(width)) return false;
  std::string_view field = data_.substr(pos_, width);
  size_t nul = field.find('\0');
  if (nul != std::string_view::npos) field = field.substr(0, nul);
  if (field.size() > max_length) field = field.substr(0, max_length);
  text->assign(field.data(), field.size());
  pos_ += width;
  return true;
}

bool ByteReader::Skip(size_t count) {
  if (!Need(count)) return false;
  pos_ += count;
  return true;
}

}  // namespace olvix

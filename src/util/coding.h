// Byte-by-byte encoding and decoding of little-endian binary records
// (stored messages, packets). Every access is bounds-checked; structs are
// never cast onto buffers.
#ifndef OLVIX_UTIL_CODING_H_
#define OLVIX_UTIL_CODING_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace olvix {

// Appends fields to a byte string.
class ByteWriter {
 public:
  explicit ByteWriter(std::string* out) : out_(out) {}
  void PutU8(uint8_t v) { out_->push_back(static_cast<char>(v)); }
  void PutU16(uint16_t v);
  void PutU32(uint32_t v);
  // Writes `text` cut to `width` - 1 bytes and pads with NUL bytes to
  // exactly `width` bytes, so the field always ends in a NUL.
  void PutFixedText(std::string_view text, size_t width);
  // Writes `text` cut to `width` bytes and pads with NUL bytes; a text of
  // `width` bytes has no NUL.
  void PutFixedBytes(std::string_view text, size_t width);
  void PutZeros(size_t count) { out_->append(count, '\0'); }

 private:
  std::string* out_;
};

// Reads fields from a byte range. A read past the end fails, leaves the
// output untouched and marks the reader as failed; later reads fail too.
class ByteReader {
 public:
  explicit ByteReader(std::string_view data) : data_(data) {}
  bool GetU8(uint8_t* v);
  bool GetU16(uint16_t* v);
  bool GetU32(uint32_t* v);
  // Reads a field of `width` bytes; the text is the bytes up to the first
  // NUL, and never more than `max_length` of them.
  bool GetFixedText(size_t width, size_t max_length, std::string* text);
  bool Skip(size_t count);
  size_t position() const { return pos_; }
  size_t remaining() const { return failed_ ? 0 : data_.size() - pos_; }
  bool ok() const { return !failed_; }

 private:
  bool Need(size_t count);
  std::string_view data_;
  size_t pos_ = 0;
  bool failed_ = false;
};

}  // namespace olvix

#endif  // OLVIX_UTIL_CODING_H_

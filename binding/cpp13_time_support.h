// What the two time wrappers share: owning copies of a federate's FedTime, printable text, and
// the guard that keeps exceptions of the time library out of the distribution manager.
#pragma once

#include <cstdint>
#include <iostream>
#include <memory>

#include "RTI.hh"

namespace halden13 {

namespace cpp13_time_support {

// A new time of the library holding the value of `value`.
inline std::unique_ptr<rti13::FedTime> copy_of(const rti13::FedTime& value) {
  std::unique_ptr<rti13::FedTime> copy(rti13::FedTimeFactory::makeZero());
  *copy = value;
  return copy;
}

// Whether length bytes can hold an encoded time: at least the encoded length of a zero time,
// which fixes the length for a library with one encoded size. Decoding reads that many bytes
// without being told the length, so a time that arrived cut short must be refused first.
inline bool holds_whole_time(const char* bytes, uint32_t length) {
  static const uint32_t needed = [] {
    std::unique_ptr<rti13::FedTime> zero(rti13::FedTimeFactory::makeZero());
    return static_cast<uint32_t>(zero->encodedLength());
  }();
  return bytes != nullptr && length >= needed;
}

// The time in the first length bytes, decoded by the library; null when they are too few for a
// whole time or the library refuses them (a NaN), so the caller drops the message.
inline std::unique_ptr<rti13::FedTime> decoded_time(const char* bytes, uint32_t length) {
  if (!holds_whole_time(bytes, length)) return nullptr;
  try {
    return std::unique_ptr<rti13::FedTime>(rti13::FedTimeFactory::decode(bytes));
  } catch (...) {
    return nullptr;
  }
}

inline bool truth(rti13::Boolean value) { return value != rti13::RTI_FALSE; }

// The time's printable text in a new buffer of getPrintableLength() + 1 characters.
inline std::unique_ptr<char[]> printable_text(rti13::FedTime& time) {
  const int length = time.getPrintableLength();
  const size_t size = length > 0 ? static_cast<size_t>(length) + 1 : 1;
  std::unique_ptr<char[]> text(new char[size]);
  text[0] = '\0';
  time.getPrintableString(text.get());
  text[size - 1] = '\0';
  return text;
}

// Runs op; whatever the library throws is reported on standard error as `complaint` and
// `fallback` returned instead.
template <typename Result, typename Op>
Result guarded(const char* complaint, Result fallback, Op op) {
  try {
    return op();
  } catch (...) {
    std::cerr << complaint << std::endl;
    return fallback;
  }
}

}  // namespace cpp13_time_support

}  // namespace halden13

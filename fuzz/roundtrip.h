#pragma once
// A decoder on any text: a value or a ParseError, and what was decoded travels back and forth
// unchanged (anything else ends the run as a finding).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "vlt/errors.h"

template <typename T>
int roundTrip(const std::uint8_t* data, std::size_t size, T (*decode)(std::string_view),
              std::string (*encode)(const T&)) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  T value;
  try {
    value = decode(text);
  } catch (const vlt::ParseError&) {
    return 0;
  }
  value.validate();
  const std::string encoded = encode(value);
  const T again = decode(encoded);
  if (!(again == value) || encode(again) != encoded) std::abort();
  return 0;
}

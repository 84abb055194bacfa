// decodeDelta: a delta or a ParseError; a decoded delta encodes and decodes to itself.
#include "roundtrip.h"
#include "vlt/json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return roundTrip<vlt::Delta>(data, size, vlt::decodeDelta, vlt::encodeDelta);
}

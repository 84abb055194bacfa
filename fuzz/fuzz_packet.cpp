// decodePacket: a packet or a ParseError; a decoded packet encodes and decodes to itself.
#include "roundtrip.h"
#include "vlt/json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return roundTrip<vlt::Packet>(data, size, vlt::decodePacket, vlt::encodePacket);
}

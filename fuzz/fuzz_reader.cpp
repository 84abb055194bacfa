// PacketReader against decodePacket: the same packet or the same error, whatever the pieces the
// text comes in and however often decoding is tried, and whether the rows are kept or handed to
// a sink. The first two bytes choose the attempt step and the piece sizes; the rest is the text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <string_view>

#include "vlt/errors.h"
#include "vlt/json.h"

namespace {

struct Outcome {
  bool ok = false;
  vlt::Packet packet;
  std::string error;
};

Outcome outcomeOf(const std::function<vlt::Packet()>& decode) {
  Outcome o;
  try {
    o.packet = decode();
    o.ok = true;
  } catch (const vlt::ParseError& e) {
    o.error = e.what();
  }
  return o;
}

// Gathers what a reader hands over back into a packet.
struct Gathered : vlt::PacketSink {
  vlt::Packet packet;
  int fieldsCalls = 0;
  void fields(const vlt::FieldDefs& defs) override {
    ++fieldsCalls;
    packet.fields = defs;
  }
  void row(vlt::Row&& r) override { packet.rows.push_back(std::move(r)); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  // Some 64 attempts at most: each one in the head reads it again from the start.
  const std::size_t step = std::max<std::size_t>(data[0] % 64 + 1, text.size() / 64);
  std::minstd_rand pieces(data[1]);
  const std::size_t longest = data[1] % 40 + 1;

  const Outcome whole = outcomeOf([&] { return vlt::decodePacket(text); });
  const bool viaSink = data[1] & 1;
  Gathered sink;
  const Outcome streamed = outcomeOf([&] {
    vlt::PacketReader reader = viaSink ? vlt::PacketReader(sink, step) : vlt::PacketReader(step);
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t n = pieces() % longest + 1;
      reader.feed(text.substr(at, n));
      at += n;
    }
    vlt::Packet p = reader.finish();
    if (!viaSink) return p;
    // The fields once, the rows to the sink only.
    if (sink.fieldsCalls != 1 || !p.rows.empty() || !(p.fields == sink.packet.fields)) std::abort();
    return sink.packet;
  });
  if (whole.ok != streamed.ok || whole.error != streamed.error ||
      !(whole.packet == streamed.packet))
    std::abort();
  return 0;
}

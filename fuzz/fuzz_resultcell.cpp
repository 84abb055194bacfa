// Result cells as the service checks them before they travel. Every cell the check lets through
// must be written by the streamed writer without a refusal, as the same text the whole answer
// writes for its typed value, and decode back to that value; only the zero date may become null.
//
// Input: a byte choosing the check, two bytes for the field's precision and scale, the cell.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "db.h"
#include "vlt/json.h"

namespace {

using vlt::DataType;
using vlt::server::CellCheck;

constexpr CellCheck kChecks[] = {CellCheck::UnsignedBig, CellCheck::Bits,  CellCheck::Float,
                                 CellCheck::Decimal,     CellCheck::Date,  CellCheck::DateTime,
                                 CellCheck::Time,        CellCheck::Binary};

vlt::FieldDef fieldFor(CellCheck check, std::uint8_t precision, std::uint8_t scale) {
  vlt::FieldDef f;
  f.name = "v";
  switch (check) {
    case CellCheck::Plain:
    case CellCheck::Binary:
      f.type = DataType::String;
      break;
    case CellCheck::UnsignedBig:
    case CellCheck::Bits:
      f.type = DataType::Int64;
      break;
    case CellCheck::Float:
      f.type = DataType::Float;
      break;
    case CellCheck::Decimal:
      f.type = DataType::Decimal;
      f.precision = 1 + precision % vlt::Decimal::kMaxDigits;
      f.scale = scale % (f.precision + 1);
      break;
    case CellCheck::Date:
      f.type = DataType::Date;
      break;
    case CellCheck::DateTime:
      f.type = DataType::DateTime;
      break;
    case CellCheck::Time:
      f.type = DataType::Time;
      break;
  }
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const CellCheck check = kChecks[data[0] % std::size(kChecks)];
  vlt::FieldDefs fields;
  fields.add(fieldFor(check, data[1], data[2]));
  const std::string input(reinterpret_cast<const char*>(data + 3), size - 3);
  const char* cell = input.data();
  unsigned long length = input.size();
  std::string rewritten;
  try {
    vlt::server::checkCell(fields[0], check, 1, cell, length, rewritten);
  } catch (const vlt::server::ResultError&) {
    return 0;  // refused by name: fine
  }
  const vlt::Value whole = cell ? vlt::server::cellValue(fields[0], cell, length) : vlt::Value();
  if (cell && whole.isNull()) __builtin_trap();
  if (!cell && !(check == CellCheck::Date || check == CellCheck::DateTime)) __builtin_trap();

  vlt::PacketWriter writer(fields);
  writer.row(&cell, &length);
  writer.finish();
  const std::string streamed = writer.take();
  vlt::Packet expected;
  expected.fields = fields;
  expected.rows.push_back(vlt::Row{whole});
  if (streamed != vlt::encodePacket(expected)) __builtin_trap();
  if (vlt::decodePacket(streamed) != expected) __builtin_trap();
  return 0;
}

// The expression language over a small data set whose values come from the input. Line 1 is a
// filter, line 2 an aggregate, the following lines are the cells of three rows, row by row (an
// empty line or a value the field cannot hold is a null). Evaluation never throws; aggregates
// throw only conversion errors (text that is not a number, a total beyond 38 digits).
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "vlt/dataset.h"
#include "vlt/decimal.h"
#include "vlt/errors.h"
#include "vlt/expr.h"
#include "vlt/packet.h"

namespace {

vlt::FieldDefs fields() {
  vlt::FieldDefs f;
  f.add("I", vlt::DataType::Int32);
  f.add("L", vlt::DataType::Int64);
  f.addDecimal("D", 38, 10);
  f.addDecimal("E", 38, 37);
  f.addDecimal("H", 38, 0);
  f.add("F", vlt::DataType::Float);
  f.add("S", vlt::DataType::String);
  f.add("T", vlt::DataType::Date);
  f.add("B", vlt::DataType::Boolean);
  return f;
}

constexpr std::size_t kRows = 3;

std::vector<std::string_view> lines(std::string_view text) {
  std::vector<std::string_view> out;
  for (;;) {
    const std::size_t end = text.find('\n');
    out.push_back(text.substr(0, end));
    if (end == std::string_view::npos) return out;
    text.remove_prefix(end + 1);
  }
}

// A decimal result is one the type can hold and reads back from its text.
void checkValue(const vlt::Value& v) {
  if (v.type() != vlt::DataType::Decimal) return;
  const vlt::Decimal& d = v.decimal();
  if (d.scale() < 0 || d.scale() > vlt::Decimal::kMaxDigits) std::abort();
  if (vlt::Decimal::parse(d.toString()) != d) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const vlt::FieldDefs defs = fields();
  const std::vector<std::string_view> in =
      lines(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string_view filterText = in[0];
  const std::string_view aggregateText = in.size() > 1 ? in[1] : std::string_view();

  vlt::Packet packet;
  packet.fields = defs;
  std::size_t cell = 2;
  for (std::size_t r = 0; r < kRows; ++r) {
    vlt::Row row(defs.size());
    for (std::size_t f = 0; f < defs.size(); ++f, ++cell) {
      if (cell >= in.size() || in[cell].empty()) continue;
      try {
        row[f] = vlt::coerceValue(vlt::Value(std::string(in[cell])), defs[f].type,
                                  defs[f].precision, defs[f].scale);
      } catch (const vlt::ConversionError&) {
      }
    }
    packet.rows.push_back(std::move(row));
  }

  try {
    const vlt::Expression filter = vlt::Expression::parse(filterText, defs);
    int matching = 0;
    for (const vlt::Row& row : packet.rows) {
      checkValue(filter.evaluate(row));
      matching += filter.matches(row) ? 1 : 0;
    }
    // The data set's filter shows exactly the matching rows.
    vlt::ClientDataSet ds;
    ds.LoadFromPacket(packet);
    ds.SetFilter(filterText);
    ds.SetFiltered(true);
    if (ds.RecordCount() != matching) std::abort();
  } catch (const vlt::ParseError&) {
  }

  try {
    const vlt::AggregateExpression aggregate = vlt::AggregateExpression::parse(aggregateText, defs);
    std::vector<const vlt::Row*> rows;
    for (const vlt::Row& row : packet.rows)
      rows.push_back(&row);
    checkValue(aggregate.compute(rows));
  } catch (const vlt::ParseError&) {
  } catch (const vlt::ConversionError&) {
  }
  return 0;
}

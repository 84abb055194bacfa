#pragma once
// Small builders shared by the data set tests.

#include <string>
#include <vector>

#include "vlt/dataset.h"

#include <ostream>

#include "vlt/json.h"

namespace vlt {

// Readable failure messages for the core types.
inline void PrintTo(const Value& v, std::ostream* os) {
  *os << dataTypeName(v.type()) << " " << v.toText();
}
inline void PrintTo(const Packet& p, std::ostream* os) {
  *os << encodePacket(p);
}
inline void PrintTo(const Delta& d, std::ostream* os) {
  *os << encodeDelta(d);
}

}  // namespace vlt

namespace vlt::test {

inline FieldDef stringField(std::string name, int size = 40) {
  FieldDef d;
  d.name = std::move(name);
  d.type = DataType::String;
  d.size = size;
  return d;
}

inline FieldDef typedField(std::string name, DataType type) {
  FieldDef d;
  d.name = std::move(name);
  d.type = type;
  return d;
}

inline FieldDef intField(std::string name) {
  FieldDef d;
  d.name = std::move(name);
  d.type = DataType::Int32;
  return d;
}

inline FieldDef decimalField(std::string name, int precision = 13, int scale = 4) {
  FieldDef d;
  d.name = std::move(name);
  d.type = DataType::Decimal;
  d.precision = precision;
  d.scale = scale;
  return d;
}

inline FieldDef calcField(std::string name, DataType type, int size = 0) {
  FieldDef d;
  d.name = std::move(name);
  d.type = type;
  d.size = size;
  d.kind = FieldKind::InternalCalc;
  return d;
}

inline FieldDef aggregateField(std::string name, std::string expression) {
  FieldDef d;
  d.name = std::move(name);
  d.type = DataType::Decimal;
  d.kind = FieldKind::Aggregate;
  d.expression = std::move(expression);
  return d;
}

// Appends and posts one row, values in field order (null skips a field).
inline void appendRow(ClientDataSet& ds, const std::vector<Value>& values) {
  ds.Append();
  for (std::size_t i = 0; i < values.size(); ++i)
    if (!values[i].isNull()) ds.FieldByIndex(i).SetValue(values[i]);
  ds.Post();
}

// The values of one field over the visible rows, in view order; the cursor ends at the end.
inline std::vector<std::string> column(ClientDataSet& ds, const std::string& field) {
  std::vector<std::string> out;
  ds.First();
  while (!ds.Eof()) {
    out.push_back(ds.FieldByName(field).AsString());
    ds.Next();
  }
  return out;
}

// A bill: master fields Bid, bcode, isStoreIO, and nested lines bid, bno, goodsid, qty, doneqty.
inline void defineBill(ClientDataSet& master, ClientDataSet& lines) {
  FieldDef nested;
  nested.name = "Lines";
  nested.type = DataType::DataSet;
  nested.children = {stringField("bid", 15), intField("bno"), stringField("goodsid", 15),
                     decimalField("qty"), decimalField("doneqty")};
  master.FieldDefinitions() = FieldDefs{stringField("Bid", 15), stringField("bcode", 20),
                                        stringField("isStoreIO", 8), nested};
  lines.FieldDefinitions().add(aggregateField("TotalQty", "sum(qty)"));
  lines.SetDataSetField(master, "Lines");
}

}  // namespace vlt::test

#include "vlt/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "vlt/errors.h"

namespace vlt {
namespace {

FieldDef field(std::string name, DataType type, int size = 0) {
  FieldDef f;
  f.name = std::move(name);
  f.type = type;
  f.size = size;
  return f;
}

FieldDef decimalField(std::string name, int precision, int scale) {
  FieldDef f = field(std::move(name), DataType::Decimal);
  f.precision = precision;
  f.scale = scale;
  return f;
}

FieldDef nestedField(std::string name, std::vector<FieldDef> children) {
  FieldDef f = field(std::move(name), DataType::DataSet);
  f.children = std::move(children);
  return f;
}

Value nested(NestedRows rows) {
  return Value(std::make_shared<const NestedRows>(std::move(rows)));
}

std::string typeName(DataType t) {
  return std::string(dataTypeName(t));
}

// One column of the given type with one value per row.
Packet column(const FieldDef& f, const std::vector<Value>& values) {
  Packet p;
  p.fields = FieldDefs(std::vector<FieldDef>{f});
  for (const Value& v : values)
    p.rows.push_back(Row{v});
  return p;
}

// A packet text with one column of type `type` holding the given JSON values.
std::string columnText(const std::string& fieldJson, const std::string& valueJson) {
  return "{\"fields\":[" + fieldJson + "],\"rows\":[[" + valueJson + "]]}";
}

Packet samplePacket() {
  FieldDef id = field("ID", DataType::String, 15);
  id.required = true;
  FieldDef price = decimalField("Price", 11, 2);
  price.displayLabel = "单价";
  Packet p;
  p.fields = FieldDefs(std::vector<FieldDef>{
      id, field("Name", DataType::String, 80), decimalField("Qty", 13, 4), price,
      nestedField("Lines", {field("BNo", DataType::Int32), decimalField("Amount", 11, 2)})});
  p.rows.push_back(Row{Value("1"), Value("白砂糖 1kg"), Value(Decimal(25000, 4)),
                       Value(Decimal(1250, 2)),
                       nested({Row{Value(std::int32_t{1}), Value(Decimal(300, 2))},
                               Row{Value(std::int32_t{2}), Value()}})});
  p.rows.push_back(
      Row{Value("2"), Value("Tab\there \"q\""), Value(), Value(Decimal(-1, 2)), Value()});
  return p;
}

std::string samplePacketText() {
  return "{\"fields\":[{\"name\":\"ID\",\"type\":\"string\",\"size\":15,\"required\":true},"
         "{\"name\":\"Name\",\"type\":\"string\",\"size\":80},"
         "{\"name\":\"Qty\",\"type\":\"decimal\",\"precision\":13,\"scale\":4},"
         "{\"name\":\"Price\",\"type\":\"decimal\",\"precision\":11,\"scale\":2,"
         "\"label\":\"单价\"},"
         "{\"name\":\"Lines\",\"type\":\"" +
         typeName(DataType::DataSet) + "\",\"fields\":[{\"name\":\"BNo\",\"type\":\"" +
         typeName(DataType::Int32) +
         "\"},{\"name\":\"Amount\",\"type\":\"decimal\",\"precision\":11,\"scale\":2}]}],"
         "\"rows\":[[\"1\",\"白砂糖 1kg\",\"2.5000\",\"12.50\",[[1,\"3.00\"],[2,null]]],"
         "[\"2\",\"Tab\\there \\\"q\\\"\",null,\"-0.01\",null]]}";
}

Delta sampleDelta() {
  Packet p = samplePacket();
  Delta d;
  d.fields = p.fields;
  Row oldRow = p.rows[0];
  oldRow[4] = Value();
  Row newRow = oldRow;
  newRow[2] = Value(Decimal(30000, 4));
  DeltaRow modify{ChangeKind::Modify, oldRow, newRow, {}};
  DeltaRow lineInsert{
      ChangeKind::Insert, {}, Row{Value(std::int32_t{3}), Value(Decimal(5, 2))}, {}};
  DeltaRow lineDelete{ChangeKind::Delete, Row{Value(std::int32_t{2}), Value()}, {}, {}};
  modify.details.push_back(DetailDelta{4, {lineInsert, lineDelete}});
  DeltaRow unmodified{ChangeKind::Unmodified, oldRow, {}, {}};
  unmodified.details.push_back(DetailDelta{4, {lineDelete}});
  d.rows = {modify, DeltaRow{ChangeKind::Insert, {}, p.rows[1], {}},
            DeltaRow{ChangeKind::Delete, p.rows[1], {}, {}}, unmodified};
  return d;
}

TEST(JsonPacket, EncodesCanonicalTextAndReadsItBack) {
  const std::string text = samplePacketText();
  EXPECT_EQ(encodePacket(samplePacket()), text);
  EXPECT_EQ(decodePacket(text), samplePacket());
  EXPECT_EQ(encodePacket(decodePacket(text)), text);
  std::string out = "x";
  appendPacket(out, samplePacket());
  EXPECT_EQ(out, "x" + text);
}

TEST(JsonDelta, RoundTripsAllKindsWithDetails) {
  const Delta d = sampleDelta();
  const std::string text = encodeDelta(d);
  EXPECT_NE(text.find("\"changes\":[{\"kind\":\"modify\",\"old\":[\"1\","), std::string::npos)
      << text;
  EXPECT_NE(text.find("\"details\":{\"Lines\":[{\"kind\":\"insert\",\"new\":[3,\"0.05\"]},"
                      "{\"kind\":\"delete\",\"old\":[2,null]}]}"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("{\"kind\":\"unmodified\",\"old\":["), std::string::npos) << text;
  EXPECT_EQ(decodeDelta(text), d);
  EXPECT_EQ(encodeDelta(decodeDelta(text)), text);
}

TEST(JsonPacket, RoundTripsEveryType) {
  struct Case {
    FieldDef def;
    std::vector<Value> values;
  };
  const Int128 kNines38 = static_cast<Int128>(9999999999999999999ULL) * 10000000000000000000ULL +
                          9999999999999999999ULL;
  // Far beyond the encoder's size guess, and mostly escapes, so its buffer must grow.
  std::string longText;
  for (int i = 0; i < 20000; ++i)
    longText += i % 3 == 0 ? "\x01\"" : "白a";
  const std::vector<Case> cases = {
      {field("B", DataType::Boolean), {Value(true), Value(false)}},
      {field("I", DataType::Int16),
       {Value(std::int16_t{-32768}), Value(std::int16_t{32767}), Value(std::int16_t{0})}},
      {field("I", DataType::Int32),
       {Value(std::numeric_limits<std::int32_t>::min()),
        Value(std::numeric_limits<std::int32_t>::max())}},
      {field("I", DataType::Int64),
       {Value(std::numeric_limits<std::int64_t>::min()),
        Value(std::numeric_limits<std::int64_t>::max())}},
      {field("F", DataType::Float),
       {Value(0.1), Value(-2.5), Value(1e300), Value(5e-324), Value(123456789.125), Value(1e21),
        Value(0.0)}},
      {decimalField("D", 11, 2),
       {Value(Decimal(1250, 2)), Value(Decimal(-99999999999, 2)), Value(Decimal(0, 2))}},
      {decimalField("D", 38, 10), {Value(Decimal::fromUnits(-kNines38, 10))}},
      {field("D", DataType::Decimal),
       {Value(Decimal(5, 0)), Value(Decimal(-1, 6)), Value(Decimal(123456789012345678, 3))}},
      {field("S", DataType::String, 40),
       {Value(""), Value("a\"b\\c/d"), Value("\n\t\r\b\f\x01\x1f\x7f"), Value("白砂糖 1kg"),
        Value("😀 emoji"), Value(std::string("nul\0byte", 8)), Value(longText)}},
      {field("D", DataType::Date),
       {Value(Date::fromDays(0)), Value(Date::fromDays(-1)), Value(Date::fromDays(-719162)),
        Value(Date::fromDays(2932896)), Value(Date::fromDays(19782))}},
      {field("T", DataType::DateTime),
       {Value(DateTime::fromSeconds(0)), Value(DateTime::fromSeconds(-1)),
        Value(DateTime::fromSeconds(-62135596800)), Value(DateTime::fromSeconds(253402300799)),
        Value(DateTime::fromSeconds(1709251199))}},
      {field("T", DataType::Time),
       {Value(Time::fromSeconds(0)), Value(Time::fromSeconds(86399)),
        Value(Time::fromSeconds(45296))}},
      {nestedField("N",
                   {field("A", DataType::Int32), nestedField("M", {field("S", DataType::String)})}),
       {nested({}), nested({Row{Value(std::int32_t{1}), nested({Row{Value("x")}, Row{Value()}})},
                            Row{Value(), Value()}})}},
  };
  for (const Case& c : cases) {
    std::vector<Value> values = c.values;
    values.push_back(Value());
    const Packet p = column(c.def, values);
    const std::string text = encodePacket(p);
    SCOPED_TRACE(text);
    const Packet back = decodePacket(text);
    EXPECT_EQ(back, p);
    EXPECT_EQ(encodePacket(back), text);
  }
}

// The codec formats and parses the canonical forms itself for speed; they must agree with the
// value types' own text forms.
TEST(JsonPacket, TextFormsAgreeWithValueTypes) {
  struct Case {
    DataType type;
    std::vector<std::string> texts;
  };
  const std::vector<Case> cases = {
      {DataType::Decimal,
       {"0", "-0.5", "0.001", "123.4500", "-99999999999.99", "123456789012345678",
        "1234567890123456789", "99999999999999999999999999999999999999",
        "-0.00000000000000000000000000000000000001", "5.000000000000000000000"}},
      {DataType::Date,
       {"1970-01-01", "1969-12-31", "0001-01-01", "9999-12-31", "2024-02-29", "2100-03-01",
        "2000-02-29"}},
      {DataType::DateTime,
       {"1970-01-01 00:00:00", "1969-12-31 23:59:59", "0001-01-01 00:00:00", "9999-12-31 23:59:59",
        "2024-02-29 12:34:56"}},
      {DataType::Time, {"00:00:00", "23:59:59", "12:05:09"}},
  };
  for (const Case& c : cases) {
    for (const std::string& text : c.texts) {
      SCOPED_TRACE(text);
      Value expected;
      switch (c.type) {
        case DataType::Decimal:
          expected = Value(Decimal::parse(text));
          break;
        case DataType::Date:
          expected = Value(Date::parse(text));
          break;
        case DataType::DateTime:
          expected = Value(DateTime::parse(text));
          break;
        default:
          expected = Value(Time::parse(text));
          break;
      }
      const std::string json =
          columnText("{\"name\":\"V\",\"type\":\"" + typeName(c.type) + "\"}", "\"" + text + "\"");
      const Packet p = decodePacket(json);
      ASSERT_EQ(p.rows.size(), 1u);
      EXPECT_EQ(p.rows[0][0], expected);
      EXPECT_EQ(encodePacket(p), json);
      std::string canonical;
      switch (c.type) {
        case DataType::Decimal:
          canonical = expected.decimal().toString();
          break;
        case DataType::Date:
          canonical = expected.date().toString();
          break;
        case DataType::DateTime:
          canonical = expected.dateTime().toString();
          break;
        default:
          canonical = expected.time().toString();
          break;
      }
      EXPECT_EQ(canonical, text);
    }
  }
}

TEST(JsonPacket, WritesDecimalsAtTheFieldScale) {
  const Packet p = column(decimalField("D", 11, 2),
                          {Value(Decimal(125, 1)), Value(Decimal(7000, 3)), Value(Decimal(-3, 0))});
  const std::string text = encodePacket(p);
  EXPECT_NE(text.find("\"rows\":[[\"12.50\"],[\"7.00\"],[\"-3.00\"]]"), std::string::npos) << text;
  EXPECT_EQ(decodePacket(text), p);
}

TEST(JsonPacket, DecodesLenientForms) {
  struct Case {
    std::string fieldJson;
    std::string valueJson;
    Value expected;
  };
  const std::string dec = "{\"name\":\"D\",\"type\":\"decimal\",\"precision\":11,\"scale\":2}";
  const std::string str = "{\"name\":\"S\",\"type\":\"string\"}";
  const std::vector<Case> cases = {
      {dec, "\"12.5\"", Value(Decimal(1250, 2))},
      {dec, "12.5", Value(Decimal(1250, 2))},
      {dec, "-0.10", Value(Decimal(-10, 2))},
      {dec, "1.25e1", Value(Decimal(1250, 2))},
      {dec, "125E-2", Value(Decimal(125, 2))},
      {dec, "\"7.000\"", Value(Decimal(700, 2))},
      {dec, "\"+5\"", Value(Decimal(500, 2))},
      {dec, "\"1\\u0032.5\"", Value(Decimal(1250, 2))},
      {"{\"name\":\"D\",\"type\":\"decimal\"}", "\"0.500\"", Value(Decimal(500, 3))},
      {str, "12.50", Value("12.50")},
      {str, "-1e5", Value("-1e5")},
      {str, "\"\\u00e9\\/\\ud83d\\ude00\"", Value("é/😀")},
      {str, "\"\\u0000\"", Value(std::string(1, '\0'))},
      {"{\"name\":\"F\",\"type\":\"" + typeName(DataType::Float) + "\"}", "3", Value(3.0)},
      {"{\"name\":\"T\",\"type\":\"" + typeName(DataType::DateTime) + "\"}",
       "\"2024-01-02T03:04:05\"", Value(DateTime::parse("2024-01-02 03:04:05"))},
      {"{\"name\":\"T\",\"type\":\"" + typeName(DataType::Time) + "\"}", "\"08:30\"",
       Value(Time::fromHms(8, 30, 0))},
  };
  for (const Case& c : cases) {
    const std::string text = columnText(c.fieldJson, c.valueJson);
    SCOPED_TRACE(text);
    Packet p = decodePacket(text);
    ASSERT_EQ(p.rows.size(), 1u);
    EXPECT_EQ(p.rows[0][0], c.expected);
  }
}

TEST(JsonPacket, AcceptsAnyLayoutMemberOrderAndUnknownMembers) {
  const std::string loose =
      "\xEF\xBB\xBF \n{ \"comment\" : {\"a\":[1,2,{\"b\":null}],\"c\":\"x\"},\r\n"
      "  \"fields\" : [ { \"label\":\"单价\", \"future\":[true,false], \"scale\":2,"
      " \"type\":\"decimal\", \"name\":\"Price\", \"precision\":11 },\n"
      "\t{\"type\":\"string\",\"name\":\"ID\",\"kind\":\"data\"} ] ,\n"
      "  \"rows\" : [ [ \"1.5\" , \"a\" ] ,\n [null,null] ] , \"extra\": -1.5e3 }\n ";
  Packet p = decodePacket(loose);
  EXPECT_EQ(encodePacket(p),
            "{\"fields\":[{\"name\":\"Price\",\"type\":\"decimal\",\"precision\":11,\"scale\":2,"
            "\"label\":\"单价\"},{\"name\":\"ID\",\"type\":\"string\"}],"
            "\"rows\":[[\"1.50\",\"a\"],[null,null]]}");
}

TEST(JsonPacket, FieldDefinitionMembersRoundTrip) {
  FieldDef calc = field("Total", DataType::Float);
  calc.kind = FieldKind::InternalCalc;
  FieldDef agg = decimalField("SumQty", 0, 0);
  agg.kind = FieldKind::Aggregate;
  agg.expression = "sum(qty)";
  agg.displayLabel = "合计 \"qty\"";
  FieldDef req = field("Code", DataType::String, 20);
  req.required = true;
  Packet p;
  p.fields = FieldDefs(std::vector<FieldDef>{calc, agg, req});
  const std::string text = encodePacket(p);
  EXPECT_EQ(text, "{\"fields\":[{\"name\":\"Total\",\"type\":\"" + typeName(DataType::Float) +
                      "\",\"kind\":\"internalcalc\"},{\"name\":\"SumQty\",\"type\":\"decimal\","
                      "\"kind\":\"aggregate\",\"expression\":"
                      "\"sum(qty)\",\"label\":\"合计 \\\"qty\\\"\"},{\"name\":\"Code\","
                      "\"type\":\"string\",\"size\":20,\"required\":true}],\"rows\":[]}");
  EXPECT_EQ(decodePacket(text), p);
}

struct ErrorCase {
  bool delta;
  std::string text;
  std::string message;  // expected part of what()
  std::string mark;     // the offset is where this first occurs; "$" is the end; "" unchecked
};

std::string deep(int levels) {
  return std::string(static_cast<std::size_t>(levels), '[') +
         std::string(static_cast<std::size_t>(levels), ']');
}

std::string nestedDefs(int levels) {
  std::string s;
  for (int i = 0; i < levels; ++i) {
    s += "{\"name\":\"N\",\"type\":\"" + typeName(DataType::DataSet) + "\",\"fields\":[";
  }
  for (int i = 0; i < levels; ++i)
    s += "]}";
  return s;
}

// Many fields, the last repeating an earlier name in other letter case.
std::string manyFields() {
  std::string s = "{\"fields\":[";
  for (int i = 0; i < 40; ++i)
    s += "{\"name\":\"F" + std::to_string(i) + "\",\"type\":\"string\"},";
  return s + "{\"name\":\"f7\",\"type\":\"string\"}],\"rows\":[]}";
}

TEST(JsonErrors, MalformedInputIsRefusedWithPositionAndContext) {
  const std::string F =
      "{\"fields\":[{\"name\":\"ID\",\"type\":\"string\"},"
      "{\"name\":\"Qty\",\"type\":\"decimal\",\"precision\":11,\"scale\":2}],\"rows\":";
  auto one = [](DataType t, const std::string& v) {
    return columnText("{\"name\":\"V\",\"type\":\"" + typeName(t) + "\"}", v);
  };
  const std::string lines =
      "{\"fields\":[{\"name\":\"ID\",\"type\":\"string\"},"
      "{\"name\":\"Lines\",\"type\":\"" +
      typeName(DataType::DataSet) +
      "\",\"fields\":[{\"name\":\"Amount\",\"type\":\"decimal\",\"precision\":11,"
      "\"scale\":2}]}],";
  const std::vector<ErrorCase> cases = {
      {false, "", "expected '{' at the start of a packet", "$"},
      {false, "[]", "expected '{'", "["},
      {false, "{\"rows\":[],\"fields\":[]}", "'fields' must come before 'rows'", "\"rows\""},
      {false, "{\"fields\":[]}", "missing member 'rows'", "$"},
      {false, "{\"fields\":[],\"fields\":[],\"rows\":[]}", "duplicate member 'fields'", ""},
      {false, "{\"fields\":[],\"changes\":[]}", "found 'changes' where a packet has 'rows'", ""},
      {true, "{\"fields\":[],\"rows\":[]}", "found 'rows' where a delta has 'changes'", ""},
      {false, "{fields:[]}", "expected a member name in quotes", "fields"},
      {false, F + "[[\"a\",\"1\"],[\"b\",\"2\"],[\"c\",\"abc\"]]}",
       "row 3, field 'Qty': 'abc' is not a valid decimal number", "\"abc\""},
      {false, F + "[[\"a\",\"1.234\"]]}", "row 1, field 'Qty': '1.234' has more than 2 digits",
       "\"1.234\""},
      {false, F + "[[\"a\",\"1234567890\"]]}", "'1234567890' does not fit decimal(11,2)", ""},
      {false, F + "[[\"a\",1e]]}", "invalid number", "1e"},
      {false, F + "[[\"a\",01]]}", "invalid number '01'", "01"},
      {false, F + "[[\"a\",-]]}", "invalid number", "-]"},
      {false, F + "[[\"a\",1.]]}", "invalid number", "1."},
      {false, F + "[[\"a\"]]}", "row 1: the row has 1 values, expected 2", "]]}"},
      {false, F + "[[]]}", "row 1: the row has 0 values, expected 2", "]]}"},
      {false, F + "[[\"a\",\"1\",\"x\"]]}", "the row has more than 2 values", ",\"x\""},
      {false, F + "[[\"a\",\"1\"]]} x", "unexpected text after the end", "x"},
      {false, F + "[[\"a\",\"1\"]]", "expected ',' or '}'", "$"},
      {false, F + "[[\"a\",\"1\"]", "expected ',' or ']' after a row", "$"},
      {false, F + "[[\"a", "unterminated string", "$"},
      {false, F + "[[\"a\x01\",\"1\"]]}", "control character", "\x01"},
      {false, F + "[[\"a\xC3\",\"1\"]]}", "invalid UTF-8", "\xC3"},
      {false, F + "[[\"\xED\xA0\x80\",\"1\"]]}", "invalid UTF-8", "\xED"},
      {false, F + "[[\"\xC0\xAF\",\"1\"]]}", "invalid UTF-8", "\xC0"},
      {false, F + "[[\"\xF4\x90\x80\x80\",\"1\"]]}", "invalid UTF-8", "\xF4"},
      {false, F + "[[\"\\ud800\",\"1\"]]}", "row 1, field 'ID': lone high surrogate", "\\ud800"},
      {false, F + "[[\"\\udc00\",\"1\"]]}", "lone low surrogate", "\\udc00"},
      {false, F + "[[\"\\ud800\\u0041\",\"1\"]]}", "lone high surrogate", "\\ud800"},
      {false, F + "[[\"\\x\",\"1\"]]}", "invalid escape", "\\x"},
      {false, F + "[[\"\\u12G4\",\"1\"]]}", "invalid \\u escape", "\\u12"},
      {false, F + "[[\"\\u12", "incomplete \\u escape", "12"},
      {false, F + "[[true,\"1\"]]}", "row 1, field 'ID': expected a string, found a boolean",
       "true"},
      {false, F + "[[\"a\",[]]]}", "expected a decimal number, found an array", "[]"},
      {false, F + "[[\"a\",nul]]}", "invalid literal, expected 'null'", "nul"},
      {false, F + "[[\"a\",nullx]]}", "invalid literal", "null"},
      {false, one(DataType::Int16, "40000"), "'40000' is out of range for a 16-bit integer",
       "40000"},
      {false, one(DataType::Int32, "2147483648"), "out of range for a 32-bit integer", ""},
      {false, one(DataType::Int64, "9223372036854775808"), "out of range for a 64-bit integer", ""},
      {false, one(DataType::Int32, "1.5"), "'1.5' is not an integer", "1.5"},
      {false, one(DataType::Int32, "\"1\""), "expected an integer, found a string", ""},
      {false, one(DataType::Float, "1e999"), "out of range for a float", "1e999"},
      {false, one(DataType::Boolean, "tru"), "invalid literal, expected 'true'", "tru"},
      {false, one(DataType::Boolean, "1"), "expected true or false, found a number", ""},
      {false, one(DataType::Date, "\"2026-02-30\""), "'2026-02-30' is not a valid date", "\"2026"},
      {false, one(DataType::DateTime, "\"2026-01-01 25:00:00\""), "is not a valid date-time", ""},
      {false, one(DataType::Time, "\"12:60:00\""), "'12:60:00' is not a valid time", ""},
      {false, one(DataType::DataSet, "{}"), "expected an array of rows, found an object", "{}"},
      {false, "{\"fields\":[{\"name\":\"A\"}],\"rows\":[]}",
       "field definition 1 ('A'): missing member 'type'", "{\"name\""},
      {false, "{\"fields\":[{\"type\":\"string\"}],\"rows\":[]}", "missing member 'name'", ""},
      {false, "{\"fields\":[{\"name\":\"A\",\"type\":\"blob\"}],\"rows\":[]}",
       "unknown field type 'blob'", "\"blob\""},
      {false,
       "{\"fields\":[{\"name\":\"A\",\"type\":\"string\"},{\"name\":\"a\",\"type\":\"string\"}],"
       "\"rows\":[]}",
       "duplicate field name 'a'", "[{"},
      {false, manyFields(), "duplicate field name", "[{"},
      {false, "{\"fields\":[{\"name\":\"A\",\"type\":\"string\",\"size\":-1}],\"rows\":[]}",
       "'size' must be a non-negative integer", "-1"},
      {false, "{\"fields\":[{\"name\":\"A\",\"type\":\"string\",\"size\":1.5}],\"rows\":[]}",
       "'size' must be a non-negative integer", ""},
      {false, "{\"fields\":[{\"name\":\"A\",\"type\":\"string\",\"name\":\"B\"}],\"rows\":[]}",
       "duplicate member 'name'", ""},
      {false,
       "{\"fields\":[{\"name\":\"A\",\"type\":\"decimal\",\"precision\":2,\"scale\":3}],"
       "\"rows\":[]}",
       "scale greater than precision", ""},
      {false,
       "{\"fields\":[{\"name\":\"A\",\"type\":\"string\",\"fields\":[{\"name\":\"B\","
       "\"type\":\"string\"}]}],\"rows\":[]}",
       "nested fields on a field that is not a data set", ""},
      {false, "{\"fields\":[{\"name\":\"A\",\"type\":\"string\",\"kind\":\"magic\"}],\"rows\":[]}",
       "unknown field kind 'magic'", ""},
      {false, "{\"x\":" + deep(65) + ",\"fields\":[],\"rows\":[]}", "nesting deeper than 64", ""},
      {false, "{\"x\":" + std::string(200000, '['), "nesting deeper than 64", ""},
      {false, "{\"fields\":[" + nestedDefs(40) + "],\"rows\":[]}", "nesting deeper than 64", ""},
      {false, lines + "\"rows\":[[\"1\",[[\"x\"]]]]}",
       "row 1, field 'Lines', row 1, field 'Amount': 'x' is not a valid decimal number", "\"x\""},
      {true, lines + "\"changes\":[{\"kind\":\"insert\",\"old\":[\"1\",null]}]}",
       "change 1: an insert has no 'old' values", "{\"kind\""},
      {true, lines + "\"changes\":[{\"kind\":\"insert\"}]}", "an insert needs 'new' values", ""},
      {true, lines + "\"changes\":[{\"kind\":\"delete\",\"new\":[\"1\",null]}]}",
       "a delete has no 'new' values", ""},
      {true, lines + "\"changes\":[{\"kind\":\"delete\"}]}", "a delete needs 'old' values", ""},
      {true, lines + "\"changes\":[{\"new\":[\"1\",null],\"kind\":\"modify\"}]}",
       "a modify needs both 'old' and 'new' values", ""},
      {true, lines + "\"changes\":[{\"kind\":\"unmodified\",\"details\":{\"Lines\":[]}}]}",
       "change 1: an unmodified row needs 'old' values", "{\"kind\""},
      {true,
       lines + "\"changes\":[{\"kind\":\"unmodified\",\"old\":[\"1\",null],\"new\":[\"1\",null]}]}",
       "an unmodified row has no 'new' values", "{\"kind\""},
      {true, "{\"fields\":[],\"changes\":[{\"kind\":\"delete\",\"old\":[]}]}",
       "a change in a data set without fields", "{\"kind\""},
      {true, lines + "\"changes\":[{\"new\":[\"1\",null]}]}", "missing member 'kind'", ""},
      {true, lines + "\"changes\":[{\"kind\":\"update\"}]}", "unknown change kind 'update'",
       "\"update\""},
      {true, lines + "\"changes\":[{\"kind\":\"insert\",\"new\":[\"1\"]}]}",
       "change 1, new values: the row has 1 values, expected 2", ""},
      {true, lines + "\"changes\":[{\"kind\":\"unmodified\",\"details\":{\"Nope\":[]}}]}",
       "unknown nested field 'Nope'", "\"Nope\""},
      {true, lines + "\"changes\":[{\"kind\":\"unmodified\",\"details\":{\"ID\":[]}}]}",
       "field 'ID' is not a nested data set", ""},
      {true,
       lines + "\"changes\":[{\"kind\":\"unmodified\",\"details\":{\"Lines\":[],\"lines\":[]}}]}",
       "duplicate details of 'Lines'", "\"lines\""},
      {true,
       lines + "\"changes\":[{\"kind\":\"unmodified\",\"details\":{\"lines\":[{\"kind\":\"insert\","
               "\"new\":[\"x\"]}]}}]}",
       "change 1, details of 'Lines', change 1, new values, field 'Amount': 'x' is not a valid "
       "decimal number",
       "\"x\""},
      {true, lines + "\"changes\":[{\"kind\":\"insert\",\"new\":[\"1\",null],\"kind\":\"x\"}]}",
       "duplicate member 'kind'", ""},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 300));
    try {
      if (c.delta) {
        decodeDelta(c.text);
      } else {
        decodePacket(c.text);
      }
      ADD_FAILURE() << "no error";
    } catch (const ParseError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
      if (c.mark == "$") {
        EXPECT_EQ(e.position(), c.text.size()) << e.what();
      } else if (!c.mark.empty()) {
        EXPECT_EQ(e.position(), c.text.find(c.mark)) << e.what();
      }
    }
  }
}

TEST(JsonErrors, EncodingRefusesWhatCannotBeReadBack) {
  struct Case {
    Packet packet;
    std::string message;
  };
  Packet nan = column(field("F", DataType::Float), {Value(1.0), Value(std::nan(""))});
  Packet inf =
      column(field("F", DataType::Float), {Value(std::numeric_limits<double>::infinity())});
  Packet mismatch = column(field("S", DataType::String), {Value(Decimal(1, 0))});
  Packet width = samplePacket();
  width.rows[1].pop_back();
  Packet utf8 = column(field("S", DataType::String), {Value("ok"), Value("bad\xFF")});
  Packet date = column(field("D", DataType::Date), {Value(Date::fromDays(3000000))});
  Packet noName = column(field("", DataType::String), {});
  Packet dup;
  dup.fields =
      FieldDefs(std::vector<FieldDef>{field("A", DataType::String), field("a", DataType::String)});
  Packet nestedBad = samplePacket();
  nestedBad.rows[0][4] = nested({Row{Value(std::int32_t{1}), Value("x")}});
  Packet tooPrecise = column(decimalField("D", 11, 2), {Value(Decimal(12345, 3))});
  Packet tooLarge = column(decimalField("D", 11, 2), {Value(Decimal(10000000000, 0))});
  const std::vector<Case> cases = {
      {nan, "row 2, field 'F': cannot encode a non-finite float"},
      {tooPrecise, "row 1, field 'D': '12.345' has more than 2 digits after the point"},
      {tooLarge, "row 1, field 'D': '10000000000' does not fit decimal(11,2)"},
      {inf, "non-finite float"},
      {mismatch, "row 1, field 'S': holds a decimal value, the field is string"},
      {width, "row 2: the row has 4 values, expected 5"},
      {utf8, "row 2, field 'S': invalid UTF-8"},
      {date, "date out of range"},
      {noName, "a field has no name"},
      {dup, "duplicate field name 'a'"},
      {nestedBad, "row 1, field 'Lines', row 1, field 'Amount': holds a string value"},
  };
  for (const Case& c : cases) {
    std::string out = "prefix";
    try {
      appendPacket(out, c.packet);
      ADD_FAILURE() << "no error for " << c.message;
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(out, "prefix");
  }

  Delta d = sampleDelta();
  d.rows[1].oldValues = d.rows[1].newValues;  // an insert with old values
  EXPECT_THROW(encodeDelta(d), DataSetError);
  d = sampleDelta();
  d.rows[0].details[0].field = 1;  // not a data set
  EXPECT_THROW(encodeDelta(d), DataSetError);
}

TEST(JsonString, EscapesOnlyWhatJsonRequires) {
  std::string out;
  appendJsonString(out, "a\"\\/\n\t\r\b\f\x01\x1f\x7f 白 😀");
  EXPECT_EQ(out, "\"a\\\"\\\\/\\n\\t\\r\\b\\f\\u0001\\u001f\x7f 白 😀\"");
  out = "x";
  EXPECT_THROW(appendJsonString(out, "\xE6\x9C"), Error);
  EXPECT_EQ(out, "x");
}

// Damaged text of every kind either decodes (and then survives a round trip) or throws a
// vlt::Error; nothing else, and nothing read past the end.
TEST(JsonFuzz, TruncatedAndFlippedTextNeverMisbehaves) {
  const std::string packetText = samplePacketText();
  const std::string deltaText = encodeDelta(sampleDelta());
  const char replacements[] = {'"', '\\', '[', ']', '{',    '}',    ',',  ':',   '0',
                               '-', 'e',  'n', ' ', '\x80', '\xFF', '\0', '\x1f'};
  std::size_t decoded = 0, refused = 0;
  auto attempt = [&](bool isDelta, const std::string& text) {
    // A copy of exactly the right size lets the sanitizers catch any read past the end.
    std::unique_ptr<char[]> copy(new char[text.size()]);
    std::copy(text.begin(), text.end(), copy.get());
    std::string_view view(copy.get(), text.size());
    try {
      if (isDelta) {
        Delta d = decodeDelta(view);
        EXPECT_EQ(decodeDelta(encodeDelta(d)), d) << text;
      } else {
        Packet p = decodePacket(view);
        EXPECT_EQ(decodePacket(encodePacket(p)), p) << text;
      }
      ++decoded;
    } catch (const Error&) {
      ++refused;
    } catch (...) {
      ADD_FAILURE() << "unexpected exception for " << text;
    }
  };
  for (bool isDelta : {false, true}) {
    const std::string& base = isDelta ? deltaText : packetText;
    for (std::size_t n = 0; n < base.size(); ++n)
      attempt(isDelta, base.substr(0, n));
    for (std::size_t i = 0; i < base.size(); ++i) {
      for (char r : replacements) {
        std::string damaged = base;
        damaged[i] = r;
        attempt(isDelta, damaged);
      }
      std::string flipped = base;
      flipped[i] = static_cast<char>(flipped[i] ^ 0x20);
      attempt(isDelta, flipped);
    }
  }
  EXPECT_GT(decoded, 100u);
  EXPECT_GT(refused, 1000u);
}

// ---- PacketWriter: rows from a SQL server's text cells ----

struct TextCell {
  const char* text;  // nullptr: null
  Value value;       // what the cell stands for
};

struct TextColumn {
  FieldDef field;
  std::vector<TextCell> cells;
};

TEST(JsonPacketWriter, WritesWhatEncodePacketWritesForEveryType) {
  const std::vector<TextColumn> columns = {
      {field("I16", DataType::Int16),
       {{"-32768", Value(std::int16_t{-32768})}, {"7", Value(std::int16_t{7})}}},
      {field("I32", DataType::Int32),
       {{"2147483647", Value(std::int32_t{2147483647})}, {"-1", Value(std::int32_t{-1})}}},
      {field("I64", DataType::Int64),
       {{"-9223372036854775808", Value(std::numeric_limits<std::int64_t>::min())},
        {"0", Value(std::int64_t{0})}}},
      {field("F", DataType::Float), {{"1.5", Value(1.5)}, {"1e-05", Value(1e-5)}}},
      {decimalField("Price", 11, 2),
       {{"-12.50", Value(Decimal(-1250, 2))}, {"0.00", Value(Decimal(0, 2))}}},
      {decimalField("Big", 38, 4),
       {{"-1234567890123456789012345678901234.5678",
         Value(Decimal::parse("-1234567890123456789012345678901234.5678"))},
        {"0.0001", Value(Decimal(1, 4))}}},
      // Texts that are not already in the written form go through the value.
      {decimalField("Odd", 11, 2),
       {{"-0.00", Value(Decimal(0, 2))}, {"007.5", Value(Decimal(750, 2))}}},
      {field("Plain", DataType::Decimal), {{"12.50", Value(Decimal(1250, 2))}, {"x", Value()}}},
      {field("D", DataType::Date),
       {{"2026-12-08", Value(Date::parse("2026-12-08"))}, {"0000-00-00", Value()}}},
      {field("DT", DataType::DateTime),
       {{"2026-12-08 10:30:00", Value(DateTime::parse("2026-12-08 10:30:00"))},
        {"0000-00-00 00:00:00", Value()}}},
      {field("T", DataType::Time),
       {{"23:59:59", Value(Time::parse("23:59:59"))}, {"-838:59:59", Value()}}},
      {field("S", DataType::String, 40),
       {{"货品 \"甲\" \\ 乙\n\t\x01", Value("货品 \"甲\" \\ 乙\n\t\x01")}, {"", Value("")}}},
  };
  Packet expected;
  std::vector<FieldDef> defs;
  for (const TextColumn& c : columns)
    defs.push_back(c.field);
  expected.fields = FieldDefs(defs);
  PacketWriter writer(expected.fields);
  std::string text;
  // Each row takes its cells from one of the columns' samples, and every cell is null once.
  for (std::size_t r = 0; r < 3; ++r) {
    std::vector<const char*> cells;
    std::vector<unsigned long> lengths;
    Row row;
    for (const TextColumn& c : columns) {
      const bool null = r == 2;
      const TextCell& cell = c.cells[r % 2];
      cells.push_back(null ? nullptr : cell.text);
      lengths.push_back(null ? 0 : std::strlen(cell.text));
      row.push_back(null ? Value() : cell.value);
    }
    writer.row(cells.data(), lengths.data());
    expected.rows.push_back(row);
    if (r == 1) text += writer.take();
  }
  writer.finish();
  text += writer.take();
  EXPECT_EQ(writer.rowCount(), 3u);
  EXPECT_EQ(text, encodePacket(expected));
  EXPECT_EQ(decodePacket(text), expected);
}

TEST(JsonPacketWriter, RefusesWhatEncodePacketRefusesAndLeavesTheRowOut) {
  Packet p;
  p.fields =
      FieldDefs(std::vector<FieldDef>{field("N", DataType::Int32), field("S", DataType::String)});
  const std::string good = encodePacket(p);  // no rows
  struct Case {
    const char* n;
    const char* s;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"abc", "x",
       "row 2, field 'N': holds a string value, the field is " + typeName(DataType::Int32)},
      {"1", "bad \xC3", "row 2, field 'S': invalid UTF-8"},
  };
  for (const Case& c : cases) {
    PacketWriter writer(p.fields);
    const char* ok[] = {"5", "a"};
    const unsigned long okLengths[] = {1, 1};
    writer.row(ok, okLengths);
    const char* cells[] = {c.n, c.s};
    const unsigned long lengths[] = {static_cast<unsigned long>(std::strlen(c.n)),
                                     static_cast<unsigned long>(std::strlen(c.s))};
    try {
      writer.row(cells, lengths);
      ADD_FAILURE() << "accepted " << c.n << " " << c.s;
    } catch (const DataSetError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    writer.finish();
    Packet one = p;
    one.rows.push_back(Row{Value(std::int32_t{5}), Value("a")});
    EXPECT_EQ(writer.take(), encodePacket(one));
  }
  for (DataType t : {DataType::Boolean, DataType::DataSet}) {
    EXPECT_THROW(PacketWriter(FieldDefs(std::vector<FieldDef>{field("B", t)})), DataSetError);
  }
  FieldDef negative = field("X", DataType::String);
  negative.size = -1;
  EXPECT_THROW(PacketWriter(FieldDefs(std::vector<FieldDef>{negative})), DataSetError);
}

// A page of bills with their lines nested: lines come in any order, a bill may have none, and
// a line the lines' writer refuses is left out of its bill only.
TEST(JsonPacketWriter, NestedLinesWriteWhatEncodePacketWrites) {
  const FieldDefs lineFields(
      std::vector<FieldDef>{field("Bid", DataType::String, 15), decimalField("Qty", 11, 2)});
  FieldDef nested = field("tb_x_d", DataType::DataSet);
  nested.children = lineFields.list();
  Packet expected;
  expected.fields = FieldDefs(std::vector<FieldDef>{field("Bid", DataType::String, 15), nested});
  NestedRowsWriter lines(lineFields, 3);
  auto line = [&](std::size_t bill, const char* bid, const char* qty) {
    const char* cells[] = {bid, qty};
    const unsigned long lengths[] = {static_cast<unsigned long>(std::strlen(bid)),
                                     static_cast<unsigned long>(std::strlen(qty))};
    lines.row(bill, cells, lengths);
  };
  line(2, "3", "1.50");
  line(0, "1", "2.00");
  line(2, "3", "-4.25");
  try {
    line(0, "bad \xC3", "1.00");
    ADD_FAILURE() << "a line with invalid UTF-8 was accepted";
  } catch (const DataSetError& e) {
    EXPECT_NE(std::string(e.what()).find("row 2, field 'Bid'"), std::string::npos) << e.what();
  }
  auto rows = [](std::vector<Row> r) {
    return Value(std::shared_ptr<const NestedRows>(std::make_shared<NestedRows>(std::move(r))));
  };
  expected.rows = {{Value("1"), rows({{Value("1"), Value(Decimal(200, 2))}})},
                   {Value("2"), rows({})},
                   {Value("3"), rows({{Value("3"), Value(Decimal(150, 2))},
                                      {Value("3"), Value(Decimal(-425, 2))}})}};
  PacketWriter writer(expected.fields, PacketWriter::NestedLast{});
  for (std::size_t b = 0; b < 3; ++b) {
    const std::string bid = std::to_string(b + 1);
    const char* cells[] = {bid.c_str()};
    const unsigned long lengths[] = {1};
    writer.row(cells, lengths, lines.take(b));
  }
  {
    const char* cells[] = {"4"};
    const unsigned long lengths[] = {1};
    EXPECT_THROW(writer.row(cells, lengths), DataSetError);  // a bill without its lines' text
  }
  writer.finish();
  const std::string text = writer.take();
  EXPECT_EQ(text, encodePacket(expected));
  EXPECT_EQ(decodePacket(text), expected);
  // Only the last field may be nested, and lines may hold neither booleans nor nested sets.
  EXPECT_THROW(
      PacketWriter(FieldDefs(std::vector<FieldDef>{nested, field("Bid", DataType::String)}),
                   PacketWriter::NestedLast{}),
      DataSetError);
  EXPECT_THROW(NestedRowsWriter(FieldDefs(std::vector<FieldDef>{field("B", DataType::Boolean)}), 1),
               DataSetError);
}

// ---- PacketReader: the same packet or the same error as decodePacket, in any pieces ----

// Large enough that rows are decoded before the last piece arrives.
Packet largePacket() {
  Packet p = samplePacket();
  const Row first = p.rows[0];
  const Row second = p.rows[1];
  for (int i = 0; i < 1500; ++i) {
    Row r = i % 2 ? first : second;
    r[0] = Value("货品 " + std::to_string(i));
    p.rows.push_back(std::move(r));
  }
  return p;
}

// The outcome of decoding: the packet's text again, or the error with its offset.
std::string outcome(const std::function<Packet()>& decode) {
  try {
    return "packet " + encodePacket(decode());
  } catch (const ParseError& e) {
    return std::string("error ") + e.what();
  }
}

// Gathers what a reader hands over back into a packet.
struct Gathered : PacketSink {
  Packet packet;
  int fieldsCalls = 0;
  void fields(const FieldDefs& defs) override {
    ++fieldsCalls;
    packet.fields = defs;
  }
  void row(Row&& r) override { packet.rows.push_back(std::move(r)); }
};

std::string readInPieces(std::string_view text, std::size_t piece, std::string* rest = nullptr,
                         bool viaSink = false) {
  return outcome([&] {
    Gathered sink;
    PacketReader reader = viaSink ? PacketReader(sink) : PacketReader();
    for (std::size_t at = 0; at < text.size(); at += piece)
      reader.feed(text.substr(at, piece));
    Packet p = reader.finish(rest);
    if (!viaSink) return p;
    if (sink.fieldsCalls != 1 || !p.rows.empty() || !(p.fields == sink.packet.fields))
      throw ParseError(
          "the sink was handed the fields " + std::to_string(sink.fieldsCalls) + " times", 0);
    return sink.packet;
  });
}

TEST(JsonPacketReader, DecodesLikeDecodePacketWhateverThePieces) {
  const std::string text = encodePacket(largePacket());
  ASSERT_GT(text.size(), 60000u);
  std::vector<std::string> texts = {text, samplePacketText(), " " + text + " \n",
                                    "{\"x\":[1,{\"y\":2}],\"fields\":[],\"rows\":[],\"z\":3}"};
  // Damage in the head, in rows decoded early and late, in the tail; cut short anywhere.
  for (std::size_t at : {std::size_t{5}, text.size() / 3, text.size() / 2 + 1, text.size() - 2}) {
    for (char c : {'"', ']', ',', '\x80', 'x', '\\'}) {
      std::string damaged = text;
      damaged[at] = c;
      texts.push_back(damaged);
    }
  }
  for (std::size_t cut : {std::size_t{0}, std::size_t{40}, text.size() / 2, text.size() - 1})
    texts.push_back(text.substr(0, cut));
  texts.push_back(text + "x");
  texts.push_back(text.substr(0, text.size() - 1) + ",\"rows\":[]}");
  for (const std::string& t : texts) {
    const std::string expected = outcome([&] { return decodePacket(t); });
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, t.size() + 1}) {
      if (piece == 1 && t.size() > 20000 && t != text) continue;  // keeps the test quick
      EXPECT_EQ(readInPieces(t, piece), expected)
          << "pieces of " << piece << ": " << t.substr(0, 80);
      EXPECT_EQ(readInPieces(t, piece, nullptr, true), expected)
          << "to a sink, pieces of " << piece << ": " << t.substr(0, 80);
    }
  }
}

TEST(JsonPacketReader, HandsBackWhatFollowsThePacket) {
  const Packet p = largePacket();
  const std::string text = encodePacket(p);
  std::string rest;
  EXPECT_EQ(readInPieces(text + ",\"error\":\"x\"}", 4096, &rest), "packet " + text);
  EXPECT_EQ(rest, ",\"error\":\"x\"}");
  EXPECT_EQ(readInPieces(text, 1000, &rest), "packet " + text);
  EXPECT_EQ(rest, "");
  // Cut short: an error, never the rows that came.
  EXPECT_NE(readInPieces(text.substr(0, text.size() - 3), 4096, &rest).rfind("error ", 0),
            std::string::npos);
}

TEST(JsonPacketReader, WhatItsSinkRefusesEndsTheReading) {
  struct Refusing : PacketSink {
    std::size_t rows = 0;
    void fields(const FieldDefs&) override {}
    void row(Row&&) override {
      if (++rows == 100) throw DataSetError("refused");
    }
  } sink;
  const std::string text = encodePacket(largePacket());
  PacketReader reader(sink, 1000);
  EXPECT_THROW(
      {
        for (std::size_t at = 0; at < text.size(); at += 1000)
          reader.feed(std::string_view(text).substr(at, 1000));
      },
      DataSetError);
  EXPECT_EQ(sink.rows, 100u);  // nothing after the refused row, and that row only once
}

// A decoding attempt that stops inside the field definitions, after a complete one, must not
// keep what it read: the next attempt reads the list again from its start.
TEST(JsonPacketReader, AttemptCutInsideTheFieldDefinitions) {
  const std::string text = "{\"fields\":[{\"name\":\"A\",\"type\":\"string\"}," +
                           std::string(65536, ' ') +
                           "{\"name\":\"B\",\"type\":\"string\"}],\"rows\":[[\"x\",\"y\"]]}";
  const std::string expected = outcome([&] { return decodePacket(text); });
  ASSERT_EQ(expected.rfind("packet ", 0), 0u) << expected;
  for (std::size_t piece : {std::size_t{1000}, std::size_t{4096}, std::size_t{65536 + 40}})
    EXPECT_EQ(readInPieces(text, piece), expected) << "pieces of " << piece;
}

// Every byte of a few packets as the place where a decoding attempt stops: the blanks before
// the packet make the first piece long enough for an attempt, the rest comes in one piece.
TEST(JsonPacketReader, AnAttemptMayStopAtEveryByte) {
  const std::string pad(64 * 1024, ' ');
  std::vector<std::string> packets = {
      samplePacketText(),
      "{\"x\":{\"fields\":[1]},\"fields\":[{\"name\":\"A\",\"type\":\"string\"},"
      "{\"name\":\"B\",\"type\":\"" +
          typeName(DataType::Int32) + "\"}],\"rows\":[],\"y\":[\"]\"]}",
      "{\"fields\":[{\"name\":\"A\",\"type\":\"string\"},{\"name\":\"A\",\"type\":\"string\"}],"
      "\"rows\":[]}",
      columnText("{\"name\":\"D\",\"type\":\"decimal\",\"precision\":5,\"scale\":2}",
                 "\"123.45\"],[\"-0.5\"],[\"1234.5\""),
  };
  std::string damaged = samplePacketText();
  damaged[damaged.size() / 2] = '}';
  packets.push_back(damaged);
  for (const std::string& packet : packets) {
    const std::string text = pad + packet;
    const std::string expected = outcome([&] { return decodePacket(text); });
    for (std::size_t cut = pad.size(); cut <= text.size(); ++cut) {
      const std::string got = outcome([&] {
        PacketReader reader;
        reader.feed(std::string_view(text).substr(0, cut));
        reader.feed(std::string_view(text).substr(cut));
        return reader.finish();
      });
      ASSERT_EQ(got, expected) << "cut at byte " << cut - pad.size() << " of " << packet;
    }
    // An attempt after every few bytes, each going on from where the last one stopped.
    for (std::size_t step : {std::size_t{1}, std::size_t{3}, std::size_t{50}}) {
      const std::string got = outcome([&] {
        PacketReader reader(step);
        for (char c : packet)
          reader.feed(std::string_view(&c, 1));
        return reader.finish();
      });
      ASSERT_EQ(got, outcome([&] { return decodePacket(packet); }))
          << "attempts every " << step << " bytes of " << packet;
    }
  }
  // After an error the reader starts afresh.
  PacketReader reader(1);
  reader.feed(damaged);
  EXPECT_THROW(reader.finish(), ParseError);
  reader.feed(samplePacketText());
  EXPECT_EQ(encodePacket(reader.finish()), encodePacket(decodePacket(samplePacketText())));
}

}  // namespace
}  // namespace vlt

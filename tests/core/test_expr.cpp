#include "vlt/expr.h"

#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "vlt/errors.h"

namespace vlt {
namespace {

FieldDefs goodsFields() {
  FieldDefs f;
  f.add("ID", DataType::Int32);
  f.add("Name", DataType::String);
  f.addDecimal("Qty", 18, 4);
  f.addDecimal("Price", 18, 2);
  f.add("IOKind", DataType::Int32);
  f.add("IoDirect", DataType::Int16);
  f.add("levelcode", DataType::String);
  f.add("UserID", DataType::String);
  f.add("groupid", DataType::Int64);
  f.add("Active", DataType::Boolean);
  f.add("BDate", DataType::Date);
  f.add("Rate", DataType::Float);
  f.add("名称", DataType::String);
  return f;
}

Decimal dec(const char* s) {
  return Decimal::parse(s);
}

// A row of goodsFields(): every field null except the ones given.
Row makeRow(std::initializer_list<std::pair<const char*, Value>> values) {
  static const FieldDefs fields = goodsFields();
  Row row(fields.size());
  for (const auto& [name, v] : values)
    row[fields.require(name)] = v;
  return row;
}

enum class Want { True, False, Null };

struct ConditionCase {
  const char* text;
  Row row;
  Want want;
};

void checkConditions(const std::vector<ConditionCase>& cases) {
  const FieldDefs fields = goodsFields();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Expression e = Expression::parse(c.text, fields);
    Value v = e.evaluate(c.row);
    switch (c.want) {
      case Want::True:
        ASSERT_EQ(v.type(), DataType::Boolean);
        EXPECT_TRUE(v.boolean());
        break;
      case Want::False:
        ASSERT_EQ(v.type(), DataType::Boolean);
        EXPECT_FALSE(v.boolean());
        break;
      case Want::Null:
        EXPECT_TRUE(v.isNull());
        break;
    }
    EXPECT_EQ(e.matches(c.row), c.want == Want::True);
  }
}

TEST(ExpressionTest, ProductFilters) {
  const Row goods = makeRow({{"ID", std::int32_t{7}},
                             {"Name", "Flour 25KG bag"},
                             {"IOKind", std::int32_t{1}},
                             {"IoDirect", std::int16_t{-1}},
                             {"levelcode", "ABC0012"},
                             {"UserID", "10001"},
                             {"groupid", std::int64_t{2}}});
  checkConditions({
      {"IOKind=1", goods, Want::True},
      {"Iokind=3", goods, Want::False},
      {"IoDirect=-1", goods, Want::True},
      {"IoDirect=1", goods, Want::False},
      {"Name like '%kg%'", goods, Want::True},
      {"Name like '%kG %'", goods, Want::True},
      {"Name like '%kgs%'", goods, Want::False},
      {"levelcode like 'abc%'", goods, Want::True},
      {"levelcode like 'abd%'", goods, Want::False},
      {"UserID='10001' and groupid=2", goods, Want::True},
      {"UserID='10001' and groupid=3", goods, Want::False},
      {"UserID='10001'", goods, Want::True},
      {"UserID=10001", goods, Want::True},
      {"IOKind='1'", goods, Want::True},
      {"[Name] = 'FLOUR 25kg BAG'", goods, Want::True},
      {"名称 is null", goods, Want::True},
  });
}

TEST(ExpressionTest, OperatorsAndKeywords) {
  const Row r = makeRow({{"ID", std::int32_t{5}},
                         {"Name", "Apple"},
                         {"Qty", dec("2.5000")},
                         {"Price", dec("4.00")},
                         {"Active", true},
                         {"BDate", Date::fromYmd(2026, 3, 1)},
                         {"Rate", 0.5}});
  checkConditions({
      {"id = 5", r, Want::True},
      {"ID <> 5", r, Want::False},
      {"ID != 4", r, Want::True},
      {"ID < 6", r, Want::True},
      {"ID < 5", r, Want::False},
      {"ID <= 5", r, Want::True},
      {"ID > 5", r, Want::False},
      {"ID >= 5", r, Want::True},
      {"5 = ID", r, Want::True},
      {"Qty = 2.5", r, Want::True},
      {"Qty > 2.4999", r, Want::True},
      {"Qty = ID / 2", r, Want::True},
      {"Qty * Price = 10", r, Want::True},
      {"Qty * Price + 1 > 10.5", r, Want::True},
      {"ID - 1 * 2 = 3", r, Want::True},
      {"(ID - 1) * 2 = 8", r, Want::True},
      {"Rate * 4 = 2", r, Want::True},
      {"-ID = -5", r, Want::True},
      {"- -ID = 5", r, Want::True},
      {"Name = 'apple'", r, Want::True},
      {"Name > 'APPLD'", r, Want::True},
      {"NAME LIKE 'A%'", r, Want::True},
      {"Name Not Like 'A%'", r, Want::False},
      {"ID in (1, 5, 9)", r, Want::True},
      {"ID IN (1,2)", r, Want::False},
      {"ID not in (1,2)", r, Want::True},
      {"Name in ('pear', 'APPLE')", r, Want::True},
      {"Active", r, Want::True},
      {"not Active", r, Want::False},
      {"Active = true", r, Want::True},
      {"Active = 'True'", r, Want::True},
      {"Active = 'false'", r, Want::False},
      {"BDate = '2026-03-01'", r, Want::True},
      {"BDate > '2026-02-28'", r, Want::True},
      {"Name = 'it''s'", makeRow({{"Name", "It's"}}), Want::True},
      {"Name + 'x' = 'applex'", r, Want::True},
      {"true", r, Want::True},
      {"1 = 1.0", r, Want::True},
  });
}

TEST(ExpressionTest, PrecedenceOfLogic) {
  const Row r = makeRow({{"ID", std::int32_t{1}}, {"IOKind", std::int32_t{2}}});
  checkConditions({
      // and binds tighter than or
      {"ID=1 or ID=2 and IOKind=3", r, Want::True},
      {"(ID=1 or ID=2) and IOKind=3", r, Want::False},
      {"IOKind=3 and ID=2 or ID=1", r, Want::True},
      // not binds tighter than and/or, looser than comparison
      {"not ID=1 or IOKind=2", r, Want::True},
      {"not ID=1 and IOKind=2", r, Want::False},
      {"not (ID=1 and IOKind=3)", r, Want::True},
      {"not not ID=1", r, Want::True},
      {"ID=2 OR IOKind=2 AnD not ID=3", r, Want::True},
  });
}

TEST(ExpressionTest, NullsAreNeitherTrueNorFalse) {
  const Row r = makeRow({{"ID", std::int32_t{1}}});  // Name, Qty null
  checkConditions({
      {"Name = 'a'", r, Want::Null},
      {"Name <> 'a'", r, Want::Null},
      {"not Name = 'a'", r, Want::Null},
      {"Name like '%'", r, Want::Null},
      {"Name not like 'a%'", r, Want::Null},
      {"Qty + 1 > 0", r, Want::Null},
      {"-Qty = 0", r, Want::Null},
      {"Name in ('a','b')", r, Want::Null},
      {"ID in (2, null)", r, Want::Null},
      {"ID in (1, null)", r, Want::True},
      {"ID = null", r, Want::Null},
      {"Name is null", r, Want::True},
      {"Name IS NOT NULL", r, Want::False},
      {"ID is not null", r, Want::True},
      {"Qty * 2 is null", r, Want::True},
      {"ID / 0 is null", r, Want::True},
      {"Name = 'a' or ID = 1", r, Want::True},
      {"Name = 'a' or ID = 2", r, Want::Null},
      {"Name = 'a' and ID = 2", r, Want::False},
      {"Name = 'a' and ID = 1", r, Want::Null},
  });
}

TEST(ExpressionTest, ArithmeticValues) {
  const FieldDefs fields = goodsFields();
  const Row r = makeRow({{"ID", std::int32_t{7}},
                         {"Qty", dec("1.10")},
                         {"Price", dec("2.20")},
                         {"Rate", 0.25},
                         {"Name", "12.5"}});
  struct Case {
    const char* text;
    Value want;
  };
  const Case cases[] = {
      {"Qty + Price", dec("3.30")},
      {"Price - Qty - Qty", dec("0.00")},
      {"Qty * Price", dec("2.42")},
      {"ID + 1", std::int64_t{8}},
      {"ID * -2", std::int64_t{-14}},
      {"-1", std::int64_t{-1}},
      {"1.50", dec("1.50")},
      {"ID / 2", dec("3.5")},
      {"1 / 3", dec("0.333333")},
      {"2 / 3", dec("0.666667")},
      {"-2 / 3", dec("-0.666667")},
      {"Qty / 0", Value()},
      {"Rate + 1", 1.25},
      {"Rate / 0", Value()},
      {"Name * 2", dec("25.0")},
      {"9223372036854775807 + 1", dec("9223372036854775808")},
      {"-9223372036854775807 - 2", dec("-9223372036854775809")},
      {"12345678901234567890.5", dec("12345678901234567890.5")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Value v = Expression::parse(c.text, fields).evaluate(r);
    ASSERT_EQ(v.type(), c.want.type());
    if (!v.isNull()) {
      EXPECT_EQ(compareValues(v, c.want, false), 0) << v.toText();
    }
  }
}

TEST(ExpressionTest, BindsFieldsAtParseTime) {
  FieldDefs f;
  f.add("A", DataType::Int32);
  f.add("b", DataType::String);
  Expression e = Expression::parse("  B = 'x' and a > 1 ", f);
  EXPECT_EQ(e.text(), "B = 'x' and a > 1");
  EXPECT_TRUE(e.matches(Row{std::int32_t{2}, "X"}));
  EXPECT_FALSE(e.matches(Row{std::int32_t{1}, "X"}));
  // A row shorter than the definitions reads the missing fields as null.
  EXPECT_FALSE(e.matches(Row{std::int32_t{2}}));

  Expression none;
  EXPECT_FALSE(none.valid());
  EXPECT_TRUE(none.evaluate(Row{}).isNull());
  Expression moved = std::move(e);
  EXPECT_TRUE(moved.valid());
}

struct LikeCase {
  const char* text;
  const char* pattern;
  bool want;
};

TEST(LikeTest, Patterns) {
  const LikeCase cases[] = {
      {"abc", "abc", true},
      {"ABC", "abc", true},
      {"abcd", "abc", false},
      {"abc", "abc%", true},
      {"abcdef", "ABC%", true},
      {"xabc", "abc%", false},
      {"xxabc", "%abc", true},
      {"abcx", "%abc", false},
      {"xxAbCxx", "%abc%", true},
      {"ab", "%abc%", false},
      {"", "%", true},
      {"", "", true},
      {"a", "", false},
      {"", "_", false},
      {"a", "_", true},
      {"ab", "_", false},
      {"abc", "a_c", true},
      {"abbc", "a_c", false},
      {"abc", "a%c", true},
      {"ac", "a%c", true},
      {"abcb", "a%c", false},
      {"aXbXc", "%x%x%", true},
      {"aXbc", "%x%x%", false},
      {"abc", "%%%", true},
      {"abc", "a%%c", true},
      {"a%c", "a%c", true},
      {"kg", "%kg%", true},
      {"KKG", "%kg%", true},
      {"kkkkg", "%kkg", true},
      {"mississippi", "%iss%pi", true},
      {"mississippi", "m%ss%ss%", true},
      {"mississippi", "m%ss%ss%s", false},
      {"苹果", "苹_", true},
      {"苹果汁", "苹_", false},
      {"苹果汁", "苹__", true},
      {"苹", "%__", false},
      {"苹果", "%__", true},
      {"大苹果", "%苹%", true},
      {"苹果", "_果", true},
      {"aÄb", "a_b", true},
      {"Ä", "ä", false},
      {"25KG袋", "%kg袋", true},
      {"x_y", "x_y", true},
  };
  FieldDefs f;
  f.add("Name", DataType::String);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " like " + c.pattern);
    EXPECT_EQ(likeMatch(c.text, c.pattern), c.want);
    // The compiled form used by filters must agree with the plain matcher.
    std::string quoted;
    for (const char* p = c.pattern; *p; ++p)
      quoted += *p == '\'' ? "''" : std::string(1, *p);
    Expression e = Expression::parse("Name like '" + quoted + "'", f);
    EXPECT_EQ(e.matches(Row{c.text}), c.want);
  }
}

TEST(LikeTest, NonTextAndDynamicOperands) {
  FieldDefs f;
  f.add("Code", DataType::Int32);
  f.add("Pat", DataType::String);
  EXPECT_TRUE(Expression::parse("Code like '12%'", f).matches(Row{std::int32_t{123}, nullptr}));
  EXPECT_TRUE(Expression::parse("'abc' like Pat", f).matches(Row{std::int32_t{1}, "A%"}));
  EXPECT_FALSE(Expression::parse("'abc' like Pat", f).matches(Row{std::int32_t{1}, "b%"}));
  EXPECT_TRUE(
      Expression::parse("'abc' like Pat", f).evaluate(Row{std::int32_t{1}, nullptr}).isNull());
  EXPECT_TRUE(Expression::parse("Code like null", f).evaluate(Row{std::int32_t{1}, "x"}).isNull());
}

TEST(LikeTest, PathologicalPatternIsFast) {
  const std::string text(20000, 'a');
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(likeMatch(text, "%a%a%a%a%a%a%a%a%a%a%b"));
  EXPECT_FALSE(likeMatch(text, "%a_a_a_a_a_%b"));
  EXPECT_TRUE(likeMatch(text + "b", "%a%a%a%a%a%a%a%a%a%a%b"));
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(1));
}

struct ErrorCase {
  const char* text;
  std::size_t position;
  const char* message;
};

TEST(ExpressionTest, ParseErrorsNamePosition) {
  const FieldDefs fields = goodsFields();
  const ErrorCase cases[] = {
      {"Nmae like '%kg%'", 0, "Unknown field 'Nmae' in filter"},
      {"ID=1 and Nmae=2", 9, "Unknown field 'Nmae'"},
      {"[Na me] = 1", 0, "Unknown field 'Na me'"},
      {"Name = 'abc", 7, "Unterminated string"},
      {"Name = 'it''s", 7, "Unterminated string"},
      {"(ID = 1", 7, "Expected ')'"},
      {"ID in (1, 2", 11, "Expected ')'"},
      {"ID in ()", 7, "Expected a value"},
      {"ID = 1 xyz", 7, "Unexpected 'xyz'"},
      {"ID = 1)", 6, "Unexpected ')'"},
      {"ID = ", 5, "Unexpected end of expression"},
      {"ID = and", 5, "Unexpected 'and'"},
      {"ID # 1", 3, "Unexpected '#'"},
      {"ID ! 1", 3, "Unexpected '!'"},
      {"Name is 1", 8, "Expected 'null'"},
      {"Name not = 1", 9, "Expected 'like' or 'in'"},
      {"[Name = 1", 0, "Unterminated field name"},
      {"", 0, "Empty expression"},
      {"   ", 3, "Empty expression"},
      {"ID = 123456789012345678901234567890123456789", 5, "out of range"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      Expression::parse(c.text, fields);
      ADD_FAILURE() << "no error";
    } catch (const ParseError& e) {
      EXPECT_EQ(e.position(), c.position);
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(ExpressionTest, DeepNestingIsRefusedNotCrashing) {
  const FieldDefs fields = goodsFields();
  EXPECT_THROW(Expression::parse(std::string(100000, '(') + "1", fields), ParseError);
  EXPECT_THROW(Expression::parse(std::string(100000, '-') + "1", fields), ParseError);
  std::string chain = "ID";
  for (int i = 0; i < 5000; ++i)
    chain += "+ID";
  EXPECT_THROW(Expression::parse(chain + "=1", fields), ParseError);
  // Long or-chains are flat and fine.
  std::string ors = "ID=0";
  for (int i = 1; i < 5000; ++i)
    ors += " or ID=" + std::to_string(i);
  EXPECT_TRUE(Expression::parse(ors, fields).matches(makeRow({{"ID", std::int32_t{4999}}})));
}

struct AggregateCase {
  const char* text;
  std::vector<Row> rows;
  Value want;
};

TEST(AggregateTest, Compute) {
  const Row a = makeRow({{"ID", std::int32_t{1}}, {"Qty", dec("1.5")}, {"Price", dec("2.00")}});
  const Row b = makeRow({{"ID", std::int32_t{2}}, {"Qty", dec("2.25")}, {"Price", dec("0.10")}});
  const Row c = makeRow({{"ID", std::int32_t{4}}, {"Rate", 0.5}, {"Name", "b"}});
  const Row d = makeRow({{"Name", "A"}});
  const AggregateCase cases[] = {
      {"sum(qty)", {a, b}, dec("3.75")},
      {"SUM( Qty )", {a, b, c}, dec("3.75")},
      {"sum(qty*price)", {a, b}, dec("3.225")},
      {"sum(ID)", {a, b, c}, std::int64_t{7}},
      {"sum(ID + Qty)", {a, b}, dec("6.75")},
      {"sum(Rate)", {a, c}, 0.5},
      {"sum(ID + Rate)", {c}, 4.5},
      {"sum(qty)", {c, d}, Value()},
      {"sum(qty)", {}, Value()},
      {"count(*)", {a, b, c, d}, std::int64_t{4}},
      {"count(qty)", {a, b, c, d}, std::int64_t{2}},
      {"count(qty)", {}, std::int64_t{0}},
      {"min(qty)", {a, b, c}, dec("1.5")},
      {"max(qty)", {a, b, c}, dec("2.25")},
      {"max(ID)", {a, b, c, d}, std::int32_t{4}},
      {"min(Name)", {a, c, d}, "A"},
      {"max(Name)", {c, d}, "b"},
      {"min(qty)", {d}, Value()},
      {"avg(qty)", {a, b, c}, dec("1.87500")},
      {"avg(ID)", {a, b, c}, dec("2.3333")},
      {"avg(Rate)", {a, c}, 0.5},
      {"avg(ID)", {d}, Value()},
      {"avg(ID)", {b, b, a}, dec("1.6667")},  // rounded half away from zero
      {"avg(0 - ID)", {b, b, a}, dec("-1.6667")},
  };
  const FieldDefs fields = goodsFields();
  for (const auto& c0 : cases) {
    SCOPED_TRACE(c0.text);
    AggregateExpression agg = AggregateExpression::parse(c0.text, fields);
    std::vector<const Row*> rows;
    for (const auto& r : c0.rows)
      rows.push_back(&r);
    Value v = agg.compute(rows);
    ASSERT_EQ(v.type(), c0.want.type()) << (v.isNull() ? "null" : v.toText());
    if (!v.isNull()) {
      EXPECT_EQ(compareValues(v, c0.want, false), 0) << v.toText();
    }
  }
  EXPECT_EQ(AggregateExpression::parse("Max(qty)", fields).function(),
            AggregateExpression::Function::Max);
}

TEST(AggregateTest, SumOfDecimalsIsExact) {
  FieldDefs f;
  f.addDecimal("Amount", 18, 2);
  std::vector<Row> rows(1000, Row{dec("0.10")});
  std::vector<const Row*> ptrs;
  for (const auto& r : rows)
    ptrs.push_back(&r);
  Value v = AggregateExpression::parse("sum(amount)", f).compute(ptrs);
  ASSERT_EQ(v.type(), DataType::Decimal);
  EXPECT_EQ(v.decimal().toShortString(), "100");
}

TEST(AggregateTest, ParseErrors) {
  const FieldDefs fields = goodsFields();
  const ErrorCase cases[] = {
      {"total(qty)", 0, "Unknown aggregate function 'total'"},
      {"sum qty", 4, "Expected '('"},
      {"sum(qty", 7, "Expected ')'"},
      {"sum()", 4, "Expected an argument"},
      {"sum(*)", 4, "count(*)"},
      {"sum(qty) + 1", 9, "Unexpected '+'"},
      {"sum(qtx)", 4, "Unknown field 'qtx' in aggregate"},
      {"sum(qty *)", 9, "Unexpected end of expression"},
      {"max(Name = 'a)", 11, "Unterminated string"},
      {"", 0, "Empty"},
      {"(qty)", 0, "Expected an aggregate function"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      AggregateExpression::parse(c.text, fields);
      ADD_FAILURE() << "no error";
    } catch (const ParseError& e) {
      EXPECT_EQ(e.position(), c.position);
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(AggregateTest, NonNumericSumIsAConversionError) {
  const FieldDefs fields = goodsFields();
  const Row r = makeRow({{"Name", "abc"}});
  EXPECT_THROW(AggregateExpression::parse("sum(Name)", fields).compute({&r}), ConversionError);
}

}  // namespace
}  // namespace vlt

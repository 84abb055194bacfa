#pragma once
// The expression language of data-set filters and aggregates.
//
//   IOKind=1    IoDirect=-1    Name like '%kg%'    levelcode like 'abc%'
//   UserID='10001' and groupid=2    not (a<>b or c is null)    Qty*Price>100
//
// Operators: = <> != < > <= >=, like / not like (% any run, _ one character), in (...),
// is null / is not null, and, or, not, + - * /, unary minus, parentheses. Literals: quoted
// strings with '' for a quote, numbers (exact decimals), true/false, null. Field names are bare
// identifiers or [bracketed], matched without regard to case. Keywords are case-insensitive.
// Text comparisons and like ignore ASCII letter case, as the database's collation does.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "vlt/field.h"
#include "vlt/value.h"

namespace vlt {

namespace expr {
class Node;
}

class Expression {
 public:
  Expression();
  ~Expression();
  Expression(Expression&&) noexcept;
  Expression& operator=(Expression&&) noexcept;

  // Parses and binds field names to indexes of `fields`. Throws ParseError naming the position
  // for bad syntax, and for an unknown field (naming the field).
  static Expression parse(std::string_view text, const FieldDefs& fields);

  bool valid() const { return root_ != nullptr; }
  const std::string& text() const { return text_; }

  // `row` holds one value per field of the definitions given to parse().
  Value evaluate(const Row& row) const;
  // True when the expression is true for the row; null and false are not a match.
  bool matches(const Row& row) const;

 private:
  std::string text_;
  std::unique_ptr<expr::Node> root_;
};

// "sum(qty)", "count(*)", "min(x)", "max(x)", "avg(x)", and arithmetic inside ("sum(qty*price)").
class AggregateExpression {
 public:
  enum class Function { Sum, Count, Min, Max, Avg };

  static AggregateExpression parse(std::string_view text, const FieldDefs& fields);

  Function function() const { return function_; }
  // Over the given rows. Sum of decimals is exact; sum/min/max/avg of no rows is null; count
  // counts non-null values (every row for count(*)).
  Value compute(const std::vector<const Row*>& rows) const;

 private:
  Function function_ = Function::Sum;
  bool star_ = false;
  Expression argument_;
};

// SQL-style like over UTF-8 text: % any run, _ exactly one character; ASCII case is ignored.
bool likeMatch(std::string_view text, std::string_view pattern);

}  // namespace vlt

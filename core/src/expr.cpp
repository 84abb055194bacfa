// Filter and aggregate expressions of the client data set.
//
// A parsed expression is a tree of plain nodes evaluated by two switch-based walkers: test()
// gives the three-valued truth of a condition and eval() gives a value. Field references and
// literals are read in place (no copies), like patterns are compiled once, and literals compared
// with a field are converted to the field's type at parse time, so the common filters
// (field op literal, field like literal, and/or of those) do no allocation per row.

#include "vlt/expr.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "vlt/errors.h"

namespace vlt {

namespace {

constexpr unsigned char foldByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

inline unsigned char foldAt(std::string_view s, std::size_t i) {
  return foldByte(static_cast<unsigned char>(s[i]));
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (foldAt(a, i) != foldAt(b, i)) return false;
  }
  return true;
}

// Compares `n` bytes of `text` with an already folded needle.
inline bool equalsFolded(const char* text, const char* folded, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (foldByte(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(folded[i])) {
      return false;
    }
  }
  return true;
}

// Length in bytes of the UTF-8 character starting at `i`; a stray byte counts as one.
inline std::size_t charLength(std::string_view s, std::size_t i) {
  auto b = static_cast<unsigned char>(s[i]);
  std::size_t n = 1;
  if (b >= 0xF0 && b <= 0xF7) {
    n = 4;
  } else if (b >= 0xE0) {
    n = b <= 0xEF ? 3 : 1;
  } else if (b >= 0xC0) {
    n = 2;
  }
  return std::min(n, s.size() - i);
}

// % and _ matching with one backtracking point (the last %): O(text * pattern) at worst, no
// recursion. Positions in the text stay on character boundaries so that _ takes a whole
// character. `patternFolded` says the pattern's letters are already lower case.
bool wildcardMatch(std::string_view text, std::string_view pattern, bool patternFolded) {
  constexpr std::size_t npos = std::string_view::npos;
  std::size_t t = 0;
  std::size_t p = 0;
  std::size_t starP = npos;
  std::size_t starT = 0;
  while (t < text.size()) {
    if (p < pattern.size()) {
      char pc = pattern[p];
      if (pc == '%') {
        starP = ++p;
        starT = t;
        continue;
      }
      if (pc == '_') {
        t += charLength(text, t);
        ++p;
        continue;
      }
      unsigned char want = patternFolded ? static_cast<unsigned char>(pc) : foldAt(pattern, p);
      if (foldAt(text, t) == want) {
        ++t;
        ++p;
        continue;
      }
    }
    if (starP == npos) return false;
    p = starP;
    starT += charLength(text, starT);
    t = starT;
  }
  while (p < pattern.size() && pattern[p] == '%')
    ++p;
  return p == pattern.size();
}

// Case-insensitive search of a folded needle: memchr finds candidates for the first byte (both
// cases of a letter), the rest is compared in place.
bool containsFolded(std::string_view hay, std::string_view needle) {
  const std::size_t n = needle.size();
  if (n == 0) return true;
  if (hay.size() < n) return false;
  const char* last = hay.data() + (hay.size() - n);  // last possible start
  const char* rest = needle.data() + 1;
  const std::size_t restLen = n - 1;
  const auto first = static_cast<unsigned char>(needle[0]);
  auto find = [last](const char* from, unsigned char c) -> const char* {
    if (from > last) return nullptr;
    return static_cast<const char*>(
        std::memchr(from, c, static_cast<std::size_t>(last - from) + 1));
  };
  if (first < 'a' || first > 'z') {
    for (const char* c = find(hay.data(), first); c; c = find(c + 1, first)) {
      if (equalsFolded(c + 1, rest, restLen)) return true;
    }
    return false;
  }
  const auto upper = static_cast<unsigned char>(first - ('a' - 'A'));
  const char* lo = find(hay.data(), first);
  const char* up = find(hay.data(), upper);
  while (lo || up) {
    const char* c = (lo && (!up || lo < up)) ? lo : up;
    if (equalsFolded(c + 1, rest, restLen)) return true;
    if (c == lo) {
      lo = find(c + 1, first);
    } else {
      up = find(c + 1, upper);
    }
  }
  return false;
}

}  // namespace

bool likeMatch(std::string_view text, std::string_view pattern) {
  return wildcardMatch(text, pattern, false);
}

namespace expr {

enum class Op : std::uint8_t {
  Field,
  Literal,
  Neg,
  Add,
  Sub,
  Mul,
  Div,
  Eq,
  Ne,
  Lt,
  Le,
  Gt,
  Ge,
  Like,
  In,
  IsNull,
  And,
  Or,
  Not,
};

enum class Truth : std::uint8_t { False, True, Unknown };

// A like pattern sorted at parse time into the shape that can be matched fastest.
class LikePattern {
 public:
  void compile(std::string_view pattern) {
    std::string p;  // runs of % collapsed, letters folded
    p.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
      if (pattern[i] == '%' && !p.empty() && p.back() == '%') continue;
      p.push_back(static_cast<char>(foldAt(pattern, i)));
    }
    kind_ = Kind::General;
    if (p.find('_') == std::string::npos) {
      bool lead = !p.empty() && p.front() == '%';
      std::string_view core(p);
      if (lead) core.remove_prefix(1);
      bool trail = !core.empty() && core.back() == '%';
      if (trail) core.remove_suffix(1);
      if (core.find('%') == std::string_view::npos) {
        kind_ = lead ? (trail || core.empty() ? Kind::Contains : Kind::Suffix)
                     : (trail ? Kind::Prefix : Kind::Exact);
        p = std::string(core);
      }
    }
    text_ = std::move(p);
  }

  bool match(std::string_view s) const {
    const std::size_t n = text_.size();
    switch (kind_) {
      case Kind::Exact:
        return s.size() == n && equalsFolded(s.data(), text_.data(), n);
      case Kind::Prefix:
        return s.size() >= n && equalsFolded(s.data(), text_.data(), n);
      case Kind::Suffix:
        return s.size() >= n && equalsFolded(s.data() + (s.size() - n), text_.data(), n);
      case Kind::Contains:
        return containsFolded(s, text_);
      case Kind::General:
        break;
    }
    return wildcardMatch(s, text_, true);
  }

 private:
  enum class Kind : std::uint8_t { Exact, Prefix, Suffix, Contains, General };
  Kind kind_ = Kind::General;
  std::string text_;  // folded: the literal part, or the whole pattern for General
};

class Node {
 public:
  explicit Node(Op o) : op(o) {}

  Op op;
  bool negated = false;        // not like, not in, is not null
  bool patternIsNull = false;  // like null: never true
  std::size_t field = 0;
  int depth = 1;  // height of the subtree; bounded so that walking it cannot exhaust the stack
  Value literal;
  std::unique_ptr<Node> left;
  std::unique_ptr<Node> right;  // binary operators; like with a pattern that is not a literal
  std::vector<std::unique_ptr<Node>> items;  // operands of and/or, values of in (...)
  LikePattern pattern;                       // like with a literal pattern
};

}  // namespace expr

namespace {

using expr::Node;
using expr::Op;
using expr::Truth;

const Value kNullValue;

// ---------------------------------------------------------------------------------------------
// Numbers

// An operand of arithmetic: integers, exact decimals or doubles.
struct Number {
  enum class Kind : std::uint8_t { Int, Dec, Dbl };
  Kind kind = Kind::Int;
  std::int64_t i = 0;
  Decimal d;
  double f = 0;

  Decimal decimal() const { return kind == Kind::Dec ? d : Decimal(i, 0); }
  double toDouble() const {
    switch (kind) {
      case Kind::Int:
        return static_cast<double>(i);
      case Kind::Dec:
        return d.toDouble();
      case Kind::Dbl:
        break;
    }
    return f;
  }
};

// False when the value has no numeric reading (null, a date, text that is not a number).
bool readNumber(const Value& v, Number& n) {
  switch (v.type()) {
    case DataType::Int16:
      n.kind = Number::Kind::Int;
      n.i = v.int16();
      return true;
    case DataType::Int32:
      n.kind = Number::Kind::Int;
      n.i = v.int32();
      return true;
    case DataType::Int64:
      n.kind = Number::Kind::Int;
      n.i = v.int64();
      return true;
    case DataType::Float:
      n.kind = Number::Kind::Dbl;
      n.f = v.float64();
      return true;
    case DataType::Decimal:
      n.kind = Number::Kind::Dec;
      n.d = v.decimal();
      return true;
    case DataType::String:
      n.kind = Number::Kind::Dec;
      return Decimal::tryParse(v.string(), n.d);
    default:
      return false;
  }
}

Value doubleArithmetic(Op op, double a, double b) {
  switch (op) {
    case Op::Add:
      return a + b;
    case Op::Sub:
      return a - b;
    case Op::Mul:
      return a * b;
    default:
      break;
  }
  if (b == 0) return {};
  return a / b;
}

Value arithmetic(Op op, const Value& a, const Value& b) {
  if (a.isNull() || b.isNull()) return {};
  if (op == Op::Add && a.type() == DataType::String && b.type() == DataType::String) {
    return a.string() + b.string();
  }
  Number x;
  Number y;
  if (!readNumber(a, x) || !readNumber(b, y)) return {};
  if (x.kind == Number::Kind::Dbl || y.kind == Number::Kind::Dbl) {
    return doubleArithmetic(op, x.toDouble(), y.toDouble());
  }
  if (x.kind == Number::Kind::Int && y.kind == Number::Kind::Int) {
    std::int64_t r = 0;
    bool overflow = true;
    switch (op) {
      case Op::Add:
        overflow = __builtin_add_overflow(x.i, y.i, &r);
        break;
      case Op::Sub:
        overflow = __builtin_sub_overflow(x.i, y.i, &r);
        break;
      case Op::Mul:
        overflow = __builtin_mul_overflow(x.i, y.i, &r);
        break;
      default:
        break;  // division goes the decimal way so that 7/2 is 3.5
    }
    if (!overflow) return r;
  }
  const Decimal p = x.decimal();
  const Decimal q = y.decimal();
  Decimal r;
  bool exact = false;
  switch (op) {
    case Op::Add:
      exact = Decimal::tryAdd(p, q, r);
      break;
    case Op::Sub:
      exact = Decimal::trySubtract(p, q, r);
      break;
    case Op::Mul:
      exact = Decimal::tryMultiply(p, q, r);
      break;
    default:
      if (q.isZero()) return {};
      exact = Decimal::tryDivide(p, q, std::max(p.scale(), q.scale()) + 6, r);
      break;
  }
  if (exact) return r;
  // Beyond what a decimal holds the value goes on as a double, as with a float operand: a
  // filter or sum over such a value still compares and adds by its size.
  return doubleArithmetic(op, p.toDouble(), q.toDouble());
}

Value negate(const Value& v) {
  Number n;
  if (v.isNull() || !readNumber(v, n)) return {};
  switch (n.kind) {
    case Number::Kind::Int:
      if (n.i == std::numeric_limits<std::int64_t>::min()) return -Decimal(n.i, 0);
      return -n.i;
    case Number::Kind::Dec:
      return -n.d;
    case Number::Kind::Dbl:
      break;
  }
  return -n.f;
}

// ---------------------------------------------------------------------------------------------
// Comparison and truth

bool boolFromText(std::string_view s, bool& out) {
  if (iequals(s, "true")) {
    out = true;
    return true;
  }
  if (iequals(s, "false")) {
    out = false;
    return true;
  }
  return false;
}

inline bool readInteger(const Value& v, std::int64_t& out) {
  switch (v.type()) {
    case DataType::Int16:
      out = v.int16();
      return true;
    case DataType::Int32:
      out = v.int32();
      return true;
    case DataType::Int64:
      out = v.int64();
      return true;
    default:
      return false;
  }
}

// compareValues with a shortcut for the most common filter, an integer column against an
// integer literal.
inline int compareForFilter(const Value& a, const Value& b) {
  std::int64_t x = 0;
  std::int64_t y = 0;
  if (readInteger(a, x) && readInteger(b, y)) return (x > y) - (x < y);
  return compareValues(a, b, /*foldCase=*/true);
}

// A value used as a condition: booleans as they are, numbers when not zero, 'true' text.
Truth truthOf(const Value& v) {
  Number n;
  bool b = false;
  switch (v.type()) {
    case DataType::Null:
      return Truth::Unknown;
    case DataType::Boolean:
      return v.boolean() ? Truth::True : Truth::False;
    case DataType::String:
      return boolFromText(v.string(), b) && b ? Truth::True : Truth::False;
    default:
      if (!readNumber(v, n)) return Truth::False;
      return n.toDouble() != 0 ? Truth::True : Truth::False;
  }
}

inline Truth truth(bool b) {
  return b ? Truth::True : Truth::False;
}

Truth test(const Node& n, const Row& row);
Value eval(const Node& n, const Row& row);

// The node's value without copying it when it is a field or a literal; otherwise computed into
// `tmp`.
inline const Value& ref(const Node& n, const Row& row, Value& tmp) {
  if (n.op == Op::Field) return n.field < row.size() ? row[n.field] : kNullValue;
  if (n.op == Op::Literal) return n.literal;
  tmp = eval(n, row);
  return tmp;
}

bool compareResult(Op op, int c) {
  switch (op) {
    case Op::Eq:
      return c == 0;
    case Op::Ne:
      return c != 0;
    case Op::Lt:
      return c < 0;
    case Op::Le:
      return c <= 0;
    case Op::Gt:
      return c > 0;
    default:
      return c >= 0;
  }
}

Truth testLike(const Node& n, const Row& row) {
  Value tmp;
  const Value& v = ref(*n.left, row, tmp);
  if (v.isNull() || n.patternIsNull) return Truth::Unknown;
  bool m = false;
  if (!n.right) {
    m = v.type() == DataType::String ? n.pattern.match(v.string()) : n.pattern.match(v.toText());
  } else {
    Value ptmp;
    const Value& p = ref(*n.right, row, ptmp);
    if (p.isNull()) return Truth::Unknown;
    const std::string text = v.type() == DataType::String ? v.string() : v.toText();
    m = likeMatch(text, p.type() == DataType::String ? p.string() : p.toText());
  }
  return truth(m != n.negated);
}

Truth test(const Node& n, const Row& row) {
  switch (n.op) {
    case Op::And: {
      Truth r = Truth::True;
      for (const auto& item : n.items) {
        Truth t = test(*item, row);
        if (t == Truth::False) return t;
        if (t == Truth::Unknown) r = t;
      }
      return r;
    }
    case Op::Or: {
      Truth r = Truth::False;
      for (const auto& item : n.items) {
        Truth t = test(*item, row);
        if (t == Truth::True) return t;
        if (t == Truth::Unknown) r = t;
      }
      return r;
    }
    case Op::Not: {
      Truth t = test(*n.left, row);
      return t == Truth::Unknown ? t : truth(t == Truth::False);
    }
    case Op::Eq:
    case Op::Ne:
    case Op::Lt:
    case Op::Le:
    case Op::Gt:
    case Op::Ge: {
      Value ta;
      Value tb;
      const Value& a = ref(*n.left, row, ta);
      if (a.isNull()) return Truth::Unknown;
      const Value& b = ref(*n.right, row, tb);
      if (b.isNull()) return Truth::Unknown;
      return truth(compareResult(n.op, compareForFilter(a, b)));
    }
    case Op::Like:
      return testLike(n, row);
    case Op::In: {
      Value ta;
      const Value& a = ref(*n.left, row, ta);
      if (a.isNull()) return Truth::Unknown;
      bool sawNull = false;
      for (const auto& item : n.items) {
        Value tb;
        const Value& b = ref(*item, row, tb);
        if (b.isNull()) {
          sawNull = true;
        } else if (compareForFilter(a, b) == 0) {
          return truth(!n.negated);
        }
      }
      return sawNull ? Truth::Unknown : truth(n.negated);
    }
    case Op::IsNull: {
      Value ta;
      return truth(ref(*n.left, row, ta).isNull() != n.negated);
    }
    default: {
      Value tmp;
      return truthOf(ref(n, row, tmp));
    }
  }
}

Value eval(const Node& n, const Row& row) {
  switch (n.op) {
    case Op::Field:
      return n.field < row.size() ? row[n.field] : Value();
    case Op::Literal:
      return n.literal;
    case Op::Neg: {
      Value t;
      return negate(ref(*n.left, row, t));
    }
    case Op::Add:
    case Op::Sub:
    case Op::Mul:
    case Op::Div: {
      Value ta;
      Value tb;
      return arithmetic(n.op, ref(*n.left, row, ta), ref(*n.right, row, tb));
    }
    default: {
      Truth t = test(n, row);
      if (t == Truth::Unknown) return {};
      return t == Truth::True;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Parsing

constexpr int kMaxNesting = 200;  // parentheses, not, unary minus
constexpr int kMaxDepth = 1000;   // height of the tree, e.g. a long chain of +

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isIdentStart(char c) {
  auto b = static_cast<unsigned char>(c);
  return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || b == '_' || b >= 0x80;
}
bool isIdentChar(char c) {
  return isIdentStart(c) || isDigit(c);
}

bool isReserved(std::string_view word) {
  for (const char* k : {"and", "or", "not", "like", "in", "is", "null", "true", "false"}) {
    if (iequals(word, k)) return true;
  }
  return false;
}

std::string quoteForMessage(std::string_view s) {
  constexpr std::size_t kMax = 40;
  std::string r = "'";
  if (s.size() > kMax) {
    std::size_t cut = kMax;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80)
      --cut;
    r.append(s.substr(0, cut));
    r += "...";
  } else {
    r.append(s);
  }
  r += "'";
  return r;
}

// A literal compared with a field takes the field's type when its text reads as one, so that
// IOKind='3' compares numbers and a date column compares with '2026-03-01' by date, without
// converting on every row.
void adaptLiteral(Value& lit, DataType fieldType) {
  if (lit.type() != DataType::String) return;
  const std::string& s = lit.string();
  switch (fieldType) {
    case DataType::Boolean: {
      bool b = false;
      if (boolFromText(s, b)) lit = b;
      break;
    }
    case DataType::Int16:
    case DataType::Int32:
    case DataType::Int64:
    case DataType::Float:
    case DataType::Decimal: {
      Decimal d;
      if (!Decimal::tryParse(s, d)) break;
      if (d.scale() == 0 && d.integerDigits() <= 18) {
        lit = d.toInt64();
      } else {
        lit = d;
      }
      break;
    }
    case DataType::Date: {
      Date d;
      DateTime dt;
      if (Date::tryParse(s, d)) {
        lit = d;
      } else if (DateTime::tryParse(s, dt)) {
        lit = dt;
      }
      break;
    }
    case DataType::DateTime: {
      DateTime dt;
      if (DateTime::tryParse(s, dt)) lit = dt;
      break;
    }
    case DataType::Time: {
      Time t;
      if (Time::tryParse(s, t)) lit = t;
      break;
    }
    default:
      break;
  }
}

class Parser {
 public:
  Parser(std::string_view text, std::size_t begin, std::size_t end, const FieldDefs& fields,
         const char* context)
      : text_(text.substr(0, end)), pos_(begin), fields_(fields), context_(context) {}

  std::unique_ptr<Node> parseAll() {
    next();
    if (tok_.kind == Tok::End) throw ParseError("Empty expression", tok_.start);
    auto root = parseOr();
    if (tok_.kind != Tok::End) unexpected();
    return root;
  }

 private:
  enum class Tok : std::uint8_t { End, Ident, Bracketed, String, Number, Symbol };
  struct Token {
    Tok kind = Tok::End;
    std::size_t start = 0;
    std::size_t end = 0;
    std::string text;  // identifier, field name, string content or symbol
    Value number;
  };

  // Guards the recursive descent against input nested deeper than any real filter.
  class Nest {
   public:
    explicit Nest(Parser& p) : p_(p) {
      if (++p_.nesting_ > kMaxNesting)
        throw ParseError("Expression nested too deeply", p_.tok_.start);
    }
    ~Nest() { --p_.nesting_; }
    Nest(const Nest&) = delete;
    Nest& operator=(const Nest&) = delete;

   private:
    Parser& p_;
  };

  [[noreturn]] void unexpected() const {
    if (tok_.kind == Tok::End) throw ParseError("Unexpected end of expression", tok_.start);
    throw ParseError(
        "Unexpected " + quoteForMessage(text_.substr(tok_.start, tok_.end - tok_.start)),
        tok_.start);
  }

  bool isKeyword(const char* word) const {
    return tok_.kind == Tok::Ident && iequals(tok_.text, word);
  }
  bool isSymbol(const char* sym) const { return tok_.kind == Tok::Symbol && tok_.text == sym; }

  void expectSymbol(const char* sym) {
    if (!isSymbol(sym)) throw ParseError(std::string("Expected '") + sym + "'", tok_.start);
    next();
  }

  void next() {
    while (pos_ < text_.size() && isSpace(text_[pos_]))
      ++pos_;
    tok_ = Token();
    tok_.start = pos_;
    if (pos_ >= text_.size()) {
      tok_.end = pos_;
      return;
    }
    const char c = text_[pos_];
    if (c == '\'') {
      lexString();
    } else if (c == '[') {
      std::size_t close = text_.find(']', pos_ + 1);
      if (close == std::string_view::npos) throw ParseError("Unterminated field name", pos_);
      tok_.kind = Tok::Bracketed;
      tok_.text = std::string(text_.substr(pos_ + 1, close - pos_ - 1));
      pos_ = close + 1;
      if (tok_.text.empty()) throw ParseError("Empty field name", tok_.start);
    } else if (isDigit(c) || (c == '.' && pos_ + 1 < text_.size() && isDigit(text_[pos_ + 1]))) {
      lexNumber();
    } else if (isIdentStart(c)) {
      while (pos_ < text_.size() && isIdentChar(text_[pos_]))
        ++pos_;
      tok_.kind = Tok::Ident;
      tok_.text = std::string(text_.substr(tok_.start, pos_ - tok_.start));
    } else {
      lexSymbol(c);
    }
    tok_.end = pos_;
  }

  void lexString() {
    std::size_t i = pos_ + 1;
    std::string s;
    for (;;) {
      std::size_t q = text_.find('\'', i);
      if (q == std::string_view::npos) throw ParseError("Unterminated string", pos_);
      s.append(text_.substr(i, q - i));
      if (q + 1 < text_.size() && text_[q + 1] == '\'') {
        s.push_back('\'');
        i = q + 2;
        continue;
      }
      pos_ = q + 1;
      break;
    }
    tok_.kind = Tok::String;
    tok_.text = std::move(s);
  }

  void lexNumber() {
    std::size_t i = pos_;
    while (i < text_.size() && isDigit(text_[i]))
      ++i;
    bool integral = true;
    if (i < text_.size() && text_[i] == '.') {
      integral = false;
      ++i;
      while (i < text_.size() && isDigit(text_[i]))
        ++i;
    }
    std::string_view digits = text_.substr(pos_, i - pos_);
    tok_.kind = Tok::Number;
    std::uint64_t u = 0;
    bool fits = integral;
    for (std::size_t k = 0; fits && k < digits.size(); ++k) {
      auto d = static_cast<std::uint64_t>(digits[k] - '0');
      if (u > (static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) - d) / 10) {
        fits = false;
      } else {
        u = u * 10 + d;
      }
    }
    if (fits) {
      tok_.number = static_cast<std::int64_t>(u);
    } else {
      Decimal d;
      if (!Decimal::tryParse(digits, d)) {
        throw ParseError("Number " + quoteForMessage(digits) + " out of range", pos_);
      }
      tok_.number = d;
    }
    pos_ = i;
  }

  void lexSymbol(char c) {
    const char n = pos_ + 1 < text_.size() ? text_[pos_ + 1] : '\0';
    std::size_t len = 0;
    if ((c == '<' && (n == '>' || n == '=')) || (c == '>' && n == '=') || (c == '!' && n == '=')) {
      len = 2;
    } else if (std::strchr("=<>+-*/(),", c) != nullptr) {
      len = 1;
    } else {
      std::size_t l = charLength(text_, pos_);
      throw ParseError("Unexpected " + quoteForMessage(text_.substr(pos_, l)), pos_);
    }
    tok_.kind = Tok::Symbol;
    tok_.text = std::string(text_.substr(pos_, len));
    pos_ += len;
  }

  static std::unique_ptr<Node> literal(Value v) {
    auto n = std::make_unique<Node>(Op::Literal);
    n->literal = std::move(v);
    return n;
  }

  std::unique_ptr<Node> make(Op op, std::unique_ptr<Node> a, std::unique_ptr<Node> b,
                             std::size_t at) {
    auto n = std::make_unique<Node>(op);
    n->depth = 1 + std::max(a ? a->depth : 0, b ? b->depth : 0);
    n->left = std::move(a);
    n->right = std::move(b);
    checkDepth(*n, at);
    return n;
  }

  static void checkDepth(const Node& n, std::size_t at) {
    if (n.depth > kMaxDepth) throw ParseError("Expression too long to evaluate", at);
  }

  // Operators over literals only are worked out once, here.
  static std::unique_ptr<Node> fold(std::unique_ptr<Node> n) {
    bool constant = n->left && n->left->op == Op::Literal &&
                    (!n->right || n->right->op == Op::Literal) && n->items.empty() &&
                    n->op != Op::Like;
    if (!constant) return n;
    return literal(eval(*n, Row()));
  }

  std::unique_ptr<Node> parseLogical(Op op) {
    auto first = op == Op::Or ? parseLogical(Op::And) : parseNot();
    const char* word = op == Op::Or ? "or" : "and";
    if (!isKeyword(word)) return first;
    auto n = std::make_unique<Node>(op);
    const std::size_t at = tok_.start;
    n->depth = first->depth + 1;
    n->items.push_back(std::move(first));
    while (isKeyword(word)) {
      next();
      auto item = op == Op::Or ? parseLogical(Op::And) : parseNot();
      n->depth = std::max(n->depth, item->depth + 1);
      n->items.push_back(std::move(item));
    }
    checkDepth(*n, at);
    return n;
  }

  std::unique_ptr<Node> parseOr() {
    Nest nest(*this);
    return parseLogical(Op::Or);
  }

  std::unique_ptr<Node> parseNot() {
    if (!isKeyword("not")) return parsePredicate();
    Nest nest(*this);
    const std::size_t at = tok_.start;
    next();
    return fold(make(Op::Not, parseNot(), nullptr, at));
  }

  // Field compared with a literal: the literal takes the field's type.
  void adaptOperands(Node& a, Node& b) const {
    if (a.op == Op::Field && b.op == Op::Literal) adaptLiteral(b.literal, fields_[a.field].type);
    if (b.op == Op::Field && a.op == Op::Literal) adaptLiteral(a.literal, fields_[b.field].type);
  }

  std::unique_ptr<Node> parsePredicate() {
    auto left = parseAdditive();
    if (tok_.kind == Tok::Symbol) {
      static constexpr std::pair<const char*, Op> kCompare[] = {
          {"=", Op::Eq},  {"<>", Op::Ne}, {"!=", Op::Ne}, {"<", Op::Lt},
          {"<=", Op::Le}, {">", Op::Gt},  {">=", Op::Ge}};
      for (const auto& [sym, op] : kCompare) {
        if (tok_.text != sym) continue;
        const std::size_t at = tok_.start;
        next();
        auto right = parseAdditive();
        adaptOperands(*left, *right);
        return fold(make(op, std::move(left), std::move(right), at));
      }
      return left;
    }
    bool negated = false;
    const std::size_t at = tok_.start;
    if (isKeyword("not")) {
      next();
      if (!isKeyword("like") && !isKeyword("in")) {
        throw ParseError("Expected 'like' or 'in' after 'not'", tok_.start);
      }
      negated = true;
    }
    if (isKeyword("like")) {
      next();
      return parseLike(std::move(left), negated, at);
    }
    if (isKeyword("in")) {
      next();
      return parseIn(std::move(left), negated, at);
    }
    if (isKeyword("is")) {
      next();
      if (isKeyword("not")) {
        negated = true;
        next();
      }
      if (!isKeyword("null")) throw ParseError("Expected 'null'", tok_.start);
      next();
      auto n = make(Op::IsNull, std::move(left), nullptr, at);
      n->negated = negated;
      return fold(std::move(n));
    }
    return left;
  }

  std::unique_ptr<Node> parseLike(std::unique_ptr<Node> left, bool negated, std::size_t at) {
    auto right = parseAdditive();
    std::unique_ptr<Node> n;
    if (right->op == Op::Literal) {
      n = make(Op::Like, std::move(left), nullptr, at);
      const Value& p = right->literal;
      if (p.isNull()) {
        n->patternIsNull = true;
      } else {
        n->pattern.compile(p.type() == DataType::String ? p.string() : p.toText());
      }
    } else {
      n = make(Op::Like, std::move(left), std::move(right), at);
    }
    n->negated = negated;
    return n;
  }

  std::unique_ptr<Node> parseIn(std::unique_ptr<Node> left, bool negated, std::size_t at) {
    expectSymbol("(");
    auto n = make(Op::In, std::move(left), nullptr, at);
    n->negated = negated;
    for (;;) {
      if (isSymbol(")")) throw ParseError("Expected a value", tok_.start);
      auto item = parseAdditive();
      adaptOperands(*n->left, *item);
      n->depth = std::max(n->depth, item->depth + 1);
      n->items.push_back(std::move(item));
      if (!isSymbol(",")) break;
      next();
    }
    expectSymbol(")");
    checkDepth(*n, at);
    return n;
  }

  std::unique_ptr<Node> parseAdditive() {
    auto n = parseTerm();
    while (isSymbol("+") || isSymbol("-")) {
      const Op op = tok_.text == "+" ? Op::Add : Op::Sub;
      const std::size_t at = tok_.start;
      next();
      n = fold(make(op, std::move(n), parseTerm(), at));
    }
    return n;
  }

  std::unique_ptr<Node> parseTerm() {
    auto n = parseUnary();
    while (isSymbol("*") || isSymbol("/")) {
      const Op op = tok_.text == "*" ? Op::Mul : Op::Div;
      const std::size_t at = tok_.start;
      next();
      n = fold(make(op, std::move(n), parseUnary(), at));
    }
    return n;
  }

  std::unique_ptr<Node> parseUnary() {
    if (isSymbol("-") || isSymbol("+")) {
      Nest nest(*this);
      const bool minus = tok_.text == "-";
      const std::size_t at = tok_.start;
      next();
      auto operand = parseUnary();
      if (!minus) return operand;
      return fold(make(Op::Neg, std::move(operand), nullptr, at));
    }
    return parsePrimary();
  }

  std::unique_ptr<Node> parsePrimary() {
    switch (tok_.kind) {
      case Tok::Number: {
        auto n = literal(std::move(tok_.number));
        next();
        return n;
      }
      case Tok::String: {
        auto n = literal(Value(std::move(tok_.text)));
        next();
        return n;
      }
      case Tok::Ident:
        if (isKeyword("null") || isKeyword("true") || isKeyword("false")) {
          Value v = isKeyword("null") ? Value() : Value(isKeyword("true"));
          next();
          return literal(std::move(v));
        }
        if (isReserved(tok_.text)) unexpected();
        return fieldRef();
      case Tok::Bracketed:
        return fieldRef();
      case Tok::Symbol:
        if (isSymbol("(")) {
          next();
          auto n = parseOr();
          expectSymbol(")");
          return n;
        }
        break;
      case Tok::End:
        break;
    }
    unexpected();
  }

  std::unique_ptr<Node> fieldRef() {
    int index = fields_.indexOf(tok_.text);
    if (index < 0) {
      throw ParseError("Unknown field " + quoteForMessage(tok_.text) + " in " + context_,
                       tok_.start);
    }
    auto n = std::make_unique<Node>(Op::Field);
    n->field = static_cast<std::size_t>(index);
    next();
    return n;
  }

  std::string_view text_;
  std::size_t pos_;
  const FieldDefs& fields_;
  const char* context_;
  Token tok_;
  int nesting_ = 0;
};

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && isSpace(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back()))
    s.remove_suffix(1);
  return s;
}

// Lets AggregateExpression::parse have Expression::parse read only the argument of the
// function while positions in errors stay those of the whole aggregate text.
struct ArgumentRange {
  std::size_t begin;
  std::size_t end;
};
thread_local const ArgumentRange* pendingArgument = nullptr;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Expression

Expression::Expression() = default;
Expression::~Expression() = default;
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(Expression&&) noexcept = default;

Expression Expression::parse(std::string_view text, const FieldDefs& fields) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  const char* context = "filter";
  if (pendingArgument) {
    begin = pendingArgument->begin;
    end = pendingArgument->end;
    context = "aggregate";
    pendingArgument = nullptr;
  }
  Parser parser(text, begin, end, fields, context);
  Expression e;
  e.root_ = parser.parseAll();
  e.text_ = std::string(trimmed(text.substr(begin, end - begin)));
  return e;
}

Value Expression::evaluate(const Row& row) const {
  if (!root_) return {};
  return eval(*root_, row);
}

bool Expression::matches(const Row& row) const {
  if (!root_) return true;  // no condition
  return test(*root_, row) == Truth::True;
}

// ---------------------------------------------------------------------------------------------
// AggregateExpression

namespace {

// Sums exactly while the inputs allow: integers in 64 bits, then decimals; any double makes
// the result a double.
class Accumulator {
 public:
  void add(const Value& v, const char* function, const std::string& argument) {
    Number n;
    if (!readNumber(v, n)) {
      std::string shown = v.type() == DataType::String ? v.string() : "a non-numeric value";
      throw ConversionError("Cannot take " + std::string(function) + " of " +
                            quoteForMessage(shown) + " in " + function + "(" + argument + ")");
    }
    ++count_;
    double_ += n.toDouble();
    switch (n.kind) {
      case Number::Kind::Dbl:
        anyDouble_ = true;
        return;
      case Number::Kind::Int: {
        std::int64_t r = 0;
        if (!anyDecimal_ && !__builtin_add_overflow(int_, n.i, &r)) {
          int_ = r;
          return;
        }
        break;
      }
      case Number::Kind::Dec:
        break;
    }
    if (!anyDecimal_) {
      anyDecimal_ = true;
      decimal_ = Decimal(int_, 0);
    }
    Decimal total;
    if (!Decimal::tryAdd(decimal_, n.decimal(), total)) {
      throw OverflowError("The total of " + std::string(function) + "(" + argument +
                          ") has more than " + std::to_string(Decimal::kMaxDigits) + " digits");
    }
    decimal_ = total;
  }

  std::int64_t count() const { return count_; }

  Value sum() const {
    if (count_ == 0) return {};
    if (anyDouble_) return double_;
    if (anyDecimal_) return decimal_;
    return int_;
  }

  Value average() const {
    if (count_ == 0) return {};
    if (anyDouble_) return double_ / static_cast<double>(count_);
    const Decimal total = anyDecimal_ ? decimal_ : Decimal(int_, 0);
    Decimal r;
    if (Decimal::tryDivide(total, Decimal(count_, 0), total.scale() + 4, r)) return r;
    return total.toDouble() / static_cast<double>(count_);
  }

 private:
  std::int64_t count_ = 0;
  std::int64_t int_ = 0;
  Decimal decimal_;
  double double_ = 0;
  bool anyDecimal_ = false;
  bool anyDouble_ = false;
};

const char* functionName(AggregateExpression::Function f) {
  switch (f) {
    case AggregateExpression::Function::Sum:
      return "sum";
    case AggregateExpression::Function::Count:
      return "count";
    case AggregateExpression::Function::Min:
      return "min";
    case AggregateExpression::Function::Max:
      return "max";
    case AggregateExpression::Function::Avg:
      break;
  }
  return "avg";
}

// Index of the ')' that closes the '(' at `open`, skipping quoted strings and [names].
std::size_t findClosing(std::string_view text, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'') {
      std::size_t q = i + 1;
      for (;;) {
        q = text.find('\'', q);
        if (q == std::string_view::npos) throw ParseError("Unterminated string", i);
        if (q + 1 < text.size() && text[q + 1] == '\'') {
          q += 2;
          continue;
        }
        break;
      }
      i = q;
    } else if (c == '[') {
      std::size_t q = text.find(']', i + 1);
      if (q == std::string_view::npos) throw ParseError("Unterminated field name", i);
      i = q;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (--depth == 0) return i;
    }
  }
  throw ParseError("Expected ')'", text.size());
}

}  // namespace

AggregateExpression AggregateExpression::parse(std::string_view text, const FieldDefs& fields) {
  std::size_t i = 0;
  auto skipSpace = [&] {
    while (i < text.size() && isSpace(text[i]))
      ++i;
  };
  skipSpace();
  if (i == text.size()) throw ParseError("Empty aggregate expression", 0);
  const std::size_t nameStart = i;
  while (i < text.size() && isIdentChar(text[i]))
    ++i;
  if (i == nameStart) {
    throw ParseError("Expected an aggregate function such as sum(...)", nameStart);
  }
  const std::string_view name = text.substr(nameStart, i - nameStart);
  AggregateExpression a;
  static constexpr std::pair<const char*, Function> kFunctions[] = {{"sum", Function::Sum},
                                                                    {"count", Function::Count},
                                                                    {"min", Function::Min},
                                                                    {"max", Function::Max},
                                                                    {"avg", Function::Avg}};
  bool known = false;
  for (const auto& [fname, f] : kFunctions) {
    if (iequals(name, fname)) {
      a.function_ = f;
      known = true;
    }
  }
  if (!known) {
    throw ParseError("Unknown aggregate function " + quoteForMessage(name), nameStart);
  }
  skipSpace();
  if (i >= text.size() || text[i] != '(') {
    throw ParseError("Expected '(' after " + quoteForMessage(name), i);
  }
  const std::size_t open = i;
  const std::size_t close = findClosing(text, open);
  i = close + 1;
  skipSpace();
  if (i < text.size()) {
    std::size_t e = i;
    while (e < text.size() && !isSpace(text[e]))
      ++e;
    throw ParseError("Unexpected " + quoteForMessage(text.substr(i, e - i)), i);
  }
  std::size_t argBegin = open + 1;
  while (argBegin < close && isSpace(text[argBegin]))
    ++argBegin;
  const std::string_view argument = trimmed(text.substr(argBegin, close - argBegin));
  if (argument.empty()) {
    throw ParseError("Expected an argument in " + std::string(name) + "()", close);
  }
  if (argument == "*") {
    if (a.function_ != Function::Count) {
      throw ParseError("'*' is only allowed in count(*)", argBegin);
    }
    a.star_ = true;
    return a;
  }
  const ArgumentRange range{argBegin, close};
  pendingArgument = &range;
  a.argument_ = Expression::parse(text, fields);
  return a;
}

Value AggregateExpression::compute(const std::vector<const Row*>& rows) const {
  if (function_ == Function::Count && star_) return static_cast<std::int64_t>(rows.size());
  const char* name = functionName(function_);
  Accumulator acc;
  std::int64_t count = 0;
  Value best;
  for (const Row* row : rows) {
    if (!row) continue;
    Value v = argument_.evaluate(*row);
    if (v.isNull()) continue;
    switch (function_) {
      case Function::Count:
        ++count;
        break;
      case Function::Sum:
      case Function::Avg:
        acc.add(v, name, argument_.text());
        break;
      case Function::Min:
      case Function::Max: {
        if (best.isNull()) {
          best = std::move(v);
          break;
        }
        int c = compareValues(v, best, /*foldCase=*/true);
        if (function_ == Function::Min ? c < 0 : c > 0) best = std::move(v);
        break;
      }
    }
  }
  switch (function_) {
    case Function::Count:
      return count;
    case Function::Sum:
      return acc.sum();
    case Function::Avg:
      return acc.average();
    case Function::Min:
    case Function::Max:
      break;
  }
  return best;
}

}  // namespace vlt

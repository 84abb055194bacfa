// The JSON codec of packets and deltas. A hand-written reader decodes straight into typed
// Values, shaped by the field definitions that come first in the text; the writer appends to
// one string. Both avoid per-value allocations other than the strings themselves: packets
// run to hundreds of thousands of rows.

#include "vlt/json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "json_text.h"
#include "vlt/errors.h"

namespace vlt {
namespace {

using namespace jsontext;

// Deep enough for any real master/detail nesting, shallow enough that recursion is harmless.
constexpr int kMaxDepth = 64;
constexpr std::size_t kQuoteLimit = 40;

bool equalsFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The text in quotes for a message, cut at a character boundary when long.
std::string quoted(std::string_view text) {
  std::string out = "'";
  if (text.size() <= kQuoteLimit) {
    out += text;
  } else {
    std::size_t cut = kQuoteLimit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
      --cut;
    out += text.substr(0, cut);
    out += "...";
  }
  out += '\'';
  return out;
}

std::string_view kindName(ChangeKind kind) {
  switch (kind) {
    case ChangeKind::Unmodified:
      return "unmodified";
    case ChangeKind::Insert:
      return "insert";
    case ChangeKind::Modify:
      return "modify";
    case ChangeKind::Delete:
      return "delete";
  }
  return "unmodified";
}

bool kindFromName(std::string_view name, ChangeKind& out) {
  for (ChangeKind k :
       {ChangeKind::Unmodified, ChangeKind::Insert, ChangeKind::Modify, ChangeKind::Delete}) {
    if (name == kindName(k)) {
      out = k;
      return true;
    }
  }
  return false;
}

std::string_view fieldKindName(FieldKind kind) {
  switch (kind) {
    case FieldKind::Data:
      return "data";
    case FieldKind::InternalCalc:
      return "internalcalc";
    case FieldKind::Aggregate:
      return "aggregate";
  }
  return "data";
}

// Rules shared by reader and writer, so that whatever is written can be read back.
// Returns an empty string when the definition is acceptable.
std::string checkFieldDef(const FieldDef& def) {
  if (def.name.empty()) return "a field has no name";
  if (def.size < 0) return "negative size";
  if (def.precision < 0 || def.precision > Decimal::kMaxDigits) return "precision out of range";
  if (def.scale < 0 || def.scale > Decimal::kMaxDigits) return "scale out of range";
  if (def.precision > 0 && def.scale > def.precision) return "scale greater than precision";
  if (!def.children.empty() && def.type != DataType::DataSet) {
    return "nested fields on a field that is not a data set";
  }
  return {};
}

// Index of a duplicate name (ASCII case ignored) in defs, or -1. Sorts for long lists so that
// a hostile packet with many fields costs n log n, not n squared.
int duplicateName(const std::vector<FieldDef>& defs) {
  if (defs.size() <= 32) {
    for (std::size_t i = 1; i < defs.size(); ++i) {
      for (std::size_t j = 0; j < i; ++j) {
        if (equalsFolded(defs[i].name, defs[j].name)) return static_cast<int>(i);
      }
    }
    return -1;
  }
  std::vector<std::pair<std::string, std::size_t>> names;
  names.reserve(defs.size());
  for (std::size_t i = 0; i < defs.size(); ++i) {
    std::string folded = defs[i].name;
    for (char& c : folded) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    names.emplace_back(std::move(folded), i);
  }
  std::sort(names.begin(), names.end());
  for (std::size_t i = 1; i < names.size(); ++i) {
    if (names[i].first == names[i - 1].first) return static_cast<int>(names[i].second);
  }
  return -1;
}

// Where the reader or writer is, for messages: "row 3, field 'Lines', row 1, field 'Qty'".
enum class FrameKind : std::uint8_t { Row, Change, FieldDef, Detail };

struct Frame {
  FrameKind kind;
  std::size_t index = 0;
  const FieldDef* field = nullptr;
  const char* part = nullptr;  // "old values" / "new values" of a change
};

class Context {
 public:
  Context() { frames_.reserve(16); }
  void push(FrameKind kind, const FieldDef* field = nullptr) {
    frames_.push_back(Frame{kind, 0, field, nullptr});
  }
  void pop() { frames_.pop_back(); }
  Frame& top() { return frames_.back(); }

  // The location followed by ": ", or nothing at the top level.
  std::string prefix() const {
    std::string out;
    for (const Frame& f : frames_) {
      if (!out.empty()) out += ", ";
      switch (f.kind) {
        case FrameKind::Row:
          out += "row " + std::to_string(f.index + 1);
          break;
        case FrameKind::Change:
          out += "change " + std::to_string(f.index + 1);
          if (f.part) {
            out += ", ";
            out += f.part;
          }
          break;
        case FrameKind::FieldDef:
          out += "field definition " + std::to_string(f.index + 1);
          if (f.field && !f.field->name.empty()) out += " (" + quoted(f.field->name) + ")";
          continue;
        case FrameKind::Detail:
          out += "details of " + quoted(f.field->name);
          continue;
      }
      if (f.field) out += ", field " + quoted(f.field->name);
    }
    if (!out.empty()) out += ": ";
    return out;
  }

 private:
  std::vector<Frame> frames_;
};

std::string expectedFor(DataType type) {
  switch (type) {
    case DataType::Null:
      return "null";
    case DataType::Boolean:
      return "true or false";
    case DataType::Int16:
    case DataType::Int32:
    case DataType::Int64:
      return "an integer";
    case DataType::Float:
      return "a number";
    case DataType::Decimal:
      return "a decimal number";
    case DataType::String:
      return "a string";
    case DataType::Date:
      return "a date string";
    case DataType::DateTime:
      return "a date-time string";
    case DataType::Time:
      return "a time string";
    case DataType::DataSet:
      return "an array of rows";
  }
  return "a value";
}

// ======================================================================================
// Reader
// ======================================================================================

struct NumberToken {
  std::string_view text;
  bool integral = true;
  bool exponent = false;
};

class Reader {
 public:
  explicit Reader(std::string_view text)
      : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()) {}
  // A part of a longer text: [begin, end) starts at offset `base` of the whole, reading from p.
  Reader(const char* begin, const char* p, const char* end, std::size_t base)
      : begin_(begin), p_(p), end_(end), base_(base) {}

  Packet packet() {
    Packet out;
    std::vector<FieldDef> defs;
    document(false, defs, &out.rows, nullptr);
    out.fields = FieldDefs(std::move(defs));
    return out;
  }

  Delta delta() {
    Delta out;
    std::vector<FieldDef> defs;
    document(true, defs, nullptr, &out.rows);
    out.fields = FieldDefs(std::move(defs));
    return out;
  }

  // ---- a packet in parts, for PacketReader: the same steps and checks as packet() ----

  std::size_t position() const { return static_cast<std::size_t>(p_ - begin_); }

  // Only white space is left.
  bool atEnd() {
    skipWs();
    return p_ >= end_;
  }

  // From the start of the document past the '[' of its rows (true), or through the whole
  // document when it ends without rows (false; with `rest`, what follows goes there).
  bool packetHead(std::vector<FieldDef>& defs, std::string* rest) {
    if (end_ - p_ >= 3 && std::string_view(p_, 3) == "\xEF\xBB\xBF") p_ += 3;
    skipWs();
    if (p_ >= end_ || *p_ != '{') failExpected("'{' at the start of a packet");
    ++p_;
    bool haveFields = false;
    if (!accept('}')) {
      for (;;) {
        skipWs();
        const char* at = p_;
        std::string_view name = memberName();
        if (name == "fields") {
          if (haveFields) fail(at, "duplicate member 'fields'");
          haveFields = true;
          fieldDefs(defs, 2);
        } else if (name == "rows") {
          if (!haveFields) fail(at, "'fields' must come before 'rows'");
          skipWs();
          if (p_ >= end_ || *p_ != '[') failExpected("an array of rows");
          enter(2);
          ++p_;
          return true;
        } else if (name == "changes") {
          fail(at, "found 'changes' where a packet has 'rows'");
        } else {
          skipValue(2);
        }
        if (accept(',')) continue;
        if (accept('}')) break;
        failExpected("',' or '}'");
      }
    }
    documentEnd(haveFields, false, rest);
    return false;
  }

  // True when the row list is empty (its ']' is consumed).
  bool emptyRows() { return accept(']'); }

  void packetRow(const std::vector<FieldDef>& defs, Row& row, std::size_t index) {
    ctx_.push(FrameKind::Row);
    ctx_.top().index = index;
    rowValues(defs, row, 3);
    ctx_.pop();
  }

  // After row `index`: true for ',' (another row follows), false for the list's ']'.
  bool rowSeparator(std::size_t index) {
    if (accept(',')) return true;
    if (accept(']')) return false;
    ctx_.push(FrameKind::Row);
    ctx_.top().index = index;
    failExpected("',' or ']' after a row");
  }

  // From after the rows' ']' through the end of the document.
  void packetTail(std::string* rest) {
    for (;;) {
      if (accept('}')) break;
      if (!accept(',')) failExpected("',' or '}'");
      skipWs();
      const char* at = p_;
      std::string_view name = memberName();
      if (name == "fields" || name == "rows") {
        fail(at, "duplicate member '" + std::string(name) + "'");
      } else if (name == "changes") {
        fail(at, "found 'changes' where a packet has 'rows'");
      }
      skipValue(2);
    }
    documentEnd(true, true, rest);
  }

 private:
  void documentEnd(bool haveFields, bool haveRows, std::string* rest) {
    if (rest) {
      rest->assign(p_, end_);
      p_ = end_;
    }
    skipWs();
    if (p_ != end_) fail(p_, "unexpected text after the end of the document");
    if (!haveFields) fail(p_, "missing member 'fields'");
    if (!haveRows) fail(p_, "missing member 'rows'");
  }

  [[noreturn]] void fail(const char* at, std::string_view message) const {
    throw ParseError(ctx_.prefix() + std::string(message),
                     base_ + static_cast<std::size_t>(at - begin_));
  }

  void skipWs() {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t'))
      ++p_;
  }

  std::string describe(const char* at) const {
    if (at >= end_) return "the end of the text";
    char c = *at;
    switch (c) {
      case '"':
        return "a string";
      case '[':
        return "an array";
      case '{':
        return "an object";
      case 't':
      case 'f':
        return "a boolean";
      case 'n':
        return "null";
      default:
        break;
    }
    if (c == '-' || isDigit(c)) return "a number";
    if (c > 0x20 && c < 0x7F) return std::string("'") + c + "'";
    static const char kHex[] = "0123456789abcdef";
    unsigned char b = static_cast<unsigned char>(c);
    return std::string("byte 0x") + kHex[b >> 4] + kHex[b & 15];
  }

  [[noreturn]] void failExpected(std::string_view what) const {
    fail(p_, "expected " + std::string(what) + ", found " + describe(p_));
  }

  void expect(char c, std::string_view what) {
    skipWs();
    if (p_ < end_ && *p_ == c) {
      ++p_;
      return;
    }
    failExpected(what);
  }

  // Consumes c after optional white space when it is there.
  bool accept(char c) {
    skipWs();
    if (p_ < end_ && *p_ == c) {
      ++p_;
      return true;
    }
    return false;
  }

  void enter(int depth) const {
    if (depth > kMaxDepth) fail(p_, "nesting deeper than " + std::to_string(kMaxDepth) + " levels");
  }

  void literal(std::string_view word) {
    if (static_cast<std::size_t>(end_ - p_) < word.size() ||
        std::string_view(p_, word.size()) != word) {
      fail(p_, "invalid literal, expected '" + std::string(word) + "'");
    }
    p_ += word.size();
    if (p_ < end_ && ((*p_ >= 'a' && *p_ <= 'z') || isDigit(*p_))) {
      fail(p_ - word.size(), "invalid literal, expected '" + std::string(word) + "'");
    }
  }

  // ---- numbers ----

  NumberToken number() {
    const char* s = p_;
    const char* q = p_;
    NumberToken t;
    auto bad = [&]() {
      const char* e = q;
      while (e < end_ && e - s < 40 &&
             (isDigit(*e) || *e == '.' || *e == 'e' || *e == 'E' || *e == '+' || *e == '-')) {
        ++e;
      }
      fail(s, "invalid number " + quoted(std::string_view(s, static_cast<std::size_t>(e - s))));
    };
    if (q < end_ && *q == '-') ++q;
    if (q >= end_ || !isDigit(*q)) bad();
    if (*q == '0') {
      ++q;
    } else {
      while (q < end_ && isDigit(*q))
        ++q;
    }
    if (q < end_ && *q == '.') {
      ++q;
      t.integral = false;
      if (q >= end_ || !isDigit(*q)) bad();
      while (q < end_ && isDigit(*q))
        ++q;
    }
    if (q < end_ && (*q == 'e' || *q == 'E')) {
      ++q;
      t.integral = false;
      t.exponent = true;
      if (q < end_ && (*q == '+' || *q == '-')) ++q;
      if (q >= end_ || !isDigit(*q)) bad();
      while (q < end_ && isDigit(*q))
        ++q;
    }
    // "01", "1.2.3", "1x": a number must end at a delimiter.
    if (q < end_ && (isDigit(*q) || *q == '.' || *q == '+' || *q == '-' ||
                     (*q >= 'a' && *q <= 'z') || (*q >= 'A' && *q <= 'Z'))) {
      bad();
    }
    p_ = q;
    t.text = std::string_view(s, static_cast<std::size_t>(q - s));
    return t;
  }

  // ---- strings ----

  // From s (inside a string) to the closing quote or the next backslash, checking UTF-8.
  const char* scanPlain(const char* s) {
    for (;;) {
      while (end_ - s >= 8 && !hasSpecialByte(load8(s)))
        s += 8;
      while (s < end_ && isPlain(*s))
        ++s;
      if (s >= end_) fail(s, "unterminated string");
      char c = *s;
      if (c == '"' || c == '\\') return s;
      unsigned char b = static_cast<unsigned char>(c);
      if (b < 0x20) fail(s, "control character in a string (must be escaped)");
      const char* next = utf8Next(s, end_);
      if (!next) fail(s, "invalid UTF-8 in a string");
      s = next;
    }
  }

  unsigned hex4(const char* s) {
    if (end_ - s < 4) fail(s, "incomplete \\u escape");
    unsigned v = 0;
    for (int i = 0; i < 4; ++i) {
      char c = s[i];
      unsigned d;
      if (isDigit(c)) {
        d = static_cast<unsigned>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        d = static_cast<unsigned>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        d = static_cast<unsigned>(c - 'A' + 10);
      } else {
        fail(s - 2, "invalid \\u escape");
      }
      v = v * 16 + d;
    }
    return v;
  }

  // p_ is at a backslash inside a string; appends the rest of the string to out and moves
  // past the closing quote.
  void escapedRest(std::string& out) {
    for (;;) {
      if (*p_ == '"') {
        ++p_;
        return;
      }
      // *p_ is a backslash
      const char* esc = p_;
      if (end_ - p_ < 2) fail(esc, "unterminated string");
      char c = p_[1];
      p_ += 2;
      switch (c) {
        case '"':
          out.push_back('"');
          break;
        case '\\':
          out.push_back('\\');
          break;
        case '/':
          out.push_back('/');
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'u': {
          std::uint32_t cp = hex4(p_);
          p_ += 4;
          if (cp >= 0xDC00 && cp <= 0xDFFF) fail(esc, "lone low surrogate in a \\u escape");
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (end_ - p_ < 6 || p_[0] != '\\' || p_[1] != 'u') {
              fail(esc, "lone high surrogate in a \\u escape");
            }
            std::uint32_t lo = hex4(p_ + 2);
            if (lo < 0xDC00 || lo > 0xDFFF) fail(esc, "lone high surrogate in a \\u escape");
            p_ += 6;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
          }
          appendUtf8(out, cp);
          break;
        }
        default:
          fail(esc, "invalid escape in a string");
      }
      const char* run = p_;
      p_ = scanPlain(p_);
      out.append(run, p_);
    }
  }

  // p_ is at an opening quote.
  std::string stringValue() {
    const char* start = p_ + 1;
    const char* q = scanPlain(start);
    if (*q == '"') {
      p_ = q + 1;
      return std::string(start, q);
    }
    std::string out(start, q);
    p_ = q;
    escapedRest(out);
    return out;
  }

  // As stringValue, but without copying when there are no escapes. The view is valid until
  // the next call.
  std::string_view stringView() {
    const char* start = p_ + 1;
    const char* q = scanPlain(start);
    if (*q == '"') {
      p_ = q + 1;
      return std::string_view(start, static_cast<std::size_t>(q - start));
    }
    scratch_.assign(start, q);
    p_ = q;
    escapedRest(scratch_);
    return scratch_;
  }

  std::string_view memberName() {
    skipWs();
    if (p_ >= end_ || *p_ != '"') failExpected("a member name in quotes");
    std::string_view name = stringView();
    expect(':', "':' after a member name");
    skipWs();
    return name;
  }

  // Members of an object after '{'; calls onMember(name, nameAt) with p_ at the value.
  template <typename F>
  void members(F&& onMember) {
    if (accept('}')) return;
    for (;;) {
      skipWs();
      const char* at = p_;
      std::string_view name = memberName();
      onMember(name, at);
      if (accept(',')) continue;
      if (accept('}')) return;
      failExpected("',' or '}'");
    }
  }

  void skipValue(int depth) {
    skipWs();
    if (p_ >= end_) failExpected("a value");
    switch (*p_) {
      case '"':
        stringView();
        return;
      case '{':
        enter(depth);
        ++p_;
        members([&](std::string_view, const char*) { skipValue(depth + 1); });
        return;
      case '[':
        enter(depth);
        ++p_;
        if (accept(']')) return;
        for (;;) {
          skipValue(depth + 1);
          if (accept(',')) continue;
          if (accept(']')) return;
          failExpected("',' or ']'");
        }
      case 't':
        literal("true");
        return;
      case 'f':
        literal("false");
        return;
      case 'n':
        literal("null");
        return;
      default:
        if (*p_ == '-' || isDigit(*p_)) {
          number();
          return;
        }
        failExpected("a value");
    }
  }

  bool boolMember() {
    if (p_ < end_ && *p_ == 't') {
      literal("true");
      return true;
    }
    if (p_ < end_ && *p_ == 'f') {
      literal("false");
      return false;
    }
    failExpected("true or false");
  }

  std::string stringMember() {
    if (p_ >= end_ || *p_ != '"') failExpected("a string");
    return stringValue();
  }

  int intMember(std::string_view name) {
    const char* at = p_;
    if (p_ >= end_ || !(*p_ == '-' || isDigit(*p_))) failExpected("an integer");
    NumberToken t = number();
    int v = 0;
    auto r = std::from_chars(t.text.data(), t.text.data() + t.text.size(), v);
    if (!t.integral || r.ec != std::errc() || v < 0) {
      fail(at, "'" + std::string(name) + "' must be a non-negative integer");
    }
    return v;
  }

  // ---- document ----

  void document(bool isDelta, std::vector<FieldDef>& defs, std::vector<Row>* rows,
                std::vector<DeltaRow>* changes) {
    const std::string_view body = isDelta ? "changes" : "rows";
    const std::string_view other = isDelta ? "rows" : "changes";
    if (end_ - p_ >= 3 && std::string_view(p_, 3) == "\xEF\xBB\xBF") p_ += 3;
    skipWs();
    if (p_ >= end_ || *p_ != '{') {
      failExpected(isDelta ? "'{' at the start of a delta" : "'{' at the start of a packet");
    }
    ++p_;
    bool haveFields = false, haveBody = false;
    members([&](std::string_view name, const char* at) {
      if (name == "fields") {
        if (haveFields) fail(at, "duplicate member 'fields'");
        haveFields = true;
        fieldDefs(defs, 2);
      } else if (name == body) {
        if (!haveFields) fail(at, "'fields' must come before '" + std::string(body) + "'");
        if (haveBody) fail(at, "duplicate member '" + std::string(body) + "'");
        haveBody = true;
        if (isDelta) {
          changeList(defs, *changes, 2);
        } else {
          rowList(defs, *rows, 2);
        }
      } else if (name == other) {
        fail(at, isDelta ? "found 'rows' where a delta has 'changes'"
                         : "found 'changes' where a packet has 'rows'");
      } else {
        skipValue(2);
      }
    });
    skipWs();
    if (p_ != end_) fail(p_, "unexpected text after the end of the document");
    if (!haveFields) fail(p_, "missing member 'fields'");
    if (!haveBody) fail(p_, "missing member '" + std::string(body) + "'");
  }

  // ---- field definitions ----

  void fieldDefs(std::vector<FieldDef>& out, int depth) {
    skipWs();
    if (p_ >= end_ || *p_ != '[') failExpected("an array of field definitions");
    const char* listAt = p_;
    enter(depth);
    ++p_;
    if (accept(']')) return;
    ctx_.push(FrameKind::FieldDef);
    for (std::size_t i = 0;; ++i) {
      FieldDef def;
      ctx_.top().index = i;
      ctx_.top().field = &def;
      fieldDef(def, depth + 1);
      out.push_back(std::move(def));
      ctx_.top().field = nullptr;
      if (accept(',')) continue;
      if (accept(']')) break;
      failExpected("',' or ']'");
    }
    ctx_.pop();
    int dup = duplicateName(out);
    if (dup >= 0) fail(listAt, "duplicate field name " + quoted(out[dup].name));
  }

  void fieldDef(FieldDef& def, int depth) {
    skipWs();
    const char* at = p_;
    if (p_ >= end_ || *p_ != '{') failExpected("a field definition (an object)");
    enter(depth);
    ++p_;
    unsigned seen = 0;
    bool haveName = false, haveType = false;
    members([&](std::string_view name, const char* nameAt) {
      static constexpr std::string_view kNames[] = {"name",  "type",     "size", "precision",
                                                    "scale", "required", "kind", "expression",
                                                    "label", "fields"};
      int which = -1;
      for (int i = 0; i < 10; ++i) {
        if (name == kNames[i]) which = i;
      }
      if (which < 0) {
        skipValue(depth + 1);  // members of later versions
        return;
      }
      if (seen & (1u << which)) fail(nameAt, "duplicate member " + quoted(name));
      seen |= 1u << which;
      switch (which) {
        case 0:
          def.name = stringMember();
          haveName = true;
          break;
        case 1: {
          const char* typeAt = p_;
          std::string typeName = stringMember();
          if (!dataTypeFromName(typeName, def.type)) {
            fail(typeAt, "unknown field type " + quoted(typeName));
          }
          haveType = true;
          break;
        }
        case 2:
          def.size = intMember("size");
          break;
        case 3:
          def.precision = intMember("precision");
          break;
        case 4:
          def.scale = intMember("scale");
          break;
        case 5:
          def.required = boolMember();
          break;
        case 6: {
          const char* kindAt = p_;
          std::string kind = stringMember();
          if (kind == "data") {
            def.kind = FieldKind::Data;
          } else if (kind == "internalcalc") {
            def.kind = FieldKind::InternalCalc;
          } else if (kind == "aggregate") {
            def.kind = FieldKind::Aggregate;
          } else {
            fail(kindAt, "unknown field kind " + quoted(kind));
          }
          break;
        }
        case 7:
          def.expression = stringMember();
          break;
        case 8:
          def.displayLabel = stringMember();
          break;
        case 9:
          fieldDefs(def.children, depth + 1);
          break;
      }
    });
    if (!haveName) fail(at, "missing member 'name'");
    if (!haveType) fail(at, "missing member 'type'");
    std::string problem = checkFieldDef(def);
    if (!problem.empty()) fail(at, problem);
  }

  // ---- rows ----

  void rowList(const std::vector<FieldDef>& defs, std::vector<Row>& rows, int depth) {
    skipWs();
    if (p_ >= end_ || *p_ != '[') failExpected("an array of rows");
    enter(depth);
    ++p_;
    if (accept(']')) return;
    ctx_.push(FrameKind::Row);
    for (std::size_t i = 0;; ++i) {
      ctx_.top().index = i;
      Row row;
      const char* rowStart = p_;
      rowValues(defs, row, depth + 1);
      rows.push_back(std::move(row));
      if (i == 0 && depth == 2) reserveRows(rows, static_cast<std::size_t>(p_ - rowStart));
      if (accept(',')) continue;
      if (accept(']')) break;
      failExpected("',' or ']' after a row");
    }
    ctx_.pop();
  }

  // Sizes the top-level row list once from the first row's length, so that a large packet
  // is not copied through a series of ever larger buffers. The guess is bounded by the text
  // left, so a misleading first row cannot make it reserve much more than the text's size.
  void reserveRows(std::vector<Row>& rows, std::size_t firstRowBytes) {
    const std::size_t left = static_cast<std::size_t>(end_ - p_);
    std::size_t guess = left / (firstRowBytes + 1);
    guess += guess / 16 + 1;
    rows.reserve(std::min(guess, left / 2) + 1);
  }

  // One row; the current frame (a row or a change) gets the field being read.
  void rowValues(const std::vector<FieldDef>& defs, Row& row, int depth) {
    skipWs();
    if (p_ >= end_ || *p_ != '[') failExpected("a row (an array of values)");
    enter(depth);
    ++p_;
    const std::size_t n = defs.size();
    row.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
      skipWs();
      if (p_ < end_ && *p_ == ']') {
        ctx_.top().field = nullptr;
        fail(p_, "the row has " + std::to_string(i) + " values, expected " + std::to_string(n));
      }
      if (i > 0) expect(',', "',' between values");
      ctx_.top().field = &defs[i];
      value(defs[i], depth + 1, row);
    }
    ctx_.top().field = nullptr;
    skipWs();
    if (p_ < end_ && *p_ == ',') {
      fail(p_,
           "the row has more than " + std::to_string(n) + " values, expected " + std::to_string(n));
    }
    expect(']', "']' at the end of the row");
  }

  [[noreturn]] void failValue(const char* at, std::string_view text, std::string_view problem) {
    fail(at, quoted(text) + " " + std::string(problem));
  }

  // Appends the value to the row in place: a Value moved into a row costs a visit of its
  // variant, which shows in packets of many rows.
  template <typename... A>
  static void emit(Row& row, A&&... args) {
    row.emplace_back(std::forward<A>(args)...);
  }

  void value(const FieldDef& f, int depth, Row& row) {
    skipWs();
    const char* at = p_;
    if (p_ >= end_) failExpected(expectedFor(f.type));
    const char c = *p_;
    if (c == 'n') {
      literal("null");
      return emit(row);
    }
    const bool isNumber = c == '-' || isDigit(c);
    switch (f.type) {
      case DataType::String:
        if (c == '"') return emit(row, stringValue());
        if (isNumber) return emit(row, std::string(number().text));
        break;
      case DataType::Decimal:
        if (c == '"') return emit(row, decimal(f, stringView(), at));
        if (isNumber) {
          NumberToken t = number();
          if (t.exponent) return emit(row, decimal(f, expandExponent(t.text, at), at));
          return emit(row, decimal(f, t.text, at));
        }
        break;
      case DataType::Int16:
      case DataType::Int32:
      case DataType::Int64:
        if (isNumber) return integer(f.type, number(), at, row);
        break;
      case DataType::Float:
        if (isNumber) {
          NumberToken t = number();
          double d = 0;
          auto r = std::from_chars(t.text.data(), t.text.data() + t.text.size(), d);
          if (r.ec != std::errc() || !std::isfinite(d)) {
            failValue(at, t.text, "is out of range for a float");
          }
          return emit(row, d);
        }
        break;
      case DataType::Boolean:
        if (c == 't') {
          literal("true");
          return emit(row, true);
        }
        if (c == 'f') {
          literal("false");
          return emit(row, false);
        }
        break;
      case DataType::Date:
        if (c == '"') {
          std::string_view s = stringView();
          std::int64_t days;
          if (fastDate(s, days)) return emit(row, Date::fromDays(static_cast<std::int32_t>(days)));
          Date d;
          if (!Date::tryParse(s, d)) failValue(at, s, "is not a valid date (YYYY-MM-DD)");
          return emit(row, d);
        }
        break;
      case DataType::DateTime:
        if (c == '"') {
          std::string_view s = stringView();
          std::int64_t secs;
          if (fastDateTime(s, secs)) return emit(row, DateTime::fromSeconds(secs));
          DateTime d;
          if (!DateTime::tryParse(s, d)) {
            failValue(at, s, "is not a valid date-time (YYYY-MM-DD HH:MM:SS)");
          }
          return emit(row, d);
        }
        break;
      case DataType::Time:
        if (c == '"') {
          std::string_view s = stringView();
          std::int32_t secs;
          if (fastTime(s, secs)) return emit(row, Time::fromSeconds(secs));
          Time t;
          if (!Time::tryParse(s, t)) failValue(at, s, "is not a valid time (HH:MM:SS)");
          return emit(row, t);
        }
        break;
      case DataType::DataSet:
        if (c == '[') {
          auto nested = std::make_shared<NestedRows>();
          rowList(f.children, *nested, depth);
          return emit(row, std::shared_ptr<const NestedRows>(std::move(nested)));
        }
        break;
      case DataType::Null:
        break;
    }
    fail(at, "expected " + expectedFor(f.type) + ", found " + describe(at));
  }

  void integer(DataType type, const NumberToken& t, const char* at, Row& row) {
    if (!t.integral) failValue(at, t.text, "is not an integer");
    std::int64_t v = 0;
    auto r = std::from_chars(t.text.data(), t.text.data() + t.text.size(), v);
    if (r.ec != std::errc()) failValue(at, t.text, "is out of range for a 64-bit integer");
    if (type == DataType::Int16) {
      if (v < std::numeric_limits<std::int16_t>::min() ||
          v > std::numeric_limits<std::int16_t>::max()) {
        failValue(at, t.text, "is out of range for a 16-bit integer");
      }
      return emit(row, static_cast<std::int16_t>(v));
    }
    if (type == DataType::Int32) {
      if (v < std::numeric_limits<std::int32_t>::min() ||
          v > std::numeric_limits<std::int32_t>::max()) {
        failValue(at, t.text, "is out of range for a 32-bit integer");
      }
      return emit(row, static_cast<std::int32_t>(v));
    }
    return emit(row, v);
  }

  // "1.25e3" as plain decimal text ("1250"), exactly; into scratch_.
  std::string_view expandExponent(std::string_view text, const char* at) {
    std::size_t e = text.find_first_of("eE");
    std::string_view mant = text.substr(0, e);
    int exp = 0;
    std::string_view expText = text.substr(e + 1);
    if (!expText.empty() && expText[0] == '+') expText.remove_prefix(1);
    auto r = std::from_chars(expText.data(), expText.data() + expText.size(), exp);
    if (r.ec != std::errc() || exp > 100 || exp < -100) {
      failValue(at, text, "is out of range for a decimal");
    }
    std::string digitsText;
    bool neg = false;
    if (!mant.empty() && mant[0] == '-') {
      neg = true;
      mant.remove_prefix(1);
    }
    int scale = 0;
    std::size_t dot = mant.find('.');
    if (dot == std::string_view::npos) {
      digitsText.assign(mant);
    } else {
      digitsText.assign(mant.substr(0, dot));
      digitsText.append(mant.substr(dot + 1));
      scale = static_cast<int>(mant.size() - dot - 1);
    }
    scale -= exp;
    if (scale < 0) {
      digitsText.append(static_cast<std::size_t>(-scale), '0');
      scale = 0;
    }
    while (static_cast<int>(digitsText.size()) <= scale)
      digitsText.insert(0, 1, '0');
    scratch_.clear();
    if (neg) scratch_.push_back('-');
    scratch_.append(digitsText, 0, digitsText.size() - static_cast<std::size_t>(scale));
    if (scale > 0) {
      scratch_.push_back('.');
      scratch_.append(digitsText, digitsText.size() - static_cast<std::size_t>(scale));
    }
    return scratch_;
  }

  // Decimal text into a value at the field's scale. Digits that the scale would drop, or
  // more digits than the precision allows, are refused rather than rounded away.
  Decimal decimal(const FieldDef& f, std::string_view text, const char* at) {
    const bool sized = f.precision > 0 || f.scale > 0;
    std::int64_t units;
    int scale;
    if (fastDecimal(text, units, scale)) {
      if (!sized) return Decimal(units, scale);
      const int target = f.scale;
      bool fits = true;
      if (scale < target) {
        int diff = target - scale;
        if (diff <= 18 && (units < 0 ? -units : units) <= INT64_MAX / kPow10[diff]) {
          units *= kPow10[diff];
        } else {
          fits = false;  // left to the general path
        }
      } else if (scale > target) {
        std::int64_t p = kPow10[scale - target];
        if (units % p != 0) {
          failValue(at, text,
                    "has more than " + std::to_string(target) + " digits after the point");
        }
        units /= p;
      }
      if (fits) {
        if (f.precision > 0 && f.precision <= 18 &&
            (units < 0 ? -units : units) >= kPow10[f.precision]) {
          failDecimalSize(f, text, at);
        }
        return Decimal(units, target);
      }
    }
    Decimal d;
    if (!Decimal::tryParse(text, d)) failValue(at, text, "is not a valid decimal number");
    if (!sized) return d;
    Decimal r;
    try {
      r = d.rescaled(f.scale);
    } catch (const ConversionError&) {
      failDecimalSize(f, text, at);
    }
    if (Decimal::compare(r, d) != 0) {
      failValue(at, text, "has more than " + std::to_string(f.scale) + " digits after the point");
    }
    if (f.precision > 0) {
      if (magnitude(r.units()) >= pow10u(f.precision)) failDecimalSize(f, text, at);
    }
    return r;
  }

  [[noreturn]] void failDecimalSize(const FieldDef& f, std::string_view text, const char* at) {
    failValue(at, text,
              "does not fit decimal(" + std::to_string(f.precision) + "," +
                  std::to_string(f.scale) + ")");
  }

  // ---- deltas ----

  void changeList(const std::vector<FieldDef>& defs, std::vector<DeltaRow>& out, int depth) {
    skipWs();
    if (p_ >= end_ || *p_ != '[') failExpected("an array of changes");
    enter(depth);
    ++p_;
    if (accept(']')) return;
    ctx_.push(FrameKind::Change);
    for (std::size_t i = 0;; ++i) {
      ctx_.top().index = i;
      DeltaRow row;
      change(defs, row, depth + 1);
      out.push_back(std::move(row));
      if (accept(',')) continue;
      if (accept(']')) break;
      failExpected("',' or ']' after a change");
    }
    ctx_.pop();
  }

  void change(const std::vector<FieldDef>& defs, DeltaRow& row, int depth) {
    skipWs();
    const char* at = p_;
    if (p_ >= end_ || *p_ != '{') failExpected("a change (an object)");
    enter(depth);
    ++p_;
    bool haveKind = false, haveOld = false, haveNew = false, haveDetails = false;
    members([&](std::string_view name, const char* nameAt) {
      auto once = [&](bool& flag) {
        if (flag) fail(nameAt, "duplicate member " + quoted(name));
        flag = true;
      };
      if (name == "kind") {
        once(haveKind);
        skipWs();
        const char* kindAt = p_;
        if (p_ >= end_ || *p_ != '"') failExpected("a change kind string");
        std::string_view kind = stringView();
        if (!kindFromName(kind, row.kind)) fail(kindAt, "unknown change kind " + quoted(kind));
      } else if (name == "old" || name == "new") {
        bool isOld = name == "old";
        once(isOld ? haveOld : haveNew);
        ctx_.top().part = isOld ? "old values" : "new values";
        rowValues(defs, isOld ? row.oldValues : row.newValues, depth + 1);
        ctx_.top().part = nullptr;
      } else if (name == "details") {
        once(haveDetails);
        details(defs, row.details, depth + 1);
      } else {
        skipValue(depth + 1);
      }
    });
    if (!haveKind) fail(at, "missing member 'kind'");
    switch (row.kind) {
      case ChangeKind::Insert:
        if (haveOld) fail(at, "an insert has no 'old' values");
        if (!haveNew) fail(at, "an insert needs 'new' values");
        break;
      case ChangeKind::Delete:
        if (haveNew) fail(at, "a delete has no 'new' values");
        if (!haveOld) fail(at, "a delete needs 'old' values");
        break;
      case ChangeKind::Modify:
        if (!haveOld || !haveNew) fail(at, "a modify needs both 'old' and 'new' values");
        break;
      case ChangeKind::Unmodified:
        // The row that holds the nested changes, as it is.
        if (haveNew) fail(at, "an unmodified row has no 'new' values");
        if (!haveOld) fail(at, "an unmodified row needs 'old' values");
        break;
    }
    // Without fields a row has no values to tell it by.
    if (defs.empty()) fail(at, "a change in a data set without fields");
  }

  void details(const std::vector<FieldDef>& defs, std::vector<DetailDelta>& out, int depth) {
    skipWs();
    if (p_ >= end_ || *p_ != '{') failExpected("an object of nested changes");
    enter(depth);
    ++p_;
    std::vector<char> seen;
    members([&](std::string_view name, const char* nameAt) {
      std::size_t index = defs.size();
      for (std::size_t i = 0; i < defs.size(); ++i) {
        if (equalsFolded(defs[i].name, name)) {
          index = i;
          break;
        }
      }
      if (index == defs.size()) fail(nameAt, "unknown nested field " + quoted(name));
      if (defs[index].type != DataType::DataSet) {
        fail(nameAt, "field " + quoted(defs[index].name) + " is not a nested data set");
      }
      if (seen.empty()) seen.resize(defs.size());
      if (seen[index]) fail(nameAt, "duplicate details of " + quoted(defs[index].name));
      seen[index] = 1;
      DetailDelta detail;
      detail.field = index;
      ctx_.push(FrameKind::Detail, &defs[index]);
      changeList(defs[index].children, detail.rows, depth + 1);
      ctx_.pop();
      out.push_back(std::move(detail));
    });
  }

  const char* begin_;
  const char* p_;
  const char* end_;
  std::size_t base_ = 0;
  Context ctx_;
  std::string scratch_;
};

// ======================================================================================
// Writer
// ======================================================================================

// Output into a std::string through a raw cursor: the string is grown ahead in large steps
// and cut to the written length at the end, so each value costs a bounds check and a copy
// rather than a string append.
class OutBuffer {
 public:
  OutBuffer(std::string& out, std::size_t expected) : out_(out), mark_(out.size()) {
    out_.resize(mark_ + expected + 64);
    cur_ = out_.data() + mark_;
    lim_ = out_.data() + out_.size();
  }

  // Room for n more bytes at cur().
  char* room(std::size_t n) {
    if (static_cast<std::size_t>(lim_ - cur_) < n) grow(n);
    return cur_;
  }
  void advance(char* to) { cur_ = to; }
  void put(char c) {
    *room(1) = c;
    ++cur_;
  }
  void put(std::string_view s) {
    std::memcpy(room(s.size()), s.data(), s.size());
    cur_ += s.size();
  }

  void finish() { out_.resize(static_cast<std::size_t>(cur_ - out_.data())); }
  void rollback() { out_.resize(mark_); }

  // Bytes written so far; rewinding to such a count drops what came after it.
  std::size_t written() const { return static_cast<std::size_t>(cur_ - out_.data()) - mark_; }
  void rewind(std::size_t count) { cur_ = out_.data() + mark_ + count; }
  // What was written, until the next write.
  std::string_view view() const { return {out_.data() + mark_, written()}; }
  // Everything written, handed over; writing goes on into an empty string of `room` bytes.
  std::string take(std::size_t room) {
    finish();
    std::string done = std::move(out_);
    out_.clear();
    out_.resize(room);
    mark_ = 0;
    cur_ = out_.data();
    lim_ = out_.data() + out_.size();
    return done;
  }

 private:
  void grow(std::size_t n) {
    const std::size_t used = static_cast<std::size_t>(cur_ - out_.data());
    out_.resize(std::max(out_.size() * 2, used + n + 1024));
    cur_ = out_.data() + used;
    lim_ = out_.data() + out_.size();
  }

  std::string& out_;
  std::size_t mark_;
  char* cur_;
  char* lim_;
};

// Writes text as a JSON string literal; false (with part of it written) on invalid UTF-8.
bool putString(OutBuffer& out, std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  const char* s = text.data();
  const char* end = s + text.size();
  char* d = out.room(text.size() + 2);
  *d++ = '"';
  const char* run = s;
  while (s < end) {
    while (end - s >= 8 && !hasSpecialByte(load8(s)))
      s += 8;
    while (s < end && isPlain(*s))
      ++s;
    if (s >= end) break;
    unsigned char c = static_cast<unsigned char>(*s);
    if (c >= 0x80) {
      const char* next = utf8Next(s, end);
      if (!next) return false;
      s = next;
      continue;
    }
    std::memcpy(d, run, static_cast<std::size_t>(s - run));
    d += s - run;
    // Room for this escape and everything after it written plain.
    out.advance(d);
    d = out.room(6 + static_cast<std::size_t>(end - s) + 1);
    char esc = 0;
    switch (c) {
      case '"':
        esc = '"';
        break;
      case '\\':
        esc = '\\';
        break;
      case '\b':
        esc = 'b';
        break;
      case '\f':
        esc = 'f';
        break;
      case '\n':
        esc = 'n';
        break;
      case '\r':
        esc = 'r';
        break;
      case '\t':
        esc = 't';
        break;
      default:
        break;
    }
    *d++ = '\\';
    if (esc) {
      *d++ = esc;
    } else {
      const char u[5] = {'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
      std::memcpy(d, u, 5);
      d += 5;
    }
    run = ++s;
  }
  std::memcpy(d, run, static_cast<std::size_t>(end - run));
  d += end - run;
  *d++ = '"';
  out.advance(d);
  return true;
}

class Writer {
 public:
  explicit Writer(OutBuffer& out) : out_(out) {}

  void packet(const Packet& p) {
    out_.put("{\"fields\":");
    fieldDefs(p.fields.list());
    out_.put(",\"rows\":");
    rowList(p.fields.list(), p.rows);
    out_.put('}');
  }

  void delta(const Delta& d) {
    out_.put("{\"fields\":");
    fieldDefs(d.fields.list());
    out_.put(",\"changes\":");
    changeList(d.fields.list(), d.rows);
    out_.put('}');
  }

  // ---- a packet from text cells, for PacketWriter ----

  // With `nestedLast`, the last field is a nested data set whose rows come as text.
  void textHead(const std::vector<FieldDef>& defs, bool nestedLast = false) {
    ctx_.push(FrameKind::FieldDef);
    for (std::size_t i = 0; i < defs.size(); ++i) {
      if (nestedLast && i + 1 == defs.size()) {
        if (defs[i].type != DataType::DataSet) fail("the last field is not a nested data set");
        for (const FieldDef& child : defs[i].children)
          if (child.type == DataType::Boolean || child.type == DataType::DataSet)
            fail("a nested " + std::string(dataTypeName(child.type)) + " field has no text form");
        continue;
      }
      if (defs[i].type == DataType::Boolean || defs[i].type == DataType::DataSet) {
        ctx_.top().index = i;
        ctx_.top().field = &defs[i];
        fail("a " + std::string(dataTypeName(defs[i].type)) + " field has no text form");
      }
    }
    ctx_.pop();
    out_.put("{\"fields\":");
    fieldDefs(defs);
    out_.put(",\"rows\":[");
    ctx_.push(FrameKind::Row);
  }

  // A row of the packet; with `nested`, the cells are those of every field but the last, and
  // `*nested` is the text of the last field's rows ("[...]").
  void textRow(const std::vector<FieldDef>& defs, std::size_t index, const char* const* cells,
               const unsigned long* lengths, const std::string_view* nested = nullptr) {
    ctx_.top().index = index;
    if (index > 0) out_.put(',');
    textCells(defs, cells, lengths, nested);
  }

  // A row alone, for the rows of a nested value; `index` names it in errors.
  void textNestedRow(const std::vector<FieldDef>& defs, std::size_t index, const char* const* cells,
                     const unsigned long* lengths) {
    ctx_.push(FrameKind::Row);
    ctx_.top().index = index;
    try {
      textCells(defs, cells, lengths, nullptr);
    } catch (...) {
      ctx_.pop();
      throw;
    }
    ctx_.pop();
  }

 private:
  void textCells(const std::vector<FieldDef>& defs, const char* const* cells,
                 const unsigned long* lengths, const std::string_view* nested) {
    out_.put('[');
    const std::size_t n = nested ? defs.size() - 1 : defs.size();
    for (std::size_t j = 0; j < n; ++j) {
      if (j > 0) out_.put(',');
      textValue(defs, j, cells[j], lengths[j]);
    }
    if (nested) {
      if (n > 0) out_.put(',');
      out_.put(*nested);
    }
    out_.put(']');
  }

 public:
  void textTail() {
    ctx_.pop();
    out_.put("]}");
  }

 private:
  [[noreturn]] void fail(std::string_view message) const {
    throw DataSetError(ctx_.prefix() + std::string(message));
  }

  void text(std::string_view s) {
    if (!putString(out_, s)) fail("invalid UTF-8 in text " + quoted(s));
  }

  template <typename T>
  void integer(T v) {
    char* d = out_.room(24);
    out_.advance(std::to_chars(d, d + 24, v).ptr);
  }

  void fieldDefs(const std::vector<FieldDef>& defs) {
    out_.put('[');
    ctx_.push(FrameKind::FieldDef);
    for (std::size_t i = 0; i < defs.size(); ++i) {
      const FieldDef& f = defs[i];
      ctx_.top().index = i;
      ctx_.top().field = &f;
      std::string problem = checkFieldDef(f);
      if (!problem.empty()) fail(problem);
      if (i > 0) out_.put(',');
      out_.put("{\"name\":");
      text(f.name);
      out_.put(",\"type\":\"");
      out_.put(dataTypeName(f.type));
      out_.put('"');
      if (f.size > 0) {
        out_.put(",\"size\":");
        integer(f.size);
      }
      // A sized decimal always states both, so "scale":0 is visible; otherwise only what is set.
      const bool both = f.type == DataType::Decimal && (f.precision != 0 || f.scale != 0);
      if (both || f.precision != 0) {
        out_.put(",\"precision\":");
        integer(f.precision);
      }
      if (both || f.scale != 0) {
        out_.put(",\"scale\":");
        integer(f.scale);
      }
      if (f.required) out_.put(",\"required\":true");
      if (f.kind != FieldKind::Data) {
        out_.put(",\"kind\":\"");
        out_.put(fieldKindName(f.kind));
        out_.put('"');
      }
      if (!f.expression.empty()) {
        out_.put(",\"expression\":");
        text(f.expression);
      }
      if (!f.displayLabel.empty()) {
        out_.put(",\"label\":");
        text(f.displayLabel);
      }
      if (!f.children.empty()) {
        out_.put(",\"fields\":");
        fieldDefs(f.children);
      }
      out_.put('}');
    }
    ctx_.top().field = nullptr;
    int dup = duplicateName(defs);
    if (dup >= 0) {
      ctx_.top().index = static_cast<std::size_t>(dup);
      fail("duplicate field name " + quoted(defs[dup].name));
    }
    ctx_.pop();
    out_.put(']');
  }

  void rowList(const std::vector<FieldDef>& defs, const std::vector<Row>& rows) {
    out_.put('[');
    ctx_.push(FrameKind::Row);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      ctx_.top().index = i;
      if (i > 0) out_.put(',');
      row(defs, rows[i]);
    }
    ctx_.pop();
    out_.put(']');
  }

  void row(const std::vector<FieldDef>& defs, const Row& r) {
    if (r.size() != defs.size()) {
      fail("the row has " + std::to_string(r.size()) + " values, expected " +
           std::to_string(defs.size()));
    }
    out_.put('[');
    for (std::size_t j = 0; j < r.size(); ++j) {
      if (j > 0) out_.put(',');
      value(defs, j, r[j]);
    }
    out_.put(']');
  }

  // The field is looked up only when the value needs it, to keep the common path short.
  void value(const std::vector<FieldDef>& defs, std::size_t j, const Value& v) {
    const DataType type = v.type();
    if (type == DataType::Null) {
      out_.put("null");
      return;
    }
    const FieldDef& f = defs[j];
    if (type != f.type) {
      failAt(f, "holds a " + std::string(dataTypeName(type)) + " value, the field is " +
                    std::string(dataTypeName(f.type)));
    }
    switch (type) {
      case DataType::Null:
        break;
      case DataType::Boolean:
        out_.put(v.boolean() ? std::string_view("true") : std::string_view("false"));
        break;
      case DataType::Int16:
        integer(v.int16());
        break;
      case DataType::Int32:
        integer(v.int32());
        break;
      case DataType::Int64:
        integer(v.int64());
        break;
      case DataType::Float: {
        double d = v.float64();
        if (!std::isfinite(d)) failAt(f, "cannot encode a non-finite float");
        char* p = out_.room(32);
        out_.advance(std::to_chars(p, p + 32, d).ptr);
        break;
      }
      case DataType::Decimal: {
        const Decimal& d = v.decimal();
        Int128 units = d.units();
        int scale = d.scale();
        if (f.precision > 0 || f.scale > 0) fitDecimal(f, d, units, scale);
        if (scale > Decimal::kMaxDigits) failAt(f, "decimal scale out of range");
        char* p = out_.room(48);
        *p++ = '"';
        p = formatDecimal(p, units, scale);
        *p++ = '"';
        out_.advance(p);
        break;
      }
      case DataType::String:
        if (!putString(out_, v.string())) failAt(f, "invalid UTF-8 in text " + quoted(v.string()));
        break;
      case DataType::Date: {
        char* p = out_.room(12);
        p[0] = '"';
        if (!formatDate(p + 1, v.date().days())) failAt(f, "date out of range");
        p[11] = '"';
        out_.advance(p + 12);
        break;
      }
      case DataType::DateTime: {
        std::int64_t s = v.dateTime().seconds();
        std::int64_t days = s / 86400;
        std::int64_t secs = s % 86400;
        if (secs < 0) {
          secs += 86400;
          --days;
        }
        char* p = out_.room(21);
        p[0] = '"';
        if (!formatDate(p + 1, days)) failAt(f, "date-time out of range");
        p[11] = ' ';
        formatTime(p + 12, secs);
        p[20] = '"';
        out_.advance(p + 21);
        break;
      }
      case DataType::Time: {
        char* p = out_.room(10);
        p[0] = '"';
        if (!formatTime(p + 1, v.time().seconds())) failAt(f, "time out of range");
        p[9] = '"';
        out_.advance(p + 10);
        break;
      }
      case DataType::DataSet: {
        const auto& nested = v.nested();
        if (!nested) {
          out_.put("null");
        } else {
          ctx_.top().field = &f;
          rowList(f.children, *nested);
          ctx_.top().field = nullptr;
        }
        break;
      }
    }
  }

  // A cell's text as the value it stands for, written as value() writes that value. Temporal
  // texts in the usual form are copied as they are: they read back to the same text.
  void textValue(const std::vector<FieldDef>& defs, std::size_t j, const char* data,
                 std::size_t length) {
    if (!data) {
      out_.put("null");
      return;
    }
    const FieldDef& f = defs[j];
    const std::string_view t(data, length);
    switch (f.type) {
      case DataType::String:
        if (!putString(out_, t)) failAt(f, "invalid UTF-8 in text " + quoted(t));
        return;
      case DataType::Int16:
      case DataType::Int32:
      case DataType::Int64: {
        std::int64_t v = 0;
        auto r = std::from_chars(t.data(), t.data() + t.size(), v);
        if (r.ec != std::errc()) break;  // not a number: refused below as text
        if (f.type == DataType::Int16) {
          integer(static_cast<std::int16_t>(v));
        } else if (f.type == DataType::Int32) {
          integer(static_cast<std::int32_t>(v));
        } else {
          integer(v);
        }
        return;
      }
      case DataType::Float: {
        double d = 0;
        std::from_chars(t.data(), t.data() + t.size(), d);
        value(defs, j, Value(d));
        return;
      }
      case DataType::Decimal: {
        if (canonicalDecimal(f, t)) return quotedCopy(t);
        Decimal d;
        value(defs, j, Decimal::tryParse(t, d) ? Value(d) : Value());
        return;
      }
      case DataType::Date: {
        std::int64_t days;
        if (fastDate(t, days)) return quotedCopy(t);
        Date d;
        value(defs, j, Date::tryParse(t, d) ? Value(d) : Value());
        return;
      }
      case DataType::DateTime: {
        std::int64_t secs;
        if (fastDateTime(t, secs)) return quotedCopy(t);
        DateTime d;
        value(defs, j, DateTime::tryParse(t, d) ? Value(d) : Value());
        return;
      }
      case DataType::Time: {
        std::int32_t secs;
        if (fastTime(t, secs)) return quotedCopy(t);
        Time d;
        value(defs, j, Time::tryParse(t, d) ? Value(d) : Value());
        return;
      }
      default:
        break;
    }
    value(defs, j, Value(std::string(t)));
  }

  // True when t is already the text value() writes for its decimal in field f: no leading
  // zeros, no negative zero, exactly the field's scale (any scale in an unsized field), and no
  // more digits than the precision allows.
  static bool canonicalDecimal(const FieldDef& f, std::string_view t) {
    std::size_t i = 0;
    const std::size_t n = t.size();
    const bool negative = n > 0 && t[0] == '-';
    if (negative) ++i;
    const std::size_t intStart = i;
    while (i < n && isDigit(t[i]))
      ++i;
    const std::size_t intDigits = i - intStart;
    if (intDigits == 0 || (intDigits > 1 && t[intStart] == '0')) return false;
    std::size_t fracDigits = 0;
    bool nonZero = t[intStart] != '0';
    if (i < n) {
      if (t[i] != '.') return false;
      const std::size_t fracStart = ++i;
      while (i < n && isDigit(t[i])) {
        nonZero = nonZero || t[i] != '0';
        ++i;
      }
      fracDigits = i - fracStart;
      if (i != n || fracDigits == 0) return false;
    }
    if (negative && !nonZero) return false;
    const bool sized = f.precision > 0 || f.scale > 0;
    if (sized && fracDigits != static_cast<std::size_t>(f.scale)) return false;
    // A lone integer zero is no significant digit.
    const std::size_t significant = (t[intStart] == '0' ? 0 : intDigits) + fracDigits;
    const std::size_t limit = f.precision > 0 ? static_cast<std::size_t>(f.precision)
                                              : static_cast<std::size_t>(Decimal::kMaxDigits);
    return significant <= limit &&
           intDigits + fracDigits <= static_cast<std::size_t>(Decimal::kMaxDigits);
  }

  void quotedCopy(std::string_view t) {
    char* p = out_.room(t.size() + 2);
    *p++ = '"';
    std::memcpy(p, t.data(), t.size());
    p += t.size();
    *p++ = '"';
    out_.advance(p);
  }

  // A decimal at its field's scale, refusing what the reader would refuse: digits the scale
  // drops and more digits than the precision holds.
  void fitDecimal(const FieldDef& f, const Decimal& d, Int128& units, int& scale) {
    if (scale != f.scale) {
      const int diff = scale < f.scale ? f.scale - scale : scale - f.scale;
      const UInt128 m = magnitude(units);
      if (diff > Decimal::kMaxDigits) failDecimal(f, d, "does not fit");
      const UInt128 p = pow10u(diff);
      if (scale < f.scale) {
        if (m >= pow10u(Decimal::kMaxDigits) / p) failDecimal(f, d, "does not fit");
        units *= static_cast<Int128>(p);
      } else {
        if (m % p != 0) {
          failDecimal(f, d, "has more than " + std::to_string(f.scale) + " digits after the point");
        }
        units /= static_cast<Int128>(p);
      }
      scale = f.scale;
    }
    if (f.precision > 0 && magnitude(units) >= pow10u(f.precision)) {
      failDecimal(f, d, "does not fit");
    }
  }

  [[noreturn]] void failDecimal(const FieldDef& f, const Decimal& d, std::string problem) {
    char buf[64];
    char* e = formatDecimal(buf, d.units(), std::min(d.scale(), Decimal::kMaxDigits));
    if (problem == "does not fit") {
      problem += " decimal(" + std::to_string(f.precision) + "," + std::to_string(f.scale) + ")";
    }
    failAt(f, quoted(std::string_view(buf, static_cast<std::size_t>(e - buf))) + " " + problem);
  }

  [[noreturn]] void failAt(const FieldDef& f, std::string_view message) {
    ctx_.top().field = &f;
    fail(message);
  }

  void changeList(const std::vector<FieldDef>& defs, const std::vector<DeltaRow>& rows) {
    out_.put('[');
    ctx_.push(FrameKind::Change);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      ctx_.top().index = i;
      if (i > 0) out_.put(',');
      change(defs, rows[i]);
    }
    ctx_.pop();
    out_.put(']');
  }

  void change(const std::vector<FieldDef>& defs, const DeltaRow& r) {
    bool writeOld = !r.oldValues.empty();
    bool writeNew = !r.newValues.empty();
    switch (r.kind) {
      case ChangeKind::Insert:
        if (writeOld) fail("an insert has no old values");
        writeNew = true;
        break;
      case ChangeKind::Delete:
        if (writeNew) fail("a delete has no new values");
        writeOld = true;
        break;
      case ChangeKind::Modify:
        writeOld = writeNew = true;
        break;
      case ChangeKind::Unmodified:
        break;
    }
    out_.put("{\"kind\":\"");
    out_.put(kindName(r.kind));
    out_.put('"');
    if (writeOld) {
      out_.put(",\"old\":");
      ctx_.top().part = "old values";
      row(defs, r.oldValues);
    }
    if (writeNew) {
      out_.put(",\"new\":");
      ctx_.top().part = "new values";
      row(defs, r.newValues);
    }
    ctx_.top().part = nullptr;
    if (!r.details.empty()) {
      out_.put(",\"details\":{");
      for (std::size_t i = 0; i < r.details.size(); ++i) {
        const DetailDelta& d = r.details[i];
        if (d.field >= defs.size() || defs[d.field].type != DataType::DataSet) {
          fail("details for field " + std::to_string(d.field) + ", which is not a data set");
        }
        for (std::size_t j = 0; j < i; ++j) {
          if (r.details[j].field == d.field) {
            fail("duplicate details of " + quoted(defs[d.field].name));
          }
        }
        if (i > 0) out_.put(',');
        text(defs[d.field].name);
        out_.put(':');
        ctx_.push(FrameKind::Detail, &defs[d.field]);
        changeList(defs[d.field].children, d.rows);
        ctx_.pop();
      }
      out_.put('}');
    }
    out_.put('}');
  }

  OutBuffer& out_;
  Context ctx_;
};

// A first guess of the encoded size; the buffer grows past it when needed.
std::size_t expectedSize(const FieldDefs& fields, std::size_t rows) {
  return 256 + fields.size() * 48 + rows * (2 + fields.size() * 12);
}

// Runs a write and leaves `out` as it was when it throws.
template <typename F>
void appendAll(std::string& out, std::size_t expected, F&& write) {
  OutBuffer buffer(out, expected);
  try {
    Writer w(buffer);
    write(w);
  } catch (...) {
    buffer.rollback();
    throw;
  }
  buffer.finish();
}

}  // namespace

void appendPacket(std::string& out, const Packet& packet) {
  appendAll(out, expectedSize(packet.fields, packet.rows.size()),
            [&](Writer& w) { w.packet(packet); });
}

std::string encodePacket(const Packet& packet) {
  std::string out;
  appendPacket(out, packet);
  return out;
}

Packet decodePacket(std::string_view json) {
  return Reader(json).packet();
}

void appendDelta(std::string& out, const Delta& delta) {
  appendAll(out, expectedSize(delta.fields, delta.rows.size() * 2),
            [&](Writer& w) { w.delta(delta); });
}

std::string encodeDelta(const Delta& delta) {
  std::string out;
  appendDelta(out, delta);
  return out;
}

Delta decodeDelta(std::string_view json) {
  return Reader(json).delta();
}

// ---- PacketWriter ----

namespace {
constexpr std::size_t kWriterRoom = 64 * 1024;
}  // namespace

struct PacketWriter::Impl {
  explicit Impl(const FieldDefs& fields)
      : defs(fields.list()), buffer(text, kWriterRoom), writer(buffer) {}
  std::vector<FieldDef> defs;
  std::string text;
  OutBuffer buffer;
  Writer writer;
  std::size_t rows = 0;
  bool finished = false;
  bool nestedLast = false;

  // One row; a row the writer refuses is left out of the text.
  void write(const char* const* cells, const unsigned long* lengths,
             const std::string_view* nested) {
    if (finished) throw DataSetError("a row after the end of the packet");
    const std::size_t mark = buffer.written();
    try {
      writer.textRow(defs, rows, cells, lengths, nested);
    } catch (...) {
      buffer.rewind(mark);
      throw;
    }
    ++rows;
  }
};

PacketWriter::PacketWriter(const FieldDefs& fields) : impl_(std::make_unique<Impl>(fields)) {
  impl_->writer.textHead(impl_->defs);
}

PacketWriter::PacketWriter(const FieldDefs& fields, NestedLast)
    : impl_(std::make_unique<Impl>(fields)) {
  impl_->writer.textHead(impl_->defs, true);
  impl_->nestedLast = true;
}

void PacketWriter::row(const char* const* cells, const unsigned long* lengths,
                       std::string_view nestedRows) {
  if (!impl_->nestedLast) throw DataSetError("the packet has no nested last field");
  const std::string_view none = "[]";
  impl_->write(cells, lengths, nestedRows.empty() ? &none : &nestedRows);
}

// ---- NestedRowsWriter ----

struct NestedRowsWriter::Impl {
  Impl(const FieldDefs& fields, std::size_t groups)
      : defs(fields.list()), buffer(scratch, 1024), writer(buffer), texts(groups), counts(groups) {}
  std::vector<FieldDef> defs;
  std::string scratch;
  OutBuffer buffer;
  Writer writer;
  std::vector<std::string> texts;  // "[row,row" while open
  std::vector<std::size_t> counts;
};

NestedRowsWriter::NestedRowsWriter(const FieldDefs& fields, std::size_t groups)
    : impl_(std::make_unique<Impl>(fields, groups)) {
  for (const FieldDef& d : impl_->defs)
    if (d.type == DataType::Boolean || d.type == DataType::DataSet)
      throw DataSetError("Field '" + d.name + "': a " + std::string(dataTypeName(d.type)) +
                         " field has no text form");
}

NestedRowsWriter::~NestedRowsWriter() = default;

void NestedRowsWriter::row(std::size_t group, const char* const* cells,
                           const unsigned long* lengths) {
  Impl& m = *impl_;
  m.buffer.rewind(0);
  m.writer.textNestedRow(m.defs, m.counts.at(group), cells, lengths);
  std::string& t = m.texts[group];
  t += t.empty() ? '[' : ',';
  t += m.buffer.view();
  ++m.counts[group];
}

std::string NestedRowsWriter::take(std::size_t group) {
  std::string t = std::move(impl_->texts.at(group));
  if (t.empty()) return "[]";
  t += ']';
  return t;
}

PacketWriter::~PacketWriter() = default;

void PacketWriter::row(const char* const* cells, const unsigned long* lengths) {
  if (impl_->nestedLast) throw DataSetError("a row without its nested rows");
  impl_->write(cells, lengths, nullptr);
}

void PacketWriter::finish() {
  if (impl_->finished) return;
  impl_->writer.textTail();
  impl_->finished = true;
}

std::size_t PacketWriter::rowCount() const {
  return impl_->rows;
}

std::size_t PacketWriter::pending() const {
  return impl_->buffer.written();
}

std::string PacketWriter::take() {
  return impl_->buffer.take(kWriterRoom);
}

// ---- PacketReader ----

struct PacketReader::State {
  enum class Stage : std::uint8_t { Head, Rows, Tail };
  // Decoding waits for `step` bytes of new text, so that the attempt that stops at a row cut
  // in two is rare next to the rows decoded. Decoded text is dropped from the buffer once it
  // is `keep` bytes and most of the buffer.
  // Without a sink of the caller's, the rows are gathered for finish().
  struct Gathered : PacketSink {
    std::vector<Row> rows;
    void fields(const FieldDefs&) override {}
    void row(Row&& r) override { rows.push_back(std::move(r)); }
  };

  State(std::size_t attemptEvery, PacketSink* to)
      : step(attemptEvery > 0 ? attemptEvery : 1), keep(16 * step), given(to) {}
  std::size_t step;
  std::size_t keep;
  PacketSink* given;
  Gathered gathered;
  std::string text;      // received and not yet dropped
  std::size_t base = 0;  // offset of text[0] in the packet's text
  std::size_t pos = 0;   // decoded up to here, within text
  std::size_t triedAt = 0;
  Stage stage = Stage::Head;
  bool expectRow = true;
  std::vector<FieldDef> defs;
  std::size_t rowCount = 0;

  Reader reader() const {
    return Reader(text.data(), text.data() + pos, text.data() + text.size(), base);
  }

  // Decodes what is complete. Before the end an error may only mean that the text is cut
  // short, so it waits for more; at the end every error stands.
  void advance(bool last, std::string* rest) {
    try {
      if (stage == Stage::Head) {
        // The definitions are kept only from an attempt that read the whole head: one cut
        // short is read again from the start.
        std::vector<FieldDef> head;
        Reader r = reader();
        if (!r.packetHead(head, rest)) return;  // a packet without rows: an error at the end
        defs = std::move(head);
        pos = r.position();
        stage = Stage::Rows;
        if (given) given->fields(FieldDefs(defs));
      }
      if (stage == Stage::Rows) rowsFrom(last);
      if (stage == Stage::Tail && last) {
        Reader r = reader();
        r.packetTail(rest);
      }
    } catch (const ParseError&) {
      if (last) throw;
    }
    if (pos >= keep && pos * 2 >= text.size()) {
      text.erase(0, pos);
      base += pos;
      triedAt -= pos;
      pos = 0;
    }
  }

  void rowsFrom(bool last) {
    Reader r = reader();
    for (;;) {
      if (!last && r.atEnd()) return;
      if (expectRow) {
        if (rowCount == 0 && r.emptyRows()) {
          stage = Stage::Tail;
        } else {
          Row row;
          r.packetRow(defs, row, rowCount);
          // The row counts as read before the sink sees it: a sink that fails must not be
          // handed it again by a later attempt.
          pos = r.position();
          ++rowCount;
          expectRow = false;
          (given ? *given : gathered).row(std::move(row));
          continue;
        }
      } else if (r.rowSeparator(rowCount - 1)) {
        expectRow = true;
      } else {
        stage = Stage::Tail;
      }
      pos = r.position();
      if (stage == Stage::Tail) return;
    }
  }
};

PacketReader::PacketReader(std::size_t attemptEvery)
    : state_(std::make_unique<State>(attemptEvery, nullptr)) {}

PacketReader::PacketReader(PacketSink& sink, std::size_t attemptEvery)
    : state_(std::make_unique<State>(attemptEvery, &sink)) {}

PacketReader::~PacketReader() = default;

void PacketReader::feed(std::string_view piece) {
  State& s = *state_;
  s.text.append(piece);
  if (s.text.size() - s.triedAt >= s.step) {
    s.triedAt = s.text.size();
    s.advance(false, nullptr);
  }
}

Packet PacketReader::finish(std::string* rest) {
  // The reader starts afresh after a packet and after an error alike.
  std::unique_ptr<State> s =
      std::exchange(state_, std::make_unique<State>(state_->step, state_->given));
  s->advance(true, rest);
  Packet out;
  out.fields = FieldDefs(std::move(s->defs));
  out.rows = std::move(s->gathered.rows);
  return out;
}

void appendJsonString(std::string& out, std::string_view text) {
  OutBuffer buffer(out, text.size() + 2);
  if (!putString(buffer, text)) {
    buffer.rollback();
    throw Error("invalid UTF-8 in text " + quoted(text));
  }
  buffer.finish();
}

}  // namespace vlt

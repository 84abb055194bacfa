#include "sqlclass.h"

#include <algorithm>
#include <array>

namespace vlt::server {

namespace {

bool nameChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || c >= 0x80;
}

bool digit(char c) {
  return c >= '0' && c <= '9';
}

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

class Lexer {
 public:
  explicit Lexer(std::string_view sql) : s_(sql) {}

  SqlTokens run() {
    SqlTokens out;
    while (pos_ < s_.size() && out.error.empty()) {
      if (!skipTrivia(out.error)) break;
      if (pos_ >= s_.size()) break;
      out.tokens.push_back(next(out.error));
    }
    if (out.error.empty() && versioned_) out.error = "版本注释没有结束";
    if (!out.error.empty()) out.tokens.clear();
    return out;
  }

 private:
  // Skips blanks and comments; false on an error (written to `error`).
  bool skipTrivia(std::string& error) {
    while (pos_ < s_.size()) {
      const char c = s_[pos_];
      if (c == '\0') {
        error = "语句中不能有空字符";
        return false;
      }
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
        ++pos_;
      } else if (c == '#' || (c == '-' && at("--") && dashCommentStarts(pos_ + 2))) {
        while (pos_ < s_.size() && s_[pos_] != '\n')
          ++pos_;
      } else if (c == '*' && versioned_ && at("*/")) {
        versioned_ = false;
        pos_ += 2;
      } else if (c == '/' && at("/*")) {
        if (!comment(error)) return false;
      } else {
        return true;
      }
    }
    return true;
  }

  // "--" starts a comment only when a blank or control character (or the end) follows.
  bool dashCommentStarts(std::size_t p) const {
    return p >= s_.size() || static_cast<unsigned char>(s_[p]) <= ' ' || s_[p] == '\x7f';
  }

  bool at(std::string_view what) const { return s_.substr(pos_, what.size()) == what; }

  bool comment(std::string& error) {
    std::size_t p = pos_ + 2;
    bool executable = false;
    if (p < s_.size() && s_[p] == '!') {
      executable = true;
      ++p;
    } else if (s_.substr(p, 2) == "M!") {
      executable = true;
      p += 2;
    }
    if (executable) {
      if (versioned_) {
        error = "版本注释不能嵌套";
        return false;
      }
      // With a version number the server may skip the text (a newer version, or one it takes
      // for another product's): what runs would then differ from what was checked.
      if (p < s_.size() && digit(s_[p])) {
        error = "不支持带版本号的版本注释";
        return false;
      }
      pos_ = p;
      versioned_ = true;
      return true;
    }
    if (versioned_) {
      error = "版本注释中不能再有注释";
      return false;
    }
    std::size_t end = s_.find("*/", p);
    if (end == std::string_view::npos) {
      error = "注释没有结束";
      return false;
    }
    pos_ = end + 2;
    return true;
  }

  SqlToken make(SqlTokenKind kind, std::size_t start, std::string text) {
    return SqlToken{kind, start, pos_ - start, std::move(text), versioned_};
  }

  // A quoted run starting at pos_ (the quote); a doubled quote stands for itself.
  bool quoted(std::string& text, std::string& error) {
    const char q = s_[pos_++];
    while (pos_ < s_.size()) {
      const char c = s_[pos_++];
      if (c == q) {
        if (pos_ < s_.size() && s_[pos_] == q) {
          text += q;
          ++pos_;
          continue;
        }
        return true;
      }
      if (c == '\0') break;
      text += c;
    }
    error = q == '`' ? "名称的反引号没有结束" : "字符串的引号没有结束";
    return false;
  }

  SqlToken next(std::string& error) {
    const std::size_t start = pos_;
    const char c = s_[pos_];
    if (nameChar(static_cast<unsigned char>(c))) {
      while (pos_ < s_.size() && nameChar(static_cast<unsigned char>(s_[pos_])))
        ++pos_;
      return make(SqlTokenKind::Word, start, upper(s_.substr(start, pos_ - start)));
    }
    if (c == '\'' || c == '"' || c == '`') {
      std::string text;
      quoted(text, error);
      return make(c == '`' ? SqlTokenKind::QuotedName : SqlTokenKind::String, start, text);
    }
    if (c == '@') {
      ++pos_;
      if (pos_ < s_.size() && s_[pos_] == '@') {
        ++pos_;
        std::string name;
        while (pos_ < s_.size() && (nameChar(static_cast<unsigned char>(s_[pos_])) ||
                                    s_[pos_] == '.' || s_[pos_] == '`'))
          name += s_[pos_++];
        return make(SqlTokenKind::SystemVariable, start, upper(name));
      }
      if (pos_ < s_.size() && (s_[pos_] == '\'' || s_[pos_] == '"' || s_[pos_] == '`')) {
        std::string name;
        quoted(name, error);
        return make(SqlTokenKind::Variable, start, upper(name));
      }
      std::size_t nameStart = pos_;
      while (pos_ < s_.size() &&
             (nameChar(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '.'))
        ++pos_;
      if (pos_ > nameStart)
        return make(SqlTokenKind::Variable, start, upper(s_.substr(nameStart, pos_ - nameStart)));
      return make(SqlTokenKind::Symbol, start, "@");
    }
    ++pos_;
    if (c == ':' && pos_ < s_.size() && s_[pos_] == '=') {
      ++pos_;
      return make(SqlTokenKind::Symbol, start, ":=");
    }
    return make(SqlTokenKind::Symbol, start, std::string(1, c));
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  bool versioned_ = false;  // inside /*! ... */
};

SqlVerdict refuse(std::string reason) {
  SqlVerdict v;
  v.reason = std::move(reason);
  return v;
}

bool isWord(const SqlToken& t, std::string_view w) {
  return t.kind == SqlTokenKind::Word && t.text == w;
}

bool isSymbol(const SqlToken& t, std::string_view s) {
  return t.kind == SqlTokenKind::Symbol && t.text == s;
}

bool isName(const SqlToken& t, std::string_view name) {
  return (t.kind == SqlTokenKind::Word || t.kind == SqlTokenKind::QuotedName) &&
         upper(t.text) == name;
}

constexpr std::string_view kOnlyRows =
    "只允许执行一条 SELECT、INSERT、UPDATE、DELETE 或 REPLACE 语句";

// Words that have no place in a row statement of the client: file access, locks, procedures.
constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kForbiddenWords{{
    {"OUTFILE", "不允许把查询结果写入文件"},
    {"DUMPFILE", "不允许把查询结果写入文件"},
    {"LOAD_FILE", "不允许读取服务器上的文件"},
    {"LOCK", "不允许加锁的查询（LOCK IN SHARE MODE、LOCK TABLES）"},
    {"PROCEDURE", "不允许调用过程"},
    {"GET_LOCK", "不允许使用命名锁"},
}};

// Views of the server's settings and state (paths, sockets among them).
constexpr std::array<std::string_view, 6> kServerViews{{"GLOBAL_VARIABLES", "SESSION_VARIABLES",
                                                        "SYSTEM_VARIABLES", "GLOBAL_STATUS",
                                                        "SESSION_STATUS", "PERFORMANCE_SCHEMA"}};

// Functions of a SELECT that set state of the session (insert id, sequences' last values).
constexpr std::array<std::string_view, 4> kSessionFunctions{
    {"LAST_INSERT_ID", "NEXTVAL", "SETVAL", "NEXT"}};

}  // namespace

SqlTokens tokenizeSql(std::string_view sql) {
  return Lexer(sql).run();
}

SqlVerdict classifyClientSql(std::string_view sql) {
  SqlTokens lexed = tokenizeSql(sql);
  if (!lexed.error.empty()) return refuse("语句无法识别：" + lexed.error);
  std::vector<SqlToken>& t = lexed.tokens;
  while (!t.empty() && isSymbol(t.back(), ";"))
    t.pop_back();
  if (t.empty()) return refuse("语句为空");
  if (std::any_of(t.begin(), t.end(), [](const SqlToken& k) { return isSymbol(k, ";"); }))
    return refuse("一次只能执行一条语句");

  std::size_t lead = 0;
  while (lead < t.size() && isSymbol(t[lead], "("))
    ++lead;
  if (lead >= t.size() || t[lead].kind != SqlTokenKind::Word) return refuse(std::string(kOnlyRows));
  const std::string& first = t[lead].text;
  SqlVerdict v;
  if (first == "SELECT" || first == "WITH")
    v.kind = SqlKind::Select;
  else if (lead == 0 && first == "INSERT")
    v.kind = SqlKind::Insert;
  else if (lead == 0 && first == "UPDATE")
    v.kind = SqlKind::Update;
  else if (lead == 0 && first == "DELETE")
    v.kind = SqlKind::Delete;
  else if (lead == 0 && first == "REPLACE")
    v.kind = SqlKind::Replace;
  else
    return refuse(std::string(kOnlyRows) + "，不允许 " + first);

  bool seenInto = false;
  bool seenSelect = false;
  bool touchesSession = false;
  for (std::size_t i = 0; i < t.size(); ++i) {
    const SqlToken& k = t[i];
    switch (k.kind) {
      case SqlTokenKind::Variable:
        // Internal: the triggers and the service coordinate through them.
        if (k.text.rfind("VLT_", 0) == 0) return refuse("语句中不能使用保留的变量名 @vlt_");
        touchesSession = true;
        break;
      case SqlTokenKind::SystemVariable:
        return refuse("不允许读取服务器变量");
      case SqlTokenKind::Symbol:
        if (k.text == "@") return refuse("语句中的变量名无效");
        break;
      case SqlTokenKind::QuotedName:
      case SqlTokenKind::Word:
        for (std::string_view view : kServerViews)
          if (isName(k, view)) return refuse("不允许读取服务器的设置和状态");
        if (k.kind == SqlTokenKind::QuotedName) break;
        for (const auto& [word, reason] : kForbiddenWords)
          if (k.text == word) return refuse(std::string(reason));
        if (k.text == "FOR" && i + 1 < t.size() && isWord(t[i + 1], "UPDATE"))
          return refuse("不允许加锁的查询（FOR UPDATE）");
        if (k.text == "SELECT") seenSelect = true;
        for (std::string_view name : kSessionFunctions)
          if (k.text == name) touchesSession = true;
        if (k.text == "INTO") {
          // INSERT INTO / REPLACE INTO name the table; any other INTO writes a file or variables.
          bool names =
              (v.kind == SqlKind::Insert || v.kind == SqlKind::Replace) && !seenInto && !seenSelect;
          if (!names) return refuse("不允许 SELECT ... INTO（写入文件或变量）");
          seenInto = true;
        }
        break;
      case SqlTokenKind::String:
        break;
    }
  }
  // The statement runs without what follows its last token. Two dashes at its end would then
  // start a comment; one is a syntax error anyway.
  const SqlToken& last = t.back();
  if (isSymbol(last, "-")) return refuse("语句不完整");
  v.allowed = true;
  v.readsOnly = v.kind == SqlKind::Select && !touchesSession;
  v.statement = std::string(sql.substr(0, last.offset + last.length));
  if (last.inVersionedComment) v.statement += " */";
  return v;
}

}  // namespace vlt::server

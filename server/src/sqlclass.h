#pragma once
// What client SQL may be. The client sends statement text; the service runs it only when it is
// one plain row statement (SELECT, INSERT, UPDATE, DELETE, REPLACE) that can neither change the
// session or the account, nor read files or server settings. The text is read with a tokenizer
// that follows the server's own reading (comments, quotes, versioned comments), so that no
// spelling hides a statement from the check.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vlt::server {

enum class SqlTokenKind {
  Word,            // keyword or plain identifier, digits included (`10001_01`, `1`)
  QuotedName,      // `name`
  String,          // 'text' or "text"
  Variable,        // @name, @'name', @`name`
  SystemVariable,  // @@name, @@session.name
  Symbol,          // punctuation, one character (":=" is two)
};

struct SqlToken {
  SqlTokenKind kind;
  std::size_t offset;  // where the token starts in the text
  std::size_t length;
  std::string text;  // words upper-cased; names and strings without quotes; variables' names
  bool inVersionedComment = false;
};

struct SqlTokens {
  std::vector<SqlToken> tokens;
  std::string error;  // not empty when the text cannot be read whole
};

// Splits statement text as MariaDB reads it with NO_BACKSLASH_ESCAPES: comments (#, "-- ",
// /* */) dropped, the contents of versioned comments (/*! */, /*M! */) kept as code.
SqlTokens tokenizeSql(std::string_view sql);

enum class SqlKind { Select, Insert, Update, Delete, Replace };

struct SqlVerdict {
  bool allowed = false;
  SqlKind kind = SqlKind::Select;
  std::string reason;     // why it is refused, in the user's language
  std::string statement;  // the statement without trailing semicolons and comments
  // A SELECT that leaves nothing in its session: no user variables, no sequence or insert-id
  // state (see SessionUse).
  bool readsOnly = false;
};

// Whether a client may run this text. Allowed: exactly one SELECT (also opened by parentheses,
// "(SELECT ...) UNION (...)", or by WITH), INSERT, UPDATE, DELETE or REPLACE. Refused: every other
// statement (SET, LOAD, CALL, EXECUTE, PREPARE, LOCK, HANDLER, transaction control, GRANT, DDL,
// ...), more than one statement, locking reads, INTO (files, variables), the internal session
// variables @vlt_..., server variables, and texts with an unterminated quote or comment.
SqlVerdict classifyClientSql(std::string_view sql);

}  // namespace vlt::server

#include "billcode.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "resolver.h"
#include "vlt/sqltext.h"

namespace vlt::server {

namespace {

bool digits(const std::string& s, std::size_t from, std::size_t count) {
  if (s.size() < from + count) return false;
  return std::all_of(s.begin() + static_cast<std::ptrdiff_t>(from),
                     s.begin() + static_cast<std::ptrdiff_t>(from + count),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

std::string nextBillCode(Connection& db, const std::string& table, const std::string& head,
                         bool locking) {
  auto max = db.scalar("SELECT MAX(BCode) FROM " + quoteIdentifier(table) + " WHERE BCode LIKE " +
                       quotedStr(head + "____") + " AND CHAR_LENGTH(BCode) = " +
                       std::to_string(head.size() + 4) + (locking ? " FOR UPDATE" : ""));
  int next = 1;
  if (max && digits(*max, head.size(), 4)) next = std::stoi(max->substr(head.size())) + 1;
  if (next > 9999) throw SaveRefused("当日单据编号已用完：" + head);
  char seq[16];
  std::snprintf(seq, sizeof seq, "%04d", next);
  return head + seq;
}

std::optional<std::string> billCodeHead(const std::string& code) {
  if (code.size() < 13 || code.size() > 16) return std::nullopt;
  const std::size_t prefix = code.size() - 12;
  for (std::size_t i = 0; i < prefix; ++i)
    if (!std::isalnum(static_cast<unsigned char>(code[i]))) return std::nullopt;
  if (!digits(code, prefix, 12)) return std::nullopt;
  return code.substr(0, code.size() - 4);
}

bool isDuplicateBillCode(const DbError& e) {
  if (e.code() != 1062) return false;
  std::string text = e.what();
  std::transform(text.begin(), text.end(), text.begin(), [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
  return text.find("_bcode'") != std::string::npos;
}

}  // namespace vlt::server

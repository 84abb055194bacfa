#pragma once
// Bill codes: prefix + yyyyMMdd + a 4-digit sequence, unique per bill table. The client asks for
// the next free code just before it saves, so two clerks saving the same kind of bill on the
// same day can both be given one code; the save then takes the next free code itself.

#include <optional>
#include <string>

#include "db.h"

namespace vlt::server {

// The next free code of `head` (prefix + yyyyMMdd) in `table`. With `locking` the codes are read
// with a lock, so that codes other saves committed meanwhile are seen and a parallel save of the
// same head waits. Throws SaveRefused when the day's 9999 codes are used up.
std::string nextBillCode(Connection& db, const std::string& table, const std::string& head,
                         bool locking = false);

// The head of a code of the usual form (letters or digits, 8 date digits, 4 sequence digits),
// nothing for a code of another form.
std::optional<std::string> billCodeHead(const std::string& code);

// Whether a database error is a duplicate of a bill table's code (its unique key "..._bcode").
bool isDuplicateBillCode(const DbError& e);

}  // namespace vlt::server

#include "auth.h"

#include <sodium.h>

#include <cctype>
#include <semaphore>
#include <stdexcept>

#include "vlt/sqltext.h"

namespace vlt::server {

namespace {

void initSodium() {
  static const bool ready = sodium_init() >= 0;
  if (!ready) throw Error("The cryptography library could not start");
}

std::string hex(const unsigned char* data, std::size_t n) {
  std::string out(n * 2, '0');
  sodium_bin2hex(out.data(), out.size() + 1, data, n);
  return out;
}

// Login IDs in their one written form: digits without a leading zero ("010001" is not 10001,
// so it cannot open a second throttle count for the same user).
bool digitsOnly(const std::string& s) {
  if (s.empty() || s.size() > 18 || s[0] == '0') return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// A hash of a password nobody has, verified for unknown login IDs so that they cost the same.
const std::string& decoyHash(bool fast) {
  static const std::string slow = hashPassword("decoy password", false);
  static const std::string quick = hashPassword("decoy password", true);
  return fast ? quick : slow;
}

std::string sqlSeconds(std::chrono::seconds s) {
  return std::to_string(s.count());
}

// Argon2id takes 64 MiB a time: sign-ins and new passwords at once take turns beyond a few.
std::counting_semaphore<> hashingSlots(4);

template <typename F>
auto hashing(F&& f) {
  hashingSlots.acquire();
  struct Release {
    ~Release() { hashingSlots.release(); }
  } release;
  return f();
}

// A pair that signed in is known for this long.
constexpr const char* kKnownFor = "90 DAY";

}  // namespace

std::string hashPassword(const std::string& password, bool fast) {
  initSodium();
  char out[crypto_pwhash_STRBYTES];
  unsigned long long ops = fast ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE;
  std::size_t mem = fast ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE;
  if (crypto_pwhash_str_alg(out, password.data(), password.size(), ops, mem,
                            crypto_pwhash_ALG_ARGON2ID13) != 0)
    throw Error("Hashing the password failed (out of memory)");
  return out;
}

bool verifyPassword(const std::string& hash, const std::string& password) {
  initSodium();
  return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::string randomToken() {
  initSodium();
  unsigned char buf[32];
  randombytes_buf(buf, sizeof buf);
  return hex(buf, sizeof buf);
}

std::string tokenDigest(const std::string& token) {
  initSodium();
  unsigned char out[32];
  crypto_generichash(out, sizeof out, reinterpret_cast<const unsigned char*>(token.data()),
                     token.size(), nullptr, 0);
  return hex(out, sizeof out);
}

AuthStore::AuthStore(ConnectionPool& pool, AuthSettings settings)
    : pool_(pool), settings_(std::move(settings)) {
  decoyHash(settings_.fastHashing);
}

long long AuthStore::countAttempt(Connection& db, const char* scope, const std::string& key) {
  const std::string fresh = "WindowStart > UTC_TIMESTAMP() - INTERVAL " +
                            sqlSeconds(settings_.throttleWindow) + " SECOND";
  // One statement counts and hands back the count (LAST_INSERT_ID of the connection); a new
  // window opens when the last one ran out.
  db.execute(std::string("INSERT INTO auth_throttle (Scope, ScopeKey, WindowStart, Failures, "
                         "LastFailureAt) VALUES ('") +
             scope + "', " + key +
             ", UTC_TIMESTAMP(), LAST_INSERT_ID(1), UTC_TIMESTAMP()) ON DUPLICATE KEY UPDATE "
             "Failures = LAST_INSERT_ID(IF(" +
             fresh + ", Failures + 1, 1)), WindowStart = IF(" + fresh +
             ", WindowStart, UTC_TIMESTAMP()), LastFailureAt = UTC_TIMESTAMP()");
  auto n = db.scalar("SELECT LAST_INSERT_ID()");
  return n ? std::stoll(*n) : 0;
}

std::optional<SessionInfo> AuthStore::login(const std::string& userId, const std::string& password,
                                            const std::string& clientAddress) {
  Lease db = pool_.acquire(settings_.admin.user, settings_.admin.password, settings_.database);
  const std::string id = userId.substr(0, 18);
  const std::string address = clientAddress.substr(0, 45);
  const std::string idKey = quotedStr(id);
  const std::string addrKey = quotedStr(address);
  const std::string pairKey = quotedStr(address + "|" + id);
  // Counted as a failure before the password is checked (and taken back when it is right).
  const long long pair = countAttempt(*db, "pair", pairKey);
  const long long fromAddress = countAttempt(*db, "addr", addrKey);
  const long long forId = countAttempt(*db, "login", idKey);
  const bool known =
      db->scalar("SELECT 1 FROM auth_throttle WHERE Scope='known' AND ScopeKey=" + pairKey +
                 " AND WindowStart > UTC_TIMESTAMP() - INTERVAL " + kKnownFor)
          .has_value();
  if (pair > settings_.maxFailuresPerPair || fromAddress > settings_.maxFailuresPerAddress ||
      (!known && forId > settings_.maxFailuresPerLogin))
    throw LoginThrottled("登录失败次数过多，请稍后再试！");

  std::optional<std::string> hash;
  if (digitsOnly(userId))
    hash = db->scalar("SELECT PwHash FROM auth_user WHERE Disabled=0 AND LoginID=" + userId);
  const std::string& checked = hash ? *hash : decoyHash(settings_.fastHashing);
  bool ok = hashing([&] { return verifyPassword(checked, password); }) && hash;
  if (!ok) return std::nullopt;
  db->execute("DELETE FROM auth_throttle WHERE Scope='pair' AND ScopeKey=" + pairKey);
  db->execute(
      "UPDATE auth_throttle SET Failures = GREATEST(Failures, 1) - 1 WHERE (Scope='addr' "
      "AND ScopeKey=" +
      addrKey + ") OR (Scope='login' AND ScopeKey=" + idKey + ")");
  db->execute(
      "INSERT INTO auth_throttle (Scope, ScopeKey, WindowStart, Failures, LastFailureAt) VALUES "
      "('known', " +
      pairKey +
      ", UTC_TIMESTAMP(), 0, UTC_TIMESTAMP()) ON DUPLICATE KEY UPDATE WindowStart = "
      "UTC_TIMESTAMP()");
  SessionInfo s;
  s.userId = userId;
  s.token = randomToken();
  s.expires = std::chrono::system_clock::now() + settings_.sessionLifetime;
  db->execute(
      "INSERT INTO auth_session (TokenHash, LoginID, ExpiresAt, ClientAddr) VALUES "
      "(UNHEX('" +
      tokenDigest(s.token) + "'), " + userId + ", UTC_TIMESTAMP() + INTERVAL " +
      std::to_string(
          std::chrono::duration_cast<std::chrono::seconds>(settings_.sessionLifetime).count()) +
      " SECOND, " + addrKey + ")");
  return s;
}

std::optional<SessionInfo> AuthStore::session(const std::string& token) {
  if (token.size() != 64) return std::nullopt;
  for (char c : token)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
  const std::string digest = tokenDigest(token);
  const auto now = std::chrono::steady_clock::now();
  {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    auto it = sessions_.find(digest);
    if (it != sessions_.end() && now - it->second.checkedAt < settings_.sessionCacheTime)
      return it->second.info;
  }
  Lease db = pool_.acquire(settings_.admin.user, settings_.admin.password, settings_.database);
  std::string where = "TokenHash = UNHEX('" + digest + "') AND ExpiresAt > UTC_TIMESTAMP()";
  auto user = db->scalar(
      "SELECT s.LoginID FROM auth_session s JOIN auth_user u ON "
      "u.LoginID = s.LoginID AND u.Disabled = 0 WHERE " +
      where);
  if (!user) {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    sessions_.erase(digest);
    return std::nullopt;
  }
  // Sliding expiry: each check extends the session.
  const auto lifetime =
      std::chrono::duration_cast<std::chrono::seconds>(settings_.sessionLifetime).count();
  db->execute(
      "UPDATE auth_session SET LastSeenAt = UTC_TIMESTAMP(), ExpiresAt = "
      "UTC_TIMESTAMP() + INTERVAL " +
      std::to_string(lifetime) + " SECOND WHERE " + where);
  SessionInfo s;
  s.userId = *user;
  s.expires = std::chrono::system_clock::now() + settings_.sessionLifetime;
  std::lock_guard<std::mutex> lock(cacheMutex_);
  if (sessions_.size() > 100000) sessions_.clear();  // bounded: stale entries only cost a query
  sessions_[digest] = CachedSession{s, now};
  return s;
}

void AuthStore::logout(const std::string& token) {
  {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    sessions_.erase(tokenDigest(token));
  }
  Lease db = pool_.acquire(settings_.admin.user, settings_.admin.password, settings_.database);
  db->execute("DELETE FROM auth_session WHERE TokenHash = UNHEX('" + tokenDigest(token) + "')");
}

void AuthStore::setPassword(const std::string& userId, const std::string& password) {
  if (!digitsOnly(userId)) throw Error("登录ID必须是数字");
  std::string hash = hashing([&] { return hashPassword(password, settings_.fastHashing); });
  Lease db = pool_.acquire(settings_.admin.user, settings_.admin.password, settings_.database);
  db->execute("INSERT INTO auth_user (LoginID, PwHash) VALUES (" + userId + ", " + quotedStr(hash) +
              ") ON DUPLICATE KEY UPDATE PwHash = VALUES(PwHash), "
              "PwChangedAt = UTC_TIMESTAMP()");
  // Sessions opened with the old password end with it.
  db->execute("DELETE FROM auth_session WHERE LoginID = " + userId);
  std::lock_guard<std::mutex> lock(cacheMutex_);
  for (auto it = sessions_.begin(); it != sessions_.end();)
    it = it->second.info.userId == userId ? sessions_.erase(it) : std::next(it);
}

std::string AuthStore::newLoginId() {
  Lease db = pool_.acquire(settings_.admin.user, settings_.admin.password, settings_.database);
  auto id = db->scalar("SELECT NEXTVAL(auth_loginid_seq)");
  if (!id) throw Error("No login ID left");
  return *id;
}

std::string AuthStore::databasePassword(const std::string& account) {
  {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    auto it = dbPasswords_.find(account);
    if (it != dbPasswords_.end()) return it->second;
  }
  Lease db = pool_.acquire(settings_.admin.user, settings_.admin.password, settings_.database);
  // INSERT IGNORE keeps the first password when two services make it at once.
  db->execute("INSERT IGNORE INTO auth_dbaccount VALUES (" + quotedStr(account) + ", " +
              quotedStr(randomToken()) + ")");
  auto pw = db->scalar("SELECT Password FROM auth_dbaccount WHERE Account = " + quotedStr(account));
  if (!pw) throw Error("No password for database account " + account);
  std::lock_guard<std::mutex> lock(cacheMutex_);
  dbPasswords_[account] = *pw;
  return *pw;
}

}  // namespace vlt::server

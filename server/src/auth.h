#pragma once
// Identity: password hashes, sessions and login throttling, kept in the auth database that no
// SQL sent by a client can reach.

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "pool.h"

namespace vlt::server {

struct AuthSettings {
  std::string database;  // the auth database
  DbEndpoint admin;      // an account that may read and write it
  std::chrono::hours sessionLifetime{12};
  // Failed sign-ins within the throttle window after which sign-in is refused (429): for one
  // login ID from one client address, from one address, and for one login ID from addresses
  // that never signed in to it (so that failures of others cannot lock its owner out).
  int maxFailuresPerPair = 5;
  int maxFailuresPerAddress = 30;
  int maxFailuresPerLogin = 20;
  std::chrono::minutes throttleWindow{15};
  // A session found in the store is trusted this long without asking again (sign-out on this
  // service ends it at once; on another instance of the service within this time).
  std::chrono::seconds sessionCacheTime{1};
  bool fastHashing = false;  // tests only: the smallest Argon2id cost libsodium allows
};

struct SessionInfo {
  std::string userId;
  std::string token;  // only set by login()
  std::chrono::system_clock::time_point expires;
};

// Too many failed sign-ins for the login ID or the client address.
class LoginThrottled : public Error {
 public:
  using Error::Error;
};

class AuthStore {
 public:
  AuthStore(ConnectionPool& pool, AuthSettings settings);

  // Checks the password. Unknown IDs take the same time and give the same answer as a wrong
  // password. Throws LoginThrottled after too many failures (see AuthSettings); attempts are
  // counted before their password is checked, so attempts sent at once cannot pass the limit.
  std::optional<SessionInfo> login(const std::string& userId, const std::string& password,
                                   const std::string& clientAddress);
  // The session of a token that is known and not expired (extending it), or nothing.
  std::optional<SessionInfo> session(const std::string& token);
  void logout(const std::string& token);

  // Stores a new password hash for the login ID (creating or replacing it).
  void setPassword(const std::string& userId, const std::string& password);
  // The next free numeric login ID.
  std::string newLoginId();
  // The password of a database account the service created (made and kept on first use).
  std::string databasePassword(const std::string& account);

 private:
  // Counts one attempt in a throttle scope; returns the count of the current window.
  long long countAttempt(Connection& db, const char* scope, const std::string& key);

  ConnectionPool& pool_;
  AuthSettings settings_;
  std::mutex cacheMutex_;
  std::map<std::string, std::string> dbPasswords_;
  struct CachedSession {
    SessionInfo info;
    std::chrono::steady_clock::time_point checkedAt;
  };
  std::map<std::string, CachedSession> sessions_;  // by token digest
};

// Argon2id password hashing (libsodium). Throws vlt::Error when hashing fails.
std::string hashPassword(const std::string& password, bool fast);
bool verifyPassword(const std::string& hash, const std::string& password);
// 32 random bytes as 64 hex characters.
std::string randomToken();
// The token as stored: a BLAKE2b-256 digest in hex.
std::string tokenDigest(const std::string& token);

}  // namespace vlt::server

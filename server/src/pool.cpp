#include "pool.h"

namespace vlt::server {

Lease::~Lease() {
  if (conn_ && pool_) pool_->release(key_, std::move(conn_));
}

Lease ConnectionPool::acquire(const std::string& user, const std::string& password,
                              const std::string& database, const SessionSettings& given) {
  SessionSettings session = given;
  session.causalReads = session.causalReads || causalReads_;
  std::string key = user + '\n' + database;
  for (;;) {
    std::unique_ptr<Connection> c;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = idle_.find(key);
      if (it == idle_.end() || it->second.empty()) break;
      c = std::move(it->second.back());
      it->second.pop_back();
      --idleCount_;
    }
    try {
      c->reset(session);
      return Lease(this, key, std::move(c));
    } catch (const DbError&) {
      // Gone (killed, timed out, server restarted): dropped; the next one or a new one serves.
    }
  }
  DbEndpoint e = server_;
  e.user = user;
  e.password = password;
  e.database = database;
  return Lease(this, key, Connection::open(e, session));
}

void ConnectionPool::release(const std::string& key, std::unique_ptr<Connection> c) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto& list = idle_[key];
  if (list.size() < maxIdle_ && idleCount_ < maxIdleTotal_) {
    list.push_back(std::move(c));
    ++idleCount_;
  }
}

void ConnectionPool::forget(const std::string& database) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = idle_.begin(); it != idle_.end();) {
    if (database.empty() || it->first.substr(it->first.find('\n') + 1) == database) {
      idleCount_ -= it->second.size();
      it = idle_.erase(it);
    } else
      ++it;
  }
}

}  // namespace vlt::server

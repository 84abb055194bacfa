#include "vlt/servermethods.h"

#include <httplib.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <nlohmann/json.hpp>
#include <string_view>

#include "vlt/json.h"
#include "vlt/socketaddress.h"

namespace vlt {

namespace {

using Json = nlohmann::json;

// Builds a request body member by member; packets and deltas go in as our codec writes them.
class Body {
 public:
  Body& text(const char* name, const std::string& value) {
    member(name);
    appendJsonString(out_, value);
    return *this;
  }
  Body& delta(const char* name, const Delta& d) {
    member(name);
    appendDelta(out_, d);
    return *this;
  }
  std::string str() const { return out_ + "}"; }

 private:
  void member(const char* name) {
    out_ += out_.size() > 1 ? "," : "";
    appendJsonString(out_, name);
    out_ += ':';
  }
  std::string out_ = "{";
};

Json parse(const std::string& body) {
  try {
    return Json::parse(body);
  } catch (const Json::exception& e) {
    throw RemoteError(0, std::string("The data service answered malformed data: ") + e.what());
  }
}

std::string member(const std::string& body, const char* name) {
  Json j = parse(body);
  auto it = j.find(name);
  if (it == j.end() || !it->is_string())
    throw RemoteError(0, std::string("The data service's answer has no ") + name);
  return it->get<std::string>();
}

const std::string kPacketHead = "{\"packet\":";

// {"packet": X} without parsing X twice: our own writer puts the packet right after the key.
std::optional<Packet> packetOf(const std::string& body) {
  const std::string& head = kPacketHead;
  if (body.size() <= head.size() || body.compare(0, head.size(), head) != 0 || body.back() != '}')
    throw RemoteError(0, "The data service's answer has no packet");
  std::string_view inner(body.data() + head.size(), body.size() - head.size() - 1);
  if (inner == "null") return std::nullopt;
  return decodePacket(inner);
}

// Throws the RemoteError of an answer that reports a failure: a status other than 200, or
// {"error": ...}. A 401 also ends the session.
void checkAnswer(int status, const std::string& body, std::string& token) {
  if (status == 200 && body.rfind("{\"error\":", 0) != 0) return;
  std::string message = "HTTP " + std::to_string(status);
  try {
    Json j = Json::parse(body);
    if (j.contains("error") && j["error"].is_string()) message = j["error"];
  } catch (const Json::exception&) {
    // Not our answer (a proxy's error page): keep the status line.
  }
  if (status == 401) token.clear();
  throw RemoteError(status, message);
}

// What followed a streamed packet: the answer's closing brace, or a failure the service met
// after the first rows had gone out.
void checkPacketEnd(std::string_view rest) {
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\n' || rest.front() == '\r' ||
                           rest.front() == '\t'))
    rest.remove_prefix(1);
  if (rest == "}") return;
  if (rest.empty() || rest.back() != '}')
    throw RemoteError(0, "The data service's answer has no packet");
  if (rest.front() == ',') {
    Json j = parse("{" + std::string(rest.substr(1)));
    auto it = j.find("error");
    if (it != j.end() && it->is_string()) throw RemoteError(200, it->get<std::string>());
  }
  throw RemoteError(0, "The data service answered malformed data after the packet");
}

// One request's view of a plain connection: what the request writes is gathered and leaves in
// one send when the answer is first read. The library writes a request's head and its body
// apart, and the service then woke once for the head and again for the body.
class GatheringStream : public httplib::Stream {
 public:
  GatheringStream(int fd, int readMs, int writeMs) : fd_(fd), readMs_(readMs), writeMs_(writeMs) {}

  bool is_readable() const override { return pos_ < got_ || (flush() && waitFor(POLLIN, readMs_)); }
  bool is_writable() const override { return waitFor(POLLOUT, writeMs_); }

  ssize_t read(char* ptr, size_t size) override {
    if (pos_ >= got_) {
      if (!is_readable()) return -1;
      ssize_t n;
      do {
        n = ::recv(fd_, in_, sizeof in_, 0);
      } while (n < 0 && errno == EINTR);
      if (n <= 0) return n;
      pos_ = 0;
      got_ = static_cast<std::size_t>(n);
    }
    const std::size_t n = std::min(size, got_ - pos_);
    std::memcpy(ptr, in_ + pos_, n);
    pos_ += n;
    return static_cast<ssize_t>(n);
  }

  using httplib::Stream::write;
  ssize_t write(const char* ptr, size_t size) override {
    out_.append(ptr, size);
    if (out_.size() >= kGather && !flush()) return -1;
    return static_cast<ssize_t>(size);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    SocketAddress(fd_, true, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    SocketAddress(fd_, false, ip, port);
  }
  socket_t socket() const override { return fd_; }

  // Sends what was gathered; false if the connection failed.
  bool flush() const {
    std::string_view rest = out_;
    while (!rest.empty()) {
      if (!waitFor(POLLOUT, writeMs_)) return false;
      const ssize_t n = ::send(fd_, rest.data(), rest.size(), MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      rest.remove_prefix(static_cast<std::size_t>(n));
    }
    out_.clear();
    return true;
  }

 private:
  static constexpr std::size_t kGather = 64 * 1024;

  bool waitFor(short events, int ms) const {
    pollfd p{fd_, events, 0};
    for (;;) {
      const int n = ::poll(&p, 1, ms);
      if (n < 0 && errno == EINTR) continue;
      return n > 0;
    }
  }

  int fd_;
  int readMs_;
  int writeMs_;
  mutable std::string out_;
  char in_[16 * 1024];
  std::size_t pos_ = 0;
  std::size_t got_ = 0;
};

// Plain HTTP through GatheringStream.
class GatheringClient : public httplib::ClientImpl {
 public:
  using httplib::ClientImpl::ClientImpl;

 protected:
  bool process_socket(const Socket& socket,
                      std::function<bool(httplib::Stream&)> callback) override {
    GatheringStream stream(
        socket.sock, static_cast<int>(read_timeout_sec_ * 1000 + read_timeout_usec_ / 1000),
        static_cast<int>(write_timeout_sec_ * 1000 + write_timeout_usec_ / 1000));
    return callback(stream) && stream.flush();
  }
};

// The client for a service address: "http://host:port" (or without scheme) gathers each request
// into one send; "https://" goes through the library's TLS client.
std::unique_ptr<httplib::ClientImpl> clientFor(const std::string& url) {
  std::string_view rest = url;
  bool tls = false;
  if (rest.starts_with("https://")) {
    tls = true;
    rest.remove_prefix(8);
  } else if (rest.starts_with("http://")) {
    rest.remove_prefix(7);
  }
  rest = rest.substr(0, rest.find('/'));
  std::string host;
  int port = tls ? 443 : 80;
  std::size_t colon = std::string_view::npos;
  if (rest.starts_with("[")) {
    const std::size_t close = rest.find(']');
    host = std::string(rest.substr(1, close == std::string_view::npos ? close : close - 1));
    if (close != std::string_view::npos && close + 1 < rest.size() && rest[close + 1] == ':')
      colon = close + 1;
  } else {
    colon = rest.rfind(':');
    host = std::string(rest.substr(0, colon));
  }
  if (colon != std::string_view::npos)
    port = std::atoi(std::string(rest.substr(colon + 1)).c_str());
  if (tls) return std::make_unique<httplib::SSLClient>(host, port);
  return std::make_unique<GatheringClient>(host, port);
}

}  // namespace

struct TServerMethodsClient::Impl {
  explicit Impl(const std::string& baseUrl) : url(baseUrl), client(clientFor(baseUrl)) {
    client->set_keep_alive(true);
    client->set_tcp_nodelay(true);
    client->set_connection_timeout(10);
    client->set_read_timeout(300);
    client->set_write_timeout(60);
  }
  [[noreturn]] void unreachable(httplib::Error error) const {
    // The message keeps the words the client's exception handler looks for.
    if (error == httplib::Error::Connection)
      throw RemoteError(0, "Connection refused: the data service at " + url + " cannot be reached");
    throw RemoteError(
        0, "The data service at " + url + " did not answer: " + httplib::to_string(error));
  }

  // A call answered with {"packet": ...}: the packet is decoded while it arrives, so that
  // decoding overlaps the service's reading and sending of a large result. Any other answer
  // is read whole and treated as call() treats it.
  // With a sink, the packet goes to it (a null packet as an empty one) and nothing is returned.
  std::optional<Packet> packetCall(std::string& token, const std::string& operation,
                                   const std::string& body, PacketSink* sink = nullptr) {
    httplib::Request req;
    req.method = "POST";
    req.path = "/api/" + operation;
    if (!token.empty()) req.headers.emplace("Authorization", "Bearer " + token);
    req.headers.emplace("Content-Type", "application/json; charset=utf-8");
    req.body = body;
    int status = 0;
    bool decided = false, streaming = false;
    std::string raw;
    PacketReader reader = sink ? PacketReader(*sink) : PacketReader();
    std::exception_ptr failure;
    req.response_handler = [&](const httplib::Response& r) {
      status = r.status;
      return true;
    };
    req.content_receiver = [&](const char* data, std::size_t size, std::uint64_t, std::uint64_t) {
      try {
        if (streaming) {
          reader.feed(std::string_view(data, size));
          return true;
        }
        raw.append(data, size);
        if (!decided && raw.size() > kPacketHead.size()) {
          decided = true;
          if (status == 200 && raw.compare(0, kPacketHead.size(), kPacketHead) == 0 &&
              raw[kPacketHead.size()] == '{') {
            streaming = true;
            reader.feed(std::string_view(raw).substr(kPacketHead.size()));
            raw.clear();
          }
        }
        return true;
      } catch (...) {
        failure = std::current_exception();
        return false;
      }
    };
    httplib::Response res;
    httplib::Error error = httplib::Error::Success;
    const bool answered = client->send(req, res, error);
    if (failure) std::rethrow_exception(failure);
    // A stream cut short ends here too: nothing of it is returned.
    if (!answered) unreachable(error);
    if (!streaming) {
      checkAnswer(status, raw, token);
      std::optional<Packet> p = packetOf(raw);
      if (!sink) return p;
      sink->take(p ? std::move(*p) : Packet{});
      return std::nullopt;
    }
    std::string rest;
    Packet p = reader.finish(&rest);
    checkPacketEnd(rest);
    if (sink) return std::nullopt;
    return p;
  }

  std::string url;
  std::unique_ptr<httplib::ClientImpl> client;
};

TServerMethodsClient::TServerMethodsClient(const std::string& baseUrl)
    : impl_(std::make_unique<Impl>(baseUrl)) {}

TServerMethodsClient::~TServerMethodsClient() = default;

std::string TServerMethodsClient::call(const std::string& operation, const std::string& body) {
  std::lock_guard<std::mutex> lock(mutex_);
  httplib::Headers headers;
  if (!token_.empty()) headers.emplace("Authorization", "Bearer " + token_);
  auto res = impl_->client->Post(("/api/" + operation).c_str(), headers, body,
                                 "application/json; charset=utf-8");
  if (!res) impl_->unreachable(res.error());
  checkAnswer(res->status, res->body, token_);
  return std::move(res->body);
}

TServerMethodsClient& TServerMethodsClient::aside() {
  std::string token;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    token = token_;
  }
  std::lock_guard<std::mutex> lock(asideMutex_);
  if (!aside_) aside_ = std::make_unique<TServerMethodsClient>(impl_->url);
  std::lock_guard<std::mutex> asideLock(aside_->mutex_);
  aside_->token_ = token;  // the session as it is now: signed in again, or out
  return *aside_;
}

std::future<Packet> TServerMethodsClient::GetUserDBDataBySqlAside(const std::string& userDbId,
                                                                  const std::string& sql) {
  return std::async(std::launch::async, [&client = aside(), userDbId, sql] {
    return client.GetUserDBDataBySql(userDbId, sql);
  });
}

std::future<Packet> TServerMethodsClient::GetSysMainDBDataBySqlAside(const std::string& userId,
                                                                     const std::string& sql) {
  return std::async(std::launch::async, [&client = aside(), userId, sql] {
    return client.GetSysMainDBDataBySql(userId, sql);
  });
}

bool TServerMethodsClient::CheckLoginUser(const std::string& userId, const std::string& password) {
  Json j =
      parse(call("CheckLoginUser", Body().text("UserID", userId).text("Password", password).str()));
  if (!j.value("result", false)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  token_ = j.value("token", "");
  return !token_.empty();
}

void TServerMethodsClient::Logout() {
  if (token_.empty()) return;
  call("Logout", "{}");
  std::lock_guard<std::mutex> lock(mutex_);
  token_.clear();
}

Packet TServerMethodsClient::GetSysMainDBDataBySql(const std::string& userId,
                                                   const std::string& sql) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto p = impl_->packetCall(token_, "GetSysMainDBDataBySql",
                             Body().text("UserID", userId).text("SQL", sql).str());
  return p ? std::move(*p) : Packet{};
}

std::string TServerMethodsClient::doSysMainDBDataBySql(const std::string& sql) {
  return member(call("doSysMainDBDataBySql", Body().text("SQL", sql).str()), "status");
}

std::string TServerMethodsClient::SaveSysMainDataBySql(const std::string& userId,
                                                       const std::string& select,
                                                       const Delta& delta) {
  return member(call("SaveSysMainDataBySql",
                     Body().text("UserID", userId).text("SQL", select).delta("Delta", delta).str()),
                "status");
}

Packet TServerMethodsClient::GetUserDBDataBySql(const std::string& userDbId,
                                                const std::string& sql) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto p = impl_->packetCall(token_, "GetUserDBDataBySql",
                             Body().text("UserDBID", userDbId).text("SQL", sql).str());
  return p ? std::move(*p) : Packet{};
}

void TServerMethodsClient::StreamUserDBDataBySql(const std::string& userDbId,
                                                 const std::string& sql, PacketSink& sink) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->packetCall(token_, "GetUserDBDataBySql",
                    Body().text("UserDBID", userDbId).text("SQL", sql).str(), &sink);
}

std::string TServerMethodsClient::doUserDBDataBySql(const std::string& userDbId,
                                                    const std::string& sql) {
  return member(call("doUserDBDataBySql", Body().text("UserDBID", userDbId).text("SQL", sql).str()),
                "status");
}

std::string TServerMethodsClient::SaveUserDBDataByDelta(const std::string& userDbId,
                                                        const std::string& table,
                                                        const std::string& keyFields,
                                                        const Delta& delta) {
  return member(call("SaveUserDBDataByDelta", Body()
                                                  .text("UserDBID", userDbId)
                                                  .text("Table", table)
                                                  .text("KeyFields", keyFields)
                                                  .delta("Delta", delta)
                                                  .str()),
                "status");
}

bool TServerMethodsClient::CheckValueIsExistBySql(const std::string& userDbId,
                                                  const std::string& sql) {
  Json j = parse(
      call("CheckValueIsExistBySql", Body().text("UserDBID", userDbId).text("SQL", sql).str()));
  return j.value("result", false);
}

std::optional<Packet> TServerMethodsClient::GetMasterAndDetailData(const std::string& userDbId,
                                                                   const std::string& masterTable,
                                                                   const std::string& masterSql,
                                                                   const std::string& detailSql) {
  std::lock_guard<std::mutex> lock(mutex_);
  return impl_->packetCall(token_, "GetMasterAndDetailData",
                           Body()
                               .text("UserDBID", userDbId)
                               .text("MasterTable", masterTable)
                               .text("MasterSQL", masterSql)
                               .text("DetailSQL", detailSql)
                               .str());
}

std::string TServerMethodsClient::SaveMasterAndDetailData(const std::string& userDbId,
                                                          const std::string& masterTable,
                                                          const Delta& delta) {
  return member(call("SaveMasterAndDetailData", Body()
                                                    .text("UserDBID", userDbId)
                                                    .text("MasterTable", masterTable)
                                                    .delta("Delta", delta)
                                                    .str()),
                "status");
}

std::string TServerMethodsClient::GetBill_MaxBcode(const std::string& userDbId,
                                                   const std::string& prefix,
                                                   const std::string& table,
                                                   const std::string& billDate) {
  return member(call("GetBill_MaxBcode", Body()
                                             .text("UserDBID", userDbId)
                                             .text("Prefix", prefix)
                                             .text("Table", table)
                                             .text("BillDate", billDate)
                                             .str()),
                "result");
}

Packet TServerMethodsClient::GetRegisUserInfo(const std::string& userId) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto p = impl_->packetCall(token_, "GetRegisUserInfo", Body().text("UserID", userId).str());
  return p ? std::move(*p) : Packet{};
}

std::string TServerMethodsClient::CreateUserDB(const std::string& main, const std::string& userId,
                                               const std::string& userDbId,
                                               const std::string& userDbName,
                                               const std::string& isDefault) {
  return member(call("CreateUserDB", Body()
                                         .text("Main", main)
                                         .text("UserID", userId)
                                         .text("UserDBID", userDbId)
                                         .text("UserDBName", userDbName)
                                         .text("IsDefault", isDefault)
                                         .str()),
                "status");
}

IdBlock TServerMethodsClient::GetNewIDBlock() {
  Json j = parse(call("GetNewIDBlock", "{}"));
  try {
    return IdBlock{std::stoull(j.at("first").get<std::string>()),
                   j.at("count").get<std::uint64_t>()};
  } catch (const std::exception& e) {
    throw RemoteError(0, std::string("The data service answered a bad id block: ") + e.what());
  }
}

}  // namespace vlt

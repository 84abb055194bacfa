#include "http.h"

#include <httplib.h>

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <algorithm>
#include <exception>
#include <functional>
#include <iostream>
#include <map>
#include <memory>

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "vlt/json.h"
#include "vlt/socketaddress.h"
#include "web.h"

namespace vlt::server {

namespace {

using Request = RequestBody;

// A connection whose request was answered without its body being read: it is closed after the
// answer (what the client still sends is dropped) rather than read as the next request.
thread_local bool closeAfterAnswer = false;

std::string packetBody(const Packet& p) {
  std::string out = "{\"packet\":";
  appendPacket(out, p);
  out += '}';
  return out;
}

std::string statusBody(const std::string& status) {
  std::string out = "{\"status\":";
  appendJsonString(out, status);
  out += '}';
  return out;
}

std::string errorBody(const std::string& message) {
  std::string out = "{\"error\":";
  // Messages may quote what the client sent (SQL, a malformed body) and must not fail here.
  appendJsonString(out, validUtf8(message));
  out += '}';
  return out;
}

std::string resultBody(bool b) {
  return b ? "{\"result\":true}" : "{\"result\":false}";
}

std::string resultBody(const std::string& s) {
  std::string out = "{\"result\":";
  appendJsonString(out, s);
  out += '}';
  return out;
}

using Handler = std::function<std::string(DataService&, const Caller&, const Request&)>;

const std::map<std::string, Handler>& handlers() {
  static const std::map<std::string, Handler> h = {
      {"doSysMainDBDataBySql",
       [](DataService& s, const Caller& c, const Request& r) {
         return statusBody(s.doSysMainDBDataBySql(c, r.sql("SQL")));
       }},
      {"SaveSysMainDataBySql",
       [](DataService& s, const Caller& c, const Request& r) {
         return statusBody(
             s.SaveSysMainDataBySql(c, r.text("UserID"), r.sql("SQL"), r.delta("Delta")));
       }},
      {"doUserDBDataBySql",
       [](DataService& s, const Caller& c, const Request& r) {
         return statusBody(s.doUserDBDataBySql(c, r.text("UserDBID"), r.sql("SQL")));
       }},
      {"SaveUserDBDataByDelta",
       [](DataService& s, const Caller& c, const Request& r) {
         return statusBody(s.SaveUserDBDataByDelta(c, r.text("UserDBID"), r.text("Table"),
                                                   r.optionalText("KeyFields"), r.delta("Delta")));
       }},
      {"CheckValueIsExistBySql",
       [](DataService& s, const Caller& c, const Request& r) {
         return resultBody(s.CheckValueIsExistBySql(c, r.text("UserDBID"), r.sql("SQL")));
       }},
      {"GetMasterAndDetailData",
       [](DataService& s, const Caller& c, const Request& r) {
         auto p = s.GetMasterAndDetailText(c, r.text("UserDBID"), r.text("MasterTable"),
                                           r.sql("MasterSQL"), r.sql("DetailSQL"));
         return p ? "{\"packet\":" + *p + "}" : std::string("{\"packet\":null}");
       }},
      {"SaveMasterAndDetailData",
       [](DataService& s, const Caller& c, const Request& r) {
         return statusBody(s.SaveMasterAndDetailData(c, r.text("UserDBID"), r.text("MasterTable"),
                                                     r.delta("Delta")));
       }},
      {"GetBill_MaxBcode",
       [](DataService& s, const Caller& c, const Request& r) {
         return resultBody(s.GetBill_MaxBcode(c, r.text("UserDBID"), r.text("Prefix"),
                                              r.text("Table"), r.text("BillDate")));
       }},
      {"GetRegisUserInfo",
       [](DataService& s, const Caller& c, const Request& r) {
         return packetBody(s.GetRegisUserInfo(c, r.text("UserID")));
       }},
      {"CreateUserDB",
       [](DataService& s, const Caller& c, const Request& r) {
         return statusBody(s.CreateUserDB(c, r.text("UserID"), r.text("UserDBID"),
                                          r.text("UserDBName"),
                                          r.optionalText("IsDefault", "False")));
       }},
      {"GetNewIDBlock",
       [](DataService& s, const Caller& c, const Request&) {
         IdBlockInfo b = s.ReserveIds(c);
         std::string out = "{\"first\":";
         appendJsonString(out, b.first);
         out += ",\"count\":" + std::to_string(b.count) + "}";
         return out;
       }},
  };
  return h;
}

void reply(httplib::Response& res, int status, std::string body) {
  res.status = status;
  res.set_content(std::move(body), "application/json; charset=utf-8");
}

// ---- streamed packet answers ----

using StreamedHandler = std::function<OpenRead(DataService&, const Caller&, const Request&)>;

// Reads whose answers may run to many rows.
const std::map<std::string, StreamedHandler>& streamedHandlers() {
  static const std::map<std::string, StreamedHandler> h = {
      {"GetSysMainDBDataBySql",
       [](DataService& s, const Caller& c, const Request& r) {
         return s.openSysMainDBDataBySql(c, r.text("UserID"), r.sql("SQL"));
       }},
      {"GetUserDBDataBySql",
       [](DataService& s, const Caller& c, const Request& r) {
         return s.openUserDBDataBySql(c, r.text("UserDBID"), r.sql("SQL"));
       }},
  };
  return h;
}

// An operation the service does not have, and a call without a valid session: answered through
// the failure table like every other refusal.
class UnknownOperation : public Error {
 public:
  using Error::Error;
};
class NotSignedIn : public Error {
 public:
  using Error::Error;
};

template <typename E>
bool is(const std::exception& e) {
  return dynamic_cast<const E*>(&e) != nullptr;
}

// Every failure kind with its HTTP status and the words put before its message. A request the
// service cannot read is 400; a statement that ran but failed, or whose answer cannot be
// encoded, is an operation failure: 200 with {"error": ...}, as the client reports it. The
// first kind that matches counts, so a kind comes before the kinds it derives from.
struct FailureKind {
  bool (*matches)(const std::exception&);
  int status;
  const char* prefix;
};
const FailureKind kFailures[] = {
    {is<BadRequest>, 400, ""},
    {is<ParseError>, 400, "数据格式错误："},  // a delta that does not decode
    {is<NotSignedIn>, 401, ""},
    {is<AccessDenied>, 403, ""},
    {is<UnknownOperation>, 404, ""},
    {is<LoginThrottled>, 429, ""},
    {is<DbError>, 200, ""},
    {is<ResultError>, 200, ""},
    {is<DataSetError>, 200, "数据格式错误："},  // an answer the packet codec refuses
};

struct Failure {
  int status;
  std::string message;
};

// The answer to a failure of operation `op`; anything unforeseen is logged and answered 500.
Failure failureOf(const std::exception_ptr& failure, const std::string& op) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    for (const FailureKind& kind : kFailures)
      if (kind.matches(e)) return {kind.status, kind.prefix + std::string(e.what())};
    std::cerr << "vlt-dataservice: " << op << ": " << e.what() << std::endl;
  } catch (...) {
    std::cerr << "vlt-dataservice: " << op << ": unknown failure" << std::endl;
  }
  return {500, "服务内部错误，请稍后重试"};
}

// A packet answer whose rows go out while the database still sends them: each row is written
// straight from the database's text and the text leaves in chunks as the client takes it. The
// read's checks and its query run before the answer starts, so a refused access or bad SQL is
// answered whole, as is a result that fits in the first chunk. A failure after rows went out
// ends the packet and follows it with the error: {"packet":{...},"error":"..."}, which no reader
// takes for a packet. The read holds its connection until the answer is sent or dropped.
class PacketStream {
 public:
  PacketStream(OpenRead read, std::shared_ptr<void> slot)
      : slot_(std::move(slot)), read_(std::move(read)), writer_(read_.rows.fields()) {}

  // Writes rows until a chunk is full (true) or they end (false); throws what a row throws.
  bool fill() {
    const char* const* cells = nullptr;
    const unsigned long* lengths = nullptr;
    while (writer_.pending() < kChunkBytes) {
      if (!read_.rows.next(cells, lengths)) {
        writer_.finish();
        return false;
      }
      writer_.row(cells, lengths);
    }
    return true;
  }

  // The text written since the last call, the answer's opening before the first.
  std::string text() {
    std::string t = writer_.take();
    if (!opened_) {
      t.insert(0, "{\"packet\":");
      opened_ = true;
    }
    return t;
  }

  // The chunked content provider; the first chunk was filled by the handler.
  bool send(httplib::DataSink& sink) {
    std::string out;
    bool more = true;
    try {
      if (sent_) more = fill();
      out = text();
      if (!more) out += '}';
    } catch (...) {
      writer_.finish();
      out += text();
      out += ",\"error\":";
      appendJsonString(out,
                       validUtf8(failureOf(std::current_exception(), "streamed answer").message));
      out += '}';
      more = false;
    }
    sent_ = true;
    if (!sink.write(out.data(), out.size())) return false;
    if (!more) sink.done();
    return true;
  }

 private:
  // Small chunks keep the three parties busy at once: the database sending, this writing, the
  // client decoding (64 KiB chunks made the read of 10,000 goods 40% slower than 16 KiB).
  static constexpr std::size_t kChunkBytes = 16 * 1024;

  std::shared_ptr<void> slot_;  // the call counts as running until the answer is sent
  OpenRead read_;
  PacketWriter writer_;
  bool opened_ = false;
  bool sent_ = false;
};

void replyStreamed(httplib::Response& res, DataService& service, const Caller& caller,
                   const Request& r, const StreamedHandler& handler, std::shared_ptr<void> slot) {
  auto stream = std::make_shared<PacketStream>(handler(service, caller, r), std::move(slot));
  if (!stream->fill()) return reply(res, 200, stream->text() + "}");
  res.status = 200;
  res.set_chunked_content_provider(
      "application/json; charset=utf-8",
      [stream](std::size_t, httplib::DataSink& sink) { return stream->send(sink); });
}

std::string bearer(const httplib::Request& req) {
  std::string h = req.get_header_value("Authorization");
  const std::string scheme = "Bearer ";
  return h.compare(0, scheme.size(), scheme) == 0 ? h.substr(scheme.size()) : std::string();
}

std::string lowerCase(std::string s) {
  for (char& ch : s)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return s;
}

bool chunked(const httplib::Request& req) {
  return lowerCase(req.get_header_value("Transfer-Encoding")).find("chunked") != std::string::npos;
}

// Answers a request whose body is refused unread, and ends its connection after the answer.
void refuseBody(httplib::Response& res, int status, const std::string& message) {
  closeAfterAnswer = true;
  reply(res, status, errorBody(message));
}

// Reads the body up to `limit` bytes as it arrives (chunked or not); nothing past the limit
// is read. False with the answer given when the body is refused.
bool readBody(const httplib::Request& req, httplib::Response& res,
              const httplib::ContentReader& content, std::size_t limit, std::string& body) {
  const bool hasLength = req.has_header("Content-Length");
  if (!hasLength && !chunked(req)) return true;  // a request without either has no body
  if (hasLength && req.get_header_value<std::uint64_t>("Content-Length") > limit) {
    refuseBody(res, 413, "请求内容过大");
    return false;
  }
  bool tooLarge = false;
  bool whole = content([&](const char* data, std::size_t length) {
    if (length > limit - body.size()) {
      tooLarge = true;
      return false;
    }
    body.append(data, length);
    return true;
  });
  if (tooLarge)
    refuseBody(res, 413, "请求内容过大");
  else if (!whole)
    refuseBody(res, 400, "请求内容不完整");
  return whole && !tooLarge;
}

// Calls running now, per user and in all; a slot is held for as long as its call runs.
class CallLimits : public std::enable_shared_from_this<CallLimits> {
 public:
  CallLimits(int perUser, int total) : perUser_(std::max(1, perUser)), total_(std::max(1, total)) {}

  // A slot, or nothing when the user or the service has as many calls running as it may.
  std::shared_ptr<void> enter(const std::string& user) {
    std::lock_guard<std::mutex> lock(mutex_);
    int& mine = running_[user];
    if (mine >= perUser_ || busy_ >= total_) {
      if (mine == 0) running_.erase(user);
      return nullptr;
    }
    ++mine;
    ++busy_;
    auto self = shared_from_this();
    return std::shared_ptr<void>(self.get(), [self, user](void*) { self->leave(user); });
  }

 private:
  void leave(const std::string& user) {
    std::lock_guard<std::mutex> lock(mutex_);
    --busy_;
    auto it = running_.find(user);
    if (it != running_.end() && --it->second <= 0) running_.erase(it);
  }

  const int perUser_;
  const int total_;
  std::mutex mutex_;
  int busy_ = 0;
  std::map<std::string, int> running_;
};

}  // namespace

namespace {
// The listening socket, caught when it is made, to lengthen its queue after binding.
thread_local int lastServerSocket = -1;
}  // namespace

void tuneServer(httplib::Server& server, int threads) {
  server.new_task_queue = [threads] {
    return new httplib::ThreadPool(static_cast<std::size_t>(std::max(1, threads)));
  };
  server.set_tcp_nodelay(true);
  server.set_keep_alive_max_count(100000);
  // An idle connection is closed after 5 s (the client reconnects at its next call): stopping
  // the service waits for idle connections to time out, and a client holds one all the time.
  server.set_keep_alive_timeout(5);
  server.set_socket_options([](int sock) {
    httplib::default_socket_options(sock);
    lastServerSocket = sock;
  });
  // The library would inflate a compressed body, and read a chunked one, without a limit.
  // Compressed bodies are refused; chunked ones only the API takes, reading them itself.
  server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
    const std::string encoding = lowerCase(req.get_header_value("Content-Encoding"));
    if (!encoding.empty() && encoding != "identity") {
      refuseBody(res, 415, "请求内容不可压缩");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (chunked(req) && !(req.method == "POST" && req.path.rfind("/api/", 0) == 0)) {
      refuseBody(res, 411, "请求内容须注明长度");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
}

int bindServer(httplib::Server& server, const std::string& host, int port) {
  lastServerSocket = -1;
  int bound =
      port == 0 ? server.bind_to_any_port(host) : (server.bind_to_port(host, port) ? port : -1);
  // The library listens with a queue of 5; clients connecting together would be dropped.
  if (bound > 0 && lastServerSocket >= 0) ::listen(lastServerSocket, 1024);
  return bound;
}

void mountApi(httplib::Server& server, DataService& service, HttpSettings settings) {
  server.set_payload_max_length(settings.maxRequestBytes);
  auto limits = std::make_shared<CallLimits>(settings.maxCallsPerUser, settings.maxBusyCalls);
  server.Post(R"(/api/([A-Za-z_]+))", [&service, settings, limits](
                                          const httplib::Request& req, httplib::Response& res,
                                          const httplib::ContentReader& content) {
    const std::string op = req.matches[1];
    try {
      std::string text;
      if (!readBody(req, res, content, settings.maxRequestBytes, text)) return;
      Request r(text, settings.maxSqlBytes);
      if (op == "CheckLoginUser") {
        auto s = service.CheckLoginUser(r.text("UserID"), r.text("Password"),
                                        clientAddress(req, settings.trustedProxies));
        if (!s) return reply(res, 200, resultBody(false));
        std::string out = "{\"result\":true,\"token\":";
        appendJsonString(out, s->token);
        out += '}';
        return reply(res, 200, out);
      }
      auto h = handlers().find(op);
      auto streamed = streamedHandlers().find(op);
      if (h == handlers().end() && streamed == streamedHandlers().end() && op != "Logout")
        throw UnknownOperation("未知的操作：" + op);
      std::string token = bearer(req);
      auto session = token.empty() ? std::nullopt : service.auth().session(token);
      if (!session) throw NotSignedIn("登录已过期，请重新登录");
      if (op == "Logout") {
        service.auth().logout(token);
        return reply(res, 200, resultBody(true));
      }
      auto slot = limits->enter(session->userId);
      if (!slot) return reply(res, 429, errorBody("同时进行的请求过多，请稍后再试"));
      Caller caller{session->userId, clientAddress(req, settings.trustedProxies)};
      if (streamed != streamedHandlers().end())
        return replyStreamed(res, service, caller, r, streamed->second, std::move(slot));
      reply(res, 200, h->second(service, caller, r));
    } catch (...) {
      Failure f = failureOf(std::current_exception(), op);
      reply(res, f.status, errorBody(f.message));
    }
  });
}

// ---- HttpServer: workers for requests that have arrived, a waiting room for the rest ----

using Clock = std::chrono::steady_clock;

struct HttpServer::Connection {
  int fd = -1;
  std::string buffer;  // received and not yet read by a request
  std::size_t served = 0;
  Clock::time_point headerStart;  // when the first byte of the next request arrived
  Clock::time_point deadline;
  bool closing = false;  // answered and ending: what still comes is dropped
  SSL* ssl = nullptr;    // TLS: the socket does not block, and the handshake comes first
  bool handshaken = true;

  explicit Connection(int s) : fd(s) {}
  ~Connection() {
    if (ssl) {
      if (handshaken) SSL_shutdown(ssl);
      SSL_free(ssl);
    }
    if (fd >= 0) ::close(fd);
  }

  // Reads what the connection has without waiting: > 0 bytes, 0 at its end, -1 when nothing
  // is there yet, -2 on an error.
  ssize_t take(char* into, std::size_t size) {
    if (!ssl) {
      ssize_t n;
      do {
        n = ::recv(fd, into, size, MSG_DONTWAIT);
      } while (n < 0 && errno == EINTR);
      if (n >= 0) return n;
      return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : -2;
    }
    if (!handshaken) {
      int r = SSL_accept(ssl);
      if (r != 1) return wouldWait(r) ? -1 : -2;
      handshaken = true;
    }
    int r = SSL_read(ssl, into, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
    if (r > 0) return r;
    if (SSL_get_error(ssl, r) == SSL_ERROR_ZERO_RETURN) return 0;
    return wouldWait(r) ? -1 : -2;
  }

  bool wouldWait(int result) const {
    int e = SSL_get_error(ssl, result);
    if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) ERR_clear_error();
    return e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE;
  }

  bool headerTooLong() const {
    return buffer.size() > kMaxHeaderBytes && headerEnd() == std::string::npos;
  }

  // Where the body of the next request starts, or npos while its header is coming.
  std::size_t headerEnd() const {
    std::size_t crlf = buffer.find("\r\n\r\n");
    std::size_t lf = buffer.find("\n\n");
    if (crlf != std::string::npos && (lf == std::string::npos || crlf < lf)) return crlf + 4;
    return lf == std::string::npos ? lf : lf + 2;
  }

  // The next request can be served without waiting on the client: its header and its body
  // have arrived, or the first kBodyRoom bytes of a longer body. (A chunked body, which our
  // clients do not send, is left to the worker.)
  bool ready() const {
    const std::size_t end = headerEnd();
    if (end == std::string::npos) return false;
    const std::size_t body = buffer.size() - end;
    if (body >= kBodyRoom) return true;
    std::string header = lowerCase(buffer.substr(0, end));
    if (header.find("\nexpect:") != std::string::npos) return true;  // the body waits for "100"
    auto length = header.find("\ncontent-length:");
    if (length != std::string::npos)
      return body >= std::strtoull(header.c_str() + length + 16, nullptr, 10);
    return true;
  }

  // Takes what the socket holds without waiting; false at its end or on an error.
  bool receive() {
    char chunk[16 * 1024];
    for (;;) {
      ssize_t n = take(chunk, sizeof chunk);
      if (n <= 0) return n == -1;
      if (closing) continue;
      if (buffer.empty() && handshaken) headerStart = Clock::now();
      buffer.append(chunk, static_cast<std::size_t>(n));
      if (ready() || headerTooLong()) return true;  // the rest waits in the socket
    }
  }

  // A header this long is not one of a client of ours.
  static constexpr std::size_t kMaxHeaderBytes = 32 * 1024;
  // Bodies up to this size arrive whole before a worker takes the request; a worker reads the
  // rest of a longer one, within kBodyTime.
  static constexpr std::size_t kBodyRoom = 64 * 1024;
  static constexpr std::chrono::seconds kBodyTime{60};
};

namespace {

// How long a worker with others free waits for its client's next call before parking it.
constexpr int kLingerMs = 2;

bool waitFor(int fd, short events, time_t seconds) {
  pollfd p{fd, events, 0};
  for (;;) {
    int n = ::poll(&p, 1, static_cast<int>(seconds * 1000));
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

// One request's view of its connection: what was received while it waited comes first.
class ConnectionStream : public httplib::Stream {
 public:
  ConnectionStream(HttpServer::Connection& c, time_t readSeconds, time_t writeSeconds)
      : c_(c),
        deadline_(Clock::now() + HttpServer::Connection::kBodyTime),
        readSeconds_(readSeconds),
        writeSeconds_(writeSeconds) {}

  bool is_readable() const override {
    return pos_ < c_.buffer.size() || (c_.ssl && SSL_pending(c_.ssl) > 0) ||
           waitFor(c_.fd, POLLIN, readSeconds_);
  }
  bool is_writable() const override { return waitFor(c_.fd, POLLOUT, writeSeconds_); }

  ssize_t read(char* ptr, size_t size) override {
    if (pos_ >= c_.buffer.size()) {
      c_.buffer.clear();
      pos_ = 0;
      char chunk[16 * 1024];
      ssize_t n;
      for (;;) {
        n = c_.take(chunk, sizeof chunk);
        if (n != -1) break;
        if (Clock::now() > deadline_ || !waitFor(c_.fd, POLLIN, readSeconds_)) return -1;
      }
      if (n <= 0) return n == 0 ? 0 : -1;
      c_.buffer.assign(chunk, static_cast<std::size_t>(n));
    }
    std::size_t n = std::min(size, c_.buffer.size() - pos_);
    std::copy_n(c_.buffer.data() + pos_, n, ptr);
    pos_ += n;
    return static_cast<ssize_t>(n);
  }

  using httplib::Stream::write;
  ssize_t write(const char* ptr, size_t size) override {
    // An answer's head waits for the first piece of its body, so that a small answer leaves in
    // one packet: a client that reads the head first would otherwise wait and wake twice. An
    // interim answer (100 Continue) goes at once: the client waits for it before its body.
    const std::string_view piece(ptr, size);
    if (!c_.ssl && held_.empty() && size < kHoldHead && piece.starts_with("HTTP/1.1 ") &&
        size > 9 && piece[9] != '1' && piece.ends_with("\r\n\r\n")) {
      held_.assign(piece);
      return static_cast<ssize_t>(size);
    }
    if (!held_.empty()) {
      std::string head = std::move(held_);
      held_.clear();
      if (size < kHoldHead) {
        head.append(piece);
        return sendAll(head) ? static_cast<ssize_t>(size) : -1;
      }
      if (!sendAll(head)) return -1;
    }
    return sendSome(ptr, size);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    SocketAddress(c_.fd, true, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    SocketAddress(c_.fd, false, ip, port);
  }
  socket_t socket() const override { return c_.fd; }

  // Drops what the request read, keeping what came after it (the next request); sends a head
  // that no body followed.
  ~ConnectionStream() override {
    if (!held_.empty()) sendAll(held_);
    c_.buffer.erase(0, std::min(pos_, c_.buffer.size()));
    if (!c_.buffer.empty()) c_.headerStart = Clock::now();
  }

 private:
  static constexpr std::size_t kHoldHead = 64 * 1024;

  bool sendAll(std::string_view data) {
    while (!data.empty()) {
      ssize_t n = sendSome(data.data(), data.size());
      if (n <= 0) return false;
      data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  ssize_t sendSome(const char* ptr, size_t size) {
    if (c_.ssl) {
      for (;;) {
        int r = SSL_write(c_.ssl, ptr, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
        if (r > 0) return r;
        if (!c_.wouldWait(r) || !is_writable()) return -1;
      }
    }
    if (!is_writable()) return -1;
    ssize_t n;
    do {
      n = ::send(c_.fd, ptr, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n;
  }

  HttpServer::Connection& c_;
  std::size_t pos_ = 0;
  Clock::time_point deadline_;  // for reading the request
  time_t readSeconds_;
  time_t writeSeconds_;
  std::string held_;  // an answer's head, until its body comes
};

}  // namespace

// The workers and the waiting room of one listening run of the server.
class HttpServer::Workers : public httplib::TaskQueue {
 public:
  Workers(HttpServer& server, int threads) : server_(server) {
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    for (int i = 0; i < std::max(1, threads); ++i)
      threads_.emplace_back([this] { work(); });
    room_ = std::thread([this] { wait(); });
  }
  ~Workers() override {
    if (wake_ >= 0) ::close(wake_);
  }

  void enqueue(std::function<void()> fn) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(std::move(fn));
    }
    ready_.notify_one();
  }

  void shutdown() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    ready_.notify_all();
    notify();
    room_.join();
    for (auto& t : threads_)
      t.join();
    for (Connection* c : parked_)
      delete c;
    for (Connection* c : arriving_)
      delete c;
    parked_.clear();
    arriving_.clear();
    server_.workers_ = nullptr;  // the library deletes this queue next
  }

  // Leaves the connection to wait for its next request; closes it when the room is full or
  // the server is stopping.
  void park(Connection* c) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!stopping_ && arriving_.size() + parked_.size() < kMaxWaiting) {
        arriving_.push_back(c);
        c = nullptr;
      }
    }
    delete c;
    notify();
  }

 private:
  static constexpr std::size_t kMaxWaiting = 8192;

  void notify() {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
  }

  void work() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ++idle_;
        ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        --idle_;
        if (jobs_.empty()) return;  // stopping, and nothing left
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }

 public:
  // Whether a worker may wait a moment for its client's next call: others are free for new
  // work, and none is waiting for a worker.
  bool spare() {
    std::lock_guard<std::mutex> lock(mutex_);
    return !stopping_ && idle_ > 0 && jobs_.empty();
  }

 private:
  int idle_ = 0;  // workers waiting for a job

  // The waiting room: connections between requests, until their next header has arrived
  // (handed to a worker), they end, or their time runs out.
  void wait() {
    std::vector<pollfd> fds;
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return;
        for (Connection* c : arriving_)
          parked_.push_back(c);
        arriving_.clear();
      }
      fds.assign(1, pollfd{wake_, POLLIN, 0});
      for (Connection* c : parked_)
        fds.push_back(pollfd{c->fd, POLLIN, 0});
      int n = ::poll(fds.data(), fds.size(), 250);
      if (n < 0 && errno != EINTR) return;
      if (fds[0].revents) {
        std::uint64_t count = 0;
        [[maybe_unused]] ssize_t r = ::read(wake_, &count, sizeof count);
      }
      const auto now = Clock::now();
      std::vector<Connection*> still;
      still.reserve(parked_.size());
      for (std::size_t i = 0; i < parked_.size(); ++i) {
        Connection* c = parked_[i];
        bool alive = true;
        if (fds[i + 1].revents) alive = c->receive();
        if (alive && !c->closing && c->headerTooLong()) alive = false;
        if (alive && !c->closing && c->ready()) {
          enqueue([this, c] { server_.serve(c); });
          continue;
        }
        if (alive && !c->buffer.empty() && !c->closing)
          c->deadline = std::min(c->deadline, c->headerStart + server_.headerTimeout_);
        if (!alive || now >= c->deadline) {
          delete c;
          continue;
        }
        still.push_back(c);
      }
      parked_.swap(still);
    }
  }

  HttpServer& server_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  std::thread room_;
  int wake_ = -1;
  bool stopping_ = false;
  std::vector<Connection*> arriving_;
  std::vector<Connection*> parked_;  // the room's own
};

HttpServer::HttpServer(int threads, std::chrono::seconds headerTimeout, const std::string& certFile,
                       const std::string& keyFile)
    : headerTimeout_(headerTimeout) {
  tuneServer(*this, threads);
  if (!certFile.empty()) {
    tls_ = SSL_CTX_new(TLS_server_method());
    if (!tls_) throw Error("TLS is not available");
    SSL_CTX_set_min_proto_version(tls_, TLS1_2_VERSION);
    SSL_CTX_set_options(tls_, SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_mode(tls_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (SSL_CTX_use_certificate_chain_file(tls_, certFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(tls_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(tls_) != 1) {
      SSL_CTX_free(tls_);
      throw Error("the TLS certificate or key cannot be used");
    }
  }
  new_task_queue = [this, threads] {
    workers_ = new Workers(*this, threads);
    return workers_;
  };
}

HttpServer::~HttpServer() {
  if (tls_) SSL_CTX_free(tls_);
}

bool HttpServer::process_and_close_socket(socket_t sock) {
  auto* c = new Connection(sock);
  if (tls_) {
    // The handshake is read like a header: in the waiting room, within the header's time.
    ::fcntl(sock, F_SETFL, ::fcntl(sock, F_GETFL) | O_NONBLOCK);
    c->ssl = SSL_new(tls_);
    if (!c->ssl || SSL_set_fd(c->ssl, sock) != 1) {
      delete c;
      return false;
    }
    c->handshaken = false;
    c->headerStart = Clock::now();
  }
  serve(c);
  return true;
}

void HttpServer::serve(Connection* c) {
  for (;;) {
    if ((!c->ready() && !c->receive()) || svr_sock_ == INVALID_SOCKET || c->headerTooLong()) {
      delete c;
      return;
    }
    if (!c->ready()) {
      // A client that calls again at once (a window paging, a list read after a save) is served
      // by this worker, without the trip through the waiting room and another worker's wake-up.
      if (c->handshaken && c->buffer.empty() && !c->closing && workers_->spare()) {
        pollfd p{c->fd, POLLIN, 0};
        if (::poll(&p, 1, kLingerMs) > 0) continue;
      }
      const auto now = Clock::now();
      c->deadline = c->buffer.empty() && c->handshaken
                        ? now + std::chrono::seconds(keep_alive_timeout_sec_)
                        : c->headerStart + headerTimeout_;
      workers_->park(c);
      return;
    }
    closeAfterAnswer = false;
    bool closed = false;
    bool ok;
    {
      ConnectionStream stream(*c, read_timeout_sec_, write_timeout_sec_);
      ++c->served;
      ok = process_request(stream, c->served >= keep_alive_max_count_, closed, nullptr);
    }
    if (!ok || closed || c->served >= keep_alive_max_count_) {
      delete c;
      return;
    }
    if (closeAfterAnswer) {
      // The client may still be sending the refused body; closing at once would reset the
      // connection and could lose the answer on its way. What comes is dropped for a moment.
      if (c->ssl) SSL_shutdown(c->ssl);
      ::shutdown(c->fd, SHUT_WR);
      c->closing = true;
      c->buffer.clear();
      c->deadline = Clock::now() + std::chrono::seconds(2);
      workers_->park(c);
      return;
    }
  }
}

}  // namespace vlt::server

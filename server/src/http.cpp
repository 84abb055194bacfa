#include "http.h"

#include <httplib.h>

#include <sys/socket.h>

#include <algorithm>
#include <exception>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "vlt/json.h"

namespace vlt::server {

namespace {

// Ordered: a delta member is handed on as text, and its "fields" must stay first.
using Json = nlohmann::ordered_json;

struct Request {
  const Json& body;
  const HttpSettings& settings;

  std::string text(const char* name) const {
    auto it = body.find(name);
    if (it == body.end() || it->is_null()) throw BadRequest(std::string("缺少参数 ") + name);
    if (it->is_string()) return it->get<std::string>();
    if (it->is_number_integer()) return std::to_string(it->get<long long>());
    if (it->is_boolean()) return it->get<bool>() ? "True" : "False";
    throw BadRequest(std::string("参数 ") + name + " 应为文本");
  }
  std::string optionalText(const char* name, const std::string& fallback = {}) const {
    return body.contains(name) && !body[name].is_null() ? text(name) : fallback;
  }
  std::string sql(const char* name) const {
    std::string s = text(name);
    if (s.size() > settings.maxSqlBytes) throw BadRequest("SQL 语句过长");
    return s;
  }
  Delta delta(const char* name) const {
    auto it = body.find(name);
    if (it == body.end()) throw BadRequest(std::string("缺少参数 ") + name);
    // Accepted as an object or as its JSON text.
    return decodeDelta(it->is_string() ? it->get<std::string>() : it->dump());
  }
};

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
  appendJsonString(out, message);
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
         auto p = s.GetMasterAndDetailData(c, r.text("UserDBID"), r.text("MasterTable"),
                                           r.sql("MasterSQL"), r.sql("DetailSQL"));
         return p ? packetBody(*p) : std::string("{\"packet\":null}");
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
    {is<Json::exception>, 400, "请求格式错误："},
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
  explicit PacketStream(OpenRead read) : read_(std::move(read)), writer_(read_.rows.fields()) {}

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
      appendJsonString(out, failureOf(std::current_exception(), "streamed answer").message);
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

  OpenRead read_;
  PacketWriter writer_;
  bool opened_ = false;
  bool sent_ = false;
};

void replyStreamed(httplib::Response& res, DataService& service, const Caller& caller,
                   const Request& r, const StreamedHandler& handler) {
  auto stream = std::make_shared<PacketStream>(handler(service, caller, r));
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
  server.Post(R"(/api/([A-Za-z_]+))", [&service, settings](const httplib::Request& req,
                                                           httplib::Response& res) {
    const std::string op = req.matches[1];
    try {
      Json body = Json::parse(req.body.empty() ? std::string("{}") : req.body);
      if (!body.is_object()) throw BadRequest("请求内容应为 JSON 对象");
      Request r{body, settings};
      if (op == "CheckLoginUser") {
        auto s = service.CheckLoginUser(r.text("UserID"), r.text("Password"), req.remote_addr);
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
      Caller caller{session->userId, req.remote_addr};
      if (streamed != streamedHandlers().end())
        return replyStreamed(res, service, caller, r, streamed->second);
      reply(res, 200, h->second(service, caller, r));
    } catch (...) {
      Failure f = failureOf(std::current_exception(), op);
      reply(res, f.status, errorBody(f.message));
    }
  });
}

}  // namespace vlt::server

#include "http.h"

#include <httplib.h>

#include <sys/socket.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
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
      {"GetSysMainDBDataBySql",
       [](DataService& s, const Caller& c, const Request& r) {
         return packetBody(s.GetSysMainDBDataBySql(c, r.text("UserID"), r.sql("SQL")));
       }},
      {"doSysMainDBDataBySql",
       [](DataService& s, const Caller& c, const Request& r) {
         return statusBody(s.doSysMainDBDataBySql(c, r.sql("SQL")));
       }},
      {"SaveSysMainDataBySql",
       [](DataService& s, const Caller& c, const Request& r) {
         return statusBody(
             s.SaveSysMainDataBySql(c, r.text("UserID"), r.sql("SQL"), r.delta("Delta")));
       }},
      {"GetUserDBDataBySql",
       [](DataService& s, const Caller& c, const Request& r) {
         return packetBody(s.GetUserDBDataBySql(c, r.text("UserDBID"), r.sql("SQL")));
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

std::string bearer(const httplib::Request& req) {
  std::string h = req.get_header_value("Authorization");
  const std::string scheme = "Bearer ";
  return h.compare(0, scheme.size(), scheme) == 0 ? h.substr(scheme.size()) : std::string();
}

void reply(httplib::Response& res, int status, std::string body) {
  res.status = status;
  res.set_content(std::move(body), "application/json; charset=utf-8");
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
  server.set_keep_alive_timeout(120);
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
      if (h == handlers().end() && op != "Logout")
        return reply(res, 404, errorBody("未知的操作：" + op));
      std::string token = bearer(req);
      auto session = token.empty() ? std::nullopt : service.auth().session(token);
      if (!session) return reply(res, 401, errorBody("登录已过期，请重新登录"));
      if (op == "Logout") {
        service.auth().logout(token);
        return reply(res, 200, resultBody(true));
      }
      Caller caller{session->userId, req.remote_addr};
      reply(res, 200, h->second(service, caller, r));
    } catch (const Json::exception& e) {
      reply(res, 400, errorBody(std::string("请求格式错误：") + e.what()));
    } catch (const BadRequest& e) {
      reply(res, 400, errorBody(e.what()));
    } catch (const ParseError& e) {
      reply(res, 400, errorBody(std::string("数据格式错误：") + e.what()));
    } catch (const DataSetError& e) {
      reply(res, 400, errorBody(std::string("数据格式错误：") + e.what()));
    } catch (const AccessDenied& e) {
      reply(res, 403, errorBody(e.what()));
    } catch (const LoginThrottled& e) {
      reply(res, 429, errorBody(e.what()));
    } catch (const DbError& e) {
      reply(res, 200, errorBody(e.what()));
    } catch (const std::exception& e) {
      std::cerr << "vlt-dataservice: " << op << ": " << e.what() << std::endl;
      reply(res, 500, errorBody("服务内部错误，请稍后重试"));
    }
  });
}

}  // namespace vlt::server

#include "request.h"

#include "vlt/json.h"

namespace vlt::server {

namespace {

using Json = nlohmann::ordered_json;

// The length of the UTF-8 sequence starting at s[i], or 0 when it is not a valid one.
std::size_t sequenceLength(std::string_view s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  std::size_t n = 0;
  unsigned min = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  unsigned cp = c & (0x7Fu >> n);
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

}  // namespace

std::string validUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = sequenceLength(text, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(text.substr(i, n));
      i += n;
    }
  }
  return out;
}

RequestBody::RequestBody(std::string_view text, std::size_t maxSqlBytes)
    : maxSqlBytes_(maxSqlBytes) {
  if (text.empty()) text = "{}";
  try {
    // The parser keeps its own stack; the callback stops a body nested past the limit before
    // anything (printing a delta, destroying the tree) walks it.
    body_ = Json::parse(text, [](int depth, Json::parse_event_t, Json&) {
      if (depth > kMaxRequestDepth)
        throw BadRequest("请求内容嵌套超过 " + std::to_string(kMaxRequestDepth) + " 层");
      return true;
    });
  } catch (const Json::exception& e) {
    throw BadRequest("请求格式错误：" + validUtf8(e.what()));
  }
  if (!body_.is_object()) throw BadRequest("请求内容应为 JSON 对象");
}

std::string RequestBody::text(const char* name) const {
  auto it = body_.find(name);
  if (it == body_.end() || it->is_null()) throw BadRequest(std::string("缺少参数 ") + name);
  if (it->is_string()) return it->get<std::string>();
  if (it->is_number_integer()) return std::to_string(it->get<long long>());
  if (it->is_boolean()) return it->get<bool>() ? "True" : "False";
  throw BadRequest(std::string("参数 ") + name + " 应为文本");
}

std::string RequestBody::optionalText(const char* name, const std::string& fallback) const {
  auto it = body_.find(name);
  return it != body_.end() && !it->is_null() ? text(name) : fallback;
}

std::string RequestBody::sql(const char* name) const {
  std::string s = text(name);
  if (s.size() > maxSqlBytes_) throw BadRequest("SQL 语句过长");
  return s;
}

Delta RequestBody::delta(const char* name) const {
  auto it = body_.find(name);
  if (it == body_.end()) throw BadRequest(std::string("缺少参数 ") + name);
  return decodeDelta(it->is_string() ? it->get<std::string>() : it->dump());
}

}  // namespace vlt::server

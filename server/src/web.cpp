#include "web.h"

#include <httplib.h>
#include <sodium.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

#include "auth.h"
#include "vlt/sqltext.h"

namespace vlt::server {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;
constexpr unsigned kDuplicateKey = 1062;  // the database's "Duplicate entry"
using Values = std::map<std::string, std::string, std::less<>>;

// ---- the form's rules and words (the page's script shows the same words) --------------------

constexpr int kNickMax = 120;  // sys_mainuserbaseinfo.NickName is VARCHAR(120)
constexpr int kPasswordMin = 6;
constexpr int kPasswordMax = 128;
// A 10,000-character Chinese nickname is about 90 KB once form-encoded: still read and refused
// with its message; far larger bodies are not forms of ours.
constexpr std::size_t kMaxFormBytes = 256 * 1024;
constexpr const char* kCookie = "vlt_form";

const char* const kNickEmpty = "请输入昵称。";
const std::string kNickLong = "昵称不能超过" + std::to_string(kNickMax) + "个字。";
const char* const kNickInvalid = "昵称含有无法识别的字符，请重新输入。";
const char* const kNickControl = "昵称不能包含换行、制表符等控制字符。";
const char* const kPasswordEmpty = "请输入密码。";
const std::string kPasswordShort = "密码至少需要" + std::to_string(kPasswordMin) + "个字符。";
const std::string kPasswordLong = "密码不能超过" + std::to_string(kPasswordMax) + "个字符。";
const char* const kPasswordInvalid = "密码含有无法识别的字符或控制字符，请重新输入。";
const char* const kPassword2Empty = "请再次输入密码。";
const char* const kMismatch = "两次输入的密码不一致。";
const char* const kFix = "请按提示修改后再提交。";
const char* const kExpired = "页面停留时间过长，请重新填写并提交。";
const char* const kResubmitted = "这份表单已经提交过了，请重新填写后再提交。";
const char* const kSending = "正在注册…";

// ---- text helpers ---------------------------------------------------------------------------

std::string htmlEscape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Fills a page template: {{name}} becomes the value, HTML-escaped (every value: none is trusted
// markup); {{?name}}...{{/name}} is kept only when the value is not empty. A name the code does
// not give is a mistake in the site's files, reported rather than shown as nothing.
std::string render(std::string_view t, const Values& values) {
  std::string out;
  std::size_t i = 0;
  for (;;) {
    std::size_t open = t.find("{{", i);
    if (open == std::string_view::npos) {
      out.append(t.substr(i));
      return out;
    }
    out.append(t.substr(i, open - i));
    std::size_t close = t.find("}}", open);
    if (close == std::string_view::npos) throw std::logic_error("web page: unclosed {{");
    std::string_view tag = t.substr(open + 2, close - open - 2);
    i = close + 2;
    if (!tag.empty() && tag[0] == '?') {
      std::string_view name = tag.substr(1);
      std::string end = "{{/" + std::string(name) + "}}";
      std::size_t stop = t.find(end, i);
      if (stop == std::string_view::npos)
        throw std::logic_error("web page: {{?" + std::string(name) + "}} is not closed");
      auto it = values.find(name);
      if (it != values.end() && !it->second.empty()) out += render(t.substr(i, stop - i), values);
      i = stop + end.size();
      continue;
    }
    auto it = values.find(tag);
    if (it == values.end())
      throw std::logic_error("web page: no value for {{" + std::string(tag) + "}}");
    out += htmlEscape(it->second);
  }
}

// The code points of UTF-8 text, or nothing when it is not valid UTF-8 (overlong forms,
// surrogates and values past U+10FFFF included).
std::optional<std::u32string> decodeUtf8(std::string_view s) {
  std::u32string out;
  std::size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80             ? 0
                : (b & 0xE0) == 0xC0 ? 1
                : (b & 0xF0) == 0xE0 ? 2
                : (b & 0xF8) == 0xF0 ? 3
                                     : -1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size()) return std::nullopt;
    char32_t cp = extra == 0   ? b
                  : extra == 1 ? (b & 0x1Fu)
                  : extra == 2 ? (b & 0x0Fu)
                               : (b & 0x07u);
    for (int k = 1; k <= extra; ++k) {
      auto c = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      if ((c & 0xC0) != 0x80) return std::nullopt;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    static const char32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (cp < least[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    out += cp;
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

bool isControl(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool isBlank(char32_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == 0x3000;
}

std::string encodeUtf8(std::u32string_view s) {
  std::string out;
  for (char32_t c : s) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string urlDecode(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '+') {
      out += ' ';
    } else if (s[i] == '%' && i + 2 < s.size() && hexDigit(s[i + 1]) >= 0 &&
               hexDigit(s[i + 2]) >= 0) {
      out += static_cast<char>(hexDigit(s[i + 1]) * 16 + hexDigit(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// An application/x-www-form-urlencoded body; the first of repeated names counts.
std::map<std::string, std::string> parseForm(std::string_view body) {
  std::map<std::string, std::string> out;
  std::size_t i = 0;
  while (i <= body.size()) {
    std::size_t amp = body.find('&', i);
    if (amp == std::string_view::npos) amp = body.size();
    std::string_view pair = body.substr(i, amp - i);
    if (!pair.empty()) {
      std::size_t eq = pair.find('=');
      std::string name = urlDecode(pair.substr(0, eq));
      std::string value =
          eq == std::string_view::npos ? std::string() : urlDecode(pair.substr(eq + 1));
      out.emplace(std::move(name), std::move(value));
    }
    i = amp + 1;
  }
  return out;
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// "scheme://host[:port]" of an http(s) address, in lower case, without the scheme's default
// port; empty for anything else.
std::string originOf(std::string_view url) {
  std::size_t sep = url.find("://");
  if (sep == std::string_view::npos) return {};
  std::string scheme = lower(std::string(url.substr(0, sep)));
  if (scheme != "http" && scheme != "https") return {};
  std::string_view rest = url.substr(sep + 3);
  std::string authority = lower(std::string(rest.substr(0, rest.find_first_of("/?#"))));
  if (authority.empty() || authority.find('@') != std::string::npos) return {};
  const std::string defaultPort = scheme == "http" ? ":80" : ":443";
  if (authority.size() > defaultPort.size() &&
      authority.compare(authority.size() - defaultPort.size(), defaultPort.size(), defaultPort) ==
          0)
    authority.resize(authority.size() - defaultPort.size());
  return scheme + "://" + authority;
}

std::string cookieValue(const httplib::Request& req, std::string_view name) {
  std::string header = req.get_header_value("Cookie");
  std::size_t i = 0;
  while (i < header.size()) {
    std::size_t end = header.find(';', i);
    if (end == std::string::npos) end = header.size();
    std::string_view part(header.data() + i, end - i);
    while (!part.empty() && part.front() == ' ')
      part.remove_prefix(1);
    std::size_t eq = part.find('=');
    if (eq != std::string_view::npos && part.substr(0, eq) == name)
      return std::string(part.substr(eq + 1));
    i = end + 1;
  }
  return {};
}

bool lowerHex(std::string_view s, std::size_t length) {
  return s.size() == length && std::all_of(s.begin(), s.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

std::string randomHex(std::size_t bytes) {
  std::string hex;
  while (hex.size() < bytes * 2)
    hex += randomToken();
  return hex.substr(0, bytes * 2);
}

// A validator for conditional GETs: FNV-1a over the body.
std::string etagOf(std::string_view body) {
  std::uint64_t h = 1469598103934665603ull;
  for (char c : body) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  static const char* digits = "0123456789abcdef";
  std::string out = "\"";
  for (int shift = 60; shift >= 0; shift -= 4)
    out += digits[(h >> shift) & 0xF];
  return out + "\"";
}

std::string contentType(std::string_view path) {
  std::string ext = lower(std::string(path.substr(path.rfind('.') + 1)));
  if (ext == "htm" || ext == "html") return "text/html; charset=utf-8";
  if (ext == "css") return "text/css; charset=utf-8";
  if (ext == "js") return "text/javascript; charset=utf-8";
  if (ext == "svg") return "image/svg+xml";
  if (ext == "png") return "image/png";
  if (ext == "ico") return "image/x-icon";
  if (ext == "txt") return "text/plain; charset=utf-8";
  return "application/octet-stream";
}

std::string sizeText(std::uintmax_t bytes) {
  char buf[64];
  if (bytes >= 1024 * 1024)
    std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  else
    std::snprintf(buf, sizeof buf, "%.0f KB", static_cast<double>(bytes) / 1024.0 + 0.5);
  return buf;
}

// ---- the site -------------------------------------------------------------------------------

struct FieldErrors {
  std::string nick, password, password2;
  bool any() const { return !nick.empty() || !password.empty() || !password2.empty(); }
};

// The nickname as stored: surrounding blanks removed. Sets the message when it cannot be used.
std::string checkNick(const std::string& raw, std::string& error) {
  auto cps = decodeUtf8(raw);
  if (!cps) {
    error = kNickInvalid;
    return {};
  }
  std::u32string& s = *cps;
  std::size_t b = 0, e = s.size();
  while (b < e && isBlank(s[b]))
    ++b;
  while (e > b && isBlank(s[e - 1]))
    --e;
  std::u32string nick = s.substr(b, e - b);
  if (nick.empty()) {
    error = kNickEmpty;
  } else if (nick.size() > static_cast<std::size_t>(kNickMax)) {
    error = "昵称不能超过" + std::to_string(kNickMax) + "个字（现在是" +
            std::to_string(nick.size()) + "个字）。";
  } else if (std::any_of(nick.begin(), nick.end(), isControl)) {
    error = kNickControl;
  }
  return encodeUtf8(nick);
}

FieldErrors checkFields(const std::string& rawNick, std::string& nick, const std::string& password,
                        const std::string& password2) {
  FieldErrors e;
  nick = checkNick(rawNick, e.nick);
  auto pw = decodeUtf8(password);
  if (password.empty())
    e.password = kPasswordEmpty;
  else if (!pw || std::any_of(pw->begin(), pw->end(), isControl))
    e.password = kPasswordInvalid;
  else if (pw->size() < static_cast<std::size_t>(kPasswordMin))
    e.password = kPasswordShort;
  else if (pw->size() > static_cast<std::size_t>(kPasswordMax))
    e.password = kPasswordLong;
  if (password2.empty())
    e.password2 = kPassword2Empty;
  else if (password2 != password)
    e.password2 = kMismatch;
  return e;
}

class Site {
 public:
  Site(DataService& service, WebSettings settings) : service_(service), s_(std::move(settings)) {
    if (sodium_init() < 0) throw Error("The cryptography library could not start");
    // The key is derived from the configured secret, so that instances sharing it accept each
    // other's forms; without one, from a secret kept in the auth database for all of them.
    const std::string secret = s_.secret.empty() ? sharedSecret() : s_.secret;
    crypto_generichash(key_, sizeof key_, reinterpret_cast<const unsigned char*>(secret.data()),
                       secret.size(), nullptr, 0);
    publicOrigin_ = originOf(s_.publicUrl);
    secureCookie_ = publicOrigin_.rfind("https://", 0) == 0;
    if (!s_.clientPackage.empty()) {
      packageName_ = fs::path(s_.clientPackage).filename().string();
      if (packageName_.empty() ||
          packageName_.find_first_of("\"\\/;%?#&<>' ") != std::string::npos ||
          !decodeUtf8(packageName_))
        throw Error("the client package's file name cannot be offered for download: " +
                    s_.clientPackage);
    }
    std::string layout;
    for (const WebFile& f : webFiles()) {
      std::string_view p = f.path;
      if (p == "pages/_layout.htm")
        layout = std::string(f.bytes);
      else if (p.rfind("pages/", 0) == 0)
        pages_[std::string(p.substr(6))] = std::string(f.bytes);
      else if (p.rfind("assets/", 0) == 0)
        assets_[std::string(p.substr(7))] = f.bytes;
    }
    const std::string marker = "<!--content-->";
    std::size_t at = layout.find(marker);
    if (at == std::string::npos)
      throw std::logic_error("web site: the layout has no content marker");
    for (auto& [name, text] : pages_)
      text = layout.substr(0, at) + text + layout.substr(at + marker.size());
    for (auto& [name, bytes] : assets_)
      assetTags_[name] = etagOf(bytes);
  }

  void mount(httplib::Server& server, const std::shared_ptr<Site>& self) {
    auto get = [&server, self](const std::string& pattern,
                               void (Site::*handler)(const httplib::Request&, httplib::Response&)) {
      server.Get(pattern, [self, handler](const httplib::Request& req, httplib::Response& res) {
        ((*self).*handler)(req, res);
      });
    };
    get("/", &Site::getIndex);
    get("/index.htm", &Site::getIndex);
    get("/reg.htm", &Site::getReg);
    get("/download.htm", &Site::getDownload);
    get("/shop.htm", &Site::getShop);
    get("/support.htm", &Site::getSupport);
    get(R"(/assets/([A-Za-z0-9_.-]+))", &Site::getAsset);
    get(R"(/download/([^/]+))", &Site::getPackage);
    get(R"(/.*)", &Site::getMissing);
    // Read here rather than by the library, which refuses form bodies past 8 KB before any
    // handler runs: a too-long nickname deserves the form's own message.
    server.Post("/reg.htm", [self](const httplib::Request& req, httplib::Response& res,
                                   const httplib::ContentReader& content) {
      // Our form is sent form-encoded; anything else (a multipart or plain-text post, as another
      // site's form may send) is refused unread.
      if (lower(req.get_header_value("Content-Type"))
              .rfind("application/x-www-form-urlencoded", 0) != 0)
        return self->refuseForged(res);
      std::string body;
      bool tooLong = false;
      content([&](const char* data, std::size_t length) {
        if (body.size() + length > kMaxFormBytes) {
          tooLong = true;
          return false;
        }
        body.append(data, length);
        return true;
      });
      self->postReg(req, res, tooLong ? std::nullopt : std::optional<std::string>(body));
    });
  }

 private:
  enum class Nav { None, Index, Reg, Download, Shop, Support };

  // ---- pages ----

  Values common(const std::string& title, Nav nav, int depth = 0) const {
    std::string root;
    for (int i = 0; i < depth; ++i)
      root += "../";
    return Values{{"title", title},
                  {"root", root},
                  {"phone", s_.supportPhone},
                  {"nav_index", nav == Nav::Index ? "1" : ""},
                  {"nav_reg", nav == Nav::Reg ? "1" : ""},
                  {"nav_download", nav == Nav::Download ? "1" : ""},
                  {"nav_shop", nav == Nav::Shop ? "1" : ""},
                  {"nav_support", nav == Nav::Support ? "1" : ""}};
  }

  std::string page(const std::string& name, const Values& values) const {
    auto it = pages_.find(name);
    if (it == pages_.end()) throw std::logic_error("web site: no page " + name);
    return render(it->second, values);
  }

  static void securityHeaders(httplib::Response& res) {
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Referrer-Policy", "same-origin");
  }

  static void sendHtml(httplib::Response& res, int status, std::string body,
                       bool revalidate = false) {
    securityHeaders(res);
    // Scripts and styles come only from the site's own files: even a mistake in escaping could
    // not run a script, and no other site may frame the pages or receive the forms.
    res.set_header(
        "Content-Security-Policy",
        "default-src 'self'; img-src 'self' data:; style-src 'self'; script-src 'self'; "
        "object-src 'none'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'");
    res.set_header("X-Frame-Options", "DENY");
    // Pages holding a form token are never kept; the others are revalidated on every visit.
    res.set_header("Cache-Control", revalidate ? "no-cache" : "no-store");
    res.status = status;
    res.set_content(std::move(body), "text/html; charset=utf-8");
  }

  // A page that is the same for everyone: validated by its ETag.
  static void sendCachedHtml(const httplib::Request& req, httplib::Response& res,
                             std::string body) {
    std::string tag = etagOf(body);
    res.set_header("ETag", tag);
    if (req.get_header_value("If-None-Match") == tag) {
      securityHeaders(res);
      res.set_header("Cache-Control", "no-cache");
      res.status = 304;
      return;
    }
    sendHtml(res, 200, std::move(body), true);
  }

  void notice(httplib::Response& res, int status, const std::string& heading,
              const std::string& text, const std::string& link, const std::string& linkText,
              int depth = 0) const {
    Values v = common(heading, Nav::None, depth);
    v["heading"] = heading;
    v["text"] = text;
    v["link"] = link;
    v["link_text"] = linkText;
    sendHtml(res, status, page("_notice.htm", v));
  }

  void getIndex(const httplib::Request& req, httplib::Response& res) {
    sendCachedHtml(req, res, page("index.htm", common("首页", Nav::Index)));
  }

  void getShop(const httplib::Request& req, httplib::Response& res) {
    if (!s_.shopUrl.empty()) return redirect(res, s_.shopUrl);
    sendCachedHtml(req, res, page("shop.htm", common("商城", Nav::Shop)));
  }

  void getSupport(const httplib::Request& req, httplib::Response& res) {
    if (!s_.supportUrl.empty()) return redirect(res, s_.supportUrl);
    sendCachedHtml(req, res, page("support.htm", common("在线客服", Nav::Support)));
  }

  static void redirect(httplib::Response& res, const std::string& url) {
    securityHeaders(res);
    res.set_header("Cache-Control", "no-cache");
    res.set_redirect(url, 302);
  }

  void getDownload(const httplib::Request& req, httplib::Response& res) {
    Values v = common("下载客户端", Nav::Download);
    v["package"] = "";
    v["package_size"] = "";
    v["no_package"] = "1";
    std::error_code ec;
    // Looked at on every visit: a deployment replaces the file without restarting the service.
    if (!packageName_.empty() && fs::is_regular_file(s_.clientPackage, ec)) {
      v["package"] = packageName_;
      v["package_size"] = "大小 " + sizeText(fs::file_size(s_.clientPackage, ec));
      v["no_package"] = "";
    }
    sendCachedHtml(req, res, page("download.htm", v));
  }

  void getPackage(const httplib::Request& req, httplib::Response& res) {
    std::error_code ec;
    if (packageName_.empty() || req.matches[1] != packageName_ ||
        !fs::is_regular_file(s_.clientPackage, ec))
      return getMissing(req, res);
    auto file = std::make_shared<std::ifstream>(s_.clientPackage, std::ios::binary);
    const auto size = static_cast<std::size_t>(fs::file_size(s_.clientPackage, ec));
    if (!*file || ec) return getMissing(req, res);
    securityHeaders(res);
    res.set_header("Cache-Control", "no-cache");
    res.set_header("Content-Disposition", "attachment; filename=\"" + packageName_ + "\"");
    res.set_content_provider(
        size, "application/octet-stream",
        [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
          char buf[64 * 1024];
          file->seekg(static_cast<std::streamoff>(offset));
          std::size_t n = std::min(length, sizeof buf);
          file->read(buf, static_cast<std::streamsize>(n));
          if (file->gcount() <= 0) return false;
          return sink.write(buf, static_cast<std::size_t>(file->gcount()));
        });
  }

  void getAsset(const httplib::Request& req, httplib::Response& res) {
    auto it = assets_.find(req.matches[1]);
    if (it == assets_.end()) return getMissing(req, res);
    const std::string& tag = assetTags_.at(it->first);
    securityHeaders(res);
    res.set_header("ETag", tag);
    res.set_header("Cache-Control", "public, max-age=3600");
    if (req.get_header_value("If-None-Match") == tag) {
      res.status = 304;
      return;
    }
    res.set_content(std::string(it->second), contentType(it->first));
  }

  void getMissing(const httplib::Request& req, httplib::Response& res) {
    // Links stay right below a missing folder too ("/a/b" is one folder deep).
    int depth = static_cast<int>(std::count(req.path.begin(), req.path.end(), '/')) - 1;
    notice(res, 404, "找不到这个页面", "您要找的页面不存在，可能是地址输错了。", "./", "返回首页",
           std::clamp(depth, 0, 16));
  }

  // ---- the registration form ----

  std::string newToken(const std::string& cookie) const {
    const std::string nonce = randomHex(16);
    const auto issued =
        std::chrono::duration_cast<std::chrono::seconds>(s_.now().time_since_epoch()).count();
    const std::string signedPart = nonce + "." + std::to_string(issued);
    return signedPart + "." + mac(signedPart, cookie);
  }

  std::string mac(const std::string& signedPart, const std::string& cookie) const {
    // The token is bound to the browser's cookie: a token copied into another browser is useless.
    const std::string message = signedPart + "|" + cookie;
    unsigned char out[crypto_auth_hmacsha256_BYTES];
    crypto_auth_hmacsha256(out, reinterpret_cast<const unsigned char*>(message.data()),
                           message.size(), key_);
    std::string hex(sizeof out * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), out, sizeof out);
    hex.pop_back();
    return hex;
  }

  enum class TokenCheck { Valid, Forged, Expired };

  TokenCheck checkToken(const std::string& token, const std::string& cookie,
                        std::string& nonce) const {
    if (!lowerHex(cookie, 64)) return TokenCheck::Forged;
    std::size_t a = token.find('.');
    std::size_t b = a == std::string::npos ? a : token.find('.', a + 1);
    if (b == std::string::npos) return TokenCheck::Forged;
    nonce = token.substr(0, a);
    const std::string issuedText = token.substr(a + 1, b - a - 1);
    const std::string given = token.substr(b + 1);
    if (!lowerHex(nonce, 32) || !lowerHex(given, 64) || issuedText.empty() ||
        issuedText.size() > 12 || !std::all_of(issuedText.begin(), issuedText.end(), [](char c) {
          return c >= '0' && c <= '9';
        }))
      return TokenCheck::Forged;
    const std::string expected = mac(token.substr(0, b), cookie);
    if (sodium_memcmp(expected.data(), given.data(), expected.size()) != 0)
      return TokenCheck::Forged;
    const auto issued = std::chrono::seconds(std::stoll(issuedText));
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(s_.now().time_since_epoch());
    if (issued > now + std::chrono::seconds(60)) return TokenCheck::Forged;
    if (now - issued > s_.formLifetime) return TokenCheck::Expired;
    return TokenCheck::Valid;
  }

  // The form posted from a page of this site: the browser says where the post comes from
  // (Origin, or at least Referer), and it must be this service's public address or the address
  // the request was sent to.
  bool fromThisSite(const httplib::Request& req) const {
    std::vector<std::string> allowed;
    if (!publicOrigin_.empty()) allowed.push_back(publicOrigin_);
    const std::string host = req.get_header_value("Host");
    if (!host.empty()) {
      allowed.push_back(originOf("http://" + host));
      allowed.push_back(originOf("https://" + host));
    }
    auto ok = [&](const std::string& o) {
      return !o.empty() && std::find(allowed.begin(), allowed.end(), o) != allowed.end();
    };
    if (req.has_header("Origin")) return ok(originOf(req.get_header_value("Origin")));
    if (req.has_header("Referer")) return ok(originOf(req.get_header_value("Referer")));
    return false;
  }

  // The browser's form cookie, made when it has none.
  std::string formCookie(const httplib::Request& req, httplib::Response& res) const {
    std::string cookie = cookieValue(req, kCookie);
    if (lowerHex(cookie, 64)) return cookie;
    cookie = randomHex(32);
    res.set_header("Set-Cookie", std::string(kCookie) + "=" + cookie +
                                     "; Path=/; HttpOnly; SameSite=Strict" +
                                     (secureCookie_ ? "; Secure" : ""));
    return cookie;
  }

  void sendForm(const httplib::Request& req, httplib::Response& res, int status,
                const std::string& error, const std::string& nick, const FieldErrors& fields) {
    Values v = common("注册帐号", Nav::Reg);
    v["token"] = newToken(formCookie(req, res));
    v["error"] = error;
    v["nick"] = nick;
    v["nick_error"] = fields.nick;
    v["password_error"] = fields.password;
    v["password2_error"] = fields.password2;
    v["nick_max"] = std::to_string(kNickMax);
    v["password_min"] = std::to_string(kPasswordMin);
    v["msg_nick_empty"] = kNickEmpty;
    v["msg_nick_long"] = kNickLong;
    v["msg_password_empty"] = kPasswordEmpty;
    v["msg_password_short"] = kPasswordShort;
    v["msg_password2_empty"] = kPassword2Empty;
    v["msg_mismatch"] = kMismatch;
    v["msg_sending"] = kSending;
    sendHtml(res, status, page("reg.htm", v));
  }

  void sendDone(httplib::Response& res, const std::string& loginId, const std::string& nick,
                bool repeat) const {
    Values v = common("注册成功", Nav::Reg);
    v["login_id"] = loginId;
    v["nick"] = nick;
    v["repeat"] = repeat ? "1" : "";
    sendHtml(res, 200, page("_reg_done.htm", v));
  }

  void refuseForged(httplib::Response& res) const {
    notice(res, 403, "无法确认这次提交",
           "这次提交没有通过安全检查：它可能来自其他网站，或者浏览器没有保存本站的 Cookie。"
           "请重新打开注册页面填写；如果问题依旧，请允许浏览器保存本站的 Cookie。",
           "reg.htm", "重新打开注册页面");
  }

  void getReg(const httplib::Request& req, httplib::Response& res) {
    sendForm(req, res, 200, "", "", {});
  }

  // What became of a form already posted (its token is used once). The record is kept in the
  // auth database, so that every instance behind one address sees it.
  struct Submission {
    enum class State { Pending, Registered, Refused } state = State::Pending;
    std::string loginId, nick;
  };

  Lease store() { return service_.adminConnection(service_.authDatabase()); }

  static long long seconds(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
  }

  // The key signing the tokens when none is configured: one for all instances, made by the first.
  std::string sharedSecret() {
    Lease db = store();
    db->execute("INSERT IGNORE INTO auth_site_key (Name, KeyHex) VALUES ('form', " +
                quotedStr(randomHex(32)) + ")");
    auto key = db->scalar("SELECT KeyHex FROM auth_site_key WHERE Name = 'form'");
    if (!key) throw Error("The registration form's key could not be made");
    return *key;
  }

  // Forgets what no token can name any more (expired) and registrations older than the hour
  // that counts; at most once a minute per instance.
  void prune(long long now) {
    long long last = lastPrune_.load();
    if (now - last < 60 || !lastPrune_.compare_exchange_strong(last, now)) return;
    const long long keep = static_cast<long long>(s_.formLifetime.count()) + 300;
    try {
      Lease db = store();
      db->execute("DELETE FROM auth_form_use WHERE UsedAt < " + std::to_string(now - keep));
      db->execute("DELETE FROM auth_registration WHERE RegisteredAt <= " +
                  std::to_string(now - 3600));
      db->execute("DELETE FROM auth_registration_addr WHERE LastAt <= " +
                  std::to_string(now - 3600));
    } catch (const std::exception& e) {
      // Old records only take room; the registration goes on.
      std::cerr << "vlt-dataservice: forgetting old registration forms failed: " << e.what()
                << std::endl;
    }
  }

  // Marks the form used; false when it was used before, here or on another instance. The
  // primary key decides, so two posts of one form never both go on.
  bool claim(const std::string& nonce, long long now) {
    try {
      store()->execute("INSERT INTO auth_form_use (Nonce, UsedAt) VALUES (" + quotedStr(nonce) +
                       ", " + std::to_string(now) + ")");
      return true;
    } catch (const DbError& e) {
      if (e.code() == kDuplicateKey) return false;
      throw;
    }
  }

  // What became of a used form, waiting while its first post is still under way.
  Submission outcome(const std::string& nonce) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
      Packet p = store()->query(
          "SELECT State, IFNULL(CAST(LoginID AS CHAR), ''), NickName FROM auth_form_use "
          "WHERE Nonce = " +
          quotedStr(nonce));
      Submission done;
      if (p.rows.empty()) {
        done.state = Submission::State::Refused;  // forgotten meanwhile: only a fresh form helps
        return done;
      }
      const std::string state = p.rows[0][0].toText();
      if (state != "pending" || std::chrono::steady_clock::now() > until) {
        done.state =
            state == "registered" ? Submission::State::Registered : Submission::State::Refused;
        done.loginId = p.rows[0][1].toText();
        done.nick = p.rows[0][2].toText();
        return done;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  // Records the outcome of a form's first post. The outcome already happened: a failure to
  // record it only leaves a later repeat of the form without its answer.
  void settle(const std::string& nonce, Submission::State state, const std::string& loginId = {},
              const std::string& nick = {}) {
    const bool registered = state == Submission::State::Registered;
    try {
      store()->execute(std::string("UPDATE auth_form_use SET State = ") +
                       (registered ? "'registered'" : "'refused'") +
                       ", LoginID = " + (registered ? quotedStr(loginId) : "NULL") +
                       ", NickName = " + quotedStr(nick) + " WHERE Nonce = " + quotedStr(nonce));
    } catch (const std::exception& e) {
      std::cerr << "vlt-dataservice: recording a registration form failed: " << e.what()
                << std::endl;
    }
  }

  // Takes a slot of the address's hourly allowance for the form; false when it is used up. The
  // address's row is locked while counting, so instances sharing the database count together.
  bool takeSlot(const std::string& address, const std::string& nonce, long long now) {
    const std::string addr = quotedStr(address.substr(0, 64));
    for (int attempt = 0;; ++attempt) {
      Lease db = store();
      try {
        db->execute("START TRANSACTION");
        db->execute("INSERT INTO auth_registration_addr (ClientAddr, LastAt) VALUES (" + addr +
                    ", " + std::to_string(now) +
                    ") ON DUPLICATE KEY UPDATE LastAt = GREATEST(LastAt, VALUES(LastAt))");
        const long long taken = std::stoll(
            db->scalar("SELECT COUNT(*) FROM auth_registration WHERE ClientAddr = " + addr +
                       " AND RegisteredAt > " + std::to_string(now - 3600))
                .value_or("0"));
        const bool free = taken < std::max(0, s_.registrationsPerHour);
        if (free)
          db->execute("INSERT INTO auth_registration (Nonce, ClientAddr, RegisteredAt) VALUES (" +
                      quotedStr(nonce) + ", " + addr + ", " + std::to_string(now) + ")");
        db->execute("COMMIT");
        return free;
      } catch (const DbError& e) {
        db.discard();  // the transaction may still be open on it
        if (!e.retryable() || attempt >= 4) throw;
      }
    }
  }

  void giveBackSlot(const std::string& nonce) {
    try {
      store()->execute("DELETE FROM auth_registration WHERE Nonce = " + quotedStr(nonce));
    } catch (const std::exception& e) {
      std::cerr << "vlt-dataservice: returning a registration slot failed: " << e.what()
                << std::endl;
    }
  }

  // The databases failed: nothing was made, and the form may be filled in again.
  void notUnderWay(httplib::Response& res) const {
    notice(res, 500, "注册没有完成", "服务暂时无法创建帐号，请稍后重新注册。", "reg.htm",
           "重新打开注册页面");
  }

  void postReg(const httplib::Request& req, httplib::Response& res,
               const std::optional<std::string>& body) {
    if (!body)
      return notice(res, 413, "提交的内容过长", "这次提交的内容超出了注册表单的长度，请重新填写。",
                    "reg.htm", "重新打开注册页面");
    if (!fromThisSite(req)) return refuseForged(res);
    auto form = parseForm(*body);
    const std::string rawNick = form["nick"];
    const std::string password = form["password"];
    const std::string password2 = form["password2"];
    // The nickname goes back into the form as typed, unless it is not text at all.
    const std::string echo = decodeUtf8(rawNick) ? rawNick : std::string();
    std::string nonce;
    switch (checkToken(form["token"], cookieValue(req, kCookie), nonce)) {
      case TokenCheck::Forged:
        return refuseForged(res);
      case TokenCheck::Expired:
        return sendForm(req, res, 200, kExpired, echo, {});
      case TokenCheck::Valid:
        break;
    }

    const long long now = seconds(s_.now());
    prune(now);
    try {
      if (!claim(nonce, now)) {
        // A second submit of the same form (a double click, a reload): it answers what the
        // first one did, waiting for it when it is still under way.
        const Submission done = outcome(nonce);
        if (done.state == Submission::State::Registered)
          return sendDone(res, done.loginId, done.nick, true);
        return sendForm(req, res, 409, kResubmitted, echo, {});
      }
    } catch (const std::exception& e) {
      std::cerr << "vlt-dataservice: registration form not recorded: " << e.what() << std::endl;
      return notUnderWay(res);
    }

    std::string nick;
    FieldErrors errors = checkFields(rawNick, nick, password, password2);
    if (errors.any()) {
      settle(nonce, Submission::State::Refused);
      return sendForm(req, res, 422, kFix, echo, errors);
    }
    const std::string address = clientAddress(req, s_.trustedProxies);
    std::string loginId;
    try {
      if (!takeSlot(address, nonce, now)) {
        settle(nonce, Submission::State::Refused);
        return notice(res, 429, "注册过于频繁",
                      "同一网络一小时内最多注册" + std::to_string(s_.registrationsPerHour) +
                          "个帐号，请稍后再试。如需更多帐号，请联系客服。",
                      "./", "返回首页");
      }
      try {
        loginId = service_.CreateUser(nick, password);
      } catch (...) {
        giveBackSlot(nonce);
        throw;
      }
    } catch (const std::exception& e) {
      settle(nonce, Submission::State::Refused);
      std::cerr << "vlt-dataservice: registration from " << address << " failed: " << e.what()
                << std::endl;
      return notUnderWay(res);
    }
    settle(nonce, Submission::State::Registered, loginId, nick);
    std::cerr << "vlt-dataservice: registered login ID " << loginId << " from " << address
              << std::endl;
    sendDone(res, loginId, nick, false);
  }

  DataService& service_;
  WebSettings s_;
  unsigned char key_[crypto_auth_hmacsha256_KEYBYTES];
  std::string publicOrigin_;
  bool secureCookie_ = false;
  std::string packageName_;
  std::map<std::string, std::string> pages_;  // file name -> the layout around the page
  std::map<std::string, std::string_view> assets_;
  std::map<std::string, std::string> assetTags_;

  std::atomic<long long> lastPrune_{0};
};

}  // namespace

void mountWeb(httplib::Server& server, DataService& service, WebSettings settings) {
  auto site = std::make_shared<Site>(service, std::move(settings));
  site->mount(server, site);
}

std::string clientAddress(const httplib::Request& req,
                          const std::vector<std::string>& trustedProxies) {
  const std::string& peer = req.remote_addr;
  const std::size_t headers = req.get_header_value_count("X-Forwarded-For");
  if (headers == 0 ||
      std::find(trustedProxies.begin(), trustedProxies.end(), peer) == trustedProxies.end())
    return peer;
  const std::string list = req.get_header_value("X-Forwarded-For", headers - 1);
  std::size_t comma = list.rfind(',');
  std::string last = list.substr(comma == std::string::npos ? 0 : comma + 1);
  last.erase(0, last.find_first_not_of(" \t"));
  last.erase(last.find_last_not_of(" \t") + 1);
  const bool ip = !last.empty() && last.size() <= 45 &&
                  last.find_first_not_of("0123456789abcdefABCDEF:.") == std::string::npos;
  return ip ? last : peer;
}

std::string defaultPublicUrl(const std::string& host, int port, bool tls) {
  std::string h = host;
  if (h.empty() || h == "0.0.0.0" || h == "::" || h == "[::]") {
    char name[256] = {};
    h = ::gethostname(name, sizeof name - 1) == 0 && name[0] ? name : "localhost";
  }
  if (h.find(':') != std::string::npos && h.front() != '[') h = "[" + h + "]";
  return std::string(tls ? "https" : "http") + "://" + h + ":" + std::to_string(port);
}

void publishDownloadAddress(const DbEndpoint& admin, const std::string& systemDatabase,
                            const std::string& address, bool replaceAny) {
  DbEndpoint e = admin;
  e.database = systemDatabase;
  auto db = Connection::open(e);
  std::string sql =
      "UPDATE sys_autoupdateinfo SET DownLoadURL = " + quotedStr(address) + " WHERE id = -99";
  if (!replaceAny)
    sql +=
        " AND (DownLoadURL = '' OR DownLoadURL = 'http://localhost:8080/download/' OR "
        "DownLoadURL LIKE " +
        quotedStr("%/" + std::string(kDownloadPage)) + ")";
  db->execute(sql);
}

}  // namespace vlt::server

// vlt-dataservice: the data service of the desktop client.
#include <httplib.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "demo.h"
#include "health.h"
#include "http.h"
#include "privatedb.h"
#include "service.h"
#include "vlt/heap.h"
#include "web.h"

namespace fs = std::filesystem;
using namespace vlt::server;

namespace {

const char* kHelp = R"(vlt-dataservice - the data service of the desktop client

Usage: vlt-dataservice [options]

Without database options the service runs its own private MariaDB server in the data folder
(created on first start, unix socket only) and stops it when it ends.

Options:
  --listen HOST:PORT     address to serve HTTP on (default 127.0.0.1:8700)
  --data DIR             data folder (default $XDG_DATA_HOME/vlt or ~/.local/share/vlt)
  --private-db-port N    let the private server also listen on 127.0.0.1:N (default: socket only);
                         its root account's password is in DATA/db/admin-password
  --db-socket PATH       use an external MariaDB server through this unix socket
  --db-host HOST         use an external MariaDB server over TCP (with --db-port, default 3306)
  --db-user USER         administrative account of the external server (default root)
  --db-password PW       its password (or the environment variable VLT_DB_PASSWORD)
  --db-wait N            seconds the start keeps trying a database that does not answer yet
                         (default 60)
  --prefix NAME          database name prefix (default vlt): NAME_sys, NAME_auth, NAME_<set id>
  --tls-cert FILE        serve HTTPS with this certificate (PEM) ...
  --tls-key FILE         ... and this private key (PEM)
  --threads N            HTTP workers (default 64)
  --max-statement-seconds N
                         time a client statement may run before the database stops it (default 30)
  --max-answer-mib N     bytes one answer may carry, in MiB (default 128)
  --create-user NICK PW  create a user, print the new login ID, and exit
  --seed-demo            make sure a demo user with an account set exists (kept in
                         DATA/demo-login.txt) and print its sign-in, then serve
  --prepare-only         create or upgrade the databases and exit

Account sets over several database servers (administrator's commands; each exits when done):
  --add-db-server NAME ADDRESS
                         register a server that may hold account sets: HOST:PORT or a socket path,
                         its administrative account from --server-user (default root) and
                         --server-password (or VLT_SERVER_PASSWORD); new sets go to the server
                         holding the fewest
  --db-servers           list the servers with the number of account sets each holds
  --move-account-set SET NAME
                         copy an account set to server NAME, switch it there and remove the old
                         copy; refused while its owner or an operator is signed in (a set not
                         made yet will be made there)
  --help                 this text

The web site (the pages the client opens: "", reg.htm, download.htm, shop.htm, support.htm):
  --public-url URL       how browsers and clients reach this service, e.g. https://vlt.example.com
                         (default http(s)://HOST:PORT of --listen; a wildcard host becomes this
                         machine's name). Registration posts must come from this address or the
                         one the request was sent to.
  --download-url URL     address written into the version row at start (the update window opens
                         it); default PUBLIC-URL/download.htm, which replaces only an address of
                         the service's own making, never one a deployment put there
  --client-package FILE  installer the download page offers (default: none; the page says so)
  --support-url URL      send support.htm there instead of the site's own support page
  --shop-url URL         send shop.htm there instead of the site's own shop page
  --registrations-per-hour N
                         accounts one client address may register per hour (default 3)
  --trusted-proxy ADDR   a load balancer's address (repeatable): its requests count for the address
                         it puts last in X-Forwarded-For
  --web-secret TEXT      key signing the registration forms (or VLT_WEB_SECRET); instances behind
                         one address need the same one (default: one the auth database keeps)

Requests: POST /api/<Operation> with a JSON body; pages by GET; see server/README.md.
)";

volatile sig_atomic_t stopRequested = 0;
httplib::Server* runningServer = nullptr;

void onSignal(int) {
  stopRequested = 1;
  if (runningServer) runningServer->stop();
}

fs::path defaultDataFolder() {
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) return fs::path(x) / "vlt";
  if (const char* h = std::getenv("HOME"); h && *h) return fs::path(h) / ".local/share/vlt";
  return fs::current_path() / "vlt-data";
}

}  // namespace

int main(int argc, char** argv) {
  vlt::KeepFreedMemory();
  std::string listen = "127.0.0.1:8700";
  fs::path data = defaultDataFolder();
  ServiceSettings settings;
  std::string dbSocket, dbHost;
  unsigned dbPort = 3306;
  int privatePort = 0;
  std::optional<std::pair<std::string, std::string>> createUser;
  bool prepareOnly = false;
  std::optional<DbServer> addServer;
  std::optional<std::pair<std::string, std::string>> moveSet;
  bool listServers = false;
  std::string serverUser = "root", serverPassword;
  if (const char* pw = std::getenv("VLT_SERVER_PASSWORD")) serverPassword = pw;
  bool seedDemo = false;
  std::string tlsCert, tlsKey;
  int threads = 64;
  WebSettings web;
  std::string downloadUrl;
  if (const char* secret = std::getenv("VLT_WEB_SECRET")) web.secret = secret;
  if (const char* pw = std::getenv("VLT_DB_PASSWORD")) settings.admin.password = pw;

  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::cerr << "vlt-dataservice: " << a << " needs a value\n";
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      std::cout << kHelp;
      return 0;
    } else if (a == "--listen") {
      listen = value();
    } else if (a == "--data") {
      data = value();
    } else if (a == "--private-db-port") {
      privatePort = std::stoi(value());
    } else if (a == "--db-socket") {
      dbSocket = value();
    } else if (a == "--db-host") {
      dbHost = value();
    } else if (a == "--db-port") {
      dbPort = static_cast<unsigned>(std::stoul(value()));
    } else if (a == "--db-user") {
      settings.admin.user = value();
    } else if (a == "--db-password") {
      settings.admin.password = value();
    } else if (a == "--db-wait") {
      settings.startWait = std::chrono::seconds(std::stoul(value()));
    } else if (a == "--prefix") {
      settings.prefix = value();
    } else if (a == "--create-user") {
      std::string nick = value();
      createUser = std::make_pair(nick, value());
    } else if (a == "--tls-cert") {
      tlsCert = value();
    } else if (a == "--tls-key") {
      tlsKey = value();
    } else if (a == "--threads") {
      threads = std::max(1, std::stoi(value()));
    } else if (a == "--max-statement-seconds") {
      settings.maxStatementSeconds = std::max(1.0, std::stod(value()));
    } else if (a == "--max-answer-mib") {
      settings.maxAnswerBytes = std::uint64_t(std::max(1, std::stoi(value()))) << 20;
    } else if (a == "--public-url") {
      web.publicUrl = value();
    } else if (a == "--download-url") {
      downloadUrl = value();
    } else if (a == "--client-package") {
      web.clientPackage = value();
    } else if (a == "--support-url") {
      web.supportUrl = value();
    } else if (a == "--shop-url") {
      web.shopUrl = value();
    } else if (a == "--registrations-per-hour") {
      web.registrationsPerHour = std::max(0, std::stoi(value()));
    } else if (a == "--trusted-proxy") {
      web.trustedProxies.push_back(value());
    } else if (a == "--web-secret") {
      web.secret = value();
    } else if (a == "--seed-demo") {
      seedDemo = true;
    } else if (a == "--prepare-only") {
      prepareOnly = true;
    } else if (a == "--add-db-server") {
      addServer.emplace();
      addServer->name = value();
      const std::string address = value();
      if (address.find('/') != std::string::npos) {
        addServer->admin.socket = address;
      } else {
        const auto colon = address.rfind(':');
        addServer->admin.host = address.substr(0, colon);
        if (colon != std::string::npos)
          addServer->admin.port = static_cast<unsigned>(std::stoul(address.substr(colon + 1)));
      }
    } else if (a == "--server-user") {
      serverUser = value();
    } else if (a == "--server-password") {
      serverPassword = value();
    } else if (a == "--db-servers") {
      listServers = true;
    } else if (a == "--move-account-set") {
      std::string set = value();
      moveSet = std::make_pair(set, value());
    } else {
      std::cerr << "vlt-dataservice: unknown option " << a << " (see --help)\n";
      return 2;
    }
  }

  std::optional<PrivateMariaDb> privateDb;
  try {
    if (!dbHost.empty()) {
      settings.admin.host = dbHost;
      settings.admin.port = dbPort;
      settings.accountHost = "%";
    } else if (!dbSocket.empty()) {
      settings.admin.socket = dbSocket;
    } else {
      privateDb.emplace(PrivateDbOptions{data / "db", privatePort, "", true});
      std::cerr << "Starting the private database in " << privateDb->folder() << " ...\n";
      privateDb->start();
      settings.admin.socket = privateDb->socketPath();
      settings.admin.user = "root";
      settings.admin.password = privateDb->adminPassword();
    }
    DataService service(settings);
    service.prepare();
    if (seedDemo) {
      fs::path file = data / "demo-login.txt";
      std::ifstream in(file);
      std::string id, password;
      if (!(in >> id >> password)) {
        password = "demo1234";
        id = service.CreateUser("演示用户", password);
        Caller c{id, "local"};
        std::string status = service.CreateUserDB(c, id, id + "_01", "演示帐套", "True");
        if (status != "0") throw std::runtime_error("creating the demo account set: " + status);
        status = seedDemoData(service, c, id + "_01");
        if (status != "0") throw std::runtime_error("filling the demo account set: " + status);
        fs::create_directories(data);
        std::ofstream(file) << id << " " << password << "\n";
      }
      std::cout << "Demo sign-in: login ID " << id << ", password " << password << " (account set "
                << id << "_01)" << std::endl;
    }
    if (addServer) {
      addServer->admin.user = serverUser;
      addServer->admin.password = serverPassword;
      service.placement().addServer(*addServer);
    }
    if (moveSet) std::cout << service.MoveAccountSet(moveSet->first, moveSet->second) << "\n";
    if (listServers || addServer)
      for (const auto& [name, sets] : service.placement().census())
        std::cout << name << "\t" << sets << "\n";
    if (createUser) {
      std::cout << service.CreateUser(createUser->first, createUser->second) << "\n";
    } else if (!prepareOnly && !addServer && !moveSet && !listServers) {
      auto colon = listen.rfind(':');
      std::string host = colon == std::string::npos ? listen : listen.substr(0, colon);
      int port = colon == std::string::npos ? 8700 : std::stoi(listen.substr(colon + 1));
      if (tlsCert.empty() != tlsKey.empty()) throw std::runtime_error("--tls-cert needs --tls-key");
      auto server =
          std::make_unique<HttpServer>(threads, std::chrono::seconds(10), tlsCert, tlsKey);
      HttpSettings http;
      // A quarter of the workers stay free for sign-in, registration and the pages.
      http.maxBusyCalls = std::max(1, threads * 3 / 4);
      http.trustedProxies = web.trustedProxies;
      mountHealth(*server, service);
      mountApi(*server, service, http);
      runningServer = server.get();
      signal(SIGINT, onSignal);
      signal(SIGTERM, onSignal);
      const int bound = bindServer(*server, host, port);
      if (bound < 0) {
        std::cerr << "vlt-dataservice: cannot listen on " << listen << "\n";
        if (privateDb) privateDb->stop();
        return 1;
      }
      // The address is known once bound (port 0 takes any free port).
      if (web.publicUrl.empty()) web.publicUrl = defaultPublicUrl(host, bound, !tlsCert.empty());
      while (web.publicUrl.size() > 1 && web.publicUrl.back() == '/')
        web.publicUrl.pop_back();
      mountWeb(*server, service, web);
      publishDownloadAddress(
          settings.admin, service.systemDatabase(),
          downloadUrl.empty() ? web.publicUrl + "/" + std::string(kDownloadPage) : downloadUrl,
          !downloadUrl.empty());
      const std::string scheme = tlsCert.empty() ? "http" : "https";
      const std::string bare = host.find(':') != std::string::npos ? "[" + host + "]" : host;
      std::cerr << "vlt-dataservice listening on " << scheme << "://" << bare << ":" << bound
                << "/api/ (web site " << web.publicUrl << "/)" << std::endl;
      server->listen_after_bind();
      runningServer = nullptr;
    }
  } catch (const std::exception& e) {
    std::cerr << "vlt-dataservice: " << e.what() << "\n";
    if (privateDb) privateDb->stop();
    return 1;
  }
  if (privateDb) privateDb->stop();
  return 0;
}

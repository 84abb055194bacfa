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
#include "http.h"
#include "privatedb.h"
#include "service.h"

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
  --private-db-port N    let the private server also listen on 127.0.0.1:N (default: socket only)
  --db-socket PATH       use an external MariaDB server through this unix socket
  --db-host HOST         use an external MariaDB server over TCP (with --db-port, default 3306)
  --db-user USER         administrative account of the external server (default root)
  --db-password PW       its password (or the environment variable VLT_DB_PASSWORD)
  --prefix NAME          database name prefix (default vlt): NAME_sys, NAME_auth, NAME_<set id>
  --tls-cert FILE        serve HTTPS with this certificate (PEM) ...
  --tls-key FILE         ... and this private key (PEM)
  --threads N            HTTP workers (default 64)
  --create-user NICK PW  create a user, print the new login ID, and exit
  --seed-demo            make sure a demo user with an account set exists (kept in
                         DATA/demo-login.txt) and print its sign-in, then serve
  --prepare-only         create or upgrade the databases and exit
  --help                 this text

Requests: POST /api/<Operation> with a JSON body; see server/README.md.
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
  std::string listen = "127.0.0.1:8700";
  fs::path data = defaultDataFolder();
  ServiceSettings settings;
  std::string dbSocket, dbHost;
  unsigned dbPort = 3306;
  int privatePort = 0;
  std::optional<std::pair<std::string, std::string>> createUser;
  bool prepareOnly = false;
  bool seedDemo = false;
  std::string tlsCert, tlsKey;
  int threads = 64;
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
    } else if (a == "--seed-demo") {
      seedDemo = true;
    } else if (a == "--prepare-only") {
      prepareOnly = true;
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
      privateDb.emplace(PrivateDbOptions{data / "db", privatePort, ""});
      std::cerr << "Starting the private database in " << privateDb->folder() << " ...\n";
      privateDb->start();
      settings.admin.socket = privateDb->socketPath();
      settings.admin.user = "root";
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
    if (createUser) {
      std::cout << service.CreateUser(createUser->first, createUser->second) << "\n";
    } else if (!prepareOnly) {
      auto colon = listen.rfind(':');
      std::string host = colon == std::string::npos ? listen : listen.substr(0, colon);
      int port = colon == std::string::npos ? 8700 : std::stoi(listen.substr(colon + 1));
      if (tlsCert.empty() != tlsKey.empty()) throw std::runtime_error("--tls-cert needs --tls-key");
      std::unique_ptr<httplib::Server> server;
      if (!tlsCert.empty()) {
        auto tls = std::make_unique<httplib::SSLServer>(tlsCert.c_str(), tlsKey.c_str());
        if (!tls->is_valid()) throw std::runtime_error("the TLS certificate or key cannot be used");
        server = std::move(tls);
      } else {
        server = std::make_unique<httplib::Server>();
      }
      tuneServer(*server, threads);
      mountApi(*server, service);
      runningServer = server.get();
      signal(SIGINT, onSignal);
      signal(SIGTERM, onSignal);
      if (bindServer(*server, host, port) < 0) {
        std::cerr << "vlt-dataservice: cannot listen on " << listen << "\n";
        if (privateDb) privateDb->stop();
        return 1;
      }
      std::cerr << "vlt-dataservice listening on " << (tlsCert.empty() ? "http" : "https") << "://"
                << listen << "/api/\n";
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

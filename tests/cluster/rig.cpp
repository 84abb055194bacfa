#include "rig.h"

#include <fcntl.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

#include "account_check.h"
#include "service.h"
#include "vlt/dataset.h"
#include "vlt/servermethods.h"
#include "vlt/sqltext.h"

extern char** environ;

namespace vlt::cluster {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using server::Connection;
using server::DbEndpoint;

// ---- processes -----------------------------------------------------------------------------

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             const fs::path& log) {
  // Everything the child needs is made before fork: only exec-safe calls after it.
  std::vector<std::string> envText;
  for (char** e = environ; *e; ++e)
    envText.emplace_back(*e);
  for (const std::string& e : env) {
    const std::string name = e.substr(0, e.find('=') + 1);
    std::erase_if(envText, [&](const std::string& x) { return x.rfind(name, 0) == 0; });
    envText.push_back(e);
  }
  std::vector<char*> args, envp;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& e : envText)
    envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (out < 0) throw Error("Cannot write " + log.string());
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ < 0) {
    ::close(out);
    throw Error("fork failed");
  }
  if (pid_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(out, 1);
    ::dup2(out, 2);
    ::execve(args[0], args.data(), envp.data());
    ::_exit(127);
  }
  ::close(out);
}

Child& Child::operator=(Child&& o) noexcept {
  if (this != &o) {
    kill();
    pid_ = o.pid_;
    o.pid_ = 0;
  }
  return *this;
}

void Child::kill(int signal) {
  if (pid_ <= 0) return;
  ::kill(pid_, signal);
  ::waitpid(pid_, nullptr, 0);
  pid_ = 0;
}

bool Child::running() {
  if (pid_ <= 0) return false;
  if (::waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = 0;
  return pid_ > 0;
}

int freePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    if (fd >= 0) ::close(fd);
    throw Error("No free port");
  }
  ::close(fd);
  return ntohs(a.sin_port);
}

void waitHealthy(int port, std::chrono::seconds timeout) {
  const auto deadline = Clock::now() + timeout;
  httplib::Client c("127.0.0.1", port);
  c.set_connection_timeout(1);
  c.set_read_timeout(2);
  while (true) {
    auto r = c.Get("/health");
    if (r && r->status == 200) return;
    if (Clock::now() > deadline)
      throw Error("Nothing healthy on port " + std::to_string(port) + " in time");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

std::vector<std::string> instanceArgs(const fs::path& program, int port, const DbEndpoint& db,
                                      int publicPort) {
  return {program.string(),
          "--listen",
          "127.0.0.1:" + std::to_string(port),
          "--db-host",
          db.host,
          "--db-port",
          std::to_string(db.port),
          "--db-user",
          db.user,
          "--public-url",
          "http://127.0.0.1:" + std::to_string(publicPort),
          "--trusted-proxy",
          "127.0.0.1"};
}

std::vector<std::string> instanceEnv(const DbEndpoint& db) {
  return {"VLT_DB_PASSWORD=" + db.password};
}

std::string balancerConfig(int sqlPort, const std::vector<int>& nodePorts, int httpPort,
                           const std::vector<int>& instancePorts) {
  // As deploy/galera-haproxy.cfg and deploy/haproxy.cfg, on the run's ports.
  std::ostringstream c;
  c << "global\n    maxconn 2048\n\n"
       "defaults\n    timeout connect 3s\n    timeout client 8h\n    timeout server 8h\n\n";
  if (!nodePorts.empty()) {
    c << "listen galera\n    mode tcp\n    bind 127.0.0.1:" << sqlPort
      << "\n    option tcpka\n    option mysql-check user haproxy_check post-41\n"
         "    balance first\n    stick-table type integer size 4k\n    stick on int(1)\n"
         "    default-server inter 1s fall 2 rise 3 on-marked-down shutdown-sessions\n";
    for (std::size_t i = 0; i < nodePorts.size(); ++i)
      c << "    server node" << i + 1 << " 127.0.0.1:" << nodePorts[i] << " check"
        << (i ? " backup" : "") << "\n";
    c << "\n";
  }
  c << "listen vlt\n    mode http\n    bind 127.0.0.1:" << httpPort
    << "\n    option forwardfor\n    timeout http-request 15s\n    timeout client 300s\n"
       "    timeout server 300s\n    retries 2\n    option redispatch\n    balance leastconn\n"
       "    option httpchk\n    http-check send meth GET uri /health\n"
       "    http-check expect status 200\n    default-server inter 1s fall 2 rise 2\n";
  for (std::size_t i = 0; i < instancePorts.size(); ++i)
    c << "    server vlt" << i + 1 << " 127.0.0.1:" << instancePorts[i] << " check\n";
  return c.str();
}

Deployment::Deployment(const fs::path& program, const fs::path& haproxy, const fs::path& dir,
                       int nodes, int count, int writeSetCacheMegabytes)
    : dataservice(program), folder(dir) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  // Small servers: they share the machine with the instances and the clients.
  const std::string serverArgs = "--innodb-buffer-pool-size=32M --innodb-log-file-size=16M";
  for (int i = 0; i < count; ++i)
    instancePorts.push_back(freePort());
  if (nodes > 0) {
    server::GaleraOptions g;
    g.folder = folder / "galera";
    g.nodes = nodes;
    g.extraArgs = serverArgs;
    g.writeSetCacheMegabytes = writeSetCacheMegabytes;
    cluster = std::make_unique<server::GaleraCluster>(g);
    cluster->start();
    auto root = Connection::open(cluster->endpoint(0));
    root->execute("CREATE USER IF NOT EXISTS 'haproxy_check'@'127.0.0.1'");
    const int sqlPort = freePort();
    httpPort = freePort();
    std::vector<int> nodePorts;
    for (int i = 0; i < nodes; ++i)
      nodePorts.push_back(cluster->sqlPort(i));
    std::ofstream(folder / "haproxy.cfg")
        << balancerConfig(sqlPort, nodePorts, httpPort, instancePorts);
    balancer = Child({haproxy.string(), "-db", "-f", (folder / "haproxy.cfg").string()}, {},
                     folder / "haproxy.log");
    db = cluster->endpoint(0);
    db.port = static_cast<unsigned>(sqlPort);
    // The balancer's first checks pass before anything connects through it.
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (true) {
      try {
        Connection::open(db)->scalar("SELECT 1");
        break;
      } catch (const std::exception&) {
        if (Clock::now() > deadline) throw;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
      }
    }
  } else {
    // The same server options as a node, without replication.
    const int dbPort = freePort();
    single = std::make_unique<server::PrivateMariaDb>(
        server::PrivateDbOptions{.folder = folder / "db",
                                 .tcpPort = dbPort,
                                 .extraArgs = serverArgs + " --innodb-flush-log-at-trx-commit=0",
                                 .stopWithParent = true});
    single->start();
    db.host = "127.0.0.1";
    db.port = static_cast<unsigned>(dbPort);
    db.user = "root";
    db.password = single->adminPassword();
    httpPort = instancePorts.front();
  }
  url = "http://127.0.0.1:" + std::to_string(httpPort);
  // The instances prepare the databases themselves, one after the other.
  server::ServiceSettings s;
  s.admin = db;
  s.accountHost = "%";
  server::DataService(s).prepare();
  for (std::size_t i = 0; i < instancePorts.size(); ++i)
    instances.emplace_back();
  for (std::size_t i = 0; i < instancePorts.size(); ++i)
    startInstance(i);
  waitHealthy(httpPort, std::chrono::seconds(30));
}

void Deployment::startInstance(std::size_t i) {
  instances[i] = Child(instanceArgs(dataservice, instancePorts[i], db, httpPort), instanceEnv(db),
                       folder / ("instance" + std::to_string(i + 1) + ".log"));
  waitHealthy(instancePorts[i], std::chrono::seconds(60));
}

// ---- the account set -----------------------------------------------------------------------

namespace {

constexpr const char* kMainStore = "100000000000001";
constexpr int kGoods = 200;

std::string seedId(int kind, int n) {
  char id[16];
  std::snprintf(id, sizeof id, "1000000%02d%06d", kind, n);
  return id;
}

}  // namespace

Workplace prepareWorkplace(const DbEndpoint& admin, int clerks) {
  server::ServiceSettings s;
  s.admin = admin;
  s.accountHost = "%";
  s.fastHashing = true;
  server::DataService service(s);
  service.prepare();
  Workplace w;
  w.password = "cluster owner pw";
  w.owner = service.CreateUser("店主", w.password);
  w.set = w.owner + "_01";
  server::Caller c{w.owner, "127.0.0.1"};
  const std::string status = service.CreateUserDB(c, w.owner, w.set, "集群帐套", "False");
  if (status != "0") throw Error("Creating the account set: " + status);
  {
    DbEndpoint sys = admin;
    sys.database = s.prefix + "_sys";
    auto db = Connection::open(sys);
    for (int i = 0; i < clerks; ++i) {
      w.clerks.push_back(service.CreateUser("店员" + std::to_string(i), w.password));
      db->execute("INSERT INTO userdatabaseoperator (UserDBID, UserID) VALUES (" +
                  quotedStr(w.set) + ", " + w.clerks.back() + ")");
    }
  }
  DbEndpoint e = admin;
  e.database = s.prefix + "_" + w.set;
  auto db = Connection::open(e);
  db->begin();
  w.account = seedId(30, 1);
  db->execute("INSERT INTO td_account (Id, Name) VALUES (" + quotedStr(w.account) + ", '现金')");
  db->execute("INSERT INTO td_unit (Id, Name) VALUES ('100000000000101', '个')");
  std::string goods;
  for (int i = 0; i < kGoods; ++i) {
    w.goods.push_back(seedId(10, i));
    goods += std::string(goods.empty() ? "" : ",") + "(" + quotedStr(w.goods.back()) + ",'G" +
             std::to_string(i) + "','货品" + std::to_string(i) + "','100000000000101')";
  }
  db->execute("INSERT INTO td_goods (Id, Code, Name, UnitID) VALUES " + goods);
  for (int i = 0; i < 8; ++i) {
    const bool customer = i % 2;
    auto& list = customer ? w.customers : w.vendors;
    list.push_back(seedId(20, i));
    db->execute("INSERT INTO td_trader (Id, Name, IsClient) VALUES (" + quotedStr(list.back()) +
                ", '" + (customer ? "客户" : "供应商") + std::to_string(i) + "', '" +
                (customer ? "True" : "False") + "')");
  }
  db->commit();
  return w;
}

// ---- clients -------------------------------------------------------------------------------

namespace {

const char* tableOf(SaveKind k) {
  switch (k) {
    case SaveKind::Purchase:
      return "tb_pur_purchase";
    case SaveKind::Sale:
      return "tb_sal_sale";
    case SaveKind::Receipt:
      return "tb_bal_gathering";
    case SaveKind::Trader:
      return "td_trader";
  }
  return "";
}

// The empty shapes the windows load before a new row: a bill's master with its lines nested.
struct Shapes {
  Packet purchase, sale, receipt, trader;
};

Packet billShape(TServerMethodsClient& p, const std::string& set, const std::string& table) {
  Packet master = p.GetUserDBDataBySql(set, "select * from " + table + " where 1=0");
  Packet lines = p.GetUserDBDataBySql(set, "select * from " + table + "_d where 1=0");
  FieldDef nested;
  nested.name = table + "_d";
  nested.type = DataType::DataSet;
  nested.children = lines.fields.list();
  master.fields.add(nested);
  return master;
}

class Client {
 public:
  Client(const WorkloadOptions& o, const Workplace& w, int index, ClientLog& log)
      : o_(o),
        w_(w),
        index_(index),
        log_(log),
        user_(w.clerks.at(static_cast<std::size_t>(index))) {}

  void run() {
    const auto until = Clock::now() + o_.duration;
    // The shapes are read once, as a window does when it opens.
    while (!shapes_) {
      attempt([&] {
        Shapes s;
        s.purchase = billShape(*proxy_, w_.set, "tb_pur_purchase");
        s.sale = billShape(*proxy_, w_.set, "tb_sal_sale");
        s.receipt = proxy_->GetUserDBDataBySql(w_.set, "select * from tb_bal_gathering where 1=0");
        s.trader = proxy_->GetUserDBDataBySql(w_.set, "select * from td_trader where 1=0");
        shapes_ = std::make_unique<Shapes>(std::move(s));
        return true;
      });
      if (Clock::now() > until + std::chrono::seconds(90)) return;
    }
    for (std::uint64_t n = 0; Clock::now() < until; ++n) {
      save(static_cast<SaveKind>((n + static_cast<std::uint64_t>(index_)) % 4), n);
      std::string bid;
      attempt([&] {
        Packet list = proxy_->GetUserDBDataBySql(
            w_.set, "select Bid from tb_pur_purchase order by Bid desc limit 20");
        if (!list.rows.empty()) bid = list.rows[n % list.rows.size()][0].toText();
        return true;
      });
      if (bid.empty()) continue;
      attempt([&] {
        auto page = proxy_->GetMasterAndDetailData(
            w_.set, "tb_pur_purchase",
            "select * from tb_pur_purchase where Bid = " + quotedStr(bid),
            "select * from tb_pur_purchase_d where Bid = :Bid order by BNo");
        if (page && !page->rows.empty()) {
          const Value& lines = page->rows[0].back();
          if (lines.isNull() || lines.nested()->empty()) ++log_.halfSeen;
        }
        return true;
      });
    }
  }

 private:
  // One call: true when it succeeded. A failure leaves the connection for a new one.
  template <typename F>
  bool attempt(F&& call) {
    try {
      if (!proxy_) proxy_ = std::make_unique<TServerMethodsClient>(o_.url);
      if (!proxy_->SignedIn() && !proxy_->CheckLoginUser(user_, w_.password))
        throw Error("sign-in refused");
      if (call()) {
        succeeded();
        return true;
      }
      failed("refused");
    } catch (const RemoteError& e) {
      // The proxy opens a new connection by itself; only a lost session needs a new sign-in.
      if (e.sessionExpired()) proxy_.reset();
      failed(e.what());
    } catch (const std::exception& e) {
      failed(e.what());
    }
    return false;
  }

  void succeeded() {
    ++log_.calls;
    if (failingSince_) {
      const double gap = std::chrono::duration<double>(Clock::now() - *failingSince_).count();
      if (gap > log_.longestGap) {
        log_.longestGap = gap;
        log_.longestGapFrom = std::chrono::duration<double>(*failingSince_ - o_.origin).count();
      }
      failingSince_.reset();
    }
  }

  void failed(const std::string& why) {
    ++log_.failures;
    if (log_.errors.size() < 4) log_.errors.push_back(why.substr(0, 160));
    if (!failingSince_) failingSince_ = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }

  // Saves one new row until the service says it is saved or, after an answer that did not come
  // or said something else, asking finds it there.
  void save(SaveKind kind, std::uint64_t n) {
    SavedRow row;
    row.kind = kind;
    char id[16], code[24];
    std::snprintf(id, sizeof id, "%d%02d%012llu", kind == SaveKind::Trader ? 7 : 8, index_,
                  static_cast<unsigned long long>(n));
    std::snprintf(code, sizeof code, "%s%02d%08llu",
                  kind == SaveKind::Purchase  ? "PC"
                  : kind == SaveKind::Sale    ? "SA"
                  : kind == SaveKind::Receipt ? "SK"
                                              : "KH",
                  index_, static_cast<unsigned long long>(n));
    row.id = id;
    row.code = code;
    row.lines = kind == SaveKind::Purchase ? 3 : kind == SaveKind::Sale ? 2 : 0;
    const Delta delta = deltaOf(row, n);
    const std::string table = tableOf(kind);
    const std::string exists = "select 1 from " + table +
                               (kind == SaveKind::Trader ? " where Id = " : " where Bid = ") +
                               quotedStr(row.id);
    const auto giveUp = Clock::now() + std::chrono::seconds(90);
    bool unsure = false;  // an earlier attempt may have been saved
    while (Clock::now() < giveUp) {
      if (unsure) {
        bool found = false;
        if (!attempt([&] {
              found = proxy_->CheckValueIsExistBySql(w_.set, exists);
              return true;
            }))
          continue;
        if (found) {
          row.confirmedByCheck = true;
          log_.saved.push_back(row);
          return;
        }
      }
      std::string status;
      if (attempt([&] {
            status = kind == SaveKind::Purchase || kind == SaveKind::Sale
                         ? proxy_->SaveMasterAndDetailData(w_.set, table, delta)
                         : proxy_->SaveUserDBDataByDelta(
                               w_.set, table, kind == SaveKind::Trader ? "Id" : "Bid", delta);
            if (status == "0") return true;
            // The service's answer names the failure; whether it was saved is asked next.
            throw Error("save: " + status);
          })) {
        log_.saved.push_back(row);
        return;
      }
      unsure = true;
    }
    ++log_.gaveUp;
  }

  Delta deltaOf(const SavedRow& row, std::uint64_t n) const {
    auto put = [](ClientDataSet& ds, const char* f, const std::string& v) {
      ds.FieldByName(f).SetAsString(v);
    };
    const std::string& op = user_;
    const std::size_t pick = static_cast<std::size_t>(n) * 7 + static_cast<std::size_t>(index_);
    if (row.kind == SaveKind::Trader) {
      ClientDataSet ds;
      ds.LoadFromPacket(shapes_->trader);
      ds.Append();
      put(ds, "Id", row.id);
      put(ds, "Name", "客户" + row.code);
      put(ds, "IsClient", "True");
      ds.Post();
      return ds.GetDelta();
    }
    if (row.kind == SaveKind::Receipt) {
      ClientDataSet ds;
      ds.LoadFromPacket(shapes_->receipt);
      ds.Append();
      put(ds, "Bid", row.id);
      put(ds, "BDate", "2026-12-08");
      put(ds, "BCode", row.code);
      put(ds, "BKind", "4000");
      put(ds, "BState", "1");
      put(ds, "TraderID", w_.customers[pick % w_.customers.size()]);
      put(ds, "AccountId", w_.account);
      put(ds, "AccAmt", std::to_string(1 + pick % 50) + ".50");
      put(ds, "CreateOp", op);
      ds.Post();
      return ds.GetDelta();
    }
    const bool purchase = row.kind == SaveKind::Purchase;
    const std::string table = tableOf(row.kind);
    ClientDataSet master, lines;
    master.LoadFromPacket(purchase ? shapes_->purchase : shapes_->sale);
    lines.SetDataSetField(master, table + "_d");
    master.Append();
    put(master, "Bid", row.id);
    put(master, "BDate", "2026-12-08");
    put(master, "BCode", row.code);
    put(master, "BKind", purchase ? "3100" : "3400");
    put(master, "BState", "1");
    put(master, "TraderID",
        (purchase ? w_.vendors
                  : w_.customers)[pick % (purchase ? w_.vendors : w_.customers).size()]);
    put(master, "IsPay", "False");
    put(master, "StoreId", kMainStore);
    put(master, "IsStoreIO", "True");
    put(master, "CreateOp", op);
    for (int i = 0; i < row.lines; ++i) {
      const std::size_t g = (pick * 13 + static_cast<std::size_t>(i) * 31) % w_.goods.size();
      const int qty = purchase ? 20 + i : 1 + i;
      const int cents = 150 + static_cast<int>(g % 900);
      lines.Append();
      put(lines, "Bid", row.id);
      lines.FieldByName("BNo").SetAsInteger(i + 1);
      put(lines, "GoodsID", w_.goods[g]);
      lines.FieldByName("Qty").SetAsInteger(qty);
      char price[32], amount[32];
      std::snprintf(price, sizeof price, "%d.%02d", cents / 100, cents % 100);
      std::snprintf(amount, sizeof amount, "%d.%02d", cents * qty / 100, cents * qty % 100);
      put(lines, "Price", price);
      put(lines, "Amount", amount);
      lines.Post();
    }
    master.Post();
    return master.GetDelta();
  }

  const WorkloadOptions& o_;
  const Workplace& w_;
  int index_;
  ClientLog& log_;
  std::string user_;
  std::unique_ptr<TServerMethodsClient> proxy_;
  std::unique_ptr<Shapes> shapes_;
  std::optional<Clock::time_point> failingSince_;
};

}  // namespace

std::vector<ClientLog> runClients(const WorkloadOptions& options, const Workplace& w) {
  std::vector<ClientLog> logs(static_cast<std::size_t>(options.clients));
  std::vector<std::thread> threads;
  for (int i = 0; i < options.clients; ++i)
    threads.emplace_back(
        [&, i] { Client(options, w, i, logs[static_cast<std::size_t>(i)]).run(); });
  for (auto& t : threads)
    t.join();
  return logs;
}

// ---- checks --------------------------------------------------------------------------------

Verdict verify(Connection& db, const std::vector<ClientLog>& logs) {
  Verdict v;
  // What is stored of the clients' rows: per id its rows (always one: the key) and lines, per
  // code how many rows carry it (a save run twice under a new id shows here).
  std::map<std::string, int> rowsOf, linesOf, codes;
  for (SaveKind k : {SaveKind::Purchase, SaveKind::Sale, SaveKind::Receipt}) {
    const std::string t = tableOf(k);
    for (const Row& r : db.query("SELECT Bid, BCode FROM " + t + " WHERE Bid LIKE '8%'").rows) {
      ++rowsOf[r[0].toText()];
      ++codes[r[1].toText()];
    }
    if (k == SaveKind::Receipt) continue;
    for (const Row& r :
         db.query("SELECT Bid, COUNT(*) FROM " + t + "_d WHERE Bid LIKE '8%' GROUP BY Bid").rows)
      linesOf[r[0].toText()] = std::stoi(r[1].toText());
  }
  for (const Row& r : db.query("SELECT Id, Name FROM td_trader WHERE Id LIKE '7%'").rows) {
    ++rowsOf[r[0].toText()];
    ++codes[r[1].toText().substr(std::string("客户").size())];
  }
  for (const ClientLog& log : logs)
    for (const SavedRow& s : log.saved) {
      ++v.saved;
      if (s.confirmedByCheck) ++v.confirmedByCheck;
      if (rowsOf[s.id] == 0) {
        ++v.lost;
        v.problems.push_back("lost: " + std::string(tableOf(s.kind)) + " " + s.id);
      } else if (codes[s.code] != 1) {
        ++v.duplicated;
        v.problems.push_back("saved " + std::to_string(codes[s.code]) + " times: " + s.code);
      } else if (s.lines != 0 && linesOf[s.id] != s.lines) {
        ++v.halfSaved;
        v.problems.push_back("bill " + s.id + " has " + std::to_string(linesOf[s.id]) + " of " +
                             std::to_string(s.lines) + " lines");
      }
    }
  // A bill without lines that no client was told of is half-saved all the same.
  for (SaveKind k : {SaveKind::Purchase, SaveKind::Sale})
    for (const Row& r :
         db.query(std::string("SELECT m.Bid FROM ") + tableOf(k) +
                  " m WHERE NOT EXISTS (SELECT 1 FROM " + tableOf(k) + "_d d WHERE d.Bid = m.Bid)")
             .rows) {
      ++v.halfSaved;
      v.problems.push_back("bill without lines: " + r[0].toText());
    }
  for (const std::string& broken : server::test::brokenInvariants(db))
    v.problems.push_back("derived data: " + broken);
  return v;
}

void printRun(const std::vector<ClientLog>& logs, double seconds) {
  std::uint64_t calls = 0, failures = 0, saves = 0, gaveUp = 0, halfSeen = 0;
  double gap = 0, gapFrom = 0;
  std::map<std::string, int> errors;
  for (const ClientLog& l : logs) {
    calls += l.calls;
    failures += l.failures;
    saves += l.saved.size();
    gaveUp += l.gaveUp;
    halfSeen += l.halfSeen;
    if (l.longestGap > gap) {
      gap = l.longestGap;
      gapFrom = l.longestGapFrom;
    }
    for (const std::string& e : l.errors)
      ++errors[e];
  }
  std::printf(
      "%zu clients for %.1f s: %llu calls (%.1f/s), %llu saves (%.1f/s), %llu failed calls\n",
      logs.size(), seconds, static_cast<unsigned long long>(calls),
      static_cast<double>(calls) / seconds, static_cast<unsigned long long>(saves),
      static_cast<double>(saves) / seconds, static_cast<unsigned long long>(failures));
  std::printf(
      "longest client-visible gap: %.2f s (from %.1f s); saves given up: %llu; bills read without "
      "lines: %llu\n",
      gap, gapFrom, static_cast<unsigned long long>(gaveUp),
      static_cast<unsigned long long>(halfSeen));
  for (const auto& [text, n] : errors)
    std::printf("    %d x %s\n", n, text.c_str());
  std::fflush(stdout);
}

}  // namespace vlt::cluster

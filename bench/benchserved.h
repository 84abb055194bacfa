#pragma once
// What the window benchmarks share: the service served over HTTP on a free local port with an
// owner signed in through the proxy the windows use, and a reporter that keeps each
// benchmark's time for the ratios printed at the end.

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "benchdb.h"
#include "http.h"
#include "service.h"
#include "vlt/host.h"
#include "vlt/servermethods.h"

namespace vlt::bench {

struct ServedOwner {
  // The service's own HTTP server, as vlt-dataservice runs it.
  server::HttpServer http{8};
  std::thread thread;
  std::string owner;
  std::string set;    // the owner's account set
  std::string setDb;  // its database

  // A new owner with an account set of their own; returns an administrator's connection to the
  // set's database, for filling it.
  std::unique_ptr<server::Connection> makeOwnerSet(BenchDatabase& b, const std::string& password) {
    owner = b.service->CreateUser("店主", password);
    set = owner + "_01";
    setDb = b.prefix + "_" + set;
    if (b.service->CreateUserDB({owner, "127.0.0.1"}, owner, set, "基准帐套", "False") != "0")
      throw Error("creating the account set failed");
    server::DbEndpoint e = b.root;
    e.database = setDb;
    return server::Connection::open(e);
  }

  // Serves the service and signs the owner in through the proxy the windows use.
  void serve(server::DataService& service, const std::string& password) {
    server::mountApi(http, service);
    const int port = server::bindServer(http, "127.0.0.1", 0);
    thread = std::thread([this] { http.listen_after_bind(); });
    while (!http.is_running())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    auto proxy = std::make_unique<TServerMethodsClient>("http://127.0.0.1:" + std::to_string(port));
    if (!proxy->CheckLoginUser(owner, password)) throw Error("the owner cannot sign in");
    host::SetServerMethods(std::move(proxy));
    host::CurUserInfo().UserID = owner;
    host::CurUserInfo().UserDBID = set;
  }

  void stop() {
    host::SetServerMethods(nullptr);
    if (thread.joinable()) {
      http.stop();
      thread.join();
    }
  }
};

class TimesReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        times[run.run_name.function_name] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;  // in each benchmark's unit
};

// Two kinds of work timed in alternation, round after round, so that whatever else slows the
// machine during the run weighs on both alike; their medians give the ratio. Each function
// does its work once and returns the milliseconds it measured (leaving out its own set-up).
struct Paired {
  double first = 0;   // median, ms
  double second = 0;  // median, ms
  double ratio() const { return second > 0 ? first / second : 0; }

  // Prints "what: first ms / second ms = ratio (target <= t)" with ok or MISSED.
  void print(const char* what, double target) const {
    std::printf("%s: %.2f ms / %.2f ms = %.2f (target <= %.1f)%s\n", what, first, second, ratio(),
                target, ratio() <= target ? "  ok" : "  MISSED");
  }
};

inline double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Several kinds of work timed in alternation, as RunPaired does; the median of each, in order.
inline std::vector<double> RunAlternating(int rounds,
                                          const std::vector<std::function<double()>>& work) {
  std::vector<std::vector<double>> times(work.size());
  for (int i = 0; i < rounds; ++i)
    for (std::size_t k = 0; k < work.size(); ++k)
      times[k].push_back(work[k]());
  std::vector<double> medians;
  for (auto& t : times)
    medians.push_back(median(std::move(t)));
  return medians;
}

inline Paired RunPaired(int rounds, const std::function<double()>& first,
                        const std::function<double()>& second) {
  const std::vector<double> m = RunAlternating(rounds, {first, second});
  return {m[0], m[1]};
}

// Milliseconds since `start`.
inline double msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace vlt::bench

#pragma once
// The embedded default: with no service address configured, the client runs the data service
// itself, on its private MariaDB in the user's data folder, and stops it when the program ends.
// TSupervisedServerMethods is the proxy the launcher installs over it: it starts the service
// again when it died, and words an unreachable service in the user's language.

#include <QProcess>
#include <QString>
#include <memory>
#include <string>

#include "vlt/servermethods.h"

namespace vlt::host {

class TEmbeddedService {
 public:
  // `dataFolder` empty: DataFolder().
  explicit TEmbeddedService(QString dataFolder = QString()) : dataFolder_(std::move(dataFolder)) {}
  ~TEmbeddedService();  // stops the service
  TEmbeddedService(const TEmbeddedService&) = delete;
  TEmbeddedService& operator=(const TEmbeddedService&) = delete;

  // The data service program: beside the client, else where the build put it.
  static QString Program();
  // The folder of its databases: the user's data folder + "service".
  static QString DataFolder();

  // Starts the service on a free local port and waits until it answers (the first start
  // creates the databases, which takes a while). Returns its address ("http://127.0.0.1:N").
  // Throws vlt::Error with what the service said when it cannot start.
  QString Start(int timeoutMs = 120000);
  // Asks the service to stop and waits for it (it shuts its database down cleanly). False when
  // it had to be killed (it did not stop within a minute). A service that died is stopped too:
  // the database server it left behind is ended.
  bool Stop();
  // Whether the service this object started is still running.
  bool Running();
  // The same, cheap enough to ask before every call (no waiting; on Linux a look at /proc).
  bool Alive() const;
  // Starts the service again on the same data folder, and on its last port when that is free,
  // after it died. Returns its address.
  QString Restart(int timeoutMs = 120000);
  // The process id of the service, 0 when none runs (the tests end it the hard way).
  qint64 ProcessId() const;

 private:
  QString dataFolder() const;
  // Ends a database server still running on the data folder (the service's pid file names
  // it), so that a new service can take the folder.
  void StopLeftoverDatabase() const;

  QString dataFolder_;
  std::unique_ptr<QProcess> process_;
  int port_ = 0;
};

// The proxy the launcher installs: every call goes to a proxy of the service's current address.
// When no answer comes because the embedded service died, the service is started again, the
// user signed in again, and the call repeated once when it cannot have reached the dead service
// (the service was gone before the call, or the connection was refused); a call the service may
// have run when it died is not repeated: the user is told and the action ends (silent abort).
// A service that cannot be reached (or started again) is reported in Chinese, keeping the words
// "Connection refused" that the exception handlers look for.
class TSupervisedServerMethods : public TServerMethodsClient {
 public:
  // `embedded` null: a service elsewhere, never restarted.
  TSupervisedServerMethods(const QString& address, TEmbeddedService* embedded);
  ~TSupervisedServerMethods() override;

  bool CheckLoginUser(const std::string& userId, const std::string& password) override;
  void Logout() override;
  Packet GetSysMainDBDataBySql(const std::string& userId, const std::string& sql) override;
  std::string doSysMainDBDataBySql(const std::string& sql) override;
  std::string SaveSysMainDataBySql(const std::string& userId, const std::string& select,
                                   const Delta& delta) override;
  Packet GetUserDBDataBySql(const std::string& userDbId, const std::string& sql) override;
  std::string doUserDBDataBySql(const std::string& userDbId, const std::string& sql) override;
  std::string SaveUserDBDataByDelta(const std::string& userDbId, const std::string& table,
                                    const std::string& keyFields, const Delta& delta) override;
  bool CheckValueIsExistBySql(const std::string& userDbId, const std::string& sql) override;
  std::optional<Packet> GetMasterAndDetailData(const std::string& userDbId,
                                               const std::string& masterTable,
                                               const std::string& masterSql,
                                               const std::string& detailSql) override;
  std::string SaveMasterAndDetailData(const std::string& userDbId, const std::string& masterTable,
                                      const Delta& delta) override;
  std::string GetBill_MaxBcode(const std::string& userDbId, const std::string& prefix,
                               const std::string& table, const std::string& billDate) override;
  Packet GetRegisUserInfo(const std::string& userId) override;
  std::string CreateUserDB(const std::string& main, const std::string& userId,
                           const std::string& userDbId, const std::string& userDbName,
                           const std::string& isDefault) override;
  IdBlock GetNewIDBlock() override;

  // How often the service was started again (for the tests and the log).
  int Restarts() const { return restarts_; }

 private:
  // Runs `op`, and again on a restarted service should the one the client started have died.
  // A call that changes data and may have reached the dying service is not sent twice.
  template <class F>
  auto run(F&& op, bool changesData = false);
  void restart();

  std::string address_;
  TEmbeddedService* embedded_;
  std::unique_ptr<TServerMethodsClient> inner_;
  // The sign-in to repeat on a restarted service, whose sessions start empty.
  std::string userId_;
  std::string password_;
  int restarts_ = 0;
};

// The message for a call that got no answer, in the user's language; a refused connection keeps
// "Connection refused" in it.
std::string UnreachableMessage(const std::string& address, const std::string& detail);

}  // namespace vlt::host

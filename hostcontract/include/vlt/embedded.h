#pragma once
// The embedded default: with no service address configured, the client runs the data service
// itself, on its private MariaDB in the user's data folder, and stops it when the program ends.

#include <QProcess>
#include <QString>
#include <memory>

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
  // it had to be killed (it did not stop within a minute).
  bool Stop();

 private:
  QString dataFolder_;
  std::unique_ptr<QProcess> process_;
};

}  // namespace vlt::host

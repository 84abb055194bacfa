#pragma once
// A MariaDB server of the service's own: initialised once in a data folder, started on a unix
// socket (no TCP unless asked), stopped cleanly. Used on one machine with no configuration, by
// the tests and by the desktop client's embedded default.
//
// Other users of the machine must not reach it: the folder and the socket's folder are the
// service user's alone, the one administrative account (root@localhost) needs the random
// password kept in the folder (or, for the machine's root, socket authentication), and every
// other root or anonymous account is dropped at each start, which also upgrades folders made by
// earlier versions.

#include <sys/types.h>
#include <chrono>
#include <filesystem>
#include <string>

namespace vlt::server {

struct PrivateDbOptions {
  std::filesystem::path folder;  // holds data/, the socket, the pid file and the error log
  int tcpPort = 0;               // 0: unix socket only
  std::string extraArgs;         // appended to the server's command line, blank-separated
  // The server is told to stop when the process that started it dies (a crash included); off
  // for a server that must outlive its starter (the test run's shared one).
  bool stopWithParent = false;
};

class PrivateMariaDb {
 public:
  explicit PrivateMariaDb(PrivateDbOptions options);

  const std::filesystem::path& folder() const { return options_.folder; }
  std::string socketPath() const;
  std::filesystem::path dataDir() const { return options_.folder / "data"; }
  std::filesystem::path errorLog() const { return options_.folder / "error.log"; }
  // Holds the administrative password (mode 600); made at the first start.
  std::filesystem::path passwordFile() const { return options_.folder / "admin-password"; }
  // The administrative account's password, empty before the first start.
  std::string adminPassword() const;

  bool initialised() const;
  // Creates the data folder once (mariadb-install-db). Throws vlt::Error with the tool's output.
  void initialise();
  // Starts the server unless one already answers on the socket, and waits until it accepts
  // connections. Throws vlt::Error with the end of the error log when it does not come up.
  void start(std::chrono::seconds timeout = std::chrono::seconds(60));
  // True when a server answers on the socket.
  bool answering() const;
  // Shuts the server down and waits for it to exit (SIGKILL after the timeout).
  void stop(std::chrono::seconds timeout = std::chrono::seconds(60));

 private:
  pid_t readPid() const;
  // Makes the socket's folder when it is not the data folder, and refuses one that others may
  // enter or that is not the service user's own.
  void secureSocketFolder() const;
  void writeStartScript(const std::filesystem::path& file) const;
  PrivateDbOptions options_;
};

// The server's options this service relies on (utf8mb4, table names in lower case, strict mode
// without ONLY_FULL_GROUP_BY and with NO_BACKSLASH_ESCAPES, snapshot isolation).
const char* requiredServerOptions();
// The server's own folder for temporary files, `folder`/tmp, made if missing. Every server
// clears the temporary files of its folder when it starts: servers sharing one folder (the
// system's /tmp) would delete the files of those running.
std::filesystem::path ownTmpDir(const std::filesystem::path& folder);

}  // namespace vlt::server

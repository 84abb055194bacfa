#include "vlt/embedded.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#ifdef __linux__
#include <sys/prctl.h>

#include <csignal>
#endif
#include <QFile>

#include "vlt/errors.h"
#include "vlt/host.h"

namespace vlt::host {

namespace {

int freePort() {
  QTcpServer probe;
  if (!probe.listen(QHostAddress::LocalHost, 0))
    throw Error("no free local port for the data service: " + probe.errorString().toStdString());
  return probe.serverPort();
}

bool portFree(int port) {
  QTcpServer probe;
  return probe.listen(QHostAddress::LocalHost, static_cast<quint16>(port));
}

#ifdef __linux__
// Whether the process runs: it exists and is no zombie (which has ended; only its parent's
// reaping is missing).
bool processRunning(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return false;
  const QByteArray s = stat.readAll();
  const qsizetype close = s.lastIndexOf(')');
  return close < 0 || close + 2 >= s.size() || s[close + 2] != 'Z';
}

// Whether the process runs and is a database server on `folder` (a pid may have been reused).
bool databaseServerOn(qint64 pid, const QString& folder) {
  if (!processRunning(pid)) return false;
  QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
  if (!cmdline.open(QIODevice::ReadOnly)) return false;
  const QByteArray args = cmdline.readAll();
  return args.contains(QFile::encodeName(folder)) &&
         (args.contains("mariadbd") || args.contains("mysqld"));
}

// Whether a data service still runs the database server: another client's service on the same
// folder, which must be left alone.
bool ownedByAService(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return false;
  const QByteArray s = stat.readAll();
  const QList<QByteArray> after = s.mid(s.lastIndexOf(')') + 2).split(' ');
  if (after.size() < 2) return false;
  QFile parent(QStringLiteral("/proc/%1/cmdline").arg(after[1].toLongLong()));
  return parent.open(QIODevice::ReadOnly) && parent.readAll().contains("vlt-dataservice");
}
#endif

bool answers(int port) {
  QTcpSocket s;
  s.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
  return s.waitForConnected(200);
}

}  // namespace

TEmbeddedService::~TEmbeddedService() {
  Stop();
}

QString TEmbeddedService::Program() {
  QString beside = QCoreApplication::applicationDirPath() + "/vlt-dataservice";
  if (QFileInfo(beside).isExecutable()) return beside;
#ifdef VLT_DATASERVICE_BUILD_PATH
  if (QFileInfo(QStringLiteral(VLT_DATASERVICE_BUILD_PATH)).isExecutable())
    return QStringLiteral(VLT_DATASERVICE_BUILD_PATH);
#endif
  return beside;
}

QString TEmbeddedService::DataFolder() {
  QString root = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
  if (root.isEmpty()) root = QDir::homePath() + "/.vlt";
  return root + "/service";
}

QString TEmbeddedService::dataFolder() const {
  return dataFolder_.isEmpty() ? DataFolder() : dataFolder_;
}

QString TEmbeddedService::Start(int timeoutMs) {
  Stop();
  QString program = Program();
  if (!QFileInfo(program).isExecutable())
    throw Error("找不到本机数据服务程序（" + program.toStdString() + "）");
  const QString data = dataFolder();
  QDir().mkpath(data);
  StopLeftoverDatabase();
  // The last port again when it is free, so that addresses handed out stay valid.
  const int port = port_ > 0 && portFree(port_) ? port_ : freePort();
  port_ = port;
  process_ = std::make_unique<QProcess>();
  process_->setProcessChannelMode(QProcess::MergedChannels);
#ifdef __linux__
  // Should the client die without stopping it, the service is told to stop (and so stops its
  // database) instead of running on without a client.
  process_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
  process_->start(program, {"--data", data, "--listen", QStringLiteral("127.0.0.1:%1").arg(port),
                            "--threads", "8"});
  if (!process_->waitForStarted(10000))
    throw Error("本机数据服务无法启动（" + process_->errorString().toStdString() + "）");
  QDeadlineTimer deadline(timeoutMs);
  while (!deadline.hasExpired()) {
    if (process_->state() == QProcess::NotRunning) {
      QString said = QString::fromUtf8(process_->readAll()).trimmed();
      process_.reset();
      throw Error("本机数据服务启动失败：" + said.toStdString());
    }
    if (answers(port)) return QStringLiteral("http://127.0.0.1:%1").arg(port);
    process_->waitForReadyRead(100);
  }
  Stop();
  throw Error("本机数据服务未能及时启动，请稍后重试。");
}

bool TEmbeddedService::Stop() {
  if (!process_) return true;
  bool clean = true;
  if (process_->state() != QProcess::NotRunning) {
    process_->terminate();
    if (!process_->waitForFinished(60000)) {
      clean = false;
      process_->kill();
      process_->waitForFinished(5000);
    }
  }
  const bool crashed = process_->exitStatus() == QProcess::CrashExit;
  process_.reset();
  // A service that was killed (or had to be) leaves its database server behind.
  if (!clean || crashed) StopLeftoverDatabase();
  return clean;
}

bool TEmbeddedService::Running() {
  if (!process_ || process_->state() == QProcess::NotRunning) return false;
  // Without an event loop the process' end is noticed only while waiting for it.
  return !process_->waitForFinished(20);
}

bool TEmbeddedService::Alive() const {
  if (!process_ || process_->state() == QProcess::NotRunning) return false;
#ifdef __linux__
  return processRunning(process_->processId());
#else
  return true;
#endif
}

QString TEmbeddedService::Restart(int timeoutMs) {
  Stop();
  return Start(timeoutMs);
}

qint64 TEmbeddedService::ProcessId() const {
  return process_ ? process_->processId() : 0;
}

void TEmbeddedService::StopLeftoverDatabase() const {
#ifdef __linux__
  const QString folder = dataFolder() + "/db";
  QFile pidFile(folder + "/mysqld.pid");
  if (!pidFile.open(QIODevice::ReadOnly)) return;
  bool ok = false;
  const qint64 pid = pidFile.readAll().trimmed().toLongLong(&ok);
  if (!ok || pid <= 1 || !databaseServerOn(pid, folder) || ownedByAService(pid)) return;
  const auto pidT = static_cast<pid_t>(pid);
  // A clean shutdown first: the server finishes what it wrote.
  ::kill(pidT, SIGTERM);
  QDeadlineTimer deadline(60000);
  while (!deadline.hasExpired() && databaseServerOn(pid, folder))
    QThread::msleep(100);
  if (databaseServerOn(pid, folder)) {
    ::kill(pidT, SIGKILL);
    QDeadlineTimer gone(5000);
    while (!gone.hasExpired() && databaseServerOn(pid, folder))
      QThread::msleep(50);
  }
#endif
}

}  // namespace vlt::host

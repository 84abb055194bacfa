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

QString TEmbeddedService::Start(int timeoutMs) {
  Stop();
  QString program = Program();
  if (!QFileInfo(program).isExecutable())
    throw Error("找不到本机数据服务程序（" + program.toStdString() + "）");
  const QString data = dataFolder_.isEmpty() ? DataFolder() : dataFolder_;
  QDir().mkpath(data);
  const int port = freePort();
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
  process_.reset();
  return clean;
}

}  // namespace vlt::host

// The embedded default: the client starts the data service on a private database of its own,
// talks to it, and stops it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>

#include "vlt/embedded.h"
#include "vlt/host.h"
#include "vlt/servermethods.h"

using namespace vlt;

TEST(EmbeddedService, StartsAnswersStopsAndStartsAgainOnItsData) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString data = dir.path() + "/service";
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    host::TEmbeddedService service(data);
    QString address = service.Start();
    ASSERT_TRUE(address.startsWith("http://127.0.0.1:")) << address.toStdString();
    TServerMethodsClient proxy(address.toStdString());
    // An unknown login ID is a plain "no", so the service and its database answer.
    EXPECT_FALSE(proxy.CheckLoginUser("10000", "wrong password"));
    if (round == 0) {
      // The service closes idle connections after a few seconds; the proxy reconnects.
      QThread::sleep(6);
      EXPECT_FALSE(proxy.CheckLoginUser("10000", "wrong password"));
    }
    EXPECT_TRUE(service.Stop());  // it shut down by itself, with a client connected
    EXPECT_THROW(proxy.CheckLoginUser("10000", "wrong password"), RemoteError);
  }
  // The database files stay for the next start.
  EXPECT_TRUE(QFileInfo(data).isDir());
  EXPECT_FALSE(QDir(data).isEmpty());
}

TEST(EmbeddedService, AMissingProgramOrABrokenDataFolderIsAClearError) {
  QTemporaryDir dir;
  // A file where the data folder should be: the service cannot start and says why.
  const QString blocked = dir.path() + "/file";
  {
    QFile f(blocked);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  host::TEmbeddedService service(blocked + "/service");
  try {
    service.Start(60000);
    ADD_FAILURE() << "started";
  } catch (const Error& e) {
    EXPECT_FALSE(std::string(e.what()).empty());
  }
}

namespace {

qint64 databasePid(const QString& data) {
  QFile f(data + "/db/mysqld.pid");
  if (!f.open(QIODevice::ReadOnly)) return 0;
  return f.readAll().trimmed().toLongLong();
}

bool processAlive(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return false;
  const QByteArray s = stat.readAll();
  const qsizetype close = s.lastIndexOf(')');
  return close < 0 || close + 2 >= s.size() || s[close + 2] != 'Z';
}

}  // namespace

TEST(EmbeddedService, AKilledServiceIsStartedAgainOnItsDataAndTheCallRepeated) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString data = dir.path() + "/service";
  // A user on that data, made by the service program itself before the service runs.
  QProcess create;
  create.start(host::TEmbeddedService::Program(),
               {"--data", data, "--create-user", "小店", "pw 12345"});
  ASSERT_TRUE(create.waitForFinished(180000));
  const std::string loginId =
      QString::fromUtf8(create.readAllStandardOutput()).trimmed().toStdString();
  ASSERT_FALSE(loginId.empty());

  host::TEmbeddedService service(data);
  host::TSupervisedServerMethods proxy(service.Start(), &service);
  ASSERT_TRUE(proxy.CheckLoginUser(loginId, "pw 12345"));
  const qint64 oldDatabase = databasePid(data);
  ASSERT_GT(oldDatabase, 0);

  // The service dies the hard way, as a crash would end it.
  ASSERT_EQ(::kill(static_cast<pid_t>(service.ProcessId()), SIGKILL), 0);
  // The next call finds it gone, starts it again on the same data, signs in again and repeats.
  const Packet profile = proxy.GetRegisUserInfo(loginId);
  EXPECT_EQ(profile.rows.size(), 1u);
  EXPECT_EQ(proxy.Restarts(), 1);
  EXPECT_TRUE(service.Running());
  // The dead service's database server is gone; a new one serves the same folder.
  EXPECT_FALSE(processAlive(oldDatabase));
  EXPECT_NE(databasePid(data), oldDatabase);
  EXPECT_TRUE(service.Stop());
  EXPECT_FALSE(processAlive(databasePid(data)));
}

TEST(EmbeddedService, AServiceElsewhereThatCannotBeReachedIsReportedInTheUsersLanguage) {
  // Nothing listens on port 1 of this machine.
  host::TSupervisedServerMethods proxy(QStringLiteral("http://127.0.0.1:1"), nullptr);
  try {
    proxy.CheckLoginUser("10001", "pw");
    ADD_FAILURE() << "reached";
  } catch (const RemoteError& e) {
    const std::string text = e.what();
    EXPECT_NE(text.find("无法连接数据服务"), std::string::npos) << text;
    EXPECT_NE(text.find("Connection refused"), std::string::npos) << text;
    EXPECT_EQ(e.httpStatus(), 0);
  }
  EXPECT_EQ(proxy.Restarts(), 0);
}

// The embedded default: the client starts the data service on a private database of its own,
// talks to it, and stops it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include "vlt/embedded.h"
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

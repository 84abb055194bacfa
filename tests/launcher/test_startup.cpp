// The start-up sequence: login, the server's version row, then the main or the update window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <optional>
#include <utility>

#include "fakehost.h"
#include "startup.h"
#include "vlt/host.h"

using namespace vlt::host;

namespace {

const std::string kVersionSql = "select * from sys_autoupdateinfo where id=-99";
const QString kStyle = "QWidget { color: #24303c; }\n";

class StartupTest : public testing::Test {
 protected:
  vlt::test::HostFixture host;
  QTemporaryDir work;
  QString oldWorkFolder;

  void SetUp() override {
    ASSERT_TRUE(work.isValid());
    if (qEnvironmentVariableIsEmpty("VLT_PLUGIN_DIR"))
      qputenv("VLT_PLUGIN_DIR",
              (QCoreApplication::applicationDirPath() + "/../client/plugins").toUtf8());
    oldWorkFolder = QDir::currentPath();
    QDir::setCurrent(work.path());
  }

  void TearDown() override {
    QDir::setCurrent(oldWorkFolder);
    qApp->setStyleSheet(QString());
    ClientVersion().Version = "303";
  }

  void writeStyle() {
    QFile f(work.path() + "/VltDefault.style");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(kStyle.toUtf8());
  }
};

// One start-up per row: what the user does in the login window, what the server's version row
// says, and what the program then shows.
TEST_F(StartupTest, Paths) {
  struct Row {
    const char* name;
    bool signIn;
    std::optional<std::string> serverBuild;  // no value: the version row is missing
    QString localBuild;
    bool styleFile;
    std::string failWith;
    // expected
    QStringList windows;  // modal windows shown, in order
    bool mainWindow;
    QStringList messages;
  };
  const Row rows[] = {
      {"not signed in", false, "0", "303", true, "", {"TfrmLoginForm"}, false, {}},
      {"equal builds need the update",
       true,
       "303",
       "303",
       true,
       "",
       {"TfrmLoginForm", "TfrmUpdateApp"},
       false,
       {}},
      {"a newer server build",
       true,
       "304",
       "303",
       true,
       "",
       {"TfrmLoginForm", "TfrmUpdateApp"},
       false,
       {}},
      {"one build below", true, "302", "303", true, "", {"TfrmLoginForm"}, true, {}},
      {"the schema's row", true, "0", "303", true, "", {"TfrmLoginForm"}, true, {}},
      {"no version row",
       true,
       std::nullopt,
       "303",
       true,
       "",
       {"TfrmLoginForm"},
       false,
       {"致命错误：检测云升级服务器失败！"}},
      {"local build not a number",
       true,
       "0",
       "303a",
       true,
       "",
       {"TfrmLoginForm"},
       false,
       {"'303a' is not a valid integer value"}},
      {"service unreachable",
       true,
       "0",
       "303",
       true,
       "Connection refused (127.0.0.1:1)",
       {"TfrmLoginForm"},
       false,
       {"Connection refused (127.0.0.1:1)"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    vlt::test::HostFixture fresh;
    QFile::remove(work.path() + "/VltDefault.style");
    if (row.styleFile) writeStyle();
    qApp->setStyleSheet(QString());
    ClientVersion().Version = row.localBuild;
    auto& proxy = fresh.proxy();
    auto& ui = fresh.ui();
    if (row.serverBuild)
      proxy.answer("sys_autoupdateinfo",
                   vlt::test::packetOf({"id", "Client_Version", "DownLoadURL"},
                                       {{"-99", *row.serverBuild, "http://dl.test/vlt.zip"}}));
    else
      proxy.answer("sys_autoupdateinfo",
                   vlt::test::packetOf({"id", "Client_Version", "DownLoadURL"}));

    ui.scripts["TfrmLoginForm"] = [&](QDialog& login) {
      if (row.signIn) {
        CurUserInfo().UserID = "10001";
        FModalResult() = 99;
        proxy.failWith = row.failWith;
      }
      login.close();
      return 0;
    };
    QString updateAddress;
    ui.scripts["TfrmUpdateApp"] = [&](QDialog& update) {
      updateAddress = static_cast<TForm&>(update).TagString;
      return 0;
    };

    bool connected = false;
    int mainRuns = 0;
    vlt::launcher::TStartupHooks hooks;
    hooks.connect = [&] { connected = true; };
    hooks.runMainForm = [&](TForm& mainForm) {
      ++mainRuns;
      EXPECT_EQ(mainForm.ClassName(), "TfrmMainForm");
      EXPECT_EQ(MainForm(), &mainForm);
      EXPECT_EQ(FModalResult(), 0);
      EXPECT_EQ(qApp->styleSheet(), kStyle);
    };

    EXPECT_EQ(vlt::launcher::RunStartup(hooks), 0);

    EXPECT_TRUE(connected);
    EXPECT_EQ(ui.modalShown, row.windows);
    EXPECT_EQ(mainRuns, row.mainWindow ? 1 : 0);
    EXPECT_EQ(ui.messages, row.messages);
    // The style belongs to the main window's path only.
    EXPECT_EQ(qApp->styleSheet().isEmpty(), !row.mainWindow);
    if (row.windows.contains("TfrmUpdateApp")) {
      EXPECT_EQ(updateAddress, "http://dl.test/vlt.zip");
    }
    const auto versionCalls = proxy.callsStartingWith("GetSysMainDBDataBySql");
    if (row.signIn) {
      EXPECT_EQ(versionCalls,
                std::vector<std::string>{"GetSysMainDBDataBySql|10001|" + kVersionSql});
    } else {
      EXPECT_TRUE(proxy.calls.empty());
    }
  }
}

TEST_F(StartupTest, AMissingStyleFileIsShownAndNoMainWindowOpens) {
  ClientVersion().Version = "303";
  host.proxy().answer(
      "sys_autoupdateinfo",
      vlt::test::packetOf({"id", "Client_Version", "DownLoadURL"}, {{"-99", "0", ""}}));
  host.ui().scripts["TfrmLoginForm"] = [](QDialog& login) {
    FModalResult() = 99;
    login.close();
    return 0;
  };
  int mainRuns = 0;
  vlt::launcher::TStartupHooks hooks;
  hooks.runMainForm = [&](TForm&) { ++mainRuns; };
  vlt::launcher::RunStartup(hooks);
  EXPECT_EQ(mainRuns, 0);
  EXPECT_EQ(MainForm(), nullptr);
  ASSERT_EQ(host.ui().messages.size(), 1);
  EXPECT_TRUE(
      host.ui().messages[0].startsWith("Cannot open file \"" + work.path() + "/VltDefault.style\""))
      << host.ui().messages[0].toStdString();
}

TEST_F(StartupTest, AMissingControlCenterIsShown) {
  const QByteArray buildFolder = qgetenv("VLT_PLUGIN_DIR");
  qputenv("VLT_PLUGIN_DIR", work.path().toUtf8());
  vlt::launcher::TStartupHooks hooks;
  vlt::launcher::RunStartup(hooks);
  qputenv("VLT_PLUGIN_DIR", buildFolder);
  EXPECT_TRUE(host.ui().modalShown.isEmpty());
  ASSERT_EQ(host.ui().messages.size(), 1);
  EXPECT_TRUE(host.ui().messages[0].startsWith("Can't load package VltControlCenter.bpl"))
      << host.ui().messages[0].toStdString();
}

TEST(LocalBuildNumber, DecimalTextOnly) {
  struct Row {
    QString text;
    std::optional<int> build;
  };
  const Row rows[] = {{"303", 303},           {"0", 0},           {"-1", -1},
                      {"303a", std::nullopt}, {"", std::nullopt}, {"3.0", std::nullopt},
                      {"0x10", std::nullopt}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text.toStdString());
    ClientVersion().Version = row.text;
    if (row.build) {
      EXPECT_EQ(vlt::launcher::LocalBuildNumber(), *row.build);
    } else {
      EXPECT_THROW(vlt::launcher::LocalBuildNumber(), vlt::ConversionError);
    }
  }
  ClientVersion().Version = "303";
}

TEST(RunMainLoop, EndsWhenTheMainWindowCloses) {
  TForm mainForm;
  TForm functionWindow;  // a modeless window left open does not keep the program running
  functionWindow.show();
  QObject context;
  QTimer::singleShot(0, &context, [&] {
    EXPECT_TRUE(mainForm.isVisible());
    mainForm.close();
  });
  // Should the loop not end, this ends it with a failure instead of hanging.
  QTimer::singleShot(5000, &context, [] { QCoreApplication::exit(1); });
  EXPECT_EQ(vlt::launcher::RunMainLoop(mainForm), 0);
  EXPECT_FALSE(mainForm.isVisible());
}

}  // namespace

// The style file names the window parts the windows no longer style themselves.
TEST(StyleFile, ParsesAndStylesLabelsAndButtonsByTheirRole) {
  QFile style(qEnvironmentVariable("VLT_SOURCE_DIR") + "/launcher/VltDefault.style");
  ASSERT_TRUE(style.open(QIODevice::ReadOnly));
  static QStringList warnings;
  warnings.clear();
  const QtMessageHandler previous = qInstallMessageHandler(
      [](QtMsgType, const QMessageLogContext&, const QString& text) { warnings << text; });
  QWidget top;
  top.setStyleSheet(QString::fromUtf8(style.readAll()));
  const std::pair<const char*, QColor> roles[] = {{"warning", QColor("#c0392b")},
                                                  {"hint", QColor("#5b6773")},
                                                  {"faint", QColor("#9aa4af")},
                                                  {"link", QColor("#1f6fb2")}};
  for (const auto& [role, colour] : roles) {
    SCOPED_TRACE(role);
    auto* label = new QLabel("x", &top);
    label->setProperty("vltRole", role);
    label->ensurePolished();
    EXPECT_EQ(label->palette().color(QPalette::WindowText), colour);
  }
  auto* login = new QPushButton("登录", &top);
  login->setProperty("vltRole", "primary");
  login->ensurePolished();
  EXPECT_EQ(login->palette().color(QPalette::ButtonText), QColor("white"));
  qInstallMessageHandler(previous);
  EXPECT_TRUE(warnings.filter("parse", Qt::CaseInsensitive).isEmpty())
      << warnings.join("\n").toStdString();
}

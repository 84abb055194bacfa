// The login window: checking credentials, the identity and folders it prepares, the local user
// list it reads and rewrites, its keys, and the exception handler it installs.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "fakehost.h"
#include "uLoginForm.h"
#include "vlt/errors.h"
#include "vlt/host.h"

using namespace vlt::host;

namespace {

bool isAscii(const QByteArray& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) > 0x7f) return false;
  return true;
}

class LoginTest : public testing::Test {
 protected:
  vlt::test::HostFixture host;
  QTemporaryDir dir;
  std::unique_ptr<TfrmLoginForm> form;

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    AppVar().UserFilePath = dir.path() + "/";
    AppVar().HeadImgPath = dir.path() + "/";
    host.proxy().passwords["10001"] = "secret";
    host.proxy().profiles["10001"] =
        vlt::test::packetOf({"NickName", "HeadImgName"}, {{"小王", "head01.png"}});
  }

  QString userFile() const { return dir.path() + "/NxLoad.bmp"; }

  void writeUserFile(const QByteArray& text) {
    QFile f(userFile());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }

  QByteArray readUserFile() {
    QFile f(userFile());
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll();
  }

  // Creates the window by name as the launcher does, and shows it.
  TfrmLoginForm& open() {
    form = vlt::test::openWindow<TfrmLoginForm>("VltControlCenter.bpl", "uLoginForm.TfrmLoginForm");
    EXPECT_NE(form, nullptr);
    return *form;
  }

  QComboBox& idBox() { return *form->findChild<QComboBox*>("edtUserID"); }
  QLineEdit& pwBox() { return *form->findChild<QLineEdit*>("edtPW"); }
  QCheckBox& savePw() { return *form->findChild<QCheckBox*>("chkAutoSavePW"); }

  void login(const QString& id, const QString& password, bool remember) {
    idBox().setEditText(id);
    pwBox().setText(password);
    savePw().setChecked(remember);
    form->findChild<QAction*>("actLogin")->trigger();
    QApplication::processEvents();
  }
};

TEST_F(LoginTest, FirstRunCreatesTheFileWithOneEntryAndPreparesTheUser) {
  open();
  EXPECT_EQ(idBox().currentText(), "");
  EXPECT_EQ(idBox().count(), 0);

  login("10001", "secret", true);

  EXPECT_EQ(host.proxy().calls,
            (std::vector<std::string>{"CheckLoginUser|10001|secret", "GetRegisUserInfo|10001"}));
  EXPECT_EQ(
      readUserFile(),
      R"({"DefaultUser":"10001","Users":[{"UserID":"10001","UserPW":"secret","SavePW":true}]})");
  EXPECT_EQ(FModalResult(), 99);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(CurUserInfo().UserID, "10001");
  EXPECT_EQ(CurUserInfo().NickName, "小王");
  EXPECT_EQ(CurUserInfo().HeadImgName, "head01.png");
  EXPECT_EQ(AppVar().UserPath, dir.path() + "/10001/");
  EXPECT_EQ(AppVar().UserHeadImgPath, dir.path() + "/10001/HeaderImgs/");
  EXPECT_TRUE(QDir(dir.path() + "/10001/HeaderImgs").exists());
  EXPECT_TRUE(host.ui().messages.isEmpty());
}

TEST_F(LoginTest, AnEmptyProfileLeavesNicknameAndHeadImageAsTheyWere) {
  CurUserInfo().NickName = "before";
  CurUserInfo().HeadImgName = "before.png";
  host.proxy().passwords["10002"] = "pw";
  open();
  login("10002", "pw", false);
  EXPECT_EQ(FModalResult(), 99);
  EXPECT_EQ(CurUserInfo().UserID, "10002");
  EXPECT_EQ(CurUserInfo().NickName, "before");
  EXPECT_EQ(CurUserInfo().HeadImgName, "before.png");
}

// Login IDs and passwords reach the service exactly as typed; the file keeps them, escaped to
// plain ASCII, and gives them back on the next start.
TEST_F(LoginTest, UnusualTextsPassAsTypedAndComeBackFromTheFile) {
  struct Row {
    QString id, password;
    QByteArray expectedFile;
  };
  const Row rows[] = {
      {"10003", "it's \"quoted\"",
       R"({"DefaultUser":"10003","Users":[{"UserID":"10003","UserPW":"it's \"quoted\"","SavePW":true}]})"},
      {" 10004 ", "pass word",
       R"({"DefaultUser":" 10004 ","Users":[{"UserID":" 10004 ","UserPW":"pass word","SavePW":true}]})"},
      {"张三", "密码😀",
       R"({"DefaultUser":"\u5f20\u4e09","Users":[{"UserID":"\u5f20\u4e09","UserPW":"\u5bc6\u7801\ud83d\ude00","SavePW":true}]})"},
      {"o'neil\\", "a\\b\tc",
       R"({"DefaultUser":"o'neil\\","Users":[{"UserID":"o'neil\\","UserPW":"a\\b\tc","SavePW":true}]})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id.toStdString());
    QFile::remove(userFile());
    host.proxy().calls.clear();
    host.proxy().passwords[ss(row.id)] = ss(row.password);
    open();
    login(row.id, row.password, true);
    ASSERT_FALSE(host.proxy().calls.empty());
    EXPECT_EQ(host.proxy().calls[0], "CheckLoginUser|" + ss(row.id) + "|" + ss(row.password));
    const QByteArray text = readUserFile();
    EXPECT_TRUE(isAscii(text)) << text.toStdString();
    EXPECT_EQ(text, row.expectedFile);
    EXPECT_TRUE(QDir(dir.path() + "/" + row.id + "/HeaderImgs").exists());

    open();
    EXPECT_EQ(idBox().currentText(), row.id);
    EXPECT_EQ(pwBox().text(), row.password);
    EXPECT_TRUE(savePw().isChecked());
  }
}

// What the window shows when it opens, for the files it may find.
TEST_F(LoginTest, ShowFillsTheBoxesFromTheFile) {
  struct Row {
    const char* name;
    QByteArray file;  // empty: no file
    QString id;
    QStringList items;
    QString password;
    bool remembered;
  };
  const Row rows[] = {
      {"remembered password of the last user",
       R"({"DefaultUser":"10001","Users":[{"UserID":"10002","UserPW":"pw2","SavePW":true},)"
       R"({"UserID":"10001","UserPW":"pw1","SavePW":true}]})",
       "10001",
       {"10002", "10001"},
       "pw1",
       true},
      {"IDs compared ignoring case",
       R"({"DefaultUser":"abc","Users":[{"UserID":"ABC","UserPW":"pw","SavePW":true}]})",
       "abc",
       {"ABC"},
       "pw",
       true},
      {"password not remembered",
       R"({"DefaultUser":"10001","Users":[{"UserID":"10001","UserPW":"","SavePW":false}]})",
       "10001",
       {"10001"},
       "",
       false},
      {"no default user: empty list",
       R"({"DefaultUser":"","Users":[{"UserID":"10001","UserPW":"pw1","SavePW":true}]})",
       "",
       {},
       "",
       false},
      {"no file", "", "", {}, "", false},
      {"not JSON", "{\"DefaultUser\":\"10001\",", "", {}, "", false},
      {"wrong member types",
       R"({"DefaultUser":"10001","Users":[7,{"UserID":5},{"UserID":"10001","UserPW":1,"SavePW":"yes"}]})",
       "10001",
       {"10001"},
       "",
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QFile::remove(userFile());
    if (!row.file.isEmpty()) writeUserFile(row.file);
    open();
    EXPECT_EQ(idBox().currentText(), row.id);
    QStringList items;
    for (int i = 0; i < idBox().count(); ++i)
      items << idBox().itemText(i);
    EXPECT_EQ(items, row.items);
    EXPECT_EQ(pwBox().text(), row.password);
    EXPECT_EQ(savePw().isChecked(), row.remembered);
  }
}

// How a successful login rewrites the file it found.
TEST_F(LoginTest, LoginRewritesTheFile) {
  struct Row {
    const char* name;
    QByteArray before;
    QString id, password;
    bool remember;
    QByteArray after;
  };
  host.proxy().passwords["ABC"] = "pw";
  host.proxy().passwords["10002"] = "pw2";
  const Row rows[] = {
      {"unticked forgets the remembered password",
       R"({"DefaultUser":"10001","Users":[{"UserID":"10001","UserPW":"secret","SavePW":true}]})",
       "10001", "secret", false,
       R"({"DefaultUser":"10001","Users":[{"UserID":"10001","UserPW":"","SavePW":false}]})"},
      {"other letter case updates the one entry",
       R"({"DefaultUser":"abc","Users":[{"UserID":"abc","UserPW":"old","SavePW":true}]})", "ABC",
       "pw", true,
       R"({"DefaultUser":"abc","Users":[{"UserID":"ABC","UserPW":"pw","SavePW":true}]})"},
      {"a new ID is appended and becomes the default",
       R"({"DefaultUser":"10001","Users":[{"UserID":"10001","UserPW":"","SavePW":false}]})",
       "10002", "pw2", true,
       R"({"DefaultUser":"10002","Users":[{"UserID":"10001","UserPW":"","SavePW":false},)"
       R"({"UserID":"10002","UserPW":"pw2","SavePW":true}]})"},
      {"a default user without a list", R"({"DefaultUser":"10001"})", "10001", "secret", true,
       R"({"DefaultUser":"10001","Users":[{"UserID":"10001","UserPW":"secret","SavePW":true}]})"},
      {"members of other files stay", R"({"Theme":"blue","Users":[]})", "10001", "secret", false,
       R"({"Theme":"blue","Users":[{"UserID":"10001","UserPW":"","SavePW":false}],"DefaultUser":"10001"})"},
      {"not JSON", "\xff\xfe garbage", "10001", "secret", true,
       R"({"DefaultUser":"10001","Users":[{"UserID":"10001","UserPW":"secret","SavePW":true}]})"},
      {"an array", "[1,2,3]", "10001", "secret", true,
       R"({"DefaultUser":"10001","Users":[{"UserID":"10001","UserPW":"secret","SavePW":true}]})"},
      {"wrong member types", R"({"DefaultUser":5,"Users":"x"})", "10001", "secret", true,
       R"({"Users":[{"UserID":"10001","UserPW":"secret","SavePW":true}],"DefaultUser":"10001"})"},
      {"broken entries",
       R"({"DefaultUser":"10001","Users":[null,{"UserID":1},{"UserID":"10001"}]})", "10001",
       "secret", true,
       R"({"DefaultUser":"10001","Users":[{"UserID":"10001","UserPW":"secret","SavePW":true}]})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    writeUserFile(row.before);
    FModalResult() = 0;
    open();
    login(row.id, row.password, row.remember);
    EXPECT_EQ(FModalResult(), 99);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(readUserFile(), row.after);
  }
}

TEST_F(LoginTest, RefusedOrMissingInputChangesNothing) {
  struct Row {
    QString id, password;
    QString message;
    bool asksService;
  };
  const Row rows[] = {
      {"", "secret", "请输入帐号!", false},
      {"", "", "请输入帐号!", false},
      {"10001", "", "请输入密码！", false},
      {"10001", "wrong", "用户名或密码错误！，请检查！", true},
      {"10009", "secret", "用户名或密码错误！，请检查！", true},
  };
  const QByteArray before =
      R"({"DefaultUser":"10001","Users":[{"UserID":"10001","UserPW":"","SavePW":false}]})";
  for (const Row& row : rows) {
    SCOPED_TRACE(ss(row.id + "/" + row.password));
    writeUserFile(before);
    host.ui().messages.clear();
    host.proxy().calls.clear();
    open();
    login(row.id, row.password, true);
    EXPECT_EQ(host.ui().messages, QStringList{row.message});
    EXPECT_EQ(host.proxy().calls.size(), row.asksService ? 1u : 0u);
    EXPECT_EQ(readUserFile(), before);
    EXPECT_EQ(FModalResult(), 0);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(CurUserInfo().UserID, "");
  }
}

TEST_F(LoginTest, ExceptionHandlerTellsOnlyOfARefusedConnection) {
  struct Row {
    std::exception_ptr error;
    QStringList messages;
  };
  const QString refused = "连接云服务器失败。请确认您的网络是否能够正常访问互联网！";
  const Row rows[] = {
      {std::make_exception_ptr(vlt::RemoteError(0, "Connection refused (127.0.0.1:8700)")),
       {refused}},
      {std::make_exception_ptr(vlt::Error("socket: Connection refused")), {refused}},
      {std::make_exception_ptr(vlt::Error("connection refused")), {}},
      {std::make_exception_ptr(vlt::RemoteError(500, "Table 'x' doesn't exist")), {}},
      {std::make_exception_ptr(EAbort()), {}},
  };
  open();
  for (const Row& row : rows) {
    host.ui().messages.clear();
    HandleException(row.error);
    EXPECT_EQ(host.ui().messages, row.messages);
  }
  // It stays installed after the window has gone.
  form.reset();
  host.ui().messages.clear();
  HandleException(std::make_exception_ptr(vlt::Error("Connection refused")));
  EXPECT_EQ(host.ui().messages, QStringList{refused});
}

TEST_F(LoginTest, AServiceFailureDuringLoginGoesToTheHandlerAndTheWindowStays) {
  open();
  host.proxy().failWith = "Connection refused";
  login("10001", "secret", true);
  EXPECT_EQ(host.ui().messages,
            QStringList{"连接云服务器失败。请确认您的网络是否能够正常访问互联网！"});
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(readUserFile(), "<missing>");
  EXPECT_EQ(FModalResult(), 0);
}

TEST_F(LoginTest, ChoosingAnIdFromTheListFillsItsPassword) {
  writeUserFile(
      R"({"DefaultUser":"10001","Users":[{"UserID":"10001","UserPW":"pw1","SavePW":true},)"
      R"({"UserID":"10002","UserPW":"","SavePW":false},)"
      R"({"UserID":"10003","UserPW":"pw3","SavePW":true}]})");
  open();
  struct Row {
    int item;
    QString password;
    bool remembered;
  };
  const Row rows[] = {{1, "", false}, {2, "pw3", true}, {0, "pw1", true}};
  for (const Row& row : rows) {
    idBox().showPopup();
    QApplication::processEvents();
    idBox().setCurrentIndex(row.item);
    idBox().hidePopup();
    QApplication::processEvents();
    EXPECT_EQ(pwBox().text(), row.password);
    EXPECT_EQ(savePw().isChecked(), row.remembered);
  }
}

TEST_F(LoginTest, KeysMoveThroughTheBoxes) {
  writeUserFile(
      R"({"DefaultUser":"10001","Users":[{"UserID":"10001","UserPW":"pw1","SavePW":true}]})");
  open();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  // Keys go where the platform sends them: to the widget that has the focus.
  auto press = [](Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); };
  idBox().setFocus();
  press(Qt::Key_Return);
  EXPECT_TRUE(pwBox().hasFocus());
  press(Qt::Key_Return);
  EXPECT_TRUE(form->findChild<QPushButton*>("btnLogin")->hasFocus());
  EXPECT_TRUE(host.proxy().calls.empty());  // Enter moves on; it does not sign in
  EXPECT_TRUE(host.ui().messages.isEmpty());

  idBox().setFocus();
  press(Qt::Key_Down);
  EXPECT_TRUE(idBox().view()->isVisible());
  EXPECT_EQ(idBox().currentText(), "10001");
  idBox().hidePopup();
}

TEST_F(LoginTest, RegisterLabelOpensTheRegistrationPage) {
  open();
  QTest::mouseClick(form->findChild<QLabel*>("lblRegUserID"), Qt::LeftButton);
  EXPECT_EQ(host.ui().opened, QStringList{"http://service.test/reg.htm"});
}

TEST_F(LoginTest, CloseGivesUpWithoutSigningIn) {
  open();
  form->findChild<QAction*>("actClose")->trigger();
  EXPECT_FALSE(form->isVisible());
  EXPECT_NE(FModalResult(), 99);
  EXPECT_TRUE(host.proxy().calls.empty());
}

TEST_F(LoginTest, FramelessWindow) {
  writeUserFile(
      R"({"DefaultUser":"10001","Users":[{"UserID":"10001","UserPW":"pw1","SavePW":true}]})");
  open();
  EXPECT_TRUE(form->windowFlags() & Qt::FramelessWindowHint);
  vlt::test::saveShot(*form, "login");
}

}  // namespace

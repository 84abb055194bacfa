// The main window: caption and placement, the current account set, and the module pages it
// builds from the packages of the plug-in folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "fakehost.h"
#include "uMainForm.h"
#include "vlt/errors.h"
#include "vlt/host.h"

using namespace vlt::host;

namespace {

// The build's plug-in folder (set for the window tests; beside the tests otherwise).
QString buildPluginFolder() {
  QString folder = qEnvironmentVariable("VLT_PLUGIN_DIR");
  if (folder.isEmpty()) folder = QCoreApplication::applicationDirPath() + "/../client/plugins";
  return folder;
}

QString libraryFile(const QString& base) {
  return "lib" + base + ".so";
}

const QStringList kPackages = {"VltCalendar", "VltBusiness", "VltPersionCard", "VltWebShop"};

class MainFormTest : public testing::Test {
 protected:
  vlt::test::HostFixture host;
  QTemporaryDir dir;
  QTemporaryDir plugins;
  std::unique_ptr<TfrmMainForm> form;
  std::vector<std::string> errors;

  void SetUp() override {
    ASSERT_TRUE(dir.isValid() && plugins.isValid());
    AppVar().UserFilePath = dir.path() + "/";
    AppVar().HeadImgPath = dir.path() + "/";
    CurUserInfo().UserID = "10001";
    CurUserInfo().NickName = "小王";
    SetApplicationExceptionHandler([this](const std::exception& e) { errors.push_back(e.what()); });
    // A folder of its own, so that each test loads fresh copies of the packages.
    SetPluginFolder(plugins.path());
  }

  void TearDown() override {
    form.reset();
    SetPluginFolder(QString());
  }

  void copyPackages(const QStringList& names) {
    for (const QString& name : names)
      ASSERT_TRUE(QFile::copy(buildPluginFolder() + "/" + libraryFile(name),
                              plugins.path() + "/" + libraryFile(name)))
          << name.toStdString();
  }

  TfrmMainForm& create() {
    form = vlt::test::createWindow<TfrmMainForm>("VltControlCenter.bpl", "uMainForm.TfrmMainForm");
    EXPECT_NE(form, nullptr);
    return *form;
  }

  TfrmMainForm& open() {
    vlt::test::showSettled(create());
    return *form;
  }

  QLineEdit& curDB() { return *form->findChild<QLineEdit*>("edtCurDB"); }
  QLabel& hint() { return *form->findChild<QLabel*>("lblCurDB"); }
  QTabWidget& pages() { return *form->findChild<QTabWidget*>("tbcNavigation"); }
  QListWidget& navigation() { return *form->findChild<QListWidget*>("lstNavigation"); }
};

TEST_F(MainFormTest, CreationSetsCaptionNicknameAndPlacement) {
  create();
  EXPECT_EQ(form->windowTitle(), "NXQ在线平台 『 10001 』");
  EXPECT_EQ(form->findChild<QLabel*>("lblNickName")->text(), "小王");
  const int screenWidth = QGuiApplication::primaryScreen()->geometry().width();
  EXPECT_EQ(form->pos(), QPoint(screenWidth - form->width() - 20, 10));
  EXPECT_EQ(form->width(), 300);
  EXPECT_TRUE(curDB().isReadOnly());
  EXPECT_TRUE(pages().tabBar()->isHidden());
}

TEST_F(MainFormTest, HintShowsExactlyWhileTheAccountSetBoxIsEmpty) {
  open();
  EXPECT_TRUE(hint().isVisible());
  EXPECT_EQ(hint().text(), "选择当前帐套");
  for (const QString text : {"当前帐套：『10001_01』门店", "", "x", ""}) {
    curDB().setText(text);
    EXPECT_EQ(hint().isVisible(), text.isEmpty()) << text.toStdString();
  }
}

// The account-set window gets the login ID and hands its choice back through cdsSelectResult.
TEST_F(MainFormTest, ChoosingTheCurrentAccountSet) {
  struct Row {
    const char* name;
    std::vector<std::vector<std::string>> chosen;
    bool throws;
    QString box;
    std::string userDbId;
  };
  const Row rows[] = {
      {"a choice", {{"10001_02", "分店"}}, false, "当前帐套：『10001_02』分店", "10001_02"},
      {"closed without choosing", {}, false, "当前帐套：『10001_01』总店", "10001_01"},
      {"left by an exception after choosing",
       {{"10002_11", "合作店"}},
       true,
       "当前帐套：『10002_11』合作店",
       "10002_11"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    open();
    curDB().setText("当前帐套：『10001_01』总店");
    CurUserInfo().UserDBID = "10001_01";
    errors.clear();
    QString tagString;
    QPointer<QDialog> shown;
    host.ui().scripts["TfrmSelectUserDB"] = [&](QDialog& window) {
      tagString = static_cast<TForm&>(window).TagString;
      shown = &window;
      auto& result = GlobalDM().cdsSelectResult;
      result.EmptyDataSet();
      for (const auto& r : row.chosen) {
        result.Append();
        result.FieldByName("id").SetAsString(r[0]);
        result.FieldByName("name").SetAsString(r[1]);
        result.Post();
      }
      window.close();
      if (row.throws) throw vlt::Error("lost the window");
      return 0;
    };
    form->findChild<QToolButton*>("btnCurDB")->click();
    EXPECT_EQ(host.ui().modalShown.last(), "TfrmSelectUserDB");
    EXPECT_EQ(tagString, "10001");
    EXPECT_EQ(curDB().text(), row.box);
    EXPECT_EQ(CurUserInfo().UserDBID, row.userDbId);
    EXPECT_TRUE(GlobalDM().cdsSelectResult.IsEmpty());
    EXPECT_FALSE(hint().isVisible());
    EXPECT_TRUE(shown.isNull());  // freed
    EXPECT_EQ(errors.size(), row.throws ? 1u : 0u);
  }
}

TEST_F(MainFormTest, HeadPictureOnlyWhenTheFileExists) {
  for (bool present : {false, true}) {
    SCOPED_TRACE(present);
    if (present) {
      QImage picture(32, 32, QImage::Format_ARGB32);
      picture.fill(Qt::darkCyan);
      ASSERT_TRUE(picture.save(dir.path() + "/DefaultHeadImg.png"));
    }
    open();
    const QLabel* head = form->findChild<QLabel*>("ImgHeader");
    EXPECT_EQ(head->pixmap().isNull(), !present);
  }
}

TEST_F(MainFormTest, AMissingPackageStopsTheLoadingOfTheRest) {
  // Everything but the business package: the calendar page comes, nothing after it.
  copyPackages({"VltCalendar", "VltPersionCard", "VltWebShop"});
  open();
  EXPECT_EQ(pages().count(), 1);
  EXPECT_NE(pages().widget(0)->findChild<QWidget*>("lytCalendar"), nullptr);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("VltBusiness.bpl"), std::string::npos) << errors[0];
  // The packages were all named before the loading began.
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(navigation().item(i)->data(TfrmMainForm::TagStringRole).toString(),
              kPackages[i] + ".bpl");
}

TEST_F(MainFormTest, TheFourPackagesBecomeTheFourPages) {
  SetPluginFolder(buildPluginFolder());
  open();
  ASSERT_TRUE(errors.empty()) << errors[0];
  struct Row {
    const char* item;
    const char* caption;
    const char* package;
    const char* rootLayout;
  };
  const Row rows[] = {
      {"lstSchedule", "日程", "VltCalendar.bpl", "lytCalendar"},
      {"lstBusiness", "业务", "VltBusiness.bpl", "lytBusiness"},
      {"lstPersionCard", "理财", "VltPersionCard.bpl", "lytPersionCard"},
      {"lstWebShoping", "商城", "VltWebShop.bpl", "lytWebShopping"},
  };
  ASSERT_EQ(navigation().count(), 4);
  ASSERT_EQ(pages().count(), 4);
  for (int i = 0; i < 4; ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.item);
    const QListWidgetItem* item = navigation().item(i);
    EXPECT_EQ(item->data(TfrmMainForm::ItemNameRole).toString(), row.item);
    EXPECT_EQ(item->text(), row.caption);
    EXPECT_EQ(item->data(TfrmMainForm::TagStringRole).toString(), row.package);
    QWidget* root = pages().widget(i)->findChild<QWidget*>(row.rootLayout);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->parentWidget(), pages().widget(i));
    EXPECT_TRUE(pages().tabText(i).startsWith(' '));
  }
  EXPECT_EQ(navigation().currentRow(), 1);
  EXPECT_EQ(pages().currentIndex(), 1);
  EXPECT_TRUE(pages().currentWidget()->findChild<QWidget*>("lytBusiness")->isVisible());

  for (int i : {3, 0, 2}) {
    navigation().setCurrentRow(i);
    EXPECT_EQ(pages().currentIndex(), i);
  }

  // The shop page: its picture, unscaled, opens the shop.
  navigation().setCurrentRow(3);
  auto* picture = pages().widget(3)->findChild<QLabel*>("imgWSPng");
  ASSERT_NE(picture, nullptr);
  EXPECT_FALSE(picture->hasScaledContents());
  EXPECT_FALSE(picture->pixmap().isNull());
  EXPECT_EQ(picture->cursor().shape(), Qt::PointingHandCursor);
  QTest::mouseClick(picture, Qt::LeftButton);
  EXPECT_EQ(host.ui().opened, QStringList{"http://service.test/shop.htm"});

  form->findChild<QPushButton*>("btnOnlinesvr")->click();
  EXPECT_EQ(host.ui().opened.last(), "http://service.test/support.htm");

  // Escape does not end the program behind the user's back.
  QTest::keyClick(form.get(), Qt::Key_Escape);
  EXPECT_TRUE(form->isVisible());

  if (!qEnvironmentVariable("VLT_SHOTS_DIR").isEmpty()) {
    QFile style(qEnvironmentVariable("VLT_SOURCE_DIR") + "/launcher/VltDefault.style");
    ASSERT_TRUE(style.open(QIODevice::ReadOnly));
    qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
    curDB().setText("当前帐套：『10001_01』总店");
    navigation().setCurrentRow(1);
    QApplication::processEvents();
    vlt::test::saveShot(*form, "main");
    navigation().setCurrentRow(3);
    QApplication::processEvents();
    vlt::test::saveShot(*form, "main-webshop");
    qApp->setStyleSheet(QString());
  }
}

}  // namespace

// The update window: its fixed texts and its two buttons.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <memory>

#include "fakehost.h"
#include "uUpdateApp.h"
#include "vlt/host.h"

using namespace vlt::host;

namespace {

class UpdateTest : public testing::Test {
 protected:
  vlt::test::HostFixture host;
  std::unique_ptr<TfrmUpdateApp> form;

  TForm& open(const QString& address) {
    form = vlt::test::openWindow<TfrmUpdateApp>("VltControlCenter.bpl", "uUpdateApp.TfrmUpdateApp",
                                                address);
    EXPECT_NE(form, nullptr);
    return *form;
  }

  QPushButton* button(const QString& text) {
    for (QPushButton* b : form->findChildren<QPushButton*>())
      if (b->text() == text) return b;
    return nullptr;
  }
};

TEST_F(UpdateTest, ShowsTheFixedTexts) {
  open("http://service.test/download/vlt.zip");
  EXPECT_EQ(form->windowTitle(), "版本更新提示：");
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  EXPECT_EQ(form->findChild<QLabel*>("lblClientVer")->text(),
            "您当前客户端版本为 ：Ver 303.190.20140120.2201");
  bool infoShown = false;
  for (QLabel* label : form->findChildren<QLabel*>())
    infoShown |= label->text() == "您需要升级程序后继续使用，请下载最新版安装使用！";
  EXPECT_TRUE(infoShown);
  EXPECT_FALSE(form->findChild<QLabel*>("imgError")->pixmap().isNull());
  EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
  vlt::test::saveShot(*form, "update");
}

TEST_F(UpdateTest, ButtonsOpenTheAddressAndClose) {
  struct Row {
    QString address;
    QString button;
    QStringList opened;
  };
  const Row rows[] = {
      {"http://service.test/download/vlt.zip",
       "下载最新版",
       {"http://service.test/download/vlt.zip"}},
      {"", "下载最新版", {""}},  // an empty address is still handed to the shell
      {"http://service.test/download/vlt.zip", "关闭", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(ss(row.address + " " + row.button));
    host.ui().opened.clear();
    open(row.address);
    QPushButton* b = button(row.button);
    ASSERT_NE(b, nullptr);
    b->click();
    EXPECT_EQ(host.ui().opened, row.opened);
    EXPECT_FALSE(form->isVisible());
  }
}

}  // namespace

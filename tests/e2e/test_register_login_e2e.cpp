// A shop owner without a login ID registers on the service's page and signs in to the desktop
// client with the ID the page showed.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <chrono>
#include <memory>
#include <regex>
#include <thread>

#include "fakehost.h"
#include "http.h"
#include "served_service.h"
#include "uLoginForm.h"
#include "vlt/host.h"
#include "vlt/servermethods.h"
#include "web.h"

using namespace vlt;
using namespace vlt::host;

namespace {

class RegisterThenSignIn : public test::ServedServiceFixture {
 protected:
  void mountMore() override {
    server::WebSettings web;
    web.publicUrl = url;
    server::mountWeb(http, *service, web);
  }

  // Fills in reg.htm as a browser does and returns the page the service answers.
  std::string registerOnThePage(const std::string& nick, const std::string& password) {
    httplib::Client browser(url);
    auto form = browser.Get("/reg.htm");
    EXPECT_TRUE(form && form->status == 200);
    if (!form) return {};
    std::smatch m;
    const std::regex token("name=\"token\" value=\"([^\"]+)\"");
    EXPECT_TRUE(std::regex_search(form->body, m, token));
    const std::string tokenValue = m.size() > 1 ? m[1].str() : "";
    std::string cookie = form->get_header_value("Set-Cookie");
    cookie = cookie.substr(0, cookie.find(';'));
    httplib::Headers headers{{"Cookie", cookie}, {"Origin", url}};
    httplib::Params fields{
        {"token", tokenValue}, {"nick", nick}, {"password", password}, {"password2", password}};
    auto done = browser.Post("/reg.htm", headers, fields);
    EXPECT_TRUE(done && done->status == 200);
    return done ? done->body : std::string();
  }

  test::HostFixture host;
};

TEST_F(RegisterThenSignIn, TheIdShownOnThePageSignsInToTheClient) {
  const std::string page = registerOnThePage("新开的小店", "shop pw 123");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(page, m, std::regex(R"re(id="login-id">(\d+)<)re"))) << page;
  const std::string loginId = m[1].str();

  QTemporaryDir folder;
  AppVar().UserFilePath = folder.path() + "/";
  SetServerMethods(std::make_unique<TServerMethodsClient>(url));
  auto form = test::openWindow<TfrmLoginForm>("VltControlCenter.bpl", "uLoginForm.TfrmLoginForm");
  form->findChild<QComboBox*>("edtUserID")->setEditText(qs(loginId));
  form->findChild<QLineEdit*>("edtPW")->setText("shop pw 123");
  form->findChild<QAction*>("actLogin")->trigger();

  EXPECT_TRUE(host.ui().messages.isEmpty()) << ss(host.ui().messages.join("\n"));
  EXPECT_EQ(FModalResult(), 99);
  EXPECT_EQ(CurUserInfo().UserID, loginId);
  EXPECT_EQ(CurUserInfo().NickName, "新开的小店");
}

}  // namespace

// The host services: window creation by name, packages, components, the guard, ids, what the
// user reads of a refused change.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <stdexcept>

#include "fakehost.h"
#include "vlt/errors.h"
#include "vlt/host.h"
#include "vlt/status.h"

using namespace vlt;
using namespace vlt::host;

// A window of the test program, registered like a package's windows.
class TfrmHostProbe : public TForm {
  Q_OBJECT
 public:
  explicit TfrmHostProbe(QWidget* owner) : TForm(owner) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName("edtProbe");
    auto* inner = new QWidget(this);
    auto* label = new QLabel(inner);
    label->setObjectName("lblDeep");
  }
  void FormCreate() override {
    created += "descendant;";
    TForm::FormCreate();
    created += "inherited;";
  }
  void FormShow() override { ++shows; }
  QString created;
  int shows = 0;
};
VLT_REGISTER_CLASS(uHostProbe, TfrmHostProbe);

class TfrmProbeFrame : public QWidget, public IPluginFrame {
  Q_OBJECT
 public:
  explicit TfrmProbeFrame(QWidget* owner) : QWidget(owner), root_(new QWidget(this)) {}
  QWidget* GetBaseControl() override { return root_; }

 private:
  QWidget* root_;
};
VLT_REGISTER_CLASS(uProbeFrame, TfrmProbeFrame);

class HostTest : public ::testing::Test {
 protected:
  test::HostFixture host;
};

TEST_F(HostTest, CreatesWindowsByQualifiedNameAndRunsTheCreateHandlerOnce) {
  std::unique_ptr<TForm> f(CreateRttiForm("VltTest.bpl", "uHostProbe.TfrmHostProbe", nullptr));
  auto* probe = qobject_cast<TfrmHostProbe*>(f.get());
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe->created, "descendant;inherited;");
  EXPECT_EQ(probe->ClassName(), "TfrmHostProbe");
  // Unit-qualified names are matched without regard to case, as the platform's registry does.
  std::unique_ptr<TForm> g(CreateRttiForm("VltTest.bpl", "uhostprobe.tfrmhostprobe", nullptr));
  EXPECT_NE(g, nullptr);
  // The show handler runs on the first show only.
  probe->show();
  probe->hide();
  probe->show();
  EXPECT_EQ(probe->shows, 1);
  EXPECT_EQ(MainForm(), nullptr);
  std::unique_ptr<TForm> main(CreateRttiForm("VltTest.bpl", "uHostProbe.TfrmHostProbe"));
  EXPECT_EQ(MainForm(), main.get());
  main.reset();
  EXPECT_EQ(MainForm(), nullptr);
}

TEST_F(HostTest, RefusesWhatIsNoWindowOrNotThere) {
  struct Case {
    const char* package;
    const char* name;
    const char* message;
  };
  const Case cases[] = {
      {"VltTest.bpl", "uProbeFrame.TfrmProbeFrame", "is not a window"},
      // Unknown class of a package that cannot be loaded: the loader's failure.
      {"VltNoSuchPackage.bpl", "uNone.TfrmNone", "Can't load package VltNoSuchPackage.bpl"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      CreateRttiForm(c.package, c.name, nullptr);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST_F(HostTest, TheProgramsOwnClassesIncludeFrames) {
  const TClassInfo* frame = nullptr;
  int frames = 0;
  for (const TClassInfo* c : PackageClasses(0)) {
    const TClassInfo* found = nullptr;
    if (IsPluginFrameClass(c, found)) {
      ++frames;
      frame = found;
    }
  }
  ASSERT_EQ(frames, 1);
  EXPECT_EQ(frame->qualifiedName, "uProbeFrame.TfrmProbeFrame");
  std::unique_ptr<QWidget> w(frame->create(nullptr));
  auto* f = dynamic_cast<IPluginFrame*>(w.get());
  ASSERT_NE(f, nullptr);
  EXPECT_NE(f->GetBaseControl(), nullptr);
}

TEST_F(HostTest, FindsComponentsOfOpenWindowsAndAncestors) {
  std::unique_ptr<TForm> f(CreateRttiForm("VltTest.bpl", "uHostProbe.TfrmHostProbe", nullptr));
  f->show();
  QObject* edit = GetFormComponent("TfrmHostProbe", "edtProbe");
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit, f->findChild<QLineEdit*>("edtProbe"));
  QObject* deep = GetFormComponent(f.get(), "lblDeep");
  ASSERT_NE(deep, nullptr);
  EXPECT_EQ(GetFormComponent("TfrmHostProbe", "nothing"), nullptr);
  EXPECT_EQ(GetFormComponent("TfrmNoSuchForm", "edtProbe"), nullptr);
  EXPECT_EQ(FindItemParent(deep, "vlt::host::TForm"), f.get());
  EXPECT_EQ(FindItemParent(deep, "QDialog"), f.get());
  EXPECT_EQ(FindItemParent(deep, "QLineEdit"), nullptr);
  f->hide();
}

TEST_F(HostTest, TheGuardKeepsExceptionsFromQtAndHandsThemToTheHandler) {
  std::vector<std::string> handled;
  SetApplicationExceptionHandler([&](const std::exception& e) { handled.push_back(e.what()); });
  QAction action;
  int ran = 0;
  struct Case {
    std::function<void()> body;
    std::vector<std::string> handled;
  };
  const std::vector<Case> cases = {
      {[&] { ++ran; }, {}},
      {[&] { Abort(); }, {}},  // the silent abort reaches no one
      {[&] { throw RemoteError(0, "Connection refused: 127.0.0.1"); },
       {"Connection refused: 127.0.0.1"}},
      {[&] { throw std::runtime_error("boom"); }, {"boom"}},
  };
  for (const Case& c : cases) {
    handled.clear();
    QObject::disconnect(&action, nullptr, nullptr, nullptr);
    QObject::connect(&action, &QAction::triggered, guarded(c.body));
    action.trigger();  // triggered(bool): the handler need not take it
    EXPECT_EQ(handled, c.handled);
  }
  EXPECT_EQ(ran, 1);
  // A handler that takes the signal's argument gets it.
  bool got = false;
  QAction check;
  check.setCheckable(true);
  QObject::connect(&check, &QAction::triggered, guarded([&](bool on) { got = on; }));
  check.trigger();
  EXPECT_TRUE(got);
  // Without a handler everything is dropped.
  SetApplicationExceptionHandler(nullptr);
  EXPECT_NO_THROW(guarded([] { throw std::runtime_error("x"); })());
}

TEST_F(HostTest, IdsComeFromServiceBlocksOnePerHundred) {
  std::set<std::string> ids;
  for (int i = 0; i < 250; ++i)
    ids.insert(GetNewID());
  EXPECT_EQ(ids.size(), 250u);
  EXPECT_EQ(host.proxy().callsStartingWith("GetNewIDBlock").size(), 3u);
  EXPECT_EQ(*ids.begin(), "200000000000000");
  for (const std::string& id : ids)
    EXPECT_EQ(id.size(), 15u);
}

TEST_F(HostTest, RegisteredComponentsGoWithTheirPackage) {
  // A package that cannot be loaded leaves nothing behind.
  EXPECT_THROW(LoadPlugin("VltMissing.bpl"), Error);
  EXPECT_TRUE(PackageClasses(12345).empty());
  UnloadPlugin(12345);  // unknown handles are ignored
}

TEST_F(HostTest, SelectionHandOverHasItsFiveTextFields) {
  ClientDataSet& r = GlobalDM().cdsSelectResult;
  r.Append();
  r.FieldByName("id").SetAsString("10001_01");
  r.FieldByName("name").SetAsString("帐套");
  r.FieldByName("other1").SetAsString("1");
  r.FieldByName("other2").SetAsString("");
  r.FieldByName("other3").SetAsString("");
  r.Post();
  EXPECT_EQ(r.RecordCount(), 1);
  r.EmptyDataSet();
  EXPECT_TRUE(r.IsEmpty());
}

TEST_F(HostTest, WebAddressesAreOnTheServiceInUse) {
  SetServiceBaseAddress("http://127.0.0.1:8700/");
  EXPECT_EQ(ServiceWebAddress("reg.htm"), "http://127.0.0.1:8700/reg.htm");
  EXPECT_EQ(ServiceBaseAddress(), "http://127.0.0.1:8700");
}

#include "test_host.moc"

TEST_F(HostTest, ARefusedChangeIsToldOnceInPlainWordsAndEndsTheHandler) {
  const TStatusTexts save{"保存失败，错误原因：", "该基础资料名称已经录入，请查证！"};
  struct Row {
    const char* name;
    std::string status;
    TStatusTexts texts;
    QString shown;  // empty: success, nothing shown
  };
  const Row rows[] = {
      {"success", "0", save, ""},
      {"duplicate with the window's text", "Duplicate entry 'kg' for key 'Name'", save,
       "该基础资料名称已经录入，请查证！"},
      {"duplicate without one",
       "Duplicate entry 'kg' for key 'Name'",
       {},
       "该资料已经存在，不能重复录入！"},
      {"stale row, table and key dropped",
       "数据已被其他用户修改或删除，请刷新后重试（td_goods：ID='1'）", save,
       "数据已被其他用户修改或删除，请刷新后重试"},
      {"the service's own words", "该往来单位已有业务发生，不允许删除！", save,
       "保存失败，错误原因：该往来单位已有业务发生，不允许删除！"},
      {"a text without prefix", "您无权修改此帐套", {}, "您无权修改此帐套"},
      {"a wrong number, no database names",
       "Incorrect decimal value: 'abc' for column `vlt_10001_01`.`td_goods`.`PurPrice` at row 1",
       save, "保存失败，错误原因：所填的数字或日期不正确，请检查后重试。"},
      {"truncated",
       "Data truncated for column 'PurPrice' at row 1",
       {"保存失败!错误原因："},
       "保存失败!错误原因：所填的数字或日期不正确，请检查后重试。"},
      {"in use", "Cannot delete or update a parent row: a foreign key constraint fails", save,
       "保存失败，错误原因：该资料已被其他资料或单据使用，不能删除或修改。"},
      {"anything else",
       "Table 'vlt_10001_01.td_x' doesn't exist",
       {},
       "数据服务未能完成此操作，请稍后重试；如仍不成功，请联系管理员。"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    host.ui().messages.clear();
    EXPECT_EQ(StatusMessage(r.status, r.texts), r.shown);
    bool ended = true;
    guarded([&] {
      CheckStatus(r.status, r.texts);
      ended = false;
    })();
    EXPECT_EQ(ended, !r.shown.isEmpty());
    EXPECT_EQ(host.ui().messages, r.shown.isEmpty() ? QStringList() : QStringList{r.shown});
    EXPECT_FALSE(QString(r.shown).contains("vlt_"));
  }
}

TEST_F(HostTest, CaptionsNameTheirBoxesForScreenReadersWhenTheWindowIsShown) {
  TForm window;
  auto* rows = new QFormLayout(&window);
  auto* name = new QLineEdit(&window);
  auto* id = new QLineEdit(&window);
  auto* own = new QLineEdit(&window);
  own->setAccessibleName("自定");
  auto* free = new QLineEdit(&window);  // no caption: stays unnamed
  rows->addRow("帐套名称：", name);
  rows->addRow("&ID", id);
  rows->addRow("别名", own);
  rows->addRow(free);
  window.show();
  QApplication::processEvents();
  EXPECT_EQ(name->accessibleName(), "帐套名称");
  EXPECT_EQ(id->accessibleName(), "ID");
  EXPECT_EQ(own->accessibleName(), "自定");
  EXPECT_TRUE(free->accessibleName().isEmpty());
}

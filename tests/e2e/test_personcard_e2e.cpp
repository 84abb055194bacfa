// The person-card ledger against the real service: two users keep entries and categories
// through the windows; neither sees, changes nor deletes the other's rows through any window or
// statement the client can send, and each one's overview counts only their own.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <memory>
#include <string>
#include <vector>

#include "fakehost.h"
#include "served_service.h"
#include "uPersionCardEdit.h"
#include "uPersionCardForm.h"
#include "uPersionCardIoType.h"
#include "uPersionCardIoTypeEdit.h"
#include "uPersionCardMonthly.h"
#include "uReport_PersionCardFlow.h"
#include "vlt/components.h"
#include "vlt/host.h"
#include "vlt/servermethods.h"
#include "vlt/sqltext.h"
#include "windowrows.h"

using namespace vlt;
using namespace vlt::host;

namespace {

const QString kPkg = "VltPersionCard.bpl";

struct TEntry {
  int kind;
  QString type;
  QString amount;
  QString date;
  QString note;
};

class PersionCardE2E : public test::ServedServiceFixture {
 protected:
  using Rows = std::vector<std::string>;

  void SetUp() override {
    ServedServiceFixture::SetUp();
    alice = service->CreateUser("甲", "alice pw");
    bob = service->CreateUser("乙", "bob pw");
  }

  void signIn(const std::string& user) {
    auto proxy = std::make_unique<TServerMethodsClient>(url);
    ASSERT_TRUE(proxy->CheckLoginUser(user, user == alice ? "alice pw" : "bob pw"));
    SetServerMethods(std::move(proxy));
    CurUserInfo().UserID = user;
    CurUserInfo().UserDBID.clear();
  }

  // Rows of the system database as the administrator sees them: "value|value|...".
  Rows truth(const std::string& sql) {
    server::DbEndpoint e = server::test::rootEndpoint();
    e.database = prefix + "_sys";
    return lines(server::Connection::open(e)->query(sql));
  }
  // Rows as the signed-in user's statement sees them.
  Rows seen(const std::string& sql) {
    return lines(doServerMethods().GetSysMainDBDataBySql(CurUserInfo().UserID, sql));
  }
  static Rows lines(const Packet& p) {
    Rows out;
    for (const Row& r : p.rows) {
      std::string line;
      for (const Value& v : r)
        line.append(line.empty() ? "" : "|").append(v.toText());
      out.push_back(line);
    }
    return out;
  }
  std::string entriesOf(const std::string& user) {
    return "select IOKind,IODirect,IOType,bdate,cast(IOAmt as char),Remark from userpersincard "
           "where UserID=" +
           user + " order by ID";
  }

  // Enters the entry through the list of its kind and the entry window.
  void enter(const TEntry& entry) {
    auto list = test::openWindow<TfrmPersionCardForm>(kPkg, "uPersionCardForm.TfrmPersionCardForm",
                                                      QString::number(entry.kind));
    ASSERT_TRUE(list);
    ui().scripts["TfrmPersionCardEdit"] = [entry](QDialog& d) {
      auto& e = dynamic_cast<TfrmPersionCardEdit&>(d);
      test::Type(e, "edtCardType", entry.type);
      test::Type(e, "edtAmt", entry.amount);
      test::Type(e, "edtdate", entry.date);
      e.mmoMemo->setPlainText(entry.note);
      e.actSaveAndClose->trigger();
      return 0;
    };
    list->actAdd->trigger();
    EXPECT_EQ(messages(), "");
  }

  // Adds a category through the list of its kind and the edit window.
  void addCategory(int kind, const QString& name) {
    auto list = test::openWindow<TfrmPersionCardIoType>(
        kPkg, "uPersionCardIoType.TfrmPersionCardIoType", QString::number(kind));
    ASSERT_TRUE(list);
    ui().scripts["TfrmPersionCardIoTypeEdit"] = [name](QDialog& d) {
      auto& e = dynamic_cast<TfrmPersionCardIoTypeEdit&>(d);
      test::Type(e, "edtName", name);
      e.actSaveAndClose->trigger();
      return 0;
    };
    list->actAdd->trigger();
    EXPECT_EQ(messages(), "");
  }

  // The list of a kind over the whole year.
  std::unique_ptr<TfrmPersionCardForm> yearList(int kind) {
    auto list = test::openWindow<TfrmPersionCardForm>(kPkg, "uPersionCardForm.TfrmPersionCardForm",
                                                      QString::number(kind));
    if (list) {
      list->FOpenDateStr = "bdate between '2026-01-01' and '2026-12-31'";
      list->opendata();
    }
    return list;
  }
  static Rows listed(TfrmPersionCardForm& list, const char* field) {
    Rows out;
    ClientDataSet& ds = list.cdsMaster;
    for (ds.First(); !ds.Eof(); ds.Next())
      out.push_back(ds.FieldByName(field).AsString());
    return out;
  }

  void keepEntries() {
    signIn(alice);
    addCategory(3, "招商银行卡");
    addCategory(2, "餐饮");
    addCategory(2, "餐饮");  // the same name twice
    for (const TEntry& e :
         std::vector<TEntry>{{1, "工资", "1000.10", "2026-01-05", ""},
                             {2, "餐饮", "0.20", "2026-01-06", "早饭"},
                             {3, "招商银行卡", "100.00", "2026-02-01", "超市"},
                             {4, "招商银行卡", "50.05", "2026-02-10", ""},
                             {2, "O'Neil \\ 😀", "0.1", "2026-02-11", "it's \\ 🍜"}})
      enter(e);
    signIn(bob);
    addCategory(2, "餐饮");
    for (const TEntry& e : std::vector<TEntry>{{1, "工资", "7777.77", "2026-01-05", "乙的"},
                                               {2, "房租", "1.00", "2026-02-02", ""}})
      enter(e);
  }

  test::FakeHostUi& ui() { return host.ui(); }
  std::string messages() {
    const std::string out = ui().messages.join("\n").toStdString();
    ui().messages.clear();
    return out;
  }

  test::HostFixture host;
  std::string alice;
  std::string bob;
};

TEST_F(PersionCardE2E, WindowsStoreAsTypedAndShowAndChangeOnlyTheUsersOwnRows) {
  keepEntries();
  EXPECT_EQ(truth(entriesOf(alice)),
            (Rows{"1|1|工资|2026-01-05|1000.10|", "2|-1|餐饮|2026-01-06|0.20|早饭",
                  "3|0|招商银行卡|2026-02-01|100.00|超市", "4|1|招商银行卡|2026-02-10|50.05|",
                  "2|-1|O'Neil \\ 😀|2026-02-11|0.10|it's \\ 🍜"}));
  EXPECT_EQ(truth(entriesOf(bob)),
            (Rows{"1|1|工资|2026-01-05|7777.77|乙的", "2|-1|房租|2026-02-02|1.00|"}));
  EXPECT_EQ(truth("select IOKind,IODirect,IOType from userpersioniotype where UserID=" + alice +
                  " order by ID"),
            (Rows{"3|-1|招商银行卡", "2|-1|餐饮", "2|-1|餐饮"}));
  signIn(bob);
  // Bob's lists and categories.
  EXPECT_EQ(listed(*yearList(2), "IOType"), Rows{"房租"});
  EXPECT_EQ(listed(*yearList(1), "Remark"), Rows{"乙的"});
  EXPECT_TRUE(listed(*yearList(3), "IOType").empty());
  {
    auto types = test::openWindow<TfrmPersionCardIoType>(
        kPkg, "uPersionCardIoType.TfrmPersionCardIoType", "2");
    ASSERT_TRUE(types);
    EXPECT_EQ(types->cdsPersionIOType.RecordCount(), 1);
  }
  // The entry window changing one of Alice's entries by its id changes nothing.
  const std::string aliceEntry =
      truth("select ID from userpersincard where UserID=" + alice + " and IOKind=3")[0];
  {
    ClientDataSet& handOver = GlobalDM().cdsSelectResult;
    handOver.EmptyDataSet();
    handOver.Append();
    handOver.FieldByName("id").SetAsString(aliceEntry);
    handOver.FieldByName("other1").SetAsString("2026-02-01");
    handOver.FieldByName("other2").SetAsString("1");
    handOver.Post();
    auto e = test::createWindow<TfrmPersionCardEdit>(kPkg, "uPersionCardEdit.TfrmPersionCardEdit",
                                                     "Edit");
    ASSERT_TRUE(e);
    e->Tag = 3;
    test::showSettled(*e);
    test::Type(*e, "edtCardType", "乙改的");
    e->actSaveAndClose->trigger();
  }
  messages();
  EXPECT_EQ(truth("select IOType,cast(IOAmt as char) from userpersincard where ID=" + aliceEntry),
            Rows{"招商银行卡|100.00"});

  // Alice's lists hold her rows only, and deleting through her list works on her own.
  signIn(alice);
  auto expenses = yearList(2);
  EXPECT_EQ(listed(*expenses, "IOType"), (Rows{"餐饮", "O'Neil \\ 😀"}));
  expenses->grdMain->SelectCell(1, 0);
  ui().confirmAnswers = {true};
  expenses->actDel->trigger();
  EXPECT_EQ(messages(), "");
  EXPECT_EQ(listed(*expenses, "IOType"), Rows{"O'Neil \\ 😀"});
  EXPECT_EQ(truth("select count(*) from userpersincard where UserID=" + bob), Rows{"2"});

  // A repayment changed through her list keeps its kind and direction.
  auto repayments = yearList(4);
  ui().scripts["TfrmPersionCardEdit"] = [](QDialog& d) {
    auto& e = dynamic_cast<TfrmPersionCardEdit&>(d);
    EXPECT_EQ(test::BoxText(e, "edtdate"), "2026-02-10");
    test::Type(e, "edtAmt", "60");
    e.actSaveAndClose->trigger();
    return 0;
  };
  repayments->actModify->trigger();
  EXPECT_EQ(messages(), "");
  EXPECT_EQ(truth("select IOKind,IODirect,IOType,bdate,cast(IOAmt as char) from userpersincard "
                  "where UserID=" +
                  alice + " and IOKind=4"),
            Rows{"4|1|招商银行卡|2026-02-10|60.00"});
}

TEST_F(PersionCardE2E, NoStatementReachesTheOtherUsersRows) {
  keepEntries();
  const Rows aliceBefore = truth(entriesOf(alice));
  const Rows aliceTypes =
      truth("select ID,IOType from userpersioniotype where UserID=" + alice + " order by ID");
  const std::string aliceEntry =
      truth("select ID from userpersincard where UserID=" + alice + " order by ID")[0];
  const std::string aliceType = aliceTypes[0].substr(0, aliceTypes[0].find('|'));
  signIn(bob);

  // Reading.
  EXPECT_EQ(seen("select count(*) from userpersincard"), Rows{"2"});
  EXPECT_EQ(seen("select count(*) from userpersincard where UserID=" + alice), Rows{"0"});
  EXPECT_EQ(seen("select count(*) from userpersioniotype"), Rows{"1"});
  EXPECT_EQ(
      lines(doServerMethods().GetSysMainDBDataBySql("Main", "select count(*) from userpersincard")),
      Rows{"2"});
  EXPECT_ANY_THROW(doServerMethods().GetSysMainDBDataBySql(alice, "select * from userpersincard"));
  EXPECT_ANY_THROW(seen("select * from " + prefix + "_sys.userpersincard"));

  // Changing and deleting.
  for (const std::string& sql : {"update userpersincard set IOAmt=0 where ID=" + aliceEntry,
                                 "update userpersincard set IOAmt=IOAmt where UserID=" + alice,
                                 "delete from userpersincard where ID=" + aliceEntry,
                                 "delete from userpersincard where UserID=" + alice,
                                 "update userpersioniotype set IOType='x' where ID=" + aliceType,
                                 "delete from userpersioniotype where ID=" + aliceType}) {
    SCOPED_TRACE(sql);
    doServerMethods().doSysMainDBDataBySql(sql);
  }
  // Writing in someone else's name, or moving one's own row to them, is refused.
  for (const std::string& sql :
       {"insert into userpersincard (UserID,IOType,bdate,IOAmt,Remark,IODirect,IOKind) values (" +
            quotedStr(alice) + ",'x','2026-03-01',1,'',1,1)",
        "insert into userpersioniotype (UserID,IOKind,IODirect,IOType) values (" + alice +
            ",1,1,'x')",
        "update userpersincard set UserID=" + alice,
        "update userpersioniotype set UserID=" + alice}) {
    SCOPED_TRACE(sql);
    EXPECT_NE(doServerMethods().doSysMainDBDataBySql(sql), "0");
  }
  // A delta naming Alice's category, under Bob's name and under hers.
  ClientDataSet forged;
  forged.LoadFromPacket(test::packetOf({"Id", "UserID", "IOKind", "IODirect", "IOType"},
                                       {{aliceType, alice, "3", "-1", "招商银行卡"}}));
  forged.Delete();
  const std::string select =
      "select UserID,IOKind,IODirect,IOType from UserPersionIOType where 1=0";
  doServerMethods().SaveSysMainDataBySql(bob, select, forged.GetDelta());
  EXPECT_ANY_THROW(doServerMethods().SaveSysMainDataBySql(alice, select, forged.GetDelta()));

  EXPECT_EQ(truth(entriesOf(alice)), aliceBefore);
  EXPECT_EQ(truth("select ID,IOType from userpersioniotype where UserID=" + alice + " order by ID"),
            aliceTypes);
  EXPECT_EQ(truth("select count(*) from userpersincard where UserID=" + bob), Rows{"2"});
}

TEST_F(PersionCardE2E, CategoriesRenameAndDeleteOnlyTheirOwnRow) {
  keepEntries();
  signIn(alice);
  auto cards = test::openWindow<TfrmPersionCardIoType>(
      kPkg, "uPersionCardIoType.TfrmPersionCardIoType", "3");
  ASSERT_TRUE(cards);
  ui().scripts["TfrmPersionCardIoTypeEdit"] = [](QDialog& d) {
    auto& e = dynamic_cast<TfrmPersionCardIoTypeEdit&>(d);
    test::Type(e, "edtName", "招行信用卡");
    e.actSaveAndClose->trigger();
    return 0;
  };
  cards->actModify->trigger();
  EXPECT_EQ(messages(), "");
  EXPECT_EQ(truth("select IOType from userpersioniotype where UserID=" + alice + " and IOKind=3"),
            Rows{"招行信用卡"});
  // Entries keep the name they were written with.
  EXPECT_EQ(truth("select distinct IOType from userpersincard where UserID=" + alice +
                  " and IOKind in (3,4)"),
            Rows{"招商银行卡"});

  // Of two categories of one name, deleting one leaves the other, and Bob's of that name.
  auto expenses = test::openWindow<TfrmPersionCardIoType>(
      kPkg, "uPersionCardIoType.TfrmPersionCardIoType", "2");
  ASSERT_TRUE(expenses);
  ui().confirmAnswers = {true};
  expenses->actDel->trigger();
  EXPECT_EQ(messages(), "");
  EXPECT_EQ(truth("select IOType from userpersioniotype where UserID=" + alice + " and IOKind=2"),
            Rows{"餐饮"});
  EXPECT_EQ(truth("select IOType from userpersioniotype where UserID=" + bob), Rows{"餐饮"});
}

TEST_F(PersionCardE2E, EachOverviewCountsOnlyItsUsersEntries) {
  keepEntries();
  for (const auto& [user, january, february] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {alice, "1月|1000.10|0.20|0.00|0.00|999.90", "2月|0.00|0.10|100.00|50.05|49.95"},
           {bob, "1月|7777.77|0.00|0.00|0.00|7777.77", "2月|0.00|1.00|0.00|0.00|-1.00"}}) {
    SCOPED_TRACE(user);
    signIn(user);
    auto w = test::createWindow<TfrmPersionCardMonthly>(
        kPkg, "uPersionCardMonthly.TfrmPersionCardMonthly");
    ASSERT_TRUE(w);
    w->spnYear->setValue(2026);
    test::showSettled(*w);
    const QAbstractItemModel* m = w->grdMonth->model();
    auto row = [m](int r) {
      QStringList cells;
      for (int c = 0; c < m->columnCount(); ++c)
        cells << m->index(r, c).data().toString();
      return cells.join("|").toStdString();
    };
    EXPECT_EQ(row(0), january);
    EXPECT_EQ(row(1), february);
    EXPECT_EQ(messages(), "");
  }
}

TEST_F(PersionCardE2E, EachFlowReportCountsOnlyItsUsersEntries) {
  keepEntries();
  struct Case {
    std::string user;
    const char* start;
    const char* end;
    Rows rows;  // type, amount, running cash balance
  };
  const Case cases[] = {
      {alice,
       "2026-02-01",
       "2026-02-28",
       {"期初余额||999.90", "信用卡消费|100.00|999.90", "信用卡还款|50.05|1049.95",
        "支出|0.10|1049.85"}},
      {bob, "2026-02-01", "2026-02-28", {"期初余额||7777.77", "支出|1.00|7776.77"}},
      {alice, "2025-01-01", "2025-12-31", {"期初余额||0.00"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user + " " + c.start);
    signIn(c.user);
    auto w = test::openWindow<TfrmRptPersionCardFlow>(
        kPkg, "uReport_PersionCardFlow.TfrmRptPersionCardFlow", "MainData");
    ASSERT_TRUE(w);
    test::Type(*w, "edtStartDate", c.start);
    test::Type(*w, "edtEndDate", c.end);
    w->actMakeReport->trigger();
    EXPECT_EQ(messages(), "");
    Rows shown;
    ClientDataSet& ds = w->cdsM;
    for (ds.First(); !ds.Eof(); ds.Next())
      shown.push_back(ds.FieldByName("iodirectCn").AsString() + "|" +
                      (ds.FieldByName("IOAmt").IsNull()
                           ? std::string()
                           : ds.FieldByName("IOAmt").AsDecimal().rescaled(2).toString()) +
                      "|" + ds.FieldByName("balance").AsDecimal().rescaled(2).toString());
    EXPECT_EQ(shown, c.rows);
  }
}

}  // namespace

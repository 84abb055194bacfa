// Receipts and payments against the real service: an owner enters, changes and deletes bills
// through the windows, choosing traders and accounts in the real selection dialogs; then the
// balances the account set keeps must equal a plain recomputation from the bills and from the
// movement rows.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "basedata/selectdialogs.h"
#include "cash/uBill_Cas_InOut.h"
#include "cash/uBill_Cas_Mgr.h"
#include "fakehost.h"
#include "formrows.h"
#include "served_service.h"
#include "settlement/uBill_Bal.h"
#include "vlt/host.h"
#include "vlt/servermethods.h"
#include "windowrows.h"

using namespace vlt;
using namespace vlt::host;
using vlt::business::TBalanceBill;

namespace {

const QString kPkg = "VltBusiness.bpl";

class MoneyE2E : public test::OwnerSetFixture {
 protected:
  void SetUp() override {
    OwnerSetFixture::SetUp();
    for (const char* sql :
         {"insert into td_trader (Id,Name,IsClient) values ('301','东方商行','True')",
          "insert into td_trader (Id,Name,IsClient) values ('302','O''Neil 小店','True')",
          "insert into td_trader (Id,Name,IsClient) values ('303','西城批发','False')",
          "insert into td_account (Id,Name) values ('401','现金')",
          "insert into td_account (Id,Name) values ('402','工商银行')",
          "insert into td_accountiotype (Id,Name,IODirect) values ('501','利息',1)",
          "insert into td_accountiotype (Id,Name,IODirect) values ('502','房租',-1)"})
      ASSERT_EQ(doServerMethods().doUserDBDataBySql(set, sql), "0") << sql;
  }

  // The dialogs pick these ids.
  void choose(const std::string& trader, const std::string& account) {
    auto pick = [](std::string id) {
      return [id](QDialog& d) {
        auto& p = dynamic_cast<vlt::business::TBaseDataPickForm&>(d);
        EXPECT_TRUE(p.cdsSelectData.Locate("Id", Value(id))) << id;
        p.actOK->trigger();
        return 0;
      };
    };
    for (const char* dialog : {"TfrmSelectClient", "TfrmSelectVendor", "TfrmSelectCashIOType"})
      ui().scripts[dialog] = pick(trader);
    ui().scripts["TfrmSelectAccount"] = pick(account);
  }

  // Enters a bill in the window: trader, account, amount, write-off, note; save and new.
  void enter(TBalanceBill& w, const std::string& trader, const std::string& account,
             const QString& amount, const QString& trim, const QString& note = QString()) {
    choose(trader, account);
    w.actSelectTrader->trigger();
    w.actSelectAccount->trigger();
    test::Type(w, "edtAccAmt", amount);
    test::Type(w, "edtTrimAmt", trim);
    if (!note.isNull()) w.mmoRevMemo->setPlainText(note);
    w.actSaveAndNew->trigger();
    EXPECT_EQ(messages(), "");
  }

  test::FakeHostUi& ui() { return host.ui(); }
  std::string messages() { return ui().messages.join("\n").toStdString(); }

  test::HostFixture host;
};

TEST_F(MoneyE2E, ReceiptsAndPaymentsMoveTheBalancesTheMovementsAddUpTo) {
  {
    auto w = test::openWindow<TBalanceBill>(kPkg, "uBill_Bal_Gathering.TfrmBill_Bal_Gathering");
    ASSERT_TRUE(w);
    enter(*w, "301", "401", "100", "2.5", "首付 'O''Neil' \\ 备注");
    enter(*w, "301", "402", "50", "");
    enter(*w, "302", "401", "10.01", "0.99");
    // The first receipt changed: 80 received instead of 100.
    w->actPrior->trigger();
    w->actPrior->trigger();
    w->actPrior->trigger();
    ASSERT_EQ(test::BoxText(*w, "edtAccAmt"), "100.00");
    test::Type(*w, "edtAccAmt", "80");
    w->actSaveAndNew->trigger();
    // The second receipt deleted.
    w->actPrior->trigger();
    w->actPrior->trigger();
    ASSERT_EQ(test::BoxText(*w, "edtAccAmt"), "50.00");
    ui().confirmAnswers = {true};
    w->actDelBill->trigger();
    EXPECT_EQ(messages(), "");
  }
  {
    auto w = test::openWindow<TBalanceBill>(kPkg, "uBill_Bal_Payment.TfrmBill_Bal_Payment");
    ASSERT_TRUE(w);
    enter(*w, "303", "401", "30", "1");
    enter(*w, "303", "402", "5.5", "");
    // Reopened, the window shows the stored payments with the debt when each was made.
    w->actPrior->trigger();
    EXPECT_EQ(test::BoxText(*w, "edtAccAmt"), "5.50");
    EXPECT_EQ(test::BoxText(*w, "lblBalance"), "-31.00");
  }

  // What is stored: write-offs left empty are 0, notes as typed.
  EXPECT_EQ(read("select TraderID, AccountId, AccAmt, TrimAmt from tb_bal_gathering order by "
                 "TraderID, AccAmt"),
            (Rows{"301|401|80|2.5", "302|401|10.01|0.99"}));
  EXPECT_EQ(one("select RevMemo from tb_bal_gathering where TraderID='301'"),
            "首付 'O''Neil' \\ 备注");
  EXPECT_EQ(read("select AccAmt, TrimAmt from tb_bal_payment order by AccAmt"),
            (Rows{"5.5|0", "30|1"}));

  // Each balance equals the movements' sum and a plain recomputation from the bills.
  EXPECT_EQ(read("select t.Id, t.Balance, (select IFNULL(SUM(f.IOAmount*f.IODirection),0) from "
                 "ts_traderbalancedetailflow f where f.TraderID=t.Id) from td_trader t order by "
                 "t.Id"),
            (Rows{"301|-82.5|-82.5", "302|-11|-11", "303|-36.5|-36.5"}));
  EXPECT_EQ(read("select a.Id, a.Balance, (select IFNULL(SUM(f.IOAmount*f.IODirection),0) from "
                 "ts_accountdetailflow f where f.AccountID=a.Id) from td_account a order by a.Id"),
            (Rows{"401|60.01|60.01", "402|-5.5|-5.5"}));
}

// Another clerk deletes one receipt and changes another while this window shows them: the
// window's delete and save are refused with the service's message, what was typed stays, and
// nothing half-saved moves a balance.
TEST_F(MoneyE2E, ReceiptsAnotherClerkDeletedOrChangedAreRefusedAndKeepWhatWasTyped) {
  auto w = test::openWindow<TBalanceBill>(kPkg, "uBill_Bal_Gathering.TfrmBill_Bal_Gathering");
  ASSERT_TRUE(w);
  enter(*w, "301", "401", "100", "");
  enter(*w, "301", "401", "50", "");
  // The other clerk: the same owner on a second client.
  TServerMethodsClient other(url);
  ASSERT_TRUE(other.CheckLoginUser(CurUserInfo().UserID, "owner pw"));
  auto otherDoes = [&](const std::string& sql) {
    ASSERT_EQ(other.doUserDBDataBySql(set, sql), "0") << sql;
  };
  const char* stale = "数据已被其他用户修改或删除";

  w->actPrior->trigger();
  ASSERT_EQ(test::BoxText(*w, "edtAccAmt"), "50.00");
  otherDoes("delete from tb_bal_gathering where AccAmt=50");
  ui().confirmAnswers = {true};
  w->actDelBill->trigger();
  EXPECT_NE(messages().find(stale), std::string::npos) << messages();

  ui().messages.clear();
  w->actPrior->trigger();
  ASSERT_EQ(test::BoxText(*w, "edtAccAmt"), "100.00");
  otherDoes("update tb_bal_gathering set AccAmt=70");
  test::Type(*w, "edtAccAmt", "120");
  w->actSaveAndNew->trigger();
  EXPECT_NE(messages().find(stale), std::string::npos) << messages();
  EXPECT_EQ(test::BoxText(*w, "edtAccAmt"), "120.00");

  EXPECT_EQ(read("select AccAmt from tb_bal_gathering"), (Rows{"70"}));
  EXPECT_EQ(read("select t.Balance, (select IFNULL(SUM(f.IOAmount*f.IODirection),0) from "
                 "ts_traderbalancedetailflow f where f.TraderID=t.Id) from td_trader t where "
                 "t.Id='301'"),
            (Rows{"-70|-70"}));
}

// Incomes and expenses entered, changed and deleted through the list and its entry window.
TEST_F(MoneyE2E, IncomesAndExpensesMoveTheAccountsTheirMovementsAddUpTo) {
  auto entering = [this](const std::string& type, const std::string& account, const QString& amount,
                         const QString& note) {
    ui().scripts["TfrmBill_Cas_InOut"] = [this, type, account, amount, note](QDialog& d) {
      auto& e = dynamic_cast<TfrmBill_Cas_InOut&>(d);
      choose(type, account);
      if (!type.empty()) e.actSelectCashIoType->trigger();
      e.actSelectAccount->trigger();
      test::Type(e, "edtAmt", amount);
      e.mmoRemark->setPlainText(note);
      e.actSaveAndClose->trigger();
      return 0;
    };
  };
  auto list = [](int direction) {
    auto w = test::createWindow<TfrmBill_Cas_Mgr>(kPkg, "uBill_Cas_Mgr.TfrmBill_Cas_Mgr");
    if (w) {
      w->Tag = direction;
      test::showSettled(*w);
    }
    return w;
  };
  auto incomes = list(1);
  ASSERT_TRUE(incomes);
  entering("501", "401", "100", "利息 'Q1'");
  incomes->actAdd->trigger();
  entering("501", "402", "7.25", "");
  incomes->actAdd->trigger();
  EXPECT_EQ(incomes->cdsMaster.RecordCount(), 2);
  auto expenses = list(-1);
  ASSERT_TRUE(expenses);
  entering("502", "402", "30", "");
  expenses->actAdd->trigger();
  EXPECT_EQ(expenses->cdsMaster.RecordCount(), 1);  // the incomes are not listed
  // The expense changed to 40; the second income deleted.
  ui().scripts["TfrmBill_Cas_InOut"] = [](QDialog& d) {
    auto& e = dynamic_cast<TfrmBill_Cas_InOut&>(d);
    test::Type(e, "edtAmt", "40");
    e.actSaveAndClose->trigger();
    return 0;
  };
  expenses->actModify->trigger();
  ASSERT_TRUE(incomes->cdsMaster.Locate("AccountId", Value("402")));
  ui().confirmAnswers = {true};
  incomes->actDel->trigger();
  EXPECT_EQ(messages(), "");
  EXPECT_EQ(incomes->cdsMaster.RecordCount(), 1);

  EXPECT_EQ(read("select BIoDirect, AccountId, AccIoTypeID, AccAmt, ReMark from tb_acc_io order "
                 "by BIoDirect"),
            (Rows{"-1|402|502|40|", "1|401|501|100|利息 'Q1'"}));
  EXPECT_EQ(read("select a.Id, a.Balance, (select IFNULL(SUM(f.IOAmount*f.IODirection),0) from "
                 "ts_accountdetailflow f where f.AccountID=a.Id) from td_account a order by a.Id"),
            (Rows{"401|100|100", "402|-40|-40"}));
}

}  // namespace

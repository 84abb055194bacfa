// Goods bills against the real service, through the bill windows and their source dialogs: a
// purchase order received in two partial purchases (one stocked by itself, one by a stock-in),
// a sale from a sales order shipped by a stock-out, returns taken from stocked bills, and two
// clerks saving at once. Then done quantities, Finished, stock per store and the balances are
// read back and compared with a plain recomputation from the stored lines.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDate>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "basedata/selectdialogs.h"
#include "bills/uBill_Goods.h"
#include "fakehost.h"
#include "served_service.h"
#include "uBaseSelectBillform.h"
#include "vlt/dataset.h"
#include "vlt/host.h"
#include "vlt/servermethods.h"
#include "vlt/sqltext.h"
#include "windowrows.h"

using namespace vlt;
using namespace vlt::host;
using vlt::business::TGoodsBill;

namespace {

const QString kPkg = "VltBusiness.bpl";

struct GoodsLine {
  std::string goods;  // id
  std::string qty;
  std::string price;
};

class BillsE2E : public test::OwnerSetFixture {
 protected:
  void SetUp() override {
    OwnerSetFixture::SetUp();
    for (const char* sql :
         {"insert into td_trader (Id,Name,IsClient) values ('301','西城批发','False')",
          "insert into td_trader (Id,Name,IsClient) values ('302','东方商行','True')",
          "insert into td_account (Id,Name) values ('401','现金')",
          "insert into td_store (Id,Name) values ('501','门市仓')",
          "insert into td_goods (Id,Code,Name,Spec) values ('601','A01','螺丝','M3')",
          "insert into td_goods (Id,Code,Name,Spec) values ('602','A02','螺母','M3')"})
      ASSERT_EQ(doServerMethods().doUserDBDataBySql(set, sql), "0") << sql;
    host::SetApplicationExceptionHandler(
        [](const std::exception& e) { ADD_FAILURE() << "escaped: " << e.what(); });
  }

  std::unique_ptr<TGoodsBill> open(const char* name) {
    return test::openWindow<TGoodsBill>(kPkg, name);
  }

  void pick(const char* dialog, const std::string& id) {
    ui().scripts[dialog] = [id](QDialog& d) {
      auto& p = dynamic_cast<vlt::business::TBaseDataPickForm&>(d);
      EXPECT_TRUE(p.cdsSelectData.Locate("Id", Value(id))) << id;
      p.actOK->trigger();
      return 0;
    };
  }

  void chooseTrader(TGoodsBill& w, const std::string& id) {
    pick("TfrmSelectVendor", id);
    pick("TfrmSelectClient", id);
    w.actSelectTrader->trigger();
  }

  void check(QCheckBox* box) {
    ASSERT_TRUE(box);
    if (!box->isChecked()) box->click();
  }

  // A cell of the current line typed into the grid: the window recomputes the line's amount
  // when the editor closes.
  void typeCell(TGoodsBill& w, const char* member, const std::string& text) {
    if (w.cdsDetail.State() == DataSetState::Browse) w.cdsDetail.Edit();
    w.cdsDetail.FieldByName(member).SetAsString(text);
    const auto& columns = w.GrdDetail->Link().Columns();
    for (std::size_t c = 0; c < columns.size(); ++c)
      if (columns[c].member.compare(member, Qt::CaseInsensitive) == 0)
        w.GrdDetailEditingDone(static_cast<int>(c), w.cdsDetail.RecNo() - 1);
    if (w.cdsDetail.State() != DataSetState::Browse) w.cdsDetail.Post();
  }

  void addLines(TGoodsBill& w, const std::vector<GoodsLine>& lines) {
    for (const GoodsLine& l : lines) {
      w.cdsDetail.Append();
      w.cdsDetail.FieldByName("GoodsID").SetAsString(l.goods);
      typeCell(w, "Qty", l.qty);
      if (w.cdsDetail.FindField("Price")) typeCell(w, "Price", l.price);
    }
  }

  // Takes every open line of source bill `bid` through the bill's source dialog; `qty` then
  // overrides the proposed quantity of the lines of the goods named.
  void takeFrom(TGoodsBill& w, const char* dialogClass, const std::string& bid,
                const std::map<std::string, std::string>& qty = {}) {
    bool shown = false;
    ui().scripts[dialogClass] = [&](QDialog& d) {
      shown = true;
      auto& dialog = dynamic_cast<TFrmBaseSelectBillform&>(d);
      dialog.actSearch->trigger();
      EXPECT_TRUE(dialog.cdsMaster.Locate("Bid", Value(bid))) << bid;
      EXPECT_GT(dialog.cdsDetail.RecordCount(), 0);
      for (dialog.cdsDetail.First(); !dialog.cdsDetail.Eof(); dialog.cdsDetail.Next())
        dialog.grdmainDblClick();
      dialog.btnOkClick();
      return 0;
    };
    w.actSelectBill->trigger();
    EXPECT_TRUE(shown) << dialogClass;
    for (const auto& [goods, q] : qty) {
      ASSERT_TRUE(w.cdsDetail.Locate("GoodsID", Value(goods))) << goods;
      typeCell(w, "Qty", q);
    }
  }

  void save(TGoodsBill& w) {
    w.actSaveAndNew->trigger();
    EXPECT_EQ(messages(), "");
    ui().messages.clear();
  }

  // The Bid of the last bill saved in `table`.
  std::string last(const std::string& table) {
    return one("select Bid from " + table + " order by BCode desc limit 1");
  }

  test::FakeHostUi& ui() { return host.ui(); }
  std::string messages() { return ui().messages.join("\n").toStdString(); }

  test::HostFixture host;
};

TEST_F(BillsE2E, OrdersPurchasesSalesStockAndReturnsAddUp) {
  // A purchase order of 10 screws at 5 and 4 nuts at 8.
  std::string order, purchase1, purchase2, salesOrder, sale;
  {
    auto w = open("uBill_Pur_Order.TfrmBill_Pur_Order");
    ASSERT_TRUE(w);
    chooseTrader(*w, "301");
    addLines(*w, {{"601", "10", "5"}, {"602", "4", "8"}});
    save(*w);
    order = last("tb_pur_order");
  }
  // Received in two purchases: 6 screws and the nuts stocked at once and paid 20 in cash;
  // the other 4 screws stocked by a stock-in later.
  {
    auto w = open("uBill_Pur_Purchase.TfrmBill_Pur_Purchase");
    ASSERT_TRUE(w);
    chooseTrader(*w, "301");
    takeFrom(*w, "TFrmSelectPurOrder", order, {{"601", "6"}});
    check(w->chkIsStoreIO);
    check(w->chkIsPay);
    pick("TfrmSelectAccount", "401");
    w->actSelectAccount->trigger();
    test::Type(*w, "edtAccAmt", "20");
    save(*w);
    purchase1 = last("tb_pur_purchase");
    chooseTrader(*w, "301");
    takeFrom(*w, "TFrmSelectPurOrder", order);
    save(*w);
    purchase2 = last("tb_pur_purchase");
  }
  EXPECT_EQ(read("select GoodsID, Qty, doneQty from tb_pur_purchase_d order by Bid, GoodsID"),
            (Rows{"601|6|6", "602|4|4", "601|4|0"}));
  {
    auto w = open("uBill_Sto_StoreIN.TfrmBill_Sto_StoreIN");
    ASSERT_TRUE(w);
    takeFrom(*w, "TFrmSelectStoreIOSource", purchase2);
    save(*w);
  }
  // A sales order of 5 screws at 9, sold without moving stock, shipped by a stock-out.
  {
    auto w = open("uBill_Sal_Order.TfrmBill_Sal_Order");
    ASSERT_TRUE(w);
    chooseTrader(*w, "302");
    addLines(*w, {{"601", "5", "9"}});
    save(*w);
    salesOrder = last("tb_sal_order");
  }
  {
    auto w = open("uBill_Sal_Sale.TfrmBill_Sal_Sale");
    ASSERT_TRUE(w);
    chooseTrader(*w, "302");
    takeFrom(*w, "TFrmSelectSalOrder", salesOrder);
    ASSERT_EQ(w->cdsDetail.FieldByName("Qty").AsString(), "5");
    save(*w);
    sale = last("tb_sal_sale");
  }
  {
    auto w = open("uBill_Sto_StoreOut.TfrmBill_Sto_StoreOut");
    ASSERT_TRUE(w);
    takeFrom(*w, "TFrmSelectStoreIOSource", sale);
    save(*w);
  }
  // Returns from stocked bills: one nut back to the vendor, two screws back from the client.
  {
    auto w = open("uBill_Pur_Back.TfrmBill_Pur_Back");
    ASSERT_TRUE(w);
    chooseTrader(*w, "301");
    takeFrom(*w, "TFrmSelectPurchase", purchase1, {{"602", "1"}});
    ASSERT_TRUE(w->cdsDetail.Locate("GoodsID", Value("601")));
    w->cdsDetail.Delete();  // the screws stay
    check(w->chkIsStoreIO);
    save(*w);
  }
  {
    auto w = open("uBill_Sal_Back.TfrmBill_Sal_Back");
    ASSERT_TRUE(w);
    chooseTrader(*w, "302");
    takeFrom(*w, "TFrmSelectSale", sale, {{"601", "2"}});
    check(w->chkIsStoreIO);
    save(*w);
  }

  // Done quantities and Finished.
  EXPECT_EQ(read("select GoodsID, Qty, doneQty from tb_pur_order_d order by GoodsID"),
            (Rows{"601|10|10", "602|4|4"}));
  EXPECT_EQ(one("select Finished from tb_pur_order"), "True");
  EXPECT_EQ(read("select Bid, Finished from tb_pur_purchase order by BCode"),
            (Rows{purchase1 + "|True", purchase2 + "|True"}));
  EXPECT_EQ(one("select Qty, doneQty from tb_sal_order_d"), "5|5");
  EXPECT_EQ(one("select Finished from tb_sal_order"), "True");
  EXPECT_EQ(one("select Qty, doneQty from tb_sal_sale_d"), "5|5");
  EXPECT_EQ(one("select ReturnableQty from view_pur_returnable where GoodsID='602' and Bid=" +
                quotedStr(purchase1)),
            "3");
  EXPECT_EQ(one("select ReturnableQty from view_sal_returnable"), "3");

  // Stock per store: the signed sum of the stock lines and of the lines of bills that moved
  // their stock themselves, recomputed here from the stored bills.
  std::map<std::string, Decimal> stock;
  auto add = [&](const std::string& sql, int sign) {
    for (const std::string& r : read(sql)) {
      const auto bar = r.find('|');
      Decimal& d = stock[r.substr(0, bar)];
      const Decimal q = Decimal::parse(r.substr(bar + 1));
      d = sign > 0 ? d + q : d - q;
    }
  };
  auto lines = [](const std::string& t, bool onlyAuto) {
    std::string sql = "select concat(m.StoreId, '/', d.GoodsID), d.Qty from " + t + "_d d join " +
                      t + " m on m.Bid=d.Bid";
    if (onlyAuto) sql += " where m.IsStoreIO='True'";
    return sql;
  };
  add(lines("tb_sto_in", false), 1);
  add(lines("tb_sto_out", false), -1);
  add(lines("tb_pur_purchase", true), 1);
  add(lines("tb_sal_back", true), 1);
  add(lines("tb_sal_sale", true), -1);
  add(lines("tb_pur_back", true), -1);
  Rows expected;
  for (const auto& [key, qty] : stock)
    expected.push_back(key + "|" + qty.toString());
  EXPECT_EQ(read("select concat(StoreId, '/', GoodsID), sum(qty*ioDirect) from view_storebillflow "
                 "group by StoreId, GoodsID order by 1"),
            expected);
  EXPECT_EQ(expected, (Rows{"100000000000001/601|7", "100000000000001/602|3"}));

  // Balances: the vendor is owed the purchases less the return and the payment; the client owes
  // the sale less the return; the cash account paid 20.
  const Decimal vendor = Decimal::parse(one("select sum(Amount) from tb_pur_purchase_d")) -
                         Decimal::parse(one("select sum(Amount) from tb_pur_back_d")) -
                         Decimal::parse(one("select sum(AccAmt) from tb_pur_purchase where "
                                            "IsPay='True'"));
  const Decimal client = Decimal::parse(one("select sum(Amount) from tb_sal_sale_d")) -
                         Decimal::parse(one("select sum(Amount) from tb_sal_back_d"));
  EXPECT_EQ(one("select Balance from td_trader where Id='301'"), vendor.toString());
  EXPECT_EQ(one("select Balance from td_trader where Id='302'"), client.toString());
  EXPECT_EQ(vendor.toString(), "54");  // 6*5 + 4*8 - 20 + 4*5 - 1*8
  EXPECT_EQ(client.toString(), "27");  // 5*9 - 2*9
  EXPECT_EQ(one("select Balance from td_account where Id='401'"), "-20");

  // The order and the purchases are referred to by later bills: not deleted.
  {
    auto w = open("uBill_Pur_Order.TfrmBill_Pur_Order");
    ASSERT_TRUE(w);
    w->actPrior->trigger();
    ASSERT_EQ(w->cdsMaster.FieldByName("Bid").AsString(), order);
    ui().confirmAnswers = {true};
    w->actDelBill->trigger();
    EXPECT_NE(messages().find("单据已被引用"), std::string::npos) << messages();
    ui().messages.clear();
  }
  EXPECT_EQ(one("select count(*) from tb_pur_order"), "1");
}

// Two clerks save a sales order of the same day at the same moment: one in the window, the
// other from a second signed-in connection. Both bills are stored with consecutive codes.
// Another clerk's sales order of today, with the code their window showed.
Delta otherClerksOrder(const std::string& set, const std::string& code) {
  Packet shape = doServerMethods().GetUserDBDataBySql(set, "select * from tb_sal_order where 1=0");
  FieldDef nested;
  nested.name = "tb_sal_order_d";
  nested.type = DataType::DataSet;
  nested.children = doServerMethods()
                        .GetUserDBDataBySql(set, "select * from tb_sal_order_d where 1=0")
                        .fields.list();
  shape.fields.add(nested);
  ClientDataSet other;
  other.LoadFromPacket(shape);
  other.Append();
  other.FieldByName("Bid").SetAsString("900000000000001");
  other.FieldByName("BDate").SetAsString(QDate::currentDate().toString(Qt::ISODate).toStdString());
  other.FieldByName("BCode").SetAsString(code);
  other.FieldByName("TraderID").SetAsString("302");
  other.Post();
  return other.GetDelta();
}

TEST_F(BillsE2E, TwoClerksSavingAtOnceBothSucceed) {
  auto w = open("uBill_Sal_Order.TfrmBill_Sal_Order");
  ASSERT_TRUE(w);
  chooseTrader(*w, "302");
  addLines(*w, {{"601", "1", "9"}});
  const std::string day = QDate::currentDate().toString("yyyyMMdd").toStdString();
  const std::string shown = w->cdsMaster.FieldByName("BCode").AsString();
  ASSERT_EQ(shown, "SO" + day + "0001");

  const Delta delta = otherClerksOrder(set, shown);
  auto second = std::make_unique<TServerMethodsClient>(url);
  ASSERT_TRUE(second->CheckLoginUser(CurUserInfo().UserID, "owner pw"));
  std::string status;
  std::thread clerk([&] { status = second->SaveMasterAndDetailData(set, "tb_sal_order", delta); });
  save(*w);
  clerk.join();
  EXPECT_EQ(status, "0");
  EXPECT_EQ(read("select BCode from tb_sal_order order by BCode"),
            (Rows{"SO" + day + "0001", "SO" + day + "0002"}));
}

}  // namespace

// The eight goods bills and their source dialogs against the recording fake service: each
// window's own configuration and rules, as rows over the windows they apply to.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "basedata_testing.h"
#include "bills/uBill_Goods.h"
#include "bills/uSelectSourceBills.h"
#include "uBusinessClasses.h"
#include "windowrows.h"

namespace {

using namespace vlt;
using namespace vlt::test;
using vlt::business::TGoodsBill;

struct Bill {
  const char* name;
  const char* caption;
  const char* table;
  const char* prefix;
  const char* trader;  // the trader's caption; null: a stock bill
  const char* pauseHeader;
  const char* doneHeader;
  const char* stockOption;
  const char* sourceDialog;  // class name; null: none
  bool checksReferences;
  bool finishes;
  bool takesOut;  // with its stock option
};

const Bill kBills[] = {
    {"uBill_Pur_Order.TfrmBill_Pur_Order", "采购订货单", "tb_pur_order", "PO", "供货商", "停止收货",
     "已收数量", nullptr, nullptr, true, false, false},
    {"uBill_Pur_Purchase.TfrmBill_Pur_Purchase", "采购收货单", "tb_pur_purchase", "PC", "供货商",
     "停止入库", "已入数量", "自动入库", "TFrmSelectPurOrder", true, true, false},
    {"uBill_Pur_Back.TfrmBill_Pur_Back", "采购退货单", "tb_pur_back", "PB", "供货商", "停止出库",
     "已出数量", "自动出库", "TFrmSelectPurchase", false, true, true},
    {"uBill_Sal_Order.TfrmBill_Sal_Order", "销售订货单", "tb_sal_order", "SO", "客户", "停止发货",
     "已发数量", nullptr, nullptr, true, false, false},
    {"uBill_Sal_Sale.TfrmBill_Sal_Sale", "销售发货单", "tb_sal_sale", "SA", "客户", "停止出库",
     "已出数量", "自动出库", "TFrmSelectSalOrder", true, true, true},
    {"uBill_Sal_Back.TfrmBill_Sal_Back", "销售退货单", "tb_sal_back", "SK", "客户", "停止入库",
     "已入数量", "自动入库", "TFrmSelectSale", false, true, false},
    {"uBill_Sto_StoreIN.TfrmBill_Sto_StoreIN", "货品入库单", "tb_sto_in", "TI", nullptr, nullptr,
     nullptr, nullptr, "TFrmSelectStoreIOSource", false, false, false},
    {"uBill_Sto_StoreOut.TfrmBill_Sto_StoreOut", "货品出库单", "tb_sto_out", "TO", nullptr, nullptr,
     nullptr, nullptr, "TFrmSelectStoreIOSource", false, false, true},
};

std::unique_ptr<TGoodsBill> open(HostFixture&, const Bill& b) {
  // Nothing may fail unseen.
  host::SetApplicationExceptionHandler(
      [](const std::exception& e) { ADD_FAILURE() << "escaped: " << e.what(); });
  host::CurUserInfo().UserDBID = kDb;
  host::CurUserInfo().UserID = "10001";
  return openWindow<TGoodsBill>(kPkg, b.name);
}

std::string today() {
  return QDate::currentDate().toString("yyyyMMdd").toStdString();
}

// A line of goods G<n> as a user would have it, and the bill's trader.
void fill(TGoodsBill& w, int lines = 1, const char* qty = "3") {
  if (w.cdsMaster.FindField("TraderID")) {
    w.cdsMaster.FieldByName("TraderID").SetAsString("T1");
    w.cdsMaster.FieldByName("TraderName").SetAsString("东方商行");
  }
  for (int i = 1; i <= lines; ++i) {
    w.cdsDetail.Append();
    w.cdsDetail.FieldByName("GoodsID").SetAsString("G" + std::to_string(i));
    w.cdsDetail.FieldByName("GoodsName").SetAsString(i == 1 ? "螺丝" : "螺母");
    w.cdsDetail.FieldByName("Qty").SetAsString(qty);
    if (w.cdsDetail.FindField("Price")) w.cdsDetail.FieldByName("Price").SetAsString("2");
    w.cdsDetail.Post();
  }
}

std::vector<std::string> headers(TGoodsBill& w) {
  std::vector<std::string> out;
  for (const auto& c : w.GrdDetail->Link().Columns())
    if (c.visible) out.push_back(c.header.toStdString());
  return out;
}

bool has(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

const std::string kSaveCall = std::string("SaveMasterAndDetailData|") + kDb + "|";

TEST(GoodsBills, OpenWithTheirCaptionsLabelsColumnsAndDefaults) {
  for (const Bill& b : kBills) {
    SCOPED_TRACE(b.name);
    HostFixture h;
    auto w = open(h, b);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->windowTitle(), b.caption);
    EXPECT_EQ(w->lblBillName->text(), b.caption);
    EXPECT_EQ(BoxText(*w, "edtBcode").toStdString(), b.prefix + today() + "0001");
    EXPECT_EQ(w->OperateState(), "Append");
    const auto cols = headers(*w);
    EXPECT_TRUE(has(cols, "货品编码"));
    EXPECT_EQ(has(cols, "单价"), b.trader != nullptr);
    if (b.pauseHeader) {
      EXPECT_TRUE(has(cols, b.pauseHeader));
    }
    if (b.doneHeader) {
      EXPECT_TRUE(has(cols, b.doneHeader));
    }
    EXPECT_EQ(w->btnSelectBill->isVisibleTo(w.get()), b.sourceDialog != nullptr);
    if (b.trader) {
      EXPECT_EQ(BoxText(*w, "lbltrader").toStdString(), b.trader);
      EXPECT_EQ(w->cdsMaster.FieldByName("NoteType").AsString(), "收据");
      EXPECT_EQ(w->cdsMaster.FieldByName("IsPay").AsString(), "False");
      EXPECT_FALSE(w->edtAccount->isEnabled());  // only while paying
    }
    const bool store = b.stockOption || !b.trader;
    if (store) {
      EXPECT_EQ(BoxText(*w, "edtStore"), "主仓库");
    }
    if (b.stockOption) {
      EXPECT_EQ(w->chkIsStoreIO->text(), b.stockOption);
      EXPECT_FALSE(w->edtStore->isEnabled());
      w->chkIsStoreIO->setChecked(true);
      EXPECT_TRUE(w->edtStore->isEnabled());
    }
    saveShot(*w, QString("bill_%1").arg(b.table));
  }
}

TEST(GoodsBills, SavingNeedsTraderLinesAndSoundQuantities) {
  for (const Bill& b : kBills) {
    SCOPED_TRACE(b.name);
    HostFixture h;
    auto w = open(h, b);
    ASSERT_TRUE(w);
    h.proxy().calls.clear();
    if (b.trader) {
      w->cdsDetail.Append();
      w->cdsDetail.FieldByName("GoodsID").SetAsString("G1");
      w->cdsDetail.FieldByName("Qty").SetAsString("1");
      w->cdsDetail.FieldByName("Price").SetAsString("1");
      w->cdsDetail.Post();
      w->actSaveAndNew->trigger();
      EXPECT_EQ(h.ui().messages.value(0).toStdString(),
                std::string("【") + b.trader + "】值为空，保存被取消，请检查数据！");
    } else {
      w->actSaveAndNew->trigger();
      EXPECT_EQ(h.ui().messages.value(0), "明细表数据为空，请添加数据后保存或直接关闭窗体");
    }
    h.ui().messages.clear();
    fill(*w, 1, "-1");
    w->actSaveAndNew->trigger();
    EXPECT_EQ(h.ui().messages.value(0),
              "【螺丝】的数量必须大于零，单价不能小于零，保存被取消，请检查数据！");
    EXPECT_TRUE(h.proxy().callsStartingWith("Save").empty());
  }
}

TEST(GoodsBills, ReferencedBillsAreNotSavedAgainAndNeverDeleted) {
  for (const Bill& b : kBills) {
    SCOPED_TRACE(b.name);
    HostFixture h;
    auto w = open(h, b);
    ASSERT_TRUE(w);
    h.proxy().answer("as dlt where RelationBid=", packetOf({"bid"}, {{"X1"}}));
    fill(*w);
    h.ui().confirmAnswers = {true};  // any stock question
    w->actSaveAndNew->trigger();
    const bool saved = !h.proxy().callsStartingWith(kSaveCall).empty();
    EXPECT_EQ(saved, !b.checksReferences);
    if (b.checksReferences) {
      EXPECT_EQ(h.ui().messages.value(0), "单据已被引用，请先删除引用该单的单据后，再修改");
    }
  }
}

TEST(GoodsBills, TradeBillsAreFinishedWhenNoLineIsOpen) {
  for (const Bill& b : kBills) {
    for (bool open_line : {false, true}) {
      SCOPED_TRACE(std::string(b.name) + (open_line ? " open line" : " all done"));
      HostFixture h;
      auto w = open(h, b);
      ASSERT_TRUE(w);
      if (open_line) h.proxy().answer("as doneFlag", packetOf({"doneFlag"}, {{"1"}}));
      fill(*w);
      h.ui().confirmAnswers = {true};
      const std::string bid = w->cdsMaster.FieldByName("Bid").AsString();
      w->actSaveAndClose->trigger();
      const auto runs = h.proxy().callsStartingWith("doUserDBDataBySql");
      const bool finished = b.finishes && !open_line;
      EXPECT_EQ(runs, finished
                          ? std::vector<std::string>{kRun + "update " + b.table +
                                                     " set finished='True' where bid='" + bid + "'"}
                          : std::vector<std::string>{});
    }
  }
}

TEST(GoodsBills, TakingGoodsBelowZeroAsksFirstWithOneStatement) {
  for (const Bill& b : kBills) {
    SCOPED_TRACE(b.name);
    HostFixture h;
    auto w = open(h, b);
    ASSERT_TRUE(w);
    if (w->chkIsStoreIO) w->chkIsStoreIO->setChecked(true);
    h.proxy().answer("view_storebillflow",
                     packetOf({"GoodsID", "OnHand"}, {{"G1", "1"}, {"G2", "10"}}));
    fill(*w, 2);
    w->actSaveAndNew->trigger();  // answered No
    const auto asked = h.proxy().callsStartingWith("GetUserDBDataBySql|" + std::string(kDb) +
                                                   "|select GoodsID,sum(qty*ioDirect)");
    if (!b.takesOut) {
      EXPECT_TRUE(asked.empty());
      EXPECT_TRUE(h.ui().confirmations.isEmpty());
      continue;
    }
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(h.ui().confirmations,
              QStringList{"以下货品出库后库存将小于零：\n螺丝：库存1，本单出库3\n确定保存吗？"});
    EXPECT_TRUE(h.proxy().callsStartingWith(kSaveCall).empty());
    EXPECT_EQ(w->cdsDetail.RecordCount(), 2);  // still as typed
  }
}

TEST(GoodsBills, ScanningACodeAddsTheGoodsAndScanningAgainCountsIt) {
  HostFixture h;
  auto w = open(h, kBills[1]);
  ASSERT_TRUE(w);
  h.proxy().answer("Code='6901'",
                   packetOf({"Id", "Code", "Name", "Spec", "UnitID", "PurPrice", "SalPrice"},
                            {{"G7", "A-7", "水杯", "大", "U1", "2.50", "4.00"}}));
  const int codeColumn = 3;
  for (int scan = 0; scan < 2; ++scan) {
    w->actNewDetailItem->trigger();
    emit w->GrdDetail->CodeEntered(codeColumn, w->cdsDetail.RecordCount() - 1, "6901");
  }
  ASSERT_EQ(w->cdsDetail.RecordCount(), 1);
  w->cdsDetail.First();
  EXPECT_EQ(w->cdsDetail.FieldByName("GoodsID").AsString(), "G7");
  EXPECT_EQ(w->cdsDetail.FieldByName("Qty").AsString(), "2");
  EXPECT_EQ(w->cdsDetail.FieldByName("Price").AsString(), "2.5");
  EXPECT_EQ(w->cdsDetail.FieldByName("Amount").AsString(), "5");
  w->actNewDetailItem->trigger();
  emit w->GrdDetail->CodeEntered(codeColumn, 1, "nope'");
  EXPECT_EQ(h.ui().messages, QStringList{"没有编码或条码为【nope'】的货品"});
  EXPECT_TRUE(w->cdsDetail.FieldByName("GoodsID").IsNull());
  EXPECT_NE(h.proxy().callsStartingWith("GetUserDBDataBySql").back().find("Code='nope'''"),
            std::string::npos);
}

TEST(GoodsBills, PauseTogglesOnDoubleClickInItsColumn) {
  HostFixture h;
  auto w = open(h, kBills[1]);
  ASSERT_TRUE(w);
  fill(*w);
  int pause = -1;
  const auto& cols = w->GrdDetail->Link().Columns();
  for (std::size_t i = 0; i < cols.size(); ++i)
    if (cols[i].member == "Pause") pause = static_cast<int>(i);
  w->GrdDetailDblClick(pause, 0);
  EXPECT_EQ(w->cdsDetail.FieldByName("Pause").AsString(), "True");
  w->GrdDetailDblClick(pause, 0);
  EXPECT_EQ(w->cdsDetail.FieldByName("Pause").AsString(), "False");
  w->GrdDetailDblClick(pause - 1, 0);
  EXPECT_EQ(w->cdsDetail.FieldByName("Pause").AsString(), "False");
}

// A page of one source bill whose lines carry what the dialog's statements give.
Packet sourcePage(const std::string& table, std::vector<std::vector<std::string>> lines) {
  Packet lineRows =
      packetOf({"bid", "bno", "goodsid", "goodscode", "goodsname", "goodsspec", "unitid", "qty",
                "price", "taxrate", "amount", "doneqty", "DetailRemark", "pause", "UnFinishedQty"},
               lines);
  Packet p = packetOf({"bid", "BDate", "BCode", "ReMark"}, {{"S1", "2026-11-01", "X1", ""}});
  FieldDef nested;
  nested.name = table + "_d";
  nested.type = DataType::DataSet;
  nested.children = lineRows.fields.list();
  p.fields.add(nested);
  p.rows[0].emplace_back(
      std::shared_ptr<const NestedRows>(std::make_shared<NestedRows>(lineRows.rows)));
  return p;
}

TEST(GoodsBills, LinesFromSourceBillsThroughTheirDialogs) {
  struct Case {
    int bill;
    const char* sourceTable;
    const char* kind;
    const char* proposed;  // the quantity the new line takes
  };
  const Case cases[] = {{1, "tb_pur_order", "3000", "4"},    {2, "tb_pur_purchase", "3100", "4"},
                        {4, "tb_sal_order", "3300", "4"},    {5, "tb_sal_sale", "3400", "4"},
                        {6, "tb_pur_purchase", "3100", "4"}, {7, "tb_sal_sale", "3400", "4"}};
  for (const Case& c : cases) {
    const Bill& b = kBills[c.bill];
    SCOPED_TRACE(b.name);
    HostFixture h;
    auto w = open(h, b);
    ASSERT_TRUE(w);
    if (b.trader) {
      w->actSelectBill->trigger();
      EXPECT_EQ(h.ui().messages, QStringList{"请先选择往来单位！"});
      EXPECT_TRUE(h.ui().modalShown.isEmpty());
      h.ui().messages.clear();
      fill(*w, 0);
    }
    h.proxy().answer("as MTable",
                     sourcePage(c.sourceTable, {{"S1", "2", "G5", "C5", "钉子", "", "U1", "10",
                                                 "1.5", "0", "15", "6", "备注", "False", "4"}}));
    std::string statement;
    h.ui().scripts[b.sourceDialog] = [&](QDialog& d) {
      auto& dialog = dynamic_cast<TFrmBaseSelectBillform&>(d);
      dialog.actSearch->trigger();
      statement = dialog.DetailStatement();
      EXPECT_EQ(dialog.cdsMaster.RecordCount(), 1);
      EXPECT_EQ(dialog.cdsDetail.RecordCount(), 1);
      emit dialog.grdmain->CellDblClick(1, 0);
      EXPECT_EQ(host::GlobalDM().cdsSelectBillD.RecordCount(), 1);
      emit dialog.grdmain->CellDblClick(1, 0);  // already there
      EXPECT_EQ(dialog.lblError->text(), "该明细已经加入【选择区】！");
      dialog.btnOkClick();
      return 0;
    };
    w->actSelectBill->trigger();
    EXPECT_TRUE(h.ui().messages.isEmpty()) << h.ui().messages.join("|").toStdString();
    ASSERT_EQ(w->cdsDetail.RecordCount(), 1);
    EXPECT_EQ(w->cdsDetail.FieldByName("RelationBid").AsString(), "S1");
    EXPECT_EQ(w->cdsDetail.FieldByName("RelationBNo").AsString(), "2");
    EXPECT_EQ(w->cdsDetail.FieldByName("RelationKind").AsString(), c.kind);
    const bool proposesQty = c.bill != 1 && c.bill != 4;
    if (proposesQty) {
      EXPECT_EQ(w->cdsDetail.FieldByName("Qty").AsString(), c.proposed);
    }
    EXPECT_TRUE(host::GlobalDM().cdsSelectBillD.IsEmpty());
    const auto loads = h.proxy().callsStartingWith("GetMasterAndDetailData");
    ASSERT_FALSE(loads.empty());
    EXPECT_NE(loads.back().find(std::string("from ") + c.sourceTable + " m"), std::string::npos);
    // Returns list what earlier returns left of a line, from finished bills too.
    const bool isReturn = c.bill == 2 || c.bill == 5;
    EXPECT_EQ(loads.back().find("finished='False'") == std::string::npos, isReturn);
    EXPECT_EQ(statement.find("RelationBNo=d.BNo") != std::string::npos, isReturn);
  }
}

TEST(GoodsBills, StockSourceDialogOffersTheKindsOfItsDirection) {
  for (const char* direction : {"in", "out"}) {
    SCOPED_TRACE(direction);
    HostFixture h;
    host::CurUserInfo().UserDBID = kDb;
    auto d =
        createWindow<TFrmSelectStoreIOSource>(kPkg, "uSelectStoreIOSource.TFrmSelectStoreIOSource",
                                              QString("100000000000001,%1").arg(direction));
    ASSERT_TRUE(d);
    d->Tag = 2;
    showSettled(*d);
    const bool in = QString(direction) == "in";
    EXPECT_EQ(d->windowTitle(), in ? "货品「入」库源单" : "货品「出」库源单");
    EXPECT_EQ(d->rbPurchase->isEnabled(), in);
    EXPECT_EQ(d->rbSalBack->isEnabled(), in);
    EXPECT_EQ(d->rbSale->isEnabled(), !in);
    EXPECT_EQ(d->rbPurBack->isEnabled(), !in);
    EXPECT_NE(d->MasterStatement().find("(storeid='100000000000001')"), std::string::npos);
    EXPECT_NE(d->MasterStatement().find(in ? "from tb_pur_purchase m" : "from tb_sal_sale m"),
              std::string::npos);
    (in ? d->rbSalBack : d->rbPurBack)->setChecked(true);
    EXPECT_NE(d->MasterStatement().find(in ? "from tb_sal_back m" : "from tb_pur_back m"),
              std::string::npos);
    saveShot(*d, QString("source_stock_%1").arg(direction));
    d->close();  // without OK nothing is handed back
    EXPECT_TRUE(host::GlobalDM().cdsSelectBillD.IsEmpty());
  }
}

TEST(GoodsBills, EveryBillOpensByItsNameFromTheBusinessPackage) {
  HostFixture h;
  host::CurUserInfo().UserDBID = kDb;
  for (const Bill& b : kBills) {
    std::unique_ptr<host::TForm> w(vlt::business::CreateBusinessForm(b.name, nullptr));
    EXPECT_TRUE(w) << b.name;
  }
  for (const char* dialog :
       {"uSelectPurOrder.TFrmSelectPurOrder", "uSelectPurchase.TFrmSelectPurchase",
        "uSelectSalOrder.TFrmSelectSalOrder", "uSelectSale.TFrmSelectSale"}) {
    std::unique_ptr<host::TForm> d(vlt::business::CreateBusinessForm(dialog, nullptr));
    ASSERT_TRUE(d) << dialog;
    showSettled(*d);
    saveShot(*d, QString("source_%1").arg(d->ClassName()));
  }
}

}  // namespace

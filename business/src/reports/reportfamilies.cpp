#include "reportfamilies.h"

#include <QComboBox>

#include "reportoutput.h"

#include "vlt/decimal.h"
#include "vlt/sqltext.h"

using namespace vlt;
using namespace vlt::host;
using namespace vlt::business::reports;
using vlt::components::TColumnDef;

namespace {

std::string whereDate(const std::string& dateArea) {
  return " where (1=1) " + dateArea;
}

TColumnDef money(const char* field, const char* header, int width = 100) {
  return TColumnDef(field, QString::fromUtf8(header), width).Number(2);
}

}  // namespace

// ---- trade summary ------------------------------------------------------------------------------

TfrmRptTradeSummary::TfrmRptTradeSummary(QWidget* owner, TTradeReportDef def)
    : TfrmBaseReportForm(owner), def_(def) {}

void TfrmRptTradeSummary::FormCreate() {
  const std::string m = def_.masterTable;
  FcommStrMaster = "SELECT ta.name,SUM(d.Qty) as qty,SUM(Amount) as amount FROM (" + m +
                   " M JOIN " + m +
                   "_d D on (m.Bid=d.Bid) JOIN td_trader Ta on (m.TraderID=ta.id))";
  FOrderByStr = " GROUP BY TraderID";
  FrptType = rtMaster;
  setWindowTitle(QString::fromUtf8(def_.caption));
  cbbFiterName->addItem(QString::fromUtf8(def_.traderCaption));
  GrdMain->Bind(&cdsM, {{"name", QString::fromUtf8(def_.traderCaption), 220},
                        {"qty", "数量", 100},
                        money("amount", "金额", 120)});
  ShowTotalStrip();
  TfrmBaseReportForm::FormCreate();
}

void TfrmRptTradeSummary::SetOpenWhereStr() {
  TfrmBaseReportForm::SetOpenWhereStr();
  F_Master_WhereStr = whereDate(GetDateArea());
  if (FilterIndex() == 1) F_Master_WhereStr += " and  ta.name like " + FindPattern();
}

std::string TfrmRptTradeSummary::GrandTotalStatement() const {
  const std::string m = def_.masterTable;
  return "select SUM(Amount) as Amount from (SELECT traderid,ifnull(Amount,0) as amount FROM  (" +
         m + " M JOIN " + m + "_d D on (m.Bid=d.Bid) JOIN td_trader Ta on (m.TraderID=ta.id)) " +
         F_Master_WhereStr + ") as dlt";
}

// ---- trade detail -------------------------------------------------------------------------------

namespace {
const char* const kTradeDetailOrder = " ORDER BY traderid,sortid,bcode";
}

TfrmRptTradeDetail::TfrmRptTradeDetail(QWidget* owner, TTradeReportDef def)
    : TfrmBaseReportForm(owner), def_(def) {}

void TfrmRptTradeDetail::FormCreate() {
  const std::string m = def_.masterTable;
  FcommStrMaster =
      "SELECT m.BDate,m.BCode, g.Code,g.Name,g.Spec,d.Qty,d.Price,d.TaxRate,d.Amount,"
      "d.DetailRemark,d.doneQty,m.Bid,m.TraderID,d.GoodsID,1 as sortID from (" +
      m + " m join " + m + "_d d on(m.Bid = d.Bid) join td_goods g on(d.GoodsID = g.Id)) ";
  FcommStrHeader =
      "SELECT null as BDate,t.name as BCode,null as Code,null as Name,null as Spec,null as "
      "Qty,null as Price,null as TaxRate,null as Amount,null as DetailRemark,null as "
      "doneQty,null as Bid,TraderID,null as GoodsID,-1 as sortId from (" +
      m + " M join td_trader T on(m.TraderID = t.Id))";
  FcommStrTotal =
      "SELECT null as BDate,'小计' as BCode,null as Code,null as Name,null as Spec,SUM(d.Qty) "
      "as Qty,null as Price,null as TaxRate,SUM(d.Amount) as Amount,null as DetailRemark,null "
      "as doneQty,null as Bid,TraderID,null as GoodsID,999998 as sortid from (" +
      m + " M join " + m + "_d  D on(m.Bid = d.Bid))";
  FcommStrSeparate =
      "SELECT null as BDate,null as BCode,null as Code,null as Name,null as Spec,null as "
      "Qty,null as Price,null as TaxRate,null as Amount,null as DetailRemark,null as "
      "doneQty,null as Bid,TraderID,null as GoodsID,999999 as sortid from " +
      m;
  FGroupBystr = " GROUP BY TraderID";
  FOrderByStr = kTradeDetailOrder;
  FrptType = rtDeltail;
  setWindowTitle(QString::fromUtf8(def_.caption));
  cbbFiterName->addItem(QString::fromUtf8(def_.traderCaption));
  GrdMain->Bind(&cdsM, {{"BDate", "日期", 90},
                        {"BCode", "单号", 150},
                        {"Code", "货品编码", 90},
                        {"Name", "货品名称", 130},
                        {"Spec", "规格", 80},
                        {"Qty", "数量", 80},
                        money("Price", "单价", 80),
                        {"TaxRate", "税率", 60},
                        money("Amount", "金额", 100),
                        {"DetailRemark", "附注说明", 130},
                        {"doneQty", "完成数量", 80},
                        {"Bid", "", 0, false},
                        {"TraderID", "", 0, false},
                        {"GoodsID", "", 0, false},
                        {"sortID", "", 0, false}});
  TfrmBaseReportForm::FormCreate();
}

void TfrmRptTradeDetail::SetOpenWhereStr() {
  TfrmBaseReportForm::SetOpenWhereStr();
  const std::string where = whereDate(GetDateArea());
  F_Master_WhereStr = F_Header_WhereStr = F_Total_WhereStr = F_Separate_WhereStr = where;
  FOrderByStr = FilterIndex() == 1
                    ? " where traderid in (select id from td_trader where name like " +
                          FindPattern() + ")" + kTradeDetailOrder
                    : kTradeDetailOrder;
}

// ---- receivable / payable flow -----------------------------------------------------------------

namespace {

const char* const kFlowFrom =
    " from ts_traderbalancedetailflow m LEFT JOIN view_billflow v on m.Bid=v.bid LEFT JOIN "
    "td_trader t on m.TraderID=t.Id";

std::string sideFilter(bool clients) {
  return clients ? " where isclient='True'" : " where isclient='false'";
}

}  // namespace

TfrmRptBalFlow::TfrmRptBalFlow(QWidget* owner, bool clients)
    : TfrmBaseReportForm(owner), clients_(clients) {}

void TfrmRptBalFlow::FormCreate() {
  FcommStrMaster = std::string(
                       "select m.bid,m.TraderID,t.isclient,m.IOAmount*m.IODirection as "
                       "IOAmount,0 as balance,") +
                   (clients_ ? "V.Revmemo" : "v.Revmemo") +
                   ",v.billName,v.bdate,v.bcode,m.IODirection,v.remark as billRemark,1 as sortID" +
                   kFlowFrom;
  // The opening rows depend on the start date: SetOpenWhereStr makes them.
  FcommStrTotal.clear();
  FGroupBystr = " GROUP BY TraderID";
  FOrderByStr = sideFilter(clients_) + " ORDER BY traderid,sortid,bid";
  FrptType = rtDeltail;
  setWindowTitle(clients_ ? "客户往来结算流水表" : "供应商往来结算流水表");
  cbbFiterName->addItem(clients_ ? "客户名称" : "供货商名称");
  GrdMain->Bind(&cdsM, {{"bid", "", 0, false},
                        {"TraderID", "", 0, false},
                        {"bdate", "单据日期", 90},
                        {"bcode", "单号", 160},
                        {"billName", "单据名称", 100},
                        money("IOAmount", "单据金额", 110),
                        money("balance", clients_ ? "实际应收余额" : "实际应付余额", 120),
                        {"RevMemo", "说明", 200},
                        {"billRemark", "", 0, false}});
  TReportOutput::Of(this)->SetChart(
      BalanceOverTime(windowTitle(), "bdate", "balance", "TraderID", "bcode"));
  TfrmBaseReportForm::FormCreate();
}

void TfrmRptBalFlow::SetOpenWhereStr() {
  TfrmBaseReportForm::SetOpenWhereStr();
  F_Master_WhereStr = whereDate(GetDateArea());
  // The movements before the start: the whole years before the start's year and the whole
  // months of it from the amounts the database keeps per year and month, the days of the start's
  // month from the movements, and the opening rows, so that the cost follows the period and not the
  // length of the history. A month whose movements all lack an amount gives none, as the movements
  // would. The opening rows' bills are looked up apart (the limit keeps them so) for the id to
  // reach the bill tables' keys.
  const QDate start = edtStartDate->Date();
  const std::string from = quotedStr(ss(start.toString(Qt::ISODate)));
  const std::string yearStart = quotedStr(ss(QDate(start.year(), 1, 1).toString(Qt::ISODate)));
  const std::string monthStart =
      quotedStr(ss(QDate(start.year(), start.month(), 1).toString(Qt::ISODate)));
  const std::string before =
      " from ((select TraderID,if(Valued>0,Amount,null) as amount from ts_traderyearflow where "
      "Year<" +
      yearStart +
      ") union all (select TraderID,if(Valued>0,Amount,null) from ts_tradermonthflow where "
      "Month>=" +
      yearStart + " and Month<" + monthStart +
      ") union all (select m.TraderID,m.IOAmount*m.IODirection from ts_traderbalancedetailflow m "
      "join view_billflow v on m.Bid=v.bid where v.bdate>=" +
      monthStart + " and v.bdate<" + from +
      " and m.Bid<>'-99') union all (select m.TraderID,m.IOAmount*m.IODirection from "
      "ts_traderbalancedetailflow m left join (select bid from view_billflow where bid='-99' limit "
      "4294967295) v "
      "on m.Bid=v.bid where m.Bid='-99')) m LEFT JOIN td_trader t on m.TraderID=t.Id";
  FcommStrHeader =
      "select null as bid, m.TraderID as TraderID,t.isclient,null as IOAmount,SUM(m.amount) as "
      "balance,null as Revmemo,'期初余额' as billName,null as bdate,t.name as bcode,null as "
      "IODirection,null as billRemark,-1 as sortID" +
      before;
  FcommStrSeparate =
      "select null as bid, m.TraderID as TraderID,t.isclient,null as IOAmount,null as "
      "balance,null as Revmemo,null as billName,null as bdate,null as bcode,null as IODirection,"
      "null as billRemark,999999 as sortID" +
      before + " ";
  F_Header_WhereStr = F_Total_WhereStr = F_Separate_WhereStr = "";
  FOrderByStr =
      sideFilter(clients_) +
      (FilterIndex() == 1
           ? " and (traderid in (select id from td_trader where name like " + FindPattern() + "))"
           : std::string()) +
      " ORDER BY traderid,sortid,bid";
}

void TfrmRptBalFlow::doCdsEnableControls() {
  // The rows come ordered by trader: heading, movements, empty row. Every trader's balance
  // starts from its own opening row, or from nothing when it has none.
  if (cdsM.Active() && !cdsM.IsEmpty()) {
    Field& sort = cdsM.FieldByName("sortID");
    Field& trader = cdsM.FieldByName("TraderID");
    Field& balance = cdsM.FieldByName("balance");
    Field& amount = cdsM.FieldByName("IOAmount");
    Decimal running;
    std::string current;
    bool first = true;
    for (cdsM.First(); !cdsM.Eof(); cdsM.Next()) {
      const std::string id = trader.AsString();
      if (first || id != current) running = Decimal();
      first = false;
      current = id;
      const std::int64_t kind = sort.AsLargeInt();
      if (kind == kHeadingRow) {
        running = balance.IsNull() ? Decimal() : balance.AsDecimal();
      } else if (kind != kSeparatorRow) {
        if (!amount.IsNull()) running = running + amount.AsDecimal();
        cdsM.Edit();
        balance.SetValue(Value(running));
        cdsM.Post();
      }
    }
    // The balances are the report's own; nothing is to be saved.
    cdsM.MergeChangeLog();
    cdsM.First();
  }
  TfrmBaseReportForm::doCdsEnableControls();
}

// ---- income / expense flow ---------------------------------------------------------------------

namespace {
const char* const kCashOrder = " order BY bdate";
}

TfrmRptCashFlow::TfrmRptCashFlow(QWidget* owner, bool incomes)
    : TfrmBaseReportForm(owner), incomes_(incomes) {}

void TfrmRptCashFlow::FormCreate() {
  FcommStrMaster =
      "SELECT M.Bid,M.BDate,M.BKind,M.BState,M.BIoDirect,M.AccountId,m.AccIoTypeID,M.AccAmt,"
      "M.ReMark,M.UpdateTime,M.CreateTime,M.UpdateOP,M.CreateOp,M.BDiary,T.Name as AccName,a.Name "
      "as AccIoTypeName FROM tb_acc_io AS M LEFT JOIN td_account AS T ON M.AccountId = T.Id LEFT "
      "JOIN td_accountiotype A on m.AccIoTypeID=a.Id";
  FOrderByStr = kCashOrder;
  FrptType = rtMaster;
  setWindowTitle(incomes_ ? "其他收入流水表" : "费用支出流水表");
  cbbFiterName->addItems({incomes_ ? "收入类别" : "支出类别", "帐户名称"});
  GrdMain->Bind(&cdsM, {{"BDate", "日期", 90},
                        {"AccIoTypeName", incomes_ ? "收入类别" : "支出类别", 110},
                        {"AccName", incomes_ ? "收入帐户" : "支出帐户", 110},
                        money("AccAmt", incomes_ ? "收入金额" : "支出金额", 110),
                        {"ReMark", "附注说明", 160},
                        {"UpdateTime", "修改日期", 140},
                        {"CreateTime", "创建日期", 140},
                        {"UpdateOP", "修改人", 70},
                        {"CreateOp", "创建人", 70}});
  ShowTotalStrip();
  TfrmBaseReportForm::FormCreate();
}

void TfrmRptCashFlow::SetOpenWhereStr() {
  TfrmBaseReportForm::SetOpenWhereStr();
  F_Master_WhereStr =
      std::string(incomes_ ? " where (1=1) and biodirect=1 " : " where (1=1) and biodirect=-1 ") +
      GetDateArea();
  switch (FilterIndex()) {
    case 1:
      FOrderByStr = " and  a.name like " + FindPattern() + kCashOrder;
      break;
    case 2:
      FOrderByStr = " and t.name like " + FindPattern() + kCashOrder;
      break;
    default:
      FOrderByStr = kCashOrder;
  }
}

std::string TfrmRptCashFlow::GrandTotalStatement() const {
  return "select SUM(amount) as Amount from (SELECT ifnull(AccAmt,0) as amount FROM  (tb_acc_io M "
         "JOIN td_accountiotype A on m.AccIoTypeID=a.Id JOIN td_account AS T ON M.AccountId = "
         "T.Id) " +
         F_Master_WhereStr + FOrderByStr + ") as dlt";
}
